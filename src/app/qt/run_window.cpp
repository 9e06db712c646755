#include "app/qt/run_window.h"

#include <QApplication>

#include "app/link_handler.h"
#include "app/qt/main_window.h"

namespace xhs {

int RunWindow(int& argc, char** argv, const ServiceEndpoints& service, const std::string& targetDir) {
  QApplication app(argc, argv);
  MainWindow window([&service](WindowLayer& layer) { LinkHandler(layer, service); }, targetDir);
  window.show();
  QApplication::exec();
  // Closing the window is the only way out of the loop.
  return 0;
}

}  // namespace xhs
