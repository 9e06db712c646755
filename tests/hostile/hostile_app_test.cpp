// Runs against an image host that fails and a disk that fails: a failed
// picture writes nothing and keeps an earlier file, the failure is counted,
// the run goes on with the next picture, and no temporary file is left.
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "app/files.h"
#include "app/link_handler.h"
#include "child.h"
#include "fake_service.h"
#include "recording_window.h"
#include "support/raw_server.h"
#include "temp_folder.h"

namespace xhs::test {
namespace {

using namespace std::chrono_literals;
using Names = std::set<std::string>;

std::string Outcome(const RunOutcome& outcome, const RecordingWindow& window) {
  return std::to_string(outcome.pictures) + " " + std::to_string(outcome.saved) + " " +
         std::to_string(outcome.failed) + " " + (window.titles.empty() ? "-" : window.titles.back());
}

// An image host whose answer depends on the picture's name.
void ImageHost(RawConnection& connection) {
  const std::string request = connection.ReadRequest();
  const std::size_t from = request.find("/img/") + 5;
  const std::string key = request.substr(from, request.find('?', from) - from);
  if (key == "good") {
    connection.Write("HTTP/1.0 200 OK\r\nContent-Length: 7\r\n\r\npicture");
  } else if (key == "e404" || key == "new404") {
    connection.Write("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
  } else if (key == "e500") {
    connection.Write("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nerror");
  } else if (key == "empty") {
    connection.Write("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
  } else if (key == "loop") {
    connection.Write("HTTP/1.0 302 Found\r\nLocation: /img/loop?again\r\nContent-Length: 0\r\n\r\n");
  } else if (key == "early") {
    connection.Write("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nonly part");
  } else if (key == "reset") {
    connection.Write("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nonly part");
    std::this_thread::sleep_for(100ms);
    connection.Reset();
  }
}

TEST(HostileImageHost, FailedPicturesWriteNothingAndAreCounted) {
  FakeService service;
  RawServer host(ImageHost);
  ServiceEndpoints endpoints = service.Endpoints();
  endpoints.imageOrigin = Text(host.Url("/img/"));
  service.AddNote("c1", "n1", NotePage({"e404", "good", "e500", "empty", "loop", "early", "reset", "new404"}));

  TempFolder folder;
  const char* const earlier[] = {"e404", "e500", "empty", "loop", "early", "reset"};
  for (const char* key : earlier) WriteFile(folder / (std::string(key) + ".jpg"), "earlier");

  RecordingWindow window(endpoints, folder.path());
  window.Paste(service.ShareText("c1"));
  const auto start = std::chrono::steady_clock::now();
  const RunOutcome outcome = RunLinkHandler(window, endpoints);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);

  EXPECT_EQ(outcome.pictures, 8);
  EXPECT_EQ(outcome.saved, 1);
  EXPECT_EQ(outcome.failed, 7);
  EXPECT_EQ(window.titles.back(), "下载完成（失败：7）");
  EXPECT_EQ(ReadFile(folder / "good.jpg"), "picture");
  for (const char* key : earlier) EXPECT_EQ(ReadFile(folder / (std::string(key) + ".jpg")), "earlier") << key;
  // No file for the new identifier that failed, no temporary file.
  EXPECT_EQ(folder.Names(), (Names{"e404.jpg", "good.jpg", "e500.jpg", "empty.jpg", "loop.jpg", "early.jpg",
                                   "reset.jpg"}));
}

// --- disk faults, each in a child process ------------------------------------

// A note whose pictures are big (1 MiB) and small, the big one first.
struct DiskRun {
  FakeService service;
  RecordingWindow window;
  DiskRun(const std::string& folder) : window(service.Endpoints(), folder) {
    service.SetPicture("big", {200, std::string(1 << 20, 'b')});
    service.AddNote("c1", "n1", NotePage({"big", "small"}));
    window.Paste(service.ShareText("c1"));
  }
  std::string Run() { return Outcome(RunLinkHandler(window, window.service()), window); }
};

TEST(HostileDisk, ReadOnlyFolderWritesNothingAndKeepsWhatIsThere) {
  TempFolder folder;
  WriteFile(folder / "big.jpg", "earlier");
  ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
  const ChildResult child = RunInChild([&] {
    // root writes anywhere: drop to an ordinary user first.
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return std::string("no setuid");
    return (new DiskRun(folder.path()))->Run();  // the child ends without stopping the servers
  });
  ::chmod(folder.path().c_str(), 0755);
  ASSERT_TRUE(child.exited) << "signal " << child.signal << ", report: " << child.output;
  EXPECT_EQ(child.output, "2 0 2 下载完成（失败：2）");
  EXPECT_EQ(ReadFile(folder / "big.jpg"), "earlier");
  EXPECT_EQ(folder.Names(), Names{"big.jpg"});
}

TEST(HostileDisk, FullDiskKeepsTheEarlierPictureAndGoesOn) {
  TempFolder folder;
  WriteFile(folder / "big.jpg", "earlier");
  const ChildResult child = RunInChild([&] {
    // Files may not grow past 64 KiB; a write beyond fails with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 << 10, 64 << 10};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("no limit");
    return (new DiskRun(folder.path()))->Run();
  });
  ASSERT_TRUE(child.exited) << "signal " << child.signal << ", report: " << child.output;
  EXPECT_EQ(child.output, "2 1 1 下载完成（失败：1）");
  EXPECT_EQ(ReadFile(folder / "big.jpg"), "earlier");
  EXPECT_EQ(ReadFile(folder / "small.jpg"), FakeService::PictureBytes("small"));
  EXPECT_EQ(folder.Names(), (Names{"big.jpg", "small.jpg"}));
}

// A process killed at any moment of writing a large picture: the picture's
// name holds either the earlier picture or a whole new one, never a part.
TEST(HostileDisk, KilledWhileWritingNeverLeavesATruncatedPicture) {
  constexpr std::size_t kSize = 8 << 20;
  TempFolder folder;
  const std::string path = folder / "picture.jpg";
  WriteFile(path, "earlier");
  int wholeVersions = 0, earlierSeen = 0;
  for (const auto delay : {20ms, 80ms, 150ms, 300ms, 500ms, 800ms}) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (unsigned version = 1;; ++version) {
        WriteFileAtomic(path, Bytes(std::string(kSize, static_cast<char>('a' + version % 26))));
      }
    }
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);

    const std::string content = ReadFile(path);
    if (content == "earlier") {
      ++earlierSeen;
      continue;
    }
    ASSERT_EQ(content.size(), kSize) << "after " << delay.count() << " ms";
    EXPECT_EQ(content.find_first_not_of(content[0]), std::string::npos) << "a mixed picture";
    ++wholeVersions;
  }
  // What a kill does leave: temporary files beside the picture, never under
  // a picture's name.
  int temporaries = 0;
  for (const std::string& name : folder.Names()) {
    if (name != "picture.jpg") {
      ++temporaries;
      EXPECT_EQ(name.find(".jpg"), std::string::npos) << name;
    }
  }
  std::printf("[ kills ] %d whole new pictures, %d times the earlier one, %d temporary files left by kills\n",
              wholeVersions, earlierSeen, temporaries);
}

}  // namespace
}  // namespace xhs::test
