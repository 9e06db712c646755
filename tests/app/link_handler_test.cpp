#include "app/link_handler.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_service.h"
#include "recording_window.h"
#include "temp_folder.h"

namespace xhs::test {
namespace {

using Strings = std::vector<std::string>;

const std::string kMessage = "message:地址错误或软件失效";

class LinkHandlerTest : public ::testing::Test {
 protected:
  LinkHandlerTest() : window(service.Endpoints(), folder.path()) {}

  RunOutcome Run(const std::string& editText) {
    window.Paste(editText);
    return RunLinkHandler(window, window.service());
  }
  std::string Picture(const std::string& key) const { return FakeService::PictureBytes(key); }

  FakeService service;
  TempFolder folder;
  RecordingWindow window;
};

TEST_F(LinkHandlerTest, ShareTextSavesEachPictureWithTitlesAndEmptiesTheBox) {
  service.AddNote("a1b2", "64f0c0de", NotePage({"1040g00830", "1040g00831"}));

  const RunOutcome outcome = Run(service.ShareText("a1b2"));

  EXPECT_EQ(window.events, (Strings{"title:开始下载：0/2", "title:正在下载：1/2", "title:正在下载：2/2",
                                    "title:下载完成", "edit:"}));
  EXPECT_EQ(window.EditTextUtf8(), "");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"1040g00830.jpg", "1040g00831.jpg"}));
  EXPECT_EQ(ReadFile(folder / "1040g00830.jpg"), Picture("1040g00830"));
  EXPECT_EQ(ReadFile(folder / "1040g00831.jpg"), Picture("1040g00831"));
  EXPECT_EQ(outcome.pictures, 2);
  EXPECT_EQ(outcome.saved, 2);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_EQ(outcome.files, (Strings{folder / "1040g00830.jpg", folder / "1040g00831.jpg"}));

  // Three requests resolve the note; the redirects came from the bodies, the
  // nested run that emptying the box raised made none.
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0].target, "/s/a1b2");
  EXPECT_EQ(requests[1].target, "/discovery/item/64f0c0de?app_platform=ios");
  EXPECT_EQ(requests[2].target, "/explore/64f0c0de?xsec_token=AB12&xsec_source=app_share");
  EXPECT_EQ(requests[2].cookie, window.service().noteCookie.str());
  EXPECT_EQ(requests[0].cookie, "");
  EXPECT_EQ(requests[1].cookie, "");
  EXPECT_EQ(requests[3].target, "/img/1040g00830?imageView2/2/w/1200/format/webp");
  EXPECT_EQ(requests[4].target, "/img/1040g00831?imageView2/2/w/1200/format/webp");
  EXPECT_EQ(requests[3].version, "HTTP/1.0");
}

TEST_F(LinkHandlerTest, EmptyTextEndsAtOnce) {
  const RunOutcome outcome = Run("");
  EXPECT_TRUE(outcome.empty);
  EXPECT_TRUE(window.events.empty());
  EXPECT_TRUE(service.Requests().empty());
  EXPECT_EQ(window.pumps, 0);
}

TEST_F(LinkHandlerTest, NoteWithoutIdentifiersShowsTheMessageOnceAndKeepsTheBox) {
  service.AddNote("none", "n0", "<html>\"traceid\" appears, but not as a key: traceId=\"x\"</html>");
  const std::string text = service.ShareText("none");

  const RunOutcome outcome = Run(text);

  EXPECT_EQ(window.events, Strings{kMessage});
  EXPECT_EQ(window.EditTextUtf8(), TextToUtf8(Utf8ToText(text)));  // the emoji are "??" in the box
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_TRUE(outcome.messageShown);
  EXPECT_EQ(outcome.pictures, 0);
  EXPECT_TRUE(service.RequestsUnder("/img/").empty());
}

// How the link is taken out of the edit text. Texts whose link cannot be
// found fall through to the web origin's page, which holds no picture.
struct LinkCase {
  const char* name;
  std::string (*text)(const FakeService&);
  bool saves;
  // Test output names the case, not its bytes.
  friend void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.name; }
};

