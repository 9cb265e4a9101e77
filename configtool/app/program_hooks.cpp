#include "configtool/app/program_hooks.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "configtool/app/config_app.h"
#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/pages/general_page.h"
#include "configtool/pages/mode_page.h"
#include "configtool/protocol/station_session.h"

namespace k470 {
namespace {

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// Written by the signal handler, read on the user-interface thread.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // Nothing but write() is safe here; a full pipe already holds a request.
  [[maybe_unused]] ssize_t written = ::write(g_signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

std::string DescribeSheet(CRadynPropSheet& sheet) {
  CGeneralPage& general = sheet.GetGeneralPage();
  CStationSession& session = sheet.GetSession();
  const std::pair<const char*, std::string> entries[] = {
      {"port", general.SelectedPortName()},
      {"port_state", general.PortStateText()},
      {"radio_state", general.RadioStateText()},
      {"data_connection", general.DataConnectionText()},
      {"partner", general.SelectedPartnerName()},
      {"product", session.GetProductName(true)},
      {"station_name", session.GetStationName(true)},
      {"mode", sheet.GetModePage().ModeText()},
      {"title", sheet.GetTitle()},
  };
  std::string text;
  for (const auto& [key, value] : entries) text += std::string(key) + "=" + OneLine(value) + "\n";
  return text;
}

bool WriteSheetSnapshot(CRadynPropSheet& sheet, const std::string& pngPath) {
  QWidget* window = sheet.Widget();
  if (window == nullptr) return false;
  const bool imageWritten = window->grab().toImage().save(QString::fromStdString(pngPath), "PNG");
  const std::string textPath = pngPath + ".txt";
  const std::string partPath = textPath + ".part";
  {
    std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
    out << DescribeSheet(sheet);
    if (!out.good()) return false;
  }
  if (std::rename(partPath.c_str(), textPath.c_str()) != 0) return false;
  return imageWritten;
}

void InstallScreenshotHook(CRadynPropSheet& sheet, const std::string& pngPath) {
  sheet.GetGeneralPage().SetAdapterShownHook(
      [pngPath](CRadynPropSheet& shown) { WriteSheetSnapshot(shown, pngPath); });
}

void CloseOnTerminationSignals(CConfigApp& app) {
  if (g_signalPipe[0] >= 0) return;
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [&app] {
    char bytes[16];
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    CRadynPropSheet* sheet = app.MainSheet();
    if (sheet != nullptr && sheet->HasWindow()) {
      sheet->PressClose();
    } else {
      app.Host().Exit(0);
    }
  });
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace k470
