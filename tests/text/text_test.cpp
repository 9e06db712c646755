#include "text/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace xhs {
namespace {

// Two-byte characters in code page 936: 中 = D6 D0, and C2 42, whose second
// byte is the ASCII letter "B".
const Text kZhong = "\xD6\xD0";
const Text kLeadB = "\xC2\x42";  // second byte is "B"
const Text kFullWidthSpace = "\xA1\xA1";

TEST(TextTypes, ZeroByteEndsATextAndBytesKeepIt) {
  EXPECT_EQ(Text(std::string("ab\0c", 4)), Text("ab"));
  const Bytes b{0x61, 0x62, 0x00, 0x63};
  EXPECT_EQ(BytesLength(b), 4);
  EXPECT_EQ(BytesToText(b), Text("ab"));
  EXPECT_EQ(BytesToText(Bytes{}), Text(""));
  EXPECT_EQ(TextToBytes("ab"), (Bytes{0x61, 0x62}));
  EXPECT_TRUE(TextToBytes("").empty());
  EXPECT_EQ(Text("a") + Text("") + Text("b"), Text("ab"));
  EXPECT_EQ(Bytes{0x00} + Bytes{} + Bytes{0x01}, (Bytes{0x00, 0x01}));
}

struct CutCase {
  const char* text;
  int start;
  int count;
  const char* mid;
};

TEST(TextCut, LeftRightAndMidClipAtTheEdges) {
  EXPECT_EQ(TextLeft("abc", 10), Text("abc"));
  EXPECT_EQ(TextLeft("abc", 0), Text(""));
  EXPECT_EQ(TextLeft("abc", -1), Text(""));
  EXPECT_EQ(TextLeft("abc", 2), Text("ab"));
  EXPECT_EQ(TextRight("abc", 0), Text(""));
  EXPECT_EQ(TextRight("abc", 2), Text("bc"));
  EXPECT_EQ(TextRight("abc", 99), Text("abc"));
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength(kZhong + "a"), 3);
  // Byte counts may cut a two-byte character in half.
  EXPECT_EQ(TextLeft(kZhong, 1), Text("\xD6"));

  const CutCase cases[] = {
      {"abcdef", 0, 3, ""},   {"abcdef", -5, 3, ""}, {"abcdef", 1, 3, "abc"}, {"abcdef", 5, 10, "ef"},
      {"abcdef", 6, 1, "f"},  {"abcdef", 7, 1, ""},  {"abcdef", 2, 0, ""},    {"abcdef", 2, -1, ""},
      {"", 1, 1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextMid(c.text, c.start, c.count), Text(c.mid)) << c.text << " " << c.start << " " << c.count;
  }
}

TEST(BytesCut, MidMovesAStartBelowOneToOne) {
  const Bytes b = TextToBytes("abcdef");
  EXPECT_EQ(BytesMid(b, 0, 3), TextToBytes("abc"));
  EXPECT_EQ(BytesMid(b, -4, 2), TextToBytes("ab"));
  EXPECT_EQ(BytesMid(b, 5, 10), TextToBytes("ef"));
  EXPECT_TRUE(BytesMid(b, 7, 1).empty());
  EXPECT_TRUE(BytesMid(b, 2, -3).empty());
  EXPECT_EQ(BytesLeft(b, 99), b);
  EXPECT_TRUE(BytesLeft(b, -1).empty());
  EXPECT_EQ(BytesLeft(Bytes{0, 1, 2}, 2), (Bytes{0, 1}));
  EXPECT_EQ(ZeroBytes(3), (Bytes{0, 0, 0}));
  EXPECT_TRUE(ZeroBytes(0).empty());
  EXPECT_TRUE(ZeroBytes(-2).empty());
  const char raw[] = {'x', '\0', 'y'};
  EXPECT_EQ(BytesFromMemory(raw, 3), (Bytes{'x', 0, 'y'}));
  EXPECT_TRUE(BytesFromMemory(raw, 0).empty());
}

struct FindCase {
  Text text;
  Text pattern;
  int start;
  bool ignoreCase;
  int expected;
};

