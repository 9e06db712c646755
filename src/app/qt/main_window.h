// The program's main window: a label and a multi-line edit box whose every
// change starts a run, plus the window-layer operations the run calls.
#pragma once

#include <QMargins>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "app/pictures_folder.h"
#include "app/window_layer.h"

class QCloseEvent;
class QLabel;

namespace xhs {

class EditBox;

class MainWindow : public QWidget, public WindowLayer {
  Q_OBJECT

 public:
  // One run; it is handed this window. RunWindow passes one that calls
  // LinkHandler, tests pass recorders.
  using Run = std::function<void(WindowLayer&)>;

  // The outer size (frame included) the window aims at, and the client area
  // it never goes below when a window manager's frame is thicker than the
  // nominal one.
  static constexpr int kOuterWidth = 331;
  static constexpr int kOuterHeight = 84;
  static constexpr int kMinClientWidth = 325;
  static constexpr int kMinClientHeight = 56;

  // Builds the window hidden and centred on the primary screen; raises no
  // run. targetDir is where pictures go; "" means the program's folder, or,
  // when that is not writable (an installed program), the user's pictures
  // folder (see ChooseWindowFolder), created on first use.
  explicit MainWindow(Run run, std::string targetDir = {});
  ~MainWindow() override;

  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // True once the user (or close()) has closed the window. From then on every
  // operation that touches the window, the files or the network throws
  // RunAborted, so a run under way stops at its next step.
  bool IsClosed() const noexcept { return closed_; }

  // WindowLayer.
  Text ReadEditText() override;
  void SetWindowTitle(const Text& title) override;
  void SetEditText(const Text& text) override;
  void ShowMessageBox(const Text& message) override;
  // Never throws: it is called from inside a request's callbacks.
  void ProcessPendingEvents() override;
  std::string ProgramDirectory() override;
  bool WriteFileBytes(const std::string& nativePath, const Bytes& data) override;
  Bytes HttpGet(const Text& url, int& status) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void OnTextChanged();
  void ThrowIfClosed() const;
  // Sizes the client area so that, with the frame the platform reports, the
  // outer size is 331 × 84 (never smaller than the controls need), and
  // centres the frame on the screen; again only when the frame changes.
  void FitOuterSize();
  void Centre();

  Run run_;
  std::string targetDir_;
  std::optional<WindowFolder> folder_;  // chosen at the first ProgramDirectory
  QLabel* label_ = nullptr;
  EditBox* edit_ = nullptr;
  bool closed_ = false;
  std::optional<QMargins> fittedFrame_;
};

// QString (UTF-16) ↔ Text, through the code page 936 routines. The box's
// paragraph and line separators (U+2029, U+2028, LF) become CR LF.
Text EditBoxTextToText(const QString& raw);
QString TextToQString(const Text& text);

}  // namespace xhs
