#include "app/service.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "temp_folder.h"

namespace xhs::test {
namespace {

using Strings = std::vector<std::string>;

const Strings kNames = {"timestamp2",    "timestamp2.sig",    "smidV2",     "gid.ss",        "xhsTrackerId",
                        "xhsTrackerId.sig", "xsecappid",      "a1",         "webId",         "gid",
                        "gid.sign",      "xhsTracker",        "xhsTracker.sig", "webBuild",  "extra_exp_ids",
                        "extra_exp_ids.sig", "websectiga",    "sec_poison_id", "web_session"};

// The name=value items of a cookie string.
std::vector<std::pair<std::string, std::string>> Items(const Text& cookie) {
  std::vector<std::pair<std::string, std::string>> items;
  for (const Text& item : SplitText(cookie, "; ")) {
    const std::size_t eq = item.str().find('=');
    items.emplace_back(item.str().substr(0, eq), eq == std::string::npos ? "" : item.str().substr(eq + 1));
  }
  return items;
}

Strings Names(const Text& cookie) {
  Strings names;
  for (const auto& item : Items(cookie)) names.push_back(item.first);
  return names;
}

std::string Value(const Text& cookie, const std::string& name) {
  for (const auto& item : Items(cookie)) {
    if (item.first == name) return item.second;
  }
  return "<none>";
}

TEST(ServiceEndpointsTest, BuiltInValues) {
  const ServiceEndpoints service = DefaultServiceEndpoints();
  EXPECT_EQ(service.webOrigin, Text("https://www.xiaohongshu.com/"));
  EXPECT_EQ(service.imageOrigin, Text("https://sns-img-qc.xhscdn.com/"));
  EXPECT_EQ(service.originalImageOrigin, Text("https://ci.xiaohongshu.com/"));

  const std::string& cookie = service.noteCookie.str();
  EXPECT_EQ(cookie.size(), 1136u);
  EXPECT_EQ(Names(service.noteCookie), kNames);
  EXPECT_EQ(NoteCookieNames(), kNames);
  EXPECT_FALSE(cookie.ends_with(";") || cookie.ends_with(" "));
  for (const auto& [name, value] : Items(service.noteCookie)) {
    EXPECT_FALSE(value.empty()) << name;
    EXPECT_EQ(value.find_first_of(" ;,\""), std::string::npos) << name;
  }
}

TEST(MergeUserCookieTest, ReplacesTheValuesOfKnownNamesInTheNoteCookiesOrder) {
  Text cookie = DefaultServiceEndpoints().noteCookie;
  const Text builtIn = cookie;
  std::string error, warning;
  ASSERT_TRUE(MergeUserCookie(cookie, "Cookie: web_session=S3; other=1; a1=A1value;gid=G\n", error, warning))
      << error;
  EXPECT_EQ(Names(cookie), kNames);
  EXPECT_EQ(Value(cookie, "web_session"), "S3");
  EXPECT_EQ(Value(cookie, "a1"), "A1value");
  EXPECT_EQ(Value(cookie, "gid"), "G");
  EXPECT_EQ(Value(cookie, "webId"), Value(builtIn, "webId"));
  EXPECT_EQ(Value(cookie, "other"), "<none>");
  EXPECT_EQ(warning, "");
}

TEST(MergeUserCookieTest, ValueMayHoldEqualSignsAndFirstOccurrenceWins) {
  Text cookie = DefaultServiceEndpoints().noteCookie;
  std::string error, warning;
  ASSERT_TRUE(MergeUserCookie(cookie, "  a1=x==y; a1=later\r\n\r\n", error, warning));
  EXPECT_EQ(Value(cookie, "a1"), "x==y");
}

TEST(MergeUserCookieTest, RefusesUnsafeStringsAndLeavesTheCookie) {
  struct Case {
    const char* name;
    std::string text;
    const char* reason;
  } const cases[] = {
      {"line break", "a1=x\nweb_session=y", "line break"},
      {"carriage return", "a1=x\rweb_session=y", "line break"},
      {"non-ASCII", "a1=\xE4\xB8\xAD", "non-ASCII"},
      {"control", "a1=x\x01", "control"},
      {"tab", "a1=x\ty=1", "control"},
      {"empty", "  \n", "no name=value"},
      {"no items", "Cookie: justtext", "no name=value"},
  };
  for (const Case& c : cases) {
    Text cookie = DefaultServiceEndpoints().noteCookie;
    std::string error, warning;
    EXPECT_FALSE(MergeUserCookie(cookie, c.text, error, warning)) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(cookie, DefaultServiceEndpoints().noteCookie) << c.name;
  }
}

TEST(MergeUserCookieTest, WarnsWhenNoNameIsKnown) {
  Text cookie = DefaultServiceEndpoints().noteCookie;
  std::string error, warning;
  EXPECT_TRUE(MergeUserCookie(cookie, "sessionid=1; theme=dark", error, warning));
  EXPECT_NE(warning, "");
  EXPECT_EQ(cookie, DefaultServiceEndpoints().noteCookie);
}

class CookieFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& content, mode_t mode) {
    const std::string path = folder / "cookie";
    WriteFile(path, content);
    ::chmod(path.c_str(), mode);
    return path;
  }
  TempFolder folder;
  ServiceEndpoints service = DefaultServiceEndpoints();
};

