// CPropertyPage: the base of the sheet's pages. A page object exists from
// the sheet's construction on; its window (the controls of its dialog
// template) is made the first time the page is shown, and only then does
// the page get messages: posts to a page without a window are dropped.
//
// What a page sees, as on the property sheets the program was designed for:
// - OnInitDialog once, when the window and its controls exist;
// - OnSetActive when it is shown, OnKillActive when it is about to be left
//   (false keeps it on screen), OnApply when the sheet applies (false:
//   refused), OnQueryCancel when the sheet is cancelled (false: refused);
// - messages of the host in WindowProc: WM_REFRESH_VIEWS, WM_OPERATION_DONE,
//   WM_TIMER and WM_COMMAND, the latter also for the notifications of its
//   controls (BN_CLICKED, CBN_SELCHANGE, LBN_SELCHANGE, EN_UPDATE, EN_CHANGE,
//   EN_KILLFOCUS), which are sent at once, like the window system sends
//   them. A page that wants its own notification to run after the current
//   handler has returned posts it (PostCommand).
// - SetModified reports unapplied changes to the sheet, which enables its
//   Apply button while any page has some.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

#include "configtool/app/template_builder.h"
#include "configtool/app/window.h"
#include "configtool/platform/messages.h"
#include "configtool/res/dialogs.h"

namespace k470 {

class CPropertySheet;

// List box notification: the selection changed (sent only for user input).
constexpr uint32_t LBN_SELCHANGE = 1;

class CPropertyPage : public CWindow {
 public:
  // captionId: string-table id of the tab caption; 0 takes the template's.
  CPropertyPage(IHost& host, uint32_t templateId, uint32_t captionId = 0);
  ~CPropertyPage() override;

  uint32_t TemplateId() const { return templateId_; }
  const DialogTemplate& Template() const { return *template_; }
  uint32_t CaptionId() const { return captionId_; }
  std::string Caption() const;
  // The sheet the page was added to, or null.
  CPropertySheet* Sheet() const { return sheet_; }

  // Makes the window inside parent at rect and runs OnInitDialog. Called by
  // the sheet the first time the page is shown.
  bool Create(QWidget* parent, const QRect& rect);

  // ---- controls ----
  QWidget* GetDlgItem(uint32_t id) const;
  template <class T>
  T* GetDlgItemAs(uint32_t id) const {
    return qobject_cast<T*>(GetDlgItem(id));
  }
  // Static, group box, button, check box and edit texts; UTF-8.
  void SetDlgItemText(uint32_t id, const std::string& text);
  std::string GetDlgItemText(uint32_t id) const;
  void EnableDlgItem(uint32_t id, bool enable);
  bool IsDlgItemEnabled(uint32_t id) const;
  void ShowDlgItem(uint32_t id, bool show);
  bool IsDlgItemVisible(uint32_t id) const;
  void CheckDlgButton(uint32_t id, bool checked);
  bool IsDlgButtonChecked(uint32_t id) const;

  // Holds back the notifications of the page's controls while it lives, so
  // that filling the controls from the page's data never looks like input.
  // Nests.
  class NotifyGuard {
   public:
    explicit NotifyGuard(CPropertyPage& page) : page_(page) { ++page_.notifyHold_; }
    ~NotifyGuard() { --page_.notifyHold_; }
    NotifyGuard(const NotifyGuard&) = delete;
    NotifyGuard& operator=(const NotifyGuard&) = delete;

   private:
    CPropertyPage& page_;
  };
  bool NotificationsHeld() const { return notifyHold_ > 0; }

  // ---- unapplied changes ----
  // The sheet's view (enables its Apply button).
  void SetModified(bool changed = true);
  bool IsPageChanged() const { return changed_; }
  // The page's own flag, read and cleared by the sheet when it asks the
  // user whether to drop unapplied edits. By default the sheet's view.
  virtual int IsModified() const;
  virtual void SetModifiedFlag(int flag);

  // ---- notifications from the sheet ----
  virtual bool OnSetActive();
  virtual bool OnKillActive();
  virtual bool OnApply();
  virtual bool OnQueryCancel();

  // Posts WM_COMMAND (controlId, code) with this page's window in lParam;
  // it runs after the current handler has returned.
  bool PostCommand(uint32_t controlId, uint32_t code);

 protected:
  friend class CPropertySheet;
  void SetSheet(CPropertySheet* sheet) { sheet_ = sheet; }

  // The controls exist. Returns the initialisation's result.
  virtual bool OnInitDialog();
  virtual intptr_t OnRefreshViews(uintptr_t wParam, intptr_t lParam);
  virtual intptr_t OnOperationDone(uintptr_t wParam, intptr_t lParam);
  // Returns true when handled.
  virtual bool OnCommand(uint32_t controlId, uint32_t code, intptr_t lParam);
  virtual void OnTimer(uint32_t timerId);
  // Dispatches the messages above; other messages give 0.
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  // A widget for a control in place of the standard one (null: standard).
  virtual QWidget* CreateControl(const ControlTemplate& control, QWidget* parent);
  void OnDestroy() override;

 private:
  void WireNotifications();
  void Notify(uint32_t controlId, uint32_t code);

  uint32_t templateId_;
  const DialogTemplate* template_;
  uint32_t captionId_;
  CPropertySheet* sheet_ = nullptr;
  ControlMap controls_;
  bool changed_ = false;
  int notifyHold_ = 0;
};

}  // namespace k470
