#include "codepage/codepage.h"

#include "codepage/cp936.h"

namespace xhs {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Code page 0, the system's ANSI code page, is 936.
bool Is936(int codePage) { return codePage == 0 || codePage == 936; }

// UTF-8 → UTF-16; each maximal ill-formed subsequence becomes one U+FFFD.
std::u16string DecodeUtf8(std::string_view utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  std::u16string out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const unsigned b = p[i];
    if (b < 0x80) {
      out.push_back(static_cast<char16_t>(b));
      ++i;
      continue;
    }
    int more;
    unsigned lo = 0x80, hi = 0xBF, cp;
    if (b >= 0xC2 && b <= 0xDF) {
      more = 1, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      more = 2, cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      more = 3, cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool whole = true;
    for (int k = 0; k < more; ++k, ++j, lo = 0x80, hi = 0xBF) {
      if (j >= n || p[j] < lo || p[j] > hi) {
        whole = false;
        break;
      }
      cp = cp << 6 | (p[j] & 0x3F);
    }
    i = j;
    if (!whole) {
      out.push_back(kReplacement);
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

// UTF-16 → UTF-8; a lone surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 3);
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
      } else {
        cp = kReplacement;
      }
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | cp >> 6));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | cp >> 12));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | cp >> 18));
      out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace

Bytes AnsiToUtf16(const Text& text, bool dropTerminator) {
  // MultiByteToUtf16 without copying the text first; a text holds no zero
  // byte, so the terminator is the only zero unit and dropping it is
  // exactly what TrimUtf16AtZero would do.
  return Bytes(cp936::DecodeToUtf16Le(text.view(), !dropTerminator));
}

Bytes MultiByteToUtf16(const Bytes& bytes, int codePage) {
  if (!Is936(codePage)) return {};
  return Bytes(cp936::DecodeToUtf16Le(bytes.view(), /*terminator=*/true));
}

Bytes TrimUtf16AtZero(const Bytes& bytes, bool appendTerminator) {
  const std::size_t size = bytes.size();
  if (size < 2) return {};
  std::size_t i = 0;
  while (i + 1 < size && (bytes[i] != 0 || bytes[i + 1] != 0)) i += 2;
  if (i == 0) return {};
  std::string out(bytes.view().substr(0, i));
  if (appendTerminator) out.append(2, '\0');
  return Bytes(std::move(out));
}

Text Utf16ToAnsi(const Bytes& bytes) { return Utf16ToText(bytes, 936); }

Text Utf16ToText(const Bytes& bytes, int codePage) {
  return BytesToText(Utf16ToMultiByte(bytes, codePage));
}

Bytes Utf16ToMultiByte(const Bytes& bytes, int codePage) {
  if (!Is936(codePage)) return {};
  return Bytes(cp936::EncodeUtf16Le(bytes.view()));
}

std::u16string TextToUtf16String(const Text& text) {
  return cp936::Decode(text.view(), /*stopAtZero=*/true);
}

Text Utf16StringToText(std::u16string_view units) { return Text(cp936::Encode(units)); }

Text Utf8ToText(std::string_view utf8) { return Utf16StringToText(DecodeUtf8(utf8)); }

std::string TextToUtf8(const Text& text) { return EncodeUtf8(TextToUtf16String(text)); }

}  // namespace xhs
