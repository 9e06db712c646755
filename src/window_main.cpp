// xhs-saver-window: the program with its window. xhs-saver hands over to it
// when started with no argument or with --gui; it takes the same options.
#include "app/console/console.h"
#include "app/qt/run_window.h"

int main(int argc, char** argv) {
  xhs::ConsoleOptions options;
  if (const int status = xhs::ParseCommandLine(argc, argv, options); status >= 0) return status;
  if (!options.gui) return xhs::RunConsole(options);
  // The window takes none of the console's options as its own.
  int windowArgc = 1;
  return xhs::RunWindow(windowArgc, argv, options.service, options.dir);
}
