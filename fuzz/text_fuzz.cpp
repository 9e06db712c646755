// The text primitives and the marker routines against the slow models of
// reference.h: same results, positions within range, results drawn from the
// inputs, and no match on the second byte of a two-byte character.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>

#include "reference.h"
#include "text/markers.h"
#include "text/text.h"

using namespace xhs;
using ref::Str;

namespace {

// True when the walk from byte 1 ends on a whole character: the texts of the
// system always do, and for a dangling lead byte ReplaceText, SplitText and
// TrimSpaces may choose their own rule.
bool WholeCharacters(const Str& s) {
  std::vector<int> walk = ref::Walk(s, 1);
  return walk.empty() || !(ref::IsLead(ref::At(s, walk.back())) && walk.back() == ref::Len(s));
}

bool Contains(const Str& haystack, const Str& needle) { return haystack.find(needle) != Str::npos; }

std::vector<Str> Strs(const TextArray& a) {
  std::vector<Str> out;
  for (const Text& t : a) out.push_back(t.str());
  return out;
}

void CheckSearches(const Text& text, const Text& pattern, int start, bool ic) {
  const Str& s = text.str();
  const Str& p = pattern.str();
  const int L = ref::Len(s);

  int found = FindText(text, pattern, start, ic);
  REF_CHECK(found == ref::Find(s, p, start, ic));
  REF_CHECK(found == -1 || (found >= 1 && found <= std::max(L, 1)));
  if (found != -1 && !p.empty()) {
    REF_CHECK(found + ref::Len(p) - 1 <= L);
    if (start <= 1) REF_CHECK(ref::OnBoundary(s, found));
  }

  int back = FindTextReverse(text, pattern, start, ic);
  REF_CHECK(back == ref::FindReverse(s, p, start, ic));
  if (back != -1 && !p.empty()) {
    REF_CHECK(ref::OnBoundary(s, back));
    int limit = start > L ? L : start - 1;
    REF_CHECK(back + ref::Len(p) - 1 <= limit);
  }
}

void CheckPieces(const Text& text, const Text& pattern, const Text& other, bool ic) {
  const Str& s = text.str();
  const Str& p = pattern.str();
  const bool whole = WholeCharacters(s);

  Text replaced = ReplaceText(text, pattern, other, ic);
  if (whole) REF_CHECK(replaced.str() == ref::Replace(s, p, other.str(), ic));
  if (other.empty()) REF_CHECK(replaced.size() <= s.size());

  const std::vector<Str> pieces = Strs(SplitText(text, pattern));
  if (whole) REF_CHECK(pieces == ref::Split(s, p));
  for (const Str& piece : pieces) REF_CHECK(Contains(s, piece));

  Text trimmed = TrimSpaces(text);
  if (whole) REF_CHECK(trimmed.str() == ref::Trim(s));
  REF_CHECK(Contains(s, trimmed.str()));

  Text upper = ToUpperAscii(text);
  REF_CHECK(upper.str() == ref::Upper(s));
}

void CheckCounts(const Text& text, int a, int b) {
  const Str& s = text.str();
  REF_CHECK(TextLeft(text, a).str() == ref::Left(s, a));
  REF_CHECK(TextRight(text, a).str() == ref::Right(s, a));
  REF_CHECK(TextMid(text, a, b).str() == ref::Mid(s, a, b));
  REF_CHECK(TextLength(text) == ref::Len(s));

  Bytes bytes = TextToBytes(text);
  REF_CHECK(bytes.view() == s);
  REF_CHECK(BytesToText(bytes) == text);
  Bytes left = BytesLeft(bytes, a);
  REF_CHECK(left.view() == s.substr(0, static_cast<size_t>(std::clamp(a, 0, ref::Len(s)))));
  Bytes mid = BytesMid(bytes, a, b);
  const int from = std::max(a, 1);
  if (from > ref::Len(s)) {
    REF_CHECK(mid.empty());
  } else {
    REF_CHECK(mid.view() == s.substr(from - 1, static_cast<size_t>(std::max(b, 0))));
  }
  REF_CHECK(ZeroBytes(a % 4096).size() == static_cast<size_t>(std::max(a % 4096, 0)));
  REF_CHECK(CharCode(text) == (s.empty() ? 0 : static_cast<int>(static_cast<signed char>(s[0]))));
  REF_CHECK(CharFromCode(a).size() == ((a & 0xFF) ? 1u : 0u));
  REF_CHECK(IntToText(a).str() == std::to_string(a));
}

void CheckMarkers(const Text& text, const Text& left, const Text& right, int start, bool ic) {
  const Str& s = text.str();
  Text between = TextBetween(text, left, right, start, ic);
  REF_CHECK(between.str() == ref::Between(s, left.str(), right.str(), start, ic));
  REF_CHECK(Contains(s, between.str()));

  Text before = TextLeftOf(text, left, start, ic);
  REF_CHECK(before.str() == ref::LeftOf(s, left.str(), start, ic));
  REF_CHECK(s.compare(0, before.size(), before.str()) == 0);

  Text after = TextRightOf(text, left, start, ic);
  REF_CHECK(after.str() == ref::RightOf(s, left.str(), start, ic));
  REF_CHECK(before.size() <= s.size() && after.size() <= s.size());
  REF_CHECK(after.empty() || s.compare(s.size() - after.size(), after.size(), after.str()) == 0);

  Text cap = CapitalizeFirst(text);
  REF_CHECK(cap.str() == ref::CapitalizeFirst(s));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool ic = in.ConsumeBool();
  const int a = in.ConsumeIntegralInRange<int>(-8, 300);
  const int b = in.ConsumeIntegralInRange<int>(-8, 300);
  const uint8_t patternKind = in.ConsumeIntegral<uint8_t>();
  Text other(in.ConsumeRandomLengthString(16));
  Text pattern(in.ConsumeRandomLengthString(16));
  Text text(in.ConsumeRandomLengthString(4096));

  // Half the time the pattern is cut out of the text, so that it is found.
  if ((patternKind & 1) && !text.empty()) {
    size_t at = static_cast<size_t>(a < 0 ? 0 : a) % text.size();
    pattern = Text(text.str().substr(at, (patternKind >> 1) % 8));
  }

  CheckSearches(text, pattern, a, ic);
  CheckPieces(text, pattern, other, ic);
  CheckCounts(text, a, b);
  CheckMarkers(text, pattern, other, a, ic);
  CheckMarkers(text, other, pattern, b, ic);

  // Equality: exact is byte equality; ignoreCase agrees on ASCII texts.
  REF_CHECK(TextEquals(text, pattern) == (text.str() == pattern.str()));
  const Str& s = text.str();
  const Str& p = pattern.str();
  if (std::all_of(s.begin(), s.end(), [](char c) { return c > 0; }) &&
      std::all_of(p.begin(), p.end(), [](char c) { return c > 0; })) {
    bool folded = s.size() == p.size() &&
                  std::equal(s.begin(), s.end(), p.begin(), [](char x, char y) {
                    return ref::Fold(static_cast<unsigned char>(x)) ==
                           ref::Fold(static_cast<unsigned char>(y));
                  });
    REF_CHECK(TextEquals(text, pattern, true) == folded);
  }
  return 0;
}
