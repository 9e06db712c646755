// The requests of a run: GET with redirects off, the other parameters left at
// their defaults, the window's event pump as the request's hook.
#pragma once

#include "app/window_layer.h"
#include "text/text.h"

namespace xhs {

// What a run may want back from a request besides the body; null: not read.
struct RunRequestOut {
  Text* statusText = nullptr;  // "302 Found", or an error text "701 ..."
  Text* location = nullptr;    // the Location header's value, "" when none
};

// Fetches url and returns the body text ("" after a failure). cookie, when
// given, is sent and may be replaced by the merged cookie string. An
// exception from the window's pump (the window closed, say) never crosses
// the request's transfer callbacks: it is kept, the pump is not called again
// meanwhile, and it is rethrown once the request has returned.
Text RunRequest(WindowLayer& window, const Text& url, Text* cookie = nullptr, RunRequestOut out = {});

}  // namespace xhs
