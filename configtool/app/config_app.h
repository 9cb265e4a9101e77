// CConfigApp: the application object. It builds the main sheet, runs it
// modally and ends when the sheet closes. Besides that it passes the serial
// reader's data notice (the thread message WM_SERIAL_RECEIVED) to the
// sheet's port and receives the Help command.
//
// There is no single-instance check and no parsing of the command line at
// start: each part looks at the switches it needs when it needs them.
#pragma once

#include <memory>

#include "configtool/platform/host.h"
#include "configtool/serial/serial_line.h"

namespace k470 {

class CRadynPropSheet;

class CConfigApp {
 public:
  // Neither reference is owned; both outlive the application object.
  CConfigApp(IHost& host, ISerialSystem& serialSystem);
  ~CConfigApp();
  CConfigApp(const CConfigApp&) = delete;
  CConfigApp& operator=(const CConfigApp&) = delete;

  // The start-up sequence: the sheet is built, run modally and destroyed.
  // Returns false: the process ends when it returns.
  bool InitInstance();

  // The steps of InitInstance on their own, so the sheet can be shown
  // without a modal loop.
  CRadynPropSheet& CreateMainSheet();
  void DestroyMainSheet();
  CRadynPropSheet* MainSheet() const { return sheet_.get(); }

  // Thread messages of the host.
  void OnThreadMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // ID_HELP. The manual launcher is not part of this program yet.
  void OnHelp();
  int HelpRequests() const { return helpRequests_; }

  IHost& Host() const { return host_; }

 private:
  IHost& host_;
  ISerialSystem& serialSystem_;
  std::unique_ptr<CRadynPropSheet> sheet_;
  int helpRequests_ = 0;
};

}  // namespace k470
