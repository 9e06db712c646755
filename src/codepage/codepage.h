// Conversion between code page 936 texts and UTF-16LE.
//
// UTF-16LE travels in Bytes, two bytes per unit, low byte first. Code page 0
// (the system ANSI code page) is 936; any other code page this system does
// not know is a refused conversion and gives an empty result.
//
// 936 → UTF-16 follows the Windows converter with flags 0: 0x80 → U+20AC,
// 0xFF → U+F8F5, a lead byte at the end or before a zero byte → "?", a lead
// byte with an invalid trail byte → one "?" for the pair, the user-defined
// area → private-use characters. UTF-16 → 936: best-fit mappings applied,
// every unit without a mapping → one "?" (an emoji gives "??").
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace xhs {

// MultiByteToUtf16(TextToBytes(text), 936): UTF-16LE ending in one zero unit;
// "" → empty (not a lone zero unit). dropTerminator removes the zero unit.
Bytes AnsiToUtf16(const Text& text, bool dropTerminator = false);
// The UTF-16LE form of the bytes up to their first zero byte, plus one zero
// unit; empty when nothing precedes the first zero byte or the code page is
// refused.
Bytes MultiByteToUtf16(const Bytes& bytes, int codePage);
// The bytes before the first zero unit (a trailing odd byte dropped), plus a
// zero unit with appendTerminator; empty when that prefix is empty (also with
// appendTerminator) or the input is shorter than 2 bytes.
Bytes TrimUtf16AtZero(const Bytes& bytes, bool appendTerminator = false);
// Utf16ToText(bytes, 936).
Text Utf16ToAnsi(const Bytes& bytes);
// BytesToText(Utf16ToMultiByte(bytes, codePage)).
Text Utf16ToText(const Bytes& bytes, int codePage = 0);
// The code page bytes of the UTF-16LE text up to its first zero unit, no
// terminator; empty when there is nothing to convert or the code page is
// refused. An odd last byte is ignored.
Bytes Utf16ToMultiByte(const Bytes& bytes, int codePage);

// The same 936 rules without the Bytes packing, for the system's own use:
// the UTF-16 units of the whole text (no terminator), and back (stops at
// the first zero unit).
std::u16string TextToUtf16String(const Text& text);
Text Utf16StringToText(std::u16string_view units);

// The edges of the system (terminal, file names, the window's toolkit) speak
// UTF-8. Invalid UTF-8 sequences become U+FFFD and so "?".
Text Utf8ToText(std::string_view utf8);
std::string TextToUtf8(const Text& text);

}  // namespace xhs
