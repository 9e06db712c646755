// The Qt window under the offscreen platform: its layout, the text-changed
// event (one run per edit), the box's line breaks, the message box and the
// way a run ends when the window is closed under it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "codepage/codepage.h"

namespace xhs {
namespace {

// A window whose runs record the text they read; a test may add what a run
// does next.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>([this](WindowLayer& layer) {
      Text text = layer.ReadEditText();
      runs_.push_back(text);
      if (then_) then_(layer, text);
    });
  }

  QPlainTextEdit* Edit() const { return window_->findChild<QPlainTextEdit*>(QString::fromUtf16(u"编辑框1")); }
  QLabel* Label() const { return window_->findChild<QLabel*>(QString::fromUtf16(u"标签1")); }

  void ShowAndWait() {
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  std::unique_ptr<MainWindow> window_;
  std::vector<Text> runs_;
  std::function<void(WindowLayer&, const Text&)> then_;
};

TEST_F(WindowTest, LayoutTitleAndTexts) {
  ShowAndWait();
  EXPECT_EQ(window_->windowTitle(), QString::fromUtf16(u"by：Velkaris"));

  // Outer size as on the desktop it was drawn for, frame included, and fixed.
  EXPECT_EQ(window_->frameGeometry().size(), QSize(331, 84));
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
  EXPECT_GE(window_->width(), MainWindow::kMinClientWidth);
  EXPECT_GE(window_->height(), MainWindow::kMinClientHeight);

  // Centred on the whole screen.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window_->frameGeometry().topLeft(),
            QPoint(screen.x() + (screen.width() - 331) / 2, screen.y() + (screen.height() - 84) / 2));

  const Qt::WindowFlags flags = window_->windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & Qt::WindowStaysOnTopHint);

  EXPECT_EQ(window_->palette().color(QPalette::Window), window_->palette().color(QPalette::Button));
  EXPECT_TRUE(window_->autoFillBackground());

  QLabel* label = Label();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QString::fromUtf16(u"链  接："));
  EXPECT_EQ(label->geometry(), QRect(8, 8, 56, 24));

  QPlainTextEdit* edit = Edit();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->geometry(), QRect(64, 8, 256, 40));
  EXPECT_TRUE(edit->toPlainText().isEmpty());
  EXPECT_FALSE(edit->isReadOnly());
  EXPECT_EQ(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(edit->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(edit->lineWidth(), 1);
  EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(Qt::black));

  for (const QWidget* control : {static_cast<QWidget*>(label), static_cast<QWidget*>(edit)}) {
    EXPECT_EQ(control->font().pointSize(), 9);
    EXPECT_EQ(control->font().weight(), QFont::Normal);
    EXPECT_EQ(control->font().family(), QApplication::font().family());
  }
}

TEST_F(WindowTest, CreatingAndShowingRaiseNoRun) {
  ShowAndWait();
  QCoreApplication::processEvents();
  EXPECT_TRUE(runs_.empty());
}

TEST_F(WindowTest, EveryKeystrokeIsOneRun) {
  ShowAndWait();
  QTest::keyClicks(Edit(), QStringLiteral("http"));
  EXPECT_EQ(runs_, (std::vector<Text>{"h", "ht", "htt", "http"}));

  // Deleting is an edit like any other.
  QTest::keyClick(Edit(), Qt::Key_Backspace);
  EXPECT_EQ(runs_, (std::vector<Text>{"h", "ht", "htt", "http", "htt"}));
}

