#include "regex/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codepage/codepage.h"
#include "text/markers.h"

namespace xhs {
namespace {

static_assert(sizeof(char16_t) == sizeof(PCRE2_UCHAR), "UTF-16 units are handed to PCRE2 as they are");

// Bounds that make a runaway pattern give up instead of hanging: about 15 ms
// of backtracking per attempt with JIT, about 0.1 s with the interpreter.
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kDepthLimit = 2'000'000;
constexpr std::uint32_t kHeapLimitKiB = 128 * 1024;
// The JIT stack is reserved at its maximum and used on demand. A lazy repeat
// of a group keeps about 24 bytes per repetition, so a match of a few million
// repetitions (a line of several MB) needs far more than the 32 KiB default.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 64 * 1024 * 1024;
// At most this many stored offsets (two per group and match): a pattern that
// matches everywhere in a huge text stops here rather than exhausting memory.
constexpr std::size_t kMaxOffsets = std::size_t{1} << 25;

// Compile options besides case and multiline: "$" without multiline only at
// the very end; "\uhhhh" and "\xhh" escapes, "[]" and "[^]" classes and
// back references to unset groups as in the script engines' expressions.
constexpr std::uint32_t kBaseOptions =
    PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF;

template <auto Free>
struct Freer {
  template <typename T>
  void operator()(T* p) const noexcept {
    Free(p);
  }
};
using CompileContext = std::unique_ptr<pcre2_compile_context, Freer<pcre2_compile_context_free>>;
using Code = std::unique_ptr<pcre2_code, Freer<pcre2_code_free>>;
using MatchContext = std::unique_ptr<pcre2_match_context, Freer<pcre2_match_context_free>>;
using MatchData = std::unique_ptr<pcre2_match_data, Freer<pcre2_match_data_free>>;
using JitStack = std::unique_ptr<pcre2_jit_stack, Freer<pcre2_jit_stack_free>>;

PCRE2_SPTR Units(const std::u16string& s) { return reinterpret_cast<PCRE2_SPTR>(s.data()); }

}  // namespace

struct RegexObject::State {
  bool searched = false;  // a search has set the pattern
  bool ran = false;       // and the pattern compiled
  bool ignoreCase = true;
  std::u16string pattern;
  std::u16string units;  // the searched text
  // Per match: start and end of the whole match, then of each group, in
  // units; PCRE2_UNSET for a group that took no part.
  std::vector<PCRE2_SIZE> offsets;
  std::size_t groups = 0;
  // The code page form of the searched text, made when a position is asked.
  mutable std::optional<Text> textForm;

  std::size_t Stride() const { return 2 * (groups + 1); }
  std::size_t Count() const { return ran ? offsets.size() / Stride() : 0; }
  const PCRE2_SIZE* Match(std::size_t index) const { return offsets.data() + index * Stride(); }
  std::u16string_view Piece(PCRE2_SIZE begin, PCRE2_SIZE end) const {
    return std::u16string_view(units).substr(begin, end - begin);
  }
  const Text& TextForm() const {
    if (!textForm) textForm = Utf16StringToText(units);
    return *textForm;
  }
  Text PieceText(int index, int group, int* position) const;
};

// The text of group `group` (0: the whole match) of match `index` (1-based)
// and, when asked, the byte position found from the match's unit offset.
Text RegexObject::State::PieceText(int index, int group, int* position) const {
  if (position) *position = -2;
  if (index < 1 || static_cast<std::size_t>(index) > Count() || group < 0 ||
      static_cast<std::size_t>(group) > groups) {
    return Text();
  }
  const PCRE2_SIZE* match = Match(static_cast<std::size_t>(index) - 1);
  const PCRE2_SIZE begin = match[2 * group];
  if (begin == PCRE2_UNSET) return Text();
  Text piece = Utf16StringToText(Piece(begin, match[2 * group + 1]));
  if (position) {
    // The match's unit offset serves as a 1-based byte start, and the lookup
    // takes the opposite case rule to the expression's; not found gives -2.
    const int start = static_cast<int>(std::min<PCRE2_SIZE>(match[0], INT_MAX));
    *position = FindText(TextForm(), piece, start, !ignoreCase) - 1;
  }
  return piece;
}

RegexObject::RegexObject() : state_(std::make_unique<State>()) {}

RegexObject::~RegexObject() = default;

bool RegexObject::Search(const Text& pattern, const Text& text, bool caseSensitive,
                         bool multiline, bool global, bool expandQuotes) {
  try {
    *state_ = State{};
    State& s = *state_;
    s.searched = true;
    s.ignoreCase = !caseSensitive;
    s.pattern = TextToUtf16String(expandQuotes ? ReplaceText(pattern, kQuotePlaceholder, "\"") : pattern);
    s.units = TextToUtf16String(text);

    const CompileContext compileContext(pcre2_compile_context_create(nullptr));
    if (!compileContext) return false;
    pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_LF);
    std::uint32_t options = kBaseOptions;
    if (s.ignoreCase) options |= PCRE2_CASELESS;
    if (multiline) options |= PCRE2_MULTILINE;
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    const Code code(pcre2_compile(Units(s.pattern), s.pattern.size(), options, &error, &errorOffset,
                                  compileContext.get()));
    if (!code) return false;
    // Without JIT (not built in, or the pattern too large for it) the
    // interpreter runs the same pattern.
    const bool jit = pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) == 0;

