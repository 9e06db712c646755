// The window with its real run (LinkHandler) against the in-process fake of
// the note service: a pasted share text saves the note's pictures, typing
// during a request runs first, and closing during a request stops the run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <set>
#include <string>
#include <vector>

#include "app/link_handler.h"
#include "app/qt/main_window.h"
#include "codepage/codepage.h"
#include "fake_service.h"
#include "temp_folder.h"

namespace xhs {
namespace {

class WindowRunTest : public ::testing::Test {
 protected:
  WindowRunTest()
      : endpoints_(service_.Endpoints()),
        window_([this](WindowLayer& layer) { LinkHandler(layer, endpoints_); }, folder_.path()) {
    QObject::connect(&window_, &QWidget::windowTitleChanged,
                     [this](const QString& title) { titles_.push_back(title.toStdString()); });
    window_.show();
  }

  QPlainTextEdit* Edit() { return window_.findChild<QPlainTextEdit*>(QString::fromUtf16(u"编辑框1")); }
  void Paste(const std::string& utf8) { Edit()->insertPlainText(QString::fromStdString(utf8)); }

  // Runs the main loop until the window closes, or for at most 30 s.
  int RunLoopUntilClosed() {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    watchdog.start(30000);
    return QApplication::exec();
  }

  test::FakeService service_;
  ServiceEndpoints endpoints_;
  test::TempFolder folder_;
  MainWindow window_;
  std::vector<std::string> titles_;
};

TEST_F(WindowRunTest, PastedShareTextSavesThePictures) {
  service_.AddNote("k1", "n1", test::NotePage({"pic-a", "pic-b"}));
  Paste(service_.ShareText("k1"));
  EXPECT_EQ(titles_, (std::vector<std::string>{"开始下载：0/2", "正在下载：1/2", "正在下载：2/2", "下载完成"}));
  EXPECT_EQ(folder_.Names(), (std::set<std::string>{"pic-a.jpg", "pic-b.jpg"}));
  EXPECT_EQ(test::ReadFile(folder_ / "pic-a.jpg"), test::FakeService::PictureBytes("pic-a"));
  EXPECT_EQ(test::ReadFile(folder_ / "pic-b.jpg"), test::FakeService::PictureBytes("pic-b"));
  EXPECT_TRUE(Edit()->toPlainText().isEmpty());
  EXPECT_EQ(window_.windowTitle(), QString::fromUtf16(u"下载完成"));
}

TEST_F(WindowRunTest, TypingDuringARequestRunsFirst) {
  service_.AddNote("k1", "n1", test::NotePage({"outer"}));
  service_.AddNote("k2", "n2", test::NotePage({"inner"}));
  // Dispatched by the first request's event pump: the box then holds the
  // second share text, whose run completes before the first goes on.
  QTimer::singleShot(0, &window_, [this] {
    const QSignalBlocker quiet(Edit());
    Edit()->clear();
  });
  QTimer::singleShot(0, &window_, [this] { Paste(service_.ShareText("k2")); });
  Paste(service_.ShareText("k1"));
  EXPECT_EQ(folder_.Names(), (std::set<std::string>{"outer.jpg", "inner.jpg"}));
  EXPECT_EQ(titles_, (std::vector<std::string>{"开始下载：0/1", "正在下载：1/1", "下载完成", "开始下载：0/1",
                                               "正在下载：1/1", "下载完成"}));
  EXPECT_TRUE(Edit()->toPlainText().isEmpty());
}

TEST_F(WindowRunTest, ClosingDuringARequestStopsTheRunAndTheLoop) {
  service_.AddNote("k1", "n1", test::NotePage({"never"}));
  QTimer::singleShot(0, &window_, [this] {
    // The close waits in the queue for the first request's event pump.
    QTimer::singleShot(0, &window_, &QWidget::close);
    Paste(service_.ShareText("k1"));
  });
  EXPECT_EQ(RunLoopUntilClosed(), 0);
  EXPECT_TRUE(window_.IsClosed());
  EXPECT_TRUE(folder_.Names().empty());
  EXPECT_TRUE(titles_.empty());
  EXPECT_TRUE(service_.RequestsUnder("/img/").empty());
}

}  // namespace
}  // namespace xhs