const LinkCase kLinkCases[] = {
    {"share_text", [](const FakeService& s) { return s.ShareText("c1"); }, true},
    {"bare_link", [](const FakeService& s) { return s.ShortLink("c1"); }, true},
    {"wording_with_http_before_the_link",
     [](const FakeService& s) { return "see http-ish words " + s.ShortLink("c1") + "，复制本条信息"; }, false},
    {"capital_scheme",
     [](const FakeService& s) {
       std::string link = s.ShortLink("c1");
       link.replace(0, 4, "HTTP");
       return "看看 " + link + "，复制本条信息";
     },
     false},
    {"ascii_comma_before_the_marker",
     [](const FakeService& s) { return "看看 " + s.ShortLink("c1") + ",复制本条信息"; }, false},
    {"bare_link_with_line_break", [](const FakeService& s) { return s.ShortLink("c1") + "\r\n"; }, false},
    {"only_blanks", [](const FakeService&) { return std::string("   "); }, false},
    {"not_an_address", [](const FakeService&) { return std::string("hello"); }, false},
};

class LinkCaseTest : public LinkHandlerTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkCaseTest, FindsTheLinkOrFallsBackToTheWebOrigin) {
  service.AddNote("c1", "note1", NotePage({"pic1"}));
  const RunOutcome outcome = Run(GetParam().text(service));

  const auto notePages = service.RequestsUnder("/explore/");
  if (GetParam().saves) {
    EXPECT_EQ(outcome.saved, 1);
    EXPECT_EQ(folder.Names(), std::set<std::string>{"pic1.jpg"});
    EXPECT_EQ(notePages.size(), 1u);
  } else {
    EXPECT_TRUE(outcome.messageShown);
    EXPECT_EQ(window.events, Strings{kMessage});
    EXPECT_TRUE(notePages.empty());
    // The note-page request went to the web origin itself, with the cookie;
    // what the second way then tried (the old short link's Location leads
    // to no note page) found no picture either.
    const auto home = service.RequestsUnder("/");
    const auto notePage = std::find_if(home.begin(), home.end(), [](const SeenRequest& r) { return r.target == "/"; });
    ASSERT_NE(notePage, home.end());
    EXPECT_EQ(notePage->cookie, window.service().noteCookie.str());
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, LinkCaseTest, ::testing::ValuesIn(kLinkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkHandlerTest, OnlyTheFirstLinkOfTheFirstResponseCounts) {
  // Only the first "<a href=\"" of the first response counts.
  service.SetPage("/s/two", 307,
                  "<a href=\"" + service.Origin() + "discovery/item/n2\">Temporary Redirect</a>. "
                  "<a href=\"" + service.Origin() + "discovery/item/other\">Temporary Redirect</a>.");
  service.AddNote("unused", "n2", NotePage({"p2"}));
  Run(service.ShortLink("two"));
  EXPECT_EQ(folder.Names(), std::set<std::string>{"p2.jpg"});
}

TEST_F(LinkHandlerTest, SameIdentifierThreeTimesIsFetchedAndWrittenThreeTimes) {
  service.AddNote("dup", "d", NotePage({"same", "same", "same"}));

  const RunOutcome outcome = Run(service.ShareText("dup"));

  EXPECT_EQ(window.titles, (Strings{"开始下载：0/3", "正在下载：1/3", "正在下载：2/3", "正在下载：3/3", "下载完成"}));
  EXPECT_EQ(service.RequestsUnder("/img/").size(), 3u);
  EXPECT_EQ(window.writes.size(), 3u);
  EXPECT_EQ(folder.Names(), std::set<std::string>{"same.jpg"});
  EXPECT_EQ(outcome.saved, 3);
}

TEST_F(LinkHandlerTest, KeyInCapitalsStaysInTheIdentifier) {
  // The search ignores case; the removal of the key does not, so only the
  // quotes go.
  service.AddNote("caps", "c", "{\"TRACEID\":\"abc\"}");

  Run(service.ShareText("caps"));

  const auto pictures = service.RequestsUnder("/img/");
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].target, "/img/TRACEID:abc?imageView2/2/w/1200/format/webp");
  EXPECT_EQ(folder.Names(), std::set<std::string>{"TRACEID:abc.jpg"});
  EXPECT_EQ(ReadFile(folder / "TRACEID:abc.jpg"), Picture("TRACEID:abc"));
}