TEST(FindText, FirstOccurrenceFromStart) {
  const FindCase cases[] = {
      {"abcabc", "c", 1, false, 3},
      {"abcabc", "c", 4, false, 6},
      {"abcabc", "c", 7, false, -1},
      {"abcabc", "c", 0, false, 3},
      {"abcabc", "c", -5, false, 3},
      {"abcabc", "abc", 2, false, 4},
      {"abcabc", "x", 1, false, -1},
      {"abc", "", 3, false, 1},  // empty pattern: 1, not start
      {"abc", "", 4, false, -1},
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
      {"ab", "abc", 1, false, -1},
      {"Accept: x", "ACCEPT: ", 1, true, 1},
      {"Accept: x", "ACCEPT: ", 1, false, -1},
      // The only "B" is the second byte of a two-byte character.
      {"a" + kLeadB + "c", "B", 1, false, -1},
      {kLeadB + "B", "B", 1, false, 3},
      // A start inside a character begins the walk there.
      {kLeadB, "B", 2, false, 2},
      // Folding also applies to second bytes: 0xC2 0x42 ("B") matches "b".
      {kLeadB, "\xC2" "b", 1, true, 1},
      // A lead byte that is the last byte can still be matched alone.
      {"a\xD6", "\xD6", 1, false, 2},
      {kZhong + "abc", "abc", 1, false, 3},
      {kZhong + kZhong, kZhong, 2, false, -1},  // from the second byte the walk is D0 D6 | D0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.pattern, c.start, c.ignoreCase), c.expected)
        << "'" << c.text.str() << "' '" << c.pattern.str() << "' start " << c.start;
  }
}

TEST(FindTextReverse, LastOccurrenceBeforeStart) {
  const FindCase cases[] = {
      {"abcabc", "c", 7, false, 6},
      {"abcabc", "c", 6, false, 3},  // the final "c" lies outside bytes 1..5
      {"abcabc", "c", 1, false, -1},
      {"abcabc", "c", 0, false, -1},
      {"abcabc", "c", 100, false, 6},
      {"abcabc", "bc", 6, false, 2},
      {"abcabc", "", 2, false, 1},
      {"abcabc", "", 1, false, -1},
      {"aaa", "aa", 4, false, 2},  // overlapping occurrences count
      {"xABx", "ab", 5, true, 2},
      {"xABx", "ab", 5, false, -1},
      {"a" + kLeadB + "B", "B", 5, false, 4},
      {"a" + kLeadB, "B", 4, false, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindTextReverse(c.text, c.pattern, c.start, c.ignoreCase), c.expected)
        << "'" << c.text.str() << "' '" << c.pattern.str() << "' start " << c.start;
  }
}

struct ReplaceCase {
  Text text;
  Text old;
  Text replacement;
  bool ignoreCase;
  Text expected;
};

