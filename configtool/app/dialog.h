// CDialog: a dialog window built from a dialog template, run modally
// (DoModal, a nested event loop) or shown modeless (Create). Buttons with
// the ids IDOK and IDCANCEL, Enter, Escape and the close box reach OnOK and
// OnCancel; every other button reaches OnCommand.
#pragma once

#include <cstdint>

#include "configtool/app/template_builder.h"
#include "configtool/app/window.h"
#include "configtool/res/dialogs.h"

namespace k470 {

class CDialog : public CWindow {
 public:
  // parent: the owner window, or null.
  CDialog(IHost& host, uint32_t templateId, CWindow* parent);
  ~CDialog() override;

  const DialogTemplate& Template() const { return *template_; }
  CWindow* Parent() const { return parent_; }

  // Builds the window, runs OnInitDialog and shows it without waiting.
  bool Create();
  // Builds the window, runs OnInitDialog and waits in a nested event loop
  // until EndDialog; the window is destroyed before it returns.
  int DoModal();
  void EndDialog(int result);
  int Result() const { return result_; }

  QWidget* GetDlgItem(uint32_t id) const;
  void SetDlgItemText(uint32_t id, const std::string& text);
  std::string GetDlgItemText(uint32_t id) const;
  void EnableDlgItem(uint32_t id, bool enable);
  bool IsDlgItemEnabled(uint32_t id) const;

 protected:
  virtual bool OnInitDialog();
  // Default: EndDialog(IDOK) / EndDialog(IDCANCEL).
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnCommand(uint32_t controlId, uint32_t code);
  // Puts the window in the middle of its owner's top-level window.
  void CenterWindow();

  bool OnWidgetEvent(QEvent* event) override;
  void OnWidgetReject() override;

 private:
  void BuildWindow();

  uint32_t templateId_;
  const DialogTemplate* template_;
  CWindow* parent_;
  ControlMap controls_;
  int result_ = 0;
  bool modal_ = false;
};

}  // namespace k470