// Text typed through an input method: composing is no edit yet, each commit
// is one, and reaches the run as code page 936 bytes.
TEST_F(WindowTest, InputMethodCommitIsOneRun) {
  ShowAndWait();
  auto compose = [this](const char* pinyin) {
    QInputMethodEvent composing(QString::fromLatin1(pinyin), {});
    QApplication::sendEvent(Edit(), &composing);
  };
  auto commit = [this](const char16_t* text) {
    QInputMethodEvent committing;
    committing.setCommitString(QString::fromUtf16(text));
    QApplication::sendEvent(Edit(), &committing);
  };
  for (const char* pinyin : {"l", "li", "lian"}) compose(pinyin);
  EXPECT_TRUE(runs_.empty());
  commit(u"链");
  EXPECT_EQ(runs_, (std::vector<Text>{Text("\xC1\xB4")}));
  EXPECT_EQ(runs_[0], Utf8ToText("链"));
  compose("j");
  commit(u"接");
  EXPECT_EQ(runs_.size(), 2U);
  EXPECT_EQ(runs_[1], Utf8ToText("链接"));

  // Starting to compose over a selection deletes it: that is an edit.
  Edit()->selectAll();
  compose("x");
  ASSERT_EQ(runs_.size(), 3U);
  EXPECT_EQ(runs_[2], Text(""));
}

TEST_F(WindowTest, EnterBreaksTheLineAsCrLf) {
  ShowAndWait();
  QTest::keyClicks(Edit(), QStringLiteral("ab"));
  QTest::keyClick(Edit(), Qt::Key_Return);
  QTest::keyClicks(Edit(), QStringLiteral("c"));
  EXPECT_EQ(runs_, (std::vector<Text>{"a", "ab", "ab\r\n", "ab\r\nc"}));
  EXPECT_EQ(window_->ReadEditText(), Text("ab\r\nc"));
}

TEST_F(WindowTest, EveryPasteIsOneRun) {
  ShowAndWait();
  const QString share = QString::fromUtf16(u"看看这篇笔记 http://xhslink.com/a/b，复制本条信息\n第二行\r\n第三行");
  Edit()->insertPlainText(share);
  ASSERT_EQ(runs_.size(), 1U);
  EXPECT_EQ(runs_[0], Utf8ToText("看看这篇笔记 http://xhslink.com/a/b，复制本条信息\r\n第二行\r\n第三行"));

  // Through the clipboard, as the user pastes with Ctrl+V.
  QApplication::clipboard()->setText(QString::fromUtf16(u" 更多\n"));
  QTest::keyClick(Edit(), Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(runs_.size(), 2U);
  EXPECT_EQ(runs_[1], runs_[0] + Utf8ToText(" 更多\r\n"));
}

TEST_F(WindowTest, SetEditTextRaisesExactlyOneRun) {
  // Already empty, then the same text twice: each call is one run.
  window_->SetEditText("");
  EXPECT_EQ(runs_, (std::vector<Text>{""}));
  window_->SetEditText("abc");
  window_->SetEditText("abc");
  EXPECT_EQ(runs_, (std::vector<Text>{"", "abc", "abc"}));
  window_->SetEditText("");
  EXPECT_EQ(runs_.size(), 4U);
  EXPECT_EQ(runs_[3], Text(""));

  // CR LF in, CR LF out; the box itself holds two lines.
  window_->SetEditText("a\r\nb");
  EXPECT_EQ(Edit()->document()->blockCount(), 2);
  EXPECT_EQ(window_->ReadEditText(), Text("a\r\nb"));
}

TEST_F(WindowTest, RunThatEmptiesTheBoxRaisesOneNestedRun) {
  ShowAndWait();
  then_ = [](WindowLayer& layer, const Text& text) {
    if (!text.empty()) layer.SetEditText("");
  };
  QTest::keyClicks(Edit(), QStringLiteral("x"));
  EXPECT_EQ(runs_, (std::vector<Text>{"x", ""}));
  EXPECT_TRUE(Edit()->toPlainText().isEmpty());
  // The box takes typing again afterwards.
  QTest::keyClicks(Edit(), QStringLiteral("y"));
  EXPECT_EQ(runs_, (std::vector<Text>{"x", "", "y", ""}));
}

// Typing while a run waits in the event pump (as it does inside a request)
// starts a nested run, which completes before the waiting run goes on.
TEST_F(WindowTest, EditDuringThePumpRunsNestedFirst) {
  ShowAndWait();
  std::vector<std::string> steps;
  then_ = [this, &steps](WindowLayer& layer, const Text& text) {
    steps.push_back("start " + text.str());
    if (text == Text("a")) {
      QTimer::singleShot(0, window_.get(), [this] { QTest::keyClick(Edit(), Qt::Key_B); });
      layer.ProcessPendingEvents();
      layer.SetWindowTitle(text);  // the outer run sets the last title
    }
    steps.push_back("end " + text.str());
  };
  QTest::keyClick(Edit(), Qt::Key_A);
  EXPECT_EQ(steps, (std::vector<std::string>{"start a", "start ab", "end ab", "end a"}));
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("a"));
  EXPECT_EQ(window_->ReadEditText(), Text("ab"));
}

