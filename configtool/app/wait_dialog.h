// CWaitDialog: the small modeless window that tells the user that a station
// operation is running and offers a Cancel button. It stays on screen for a
// minimum time, so a quick operation does not just flash it: a request to
// close it during that time only disables Cancel, and the window goes when
// the time is up. The object deletes itself once its window is gone; its
// owner forgets it when it asks for the close.
#pragma once

#include <cstdint>

#include "configtool/app/dialog.h"

namespace k470 {

// Window timer of the minimum display time.
constexpr uint32_t kWaitTimerId = 0;

class CWaitDialog : public CDialog {
 public:
  // parent: the sheet (gets WM_OPERATION_CANCEL); textId: the message;
  // minimumMs: the minimum display time, 0 for none. Creates the window,
  // visible. Allocate with new: the object frees itself.
  CWaitDialog(IHost& host, CWindow* parent, uint32_t textId, uint32_t minimumMs);

  // Closes at once if allowed; otherwise disables Cancel and closes when
  // the minimum time is up. Returns true when the window is gone; the object
  // is then gone too.
  bool DestroyWindow() override;
  void EnableCancel(bool enable);
  bool IsCancelEnabled() const;
  bool IsCloseAllowed() const { return closeAllowed_; }
  bool IsTimerRunning() const { return timerRunning_; }
  const std::string& Text() const { return text_; }

  // Objects alive, for tests of the self-deletion.
  static int LiveCount();

 protected:
  ~CWaitDialog() override;
  bool OnInitDialog() override;
  void OnCancel() override;
  void OnOK() override {}
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void PostNcDestroy() override;

 private:
  void OnTimer(uint32_t timerId);

  std::string text_;
  bool closeAllowed_ = true;
  bool timerRunning_ = false;
};

}  // namespace k470
