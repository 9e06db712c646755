// The xhs-saver executable, run as a child process against the fake service.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "fake_service.h"
#include "temp_folder.h"

extern char** environ;

namespace xhs::test {
namespace {

using Strings = std::vector<std::string>;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
  Strings outLines() const { return Lines(out); }
  Strings errLines() const { return Lines(err); }
  static Strings Lines(const std::string& s) {
    Strings lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = s.find('\n', start)) != std::string::npos; start = nl + 1) {
      lines.push_back(s.substr(start, nl - start));
    }
    if (start < s.size()) lines.push_back(s.substr(start));
    return lines;
  }
};

// How the child's standard error and environment differ from the plain run.
struct Surroundings {
  bool stderrTerminal = false;  // standard error is a terminal (a pseudo-terminal in raw mode)
  Strings env;                  // "NAME=value" sets NAME, "NAME" removes it
};

class ConsoleTest : public ::testing::Test {
 protected:
  // Runs xhs-saver with args in home's folder, with the home and config
  // folder pointed at home so that no real cookie file is read.
  Result Run(const Strings& args, const std::string& input = "", const Surroundings& around = {}) {
    Strings env;
    Strings overrides{"HOME=" + home.path(), "XDG_CONFIG_HOME=" + (home / "config")};
    overrides.insert(overrides.end(), around.env.begin(), around.env.end());
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      bool replaced = false;
      for (const std::string& o : overrides) {
        replaced = replaced || entry.starts_with(o.substr(0, o.find('=')) + "=");
      }
      if (!replaced) env.push_back(entry);
    }
    for (const std::string& o : overrides) {
      if (o.find('=') != std::string::npos) env.push_back(o);
    }

    Strings argvText{XHS_SAVER_BINARY};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int in[2], out[2], err[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    if (around.stderrTerminal) {
      termios raw{};
      ::cfmakeraw(&raw);  // no CR added before LF, nothing echoed
      EXPECT_EQ(::openpty(&err[0], &err[1], nullptr, &raw, nullptr), 0);
      ::fcntl(err[0], F_SETFD, FD_CLOEXEC);
      ::fcntl(err[1], F_SETFD, FD_CLOEXEC);
    } else {
      EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, work.path().c_str());
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    Result result;
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawned);
      ::close(in[1]);
      ::close(out[0]);
      ::close(err[0]);
      return result;
    }

    // Feed the input and drain both outputs together, so no pipe fills up.
    std::size_t written = 0;
    int inFd = in[1];
    if (input.empty()) {
      ::close(inFd);
      inFd = -1;
    }
    int open = 2;
    char buffer[4096];
    while (open > 0 || inFd >= 0) {
      pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
      if (::poll(fds, 3, 60000) <= 0) break;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
        } else {
          ::close(fds[i].fd);
          (i == 0 ? out[0] : err[0]) = -1;
          --open;
        }
      }
      if (inFd >= 0 && fds[2].revents != 0) {
        const ssize_t n = ::write(inFd, input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<std::size_t>(n);
        if (n <= 0 || written == input.size()) {
          ::close(inFd);
          inFd = -1;
        }
      }
    }
    if (inFd >= 0) ::close(inFd);
    if (out[0] >= 0) ::close(out[0]);
    if (err[0] >= 0) ::close(err[0]);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return result;
  }

  Strings Origins() const {
    return {"--web-origin", service.Origin(), "--image-origin", service.Origin() + "img/"};
  }
  // The options for the fake service and the cookie its note pages expect.
  Strings ServiceArgs() {
    const std::string cookieFile = home / "test-cookie";
    WriteFile(cookieFile, service.Endpoints().noteCookie.str() + "\n");
    ::chmod(cookieFile.c_str(), 0600);
    Strings args = Origins();
    args.push_back("--cookie-file");
    args.push_back(cookieFile);
    return args;
  }
  Strings With(Strings args, const Strings& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  FakeService service;
  TempFolder home;
  TempFolder work;
  TempFolder pictures;
};

TEST_F(ConsoleTest, SavesThePicturesAndReportsThem) {
  service.AddNote("ok", "n", NotePage({"p1", "p2"}));

  const Result r = Run(With(ServiceArgs(), {"-o", pictures.path(), service.ShareText("ok")}));

  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.outLines(), (Strings{pictures / "p1.jpg", pictures / "p2.jpg"}));
  EXPECT_EQ(r.errLines(), (Strings{"开始下载：0/2", "正在下载：1/2", "正在下载：2/2", "下载完成"}));
  EXPECT_EQ(ReadFile(pictures / "p1.jpg"), FakeService::PictureBytes("p1"));
  EXPECT_EQ(pictures.Names(), (std::set<std::string>{"p1.jpg", "p2.jpg"}));
}

