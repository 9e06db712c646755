// The operations a run needs from its front end: the Qt window, the console
// front end and the tests' recording fake each implement them.
#pragma once

#include <string>

#include "text/text.h"

namespace xhs {

// Thrown by a window-layer operation when the window has gone (closed while a
// run waited inside a request): the run stops there and writes nothing more.
// LinkHandler lets it pass; the front end catches it.
struct RunAborted {};

class WindowLayer {
 public:
  virtual ~WindowLayer() = default;

  // The edit box's text, line breaks as CR LF; "" when empty.
  virtual Text ReadEditText() = 0;
  // The window's title is title when the call returns.
  virtual void SetWindowTitle(const Text& title) = 0;
  // Replaces the edit box's text, then raises the text-changed event once,
  // synchronously (so a run happens inside this call), even when unchanged.
  virtual void SetEditText(const Text& text) = 0;
  // A modal box titled "信息：" with one OK button; returns when dismissed.
  virtual void ShowMessageBox(const Text& message) = 0;
  // Dispatches queued events until none is left (a quit request stays queued).
  virtual void ProcessPendingEvents() = 0;
  // The folder pictures are written into, as a native path (UTF-8 on Linux),
  // without a trailing separator: "" for the root, so that dir + "/" + name
  // still names a file in "/".
  virtual std::string ProgramDirectory() = 0;
  // Creates or replaces the file at nativePath with data, atomically; true on
  // success. Empty data gives an empty file; an empty path or a file that
  // cannot be written gives false and changes nothing.
  virtual bool WriteFileBytes(const std::string& nativePath, const Bytes& data) = 0;
  // The body of an HTTP/1.0 GET of url, whatever its status; empty when
  // nothing could be read. status receives the final HTTP status, 0 when no
  // response arrived.
  virtual Bytes HttpGet(const Text& url, int& status) = 0;
};

}  // namespace xhs
