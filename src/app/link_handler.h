// LinkHandler: one run, started by every change of the edit box's text.
#pragma once

#include "app/service.h"
#include "app/window_layer.h"

namespace xhs {

// Reads the edit box through window, resolves the note address, fetches the
// note page and writes each picture into window.ProgramDirectory(), showing
// progress in the title. Every step that fails is passed over; a note page
// without pictures ends with the message "地址错误或软件失效".
void LinkHandler(WindowLayer& window, const ServiceEndpoints& service);

}  // namespace xhs
