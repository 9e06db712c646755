// xhs-saver: the console front end. With no argument, or with --gui, it hands
// over to xhs-saver-window beside it, so that a console run never loads the
// window toolkit.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "app/console/console.h"
#include "app/files.h"

namespace {

// Replaces this process by xhs-saver-window from this program's folder,
// with the same arguments; returns the exit status when that fails.
[[maybe_unused]] int ExecWindow(char** argv) {
  const std::string window = xhs::ExecutableFolder() + "/xhs-saver-window";
  ::execv(window.c_str(), argv);
  std::cerr << "xhs-saver: cannot start the window (" << window << "): " << std::strerror(errno) << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef XHS_HAVE_WINDOW
  if (xhs::CommandLineAsksForWindow(argc, argv)) return ExecWindow(argv);
#endif
  xhs::ConsoleOptions options;
  if (const int status = xhs::ParseCommandLine(argc, argv, options); status >= 0) return status;
  if (options.gui) {
    std::cerr << "xhs-saver: built without the window; give a TEXT (see --help)\n";
    return 2;
  }
  return xhs::RunConsole(options);
}