TEST_F(LinkHandlerTest, SlashesInTheIdentifierNeverLeaveTheFolder) {
  service.AddNote("slash", "s", NotePage({"a/b", "../escape"}));

  const RunOutcome outcome = Run(service.ShareText("slash"));

  // The picture address keeps the identifier as it stands.
  EXPECT_EQ(service.RequestsUnder("/img/a/b").size(), 1u);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"a_b.jpg", ".._escape.jpg"}));
  EXPECT_EQ(ReadFile(folder / "a_b.jpg"), Picture("a/b"));
  EXPECT_EQ(ReadFile(folder / ".._escape.jpg"), Picture("escape"));  // "/img/../escape" is "/escape"
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder.path()).parent_path() / "escape.jpg"));
  EXPECT_EQ(outcome.saved, 2);
}

TEST_F(LinkHandlerTest, EmptyIdentifierWritesNothingAndCountsAsFailed) {
  service.AddNote("empty", "e", NotePage({"", "ok"}));

  const RunOutcome outcome = Run(service.ShareText("empty"));

  EXPECT_EQ(window.titles.back(), "下载完成（失败：1）");
  EXPECT_EQ(folder.Names(), std::set<std::string>{"ok.jpg"});
  EXPECT_EQ(service.RequestsUnder("/img/").size(), 1u);
  EXPECT_EQ(outcome.failed, 1);
}

// A download that fails writes nothing: an earlier picture of the same name
// stays, no error page becomes a picture, and the final title counts it.
struct FailureCase {
  const char* name;
  FakePicture answer;
  // Test output names the case, not its bytes.
  friend void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }
};

const FailureCase kFailures[] = {
    {"not_found_page", {404, "<html>404 Not Found</html>"}},
    {"server_error_page", {500, "oops"}},
    {"empty_ok", {200, ""}},
    {"no_content", {204, ""}},
};

class FailedPictureTest : public LinkHandlerTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedPictureTest, KeepsTheEarlierFileAndCreatesNoNewOne) {
  service.AddNote("f", "nf", NotePage({"kept", "fresh", "fine"}));
  service.SetPicture("kept", GetParam().answer);
  service.SetPicture("fresh", GetParam().answer);
  WriteFile(folder / "kept.jpg", "the earlier picture");

  const RunOutcome outcome = Run(service.ShareText("f"));

  EXPECT_EQ(ReadFile(folder / "kept.jpg"), "the earlier picture");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"kept.jpg", "fine.jpg"}));
  EXPECT_EQ(window.titles.back(), "下载完成（失败：2）");
  EXPECT_EQ(outcome.saved, 1);
  EXPECT_EQ(outcome.failed, 2);
  EXPECT_EQ(window.EditTextUtf8(), "");
}

INSTANTIATE_TEST_SUITE_P(Answers, FailedPictureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkHandlerTest, PictureThatCannotBeWrittenCountsAsFailed) {
  service.AddNote("w", "nw", NotePage({"taken", "free"}));
  std::filesystem::create_directory(folder / "taken.jpg");  // a folder in the way

  const RunOutcome outcome = Run(service.ShareText("w"));

  EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.jpg"));
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"taken.jpg", "free.jpg"}));
  EXPECT_EQ(window.titles.back(), "下载完成（失败：1）");
  EXPECT_EQ(outcome.failed, 1);
}

