#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "text/markers.h"

namespace xhs {
namespace {

// Code page 936 literals.
const Text kZhong = "\xD6\xD0";           // 中
const Text kQian = "\xC7\xB0";            // 前
const Text kCyrillicA = "\xA7\xA1";       // А (U+0410)
const Text kCyrillicSmallA = "\xA7\xD1";  // а (U+0430)
const Text kFullwidthA = "\xA3\xC1";      // Ａ (U+FF21)
const Text kFullwidthSmallA = "\xA3\xE1"; // ａ (U+FF41)
const Text kEAcute = "\xA8\xA6";          // é (U+00E9)
const Text kTimes = "\xA1\xC1";           // × (U+00D7)

const Text kTraceIdPattern = "traceId\":\".*?\"";
const Text kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

TEST(RegexObjectTest, BeforeAnySearchEveryQueryIsEmpty) {
  RegexObject regex;
  int position = 7;
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1, &position), "");
  EXPECT_EQ(position, -2);
  EXPECT_EQ(regex.SubMatchText(1, 1), "");
  EXPECT_EQ(regex.GetPattern(), "");
  EXPECT_EQ(regex.ReplaceMatches("x"), "");
}

TEST(RegexObjectTest, NoMatchStillRuns) {
  RegexObject regex;
  EXPECT_TRUE(regex.Search(kTraceIdPattern, "<html>no identifier here</html>"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1), "");
  EXPECT_EQ(regex.ReplaceMatches("x"), "<html>no identifier here</html>");
  EXPECT_TRUE(regex.Search("a", ""));
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObjectTest, PatternThatDoesNotCompile) {
  for (const Text pattern : {"(abc", "a[", "*a", "a{2,1}"}) {
    SCOPED_TRACE(pattern.str());
    RegexObject regex;
    EXPECT_FALSE(regex.Search(pattern, "abc abc"));
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.SubMatchCount(), 0);
    EXPECT_EQ(regex.MatchText(1), "");
    EXPECT_EQ(regex.SubMatchText(1, 1), "");
    EXPECT_EQ(regex.ReplaceMatches("x"), "");
    EXPECT_EQ(regex.GetPattern(), pattern);  // the pattern was still set
  }
}

struct CountCase {
  const char* name;
  Text pattern;
  Text text;
  bool caseSensitive;
  bool multiline;
  int count;
};

class MatchCountTest : public testing::TestWithParam<CountCase> {};

TEST_P(MatchCountTest, Counts) {
  const CountCase& c = GetParam();
  RegexObject regex;
  ASSERT_TRUE(regex.Search(c.pattern, c.text, c.caseSensitive, c.multiline));
  EXPECT_EQ(regex.MatchCount(), c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, MatchCountTest,
    testing::Values(
        CountCase{"CaseIgnoredByDefault", "abc", "ABC", false, true, 1},
        CountCase{"CaseSensitive", "abc", "ABC", true, true, 0},
        CountCase{"CaseSensitiveSame", "abc", "xabc", true, true, 1},
        // Letter case is folded for ASCII only.
        CountCase{"CyrillicNotFolded", kCyrillicA, kCyrillicSmallA, false, true, 0},
        CountCase{"CyrillicItself", kCyrillicA, kCyrillicA, false, true, 1},
        CountCase{"FullwidthNotFolded", kFullwidthSmallA, kFullwidthA, false, true, 0},
        // \w, \d and \s know only ASCII, units 0x80-0xFF included.
        CountCase{"WordIsAscii", "\\w", kEAcute + kZhong + kTimes, false, true, 0},
        CountCase{"WordAscii", "\\w+", "a_1 " + kZhong + "b", false, true, 2},
        CountCase{"DigitSpaceAscii", "[\\d\\s]", kFullwidthA + "\xA3\xB1\xA1\xA1", false, true, 0},
        // A two-byte character is one unit for "." and for classes.
        CountCase{"DotTakesWideChar", "^a.c$", "a" + kZhong + "c", false, true, 1},
        CountCase{"NegatedClassTakesWideChar", "a[^\\w]c", "a" + kZhong + "c", false, true, 1},
        // "." stops at a line feed, not at a carriage return.
        CountCase{"DotNotLineFeed", "a.b", "a\nb", false, true, 0},
        CountCase{"DotCarriageReturn", "a.b", "a\rb", false, true, 1},
        CountCase{"LazyDotStopsAtLine", "x.*?y", "x\ny x1y", false, true, 1},
        // Multiline moves "^" and "$" to every line feed; without it "$" is the very end.
        CountCase{"MultilineCaret", "^b", "a\nb", false, true, 1},
        CountCase{"SingleLineCaret", "^b", "a\nb", false, false, 0},
        CountCase{"MultilineDollar", "a$", "a\nb", false, true, 1},
        CountCase{"DollarOnlyAtEnd", "a$", "a\n", false, false, 0},
        // After an empty match the search resumes one unit further.
        CountCase{"EmptyMatches", "x*", "axxb", false, true, 4},
        CountCase{"EmptyPattern", "", kZhong + "ab", false, true, 4},
        CountCase{"Alternation", "cat|dog", "cat dog cow DOG", false, true, 3},
        CountCase{"HexAndUnicodeEscapes", "\\x41\\u4E2D", "a" + kZhong, false, true, 1}),
    [](const testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

TEST(RegexObjectTest, GlobalOffFindsOnlyTheFirst) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("a(\\d)", "a1 a2 a3", false, true, false));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.MatchText(1), "a1");
  EXPECT_EQ(regex.ReplaceMatches("[$1]"), "[1] a2 a3");
}

