#include "web/cookies.h"

#include <gtest/gtest.h>

namespace xhs {
namespace {

TEST(MergeCookies, ResponseItemsFirstThenTheRequestsOthers) {
  struct Case {
    Text cookie;
    Text response;
    Text merged;
  };
  const Case cases[] = {
      {"lang=zh; theme=dark; uid=7", "theme=light; uid=deleted; tz=8", "theme=light; tz=8; lang=zh"},
      {"lang=zh;", "", "lang=zh"},
      {"lang=zh; ", "", "lang=zh"},
      {"lang=zh; lang=en", "", "lang=zh"},
      {"", "tz=8; tz=8", "tz=8"},
      {"", "tz=8; tz=9", "tz=8; tz=9"},
      // A semicolon without a blank does not separate items.
      {"a=1;b=2", "b=3", "b=3; a=1;b=2"},
      {"flag", "flag=1", "flag=1"},
      {"lang=zh", "uid=deleted", "lang=zh"},
      {"lang=zh", "Lang=en", "Lang=en; lang=zh"},
      {"  a=1 ", " b=2;", "b=2; a=1"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    Text cookie = c.cookie;
    Text response = c.response;
    EXPECT_EQ(MergeCookies(cookie, response), c.merged) << c.cookie << " + " << c.response;
    EXPECT_EQ(cookie, c.merged);
  }
}

TEST(MergeCookies, TidiesTheResponseStringInPlace) {
  Text cookie = "a=1";
  Text response = "  b=2;";
  MergeCookies(cookie, response);
  EXPECT_EQ(response, Text("b=2; "));
}

TEST(CookieParts, NamesListsAndDistinctJoins) {
  EXPECT_EQ(CookieName(" uid =7"), Text("uid"));
  EXPECT_EQ(CookieName(" flag "), Text("flag"));
  EXPECT_EQ(CookieName("=x"), Text(""));
  EXPECT_TRUE(HasCookieName({"a=1", "b=2"}, "b"));
  EXPECT_FALSE(HasCookieName({"a=1", "b=2"}, "B"));
  EXPECT_EQ(JoinDistinct("x; y; x", "; "), Text("x; y"));
  EXPECT_EQ(JoinDistinct("", "; "), Text(""));
  EXPECT_EQ(IndexOfItem({}, "a"), -1);
  EXPECT_EQ(IndexOfItem({"a", "b", "b"}, "b"), 2);
}

}  // namespace
}  // namespace xhs
