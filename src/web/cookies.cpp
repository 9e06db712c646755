#include "web/cookies.h"

namespace xhs {
namespace {

constexpr const char* kSeparator = "; ";

// Trims the string; one that then ends in ";" gets a blank so that it ends
// in the separator and splits off no empty last item.
void Tidy(Text& cookies) {
  cookies = TrimSpaces(cookies);
  if (TextRight(cookies, 1) == ";") cookies += " ";
}

}  // namespace

Text MergeCookies(Text& cookie, Text& responseCookies) {
  Tidy(cookie);
  Tidy(responseCookies);
  const TextArray old = SplitText(cookie, kSeparator);
  TextArray merged = SplitText(responseCookies, kSeparator);
  // merged grows here, so of several request items with one name only the first is taken.
  for (const Text& item : old) {
    if (!HasCookieName(merged, CookieName(item))) merged.push_back(item);
  }
  Text joined;
  for (const Text& item : merged) {
    if (TextRight(item, 8) == "=deleted") continue;
    joined += item;
    joined += kSeparator;
  }
  joined = TextLeft(joined, TextLength(joined) - 2);
  cookie = JoinDistinct(joined, kSeparator);
  return cookie;
}

Text CookieName(const Text& item) {
  const int equals = FindText(item, "=");
  return TrimSpaces(equals == -1 ? item : TextLeft(item, equals - 1));
}

bool HasCookieName(const TextArray& list, const Text& name) {
  for (const Text& item : list) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

Text JoinDistinct(const Text& text, const Text& separator) {
  TextArray seen;
  Text out;
  for (const Text& item : SplitText(text, separator)) {
    if (IndexOfItem(seen, item) != -1) continue;
    seen.push_back(item);
    out += item;
    out += separator;
  }
  return TextLeft(out, TextLength(out) - TextLength(separator));
}

int IndexOfItem(const TextArray& list, const Text& text) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace xhs
