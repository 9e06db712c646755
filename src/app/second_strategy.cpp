#include "app/second_strategy.h"

#include "app/note_page.h"
#include "app/run_request.h"

namespace xhs {
namespace {

constexpr int kMaxRedirects = 10;

constexpr const char* kLoginReason =
    "the service sent the note to its login or captcha page; a cookie file from a signed-in browser may help";
constexpr const char* kHomePageReason =
    "the service sent the note to its home page; the note may be deleted or private, or the link expired";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "301 Moved Permanently", "307 Temporary Redirect"...; error texts begin with 7.
bool IsRedirect(const Text& status) {
  const std::string_view s = status.view();
  return s.size() >= 3 && s[0] == '3' && IsDigit(s[1]) && IsDigit(s[2]);
}

// Where a redirect response points, resolved against the address it came
// from; "" when it names nothing to follow.
Text RedirectTarget(const Text& address, const Text& location, const Text& body) {
  Text target = TrimSpaces(location);
  if (target.empty()) target = BodyRedirectTarget(body);
  if (target.empty()) return "";
  target = JoinUrl(address, target);
  return IsWebAddress(target) ? target : Text();
}

// The body of the first answer along link's redirects that is no redirect;
// "" when the way ends elsewhere, with reason set where the service said why.
Text ResolveNotePage(WindowLayer& window, const ServiceEndpoints& service, const Text& link,
                     std::string& reason) {
  Text address = link;
  for (int redirects = 0;; ++redirects) {
    Text cookie = service.noteCookie;  // a fresh copy for every request that carries it
    Text* sent = SameOrigin(address, service.webOrigin) ? &cookie : nullptr;
    Text status, location;
    const Text body = RunRequest(window, address, sent, {.statusText = &status, .location = &location});
    if (!IsRedirect(status)) return body;
    if (redirects == kMaxRedirects) return "";

    const Text target = RedirectTarget(address, location, body);
    if (target.empty()) return "";
    if (IsLoginOrCaptcha(target)) {
      reason = kLoginReason;
      return "";
    }
    if (IsBareOrigin(target, service.webOrigin)) {
      reason = kHomePageReason;
      return "";
    }
    address = target;
  }
}

}  // namespace

AddressPictures FindPicturesByAddress(WindowLayer& window, const ServiceEndpoints& service,
                                      const Text& editText) {
  AddressPictures found;
  const Text link = ShareLink(editText);
  if (link.empty()) return found;
  const Text notePage = ResolveNotePage(window, service, link, found.reason);
  found.tokens = PictureTokens(notePage);
  return found;
}

}  // namespace xhs
