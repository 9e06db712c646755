// The program's window: start-up, the message loop, and the window layer.
#pragma once

#include <string>

#include "app/service.h"

namespace xhs {

// Creates the application object, shows the main window centred on the
// screen and runs the message loop until the window is closed; each change of
// the edit box's text runs LinkHandler against service. Pictures go into
// targetDir; when it is empty, into the program's folder, or the user's
// pictures folder when that is not writable (see MainWindow). Returns the
// process exit status (0 when the window was closed).
int RunWindow(int& argc, char** argv, const ServiceEndpoints& service, const std::string& targetDir);

}  // namespace xhs
