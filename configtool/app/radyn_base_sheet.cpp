#include "configtool/app/radyn_base_sheet.h"

#include <QApplication>
#include <QWidget>

#include "configtool/app/about_dialog.h"
#include "configtool/app/program_icons.h"
#include "configtool/app/wait_dialog.h"
#include "configtool/platform/text.h"
#include "configtool/res/string_table.h"

namespace k470 {

CRadynBaseSheet::CRadynBaseSheet(IHost& host, ISerialSystem& serialSystem, uint32_t captionId, CWindow* parent,
                                 int firstPage)
    : CPropertySheet(host, LoadString(captionId), parent, firstPage), captionId_(captionId) {
  CreateMembers(serialSystem);
}

void CRadynBaseSheet::CreateMembers(ISerialSystem& serialSystem) {
  operation_ = OP_IDLE;
  waitDialog_ = nullptr;
  port_ = std::make_unique<CComPort>(Host(), serialSystem);
  channel_ = std::make_unique<CAtChannel>(Host(), HwndRef(), port_.get());
  session_ = std::make_unique<CStationSession>(Host(), *this, *channel_, *port_);
}

CRadynBaseSheet::~CRadynBaseSheet() {
  // The window first: the session's timers live on it, and the pages'
  // windows must go while the session still exists.
  if (HasWindow()) DestroyWindow();
  session_.reset();
  channel_.reset();
  port_.reset();
}

bool CRadynBaseSheet::OnInitDialog() {
  const bool result = CPropertySheet::OnInitDialog();
  const std::string aboutItem = LoadString(IDS_SHEET_ABOUT_ITEM);
  if (!aboutItem.empty()) AppendSystemMenuItem(IDM_ABOUTBOX, aboutItem, QKeySequence(Qt::CTRL | Qt::Key_I));
  if (QWidget* window = Widget()) window->setWindowIcon(ProgramIcon());
  InitTitles();
  return result;
}

// ---- the busy slot --------------------------------------------------------------

bool CRadynBaseSheet::BeginOperation(OperationCode code) {
  if (operation_ != OP_IDLE) {
    Host().Beep(BEEP_DEFAULT);
    return false;
  }
  operation_ = code;
  return true;
}

void CRadynBaseSheet::EndOperation() {
  operation_ = OP_IDLE;
  if (waitDialog_ != nullptr) {
    // Forget it first: it may stay for its minimum time and then frees itself.
    CWaitDialog* dialog = waitDialog_;
    waitDialog_ = nullptr;
    dialog->DestroyWindow();
  }
}

void CRadynBaseSheet::OpenWaitDialog(uint32_t textId, bool cancelEnabled) {
  if (waitDialog_ != nullptr) {
    CWaitDialog* old = waitDialog_;
    waitDialog_ = nullptr;
    old->CWindow::DestroyWindow();
  }
  waitDialog_ = new CWaitDialog(Host(), this, textId, 3000);
  if (!cancelEnabled) waitDialog_->EnableCancel(false);
}

void CRadynBaseSheet::ShowWaitDialog(bool show) {
  if (waitDialog_ != nullptr) waitDialog_->ShowWindow(show);
}

void CRadynBaseSheet::EnableWaitCancel(bool enable) {
  if (waitDialog_ != nullptr) waitDialog_->EnableCancel(enable);
}

// ---- messages ---------------------------------------------------------------------

int CRadynBaseSheet::ShowMessage(const std::string& text, unsigned flags) {
  const std::string caption = GetTitle();
  session_->SuspendQueue(false);
  const int answer = Host().MessageBox(GetSafeHwnd(), text, caption, flags);
  session_->ResumeQueue();
  return answer;
}

int CRadynBaseSheet::ShowMessageId(uint32_t stringId, unsigned flags) {
  return ShowMessage(LoadString(stringId), flags);
}

void CRadynBaseSheet::SetModeTabEnabled(bool) {}
void CRadynBaseSheet::SetReportOccupied(int) {}
// The trace pane is not part of the base sheet.
void CRadynBaseSheet::AppendTraceChar(char) {}

void CRadynBaseSheet::HideApplication() {
  QWidget* window = Widget();
  if (window == nullptr) return;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top != window && top->parentWidget() == window) top->hide();
  }
  window->hide();
}

