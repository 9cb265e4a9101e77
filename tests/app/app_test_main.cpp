// The GUI tests' main: without a display a Qt program aborts, so the
// offscreen platform is chosen before the application object exists. The
// settings file is pointed at a path that does not exist, so no test reads
// the user's settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("K470_SETTINGS", "/nonexistent/k470-app-tests/Lumora.reg", 0);
  setenv("K470_PORTS", "", 0);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
