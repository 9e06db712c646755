#include "app/console/console.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "app/console/progress.h"
#include "app/files.h"
#include "app/link_handler.h"
#include "codepage/codepage.h"
#include "web/http_get.h"

#ifndef XHS_VERSION
#define XHS_VERSION "unknown"
#endif

namespace xhs {
namespace {

constexpr const char* kUsage =
    "Usage: xhs-saver [--gui] [-o DIR|--dir DIR] [-q] [--cookie-file FILE]\n"
    "                 [--web-origin URL] [--image-origin URL] [--original-image-origin URL]\n"
    "                 [TEXT...]\n"
    "Saves the pictures of Xiaohongshu notes as DIR/IDENTIFIER.jpg.\n"
    "\n"
    "With no argument the window opens. Each TEXT is a share text or a link, handled\n"
    "as if pasted into the window; a TEXT of - reads standard input, one per line.\n"
    "\n"
    "  --gui              open the window, using the other options\n"
    "  -o, --dir DIR      write the pictures into DIR (default: the current folder;\n"
    "                     with --gui: the program's folder, or $XDG_PICTURES_DIR/xhs-saver\n"
    "                     when that is not writable)\n"
    "  -q, --quiet        print only errors and the paths of the pictures written\n"
    "  --cookie-file FILE a cookie string as a browser shows it, whose values replace\n"
    "                     the built-in note cookie's (default: $XDG_CONFIG_HOME/xhs-saver/cookie\n"
    "                     or ~/.config/xhs-saver/cookie when it exists)\n"
    "  --web-origin URL, --image-origin URL, --original-image-origin URL\n"
    "                     other origins of the service (http or https, ending in /)\n"
    "  -h, --help         show this help;  --version  show the version\n"
    "\n"
    "Titles go to standard error, the path of each picture written to standard output.\n"
    "On a terminal the titles are one line with a bar, the bytes and the speed, in\n"
    "colour unless NO_COLOR is set.\n"
    "Exit status: 0 all pictures saved, 1 a note without pictures (wrong address),\n"
    "3 some pictures failed, 2 bad usage.\n";

int BadUsage(const std::string& reason) {
  std::cerr << "xhs-saver: " << reason << " (see --help)\n";
  return 2;
}

// An origin the user may give: http or https, a host, a final "/", nothing
// that would break the addresses built from it.
bool UsableOrigin(std::string_view url) {
  std::string_view rest;
  if (url.starts_with("http://")) {
    rest = url.substr(7);
  } else if (url.starts_with("https://")) {
    rest = url.substr(8);
  } else {
    return false;
  }
  if (rest.empty() || rest.front() == '/' || !url.ends_with('/')) return false;
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '?' || c == '#') return false;
  }
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The console's window layer: the box holds the current TEXT.
class ConsoleWindow final : public WindowLayer {
 public:
  ConsoleWindow(const ServiceEndpoints& service, std::string folder, ProgressReporter& progress)
      : service_(service), folder_(std::move(folder)), progress_(progress) {}

  void Paste(const Text& text) { edit_ = text; }

  Text ReadEditText() override { return edit_; }
  void SetWindowTitle(const Text& title) override { progress_.Title(TextToUtf8(title)); }
  void SetEditText(const Text& text) override {
    edit_ = text;
    LinkHandler(*this, service_);
  }
  void ShowMessageBox(const Text& message) override {
    progress_.Message(TextToUtf8(Utf8ToText("信息：") + message));
  }
  void ProcessPendingEvents() override {}
  std::string ProgramDirectory() override { return folder_; }
  bool WriteFileBytes(const std::string& nativePath, const Bytes& data) override {
    if (!WriteFileAtomic(nativePath, data)) {
      progress_.Error("xhs-saver: cannot write " + nativePath);
      return false;
    }
    // Standard output may be the terminal that shows the progress line.
    progress_.BeforeOutput();
    Line(stdout, nativePath);
    progress_.AfterOutput();
    return true;
  }
  Bytes HttpGet(const Text& url, int& status) override {
    Bytes body = xhs::HttpGet(url, status);
    progress_.PictureFetched(body.size());
    if (!PictureDownloaded(status, body)) {
      progress_.Error("xhs-saver: cannot download " + TextToUtf8(url) +
                       (status == 0 ? std::string(" (no answer)") : " (status " + std::to_string(status) + ")"));
    }
    return body;
  }

