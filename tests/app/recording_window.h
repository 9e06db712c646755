// A window layer for tests: records what a run shows and writes, reads and
// writes real files in a folder of its own, and fetches with the real
// HttpGet. SetEditText runs LinkHandler inside the call, as the window does.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/files.h"
#include "app/link_handler.h"
#include "codepage/codepage.h"
#include "web/http_get.h"

namespace xhs::test {

class RecordingWindow : public WindowLayer {
 public:
  RecordingWindow(ServiceEndpoints service, std::string folder)
      : service_(std::move(service)), folder_(std::move(folder)) {}

  // What happened, in order, in UTF-8: "title:…", "message:…", "edit:…".
  std::vector<std::string> events;
  std::vector<std::string> titles;
  std::vector<std::string> writes;  // paths handed to WriteFileBytes
  int pumps = 0;                    // ProcessPendingEvents calls
  // Called from ProcessPendingEvents, as a queued event would be.
  std::function<void()> onPump;
  // Throw RunAborted at the n-th title (1-based); 0: never.
  int abortAtTitle = 0;

  void Paste(const std::string& utf8) { edit_ = Utf8ToText(utf8); }
  std::string EditTextUtf8() const { return TextToUtf8(edit_); }
  const ServiceEndpoints& service() const { return service_; }

  Text ReadEditText() override { return edit_; }
  void SetWindowTitle(const Text& title) override {
    titles.push_back(TextToUtf8(title));
    events.push_back("title:" + titles.back());
    if (abortAtTitle != 0 && static_cast<int>(titles.size()) == abortAtTitle) throw RunAborted{};
  }
  void SetEditText(const Text& text) override {
    edit_ = text;
    events.push_back("edit:" + TextToUtf8(text));
    LinkHandler(*this, service_);
  }
  void ShowMessageBox(const Text& message) override { events.push_back("message:" + TextToUtf8(message)); }
  void ProcessPendingEvents() override {
    ++pumps;
    if (onPump) {
      auto pump = std::move(onPump);
      onPump = nullptr;
      pump();
    }
  }
  std::string ProgramDirectory() override { return folder_; }
  bool WriteFileBytes(const std::string& nativePath, const Bytes& data) override {
    writes.push_back(nativePath);
    return WriteFileAtomic(nativePath, data);
  }
  Bytes HttpGet(const Text& url, int& status) override { return xhs::HttpGet(url, status); }

 private:
  ServiceEndpoints service_;
  std::string folder_;
  Text edit_;
};

}  // namespace xhs::test
