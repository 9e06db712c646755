// The code page 936 conversions over arbitrary bytes and units: every valid
// text comes back unchanged through UTF-16 (and through UTF-8), results keep
// their documented shape, and nothing reads past its input (ASan).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "codepage/codepage.h"
#include "reference.h"

using namespace xhs;

namespace {

// The characters of text by the 936 rule (a lead byte 0x81-0xFE takes the
// next byte with it), keeping only those that convert to something other
// than "?": the valid text hidden in arbitrary bytes.
Text ValidPart(const Text& text) {
  const std::string& s = text.str();
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t width = (c >= 0x81 && c <= 0xFE && i + 1 < s.size()) ? 2 : 1;
    const std::string ch = s.substr(i, width);
    i += width;
    if (ch == "?") {
      out += ch;
      continue;
    }
    const std::u16string units = TextToUtf16String(Text(ch));
    if (units.size() == 1 && units[0] != u'?') out += ch;
  }
  return Text(out);
}

// The UTF-16LE units of bytes, for checks.
std::u16string Units(const Bytes& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const Bytes bytes(raw);

  // 936 → UTF-16 on arbitrary bytes, zero bytes included.
  const Bytes wide = MultiByteToUtf16(bytes, 936);
  const size_t before = raw.find('\0') == std::string::npos ? raw.size() : raw.find('\0');
  if (before == 0) {
    REF_CHECK(wide.empty());
  } else {
    REF_CHECK(wide.size() % 2 == 0 && wide.size() >= 4);
    const std::u16string units = Units(wide);
    REF_CHECK(units.back() == u'\0');
    REF_CHECK(units.find(u'\0') == units.size() - 1);
    REF_CHECK(units.size() - 1 <= before);
  }
  REF_CHECK(MultiByteToUtf16(bytes, 12345).empty());

  // UTF-16 → 936 on arbitrary bytes, odd lengths included.
  const Bytes narrow = Utf16ToMultiByte(bytes, 936);
  REF_CHECK(narrow.view().find('\0') == std::string_view::npos);
  REF_CHECK(narrow.size() <= bytes.size());
  const Text ansi = Utf16ToAnsi(bytes);
  REF_CHECK(ansi.view() == narrow.view());
  REF_CHECK(Utf16ToText(bytes, 12345).empty());

  // TrimUtf16AtZero against its definition.
  for (bool terminator : {false, true}) {
    const Bytes trimmed = TrimUtf16AtZero(bytes, terminator);
    size_t i = 0;
    if (raw.size() >= 2) {
      while (i + 1 < raw.size() && !(raw[i] == 0 && raw[i + 1] == 0)) i += 2;
      if (i + 1 >= raw.size()) i = raw.size() - raw.size() % 2;
    }
    std::string expected = i == 0 ? std::string() : raw.substr(0, i);
    if (terminator && !expected.empty()) expected += std::string(2, '\0');
    REF_CHECK(trimmed.view() == expected);
  }

  // Round trips of the valid text hidden in the input.
  const Text text(raw);
  const Text valid = ValidPart(text);
  const Bytes utf16 = AnsiToUtf16(valid);
  REF_CHECK(valid.empty() == utf16.empty());
  REF_CHECK(Utf16ToAnsi(utf16) == valid);
  REF_CHECK(Utf16ToAnsi(AnsiToUtf16(valid, true)) == valid);
  REF_CHECK(Utf16StringToText(TextToUtf16String(valid)) == valid);
  REF_CHECK(Utf8ToText(TextToUtf8(valid)) == valid);

  // Whatever the text, its UTF-16 form has one unit per character at most
  // and converts back without a zero byte.
  const std::u16string units = TextToUtf16String(text);
  REF_CHECK(units.size() <= text.size());
  REF_CHECK(units.find(u'\0') == std::u16string::npos);
  const Text back = Utf16StringToText(units);
  REF_CHECK(back.size() <= 2 * units.size());

  // UTF-8 edges over arbitrary bytes.
  const Text fromUtf8 = Utf8ToText(raw);
  REF_CHECK(fromUtf8.view().find('\0') == std::string_view::npos);
  const std::string utf8 = TextToUtf8(text);
  REF_CHECK(utf8.size() <= 3 * text.size());
  return 0;
}
