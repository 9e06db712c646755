#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ostream>

namespace xhs {
namespace {

using Size = std::size_t;
constexpr Size kNone = static_cast<Size>(-1);

bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualAt(std::string_view text, Size at, std::string_view pattern, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(text.data() + at, pattern.data(), pattern.size()) == 0;
  for (Size i = 0; i < pattern.size(); ++i) {
    if (FoldAscii(text[at + i]) != FoldAscii(pattern[i])) return false;
  }
  return true;
}

// Number of bytes of the character that begins at p (1 or 2, clipped at the end).
Size CharSize(std::string_view text, Size p) {
  return (IsLead(text[p]) && p + 1 < text.size()) ? 2 : 1;
}

// The next candidate at or after `from` where the pattern's bytes occur,
// ignoring character boundaries; kNone when there is none.
Size NextCandidate(std::string_view text, std::string_view pattern, Size from, bool ignoreCase) {
  if (!ignoreCase) return text.find(pattern, from);
  const char first = FoldAscii(pattern[0]);
  const char other = (first >= 'a' && first <= 'z') ? static_cast<char>(first - 'a' + 'A') : first;
  for (Size p = from; p + pattern.size() <= text.size(); ++p) {
    if ((text[p] == first || text[p] == other) && EqualAt(text, p, pattern, true)) return p;
  }
  return kNone;
}

// A forward character walk that reports the matches of a non-empty pattern.
// `walk` is the 0-based position where the walk stands; matches found by the
// fast byte search are accepted only when the walk lands on them.
class Matcher {
 public:
  Matcher(std::string_view text, std::string_view pattern, bool ignoreCase, Size walk)
      : text_(text), pattern_(pattern), ignoreCase_(ignoreCase), walk_(walk) {}

  // The next match at or after the walk position, or kNone. The walk is left
  // at the match.
  Size Next() {
    while (walk_ < text_.size()) {
      Size candidate = NextCandidate(text_, pattern_, walk_, ignoreCase_);
      if (candidate == kNone) return kNone;
      // Walk up to the candidate; the walk stops at a lead byte that ends the text.
      while (walk_ < candidate) {
        if (IsLead(text_[walk_])) {
          if (walk_ + 1 >= text_.size()) return kNone;
          walk_ += 2;
        } else {
          walk_ += 1;
        }
      }
      if (walk_ == candidate) return candidate;
      // The candidate was the second byte of a character; search on from the walk.
    }
    return kNone;
  }

  // Moves the walk past a match that begins where it stands.
  void SkipMatch() { walk_ += pattern_.size(); }
  // Moves the walk one character on from where it stands.
  void SkipChar() { walk_ += CharSize(text_, walk_); }

 private:
  std::string_view text_;
  std::string_view pattern_;
  bool ignoreCase_;
  Size walk_;
};

int ToInt(Size n) { return static_cast<int>(n); }

}  // namespace

Text::Text(std::string s) : s_(std::move(s)) {
  const Size zero = s_.find('\0');
  if (zero != std::string::npos) s_.resize(zero);
}

std::ostream& operator<<(std::ostream& out, const Text& text) { return out << text.view(); }

std::ostream& operator<<(std::ostream& out, const Bytes& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out << ' ';
    out << kHex[bytes[i] >> 4] << kHex[bytes[i] & 0xF];
  }
  return out;
}

int TextLength(const Text& text) { return ToInt(text.size()); }

Text TextLeft(const Text& text, int n) {
  if (n <= 0) return {};
  return Text(text.view().substr(0, static_cast<Size>(n)));
}

Text TextRight(const Text& text, int n) {
  if (n <= 0) return {};
  const Size len = text.size();
  const Size count = std::min(len, static_cast<Size>(n));
  return Text(text.view().substr(len - count));
}

Text TextMid(const Text& text, int start, int count) {
  if (start < 1 || count <= 0 || static_cast<Size>(start) > text.size()) return {};
  return Text(text.view().substr(static_cast<Size>(start) - 1, static_cast<Size>(count)));
}

int FindText(const Text& text, const Text& pattern, int start, bool ignoreCase) {
  const Size len = text.size();
  const Size from = start <= 1 ? 0 : static_cast<Size>(start) - 1;
  if (from >= len) return -1;
  if (pattern.empty()) return 1;
  Matcher m(text.view(), pattern.view(), ignoreCase, from);
  const Size found = m.Next();
  return found == kNone ? -1 : ToInt(found) + 1;
}

