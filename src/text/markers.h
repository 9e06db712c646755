// Cutting texts by the fixed texts (markers) around the wanted piece.
// Positions are 1-based bytes; a marker that is not found gives "".
#pragma once

#include "text/text.h"

namespace xhs {

// "#引号" in code page 936: in a marker it stands for one double quote.
inline constexpr const char* kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";

// The text between the first left marker at or after start (start <= 0 acts
// as 1) and the first right marker after the end of that left marker. Only
// that first left marker is tried. Either one missing → "". An empty left
// marker matches at the start; an empty right marker always gives "".
// "#引号" in either marker stands for a double quote; the text is not changed.
Text TextBetween(const Text& text, const Text& left, const Text& right, int start = 0,
                 bool ignoreCase = false);

// The text before an occurrence of marker, "" when none.
// start >= 0: the first occurrence at or after byte start (0 → byte 1).
// start < 0: the last occurrence that keeps off the last k bytes, k being
// -start except that -1 gives 0 (searches everywhere).
Text TextLeftOf(const Text& text, const Text& marker, int start = 0, bool ignoreCase = false);

// The text after an occurrence of marker, "" when none.
// start >= 0: the last occurrence that keeps off the last start bytes
// (0 → anywhere). start < 0: the first occurrence at or after byte -start
// (-1 → byte 1).
Text TextRightOf(const Text& text, const Text& marker, int start = 0, bool ignoreCase = false);

// The text with its first byte upper-cased when it is a-z; nothing else
// changes, so a text that begins with a two-byte character is unchanged.
Text CapitalizeFirst(const Text& text);

}  // namespace xhs
