#include "configtool/app/config_app.h"

#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/platform/messages.h"

namespace k470 {

CConfigApp::CConfigApp(IHost& host, ISerialSystem& serialSystem) : host_(host), serialSystem_(serialSystem) {
  host_.SetThreadMessageHandler(
      [this](uint32_t message, uintptr_t wParam, intptr_t lParam) { OnThreadMessage(message, wParam, lParam); });
}

CConfigApp::~CConfigApp() {
  host_.SetThreadMessageHandler({});
  DestroyMainSheet();
}

CRadynPropSheet& CConfigApp::CreateMainSheet() {
  // Caption "Eigenschaften des %s", no parent, the connection page first;
  // the sheet makes the port, the channel, the session and the pages.
  sheet_ = std::make_unique<CRadynPropSheet>(host_, serialSystem_, nullptr, 0);
  sheet_->SetHelpHandler([this] { OnHelp(); });
  return *sheet_;
}

void CConfigApp::DestroyMainSheet() { sheet_.reset(); }

bool CConfigApp::InitInstance() {
  CreateMainSheet().DoModal();
  DestroyMainSheet();
  return false;
}

void CConfigApp::OnThreadMessage(uint32_t message, uintptr_t, intptr_t) {
  // A notice that arrives after the sheet has gone finds nothing to drain.
  if (message == WM_SERIAL_RECEIVED && sheet_) sheet_->OnSerialReceived();
}

void CConfigApp::OnHelp() { ++helpRequests_; }

}  // namespace k470