TEST(RegexObjectTest, MatchTextsAndNumbersOutOfRange) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("a(\\d)(x)?", "a1 A2x"));
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.MatchText(1), "a1");
  EXPECT_EQ(regex.MatchText(2), "A2x");
  EXPECT_EQ(regex.MatchText(0), "");
  EXPECT_EQ(regex.MatchText(3), "");
  EXPECT_EQ(regex.MatchText(-1), "");
  EXPECT_EQ(regex.SubMatchCount(), 2);
  EXPECT_EQ(regex.SubMatchText(1, 1), "1");
  EXPECT_EQ(regex.SubMatchText(1, 2), "");  // took no part
  EXPECT_EQ(regex.SubMatchText(2, 2), "x");
  EXPECT_EQ(regex.SubMatchText(2, 0), "");
  EXPECT_EQ(regex.SubMatchText(2, 3), "");
  EXPECT_EQ(regex.SubMatchText(3, 1), "");
  EXPECT_EQ(regex.SubMatchText(0, 1), "");
}

TEST(RegexObjectTest, TextsComeBackInCodePage936) {
  RegexObject regex;
  const Text text = kQian + kZhong + "abc" + kZhong + "x";
  ASSERT_TRUE(regex.Search(kZhong + "(\\w+)(.)", text));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.MatchText(1), kZhong + "abc" + kZhong);
  EXPECT_EQ(regex.SubMatchText(1, 1), "abc");
  EXPECT_EQ(regex.SubMatchText(1, 2), kZhong);
  EXPECT_EQ(regex.GetPattern(), kZhong + "(\\w+)(.)");
}

TEST(RegexObjectTest, QuotePlaceholder) {
  const Text pattern = Text(kQuotePlaceholder) + "(\\w+)" + kQuotePlaceholder;
  RegexObject regex;
  ASSERT_TRUE(regex.Search(pattern, "say \"hello\" now", false, true, true, true));
  EXPECT_EQ(regex.GetPattern(), "\"(\\w+)\"");
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "hello");

  // Not expanded, the placeholder is matched as the text it is.
  ASSERT_TRUE(regex.Search(pattern, "say \"hello\" now"));
  EXPECT_EQ(regex.GetPattern(), pattern);
  EXPECT_EQ(regex.MatchCount(), 0);
  ASSERT_TRUE(regex.Search(pattern, "x" + Text(kQuotePlaceholder) + "word" + kQuotePlaceholder));
  EXPECT_EQ(regex.SubMatchText(1, 1), "word");
}

