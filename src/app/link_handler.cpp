#include "app/link_handler.h"

#include <exception>
#include <utility>

#include "codepage/codepage.h"
#include "regex/regex_object.h"
#include "text/markers.h"
#include "web/web_request.h"

namespace xhs {
namespace {

// The run's fixed texts, in code page 936.
struct RunTexts {
  Text shareMarker = Utf8ToText("复制本条信息");
  Text linkEnd = Utf8ToText("，复制本条信息");
  Text firstTitle = Utf8ToText("开始下载：0/");
  Text progressTitle = Utf8ToText("正在下载：");
  Text finalTitle = Utf8ToText("下载完成");
  Text failedTitleStart = Utf8ToText("下载完成（失败：");
  Text failedTitleEnd = Utf8ToText("）");
  Text message = Utf8ToText("地址错误或软件失效");
};

const RunTexts& Texts() {
  static const RunTexts texts;
  return texts;
}

constexpr const char* kLinkStart = "http";
constexpr const char* kTargetLeft = "<a href=\"";
constexpr const char* kTargetRight = "\">Temporary";
constexpr const char* kNotePathLeft = "<a href=\"/";
constexpr const char* kNotePathRight = "\">/explore";
constexpr const char* kIdentifierPattern = "traceId\":\".*?\"";
constexpr const char* kIdentifierKey = "traceId\":\"";
constexpr const char* kQuote = "\"";
constexpr const char* kPictureQuery = "?imageView2/2/w/1200/format/webp";

// One request of the run: GET with redirects off, the other parameters left
// at their defaults, the window's event pump as its hook. An exception from
// the pump (the window closed, say) must not cross the request's transfer
// callbacks: it is kept and rethrown once the request has returned, and the
// pump is not called again meanwhile.
Text RunRequest(WindowLayer& window, const Text& url, Text* cookie = nullptr) {
  std::exception_ptr failure;
  WebRequestParams params;
  params.url = url;
  params.method = 0;
  params.cookie = cookie;
  params.noRedirect = true;
  params.processPendingEvents = [&window, &failure] {
    if (failure) return;
    try {
      window.ProcessPendingEvents();
    } catch (...) {
      failure = std::current_exception();
    }
  };
  Text page = WebRequest(params);
  if (failure) std::rethrow_exception(failure);
  return page;
}

bool Succeeded(int status, const Bytes& picture) {
  return status >= 200 && status <= 299 && !picture.empty();
}

}  // namespace

std::string PictureFileName(const Text& identifier) {
  if (identifier.empty()) return "";
  // UTF-8 never has "/" or "\" inside a multi-byte character, so mapping the
  // bytes after the conversion catches every one.
  std::string name = TextToUtf8(identifier);
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  return name + ".jpg";
}

RunOutcome RunLinkHandler(WindowLayer& window, const ServiceEndpoints& service) {
  const RunTexts& texts = Texts();
  RunOutcome outcome;
  RegexObject regex;

  // Share-link resolution.
  const Text editText = window.ReadEditText();
  if (editText.empty()) return outcome;
  outcome.empty = false;

  Text link = editText;
  if (FindText(editText, texts.shareMarker, 1, false) != -1) {
    link = Text(kLinkStart) + TextBetween(editText, kLinkStart, texts.linkEnd);
  }
  const Text page1 = RunRequest(window, link);
  const Text target = TextBetween(page1, kTargetLeft, kTargetRight);
  const Text page2 = RunRequest(window, target);
  const Text noteAddress = service.webOrigin + TextBetween(page2, kNotePathLeft, kNotePathRight);

  // The note page, sent with a fresh copy of the note cookie each run.
  Text cookie = service.noteCookie;
  const Text notePage = RunRequest(window, noteAddress, &cookie);

  regex.Search(kIdentifierPattern, notePage);
  const int count = regex.MatchCount();
  outcome.pictures = count;
  if (count == 0) {
    outcome.messageShown = true;
    window.ShowMessageBox(texts.message);
    return outcome;
  }

  const Text total = IntToText(count);
  window.SetWindowTitle(texts.firstTitle + total);
  for (int i = 1; i <= count; ++i) {
    window.SetWindowTitle(texts.progressTitle + IntToText(i) + "/" + total);
    const Text match = regex.MatchText(i);
    const Text identifier = ReplaceText(ReplaceText(match, kIdentifierKey, ""), kQuote, "");
    const std::string name = PictureFileName(identifier);
    if (name.empty()) continue;  // an empty identifier names no picture

    int status = 0;
    const Bytes picture = window.HttpGet(service.imageOrigin + identifier + kPictureQuery, status);
    // A failed download keeps whatever file is already there.
    if (!Succeeded(status, picture)) continue;
    const std::string path = window.ProgramDirectory() + "/" + name;
    if (window.WriteFileBytes(path, picture)) {
      ++outcome.saved;
      outcome.files.push_back(path);
    }
  }
  outcome.failed = count - outcome.saved;

  window.SetWindowTitle(outcome.failed == 0
                            ? texts.finalTitle
                            : texts.failedTitleStart + IntToText(outcome.failed) + texts.failedTitleEnd);
  window.SetEditText("");
  return outcome;
}

void LinkHandler(WindowLayer& window, const ServiceEndpoints& service) {
  RunLinkHandler(window, service);
}

}  // namespace xhs
