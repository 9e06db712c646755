#include "codepage/charset.h"

#include <gtest/gtest.h>

#include "codepage/codepage.h"
#include "hex.h"

namespace xhs {
namespace {

using test::HexBytes;

std::u16string Decoded(const Bytes& body, const Text& charset) {
  std::u16string out = u"untouched";
  EXPECT_TRUE(DecodeCharset(body, charset, out)) << charset.str();
  return out;
}

TEST(DecodeCharset, Utf8) {
  EXPECT_EQ(Decoded(Bytes(std::string("中文 ok")), "utf-8"), u"中文 ok");
  EXPECT_EQ(Decoded(Bytes(std::string("中文")), "UTF-8"), u"中文");
  EXPECT_EQ(Decoded(HexBytes("EF BB BF 41"), "utf-8"), u"A");           // BOM dropped
  EXPECT_EQ(Decoded(HexBytes("41 FF 42 E4 B8"), "utf-8"), u"A\uFFFDB\uFFFD");
  EXPECT_EQ(Utf16StringToText(Decoded(HexBytes("41 FF 42"), "utf-8")).str(), "A?B");
}

TEST(DecodeCharset, Gbk) {
  const Bytes body = HexBytes("D6 D0 41 80 AA A1 D6 30");
  const std::u16string expected = TextToUtf16String(Text(std::string(body.view())));
  for (const char* name : {"gbk", "GBK", "gb2312", "GB2312", "x-gbk", "euc-cn", "cp936"}) {
    EXPECT_EQ(Decoded(body, name), expected) << name;
  }
  EXPECT_EQ(expected, u"\u4E2DA\u20AC\uE000?");
}

TEST(DecodeCharset, ZeroBytesDoNotEndTheBody) {
  EXPECT_EQ(Decoded(HexBytes("41 00 D6 D0"), "gbk"), std::u16string(u"A\0\u4E2D", 3));
  EXPECT_EQ(Decoded(HexBytes("D6 00"), "gbk"), std::u16string(u"?\0", 2));
}

TEST(DecodeCharset, Utf16) {
  EXPECT_EQ(Decoded(HexBytes("FF FE 2D 4E 41 00"), "utf-16"), u"\u4E2DA");  // BOM dropped
  EXPECT_EQ(Decoded(HexBytes("2D 4E 41 00"), "Unicode"), u"\u4E2DA");
  EXPECT_EQ(Decoded(HexBytes("4E 2D 00 41"), "unicodeFFFE"), u"\u4E2DA");
  EXPECT_EQ(Decoded(HexBytes("4E 2D 00"), "utf-16be"), u"\u4E2D\uFFFD");    // odd byte
}

TEST(DecodeCharset, Latin1IsWindows1252) {
  EXPECT_EQ(Decoded(HexBytes("80 E9 41"), "iso-8859-1"), u"\u20AC\u00E9A");
  EXPECT_EQ(Decoded(HexBytes("80"), "ISO-8859-1"), u"\u20AC");
  EXPECT_EQ(Utf16StringToText(Decoded(HexBytes("80"), "iso-8859-1")).str(), "\x80");
}

// Truncated and malformed bodies decode to U+FFFD instead of failing.
TEST(DecodeCharset, MalformedBodies) {
  struct Case {
    const char* charset;
    const char* body;
    std::u16string expected;
  };
  const Case cases[] = {
      {"utf-8", "41 E4 B8", u"A\uFFFD"},
      {"utf-8", "C0 80", u"\uFFFD\uFFFD"},
      {"utf-16le", "41", u"\uFFFD"},
      {"utf-16", "00 D8 41 00", u"\uFFFDA"},                // lone surrogate
      {"shift_jis", "41 82", u"A\uFFFD"},
      {"big5", "A4", u"\uFFFD"},
      {"iso-2022-jp", "1B 24", u"\uFFFD"},
      {"gbk", "41 D6", u"A?"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decoded(HexBytes(c.body), c.charset), c.expected) << c.charset << " " << c.body;
  }
}

TEST(DecodeCharset, EmptyBody) { EXPECT_EQ(Decoded(Bytes{}, "utf-8"), u""); }

TEST(DecodeCharset, UnknownNameLeavesOutUntouched) {
  for (const char* name : {"no-such-charset", "", "utf-8,version=1", "utf 8"}) {
    std::u16string out = u"untouched";
    EXPECT_FALSE(DecodeCharset(HexBytes("41"), name, out)) << name;
    EXPECT_EQ(out, u"untouched");
  }
}

}  // namespace
}  // namespace xhs
