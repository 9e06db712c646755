// The window under a run that waits: a second paste and then a close arrive
// while the first request waits on a slow server. The nested run starts in
// that request's event pump and sees the close; neither run writes, shows
// or fetches a picture after it, and the main loop ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/link_handler.h"
#include "app/qt/main_window.h"
#include "codepage/codepage.h"
#include "fake_service.h"
#include "support/raw_server.h"
#include "temp_folder.h"
#include "web/web_request.h"

namespace xhs {
namespace {

using namespace std::chrono_literals;

TEST(HostileWindow, CloseDuringANestedRunInsideASlowRequestStopsBothRuns) {
  test::FakeService service;
  service.AddNote("k1", "n1", test::NotePage({"outer"}));
  service.AddNote("k2", "n2", test::NotePage({"inner"}));
  // The outer run's short link answers after a second, with what the fake
  // service's own short link answers.
  const Text redirect = WebRequest({.url = Text(service.ShortLink("k1")), .noRedirect = true});
  ASSERT_FALSE(redirect.empty());
  test::RawServer slow([&redirect](test::RawConnection& connection) {
    connection.ReadRequest();
    std::this_thread::sleep_for(1s);
    connection.Write("HTTP/1.1 307 Temporary Redirect\r\nContent-Length: " + std::to_string(redirect.size()) +
                     "\r\n\r\n" + redirect.str());
  });

  const ServiceEndpoints endpoints = service.Endpoints();
  test::TempFolder folder;
  MainWindow window([&endpoints](WindowLayer& layer) { LinkHandler(layer, endpoints); }, folder.path());
  std::vector<std::string> titles;
  QObject::connect(&window, &QWidget::windowTitleChanged,
                   [&titles](const QString& title) { titles.push_back(title.toStdString()); });
  window.show();
  auto* edit = window.findChild<QPlainTextEdit*>(QString::fromUtf16(u"编辑框1"));
  ASSERT_NE(edit, nullptr);

  QTimer::singleShot(0, &window, [&] {
    // Both wait in the queue for the slow request's event pump: the paste
    // starts the nested run, whose own first pump then delivers the close.
    QTimer::singleShot(0, &window, [&] {
      {
        const QSignalBlocker quiet(edit);
        edit->clear();
      }
      edit->insertPlainText(QString::fromStdString(service.ShareText("k2")));
    });
    QTimer::singleShot(0, &window, &QWidget::close);
    edit->insertPlainText(QString::fromStdString(slow.Url("/s/k1")));
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  watchdog.start(60000);
  EXPECT_EQ(QApplication::exec(), 0);

  EXPECT_TRUE(window.IsClosed());
  EXPECT_EQ(slow.ConnectionCount(), 1);
  EXPECT_EQ(service.RequestsUnder("/s/k2").size(), 1u);  // the nested run did start
  EXPECT_TRUE(titles.empty());
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_TRUE(service.RequestsUnder("/img/").empty());
}

}  // namespace
}  // namespace xhs
