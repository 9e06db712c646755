#include "web/headers.h"

#include <gtest/gtest.h>

namespace xhs {
namespace {

TEST(NormalizeHeaderNames, CapitalisesEachPartOfEachName) {
  const std::pair<Text, Text> cases[] = {
      {"accept-language: zh-cn\r\ncache-control: no-cache\r\n", "Accept-Language: zh-cn\r\nCache-Control: no-cache"},
      {"User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
       "Accept: text/html, application/xhtml+xml, */*\r\nAccept-Encoding: identity\r\n"
       "Accept-Language: zh-cn\r\nCache-Control: no-cache\r\n",
       "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
       "Accept: text/html, application/xhtml+xml, */*\r\nAccept-Encoding: identity\r\n"
       "Accept-Language: zh-cn\r\nCache-Control: no-cache"},
      {"HOST: a", "HOST: a"},
      {"x-REQUESTED-with: y", "X-REQUESTED-With: y"},
      // Lines without ":" disappear.
      {"\r\nstray\r\nhost: a\r\n\r\n", "Host: a"},
      {"stray\r\n\r\n", ""},
      {"", ""},
      // Only the text before the first ":" is the name.
      {"referer: http://a-b.c/d-e", "Referer: http://a-b.c/d-e"},
      // Dashes are all kept, the letters after them change.
      {"x-: 1\r\na--b: 2\r\n-a: 3", "X-: 1\r\nA--B: 2\r\n-A: 3"},
      // A blank first byte keeps the name as it is.
      {" accept: x", " accept: x"},
  };
  for (const auto& [block, expected] : cases) EXPECT_EQ(NormalizeHeaderNames(block), expected) << block;
}

TEST(HeaderValue, FirstLineThatBeginsWithTheName) {
  struct Case {
    Text block;
    Text name;
    Text expected;
  };
  const Case cases[] = {
      {"Host: a\r\nConnection: keep-alive\r\n", "Connection", "keep-alive"},
      // The search ends at the first line that begins with the name.
      {"Connection-Id: 7\r\nConnection: close\r\n", "Connection", ""},
      {"connection: close", "Connection", ""},
      {"X: a: X: b", "X", "b"},
      {"Host: a\r\nX: 1", "", "a"},
      {"Host: a", "Cookie", ""},
      {"", "Host", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(HeaderValue(c.block, c.name), c.expected) << c.block << " / " << c.name;
}

}  // namespace
}  // namespace xhs
