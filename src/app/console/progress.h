// How the console shows the progress of its runs on standard error.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace xhs {

struct ProgressStyle {
  bool terminal = false;  // the titles become one line redrawn in place
  bool colour = false;    // ANSI colours (only with terminal)
  bool quiet = false;     // only errors; titles are not shown
};

// terminal: fd is a terminal and term (the TERM variable, nullptr when
// unset) is not "dumb"; colour: terminal and noColor (the NO_COLOR
// variable) unset or empty.
ProgressStyle DetectProgressStyle(int fd, bool quiet, const char* noColor, const char* term);

// "0 B", "999 B", "1.0 KiB", "12.3 MiB": binary units, one decimal from KiB on.
std::string FormatBytes(std::uint64_t bytes);

// The redrawn line: the title, a bar of width cells filled done/total, the
// bytes received and the speed over seconds ("" when seconds is under
// 0.05). No escape sequences unless colour. total 0 gives an empty bar.
std::string ProgressLine(const std::string& title, int done, int total, std::uint64_t bytes,
                         double seconds, bool colour, int width = 24);

// Receives what a console run does and writes it to err in the chosen style.
// Off a terminal every title is one plain line; on a terminal a
// run's titles share one redrawn line that ends with its final title.
class ProgressReporter {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  ProgressReporter(std::FILE* err, ProgressStyle style, Clock clock = std::chrono::steady_clock::now);
  ~ProgressReporter();
  ProgressReporter(const ProgressReporter&) = delete;
  ProgressReporter& operator=(const ProgressReporter&) = delete;

  // A title set by the run, UTF-8: "开始下载：0/N", "正在下载：i/N", the final one.
  void Title(const std::string& title);
  // One picture's download ended with bytes received.
  void PictureFetched(std::uint64_t bytes);
  // The run's message ("信息：…"); an error line ("xhs-saver: cannot write …").
  void Message(const std::string& line);
  void Error(const std::string& line);
  // Around a line written to standard output, when that may be the same
  // terminal: the progress line is cleared first and drawn again after.
  void BeforeOutput();
  void AfterOutput();

 private:
  void Draw(bool final);
  void Clear();
  void Line(const std::string& text, const char* colour);

  std::FILE* err_;
  ProgressStyle style_;
  Clock clock_;
  std::string title_;
  int done_ = 0;
  int total_ = 0;
  std::uint64_t bytes_ = 0;
  std::chrono::steady_clock::time_point start_{};
  bool drawn_ = false;  // a progress line is on the screen, not yet ended
};

}  // namespace xhs
