#include "configtool/app/wait_dialog.h"

#include <QLabel>

#include "configtool/app/program_icons.h"
#include "configtool/platform/messages.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {
int g_liveWaitDialogs = 0;
}  // namespace

int CWaitDialog::LiveCount() { return g_liveWaitDialogs; }

CWaitDialog::CWaitDialog(IHost& host, CWindow* parent, uint32_t textId, uint32_t minimumMs)
    : CDialog(host, IDD_WAIT, parent), text_(LoadString(textId)) {
  ++g_liveWaitDialogs;
  Create();
  if (minimumMs != 0) timerRunning_ = SetTimer(kWaitTimerId, minimumMs);
  closeAllowed_ = !timerRunning_;
}

CWaitDialog::~CWaitDialog() { --g_liveWaitDialogs; }

bool CWaitDialog::OnInitDialog() {
  SetDlgItemText(IDC_WAIT_TEXT, text_);
  if (Parent() != nullptr) {
    QWidget* top = Parent()->Widget() != nullptr ? Parent()->Widget()->window() : nullptr;
    if (top != nullptr) Widget()->setWindowTitle(top->windowTitle());
  }
  if (auto* icon = qobject_cast<QLabel*>(GetDlgItem(IDC_WAIT_ICON))) icon->setPixmap(InformationIconPixmap());
  CenterWindow();
  return true;
}

bool CWaitDialog::DestroyWindow() {
  if (closeAllowed_) return CDialog::DestroyWindow();
  EnableCancel(false);
  closeAllowed_ = true;
  return false;
}

void CWaitDialog::EnableCancel(bool enable) { EnableDlgItem(IDC_CANCEL, enable); }

bool CWaitDialog::IsCancelEnabled() const { return IsDlgItemEnabled(IDC_CANCEL); }

void CWaitDialog::OnCancel() {
  // Escape and the close request come here too; once Cancel is disabled
  // they must not cancel again.
  if (!IsCancelEnabled()) return;
  if (Parent() != nullptr) Host().Post(Parent()->GetSafeHwnd(), WM_OPERATION_CANCEL, 0, 0);
  EnableCancel(false);
}

intptr_t CWaitDialog::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == WM_TIMER) {
    OnTimer(static_cast<uint32_t>(wParam));
    return 0;
  }
  return CDialog::WindowProc(message, wParam, lParam);
}

void CWaitDialog::OnTimer(uint32_t timerId) {
  if (timerId != kWaitTimerId || !timerRunning_) return;
  KillTimer(kWaitTimerId);
  timerRunning_ = false;
  if (closeAllowed_) {
    // Gone, object included: nothing may follow.
    CDialog::DestroyWindow();
    return;
  }
  closeAllowed_ = true;
}

void CWaitDialog::PostNcDestroy() { delete this; }

}  // namespace k470
