// The pieces of finding a note's pictures by following its address: the link
// in a share text, redirect targets, addresses and the picture tokens of a
// note page. Plain routines over code page 936 texts; nothing here talks to
// the network.
#pragma once

#include <vector>

#include "text/text.h"

namespace xhs {

// The first "http://" or "https://" of text (letters in any case), up to the
// first blank, tab, CR, LF, double quote, "<", ">" or byte of 0x80 or above
// (so full-width punctuation and Chinese words end it), with the scheme
// lower-cased. "" when text holds neither.
Text ShareLink(const Text& text);

// text with "&amp;", "&quot;", "&#34;" and "&#39;" replaced by the character
// each stands for, in one left-to-right pass ("&amp;quot;" gives "&quot;").
// Other entities stay as they are.
Text UnescapeHtmlEntities(const Text& text);

// The target of the first href="…" of a redirect body (the name in any case),
// entities unescaped; "" when the body holds none or it is unterminated.
Text BodyRedirectTarget(const Text& body);

// reference resolved against base, an absolute address: a reference with a
// scheme is returned as it is; "//host/p" takes base's scheme; "/p" base's
// scheme and host; "?q" base without its query; "#f" base without its
// fragment; "" base without its fragment; "p" replaces base's last path
// segment. Dot segments are kept (the request resolves them). "" when base
// has no scheme and reference none either.
Text JoinUrl(const Text& base, const Text& reference);

// True when url's scheme is http or https (any case).
bool IsWebAddress(const Text& url);

// True when a and b name the same origin: the same scheme and the same host
// and port (letter case ignored, the default port written or not). An
// address whose host part holds user credentials, "%", "\" or a byte of 0x80
// or above matches nothing.
bool SameOrigin(const Text& a, const Text& b);

// True when url is origin's home page: the same origin with the path "" or
// "/" (a query or fragment does not count).
bool IsBareOrigin(const Text& url, const Text& origin);

// True when url leads to the service's login or captcha page: it holds
// "website-login", "captcha" or "verifyType=" (letter case ignored).
bool IsLoginOrCaptcha(const Text& url);

// The JSON string whose opening quote is at 0-based byte offset start of
// text, escapes decoded (\" \\ \/ \b \f \n \r \t and \uXXXX, surrogate pairs
// included, converted to code page 936; \u0000 dropped; an unknown escape
// keeps the escaped character). A two-byte character is copied whole, so a
// second byte of 0x5C is no escape. end receives the offset just past the
// closing quote. False, with end at the text's end, when the string is not
// closed.
bool DecodeJsonString(const Text& text, std::size_t start, Text& value, std::size_t& end);

// The picture token of a picture URL: its path (query and fragment dropped)
// without its first two segments, cut at the first "!"; a path of fewer than
// three segments gives its last segment cut at "!". "" when there is none.
Text PictureToken(const Text& url);

// The tokens of every "urlDefault" string value of a note page, in page
// order, each once, empty ones skipped; values that are not strings (such as
// a bare undefined) are passed over. One linear scan.
std::vector<Text> PictureTokens(const Text& notePage);

}  // namespace xhs