    std::uint32_t captures = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    const MatchContext matchContext(pcre2_match_context_create(nullptr));
    const MatchData matchData(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!matchContext || !matchData) return false;
    pcre2_set_match_limit(matchContext.get(), kMatchLimit);
    pcre2_set_depth_limit(matchContext.get(), kDepthLimit);
    pcre2_set_heap_limit(matchContext.get(), kHeapLimitKiB);
    JitStack jitStack;
    if (jit) {
      jitStack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
      if (jitStack) pcre2_jit_stack_assign(matchContext.get(), nullptr, jitStack.get());
    }

    s.ran = true;
    s.groups = captures;
    const PCRE2_SPTR subject = Units(s.units);
    const PCRE2_SIZE length = s.units.size();
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
    const std::size_t stride = s.Stride();
    PCRE2_SIZE start = 0;
    while (start <= length) {
      const int rc =
          pcre2_match(code.get(), subject, length, start, 0, matchData.get(), matchContext.get());
      // No further match, or a limit reached: the matches so far stand.
      if (rc <= 0 || ovector[0] > ovector[1]) break;
      if (s.offsets.size() + stride > kMaxOffsets) break;
      s.offsets.insert(s.offsets.end(), ovector, ovector + stride);
      if (!global) break;
      start = ovector[1] == ovector[0] ? ovector[1] + 1 : ovector[1];
    }
    return true;
  } catch (const std::bad_alloc&) {
    // Out of memory while copying a huge text: as if the pattern had not run.
    state_->ran = false;
    state_->units = {};
    state_->offsets = {};
    return false;
  }
}

Text RegexObject::GetPattern() const {
  return state_->searched ? Utf16StringToText(state_->pattern) : Text();
}

Text RegexObject::ReplaceMatches(const Text& replacement) const {
  const State& s = *state_;
  if (!s.ran) return Text();
  const std::u16string with = TextToUtf16String(replacement);
  std::u16string out;
  out.reserve(s.units.size());
  PCRE2_SIZE copied = 0;
  for (std::size_t m = 0; m < s.Count(); ++m) {
    const PCRE2_SIZE* match = s.Match(m);
    out += s.Piece(copied, match[0]);
    for (std::size_t i = 0; i < with.size(); ++i) {
      const char16_t c = with[i];
      const char16_t next = i + 1 < with.size() ? with[i + 1] : u'\0';
      if (c != u'$') {
        out += c;
      } else if (next == u'$') {
        out += u'$';
        ++i;
      } else if (next == u'&') {
        out += s.Piece(match[0], match[1]);
        ++i;
      } else if (next >= u'1' && next <= u'9' && static_cast<std::size_t>(next - u'0') <= s.groups) {
        const std::size_t group = next - u'0';
        if (match[2 * group] != PCRE2_UNSET) out += s.Piece(match[2 * group], match[2 * group + 1]);
        ++i;
      } else {
        out += u'$';
      }
    }
    copied = match[1];
  }
  out += s.Piece(copied, s.units.size());
  return Utf16StringToText(out);
}

int RegexObject::MatchCount() const {
  return static_cast<int>(std::min<std::size_t>(state_->Count(), INT_MAX));
}

Text RegexObject::MatchText(int index, int* position) const {
  return state_->PieceText(index, 0, position);
}

Text RegexObject::SubMatchText(int matchIndex, int subIndex, int* position) const {
  if (subIndex < 1) {
    if (position) *position = -2;
    return Text();
  }
  return state_->PieceText(matchIndex, subIndex, position);
}

int RegexObject::SubMatchCount() const {
  const State& s = *state_;
  return s.Count() > 0 ? static_cast<int>(s.groups) : 0;
}

}  // namespace xhs
