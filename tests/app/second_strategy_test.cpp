// Runs against today's service: short links that answer with a Location
// header, HTML-escaped redirect bodies and note pages whose picture entries
// carry an empty traceId, so the pictures are found by the note's address.
#include <gtest/gtest.h>

#include <functional>

#include "app/link_handler.h"
#include "fake_service.h"
#include "recording_window.h"
#include "temp_folder.h"

namespace xhs::test {
namespace {

using Strings = std::vector<std::string>;

const std::string kMessage = "message:地址错误或软件失效";
const std::string kNote = "66f1c0de000000001e01a2b3";
const std::string kFirstUrl =
    "http://sns-webpic-qc.xhscdn.com/202607031205/1f2e3d/notes_pre_post/1040g3k8abc!nd_dft_wlteh_webp_3";
const std::string kSecondUrl =
    "http://sns-webpic-qc.xhscdn.com/202607031205/9a8b7c/spectrum/1040g0k0xyz!nd_dft_wgth_webp_3";
const std::string kFirstToken = "notes_pre_post/1040g3k8abc";
const std::string kSecondToken = "spectrum/1040g0k0xyz";

class SecondStrategyTest : public ::testing::Test {
 protected:
  SecondStrategyTest() : window(service.Endpoints(), folder.path()) {
    // The same picture twice and a bare undefined between: two pictures.
    service.AddTodayNote("AbCd1234", kNote, TodayNotePage({kFirstUrl, "undefined", kSecondUrl, kFirstUrl}));
    service.AddTodayNote("5tOT2jNLmC0", kNote, TodayNotePage({kFirstUrl, "undefined", kSecondUrl, kFirstUrl}));
    // The second short-link host sends its links to the note on the web host.
    const std::string discovery = service.DiscoveryUrl(kNote);
    shortHost.SetPage("/o/5tOT2jNLmC0", 307, ShortLinkBody(discovery), discovery);
    shortHost.SetPage("/a/BodyOnly", 307, ShortLinkBody(discovery));
  }

  RunOutcome Run(const std::string& editText) {
    window.Paste(editText);
    return RunLinkHandler(window, window.service());
  }
  std::string Original(const std::string& token) const { return FakeService::PictureBytes("original/" + token); }
  std::string Cookie() const { return window.service().noteCookie.str(); }

  FakeService service;
  FakeService shortHost;
  TempFolder folder;
  RecordingWindow window;
};

// The share texts of the years, with the service's hosts made the fakes.
struct ShareCase {
  const char* name;
  std::string (*text)(const FakeService& web, const FakeService& shortHost);
  // Test output names the case, not its bytes.
  friend void PrintTo(const ShareCase& c, std::ostream* out) { *out << c.name; }
};

const ShareCase kShareCases[] = {
    {"y2024_short_link_a",
     [](const FakeService& web, const FakeService&) {
       return "64 小明发布了一篇小红书笔记，快来看吧！ 😆 abc123 😆 " + web.Origin() +
              "a/AbCd1234，复制本条信息，打开【小红书】App查看精彩内容！";
     }},
    {"y2025_web_address",
     [](const FakeService& web, const FakeService&) {
       return "【标题 - 小明 | 小红书 - 你的生活指南】 😆 AbCd 😆 " + web.WebShareUrl(kNote);
     }},
    {"y2026_short_link_o",
     [](const FakeService& web, const FakeService&) {
       return "【标题】 " + web.Origin() + "o/5tOT2jNLmC0 复制后打开【小红书】查看笔记！";
     }},
    {"y2026_second_short_link_host",
     [](const FakeService&, const FakeService& shortHost) {
       return "【标题】 " + shortHost.Origin() + "o/5tOT2jNLmC0 复制后打开【小红书】查看笔记！";
     }},
    {"target_only_in_the_body",
     [](const FakeService&, const FakeService& shortHost) { return shortHost.Origin() + "a/BodyOnly\r\n"; }},
};

class ShareTextTest : public SecondStrategyTest, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(ShareTextTest, SavesTheOriginalPicturesOfTheNote) {
  const RunOutcome outcome = Run(GetParam().text(service, shortHost));

  EXPECT_EQ(window.events, (Strings{"title:开始下载：0/2", "title:正在下载：1/2", "title:正在下载：2/2",
                                    "title:下载完成", "edit:"}));
  EXPECT_EQ(folder.Names(),
            (std::set<std::string>{"notes_pre_post_1040g3k8abc.jpg", "spectrum_1040g0k0xyz.jpg"}));
  EXPECT_EQ(ReadFile(folder / "notes_pre_post_1040g3k8abc.jpg"), Original(kFirstToken));
  EXPECT_EQ(ReadFile(folder / "spectrum_1040g0k0xyz.jpg"), Original(kSecondToken));
  EXPECT_TRUE(outcome.byAddress);
  EXPECT_FALSE(outcome.messageShown);
  EXPECT_EQ(outcome.pictures, 2);
  EXPECT_EQ(outcome.saved, 2);
  EXPECT_EQ(outcome.reason, "");