TEST_F(ConsoleTest, DefaultFolderIsTheCurrentOne) {
  service.AddNote("ok", "n", NotePage({"here"}));
  const Result r = Run(With(ServiceArgs(), {service.ShortLink("ok")}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.outLines(), Strings{"./here.jpg"});
  EXPECT_EQ(ReadFile(work / "here.jpg"), FakeService::PictureBytes("here"));
}

TEST_F(ConsoleTest, FolderWithTrailingSlashIsJoinedOnce) {
  service.AddNote("ok", "n", NotePage({"x"}));
  const Result r = Run(With(ServiceArgs(), {"--dir=" + pictures.path() + "/", service.ShortLink("ok")}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.outLines(), Strings{pictures / "x.jpg"});
}

TEST_F(ConsoleTest, NoteWithoutPicturesExitsOne) {
  service.AddNote("bad", "n", "<html>nothing</html>");
  service.AddNote("ok", "m", NotePage({"fine"}));

  const Result r = Run(With(ServiceArgs(), {"-o", pictures.path(), service.ShareText("bad"), service.ShortLink("ok")}));

  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.errLines(), (Strings{"信息：地址错误或软件失效", "开始下载：0/1", "正在下载：1/1", "下载完成"}));
  EXPECT_EQ(r.outLines(), Strings{pictures / "fine.jpg"});
}

TEST_F(ConsoleTest, FailedPicturesExitThree) {
  service.AddNote("f", "n", NotePage({"broken", "fine"}));
  service.SetPicture("broken", {404, "no"});

  const Result r = Run(With(ServiceArgs(), {"-o", pictures.path(), service.ShortLink("f")}));

  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.errLines(), (Strings{"开始下载：0/2", "正在下载：1/2",
                                   "xhs-saver: cannot download " + service.Origin() +
                                       "img/broken?imageView2/2/w/1200/format/webp (status 404)",
                                   "正在下载：2/2", "下载完成（失败：1）"}));
  EXPECT_EQ(r.outLines(), Strings{pictures / "fine.jpg"});
}

TEST_F(ConsoleTest, StandardInputGivesOneRunPerLine) {
  service.AddNote("a", "na", NotePage({"a1"}));
  service.AddNote("b", "nb", NotePage({"b1"}));
  const std::string input = service.ShareText("a") + "\r\n\n" + service.ShortLink("b") + "\n";

  const Result r = Run(With(ServiceArgs(), {"-o", pictures.path(), "-"}), input);

  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.outLines(), (Strings{pictures / "a1.jpg", pictures / "b1.jpg"}));
}

TEST_F(ConsoleTest, WithoutTheRightCookieTheNoteHasNoPictures) {
  service.AddNote("ok", "n", NotePage({"p"}));
  // The built-in cookie is not the one the fake service expects.
  const Result r = Run(With(Origins(), {"-o", pictures.path(), service.ShortLink("ok")}));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(pictures.Names().empty());
}

TEST_F(ConsoleTest, CookieFileAtTheConfigPlaceIsUsed) {
  service.AddNote("ok", "n", NotePage({"p"}));
  std::filesystem::create_directories(home / "config/xhs-saver");
  WriteFile(home / "config/xhs-saver/cookie", "Cookie: " + service.Endpoints().noteCookie.str());
  ::chmod((home / "config/xhs-saver/cookie").c_str(), 0644);

  const Result r = Run(With(Origins(), {"-o", pictures.path(), service.ShortLink("ok")}));

  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("readable by group or others"), std::string::npos);
}

TEST_F(ConsoleTest, HelpAndVersion) {
  const Result help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: xhs-saver"), std::string::npos);
  const Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("xhs-saver ") + XHS_VERSION + "\n");
}

TEST_F(ConsoleTest, BadUsageExitsTwoWithOneLine) {
  WriteFile(home / "broken-cookie", "a1=x\nweb_session=y\n");
  const std::vector<Strings> cases = {
      {"--frobnicate", "x"},
      {"-o"},
      {"-o", home / "missing", "x"},
      {"--dir", "", "x"},
      {"--web-origin", "ftp://host/", "x"},
      {"--image-origin", "https://host", "x"},
      {"--web-origin", "https:///", "x"},
      {"--image-origin", "http://host/?q=", "x"},
      {"--cookie-file", home / "missing-cookie", "x"},
      {"--cookie-file", home / "broken-cookie", "x"},
      {"-o", pictures.path()},
      {"--gui", "x"},
  };
  for (const Strings& args : cases) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_TRUE(service.Requests().empty());
}

TEST_F(ConsoleTest, ReasonFollowsTheMessageOnItsOwnLine) {
  // A note whose address leads to the captcha page.
  service.SetPage("/a/Capt", 307, ShortLinkBody(service.Origin() + "discovery/item/c"),
                  service.Origin() + "discovery/item/c");
  service.SetPage("/discovery/item/c", 302, "", "/website-login/captcha?redirectPath=x&verifyType=101");

  const Result r = Run(With(ServiceArgs(), {"-o", pictures.path(), service.Origin() + "a/Capt"}));

  EXPECT_EQ(r.status, 1);
  const Strings lines = r.errLines();
  ASSERT_EQ(lines.size(), 2u) << r.err;
  EXPECT_EQ(lines[0], "信息：地址错误或软件失效");
  EXPECT_TRUE(lines[1].starts_with("xhs-saver: the service sent the note to its login or captcha page")) << lines[1];
  EXPECT_TRUE(pictures.Names().empty());
}