 private:
  static void Line(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
  }

  const ServiceEndpoints& service_;
  std::string folder_;
  ProgressReporter& progress_;
  Text edit_;
};

// The options that take a value, as "--name VALUE" or "--name=VALUE".
bool TakesValue(std::string_view name) {
  return name == "-o" || name == "--dir" || name == "--cookie-file" || name == "--web-origin" ||
         name == "--image-origin" || name == "--original-image-origin";
}

}  // namespace

bool CommandLineAsksForWindow(int argc, char** argv) {
  if (argc <= 1) return true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") return false;
    if (arg == "--gui") return true;
    if (TakesValue(arg)) ++i;  // its value may look like an option
  }
  return false;
}

int ParseCommandLine(int argc, char** argv, ConsoleOptions& options) {
  options = ConsoleOptions{};
  std::string cookieFile;
  bool cookieFileGiven = false;
  bool dirGiven = false;
  bool optionsEnded = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
      options.texts.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "xhs-saver " << XHS_VERSION << "\n";
      return 0;
    }
    if (arg == "--gui") {
      options.gui = true;
      continue;
    }
    if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
      continue;
    }
    // The options with a value: "--name VALUE" or "--name=VALUE".
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    if (!TakesValue(name)) return BadUsage("unknown option " + arg);
    if (!hasValue) {
      if (i + 1 >= argc) return BadUsage(name + " needs a value");
      value = argv[++i];
    }
    if (name == "-o" || name == "--dir") {
      if (value.empty()) return BadUsage(name + " needs a folder");
      options.dir = value;
      dirGiven = true;
    } else if (name == "--cookie-file") {
      cookieFile = value;
      cookieFileGiven = true;
    } else {
      if (!UsableOrigin(value)) {
        return BadUsage(name + " " + value + ": not an http or https origin ending in /");
      }
      Text& origin = name == "--web-origin"     ? options.service.webOrigin
                     : name == "--image-origin" ? options.service.imageOrigin
                                                : options.service.originalImageOrigin;
      origin = Text(value);
    }
  }

  if (argc <= 1) options.gui = true;
  if (options.gui && !options.texts.empty()) return BadUsage("--gui takes no TEXT");
  if (!options.gui && options.texts.empty()) return BadUsage("no TEXT given (- reads standard input)");
  if (dirGiven && !IsDirectory(options.dir)) return BadUsage(options.dir + ": not a folder");
  if (!dirGiven && !options.gui) options.dir = ".";

  const std::string path = cookieFileGiven ? cookieFile : DefaultCookieFilePath();
  const CookieFileResult cookie = LoadCookieFile(options.service, path, cookieFileGiven);
  for (const std::string& warning : cookie.warnings) std::cerr << "xhs-saver: warning: " << warning << "\n";
  if (cookie.refused) {
    if (!options.gui) return BadUsage(cookie.error);
    std::cerr << "xhs-saver: " << cookie.error << "; using the built-in cookie\n";
  }
  return -1;
}

int RunConsole(const ConsoleOptions& options) {
  ProgressReporter progress(
      stderr, DetectProgressStyle(STDERR_FILENO, options.quiet, std::getenv("NO_COLOR"), std::getenv("TERM")));
  ConsoleWindow window(options.service, WithoutTrailingSlash(options.dir), progress);
  bool messageShown = false;
  bool picturesFailed = false;
  auto run = [&](const std::string& utf8) {
    window.Paste(Utf8ToText(utf8));
    const RunOutcome outcome = RunLinkHandler(window, options.service);
    if (!outcome.reason.empty()) progress.Error("xhs-saver: " + outcome.reason);
    messageShown = messageShown || outcome.messageShown;
    picturesFailed = picturesFailed || outcome.failed > 0;
  };
  for (const std::string& text : options.texts) {
    if (text != "-") {
      run(text);
      continue;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line.ends_with('\r')) line.pop_back();
      run(line);
    }
  }
  if (messageShown) return 1;
  return picturesFailed ? 3 : 0;
}

}  // namespace xhs
