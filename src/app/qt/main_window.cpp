#include "app/qt/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextDocument>
#include <QWindow>

#include <cstdio>
#include <exception>
#include <limits>
#include <optional>
#include <utility>

#include "app/files.h"
#include "app/pictures_folder.h"
#include "codepage/codepage.h"
#include "web/http_get.h"

namespace xhs {
namespace {

// The window's own texts (UTF-16 literals for the toolkit).
const char16_t kInitialTitle[] = u"by：Velkaris";
const char16_t kLabelText[] = u"链  接：";
const char16_t kLabelName[] = u"标签1";
const char16_t kEditName[] = u"编辑框1";
const char16_t kMessageBoxTitle[] = u"信息：";

// Where the controls sit in the client area.
constexpr QRect kLabelGeometry(8, 8, 56, 24);
constexpr QRect kEditGeometry(64, 8, 256, 40);

// The frame assumed until the platform reports the real one: a fixed frame of
// 3 pixels and a title bar, as on the desktop the window was drawn for.
constexpr QMargins kNominalFrame(3, 25, 3, 3);

constexpr int kFontPoints = 9;

}  // namespace

// The edit box. The toolkit reports every change of an input method's
// composition as a text change, though the text itself only changes when the
// composition is committed; the box tells such a report from an edit.
class EditBox : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

  // True while an input method event that commits nothing is being handled
  // and the text is still what it was before it.
  bool OnlyComposing() const { return composingOver_ && document()->toRawText() == *composingOver_; }

 protected:
  void inputMethodEvent(QInputMethodEvent* event) override {
    const bool edits = !event->commitString().isEmpty() || event->replacementLength() != 0;
    // Saved and restored: a run started inside may handle events of its own.
    std::optional<QString> outer = std::move(composingOver_);
    composingOver_.reset();
    if (!edits) composingOver_ = document()->toRawText();
    QPlainTextEdit::inputMethodEvent(event);
    composingOver_ = std::move(outer);
  }

 private:
  std::optional<QString> composingOver_;
};

MainWindow::MainWindow(Run run, std::string targetDir)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      run_(std::move(run)),
      targetDir_(std::move(targetDir)) {
  // The window lives on the stack of whoever made it; closing only hides it,
  // so a run still inside a request can go on touching this object.
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(QString::fromUtf16(kInitialTitle));

  QFont face = font();  // the default face
  face.setPointSize(kFontPoints);
  face.setWeight(QFont::Normal);
  face.setItalic(false);
  setFont(face);

  QPalette background = palette();
  background.setColor(QPalette::Window, background.color(QPalette::Button));
  setPalette(background);
  setAutoFillBackground(true);

  label_ = new QLabel(QString::fromUtf16(kLabelText), this);
  label_->setObjectName(QString::fromUtf16(kLabelName));
  label_->setGeometry(kLabelGeometry);
  label_->setTextFormat(Qt::PlainText);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  edit_ = new EditBox(this);
  edit_->setObjectName(QString::fromUtf16(kEditName));
  edit_->setGeometry(kEditGeometry);
  edit_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  edit_->setLineWidth(1);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit_->document()->setDocumentMargin(2);
  QPalette ink = edit_->palette();
  ink.setColor(QPalette::Base, Qt::white);
  ink.setColor(QPalette::Text, Qt::black);
  edit_->setPalette(ink);

  setFixedSize(kOuterWidth - kNominalFrame.left() - kNominalFrame.right(),
               kOuterHeight - kNominalFrame.top() - kNominalFrame.bottom());
  Centre();
  edit_->setFocus();

  // Connected last: building the window raises no run.
  connect(edit_, &QPlainTextEdit::textChanged, this, &MainWindow::OnTextChanged);
}

MainWindow::~MainWindow() = default;

