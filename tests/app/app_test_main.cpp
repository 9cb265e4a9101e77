// The GUI tests' main: without a display a Qt program aborts, so the
// offscreen platform is chosen before the application object exists. The
// settings file is one of the tests' own, so no test reads the user's; it
// switches the connection page's automatic detection off ("ComPort" not 0),
// so the sheet's tests start without a search and without its messages
// (the page's own tests cover the search).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char dir[] = "/tmp/k470-app-tests-XXXXXX";
  std::string settings = mkdtemp(dir) != nullptr ? std::string(dir) + "/Lumora.reg" : std::string();
  if (!settings.empty()) {
    std::ofstream(settings) << "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n\"ComPort\"=dword:00000001\n";
    setenv("K470_SETTINGS", settings.c_str(), 0);
  }
  setenv("K470_PORTS", "", 0);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const int result = RUN_ALL_TESTS();
  if (!settings.empty()) {
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(settings).parent_path(), error);
  }
  return result;
}
