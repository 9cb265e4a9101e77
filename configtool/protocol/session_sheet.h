// What the station session and the command channel need of the main sheet.
// The Qt sheet implements it; tests use a fake. Everything is called on the
// user-interface thread.
#pragma once

#include <string>

#include "configtool/platform/host.h"
#include "configtool/platform/messages.h"

namespace k470 {

class ISessionSheet {
 public:
  // The sheet's window: target of WM_REFRESH_VIEWS and owner of the
  // session's timers. kNoTarget until the window exists.
  virtual TargetId GetSheetWindow() const = 0;

  // The busy slot.
  virtual OperationCode GetOperation() const = 0;
  virtual bool BeginOperation(OperationCode code) = 0;
  virtual void EndOperation() = 0;

  // A message box with the sheet's title as caption; the session's queue is
  // held back while it is open (SuspendQueue/ResumeQueue). Returns the button.
  virtual int ShowMessage(const std::string& text, unsigned flags) = 0;

  // The wait dialog of the running operation, if there is one.
  virtual void ShowWaitDialog(bool show) = 0;
  virtual void EnableWaitCancel(bool enable) = 0;

  // Tab 1 ("Betriebsart"); stays disabled under "noconfig".
  virtual void SetModeTabEnabled(bool enable) = 0;
  // The connection page's report-occupied flag.
  virtual void SetReportOccupied(int flag) = 0;
  // One received character for the trace pane ("v24trace").
  virtual void AppendTraceChar(char c) = 0;

  // Hides the main window and its owned pop-ups.
  virtual void HideApplication() = 0;
  // Ends the sheet's modal run with the given result.
  virtual void EndSheet(int result) = 0;

 protected:
  ~ISessionSheet() = default;
};

}  // namespace k470
