// K470prop: configures a DECT radio data adapter on a serial port.
//
// Environment (besides the ones of the port list and the settings file):
//   K470_EXIT_WHEN_SHOWN=1  ends the program right after the main window was
//                           first painted (start-up measurements).
//   K470_SCREENSHOT=<png>   writes a PNG of the sheet and <png>.txt with what
//                           the pages show, once the adapter has been found
//                           and read (see program_hooks.h).
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "configtool/app/config_app.h"
#include "configtool/app/program_hooks.h"
#include "configtool/app/program_icons.h"
#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/platform/qt/qt_host.h"
#include "configtool/serial/posix_serial.h"

namespace {

// Ends the process once the sheet has been painted the first time.
class ExitWhenShown : public QObject {
 public:
  explicit ExitWhenShown(k470::IHost& host) : host_(host) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !armed_) {
      armed_ = true;
      // After this paint has finished.
      QTimer::singleShot(0, [this] { host_.Exit(0); });
    }
    return false;
  }

 private:
  k470::IHost& host_;
  bool armed_ = false;
};

bool ExitWhenShownRequested() {
  const char* value = std::getenv("K470_EXIT_WHEN_SHOWN");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The sheet decides when the program ends, not the last window closing.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(k470::ProgramIcon());

  std::vector<std::string> arguments(argv, argv + argc);
  k470::QtHost host(arguments);
  k470::PosixSerialSystem serialSystem;
  k470::CConfigApp app(host, serialSystem);

  if (ExitWhenShownRequested()) {
    k470::CRadynPropSheet& sheet = app.CreateMainSheet();
    auto* watcher = new ExitWhenShown(host);
    sheet.Create();
    sheet.Widget()->installEventFilter(watcher);
    sheet.DoModal();
    app.DestroyMainSheet();
    return 0;
  }
  k470::CloseOnTerminationSignals(app);
  if (const char* screenshot = std::getenv("K470_SCREENSHOT"); screenshot != nullptr && *screenshot != '\0') {
    // The hook needs the sheet before it runs: InitInstance's steps, one
    // by one.
    k470::CRadynPropSheet& sheet = app.CreateMainSheet();
    k470::InstallScreenshotHook(sheet, screenshot);
    sheet.DoModal();
    app.DestroyMainSheet();
    return 0;
  }
  app.InitInstance();
  return 0;
}