  const auto originals = service.RequestsUnder("/original/");
  ASSERT_EQ(originals.size(), 2u);
  EXPECT_EQ(originals[0].target, "/original/" + kFirstToken + "?imageView2/format/jpg");
  EXPECT_EQ(originals[1].target, "/original/" + kSecondToken + "?imageView2/format/jpg");
  EXPECT_TRUE(service.RequestsUnder("/img/").empty());

  // The note page was asked for with its xsec_token whole and the cookie;
  // the other short-link host never saw the cookie.
  const auto notePages = service.RequestsUnder("/explore/");
  ASSERT_FALSE(notePages.empty());
  EXPECT_NE(notePages.back().target.find("xsec_token=" + FakeService::XsecToken(kNote)), std::string::npos);
  EXPECT_EQ(notePages.back().cookie, Cookie());
  for (const SeenRequest& r : shortHost.Requests()) EXPECT_EQ(r.cookie, "") << r.target;
}

INSTANTIATE_TEST_SUITE_P(Forms, ShareTextTest, ::testing::ValuesIn(kShareCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SecondStrategyTest, EmptyTraceIdsOfTheFirstWayLeadToTheSecond) {
  // The 2024 text reaches the note page the first way too; its identifiers
  // are all empty, so nothing is shown until the second way has looked.
  Run(kShareCases[0].text(service, shortHost));

  const auto requests = service.Requests();
  ASSERT_GE(requests.size(), 8u);
  EXPECT_EQ(requests[0].target, "/a/AbCd1234");
  EXPECT_TRUE(requests[2].target.starts_with("/explore/" + kNote));
  EXPECT_EQ(requests[2].cookie, Cookie());
  // The second way: the short link again, its Location, the relative
  // Location of the second hop, then the pictures.
  EXPECT_EQ(requests[3].target, "/a/AbCd1234");
  EXPECT_EQ(requests[3].cookie, Cookie());  // the fake's short links live on the web host
  const std::string discovery = service.DiscoveryUrl(kNote);
  EXPECT_EQ(service.Origin() + requests[4].target.substr(1), discovery);
  EXPECT_EQ(requests[5].target, "/explore/" + kNote + discovery.substr(discovery.find('?')));
  EXPECT_EQ(requests[6].path, "/original/" + kFirstToken);
  EXPECT_EQ(requests[7].path, "/original/" + kSecondToken);
  EXPECT_EQ(requests.size(), 8u);
}

TEST_F(SecondStrategyTest, PopulatedTraceIdKeepsTheFirstWay) {
  service.AddTodayNote("Pop1", "n-pop", TodayNotePage({kFirstUrl, kSecondUrl}, {"tid1", "tid2"}));

  const RunOutcome outcome = Run("看看 " + service.Origin() + "a/Pop1，复制本条信息");

  EXPECT_FALSE(outcome.byAddress);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"tid1.jpg", "tid2.jpg"}));
  EXPECT_EQ(service.RequestsUnder("/img/").size(), 2u);
  EXPECT_TRUE(service.RequestsUnder("/original/").empty());
  EXPECT_EQ(service.Requests().size(), 5u);  // three to the note page, two pictures
}

TEST_F(SecondStrategyTest, OneUsableTraceIdKeepsTheFirstWayWithItsFailures) {
  service.AddTodayNote("Mix1", "n-mix", TodayNotePage({kFirstUrl, kSecondUrl}, {"", "tid2"}));

  const RunOutcome outcome = Run("看看 " + service.Origin() + "a/Mix1，复制本条信息");

  EXPECT_FALSE(outcome.byAddress);
  EXPECT_EQ(window.titles.back(), "下载完成（失败：1）");
  EXPECT_EQ(folder.Names(), std::set<std::string>{"tid2.jpg"});
  EXPECT_TRUE(service.RequestsUnder("/original/").empty());
}

// Redirects that end the second way without pictures: the message, once.
struct DeadEndCase {
  const char* name;
  std::string (*location)(const FakeService& web);
  const char* reasonStart;  // "" for none
  // Test output names the case, not its bytes.
  friend void PrintTo(const DeadEndCase& c, std::ostream* out) { *out << c.name; }
};

const DeadEndCase kDeadEnds[] = {
    {"captcha",
     [](const FakeService&) {
       return std::string("/website-login/captcha?redirectPath=%2Fexplore%2Fx&verifyType=101&verifyBiz=461");
     },
     "the service sent the note to its login or captcha page"},
    {"login_elsewhere",
     [](const FakeService& web) { return web.Origin() + "website-login/error?redirectPath=x"; },
     "the service sent the note to its login or captcha page"},
    {"bare_web_origin", [](const FakeService& web) { return web.Origin(); },
     "the service sent the note to its home page"},
    {"bare_web_origin_without_slash",
     [](const FakeService& web) { return web.Origin().substr(0, web.Origin().size() - 1); },
     "the service sent the note to its home page"},
    {"not_found_page", [](const FakeService&) { return std::string("/404?source=note&errorCode=-510001"); }, ""},
    {"not_http", [](const FakeService&) { return std::string("ftp://127.0.0.1/x"); }, ""},
    {"nowhere", [](const FakeService&) { return std::string(); }, ""},
};