TEST(RegexObjectTest, CharsetPattern) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search(kCharsetPattern, "<meta charset=\"gbk\">"));
  EXPECT_EQ(regex.SubMatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "gbk");

  ASSERT_TRUE(regex.Search(kCharsetPattern,
                           "<html><head><META http-equiv=\"Content-Type\" "
                           "content=\"text/html; charset=UTF-8\"></head>"));
  EXPECT_EQ(regex.SubMatchText(1, 1), "UTF-8");

  ASSERT_TRUE(regex.Search(kCharsetPattern, "<html><head><title>t</title></head><body>x</body>"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  EXPECT_EQ(regex.SubMatchText(1, 1), "");
}

struct PositionCase {
  const char* name;
  Text pattern;
  Text text;
  bool caseSensitive;
  int matchIndex;
  int subIndex;  // 0: MatchText
  Text result;
  int position;
};

class PositionTest : public testing::TestWithParam<PositionCase> {};

TEST_P(PositionTest, Position) {
  const PositionCase& c = GetParam();
  RegexObject regex;
  ASSERT_TRUE(regex.Search(c.pattern, c.text, c.caseSensitive));
  int position = 99;
  const Text result = c.subIndex == 0 ? regex.MatchText(c.matchIndex, &position)
                                      : regex.SubMatchText(c.matchIndex, c.subIndex, &position);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(position, c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, PositionTest,
    testing::Values(
        PositionCase{"First", "abc", "abcabc", false, 1, 0, "abc", 0},
        PositionCase{"Second", "abc", "abcabc", false, 2, 0, "abc", 3},
        // The unit offset 1 is the byte start; the match lies at byte 3.
        PositionCase{"AfterWideChar", "abc", kZhong + "abc", false, 1, 0, "abc", 2},
        PositionCase{"Group", "abc(\\d+)", "abc12abc34", false, 2, 1, "34", 8},
        PositionCase{"GroupAfterWideChar", "b(c)", kZhong + kZhong + "abc", false, 1, 1, "c", 6},
        // A case-insensitive expression is looked up exactly.
        PositionCase{"CaseIgnored", "abc", "ABCabc", false, 2, 0, "abc", 3},
        // A case-sensitive one is looked up ignoring case: the earlier "ABC",
        // reached from the unit offset, is taken.
        PositionCase{"CaseSensitiveLookupIgnoresCase", "abc", kZhong + kZhong + "ABCabc", true, 1, 0,
                     "abc", 4},
        PositionCase{"NoSuchMatch", "abc", "abc", false, 2, 0, "", -2},
        PositionCase{"GroupTookNoPart", "a(x)?", "a", false, 1, 1, "", -2},
        // A text that does not survive the trip to UTF-16 unchanged is looked
        // up in its converted form ("?" for the broken pair).
        PositionCase{"BrokenPair", "b.", "\x81\x20" "ab?", false, 1, 0, "b?", 2}),
    [](const testing::TestParamInfo<PositionCase>& info) { return std::string(info.param.name); });

TEST(RegexObjectTest, SecondSearchForgetsTheFirst) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("(a)(b)", "ab ab ab"));
  ASSERT_EQ(regex.MatchCount(), 3);
  ASSERT_TRUE(regex.Search("c", "c", true));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  EXPECT_EQ(regex.MatchText(2), "");
  EXPECT_EQ(regex.GetPattern(), "c");
  EXPECT_EQ(regex.ReplaceMatches("d"), "d");
  // The case rule is that of the new search too.
  ASSERT_TRUE(regex.Search("c", "C"));
  EXPECT_EQ(regex.MatchCount(), 1);
  // A failed search leaves nothing of the one before.
  EXPECT_FALSE(regex.Search("(", "c"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1), "");
  EXPECT_EQ(regex.GetPattern(), "(");
}

