#include "text/markers.h"

#include <climits>

namespace xhs {
namespace {

// -start for a negative start; the most negative int, which has no positive
// counterpart, counts as the largest (every count that large finds nothing).
int Negated(int start) { return start == INT_MIN ? INT_MAX : -start; }

Text ExpandQuotes(const Text& marker) { return ReplaceText(marker, kQuotePlaceholder, "\""); }

// The backward searches keep an occurrence off the last `keepOff` bytes.
int FindLastKeepingOff(const Text& text, const Text& marker, int keepOff, bool ignoreCase) {
  return FindTextReverse(text, marker, TextLength(text) - keepOff + 1, ignoreCase);
}

}  // namespace

Text TextBetween(const Text& text, const Text& left, const Text& right, int start,
                 bool ignoreCase) {
  const Text leftMarker = ExpandQuotes(left);
  const Text rightMarker = ExpandQuotes(right);
  const int p = FindText(text, leftMarker, start, ignoreCase);
  if (p == -1) return {};
  const int q = p + TextLength(leftMarker);
  const int r = FindText(text, rightMarker, q, ignoreCase);
  if (r == -1) return {};
  return TextMid(text, q, r - q);
}

Text TextLeftOf(const Text& text, const Text& marker, int start, bool ignoreCase) {
  int p;
  if (start < 0) {
    const int keepOff = start == -1 ? 0 : Negated(start);
    p = FindLastKeepingOff(text, marker, keepOff, ignoreCase);
  } else {
    p = FindText(text, marker, start, ignoreCase);
  }
  if (p == -1) return {};
  return TextLeft(text, p - 1);
}

Text TextRightOf(const Text& text, const Text& marker, int start, bool ignoreCase) {
  int p;
  if (start < 0) {
    p = FindText(text, marker, Negated(start), ignoreCase);
  } else {
    p = FindLastKeepingOff(text, marker, start, ignoreCase);
  }
  if (p == -1) return {};
  return TextRight(text, TextLength(text) - TextLength(marker) - p + 1);
}

Text CapitalizeFirst(const Text& text) {
  return ToUpperAscii(TextLeft(text, 1)) + TextMid(text, 2, TextLength(text));
}

}  // namespace xhs
