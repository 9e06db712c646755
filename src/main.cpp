// xhs-saver: the window with no argument, the console front end otherwise.
#include <iostream>

#include "app/console/console.h"
#ifdef XHS_HAVE_WINDOW
#include "app/qt/run_window.h"
#endif

int main(int argc, char** argv) {
  xhs::ConsoleOptions options;
  if (const int status = xhs::ParseCommandLine(argc, argv, options); status >= 0) return status;
  if (!options.gui) return xhs::RunConsole(options);
#ifdef XHS_HAVE_WINDOW
  // The window takes none of the console's options as its own.
  int windowArgc = 1;
  return xhs::RunWindow(windowArgc, argv, options.service, options.dir);
#else
  std::cerr << "xhs-saver: built without the window; give a TEXT (see --help)\n";
  return 2;
#endif
}