TEST(RegexObjectTest, ReplaceMatches) {
  struct Case {
    Text pattern, text, replacement, result;
  };
  const std::vector<Case> cases = {
      {"a(b)", "abab", "[$1$&$$]", "[bab$][bab$]"},
      {"a(b)", "xaby", "$2$0$x$", "x$2$0$x$y"},  // not a group: kept as written
      {"(a)|(b)", "ab", "<$1$2>", "<a><b>"},      // a group that took no part is ""
      {"x*", "ab", "-", "-a-b-"},
      {"b", kZhong + "b" + kZhong, kQian, kZhong + kQian + kZhong},
      {"B", "abc", "", "ac"},
      {"z", "abc", "y", "abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern.str() + " / " + c.replacement.str());
    RegexObject regex;
    ASSERT_TRUE(regex.Search(c.pattern, c.text));
    EXPECT_EQ(regex.ReplaceMatches(c.replacement), c.result);
  }
}

// A single-line page of about 2 MB with `count` identifiers and charset tags
// among filler that holds two-byte characters and near misses.
struct Page {
  Text text;
  std::vector<Text> ids;
  std::vector<Text> charsets;
};

Page MakePage(int count, std::size_t size) {
  Page page;
  std::string filler;
  while (filler.size() < size / static_cast<std::size_t>(count)) {
    filler += "<div class=\"c\">" + kZhong.str() + kQian.str() + "traceI \"x\":\"y\" <met a></div>";
  }
  std::string s = "<!DOCTYPE html><html><head>";
  for (int i = 0; i < count; ++i) {
    char id[64];
    std::snprintf(id, sizeof id, "%08x-%04d-4a7b-9c1d-%012d", 0x5e3a1f00u + static_cast<unsigned>(i), i,
                  i * 7919);
    page.ids.push_back(Text(std::string(id)));
    page.charsets.push_back(Text("cs-" + std::to_string(i)));
    s += (i % 2 ? "{\"traceId\":\"" : "{\"TRACEID\":\"") + std::string(id) + "\",\"w\":1080}";
    s += "<meta http-equiv=\"x\" content=\"text/html; charset=" + page.charsets.back().str() + "\">";
    s += filler;
  }
  s += "</body></html>";
  page.text = Text(std::move(s));
  return page;
}

TEST(RegexObjectTest, SystemPatternsOverLargePage) {
  const Page page = MakePage(1000, 2 << 20);
  ASSERT_GE(page.text.size(), std::size_t{2} << 20);
  RegexObject regex;
  ASSERT_TRUE(regex.Search(kTraceIdPattern, page.text));
  ASSERT_EQ(regex.MatchCount(), 1000);
  for (int i = 0; i < 1000; ++i) {
    const Text expected = Text(i % 2 ? "traceId\":\"" : "TRACEID\":\"") + page.ids[i] + "\"";
    ASSERT_EQ(regex.MatchText(i + 1), expected) << i;
  }

  ASSERT_TRUE(regex.Search(kCharsetPattern, page.text));
  ASSERT_EQ(regex.MatchCount(), 1000);
  EXPECT_EQ(regex.SubMatchCount(), 1);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(regex.SubMatchText(i + 1, 1), page.charsets[i]) << i;
}

TEST(RegexObjectTest, LazyMatchesSpanningMegabytes) {
  const std::string value(2 << 20, 'z');
  const Text text("{\"traceId\":\"" + value + "\"}");
  RegexObject regex;
  ASSERT_TRUE(regex.Search(kTraceIdPattern, text));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.MatchText(1).size(), value.size() + 11);
  // A repeated group keeps a backtracking entry per repetition.
  ASSERT_TRUE(regex.Search("traceId\":\"((?:z|y)*?)\"", text));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1).size(), value.size());
}

TEST(RegexObjectTest, RunawayPatternGivesUpWithTheMatchesFound) {
  using Clock = std::chrono::steady_clock;
  const Text runaway(std::string(100'000, 'a') + "b");
  const Clock::time_point start = Clock::now();
  RegexObject regex;
  EXPECT_TRUE(regex.Search("(a+)+$", runaway));
  EXPECT_EQ(regex.MatchCount(), 0);
  // Lines before the runaway one keep their matches.
  EXPECT_TRUE(regex.Search("^(a+)+$", "aa\naaa\n" + TextLeft(runaway, 5000) + "b\naa"));
  EXPECT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.MatchText(2), "aaa");
  // A generous bound: the search must end, not hang.
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
}

// Timing of the system's identifier search over a 2 MB page with a thousand
// matches, conversion and every MatchText included. Run it with
// --gtest_also_run_disabled_tests --gtest_filter='*Timing*'.
TEST(RegexObjectTest, DISABLED_TimingIdentifierSearch) {
  const Page page = MakePage(1000, 2 << 20);
  std::vector<double> runs;
  for (int run = 0; run < 21; ++run) {
    const auto start = std::chrono::steady_clock::now();
    RegexObject regex;
    regex.Search(kTraceIdPattern, page.text);
    std::size_t bytes = 0;
    for (int i = 1; i <= regex.MatchCount(); ++i) bytes += regex.MatchText(i).size();
    runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    ASSERT_GT(bytes, 0u);
  }
  std::sort(runs.begin(), runs.end());
  std::printf("identifier search over %zu bytes: median %.2f ms, min %.2f ms, max %.2f ms\n",
              page.text.size(), runs[runs.size() / 2], runs.front(), runs.back());
}

}  // namespace
}  // namespace xhs
