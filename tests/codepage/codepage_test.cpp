#include "codepage/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hex.h"

namespace xhs {
namespace {

using test::HexBytes;
using test::HexText;
using test::ToHex;

struct Case {
  const char* in;
  const char* out;
};

TEST(AnsiToUtf16, ConvertsAndTerminates) {
  const Case cases[] = {
      {"41", "41 00 00 00"},
      {"D6 D0", "2D 4E 00 00"},                       // 中
      {"", ""},                                       // empty, not a lone zero unit
      {"47 45 54", "47 00 45 00 54 00 00 00"},        // "GET": 8 bytes for 3 characters
      {"41 D6 D0 42", "41 00 2D 4E 42 00 00 00"},
      {"80", "AC 20 00 00"},                          // €
      {"FF", "F5 F8 00 00"},
      {"A1 A1", "00 30 00 00"},                       // ideographic space
      {"AA A1", "00 E0 00 00"},                       // user-defined area → private use
      {"F8 A1", "34 E2 00 00"},
      {"A1 40", "C6 E4 00 00"},
      {"A7 A0", "65 E7 00 00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToHex(AnsiToUtf16(HexText(c.in))), c.out) << c.in;
  }
}

TEST(AnsiToUtf16, DropTerminator) {
  EXPECT_EQ(ToHex(AnsiToUtf16("A", true)), "41 00");
  EXPECT_EQ(ToHex(AnsiToUtf16(HexText("D6 D0 41"), true)), "2D 4E 41 00");
  EXPECT_TRUE(AnsiToUtf16("", true).empty());
}

// Malformed 936 input follows the Windows converter: never a failure.
TEST(MultiByteToUtf16, MalformedInput) {
  const Case cases[] = {
      {"D6", "3F 00 00 00"},                          // lead byte at the end
      {"41 D6", "41 00 3F 00 00 00"},
      {"D6 00 41", "3F 00 00 00"},                    // lead before a zero byte: "?", then stop
      {"D6 30", "3F 00 00 00"},                       // invalid trail: one "?" for the pair
      {"D6 30 41", "3F 00 41 00 00 00"},
      {"D6 7F 41", "3F 00 41 00 00 00"},
      {"D6 FF 41", "3F 00 41 00 00 00"},
      {"D6 01", "3F 00 00 00"},
      {"81 40", "02 4E 00 00"},                       // lowest valid pair
      {"D6 80", "24 8B 00 00"},                       // 0x80 is a valid trail
      {"80 80 FF FF", "AC 20 AC 20 F5 F8 F5 F8 00 00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToHex(MultiByteToUtf16(HexBytes(c.in), 936)), c.out) << c.in;
  }
}

TEST(MultiByteToUtf16, StopsAtFirstZeroByte) {
  EXPECT_EQ(ToHex(MultiByteToUtf16(HexBytes("41 00 42"), 936)), "41 00 00 00");
  EXPECT_TRUE(MultiByteToUtf16(HexBytes("00 41"), 936).empty());
  EXPECT_TRUE(MultiByteToUtf16(Bytes{}, 936).empty());
}

TEST(MultiByteToUtf16, CodePages) {
  EXPECT_EQ(ToHex(MultiByteToUtf16(HexBytes("D6 D0"), 0)), "2D 4E 00 00");  // 0 is 936
  EXPECT_TRUE(MultiByteToUtf16(HexBytes("41"), 1234).empty());
  EXPECT_TRUE(MultiByteToUtf16(HexBytes("41"), -1).empty());
}

TEST(TrimUtf16AtZero, Cases) {
  struct TrimCase {
    const char* in;
    bool append;
    const char* out;
  };
  const TrimCase cases[] = {
      {"41 00 42 00", false, "41 00 42 00"},          // no zero unit: all of it
      {"41 00 42", false, "41 00"},                   // odd byte dropped
      {"41 00 42", true, "41 00 00 00"},
      {"00 00 41 00", false, ""},
      {"00 00 41 00", true, ""},                      // empty prefix stays empty
      {"41 00 00 00 42 00", false, "41 00"},
      {"41 00 00 00 42 00", true, "41 00 00 00"},
      {"00 41 00 00", false, "00 41"},                // units, not bytes: 00 41 is U+4100
      {"41", true, ""},
      {"", true, ""},
  };
  for (const TrimCase& c : cases) {
    EXPECT_EQ(ToHex(TrimUtf16AtZero(HexBytes(c.in), c.append)), c.out) << c.in << " " << c.append;
  }
}

TEST(Utf16ToAnsi, Cases) {
  const Case cases[] = {
      {"2D 4E", "D6 D0"},
      {"2D 4E 00 00", "D6 D0"},
      {"41 00 00 00 42 00", "41"},                    // stops at the first zero unit
      {"", ""},
      {"00 00", ""},
      {"41 00 42", "41"},                             // odd last byte ignored
      {"AC 20", "80"},
      {"F5 F8", "FF"},
      {"00 E0", "AA A1"},                             // private use → user-defined area
      {"C6 E4", "A1 40"},
      {"3D D8 00 DE", "3F 3F"},                       // emoji U+1F600: one "?" per unit
      {"3D D8 41 00", "3F 41"},                       // lone high surrogate
      {"00 DE", "3F"},                                // lone low surrogate
      {"0B 20", "3F"},                                // zero-width space: "?", not dropped
      {"0F FE", "3F"},                                // variation selector: "?", not dropped
      {"FD FF", "3F"},                                // U+FFFD
      {"B7 00", "A1 A4"},                             // middle dot
      {"41 00 0B 20 42 00", "41 3F 42"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToHex(Utf16ToAnsi(HexBytes(c.in))), c.out) << c.in;
  }
}

TEST(Utf16ToMultiByte, CodePages) {
  EXPECT_EQ(ToHex(Utf16ToMultiByte(HexBytes("2D 4E"), 0)), "D6 D0");
  EXPECT_EQ(ToHex(Utf16ToText(HexBytes("2D 4E"))), "D6 D0");   // default: code page 0
  EXPECT_TRUE(Utf16ToMultiByte(HexBytes("41 00"), 1234).empty());
  EXPECT_TRUE(Utf16ToText(HexBytes("41 00"), 1234).empty());
}

// Every valid two-byte 936 character survives 936 → UTF-16 → 936.
TEST(Cp936, EveryTwoByteCharacterRoundTrips) {
  std::string all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      all.push_back(static_cast<char>(lead));
      all.push_back(static_cast<char>(trail));
    }
  }
  const std::u16string units = TextToUtf16String(Text(all));
  ASSERT_EQ(units.size(), all.size() / 2);
  EXPECT_EQ(units.find(u'?'), std::u16string::npos);
  const Text back = Utf16StringToText(units);
  ASSERT_EQ(back.size(), all.size());
  for (std::size_t i = 0; i < all.size(); i += 2) {
    ASSERT_EQ(back.view().substr(i, 2), std::string_view(all).substr(i, 2)) << ToHex(all.substr(i, 2));
  }
}

TEST(Cp936, AsciiRoundTrips) {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(Text(ascii))).str(), ascii);
}