class DeadEndTest : public SecondStrategyTest, public ::testing::WithParamInterface<DeadEndCase> {};

TEST_P(DeadEndTest, ShowsTheMessageOnceWithTheReason) {
  service.SetPage("/a/Dead", 307, ShortLinkBody(service.Origin() + "discovery/item/dead?xsec_token=T="),
                  service.Origin() + "discovery/item/dead?xsec_token=T=");
  service.SetPage("/discovery/item/dead", 302, "", GetParam().location(service));
  const std::string text = "看看 " + service.Origin() + "a/Dead 复制后打开【小红书】查看笔记！";

  const RunOutcome outcome = Run(text);

  EXPECT_EQ(window.events, Strings{kMessage});
  EXPECT_EQ(window.EditTextUtf8(), TextToUtf8(Utf8ToText(text)));
  EXPECT_TRUE(outcome.messageShown);
  EXPECT_TRUE(outcome.reason.starts_with(GetParam().reasonStart)) << outcome.reason;
  EXPECT_EQ(outcome.reason.empty(), std::string(GetParam().reasonStart).empty()) << outcome.reason;
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_TRUE(service.RequestsUnder("/website-login/").empty());  // a login page is not followed
}

INSTANTIATE_TEST_SUITE_P(Targets, DeadEndTest, ::testing::ValuesIn(kDeadEnds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SecondStrategyTest, FollowsAtMostTenRedirects) {
  service.SetPage("/loop", 302, "", "/loop");

  const RunOutcome outcome = Run(service.Origin() + "loop");

  EXPECT_TRUE(outcome.messageShown);
  EXPECT_EQ(window.events, Strings{kMessage});
  // One request the first way, then the link and ten redirects.
  EXPECT_EQ(service.RequestsUnder("/loop").size(), 12u);
}

TEST_F(SecondStrategyTest, TextWithoutALinkShowsTheMessageOnce) {
  const RunOutcome outcome = Run("这是一段没有链接的文字");

  EXPECT_EQ(window.events, Strings{kMessage});
  EXPECT_TRUE(outcome.messageShown);
  EXPECT_EQ(outcome.reason, "");
  // Only the first way's note-page request reached the service.
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/");
}

TEST_F(SecondStrategyTest, NotePageWithoutPicturesShowsTheMessageOnce) {
  service.AddTodayNote("Bare1", "n-bare", TodayNotePage({"undefined", "undefined"}));

  const RunOutcome outcome = Run(service.Origin() + "o/Bare1");

  EXPECT_EQ(window.events, Strings{kMessage});
  EXPECT_TRUE(outcome.messageShown);
  EXPECT_EQ(outcome.pictures, 0);
  EXPECT_FALSE(service.RequestsUnder("/explore/n-bare").empty());
}

TEST_F(SecondStrategyTest, EditDuringTheSecondWayRunsANestedRunFirst) {
  service.AddNote("inner", "ni", NotePage({"i1"}));
  const std::string innerText = TextToUtf8(Utf8ToText(service.ShareText("inner")));
  // The first way asks for the short link once; the user's paste arrives
  // while the second way asks for it again.
  std::function<void()> pump = [&] {
    if (service.RequestsUnder("/o/").size() < 2) {
      window.onPump = pump;
      return;
    }
    window.SetEditText(Utf8ToText(innerText));
  };
  window.onPump = pump;

  const RunOutcome outcome = Run(service.Origin() + "o/5tOT2jNLmC0");

  EXPECT_EQ(window.events,
            (Strings{"edit:" + innerText, "title:开始下载：0/1", "title:正在下载：1/1", "title:下载完成", "edit:",
                     "title:开始下载：0/2", "title:正在下载：1/2", "title:正在下载：2/2", "title:下载完成", "edit:"}));
  EXPECT_EQ(folder.Names(),
            (std::set<std::string>{"i1.jpg", "notes_pre_post_1040g3k8abc.jpg", "spectrum_1040g0k0xyz.jpg"}));
  EXPECT_TRUE(outcome.byAddress);
  EXPECT_EQ(outcome.saved, 2);
}

TEST_F(SecondStrategyTest, RunAbortedInTheSecondWayStopsTheRun) {
  // Aborted at the pictures' first title: nothing is fetched or written.
  window.abortAtTitle = 1;
  window.Paste(service.Origin() + "o/5tOT2jNLmC0");
  EXPECT_THROW(LinkHandler(window, window.service()), RunAborted);
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_TRUE(service.RequestsUnder("/original/").empty());
}

}  // namespace
}  // namespace xhs::test
