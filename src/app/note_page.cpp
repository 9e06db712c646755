#include "app/note_page.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_set>

#include "codepage/codepage.h"
#include "text/markers.h"

namespace xhs {
namespace {

// An address cut into its parts; the views point into the address.
struct UrlParts {
  bool hasScheme = false;
  bool hasAuthority = false;
  std::string_view scheme;     // without ":"
  std::string_view authority;  // without "//"
  std::string_view path;
  std::string_view query;      // with "?"
  std::string_view fragment;   // with "#"
};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSchemeChar(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::size_t SchemeLength(std::string_view s) {
  if (s.empty() || !IsAsciiLetter(s[0])) return 0;
  std::size_t i = 1;
  while (i < s.size() && IsSchemeChar(s[i])) ++i;
  return i < s.size() && s[i] == ':' ? i : 0;
}

UrlParts ParseUrl(std::string_view s) {
  UrlParts parts;
  if (const std::size_t n = SchemeLength(s); n > 0) {
    parts.hasScheme = true;
    parts.scheme = s.substr(0, n);
    s.remove_prefix(n + 1);
  }
  if (s.starts_with("//")) {
    parts.hasAuthority = true;
    s.remove_prefix(2);
    const std::size_t end = std::min(s.find_first_of("/?#"), s.size());
    parts.authority = s.substr(0, end);
    s.remove_prefix(end);
  }
  const std::size_t hash = std::min(s.find('#'), s.size());
  parts.fragment = s.substr(hash);
  s = s.substr(0, hash);
  const std::size_t question = std::min(s.find('?'), s.size());
  parts.query = s.substr(question);
  parts.path = s.substr(0, question);
  return parts;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// "scheme:" and "//authority" of an address, as they stand.
std::string Prefix(const UrlParts& parts) {
  std::string prefix(parts.scheme);
  prefix += ':';
  if (parts.hasAuthority) {
    prefix += "//";
    prefix += parts.authority;
  }
  return prefix;
}

// The path up to and with its last "/"; "/" when it has none.
std::string_view PathFolder(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view("/") : path.substr(0, slash + 1);
}

// Lower-cased host and port with the scheme's default port left out; "" for
// an authority that could be read two ways.
std::string HostAndPort(const UrlParts& parts, const std::string& scheme) {
  for (const char c : parts.authority) {
    if (c == '@' || c == '%' || c == '\\' || static_cast<unsigned char>(c) >= 0x80) return "";
  }
  std::string host = Lower(parts.authority);
  const std::string defaultPort = scheme == "https" ? ":443" : scheme == "http" ? ":80" : "";
  if (!defaultPort.empty() && host.ends_with(defaultPort)) host.resize(host.size() - defaultPort.size());
  if (host.ends_with(':')) host.pop_back();
  return host;
}

bool IsJsonBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four hex digits at s[i..i+3] as a UTF-16 unit; false when they are not.
bool HexUnit(std::string_view s, std::size_t i, char16_t& unit) {
  if (i + 4 > s.size()) return false;
  unsigned value = 0;
  for (std::size_t k = i; k < i + 4; ++k) {
    const int digit = HexValue(s[k]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  unit = static_cast<char16_t>(value);
  return true;
}

char EscapedChar(char c) {
  switch (c) {
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return c;  // '"', '\\', '/' and unknown escapes
  }
}

}  // namespace

Text ShareLink(const Text& text) {
  const int plain = FindText(text, "http://", 1, true);
  const int secure = FindText(text, "https://", 1, true);
  const int found = plain == -1 ? secure : secure == -1 ? plain : std::min(plain, secure);
  if (found == -1) return "";
  const std::string_view rest = text.view().substr(static_cast<std::size_t>(found) - 1);
  std::size_t end = 0;
  while (end < rest.size()) {
    const char c = rest[end];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '<' || c == '>' ||
        static_cast<unsigned char>(c) >= 0x80) {
      break;
    }
    ++end;
  }
  const std::size_t schemeEnd = rest.find(':');
  return Text(Lower(rest.substr(0, schemeEnd)) + std::string(rest.substr(schemeEnd, end - schemeEnd)));
}

Text UnescapeHtmlEntities(const Text& text) {
  // "&amp;" goes last, so that the "&" it gives never starts another entity.
  Text out = ReplaceText(text, "&quot;", "\"");
  out = ReplaceText(out, "&#34;", "\"");
  out = ReplaceText(out, "&#39;", "'");
  return ReplaceText(out, "&amp;", "&");
}

Text BodyRedirectTarget(const Text& body) {
  return UnescapeHtmlEntities(TextBetween(body, "href=\"", "\"", 0, true));
}

Text JoinUrl(const Text& base, const Text& reference) {
  const UrlParts ref = ParseUrl(reference.view());
  if (ref.hasScheme) return reference;
  const UrlParts from = ParseUrl(base.view());
  if (!from.hasScheme) return "";
  const std::string_view r = reference.view();
  std::string joined;
  if (r.starts_with("//")) {
    joined = std::string(from.scheme) + ":" + std::string(r);
  } else if (r.starts_with("/")) {
    joined = Prefix(from) + std::string(r);
  } else if (r.starts_with("?")) {
    joined = Prefix(from) + std::string(from.path) + std::string(r);
  } else if (r.empty() || r.starts_with("#")) {
    joined = Prefix(from) + std::string(from.path) + std::string(from.query) + std::string(r);
  } else {
    joined = Prefix(from) + std::string(PathFolder(from.path)) + std::string(r);
  }
  return Text(std::move(joined));
}

bool IsWebAddress(const Text& url) {
  const UrlParts parts = ParseUrl(url.view());
  const std::string scheme = Lower(parts.scheme);
  return parts.hasScheme && parts.hasAuthority && (scheme == "http" || scheme == "https");
}

bool SameOrigin(const Text& a, const Text& b) {
  const UrlParts pa = ParseUrl(a.view());
  const UrlParts pb = ParseUrl(b.view());
  if (!pa.hasScheme || !pb.hasScheme || !pa.hasAuthority || !pb.hasAuthority) return false;
  const std::string scheme = Lower(pa.scheme);
  if (scheme != Lower(pb.scheme)) return false;
  const std::string host = HostAndPort(pa, scheme);
  return !host.empty() && host == HostAndPort(pb, scheme);
}

bool IsBareOrigin(const Text& url, const Text& origin) {
  const std::string_view path = ParseUrl(url.view()).path;
  return (path.empty() || path == "/") && SameOrigin(url, origin);
}

bool IsLoginOrCaptcha(const Text& url) {
  return FindText(url, "website-login", 1, true) != -1 || FindText(url, "captcha", 1, true) != -1 ||
         FindText(url, "verifyType=", 1, true) != -1;
}

bool DecodeJsonString(const Text& text, std::size_t start, Text& value, std::size_t& end) {
  const std::string_view s = text.view();
  std::string out;
  std::u16string units;  // a run of \u escapes, converted together
  auto flush = [&] {
    if (units.empty()) return;
    out += Utf16StringToText(units).view();
    units.clear();
  };
  std::size_t i = start + 1;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '"') {
      flush();
      value = Text(std::move(out));
      end = i + 1;
      return true;
    }
    char16_t unit = 0;
    if (c == '\\' && i + 1 < s.size() && s[i + 1] == 'u' && HexUnit(s, i + 2, unit)) {
      if (unit != 0) units.push_back(unit);
      i += 6;
      continue;
    }
    flush();
    if (c == '\\' && i + 1 < s.size()) {
      out += EscapedChar(s[i + 1]);
      i += 2;
    } else if (static_cast<unsigned char>(c) >= 0x80 && i + 1 < s.size()) {
      out.append(s.substr(i, 2));
      i += 2;
    } else {
      out += c;
      ++i;
    }
  }
  end = s.size();
  return false;
}

Text PictureToken(const Text& url) {
  std::string_view path = ParseUrl(url.view()).path;
  if (path.starts_with('/')) path.remove_prefix(1);
  const std::size_t first = path.find('/');
  const std::size_t second = first == std::string_view::npos ? first : path.find('/', first + 1);
  std::string_view token;
  if (second != std::string_view::npos) {
    token = path.substr(second + 1);
  } else {
    const std::size_t last = path.rfind('/');
    token = last == std::string_view::npos ? path : path.substr(last + 1);
  }
  return Text(token.substr(0, token.find('!')));
}

std::vector<Text> PictureTokens(const Text& notePage) {
  const Text key = "\"urlDefault\":";
  const std::string_view page = notePage.view();
  std::vector<Text> tokens;
  std::unordered_set<std::string> seen;
  int found = FindText(notePage, key);
  while (found != -1) {
    std::size_t i = static_cast<std::size_t>(found) - 1 + key.size();
    while (i < page.size() && IsJsonBlank(page[i])) ++i;
    if (i < page.size() && page[i] == '"') {
      Text url;
      if (!DecodeJsonString(notePage, i, url, i)) break;  // cut short: nothing after it
      Text token = PictureToken(url);
      if (!token.empty() && seen.insert(token.str()).second) tokens.push_back(std::move(token));
    }
    found = FindText(notePage, key, static_cast<int>(i) + 1);
  }
  return tokens;
}

}  // namespace xhs
