// CRadynBaseSheet: the part of the main window that owns the long-lived
// objects and runs the program's rules around them.
//
// - Ownership: the serial port, the command channel and the station session,
//   made in that order when the sheet is constructed and deleted in reverse.
//   The channel gets a reference to the sheet's window handle, which exists
//   only once the window does.
// - The busy slot: one user operation at a time; a second one is refused
//   with the default beep.
// - ShowMessage: every message box of the program, captioned with the
//   sheet's title; the session sends nothing while it is open.
// - Shutdown: OK, Cancel and the close box arm a watchdog (timer 20, 2000 ms)
//   that ends the process with exit code 0 unless the window is destroyed
//   first, so the program always ends even if the adapter never answers.
//   When the adapter is in its configuration state the sheet first asks it
//   to leave that state and ends the run on the answer (WM_OPERATION_DONE).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "configtool/app/property_sheet.h"
#include "configtool/platform/messages.h"
#include "configtool/protocol/at_channel.h"
#include "configtool/protocol/session_sheet.h"
#include "configtool/protocol/station_session.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/serial_line.h"

namespace k470 {

class CWaitDialog;

// The window-menu command of the About box.
constexpr uint32_t IDM_ABOUTBOX = 0x10;
// The close watchdog.
constexpr uint32_t kWatchdogTimerId = 20;
constexpr uint32_t kWatchdogMs = 2000;
// How long Cancel and the close box wait after dropping the queued commands.
constexpr uint32_t kCancelSettleMs = 1000;

class CRadynBaseSheet : public CPropertySheet, public ISessionSheet {
 public:
  // captionId: the caption text, with %s for the product name.
  CRadynBaseSheet(IHost& host, ISerialSystem& serialSystem, uint32_t captionId, CWindow* parent, int firstPage);
  ~CRadynBaseSheet() override;

  CComPort& GetPort() { return *port_; }
  CAtChannel& GetChannel() { return *channel_; }
  CStationSession& GetSession() { return *session_; }
  CWaitDialog* GetWaitDialog() const { return waitDialog_; }
  uint32_t CaptionId() const { return captionId_; }

  // ---- ISessionSheet ----
  TargetId GetSheetWindow() const override { return GetSafeHwnd(); }
  OperationCode GetOperation() const override { return operation_; }
  bool BeginOperation(OperationCode code) override;
  void EndOperation() override;
  int ShowMessage(const std::string& text, unsigned flags) override;
  void ShowWaitDialog(bool show) override;
  void EnableWaitCancel(bool enable) override;
  void SetModeTabEnabled(bool enable) override;
  void SetReportOccupied(int flag) override;
  void AppendTraceChar(char c) override;
  void HideApplication() override;
  void EndSheet(int result) override { EndDialog(result); }

  int ShowMessageId(uint32_t stringId, unsigned flags);
  // True when the shutdown has to wait for the station to leave its
  // configuration state (the request is then on its way).
  virtual bool LeaveConfigIfNeeded();

  // The reader's notice, passed on by the application: data are waiting.
  void OnSerialReceived();
  // Receives the Help command (Hilfe, F1).
  void SetHelpHandler(std::function<void()> handler) { helpHandler_ = std::move(handler); }

 protected:
  virtual void InitTitles() = 0;
  bool OnInitDialog() override;
  // The close box and the window manager's close request.
  void OnClose() override;
  void OnSysCommand(uint32_t id) override;
  void OnHelp() override;
  void OnActivate() override;
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  virtual intptr_t OnRefreshViews(uintptr_t flags, intptr_t lParam);
  intptr_t OnOperationDone(uintptr_t wParam, intptr_t lParam);
  void OnDestroy() override;

  // Arms the close watchdog (again: it starts afresh).
  void ArmWatchdog();
  // Ends the shutdown that waited for the station: the port is closed with
  // reset and the modal run ends with the remembered result.
  void FinishClose();
  // Opens the wait dialog of an operation (owned by the sheet, frees itself).
  void OpenWaitDialog(uint32_t textId, bool cancelEnabled);

  // The result the modal run ends with once the station has left its
  // configuration state.
  int closeResult_ = 0;

 private:
  void CreateMembers(ISerialSystem& serialSystem);

  uint32_t captionId_;
  OperationCode operation_ = OP_IDLE;
  CWaitDialog* waitDialog_ = nullptr;
  std::unique_ptr<CComPort> port_;
  std::unique_ptr<CAtChannel> channel_;
  std::unique_ptr<CStationSession> session_;
  std::function<void()> helpHandler_;
};

}  // namespace k470
