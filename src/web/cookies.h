// Cookie strings: name=value items separated by "; " (a semicolon alone does
// not separate). An item's name is the text before its first "=", trimmed of
// spaces; an item without "=" is its own name. Names compare exactly. An item
// ending in "=deleted" marks a cookie the server deleted.
#pragma once

#include "text/text.h"

namespace xhs {

// Merges the cookies a response set into those a request sent: the
// response's items first (deleted ones left out), then the request's items
// whose names the response does not mention, whole-item duplicates removed.
// Both inputs are tidied in place (trimmed; a final ";" becomes "; "); the
// merged string is returned and also written into cookie. ("", "") → "".
Text MergeCookies(Text& cookie, Text& responseCookies);

// TrimSpaces of the text before the item's first "=", or of the whole item.
Text CookieName(const Text& item);

// True when some item of list has CookieName equal to name (exact).
bool HasCookieName(const TextArray& list, const Text& name);

// text split at separator, each item kept at its first occurrence only
// (whole items, exact), joined again with separator. "" → "".
Text JoinDistinct(const Text& text, const Text& separator);

// 1-based position of the first item equal to text (exact), or -1.
int IndexOfItem(const TextArray& list, const Text& text);

}  // namespace xhs
