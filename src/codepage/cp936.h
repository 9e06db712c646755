// The code page 936 converter behind the public conversions (internal).
#pragma once

#include <string>
#include <string_view>

namespace xhs::cp936 {

// The UTF-16 units of the 936 bytes. With stopAtZero the conversion ends at
// the first zero byte (which is not converted); otherwise a zero byte gives
// U+0000 and the walk goes on. Malformed input never fails:
//   0x80 → U+20AC, 0xFF → U+F8F5;
//   a lead byte (0x81-0xFE) that is the last byte, or that is followed by a
//   zero byte → "?" (the zero byte is then handled on its own);
//   a lead byte followed by any other byte outside 0x40-0x7E, 0x80-0xFE →
//   one "?" for the two bytes.
std::u16string Decode(std::string_view bytes, bool stopAtZero);
// The same walk, stopping at the first zero byte, straight into UTF-16LE
// bytes, plus a zero unit with terminator when anything was converted.
std::string DecodeToUtf16Le(std::string_view bytes, bool terminator);

// The 936 bytes of the UTF-16 units up to the first zero unit. Best-fit
// mappings apply; every unit without a mapping, a lone surrogate and each
// half of a surrogate pair gives one "?".
std::string Encode(std::u16string_view units);
// The same from UTF-16LE bytes; an odd last byte is ignored.
std::string EncodeUtf16Le(std::string_view bytes);

}  // namespace xhs::cp936
