// The page tests' main: without a display a Qt program aborts, so the
// offscreen platform is chosen before the application object exists. Every
// test gets its own settings file (the fixture); none reads the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("K470_SETTINGS", "/nonexistent/k470-pages-tests/Lumora.reg", 1);
  setenv("K470_PORTS", "", 0);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