TEST_F(CookieFileTest, MergesAPrivateFileWithoutWarning) {
  const CookieFileResult result = LoadCookieFile(service, Write("web_session=mine\n", 0600), true);
  EXPECT_TRUE(result.used);
  EXPECT_FALSE(result.refused);
  EXPECT_TRUE(result.warnings.empty());
  EXPECT_EQ(Value(service.noteCookie, "web_session"), "mine");
}

TEST_F(CookieFileTest, WarnsWhenOthersCanReadIt) {
  const CookieFileResult result = LoadCookieFile(service, Write("web_session=mine", 0644), true);
  EXPECT_TRUE(result.used);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(result.warnings[0].find("readable by group or others"), std::string::npos);
}

TEST_F(CookieFileTest, RefusedFileLeavesTheBuiltInValues) {
  const CookieFileResult result = LoadCookieFile(service, Write("a1=x\nweb_session=y\n", 0600), true);
  EXPECT_TRUE(result.refused);
  EXPECT_FALSE(result.used);
  EXPECT_NE(result.error.find("line break"), std::string::npos);
  EXPECT_NE(result.error.find(folder / "cookie"), std::string::npos);
  EXPECT_EQ(service.noteCookie, DefaultServiceEndpoints().noteCookie);
}

TEST_F(CookieFileTest, MissingFileIsRefusedOnlyWhenNamed) {
  const std::string missing = folder / "missing";
  EXPECT_FALSE(LoadCookieFile(service, missing, false).refused);
  EXPECT_FALSE(LoadCookieFile(service, missing, false).used);
  EXPECT_TRUE(LoadCookieFile(service, missing, true).refused);
  EXPECT_EQ(service.noteCookie, DefaultServiceEndpoints().noteCookie);
}

TEST_F(CookieFileTest, RefusesAFolderAndAHugeFile) {
  EXPECT_TRUE(LoadCookieFile(service, folder.path(), true).refused);
  EXPECT_TRUE(LoadCookieFile(service, Write(std::string(70000, 'a'), 0600), true).refused);
  EXPECT_EQ(service.noteCookie, DefaultServiceEndpoints().noteCookie);
}

TEST(DefaultCookieFilePathTest, FollowsXdgConfigHomeThenHome) {
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  const char* oldHome = std::getenv("HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";

  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(DefaultCookieFilePath(), "/cfg/xhs-saver/cookie");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(DefaultCookieFilePath(), "/home/u/.config/xhs-saver/cookie");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultCookieFilePath(), "/home/u/.config/xhs-saver/cookie");
  ::unsetenv("HOME");
  EXPECT_EQ(DefaultCookieFilePath(), "");

  if (oldXdg) ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace xhs::test
