#include "app/console/progress.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace xhs {
namespace {

// The run's titles, as the console receives them in UTF-8.
constexpr std::string_view kFirstTitle = "开始下载：";  // then 0/N
constexpr std::string_view kProgressTitle = "正在下载：";
constexpr std::string_view kFinalTitle = "下载完成";
constexpr std::string_view kFailedMark = "（失败：";

constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kYellow = "\x1b[33m";
constexpr const char* kRed = "\x1b[31m";
constexpr const char* kReset = "\x1b[0m";
constexpr const char* kEraseLine = "\r\x1b[K";

// The number at the start of s, or -1.
int LeadingNumber(std::string_view s, std::size_t& used) {
  int value = -1;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || value < 0) return -1;
  used = static_cast<std::size_t>(end - s.data());
  return value;
}

// "I/N" → i and n; false when s is not that.
bool ParseCount(std::string_view s, int& i, int& n) {
  std::size_t used = 0;
  i = LeadingNumber(s, used);
  if (i < 0 || used >= s.size() || s[used] != '/') return false;
  s.remove_prefix(used + 1);
  n = LeadingNumber(s, used);
  return n >= 0 && used == s.size();
}

std::string Coloured(const std::string& text, const char* colour, bool on) {
  return on && colour != nullptr ? colour + text + kReset : text;
}

}  // namespace

ProgressStyle DetectProgressStyle(int fd, bool quiet, const char* noColor, const char* term) {
  ProgressStyle style;
  style.quiet = quiet;
  style.terminal = ::isatty(fd) == 1 && !(term != nullptr && std::strcmp(term, "dumb") == 0);
  style.colour = style.terminal && (noColor == nullptr || noColor[0] == '\0');
  return style;
}

std::string FormatBytes(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f %s", value, kUnits[unit]);
  return buffer;
}

std::string ProgressLine(const std::string& title, int done, int total, std::uint64_t bytes,
                         double seconds, bool colour, int width) {
  width = std::max(width, 1);
  const int filled = total > 0 ? static_cast<int>(static_cast<long long>(std::clamp(done, 0, total)) * width / total) : 0;
  std::string line = title + " [";
  line += Coloured(std::string(static_cast<std::size_t>(filled), '#'), kGreen, colour && filled > 0);
  line += std::string(static_cast<std::size_t>(width - filled), '-');
  line += "] " + FormatBytes(bytes);
  if (seconds >= 0.05) {
    line += "  " + FormatBytes(static_cast<std::uint64_t>(static_cast<double>(bytes) / seconds)) + "/s";
  }
  return line;
}

ProgressReporter::ProgressReporter(std::FILE* err, ProgressStyle style, Clock clock)
    : err_(err), style_(style), clock_(std::move(clock)) {}

ProgressReporter::~ProgressReporter() {
  // A run that stopped half-way leaves its line as it was, ended.
  if (drawn_) {
    std::fputc('\n', err_);
    std::fflush(err_);
  }
}

void ProgressReporter::Title(const std::string& title) {
  const std::string_view t = title;
  const bool final = t.starts_with(kFinalTitle);
  const bool failed = final && t.find(kFailedMark) != std::string_view::npos;
  if (style_.quiet) {
    if (failed) Line(title, kYellow);
    return;
  }
  int i = 0, n = 0;
  const bool first = t.starts_with(kFirstTitle) && ParseCount(t.substr(kFirstTitle.size()), i, n) && i == 0;
  const bool progress = !first && t.starts_with(kProgressTitle) &&
                        ParseCount(t.substr(kProgressTitle.size()), i, n);
  if (!style_.terminal || !(first || progress || (final && drawn_))) {
    Clear();
    Line(title, final ? (failed ? kYellow : kGreen) : nullptr);
    if (drawn_) Draw(false);
    return;
  }
  title_ = title;
  if (first) {
    total_ = n;
    done_ = 0;
    bytes_ = 0;
    start_ = clock_();
  } else if (progress) {
    total_ = n;
    done_ = std::clamp(i - 1, 0, n);
  } else {
    done_ = total_;
  }
  Draw(final);
}

void ProgressReporter::PictureFetched(std::uint64_t bytes) {
  bytes_ += bytes;
  if (!drawn_) return;
  done_ = std::min(done_ + 1, total_);
  Draw(false);
}

void ProgressReporter::Message(const std::string& line) {
  Clear();
  Line(line, kRed);
  if (drawn_) Draw(false);
}

void ProgressReporter::Error(const std::string& line) { Message(line); }

void ProgressReporter::BeforeOutput() {
  Clear();
  std::fflush(err_);
}

void ProgressReporter::AfterOutput() {
  if (drawn_) Draw(false);
}

void ProgressReporter::Draw(bool final) {
  const double seconds = std::chrono::duration<double>(clock_() - start_).count();
  std::string line = ProgressLine(title_, done_, total_, bytes_, seconds, style_.colour);
  if (final) {
    const bool failed = std::string_view(title_).find(kFailedMark) != std::string_view::npos;
    line = Coloured(title_, failed ? kYellow : kGreen, style_.colour) + line.substr(title_.size());
  }
  std::fputs(kEraseLine, err_);
  std::fwrite(line.data(), 1, line.size(), err_);
  if (final) std::fputc('\n', err_);
  std::fflush(err_);
  drawn_ = !final;
}

void ProgressReporter::Clear() {
  if (style_.terminal && drawn_) std::fputs(kEraseLine, err_);
}

void ProgressReporter::Line(const std::string& text, const char* colour) {
  const std::string shown = Coloured(text, colour, style_.colour);
  std::fwrite(shown.data(), 1, shown.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

}  // namespace xhs