TEST_F(WindowTest, TitleTakesCodePageText) {
  window_->SetWindowTitle(Utf8ToText("正在下载：1/3"));
  EXPECT_EQ(window_->windowTitle(), QString::fromUtf16(u"正在下载：1/3"));
  EXPECT_TRUE(runs_.empty());
}

TEST_F(WindowTest, ProgramDirectoryIsTheTargetFolder) {
  MainWindow inFolder(nullptr, "/tmp/pictures/");
  EXPECT_EQ(inFolder.ProgramDirectory(), "/tmp/pictures");
  MainWindow inRoot(nullptr, "/");
  EXPECT_EQ(inRoot.ProgramDirectory(), "");
  // Without a target folder, the folder of this test program.
  const std::string own = QCoreApplication::applicationDirPath().toStdString();
  EXPECT_EQ(window_->ProgramDirectory(), own);
}

// The box the run shows, as the test saw it while it was up.
struct SeenBox {
  bool found = false;
  QString title, text;
  Qt::WindowModality modality = Qt::NonModal;
  QMessageBox::Icon icon = QMessageBox::Information;
  qsizetype buttons = 0;
  bool okButton = false;
  bool hasParent = true;
};

// Waits for the application's modal widget, notes what it is, calls
// whileShown and clicks OK.
void DismissModalBoxLater(SeenBox& seen, std::function<void()> whileShown) {
  auto* poll = new QTimer(QCoreApplication::instance());
  auto ticksLeft = std::make_shared<int>(1000);  // 10 s of 10 ms ticks
  QObject::connect(poll, &QTimer::timeout, [poll, ticksLeft, &seen, whileShown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      if (--*ticksLeft <= 0) poll->deleteLater();
      return;
    }
    poll->stop();
    poll->deleteLater();
    seen.found = true;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.modality = box->windowModality();
    seen.icon = box->icon();
    seen.buttons = box->buttons().size();
    seen.okButton = box->button(QMessageBox::Ok) != nullptr;
    seen.hasParent = box->parentWidget() != nullptr;
    if (whileShown) whileShown();
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
  });
  poll->start(10);
}

TEST_F(WindowTest, MessageBoxIsApplicationModalWithOneOkButton) {
  ShowAndWait();
  // A key given to the window system reaches the box while no box is up ...
  QTest::keyClick(window_->windowHandle(), Qt::Key_A);
  ASSERT_EQ(runs_, (std::vector<Text>{"a"}));

  SeenBox seen;
  std::size_t runsWhileShown = 0;
  DismissModalBoxLater(seen, [this, &runsWhileShown] {
    // ... and is held back from the main window while the box is up.
    QTest::keyClick(window_->windowHandle(), Qt::Key_B);
    runsWhileShown = runs_.size();
  });
  window_->ShowMessageBox(Utf8ToText("地址错误或软件失效"));
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.title, QString::fromUtf16(u"信息："));
  EXPECT_EQ(seen.text, QString::fromUtf16(u"地址错误或软件失效"));
  EXPECT_EQ(seen.modality, Qt::ApplicationModal);
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.buttons, 1);
  EXPECT_TRUE(seen.okButton);
  EXPECT_FALSE(seen.hasParent);
  EXPECT_EQ(runsWhileShown, 1U);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(runs_, (std::vector<Text>{"a"}));
}

