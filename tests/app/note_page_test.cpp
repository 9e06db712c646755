// The pure pieces of finding pictures by the note's address.
#include "app/note_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codepage/codepage.h"

namespace xhs {
namespace {

TEST(ShareLinkTest, TakesTheFirstLinkUpToItsEnd) {
  struct Case {
    std::string text;  // UTF-8
    std::string link;
  } const cases[] = {
      {"64 小明发布了一篇小红书笔记，快来看吧！ 😆 abc123 😆 http://xhslink.com/a/AbCd1234，复制本条信息，打开【小红书】App查看精彩内容！",
       "http://xhslink.com/a/AbCd1234"},
      {"【标题 - 小明 | 小红书 - 你的生活指南】 😆 AbCd 😆 https://www.xiaohongshu.com/discovery/item/66f1?source=webshare&"
       "xsec_token=AB1=&xsec_source=pc_share",
       "https://www.xiaohongshu.com/discovery/item/66f1?source=webshare&xsec_token=AB1=&xsec_source=pc_share"},
      {"看看 http://xhslink.com/o/5tOT2jNLmC0 复制后打开【小红书】查看笔记！", "http://xhslink.com/o/5tOT2jNLmC0"},
      {"HTTPS://Example.com/A", "https://Example.com/A"},
      {"hTtP://h/p\r\nnext line", "http://h/p"},
      {"http://h/p\tx", "http://h/p"},
      {"<a href=\"http://h/p\">x</a>", "http://h/p"},
      {"<http://h/p>", "http://h/p"},
      {"http://h/中文", "http://h/"},
      {"http://h/p,", "http://h/p,"},  // ASCII punctuation belongs to the link
      {"http-ish words, then https://h/s and http://h/t", "https://h/s"},
      {"no link here", ""},
      {"http:/h/p", ""},
      {"", ""},
      {"http://", "http://"},
  };
  for (const Case& c : cases) EXPECT_EQ(ShareLink(Utf8ToText(c.text)), Text(c.link)) << c.text;
}

TEST(UnescapeHtmlEntitiesTest, ReplacesTheFourEntitiesOnce) {
  struct Case {
    Text in;
    Text out;
  } const cases[] = {
      {"a=1&amp;b=2&amp;c", "a=1&b=2&c"},
      {"&quot;x&quot; &#34;y&#34; &#39;z&#39;", "\"x\" \"y\" 'z'"},
      {"&amp;quot;", "&quot;"},
      {"&amp;amp;", "&amp;"},
      {"&lt;&gt;&nbsp;&AMP;", "&lt;&gt;&nbsp;&AMP;"},
      {"& amp; &", "& amp; &"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UnescapeHtmlEntities(c.in), c.out) << c.in;
}

TEST(BodyRedirectTargetTest, FirstHrefUnescaped) {
  EXPECT_EQ(BodyRedirectTarget("<a href=\"https://h/d/1?a=1&amp;b=2\">Temporary Redirect</a>."),
            Text("https://h/d/1?a=1&b=2"));
  EXPECT_EQ(BodyRedirectTarget("Redirecting to <a href=\"/explore/1?x=1&amp;y=2\">/explore/1?x=1&amp;y=2</a>."),
            Text("/explore/1?x=1&y=2"));
  EXPECT_EQ(BodyRedirectTarget("<A HREF=\"/p\">x</A> <a href=\"/q\">"), Text("/p"));
  EXPECT_EQ(BodyRedirectTarget("<a href=\"/unterminated"), Text());
  EXPECT_EQ(BodyRedirectTarget("Found."), Text());
}

TEST(JoinUrlTest, ResolvesEachFormAgainstTheBase) {
  struct Case {
    Text base;
    Text reference;
    Text joined;
  } const cases[] = {
      {"http://a.com/b/c?q#f", "https://x.org/y", "https://x.org/y"},
      {"http://a.com/b/c?q#f", "HTTP://X/Y", "HTTP://X/Y"},
      {"https://a.com/b/c?q#f", "//x.org/y?z", "https://x.org/y?z"},
      {"https://a.com:8443/b/c?q", "/explore/1?t=2", "https://a.com:8443/explore/1?t=2"},
      {"https://a.com/b/c?q#f", "?t=1", "https://a.com/b/c?t=1"},
      {"https://a.com/b/c?q#f", "#g", "https://a.com/b/c?q#g"},
      {"https://a.com/b/c?q#f", "", "https://a.com/b/c?q"},
      {"https://a.com/b/c?q", "d?e", "https://a.com/b/d?e"},
      {"https://a.com/b/", "d", "https://a.com/b/d"},
      {"https://a.com", "d", "https://a.com/d"},
      {"https://a.com?q", "d", "https://a.com/d"},
      {"https://a.com/b/c", "../d", "https://a.com/b/../d"},
      {"https://a.com/b", "mailto:x@y", "mailto:x@y"},
      {"no scheme", "/p", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(JoinUrl(c.base, c.reference), c.joined) << c.base << " + " << c.reference;
}

TEST(OriginTest, SameOriginComparesSchemeHostAndPort) {
  struct Case {
    Text a;
    Text b;
    bool same;
  } const cases[] = {
      {"https://www.xiaohongshu.com/explore/1", "https://www.xiaohongshu.com/", true},
      {"HTTPS://WWW.Xiaohongshu.COM/x", "https://www.xiaohongshu.com/", true},
      {"https://www.xiaohongshu.com:443/x", "https://www.xiaohongshu.com/", true},
      {"https://www.xiaohongshu.com?x", "https://www.xiaohongshu.com/", true},
      {"http://127.0.0.1:4000/a", "http://127.0.0.1:4000/", true},
      {"http://127.0.0.1:4001/a", "http://127.0.0.1:4000/", false},
      {"http://www.xiaohongshu.com/x", "https://www.xiaohongshu.com/", false},
      {"https://xhslink.com/a/1", "https://www.xiaohongshu.com/", false},
      {"https://www.xiaohongshu.com.evil.com/", "https://www.xiaohongshu.com/", false},
      {"https://www.xiaohongshu.com@evil.com/", "https://www.xiaohongshu.com/", false},
      {"https://evil.com\\@www.xiaohongshu.com/", "https://www.xiaohongshu.com/", false},
      {"https://www%2Exiaohongshu.com/", "https://www.xiaohongshu.com/", false},
      {"/explore/1", "https://www.xiaohongshu.com/", false},
      {"https:///x", "https:///", false},
  };
  for (const Case& c : cases) EXPECT_EQ(SameOrigin(c.a, c.b), c.same) << c.a << " vs " << c.b;
}

TEST(OriginTest, BareOriginIsTheHomePage) {
  const Text origin = "https://www.xiaohongshu.com/";
  EXPECT_TRUE(IsBareOrigin("https://www.xiaohongshu.com/", origin));
  EXPECT_TRUE(IsBareOrigin("https://www.xiaohongshu.com", origin));
  EXPECT_TRUE(IsBareOrigin("https://www.xiaohongshu.com/?source=note", origin));
  EXPECT_FALSE(IsBareOrigin("https://www.xiaohongshu.com/explore", origin));
  EXPECT_FALSE(IsBareOrigin("https://xhslink.com/", origin));
}

TEST(AddressKindTest, WebAddressesAndLoginPages) {
  EXPECT_TRUE(IsWebAddress("http://h/p"));
  EXPECT_TRUE(IsWebAddress("HTTPS://h"));
  EXPECT_FALSE(IsWebAddress("ftp://h/p"));
  EXPECT_FALSE(IsWebAddress("javascript:alert(1)"));
  EXPECT_FALSE(IsWebAddress("http:/h"));
  EXPECT_FALSE(IsWebAddress("/p"));

  EXPECT_TRUE(IsLoginOrCaptcha("https://www.xiaohongshu.com/website-login/captcha?redirectPath=x&verifyType=101"));
  EXPECT_TRUE(IsLoginOrCaptcha("https://www.xiaohongshu.com/website-login/error?x=1"));
  EXPECT_TRUE(IsLoginOrCaptcha("https://h/Captcha"));
  EXPECT_TRUE(IsLoginOrCaptcha("https://h/check?verifytype=2"));
  EXPECT_FALSE(IsLoginOrCaptcha("https://www.xiaohongshu.com/explore/66f1?xsec_token=AB="));
}

TEST(DecodeJsonStringTest, DecodesEscapesAndFindsTheEnd) {
  struct Case {
    std::string json;   // the string with its quotes, then more text
    std::string value;  // UTF-8
    std::size_t end;
  } const cases[] = {
      {R"("http:\u002F\u002Fh\u002Fp",x)", "http://h/p", 27},
      {R"("a\/b\\c\"d")", "a/b\\c\"d", 12},
      {R"("\u4e2d\u6587")", "中文", 14},
      {R"("\ud83d\ude06")", "??", 14},  // one emoji, no 936 form: one "?" per unit
      {R"("a\u0000b")", "ab", 10},
      {R"("\n\t\q")", "\n\tq", 8},
      {R"("\u12")", "u12", 6},
      {R"("")", "", 2},
  };
  for (const Case& c : cases) {
    Text value;
    std::size_t end = 0;
    EXPECT_TRUE(DecodeJsonString(Text(c.json), 0, value, end)) << c.json;
    EXPECT_EQ(TextToUtf8(value), c.value) << c.json;
    EXPECT_EQ(end, c.end) << c.json;
  }
}

TEST(DecodeJsonStringTest, TwoByteCharacterEndingIn5CIsNoEscape) {
  // 0x95 0x5C is one character; the quote after it closes the string.
  const Text json("x\"\x95\x5C\"rest");
  Text value;
  std::size_t end = 0;
  ASSERT_TRUE(DecodeJsonString(json, 1, value, end));
  EXPECT_EQ(value, Text("\x95\x5C"));
  EXPECT_EQ(end, 5u);
}

TEST(DecodeJsonStringTest, UnclosedStringIsRefused) {
  for (const char* json : {"\"abc", "\"abc\\", "\"abc\\\"", "\"\x95"}) {
    Text value;
    std::size_t end = 0;
    EXPECT_FALSE(DecodeJsonString(Text(json), 0, value, end)) << json;
    EXPECT_EQ(end, std::string_view(json).size());
  }
}

TEST(PictureTokenTest, PathWithoutDateAndHashCutAtTheBang) {
  struct Case {
    Text url;
    Text token;
  } const cases[] = {
      {"http://sns-webpic-qc.xhscdn.com/202607031205/1f2e3d/notes_pre_post/1040g3k8abc!nd_dft_wlteh_webp_3",
       "notes_pre_post/1040g3k8abc"},
      {"http://sns-webpic-qc.xhscdn.com/202607031205/1f2e3d/spectrum/1040g0k0xyz!nd_dft_wgth_webp_3",
       "spectrum/1040g0k0xyz"},
      {"https://h/202607031205/1f2e3d/1040g2sg31!nd_dft", "1040g2sg31"},
      {"https://h/d/h/a/b/c", "a/b/c"},
      {"https://h/d/h/x?imageView2/2#frag", "x"},
      {"https://h/1040g2sg31!nd_dft", "1040g2sg31"},
      {"https://h/only/two!x", "two"},
      {"//h/d/h/tok", "tok"},
      {"https://h/d/h/!x", ""},
      {"https://h/", ""},
      {"https://h", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(PictureToken(c.url), c.token) << c.url;
}

TEST(PictureTokensTest, EveryUrlDefaultOnceInPageOrder) {
  const Text page(
      R"({"imageList":[{"traceId":"","urlDefault":"http:\u002F\u002Fh\u002F2026\u002Fab\u002Fnotes_pre_post\u002Ft1!nd_dft",)"
      R"("urlPre":"http:\u002F\u002Fh\u002F2026\u002Fab\u002Fpre!x"},{"urlDefault":undefined},)"
      R"({"urlDefault": "http://h/2026/cd/spectrum/t2!nd"},{"urlDefault":"http:\/\/h\/2026\/ef\/notes_pre_post\/t1!other"},)"
      R"({"urlDefault":""},{"urlDefault":"https://h/2026/gh/!x"},{"urlDefault":"https://h/2026/ij/t3"}]})");
  EXPECT_EQ(PictureTokens(page), (std::vector<Text>{"notes_pre_post/t1", "spectrum/t2", "t3"}));
}

TEST(PictureTokensTest, PagesWithoutStringValues) {
  EXPECT_TRUE(PictureTokens("").empty());
  EXPECT_TRUE(PictureTokens("<html>no state</html>").empty());
  EXPECT_TRUE(PictureTokens(R"({"urlDefault":undefined,"urlDefault":null})").empty());
  EXPECT_TRUE(PictureTokens(R"({"urlDefault":)").empty());
  // A value cut short by the end of the page ends the scan; earlier ones count.
  EXPECT_EQ(PictureTokens(R"({"urlDefault":"https://h/d/h/a","urlDefault":"https://h/d/h/b)"), std::vector<Text>{"a"});
}

TEST(PictureTokensTest, LongPageIsScannedInOnePass) {
  // Many values and much text between them: a quadratic scan would take minutes.
  std::string page;
  const std::string filler(200, 'x');
  for (int i = 0; i < 20000; ++i) {
    page += "{\"urlDefault\":\"https://h/d/h/t" + std::to_string(i % 1000) + "!x\"," + filler + "}";
  }
  const std::vector<Text> tokens = PictureTokens(Text(page));
  ASSERT_EQ(tokens.size(), 1000u);
  EXPECT_EQ(tokens.front(), Text("t0"));
  EXPECT_EQ(tokens.back(), Text("t999"));
}

}  // namespace
}  // namespace xhs
