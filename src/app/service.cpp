#include "app/service.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "text/markers.h"

namespace xhs {
namespace {

struct CookieItem {
  const char* name;
  const char* value;
};

// The note cookie's items. The values are placeholders of our own: the
// service issues the real tokens, which a user supplies in a cookie file.
constexpr CookieItem kNoteCookie[] = {
      {"timestamp2", "placeholder-timestamp2-00000000000000000000000000000000000000000"},
      {"timestamp2.sig", "placeholder-timestamp2-sig-0000000000000000"},
      {"smidV2", "placeholder-smidV2-000000000000000000000000000000000000000000000"},
      {"gid.ss", "placeholder-gid-ss-00000000000000000000000000000"},
      {"xhsTrackerId", "placeholder-xhsTrackerId-00000000000"},
      {"xhsTrackerId.sig", "placeholder-xhsTrackerId-sig-00000000000000"},
      {"xsecappid", "placeholder-xsecappid-00"},
      {"a1", "placeholder-a1-0000000000000000000000000000000000000"},
      {"webId", "placeholder-webId-00000000000000"},
      {"gid", "placeholder-gid-0000000000000000000000000000000000000000000000000000000000000000"},
      {"gid.sign", "placeholder-gid-sign-0000000"},
      {"xhsTracker", "placeholder-xhsTracker-00000000000000000"},
      {"xhsTracker.sig", "placeholder-xhsTracker-sig-0000000000000000"},
      {"webBuild", "placeholder-webBuild-000"},
      {"extra_exp_ids", "placeholder-extra-exp-ids-0000000000000000000000000000000000"},
      {"extra_exp_ids.sig", "placeholder-extra-exp-ids-sig-0000000000000"},
      {"websectiga", "placeholder-websectiga-00000000000000000000000000000000000000000"},
      {"sec_poison_id", "placeholder-sec-poison-id-0000000000"},
      {"web_session", "placeholder-web-session-0000000000000000000000000000000000000000000000"},
};

constexpr std::size_t kMaxCookieFileBytes = 64 * 1024;

Text JoinCookie(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string joined;
  for (const auto& [name, value] : items) {
    if (!joined.empty()) joined += "; ";
    joined += name;
    joined += '=';
    joined += value;
  }
  return Text(std::move(joined));
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsBlankOrBreak(char c) { return IsBlank(c) || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s, bool (*drop)(char) = IsBlank) {
  while (!s.empty() && drop(s.front())) s.remove_prefix(1);
  while (!s.empty() && drop(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() &&
         TextEquals(Text(s.substr(0, prefix.size())), Text(prefix), true);
}

}  // namespace

ServiceEndpoints DefaultServiceEndpoints() {
  std::vector<std::pair<std::string, std::string>> items;
  for (const CookieItem& item : kNoteCookie) items.emplace_back(item.name, item.value);
  return ServiceEndpoints{
      .webOrigin = "https://www.xiaohongshu.com/",
      .imageOrigin = "https://sns-img-qc.xhscdn.com/",
      .originalImageOrigin = "https://ci.xiaohongshu.com/",
      .noteCookie = JoinCookie(items),
  };
}

const std::vector<std::string>& NoteCookieNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const CookieItem& item : kNoteCookie) list.emplace_back(item.name);
    return list;
  }();
  return names;
}

bool MergeUserCookie(Text& noteCookie, std::string_view userCookie, std::string& error,
                     std::string& warning) {
  error.clear();
  warning.clear();
  // Line breaks before or after the string (a file's last line) are fine;
  // one inside it is not.
  std::string_view s = TrimBlanks(userCookie, IsBlankOrBreak);
  if (StartsWithIgnoringCase(s, "Cookie:")) s = TrimBlanks(s.substr(7));
  for (char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r' || c == '\n') {
      error = "the cookie holds a line break inside it";
      return false;
    }
    if (byte >= 0x80) {
      error = "the cookie holds a non-ASCII byte";
      return false;
    }
    if (byte < 0x20 || byte == 0x7F) {
      error = "the cookie holds a control character";
      return false;
    }
  }

  // The user's items, first occurrence of a name wins.
  std::vector<std::pair<std::string, std::string>> user;
  for (const Text& piece : SplitText(Text(s), ";")) {
    const std::string_view item = TrimBlanks(piece.view());
    const std::size_t eq = item.find('=');
    if (item.empty() || eq == std::string_view::npos) continue;
    std::string name(TrimBlanks(item.substr(0, eq)));
    if (name.empty()) continue;
    bool seen = false;
    for (const auto& u : user) seen = seen || u.first == name;
    if (!seen) user.emplace_back(std::move(name), std::string(item.substr(eq + 1)));
  }
  if (user.empty()) {
    error = "the cookie holds no name=value item";
    return false;
  }

  std::vector<std::pair<std::string, std::string>> merged;
  bool anyKnown = false;
  for (const Text& item : SplitText(noteCookie, "; ")) {
    const std::size_t eq = item.view().find('=');
    std::string name(item.view().substr(0, eq));
    std::string value(eq == std::string_view::npos ? "" : item.view().substr(eq + 1));
    for (const auto& u : user) {
      if (u.first == name) {
        value = u.second;
        anyKnown = true;
        break;
      }
    }
    merged.emplace_back(std::move(name), std::move(value));
  }
  if (!anyKnown) warning = "the cookie holds none of the note cookie's names; built-in values kept";
  noteCookie = JoinCookie(merged);
  return true;
}

std::string DefaultCookieFilePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/xhs-saver/cookie";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/xhs-saver/cookie";
  return "";
}

CookieFileResult LoadCookieFile(ServiceEndpoints& service, const std::string& path, bool required) {
  CookieFileResult result;
  auto refuse = [&](const std::string& why) {
    result.refused = true;
    result.error = "cookie file " + path + ": " + why;
    return result;
  };
  if (path.empty()) {
    if (required) return refuse("no file named");
    return result;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    const int e = errno;
    if (!required && e == ENOENT) return result;
    return refuse(std::strerror(e));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  struct stat st {};
  if (::fstat(fd, &st) != 0) return refuse(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
  if (static_cast<std::size_t>(st.st_size) > kMaxCookieFileBytes) return refuse("larger than 64 KiB");

  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return refuse(std::strerror(errno));
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
    if (content.size() > kMaxCookieFileBytes) return refuse("larger than 64 KiB");
  }
  Text cookie = service.noteCookie;
  std::string error, warning;
  if (!MergeUserCookie(cookie, content, error, warning)) return refuse(error);
  if ((st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    result.warnings.push_back("cookie file " + path +
                              " is readable by group or others; chmod 600 it to keep the session private");
  }
  if (!warning.empty()) result.warnings.push_back("cookie file " + path + ": " + warning);
  service.noteCookie = std::move(cookie);
  result.used = true;
  return result;
}

}  // namespace xhs
