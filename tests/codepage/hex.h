// Hex spelling of byte values for the code page tests.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace xhs::test {

// "41 00 D6" → the bytes 41 00 D6 (spaces optional).
inline std::string FromHex(std::string_view hex) {
  std::string out;
  int high = -1;
  for (const char c : hex) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

inline Bytes HexBytes(std::string_view hex) { return Bytes(FromHex(hex)); }
inline Text HexText(std::string_view hex) { return Text(FromHex(hex)); }

inline std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
    out.push_back(kDigits[static_cast<unsigned char>(c) & 0xF]);
  }
  return out;
}
inline std::string ToHex(const Bytes& b) { return ToHex(b.view()); }
inline std::string ToHex(const Text& t) { return ToHex(t.view()); }

}  // namespace xhs::test