void MainWindow::OnTextChanged() {
  if (!run_ || edit_->OnlyComposing()) return;
  try {
    run_(*this);
  } catch (const RunAborted&) {
    // The window was closed under the run; the program is on its way out.
  } catch (const std::exception& e) {
    // Nothing may leave an event handler; a run that broke is dropped.
    std::fprintf(stderr, "xhs-saver: run stopped: %s\n", e.what());
  }
}

void MainWindow::ThrowIfClosed() const {
  if (closed_) throw RunAborted{};
}

Text MainWindow::ReadEditText() {
  ThrowIfClosed();
  return EditBoxTextToText(edit_->document()->toRawText());
}

void MainWindow::SetWindowTitle(const Text& title) {
  ThrowIfClosed();
  setWindowTitle(TextToQString(title));
}

void MainWindow::SetEditText(const Text& text) {
  ThrowIfClosed();
  {
    // The event is raised below, by hand, so that it comes exactly once
    // whatever the toolkit does for an unchanged text.
    const QSignalBlocker quiet(edit_);
    edit_->setPlainText(TextToQString(text));
  }
  OnTextChanged();
}

void MainWindow::ShowMessageBox(const Text& message) {
  ThrowIfClosed();
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf16(kMessageBoxTitle), TextToQString(message),
                  QMessageBox::Ok, nullptr);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void MainWindow::ProcessPendingEvents() {
  // Dispatches until a pass finds nothing to do. A quit request only marks
  // the main loop to end, so it stays in force for the loop to act on.
  QCoreApplication::processEvents(QEventLoop::AllEvents, std::numeric_limits<int>::max());
}

std::string MainWindow::ProgramDirectory() {
  ThrowIfClosed();
  if (!targetDir_.empty()) return WithoutTrailingSlash(targetDir_);
  if (!folder_) {
    folder_ = ChooseWindowFolder(ExecutableFolder(), FolderProbe::System());
    if (!folder_->notice.empty()) std::fprintf(stderr, "%s\n", folder_->notice.c_str());
  }
  // Made again should the user remove it while the window is open.
  if (!folder_->notice.empty()) EnsureFolder(folder_->path);
  return folder_->path;
}

bool MainWindow::WriteFileBytes(const std::string& nativePath, const Bytes& data) {
  ThrowIfClosed();
  return WriteFileAtomic(nativePath, data);
}

Bytes MainWindow::HttpGet(const Text& url, int& status) {
  ThrowIfClosed();
  return xhs::HttpGet(url, status);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  closed_ = true;
  event->accept();
  // Queued, so that a run under way returns to the main loop before it ends.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

bool MainWindow::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::WindowActivate:
      // A window manager frames the window some time after it is shown; by
      // the time it activates the window, its frame is known.
      FitOuterSize();
      break;
    default:
      break;
  }
  return handled;
}

void MainWindow::FitOuterSize() {
  const QWindow* handle = windowHandle();
  if (!handle || !isVisible()) return;
  const QMargins frame = handle->frameMargins();
  if (fittedFrame_ == frame) return;
  fittedFrame_ = frame;
  setFixedSize(std::max(kOuterWidth - frame.left() - frame.right(), kMinClientWidth),
               std::max(kOuterHeight - frame.top() - frame.bottom(), kMinClientHeight));
  Centre();
}

void MainWindow::Centre() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // For a top-level window the position is that of its frame.
    const QRect whole = screen->geometry();
    move(whole.x() + (whole.width() - kOuterWidth) / 2, whole.y() + (whole.height() - kOuterHeight) / 2);
  }
}

Text EditBoxTextToText(const QString& raw) {
  std::u16string units;
  units.reserve(static_cast<std::size_t>(raw.size()) + 16);
  for (const QChar c : raw) {
    const char16_t u = c.unicode();
    if (u == u'\n' || u == 0x2029 || u == 0x2028) {
      units += u"\r\n";
    } else {
      units += u;
    }
  }
  return Utf16StringToText(units);
}

QString TextToQString(const Text& text) { return QString::fromStdU16String(TextToUtf16String(text)); }

}  // namespace xhs
