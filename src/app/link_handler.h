// LinkHandler: one run, started by every change of the edit box's text.
#pragma once

#include <string>
#include <vector>

#include "app/service.h"
#include "app/window_layer.h"

namespace xhs {

// Reads the edit box through window, resolves the note address, fetches the
// note page and writes each picture into window.ProgramDirectory(), showing
// progress in the title. Every step that fails is passed over. When the note
// page holds no usable picture identifier, the pictures are looked for once
// more by following the link to the note page (app/second_strategy.h); only
// when that finds none either does the run end with the message
// "地址错误或软件失效".
// A RunAborted thrown by the window passes through (a window operation that
// throws inside a request's event hook is rethrown once the request returns).
void LinkHandler(WindowLayer& window, const ServiceEndpoints& service);

// What one run did, for front ends that report it.
struct RunOutcome {
  bool empty = true;               // the edit text was "": nothing was done
  bool messageShown = false;       // neither way found a picture
  bool byAddress = false;          // the pictures came from the note's address
  int pictures = 0;                // the number of pictures tried
  int saved = 0;                   // pictures written
  int failed = 0;                  // pictures - saved
  std::vector<std::string> files;  // paths written, in order, once per write
  std::string reason;              // with the message: why, in one UTF-8 line,
                                   // when the service said so; else ""
};

// LinkHandler, returning what the run did (not counting the runs nested in it).
RunOutcome RunLinkHandler(WindowLayer& window, const ServiceEndpoints& service);

// True when a picture's download counts: a 2xx status and a body that is not
// empty. Anything else keeps whatever file is already there.
bool PictureDownloaded(int status, const Bytes& picture);

// The name a picture is saved under: the identifier in UTF-8 with every "/"
// and "\" made "_", then ".jpg"; "" for an empty identifier (nothing saved).
std::string PictureFileName(const Text& identifier);

}  // namespace xhs