TEST(ReplaceText, LeftToRightWithoutOverlap) {
  const ReplaceCase cases[] = {
      {"aXbXc", "X", "", false, "abc"},
      {"aaa", "aa", "b", false, "ba"},
      {"axbXc", "x", "-", true, "a-b-c"},
      {"axbXc", "x", "-", false, "a-bXc"},
      {"abc", "", "z", false, "abc"},
      {"", "a", "z", false, ""},
      {"abab", "ab", "abab", false, "abababab"},  // inserted text is not searched again
      {kLeadB + "B", "B", "!", false, kLeadB + "!"},
      {"Connection: keep-alive\r\nX: y\r\nConnection: keep-alive\r\n", "Connection: keep-alive\r\n", "", false,
       "X: y\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.old, c.replacement, c.ignoreCase), c.expected) << c.text.str();
  }
}

TEST(SplitText, PiecesBetweenSeparators) {
  struct Case {
    Text text;
    Text separator;
    TextArray expected;
  };
  const Case cases[] = {
      {"a\r\n\r\nb\r\n", "\r\n", {"a", "", "b"}},
      {"\r\na", "\r\n", {"", "a"}},
      {"\r\n", "\r\n", {""}},
      {"", "\r\n", {}},
      {"abc", "", {"abc"}},
      {"a;b", "; ", {"a;b"}},
      {"a; b; ", "; ", {"a", "b"}},
      {"a" + kLeadB + "Bc", "B", {"a" + kLeadB, "c"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitText(c.text, c.separator), c.expected) << c.text.str();
}

TEST(TrimSpaces, AsciiAndFullWidthSpacesAtBothEnds) {
  EXPECT_EQ(TrimSpaces(kFullWidthSpace + " a b \t"), Text("a b \t"));
  EXPECT_EQ(TrimSpaces("  x  "), Text("x"));
  EXPECT_EQ(TrimSpaces("x" + kFullWidthSpace + " "), Text("x"));
  EXPECT_EQ(TrimSpaces(" " + kFullWidthSpace), Text(""));
  EXPECT_EQ(TrimSpaces("\r\n x"), Text("\r\n x"));
  EXPECT_EQ(TrimSpaces(""), Text(""));
  // A1 A1 that straddles two characters is not a space: D6 A1 | A1 41.
  EXPECT_EQ(TrimSpaces("\xD6\xA1\xA1" "A"), Text("\xD6\xA1\xA1" "A"));
}

TEST(ToUpperAscii, OnlyAsciiLettersOutsideTwoByteCharacters) {
  EXPECT_EQ(ToUpperAscii("content-type"), Text("CONTENT-TYPE"));
  EXPECT_EQ(ToUpperAscii(kZhong + "\xC2" "a"), Text(kZhong + "\xC2" "a"));  // C2 61 is one character
  EXPECT_EQ(ToUpperAscii("a" + kZhong + "b"), Text("A" + kZhong + "B"));
}

TEST(SmallConversions, CodesNumbersAndEquality) {
  EXPECT_EQ(CharCode("\xB8x"), -72);
  EXPECT_EQ(CharCode(" "), 32);
  EXPECT_EQ(CharCode(""), 0);
  EXPECT_EQ(CharFromCode(65), Text("A"));
  EXPECT_EQ(CharFromCode(0), Text(""));
  EXPECT_EQ(CharFromCode(0x141), Text("A"));
  EXPECT_EQ(IntToText(-12), Text("-12"));
  EXPECT_EQ(IntToText(0), Text("0"));
  EXPECT_EQ(IntToText(2147483647), Text("2147483647"));
  EXPECT_EQ(IntToText(-2147483647 - 1), Text("-2147483648"));
  EXPECT_TRUE(TextEquals("gbk", "GBK", true));
  EXPECT_FALSE(TextEquals("gbk", "GBK"));
  EXPECT_TRUE(TextEquals("", Text()));
  EXPECT_FALSE(TextEquals("ab", "abc", true));
}

// A random text of whole characters drawn from a small alphabet that makes
// separators and two-byte characters meet often.
Text RandomText(std::mt19937& rng, int chars) {
  static const char* const kAlphabet[] = {"a", ";", " ", "\xC2\x3B", "\xD6\xD0", "\xBB\x20", "B"};
  std::uniform_int_distribution<int> pick(0, 6);
  std::string s;
  for (int i = 0; i < chars; ++i) s += kAlphabet[pick(rng)];
  return Text(std::move(s));
}

TEST(TextProperties, SplitThenJoinGivesTheTextBack) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    const Text text = RandomText(rng, round % 40);
    for (const Text& separator : {Text(";"), Text("; "), Text("a;")}) {
      const TextArray pieces = SplitText(text, separator);
      Text joined;
      for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) joined += separator;
        joined += pieces[i];
      }
      // Only a dropped empty final piece can be missing: the text then ends in the separator.
      if (joined != text) {
        EXPECT_EQ(joined + separator, text) << text.str();
      }
    }
  }
}

TEST(TextProperties, ReplaceNeverMatchesOnASecondByte) {
  std::mt19937 rng(11);
  for (int round = 0; round < 2000; ++round) {
    const Text text = RandomText(rng, round % 40);
    // ";" and " " occur as second bytes of C2 3B and BB 20; replacing them must keep those characters.
    const Text replaced = ReplaceText(ReplaceText(text, ";", ""), " ", "");
    const int expectedLength = TextLength(text) - [&] {
      int n = 0;
      for (std::size_t p = 0; p < text.size();) {
        const auto c = static_cast<unsigned char>(text.str()[p]);
        if (c >= 0x80) {
          p += 2;
        } else {
          n += (c == ';' || c == ' ') ? 1 : 0;
          p += 1;
        }
      }
      return n;
    }();
    EXPECT_EQ(TextLength(replaced), expectedLength) << text.str();
  }
}

}  // namespace
}  // namespace xhs
