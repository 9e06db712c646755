// The console front end: runs given on the command line instead of pasted.
#pragma once

#include <string>
#include <vector>

#include "app/service.h"

namespace xhs {

struct ConsoleOptions {
  bool gui = false;                // open the window (no argument, or --gui)
  std::string dir;                 // -o/--dir as given; when not given "." for the
                                   // console, "" for the window (its own choice)
  bool quiet = false;              // -q/--quiet: only errors and the paths written
  ServiceEndpoints service = DefaultServiceEndpoints();
  std::vector<std::string> texts;  // the TEXT arguments, UTF-8; "-" reads standard input
};

// True when the command line asks for the window: no argument at all, or
// --gui among the options (before a "--"). Reads nothing else.
bool CommandLineAsksForWindow(int argc, char** argv);

// Reads the command line (argv[0] is the program) into options, with the
// user's cookie file merged into options.service. Returns -1 when the
// program goes on (options.gui tells how); otherwise the exit status after
// the output is written: 0 for --help and --version, 2 for bad usage (one
// line on standard error). A refused cookie file is bad usage for the
// console; for the window it is stated on standard error and the built-in
// values are kept.
int ParseCommandLine(int argc, char** argv, ConsoleOptions& options);

// Runs each text as if pasted into the window's box: titles and the message
// go to standard error, the path of every picture written to standard
// output. On a terminal a run's titles are one line redrawn with a bar, the
// bytes and the speed, coloured unless NO_COLOR is set; elsewhere they are
// plain lines. With quiet only errors and failed runs' final titles remain.
// Returns 0 when every run saved all its pictures, 1 when a run ended with
// the message, 3 when pictures failed and no run ended with it.
int RunConsole(const ConsoleOptions& options);

}  // namespace xhs
