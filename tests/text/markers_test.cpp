#include "text/markers.h"

#include <gtest/gtest.h>

#include <climits>

namespace xhs {
namespace {

struct BetweenCase {
  Text text;
  Text left;
  Text right;
  int start;
  bool ignoreCase;
  Text expected;
};

TEST(TextBetween, FirstLeftMarkerThenFirstRightMarkerAfterIt) {
  const Text quote = kQuotePlaceholder;
  const BetweenCase cases[] = {
      {"name=abc;id=42;", "id=", ";", 0, false, "42"},
      {"ab[cd]ef[gh]", "[", "]", 0, false, "cd"},
      {"ab[cd", "[", "]", 0, false, ""},
      {"ab]cd[", "[", "]", 0, false, ""},
      {"[]x]", "[", "]", 0, false, ""},
      {"[a][b]", "[", "]", 2, false, "b"},
      {"[a][b]", "[", "]", 0, false, "a"},
      {"[a][b]", "[", "]", 1, false, "a"},
      {"[a][b]", "[", "]", -3, false, "a"},
      {"xKEY=1;", "key=", ";", 0, false, ""},
      {"xKEY=1;", "key=", ";", 0, true, "1"},
      {"id=\"42\";", "id=" + quote, quote, 0, false, "42"},
      {"abc;def", "", ";", 0, false, "abc"},
      {"abc;def", "abc", "", 0, false, ""},
      // Only the first left marker is tried.
      {"[a [b]", "[", "]", 0, false, "a [b"},
      {"<a [x", "[", "]", 0, false, ""},
      // The placeholder is expanded in the markers only, never in the text.
      {"a#\xD2\xFD\xBA\xC5" "b\"", "a" + quote, "\"", 0, false, ""},
      {"http://x.y/z\xA3\xAC" "tail", "http", "\xA3\xAC", 0, false, "://x.y/z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.expected)
        << "'" << c.text.str() << "' start " << c.start;
  }
}

struct SideCase {
  Text text;
  Text marker;
  int start;
  Text expected;
};

TEST(TextLeftOf, FirstOccurrenceByDefaultLastWithANegativeStart) {
  const SideCase cases[] = {
      {"Content-Type: a: b", ": ", 0, "Content-Type"},
      {"Content-Type: a: b", ": ", -1, "Content-Type: a"},
      {"x=1=2", "=", 0, "x"},
      {"x=1=2", "=", -1, "x=1"},
      {"x=1=2", "=", -2, "x"},  // the "=" at byte 4 reaches beyond byte 3
      {"x=1=2", "=", 3, "x=1"},
      {"x=1=2", "=", -5, ""},
      {"abc", ":", 0, ""},
      {"", ":", 0, ""},
      {":a", ":", 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextLeftOf(c.text, c.marker, c.start), c.expected) << c.text.str() << " " << c.start;
  }
}

TEST(TextRightOf, LastOccurrenceByDefaultFirstWithANegativeStart) {
  const SideCase cases[] = {
      {"a: b: c", ": ", 0, "c"},
      {"a: b: c", ": ", -1, "b: c"},
      {"a: b: c", ": ", 2, "b: c"},  // the last ": " reaches beyond byte 5
      {"a: b: c", ": ", -3, "c"},    // forwards from byte 3
      {"a: b: c", ": ", 7, ""},
      {"ab:", ":", 0, ""},
      {"abc", ":", 0, ""},
      {"Set-Cookie: a=b", "Set-Cookie: ", 0, "a=b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextRightOf(c.text, c.marker, c.start), c.expected) << c.text.str() << " " << c.start;
  }
  EXPECT_EQ(TextRightOf("xAB:y", "ab:", 0, true), Text("y"));
  // Starts at the ends of the int range find nothing (and overflow nothing).
  EXPECT_EQ(TextRightOf("a:b", ":", INT_MIN), Text(""));
  EXPECT_EQ(TextRightOf("a:b", ":", INT_MAX), Text(""));
  EXPECT_EQ(TextLeftOf("a:b", ":", INT_MIN), Text(""));
  EXPECT_EQ(TextLeftOf("a:b", ":", INT_MAX), Text(""));
  EXPECT_EQ(TextLeftOf("xAB:y", "ab:", 0, true), Text("x"));
}

TEST(CapitalizeFirst, OnlyTheFirstByteAndOnlyAToZ) {
  const std::pair<Text, Text> cases[] = {
      {"content", "Content"}, {"hELLO", "HELLO"}, {"x", "X"},
      {"1a", "1a"},           {"", ""},           {"\xD6\xD0" "abc", "\xD6\xD0" "abc"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(CapitalizeFirst(in), out) << in.str();
}

}  // namespace
}  // namespace xhs
