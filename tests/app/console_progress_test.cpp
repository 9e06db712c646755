// The console's progress display, fed by hand with a clock that the test moves.
#include "app/console/progress.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <chrono>
#include <string>

namespace xhs {
namespace {

using namespace std::chrono_literals;

TEST(FormatBytes, UnitsAndRounding) {
  const struct {
    std::uint64_t bytes;
    const char* shown;
  } cases[] = {
      {0, "0 B"},           {1023, "1023 B"},        {1024, "1.0 KiB"},
      {1536, "1.5 KiB"},    {1048575, "1.0 MiB"},    {5u << 20, "5.0 MiB"},
      {(3ull << 30) + (1ull << 29), "3.5 GiB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatBytes(c.bytes), c.shown) << c.bytes;
}

TEST(ProgressLine, BarBytesAndSpeed) {
  EXPECT_EQ(ProgressLine("正在下载：2/4", 1, 4, 2048, 2.0, false, 8), "正在下载：2/4 [##------] 2.0 KiB  1.0 KiB/s");
  EXPECT_EQ(ProgressLine("t", 4, 4, 10, 0.0, false, 4), "t [####] 10 B");   // too soon for a speed
  EXPECT_EQ(ProgressLine("t", 9, 4, 0, 1.0, false, 4), "t [####] 0 B  0 B/s");  // done beyond total
  EXPECT_EQ(ProgressLine("t", 0, 0, 0, 1.0, false, 3), "t [---] 0 B  0 B/s");   // no pictures
  EXPECT_EQ(ProgressLine("t", 1, 2, 0, 0.0, true, 2), "t [\x1b[32m#\x1b[0m-] 0 B");
}

TEST(DetectProgressStyle, OffATerminalNothingButQuiet) {
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const ProgressStyle style = DetectProgressStyle(fileno(file), true, nullptr, "xterm");
  EXPECT_FALSE(style.terminal);
  EXPECT_FALSE(style.colour);
  EXPECT_TRUE(style.quiet);
  std::fclose(file);
}

// Collects what the reporter writes.
class ReporterTest : public ::testing::Test {
 protected:
  ~ReporterTest() override {
    if (buffer_ != nullptr) std::fclose(buffer_);
  }
  ProgressReporter::Clock Clock() {
    return [this] { return now_; };
  }
  std::string Written() {
    std::fflush(buffer_);
    std::string text(std::ftell(buffer_), '\0');
    std::rewind(buffer_);
    text.resize(std::fread(text.data(), 1, text.size(), buffer_));
    return text;
  }
  void Run(ProgressReporter& reporter) {
    reporter.Title("开始下载：0/2");
    now_ += 1s;
    reporter.Title("正在下载：1/2");
    reporter.PictureFetched(1024);
    reporter.BeforeOutput();
    reporter.AfterOutput();
    now_ += 1s;
    reporter.Title("正在下载：2/2");
    reporter.PictureFetched(3072);
    reporter.Title("下载完成");
  }

  FILE* buffer_ = std::tmpfile();
  std::chrono::steady_clock::time_point now_{};
};

TEST_F(ReporterTest, OffATerminalEachTitleIsAPlainLine) {
  {
    ProgressReporter reporter(buffer_, ProgressStyle{}, Clock());
    Run(reporter);
    reporter.Message("信息：地址错误或软件失效");
  }
  EXPECT_EQ(Written(), "开始下载：0/2\n正在下载：1/2\n正在下载：2/2\n下载完成\n信息：地址错误或软件失效\n");
}

TEST_F(ReporterTest, QuietShowsOnlyFailuresAndErrors) {
  {
    ProgressReporter reporter(buffer_, ProgressStyle{.quiet = true}, Clock());
    Run(reporter);
    reporter.Title("开始下载：0/1");
    reporter.Title("正在下载：1/1");
    reporter.Error("xhs-saver: cannot write x.jpg");
    reporter.Title("下载完成（失败：1）");
  }
  EXPECT_EQ(Written(), "xhs-saver: cannot write x.jpg\n下载完成（失败：1）\n");
}

TEST_F(ReporterTest, OnATerminalOneLineIsRedrawn) {
  {
    ProgressReporter reporter(buffer_, ProgressStyle{.terminal = true}, Clock());
    Run(reporter);
  }
  const std::string e = "\r\x1b[K";
  EXPECT_EQ(Written(), e + "开始下载：0/2 [------------------------] 0 B" +
                           e + "正在下载：1/2 [------------------------] 0 B  0 B/s" +
                           e + "正在下载：1/2 [############------------] 1.0 KiB  1.0 KiB/s" +
                           e +  // cleared for a line on standard output
                           e + "正在下载：1/2 [############------------] 1.0 KiB  1.0 KiB/s" +
                           e + "正在下载：2/2 [############------------] 1.0 KiB  512 B/s" +
                           e + "正在下载：2/2 [########################] 4.0 KiB  2.0 KiB/s" +
                           e + "下载完成 [########################] 4.0 KiB  2.0 KiB/s\n");
}

TEST_F(ReporterTest, ColourOnlyWhenAsked) {
  {
    ProgressReporter reporter(buffer_, ProgressStyle{.terminal = true, .colour = true}, Clock());
    Run(reporter);
    reporter.Message("信息：地址错误或软件失效");
  }
  const std::string written = Written();
  EXPECT_NE(written.find("\x1b[32m下载完成\x1b[0m ["), std::string::npos) << written;
  EXPECT_NE(written.find("\x1b[31m信息：地址错误或软件失效\x1b[0m\n"), std::string::npos);
}

TEST_F(ReporterTest, AMessageBetweenTitlesKeepsTheLine) {
  {
    ProgressReporter reporter(buffer_, ProgressStyle{.terminal = true}, Clock());
    reporter.Title("开始下载：0/1");
    reporter.Error("xhs-saver: cannot write a.jpg");
  }  // the run stopped: the line is ended
  const std::string e = "\r\x1b[K";
  const std::string line = "开始下载：0/1 [------------------------] 0 B";
  EXPECT_EQ(Written(), e + line + e + "xhs-saver: cannot write a.jpg\n" + e + line + "\n");
}

}  // namespace
}  // namespace xhs
