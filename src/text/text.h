// Value types and primitives of the text toolkit.
//
// A Text holds bytes in code page 936: 0x00-0x7F are ASCII, every other
// character takes two bytes. Positions are 1-based byte positions and lengths
// are byte counts, so a two-byte character counts 2. Empty and absent are the
// same value. No routine throws: out-of-range arguments clip or give the empty
// result, and searches return -1 when nothing is found.
//
// The character walk used by the searches, ReplaceText, SplitText, TrimSpaces
// and ToUpperAscii: a byte of 0x80 or above starts a two-byte character
// together with the byte after it, whatever that byte is; a match only starts
// where the walk stands, never on the second byte of a two-byte character; a
// byte of 0x80 or above that is the last byte ends the walk. The byte-count
// routines (TextLeft, TextRight, TextMid, BytesLeft, BytesMid) ignore
// characters and may cut one in half.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace xhs {

// Bytes in code page 936, never a zero byte: construction cuts at the first.
class Text {
 public:
  Text() = default;
  Text(const char* s) : s_(s ? s : "") {}  // NOLINT: literals read naturally
  explicit Text(std::string s);
  explicit Text(std::string_view s) : Text(std::string(s)) {}

  const std::string& str() const noexcept { return s_; }
  std::string_view view() const noexcept { return s_; }
  const char* c_str() const noexcept { return s_.c_str(); }
  std::size_t size() const noexcept { return s_.size(); }
  bool empty() const noexcept { return s_.empty(); }
  // Moves the bytes out, leaving the text empty.
  std::string release() noexcept { return std::move(s_); }

  Text& operator+=(const Text& more) {
    s_ += more.s_;
    return *this;
  }
  friend Text operator+(Text a, const Text& b) { return a += b; }
  friend bool operator==(const Text&, const Text&) = default;

 private:
  std::string s_;
};

// A byte sequence with a length; zero bytes allowed.
class Bytes {
 public:
  Bytes() = default;
  Bytes(std::initializer_list<std::uint8_t> bytes) : s_(bytes.begin(), bytes.end()) {}
  explicit Bytes(std::string s) noexcept : s_(std::move(s)) {}

  const std::uint8_t* data() const noexcept {
    return reinterpret_cast<const std::uint8_t*>(s_.data());
  }
  std::string_view view() const noexcept { return s_; }
  std::size_t size() const noexcept { return s_.size(); }
  bool empty() const noexcept { return s_.empty(); }
  std::uint8_t operator[](std::size_t i) const noexcept { return static_cast<std::uint8_t>(s_[i]); }
  // Appends n bytes from memory, for readers that fill a value chunk by chunk.
  void Append(const void* address, std::size_t n) { s_.append(static_cast<const char*>(address), n); }
  void Reserve(std::size_t n) { s_.reserve(n); }
  // Moves the bytes out, leaving the value empty.
  std::string release() noexcept { return std::move(s_); }

  Bytes& operator+=(const Bytes& more) {
    s_ += more.s_;
    return *this;
  }
  friend Bytes operator+(Bytes a, const Bytes& b) { return a += b; }
  friend bool operator==(const Bytes&, const Bytes&) = default;

 private:
  std::string s_;
};

// Writes the raw bytes (for diagnostics and test output).
std::ostream& operator<<(std::ostream& out, const Text& text);
std::ostream& operator<<(std::ostream& out, const Bytes& bytes);

// An ordered list of texts; routines that expose element numbers count from 1.
using TextArray = std::vector<Text>;

// Number of bytes; empty → 0.
int TextLength(const Text& text);
// The first n bytes; n <= 0 → empty, n >= length → the whole text.
Text TextLeft(const Text& text, int n);
// The last n bytes; n <= 0 → empty, n >= length → the whole text.
Text TextRight(const Text& text, int n);
// count bytes from byte start. start < 1 → empty (not moved to 1);
// start > length or count <= 0 → empty; stops at the end.
Text TextMid(const Text& text, int start, int count);

// Position of the first occurrence at or after start, or -1. start <= 1
// searches from byte 1; start > length → -1. A start inside a two-byte
// character begins the walk there. Empty pattern → 1 (not start) when a byte
// lies from start to the end, else -1. ignoreCase folds A-Z to a-z byte by
// byte, second bytes of two-byte characters included.
int FindText(const Text& text, const Text& pattern, int start = 1, bool ignoreCase = false);
// Position of the last occurrence lying wholly within bytes 1 to start - 1
// (the whole text when start > length), or -1; start <= 1 → -1. Character
// boundaries are those of a forward walk from byte 1. Empty pattern → 1 when
// the range holds a byte.
int FindTextReverse(const Text& text, const Text& pattern, int start, bool ignoreCase = false);
// Every occurrence of old, left to right without overlap, replaced by
// replacement (which may be empty); inserted text is not searched again.
// Empty text or empty old → the text unchanged.
Text ReplaceText(const Text& text, const Text& old, const Text& replacement,
                 bool ignoreCase = false);
// The pieces between separators (exact). Empty pieces count, a leading one
// included; an empty final piece is dropped. Empty text → no elements; empty
// separator → one element holding the whole text.
TextArray SplitText(const Text& text, const Text& separator);
// Removes ASCII spaces and full-width spaces (A1 A1) at both ends; a tab, CR
// or LF is kept and ends a run.
Text TrimSpaces(const Text& text);
// a-z → A-Z; two-byte characters are copied whole.
Text ToUpperAscii(const Text& text);
// The first byte as a signed 8-bit value (0x80-0xFF → -128..-1); empty → 0.
int CharCode(const Text& text);
// One byte holding the low 8 bits of code; code 0 (or low byte 0) → empty.
Text CharFromCode(int code);
// Decimal digits, "-" for negatives, no padding or grouping.
Text IntToText(std::int32_t value);
// Byte equality, or equality apart from ASCII letter case with ignoreCase.
bool TextEquals(const Text& a, const Text& b, bool ignoreCase = false);

// The bytes of the text, no terminator; empty → empty.
Bytes TextToBytes(const Text& text);
// The bytes before the first zero byte (all when there is none).
Text BytesToText(const Bytes& bytes);
Text BytesToText(Bytes&& bytes);
// Number of bytes; empty → 0.
int BytesLength(const Bytes& bytes);
// The first n bytes, n clamped to 0..length.
Bytes BytesLeft(const Bytes& bytes, int n);
// count bytes from start. Unlike TextMid, start < 1 acts as 1; start > length
// → empty; count < 0 acts as 0; stops at the end.
Bytes BytesMid(const Bytes& bytes, int start, int count);
// n zero bytes; n <= 0 → empty.
Bytes ZeroBytes(int n);
// A copy of the n bytes at address; n <= 0 (or a null address) → empty.
Bytes BytesFromMemory(const void* address, int n);

}  // namespace xhs
