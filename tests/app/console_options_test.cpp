// The command line as the window sees it: what ParseCommandLine hands on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/console/console.h"
#include "support/test_cert.h"
#include "temp_folder.h"

namespace xhs::test {
namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  int Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "xhs-saver");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::testing::internal::CaptureStderr();
    const int status = ParseCommandLine(static_cast<int>(args.size()), argv.data(), options);
    err = ::testing::internal::GetCapturedStderr();
    return status;
  }
  void WriteConfigCookie(const std::string& content) {
    std::filesystem::create_directories(config / "xhs-saver");
    WriteFile(config / "xhs-saver/cookie", content);
    ::chmod((config / "xhs-saver/cookie").c_str(), 0600);
  }

  TempFolder config;
  ScopedEnv xdg{"XDG_CONFIG_HOME", config.path()};
  ConsoleOptions options;
  std::string err;
};

// The console hands over to the window program on this decision alone, so it
// must agree with ParseCommandLine's own reading of the options.
TEST(CommandLineAsksForWindow, NoArgumentOrGuiAmongTheOptions) {
  const struct {
    std::vector<std::string> args;
    bool window;
  } cases[] = {
      {{}, true},
      {{"--gui"}, true},
      {{"-o", "/tmp", "--gui"}, true},
      {{"--cookie-file", "--gui", "text"}, false},  // "--gui" is the file's name here
      {{"--dir=/tmp", "--gui"}, true},
      {{"--", "--gui"}, false},
      {{"text"}, false},
      {{"-"}, false},
      {{"--version"}, false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "xhs-saver");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(CommandLineAsksForWindow(static_cast<int>(args.size()), argv.data()), c.window)
        << testing::PrintToString(c.args);
  }
}

TEST_F(CommandLineTest, NoArgumentOpensTheWindowInTheProgramsFolder) {
  EXPECT_EQ(Parse({}), -1);
  EXPECT_TRUE(options.gui);
  EXPECT_EQ(options.dir, "");
  EXPECT_EQ(options.service.noteCookie, DefaultServiceEndpoints().noteCookie);
  EXPECT_EQ(err, "");
}

TEST_F(CommandLineTest, GuiTakesTheOtherOptions) {
  EXPECT_EQ(Parse({"--gui", "-o", "/", "--web-origin", "http://127.0.0.1:9/", "--original-image-origin",
                   "https://mirror.example/orig/"}),
            -1);
  EXPECT_TRUE(options.gui);
  EXPECT_EQ(options.dir, "/");  // as given: the window takes "/" as the root
  EXPECT_EQ(options.service.webOrigin, Text("http://127.0.0.1:9/"));
  EXPECT_EQ(options.service.originalImageOrigin, Text("https://mirror.example/orig/"));
  EXPECT_EQ(options.service.imageOrigin, DefaultServiceEndpoints().imageOrigin);
}

TEST_F(CommandLineTest, RefusedCookieFileGivesTheWindowTheBuiltInValues) {
  WriteConfigCookie("a1=x\nweb_session=y");
  EXPECT_EQ(Parse({}), -1);
  EXPECT_EQ(options.service.noteCookie, DefaultServiceEndpoints().noteCookie);
  EXPECT_NE(err.find("line break"), std::string::npos);
  EXPECT_NE(err.find("built-in cookie"), std::string::npos);
}

TEST_F(CommandLineTest, RefusedCookieFileStopsTheConsole) {
  WriteConfigCookie("a1=\xE4\xB8\xAD");
  EXPECT_EQ(Parse({"text"}), 2);
  EXPECT_NE(err.find("non-ASCII"), std::string::npos);
}

TEST_F(CommandLineTest, CookieFileValuesReachTheService) {
  WriteConfigCookie("Cookie: web_session=abc; a1=def\n");
  EXPECT_EQ(Parse({"text"}), -1);
  EXPECT_FALSE(options.gui);
  EXPECT_EQ(options.dir, ".");
  EXPECT_EQ(options.texts, std::vector<std::string>{"text"});
  const std::string& cookie = options.service.noteCookie.str();
  EXPECT_NE(cookie.find("; a1=def; "), std::string::npos);
  EXPECT_TRUE(cookie.ends_with("; web_session=abc"));
}

}  // namespace
}  // namespace xhs::test