TEST_F(LinkHandlerTest, ExistingPictureIsReplacedWhole) {
  service.AddNote("r", "nr", NotePage({"again"}));
  WriteFile(folder / "again.jpg", std::string(100000, 'x'));

  Run(service.ShareText("r"));

  EXPECT_EQ(ReadFile(folder / "again.jpg"), Picture("again"));
  EXPECT_EQ(folder.Names(), std::set<std::string>{"again.jpg"});  // no temporary file left
}

TEST_F(LinkHandlerTest, EveryRunSendsTheSameNoteCookie) {
  // The note page sets a cookie, which the request merges into the copy it
  // was given; the next run still starts from the fixed string.
  service.AddNote("k", "nk", NotePage({"p"}));
  Run(service.ShareText("k"));
  Run(service.ShareText("k"));
  const auto notePages = service.RequestsUnder("/explore/");
  ASSERT_EQ(notePages.size(), 2u);
  EXPECT_EQ(notePages[0].cookie, window.service().noteCookie.str());
  EXPECT_EQ(notePages[1].cookie, window.service().noteCookie.str());
}

TEST_F(LinkHandlerTest, EditDuringARequestRunsANestedRunFirst) {
  service.AddNote("outer", "no", NotePage({"o1", "o2"}));
  service.AddNote("inner", "ni", NotePage({"i1"}));
  const std::string innerText = TextToUtf8(Utf8ToText(service.ShareText("inner")));
  // The first pending event, dispatched inside the outer run's first
  // request, is the user pasting another share text.
  window.onPump = [&] { window.SetEditText(Utf8ToText(innerText)); };

  const RunOutcome outcome = Run(service.ShareText("outer"));

  EXPECT_EQ(window.events,
            (Strings{"edit:" + innerText, "title:开始下载：0/1", "title:正在下载：1/1", "title:下载完成", "edit:",
                     "title:开始下载：0/2", "title:正在下载：1/2", "title:正在下载：2/2", "title:下载完成", "edit:"}));
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"i1.jpg", "o1.jpg", "o2.jpg"}));
  EXPECT_EQ(outcome.saved, 2);  // the outer run's own pictures
  EXPECT_EQ(outcome.files, (Strings{folder / "o1.jpg", folder / "o2.jpg"}));
  EXPECT_GT(window.pumps, 1);
}

TEST_F(LinkHandlerTest, RunAbortedFromATitleStopsTheRun) {
  service.AddNote("a", "na", NotePage({"x1", "x2"}));
  window.abortAtTitle = 2;  // "正在下载：1/2"

  window.Paste(service.ShareText("a"));
  EXPECT_THROW(LinkHandler(window, window.service()), RunAborted);

  EXPECT_TRUE(folder.Names().empty());
  EXPECT_TRUE(service.RequestsUnder("/img/").empty());
}

TEST_F(LinkHandlerTest, RunAbortedFromThePumpStopsAfterTheRequest) {
  service.AddNote("a", "na", NotePage({"x1"}));
  window.onPump = [] { throw RunAborted{}; };

  window.Paste(service.ShareText("a"));
  EXPECT_THROW(LinkHandler(window, window.service()), RunAborted);

  EXPECT_TRUE(window.events.empty());
  EXPECT_EQ(service.Requests().size(), 1u);  // the request under way, no other
  EXPECT_TRUE(folder.Names().empty());
}

// File names: the identifier in UTF-8, "/" and "\" made "_".
TEST(PictureFileNameTest, MapsSeparatorsAndConvertsToUtf8) {
  struct Case {
    Text identifier;
    std::string name;
  } const cases[] = {
      {"abc123", "abc123.jpg"},
      {"", ""},
      {"a/b\\c", "a_b_c.jpg"},
      {"../..", ".._...jpg"},
      {"\xD6\xD0\xCE\xC4", "中文.jpg"},
      // 0x5C as the second byte of a two-byte character is no backslash.
      {"\x95\x5C", "昞.jpg"},
  };
  for (const Case& c : cases) EXPECT_EQ(PictureFileName(c.identifier), c.name) << c.name;
}

}  // namespace
}  // namespace xhs::test