TEST_F(ConsoleTest, DoubleDashEndsTheOptions) {
  const Result r = Run(With(ServiceArgs(), {"-o", pictures.path(), "--", "--not-an-option"}));
  EXPECT_EQ(r.status, 1);  // taken as a text: no link, no pictures
  EXPECT_EQ(r.errLines(), Strings{"信息：地址错误或软件失效"});
}


TEST_F(ConsoleTest, QuietPrintsOnlyErrorsAndPaths) {
  service.AddNote("ok", "n", NotePage({"p1", "p2"}));
  service.AddNote("f", "m", NotePage({"broken"}));
  service.SetPicture("broken", {404, "no"});
  service.AddNote("bad", "o", "<html>nothing</html>");

  const Result ok = Run(With(ServiceArgs(), {"-q", "-o", pictures.path(), service.ShortLink("ok")}));
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(ok.outLines(), (Strings{pictures / "p1.jpg", pictures / "p2.jpg"}));

  const Result failed = Run(With(ServiceArgs(), {"--quiet", "-o", pictures.path(), service.ShortLink("f")}));
  EXPECT_EQ(failed.status, 3);
  ASSERT_EQ(failed.errLines().size(), 2u) << failed.err;
  EXPECT_TRUE(failed.errLines()[0].starts_with("xhs-saver: cannot download ")) << failed.err;
  EXPECT_EQ(failed.errLines()[1], "下载完成（失败：1）");
  EXPECT_EQ(failed.out, "");

  const Result message = Run(With(ServiceArgs(), {"-q", "-o", pictures.path(), service.ShortLink("bad")}));
  EXPECT_EQ(message.status, 1);
  EXPECT_EQ(message.errLines(), Strings{"信息：地址错误或软件失效"});
}

// Off a terminal the titles stay plain lines, without escapes, whatever
// the environment would allow.
TEST_F(ConsoleTest, OffATerminalTitlesArePlainLines) {
  service.AddNote("ok", "n", NotePage({"p1"}));
  for (const Strings& env : {Strings{"NO_COLOR", "TERM=xterm-256color"}, Strings{"NO_COLOR=1"}}) {
    const Result r = Run(With(ServiceArgs(), {"-o", pictures.path(), service.ShortLink("ok")}), "", {.env = env});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.errLines(), (Strings{"开始下载：0/1", "正在下载：1/1", "下载完成"})) << env[0];
    EXPECT_EQ(r.err.find_first_of("\x1b\r"), std::string::npos) << env[0];
  }
}

TEST_F(ConsoleTest, OnATerminalTheTitlesShareOneRedrawnLine) {
  service.AddNote("ok", "n", NotePage({"p1", "p2"}));
  const Strings args = With(ServiceArgs(), {"-o", pictures.path(), service.ShortLink("ok")});
  const std::string sgrGreen = "\x1b[32m";
  const std::string redraw = "\r\x1b[K";

  const Result colour = Run(args, "", {.stderrTerminal = true, .env = {"NO_COLOR", "TERM=xterm"}});
  EXPECT_EQ(colour.status, 0) << colour.err;
  EXPECT_EQ(colour.outLines(), (Strings{pictures / "p1.jpg", pictures / "p2.jpg"}));
  // One line: every title is drawn over the one before, and only the final one ends it.
  EXPECT_EQ(colour.errLines().size(), 1u) << colour.err;
  EXPECT_TRUE(colour.err.starts_with(redraw + "开始下载：0/2 [")) << colour.err;
  EXPECT_NE(colour.err.find(redraw + "正在下载：2/2 ["), std::string::npos);
  EXPECT_NE(colour.err.find(sgrGreen + "下载完成\x1b[0m ["), std::string::npos) << colour.err;
  const std::size_t bytes = FakeService::PictureBytes("p1").size() + FakeService::PictureBytes("p2").size();
  EXPECT_NE(colour.err.find("] " + std::to_string(bytes) + " B"), std::string::npos) << colour.err;
  EXPECT_TRUE(colour.err.ends_with("\n"));

  const Result noColour = Run(args, "", {.stderrTerminal = true, .env = {"NO_COLOR=1", "TERM=xterm"}});
  EXPECT_EQ(noColour.status, 0);
  EXPECT_NE(noColour.err.find(redraw + "正在下载：1/2 ["), std::string::npos) << noColour.err;
  std::string withoutRedraws = noColour.err;
  for (std::size_t at; (at = withoutRedraws.find(redraw)) != std::string::npos;) withoutRedraws.erase(at, redraw.size());
  EXPECT_EQ(withoutRedraws.find('\x1b'), std::string::npos) << "a colour sequence: " << noColour.err;

  // A terminal that cannot redraw gets the plain lines.
  const Result dumb = Run(args, "", {.stderrTerminal = true, .env = {"NO_COLOR", "TERM=dumb"}});
  EXPECT_EQ(dumb.errLines(), (Strings{"开始下载：0/2", "正在下载：1/2", "正在下载：2/2", "下载完成"}));
}

}  // namespace
}  // namespace xhs::test