TEST_F(WindowTest, ClosedWindowRefusesEveryStepOfARun) {
  ShowAndWait();
  window_->close();
  EXPECT_TRUE(window_->IsClosed());
  EXPECT_TRUE(window_->isHidden());
  EXPECT_THROW(window_->ReadEditText(), RunAborted);
  EXPECT_THROW(window_->SetWindowTitle("t"), RunAborted);
  EXPECT_THROW(window_->SetEditText(""), RunAborted);
  EXPECT_THROW(window_->ShowMessageBox("m"), RunAborted);
  EXPECT_THROW(window_->ProgramDirectory(), RunAborted);
  EXPECT_THROW(window_->WriteFileBytes("/nonexistent/never", Bytes{}), RunAborted);
  int status = -1;
  EXPECT_THROW(window_->HttpGet("http://127.0.0.1:9/", status), RunAborted);
  EXPECT_NO_THROW(window_->ProcessPendingEvents());
  EXPECT_TRUE(runs_.empty());
  EXPECT_EQ(window_->windowTitle(), QString::fromUtf16(u"by：Velkaris"));
}

// The window closed while a run waits in the event pump (as it does inside a
// request): the run stops at its next window access and the main loop ends.
TEST_F(WindowTest, ClosingDuringARunEndsTheLoop) {
  ShowAndWait();
  bool reachedAfterClose = false;
  then_ = [this, &reachedAfterClose](WindowLayer& layer, const Text&) {
    QTimer::singleShot(0, window_.get(), &QWidget::close);
    layer.ProcessPendingEvents();  // the close is dispatched here
    EXPECT_TRUE(window_->IsClosed());
    layer.SetWindowTitle("never shown");
    reachedAfterClose = true;
  };
  bool watchdogFired = false;
  QTimer::singleShot(0, window_.get(), [this] { QTest::keyClicks(Edit(), QStringLiteral("a")); });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&watchdogFired] {
    watchdogFired = true;
    QCoreApplication::exit(1);
  });
  watchdog.start(30000);
  const int status = QApplication::exec();
  EXPECT_FALSE(watchdogFired);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(runs_, (std::vector<Text>{"a"}));
  EXPECT_FALSE(reachedAfterClose);
  EXPECT_EQ(window_->windowTitle(), QString::fromUtf16(u"by：Velkaris"));
}

// A picture of the window with a pasted share text, for a look by eye.
TEST_F(WindowTest, GrabIsSavedAsPng) {
  ShowAndWait();
  {
    const QSignalBlocker quiet(Edit());
    Edit()->setPlainText(QString::fromUtf16(u"看看这篇笔记 http://xhslink.com/a/Xy12，复制本条信息"));
  }
  const QPixmap picture = window_->grab();
  EXPECT_EQ(picture.size(), window_->size() * picture.devicePixelRatio());
  const QString path = QDir(QStringLiteral(XHS_QT_TEST_OUTPUT_DIR)).filePath(QStringLiteral("window.png"));
  EXPECT_TRUE(picture.save(path, "PNG")) << path.toStdString();
}

}  // namespace
}  // namespace xhs

// --xhs-screenshot FILE [TEXT]: no tests; shows the window with TEXT pasted
// (a sample share text by default) and saves its picture to FILE: the window
// with its frame when a window manager framed it, else its client area.
static int Screenshot(const char* file, const char* utf8Text) {
  xhs::MainWindow window(nullptr);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  (void)QTest::qWaitForWindowActive(&window, 2000);  // a window manager frames it first
  auto* edit = window.findChild<QPlainTextEdit*>(QString::fromUtf16(u"编辑框1"));
  edit->insertPlainText(utf8Text ? QString::fromUtf8(utf8Text)
                                 : QString::fromUtf16(u"看看这篇笔记 http://xhslink.com/a/Xy12，复制本条信息"));
  QTest::qWait(200);
  const QRect frame = window.frameGeometry();
  const bool framed = frame.size() != window.size() && QGuiApplication::platformName() == QStringLiteral("xcb");
  const QPixmap picture = framed ? window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                                 : window.grab();
  return picture.save(QString::fromLocal8Bit(file), "PNG") ? 0 : 1;
}

int main(int argc, char** argv) {
  // Windowless unless a platform is asked for.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc >= 3 && std::strcmp(argv[1], "--xhs-screenshot") == 0) return Screenshot(argv[2], argc >= 4 ? argv[3] : nullptr);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
