// RegexObject over arbitrary patterns, texts and flags: no crash, no hang
// (libFuzzer's -timeout catches a search that runs past the engine's
// limits), and every match and capture group is a piece of the searched
// text whose reported position points at it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>

#include "codepage/codepage.h"
#include "reference.h"
#include "regex/regex_object.h"

using namespace xhs;

namespace {

bool RoundTrips(const Text& text) { return Utf16StringToText(TextToUtf16String(text)) == text; }

bool EqualFolded(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return ref::Fold(static_cast<unsigned char>(x)) == ref::Fold(static_cast<unsigned char>(y));
         });
}

// piece came out of text; position (0-based, -2 when not found) points at it,
// apart from letter case when a case-sensitive search looked it up folded.
void CheckPiece(const Text& text, const Text& piece, int position, bool folded) {
  const std::string& s = text.str();
  REF_CHECK(s.find(piece.str()) != std::string::npos);
  if (position == -2) return;
  REF_CHECK(position >= 0 && static_cast<size_t>(position) + piece.size() <= s.size());
  const std::string_view at = std::string_view(s).substr(position, piece.size());
  REF_CHECK(folded ? EqualFolded(at, piece.view()) : at == piece.view());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint8_t flags = in.ConsumeIntegral<uint8_t>();
  const bool caseSensitive = flags & 1, multiline = flags & 2, global = !(flags & 4),
             expandQuotes = flags & 8;
  const Text pattern(in.ConsumeRandomLengthString(64));
  const Text text(in.ConsumeRemainingBytesAsString().substr(0, 8192));

  RegexObject regex;
  REF_CHECK(regex.MatchCount() == 0 && regex.MatchText(1).empty() && regex.GetPattern().empty());
  const bool ran = regex.Search(pattern, text, caseSensitive, multiline, global, expandQuotes);
  const int count = regex.MatchCount();
  if (!ran) {
    REF_CHECK(count == 0 && regex.SubMatchCount() == 0 && regex.MatchText(1).empty());
    return 0;
  }
  REF_CHECK(count >= 0 && static_cast<size_t>(count) <= text.size() + 1);
  if (!global) REF_CHECK(count <= 1);
  if (!expandQuotes && RoundTrips(pattern)) REF_CHECK(regex.GetPattern() == pattern);

  const bool whole = RoundTrips(text);
  const int groups = regex.SubMatchCount();
  REF_CHECK(groups >= 0 && (count > 0 || groups == 0));
  REF_CHECK(regex.MatchText(0).empty() && regex.MatchText(count + 1).empty());
  for (int i = 1; i <= std::min(count, 32); ++i) {
    int position = 0;
    const Text match = regex.MatchText(i, &position);
    if (whole) CheckPiece(text, match, position, caseSensitive);
    for (int g = 0; g <= std::min(groups, 4) + 1; ++g) {
      const Text sub = regex.SubMatchText(i, g, &position);
      if (g == 0 || g > groups) REF_CHECK(sub.empty());
      if (whole) CheckPiece(text, sub, position, caseSensitive);
    }
  }
  const Text replaced = regex.ReplaceMatches(Text("<$1$&$$>"));
  if (count == 0 && whole) REF_CHECK(replaced == text);
  return 0;
}