int FindTextReverse(const Text& text, const Text& pattern, int start, bool ignoreCase) {
  const Size len = text.size();
  Size range = len;
  if (start <= 1) {
    range = 0;
  } else if (static_cast<Size>(start) <= len) {
    range = static_cast<Size>(start) - 1;
  }
  if (range == 0) return -1;
  if (pattern.empty()) return 1;
  // Only occurrences lying wholly within the range count; the walk over the
  // range is the same as over the whole text.
  Matcher m(text.view().substr(0, range), pattern.view(), ignoreCase, 0);
  Size last = kNone;
  for (Size found = m.Next(); found != kNone; found = m.Next()) {
    last = found;
    m.SkipChar();  // overlapping occurrences count: go on one character
  }
  return last == kNone ? -1 : ToInt(last) + 1;
}

Text ReplaceText(const Text& text, const Text& old, const Text& replacement, bool ignoreCase) {
  if (text.empty() || old.empty()) return text;
  const std::string_view t = text.view();
  Matcher m(t, old.view(), ignoreCase, 0);
  std::string out;
  Size copied = 0;
  for (Size found = m.Next(); found != kNone; found = m.Next()) {
    if (out.empty()) out.reserve(t.size());
    out.append(t, copied, found - copied);
    out += replacement.view();
    m.SkipMatch();
    copied = found + old.size();
  }
  if (copied == 0) return text;
  out.append(t, copied);
  return Text(std::move(out));
}

TextArray SplitText(const Text& text, const Text& separator) {
  TextArray pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  const std::string_view t = text.view();
  Matcher m(t, separator.view(), false, 0);
  Size pieceStart = 0;
  for (Size found = m.Next(); found != kNone; found = m.Next()) {
    pieces.emplace_back(t.substr(pieceStart, found - pieceStart));
    m.SkipMatch();
    pieceStart = found + separator.size();
  }
  if (pieceStart < t.size()) pieces.emplace_back(t.substr(pieceStart));
  return pieces;
}

Text TrimSpaces(const Text& text) {
  const std::string_view t = text.view();
  auto spaceAt = [&](Size p) -> Size {  // length of the space at p, or 0
    if (t[p] == ' ') return 1;
    if (p + 1 < t.size() && static_cast<unsigned char>(t[p]) == 0xA1 &&
        static_cast<unsigned char>(t[p + 1]) == 0xA1)
      return 2;
    return 0;
  };
  Size p = 0;
  while (p < t.size()) {
    const Size s = spaceAt(p);
    if (s == 0) break;
    p += s;
  }
  const Size begin = p;
  Size end = begin;  // just after the last character that is not a space
  while (p < t.size()) {
    const Size s = spaceAt(p);
    if (s != 0) {
      p += s;
    } else {
      p += CharSize(t, p);
      end = p;
    }
  }
  return Text(t.substr(begin, end - begin));
}

Text ToUpperAscii(const Text& text) {
  std::string out(text.str());
  for (Size p = 0; p < out.size();) {
    if (IsLead(out[p])) {
      p += 2;
    } else {
      if (out[p] >= 'a' && out[p] <= 'z') out[p] = static_cast<char>(out[p] - 'a' + 'A');
      p += 1;
    }
  }
  return Text(std::move(out));
}

int CharCode(const Text& text) {
  if (text.empty()) return 0;
  return static_cast<int>(static_cast<std::int8_t>(text.str()[0]));
}

Text CharFromCode(int code) {
  const char c = static_cast<char>(static_cast<unsigned>(code) & 0xFFu);
  if (c == '\0') return {};
  return Text(std::string(1, c));
}

Text IntToText(std::int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(std::string(buffer, result.ptr));
}

bool TextEquals(const Text& a, const Text& b, bool ignoreCase) {
  if (a.size() != b.size()) return false;
  if (!ignoreCase) return a.view() == b.view();
  return EqualAt(a.view(), 0, b.view(), true);
}

Bytes TextToBytes(const Text& text) { return Bytes(text.str()); }

Text BytesToText(const Bytes& bytes) { return Text(std::string(bytes.view())); }

Text BytesToText(Bytes&& bytes) { return Text(bytes.release()); }

int BytesLength(const Bytes& bytes) { return ToInt(bytes.size()); }

Bytes BytesLeft(const Bytes& bytes, int n) {
  if (n <= 0) return {};
  return Bytes(std::string(bytes.view().substr(0, static_cast<Size>(n))));
}

Bytes BytesMid(const Bytes& bytes, int start, int count) {
  const Size from = start < 1 ? 0 : static_cast<Size>(start) - 1;
  if (from >= bytes.size() || count <= 0) return {};
  return Bytes(std::string(bytes.view().substr(from, static_cast<Size>(count))));
}

Bytes ZeroBytes(int n) {
  if (n <= 0) return {};
  return Bytes(std::string(static_cast<Size>(n), '\0'));
}

Bytes BytesFromMemory(const void* address, int n) {
  if (address == nullptr || n <= 0) return {};
  return Bytes(std::string(static_cast<const char*>(address), static_cast<Size>(n)));
}

}  // namespace xhs