TEST(Utf16String, FastPaths) {
  EXPECT_EQ(TextToUtf16String(HexText("41 D6 D0")), u"A\u4E2D");
  EXPECT_EQ(TextToUtf16String(""), u"");
  EXPECT_EQ(ToHex(Utf16StringToText(u"A\u4E2D")), "41 D6 D0");
  EXPECT_EQ(ToHex(Utf16StringToText(std::u16string_view(u"A\0B", 3))), "41");
  EXPECT_EQ(ToHex(Utf16StringToText(u"\U0001F600")), "3F 3F");
}

TEST(Utf8, Edges) {
  EXPECT_EQ(ToHex(Utf8ToText("下载完成")), "CF C2 D4 D8 CD EA B3 C9");
  EXPECT_EQ(TextToUtf8(Utf8ToText("下载完成")), "下载完成");
  EXPECT_EQ(TextToUtf8(HexText("80")), "€");
  EXPECT_EQ(Utf8ToText("").str(), "");
  EXPECT_EQ(TextToUtf8(""), "");
  EXPECT_EQ(ToHex(Utf8ToText("😀")), "3F 3F");                    // outside the BMP: two units
  EXPECT_EQ(TextToUtf8(HexText("D6 30 41")), "?A");
}

TEST(Utf8, InvalidSequencesBecomeQuestionMarks) {
  const Case cases[] = {
      {"41 FF 42", "41 3F 42"},
      {"C3", "3F"},                                   // truncated at the end
      {"E4 B8", "3F"},                                // truncated three-byte: one maximal subpart
      {"E4 B8 41", "3F 41"},
      {"C0 AF", "3F 3F"},                             // overlong
      {"ED A0 80", "3F 3F 3F"},                       // encoded surrogate
      {"F4 90 80 80", "3F 3F 3F 3F"},                 // beyond U+10FFFF
      {"80 BF", "3F 3F"},                             // stray continuation bytes
      {"E4 B8 AD", "D6 D0"},
      {"41 00 42", "41"},                             // a zero byte ends the text
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToHex(Utf8ToText(test::FromHex(c.in))), c.out) << c.in;
  }
}

}  // namespace
}  // namespace xhs