void CRadynBaseSheet::OnSerialReceived() { port_->DeliverReceived(); }

// ---- shutdown ----------------------------------------------------------------------

void CRadynBaseSheet::ArmWatchdog() {
  IHost& host = Host();
  const TargetId window = GetSafeHwnd();
  host.SetTimer(window, kWatchdogTimerId, kWatchdogMs, [&host, window](uint32_t id) {
    host.KillTimer(window, id);
    host.Exit(0);
  });
}

bool CRadynBaseSheet::LeaveConfigIfNeeded() {
  if (port_->GetState() != LINK_CONFIG) return false;
  session_->LeaveConfiguration(GetSafeHwnd());
  return true;
}

void CRadynBaseSheet::OnClose() {
  ArmWatchdog();
  if (!BeginOperation(OP_CLOSE)) {
    EndOperation();
    return;
  }
  session_->ClearQueue();
  Host().Sleep(kCancelSettleMs);
  if (LeaveConfigIfNeeded()) {
    closeResult_ = IDCANCEL;
    return;
  }
  EndOperation();
  EndDialog(IDCANCEL);
}

void CRadynBaseSheet::FinishClose() {
  port_->Close(true);
  EndDialog(closeResult_);
}

intptr_t CRadynBaseSheet::OnOperationDone(uintptr_t wParam, intptr_t) {
  if (operation_ != OP_CLOSE) return 1;
  if (wParam != 0) {
    FinishClose();
  } else {
    const std::string text =
        Format(LoadString(IDS_SHEET_LEAVE_FAILED).c_str(), session_->GetProductName(true).c_str(),
               port_->GetCurrentPort().c_str()) +
        " " + LoadString(IDS_SHEET_QUIT_ANYWAY);
    if (ShowMessage(text, MB_YESNO | MB_ICONWARNING) == IDYES) {
      FinishClose();
    } else {
      session_->StartDetection();
    }
  }
  EndOperation();
  return 1;
}

intptr_t CRadynBaseSheet::OnRefreshViews(uintptr_t, intptr_t) { return 1; }

intptr_t CRadynBaseSheet::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_REFRESH_VIEWS:
      return OnRefreshViews(wParam, lParam);
    case WM_OPERATION_DONE:
      return OnOperationDone(wParam, lParam);
    case WM_OPERATION_CANCEL:
      session_->CancelOperation();
      return 0;
    default:
      return CPropertySheet::WindowProc(message, wParam, lParam);
  }
}

// ---- window --------------------------------------------------------------------------

void CRadynBaseSheet::OnSysCommand(uint32_t id) {
  if (id == IDM_ABOUTBOX) {
    CAboutDialog about(Host(), this, session_->GetProductName(true));
    about.DoModal();
    return;
  }
  CPropertySheet::OnSysCommand(id);
}

void CRadynBaseSheet::OnHelp() {
  if (helpHandler_) helpHandler_();
}

void CRadynBaseSheet::OnActivate() {
  // While an operation shows its wait dialog, that dialog keeps the focus;
  // the user is told so by the beep. A hidden one (behind a failure
  // message) is left alone.
  if (waitDialog_ != nullptr && waitDialog_->IsWindowVisible()) {
    QWidget* dialog = waitDialog_->Widget();
    dialog->raise();
    dialog->activateWindow();
    Host().Beep(BEEP_DEFAULT);
  }
}

void CRadynBaseSheet::OnDestroy() {
  if (waitDialog_ != nullptr) {
    // Owned pop-ups go with their owner, minimum time or not.
    CWaitDialog* dialog = waitDialog_;
    waitDialog_ = nullptr;
    dialog->CWindow::DestroyWindow();
  }
  CPropertySheet::OnDestroy();
}

}  // namespace k470
