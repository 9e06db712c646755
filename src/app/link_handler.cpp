#include "app/link_handler.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/run_request.h"
#include "app/second_strategy.h"
#include "codepage/codepage.h"
#include "regex/regex_object.h"
#include "text/markers.h"

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
constexpr const char* kOriginalPictureQuery = "?imageView2/format/jpg";

// One picture of a run: where it is fetched and the name it is saved under
// ("" for no file: nothing is fetched and the picture counts as failed).
struct Picture {
  Text address;
  std::string name;
};

// Every identifier of the note page, in page order, empty ones included.
std::vector<Text> PictureIdentifiers(RegexObject& regex, const Text& notePage) {
  regex.Search(kIdentifierPattern, notePage);
  std::vector<Text> identifiers;
  const int count = regex.MatchCount();
  identifiers.reserve(static_cast<std::size_t>(std::max(count, 0)));
  for (int i = 1; i <= count; ++i) {
    identifiers.push_back(ReplaceText(ReplaceText(regex.MatchText(i), kIdentifierKey, ""), kQuote, ""));
  }
  return identifiers;
}

std::vector<Picture> PicturesOf(const std::vector<Text>& names, const Text& origin, const Text& query) {
  std::vector<Picture> pictures;
  pictures.reserve(names.size());
  for (const Text& name : names) pictures.push_back({origin + name + query, PictureFileName(name)});
  return pictures;
}

// The titles, the downloads and the writes of a run that found pictures,
// then the final title and the emptied box.
void SavePictures(WindowLayer& window, const std::vector<Picture>& pictures, RunOutcome& outcome) {
  const RunTexts& texts = Texts();
  const int count = static_cast<int>(pictures.size());
  outcome.pictures = count;
  const Text total = IntToText(count);
  window.SetWindowTitle(texts.firstTitle + total);
  for (int i = 1; i <= count; ++i) {
    window.SetWindowTitle(texts.progressTitle + IntToText(i) + "/" + total);
    const Picture& picture = pictures[static_cast<std::size_t>(i - 1)];
    if (picture.name.empty()) continue;  // an empty identifier names no picture

    int status = 0;
    const Bytes bytes = window.HttpGet(picture.address, status);
    // A failed download keeps whatever file is already there.
    if (!PictureDownloaded(status, bytes)) continue;
    const std::string path = window.ProgramDirectory() + "/" + picture.name;
    if (window.WriteFileBytes(path, bytes)) {
      ++outcome.saved;
      outcome.files.push_back(path);
    }
  }
  outcome.failed = count - outcome.saved;

  window.SetWindowTitle(outcome.failed == 0
                            ? texts.finalTitle
                            : texts.failedTitleStart + IntToText(outcome.failed) + texts.failedTitleEnd);
  window.SetEditText("");
}

}  // namespace

bool PictureDownloaded(int status, const Bytes& picture) {
  return status >= 200 && status <= 299 && !picture.empty();
}

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

  // All identifiers are taken before any title: a page whose identifiers are
  // all empty is looked at the second way.
  const std::vector<Text> identifiers = PictureIdentifiers(regex, notePage);
  const auto named = [](const Text& identifier) { return !identifier.empty(); };
  if (std::any_of(identifiers.begin(), identifiers.end(), named)) {
    SavePictures(window, PicturesOf(identifiers, service.imageOrigin, kPictureQuery), outcome);
    return outcome;
  }

  AddressPictures found = FindPicturesByAddress(window, service, editText);
  if (found.tokens.empty()) {
    outcome.messageShown = true;
    outcome.reason = std::move(found.reason);
    window.ShowMessageBox(texts.message);
    return outcome;
  }
  outcome.byAddress = true;
  SavePictures(window, PicturesOf(found.tokens, service.originalImageOrigin, kOriginalPictureQuery), outcome);
  return outcome;
}

void LinkHandler(WindowLayer& window, const ServiceEndpoints& service) {
  RunLinkHandler(window, service);
}

}  // namespace xhs
