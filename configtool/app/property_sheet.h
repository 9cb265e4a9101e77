// CPropertySheet: a window with a row of tabs, one page per tab, and the
// buttons OK, Abbrechen, Übernehmen and Hilfe - the property sheet the
// program's main window is built on.
//
// The sheet does not own its pages. Pages get their windows when first
// shown; the first page is made inside the sheet's own initialisation.
// Enter presses OK, Escape Abbrechen, the close box and the window manager's
// close request go to OnClose, Ctrl+Tab and Ctrl+Shift+Tab (and
// Ctrl+PageDown/PageUp) change pages through the tab control's rules.
//
// Modal run: DoModal creates the window and runs a local event loop until
// EndDialog; Create alone shows the sheet without a loop, so tests can drive
// it and read the result of EndDialog.
#pragma once

#include <QKeySequence>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "configtool/app/tab_ctrl.h"
#include "configtool/app/window.h"

class QEventLoop;
class QMenu;
class QPushButton;

namespace k470 {

class CPropertyPage;

// Command ids of the sheet's buttons and of the Help command.
constexpr uint32_t ID_APPLY_NOW = 0x3021;
constexpr uint32_t IDHELP = 9;
constexpr uint32_t ID_HELP = 57670;

class CPropertySheet : public CWindow {
 public:
  // caption: the window title; parent: the owner, or null; firstPage: the
  // page shown first.
  CPropertySheet(IHost& host, std::string caption, CWindow* parent = nullptr, int firstPage = 0);
  ~CPropertySheet() override;

  // ---- pages ----
  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const;
  int GetPageIndex(const CPropertyPage* page) const;
  CPropertyPage* GetActivePage() const { return GetPage(activeIndex_); }
  int GetActiveIndex() const { return activeIndex_; }
  // Asks the active page to let go, selects the tab (through the tab
  // control's rules) and shows the page of the tab then selected.
  bool SetActivePage(int index);

  // ---- window ----
  // Creates and shows the window; OnInitDialog runs before it is shown.
  bool Create();
  // Create, then a local event loop until EndDialog; the window is destroyed
  // before it returns. Returns the result given to EndDialog.
  int DoModal();
  // Ends the modal run with result and hides the window.
  void EndDialog(int result);
  bool IsModalEnded() const { return ended_; }
  int ModalResult() const { return result_; }
  void SetTitle(const std::string& title);
  std::string GetTitle() const;

  // ---- for the tab control and the pages ----
  // The sheet's own tab control window; null without a window.
  TabBarWidget* GetTabControl() const { return tabBar_; }
  // True when the active page agrees to be left (or there is none).
  bool SendKillActiveToActivePage();
  // The tab control's selection changed: show that tab's page.
  void OnTabSelChange();
  // A page's unapplied-changes state; the Apply button follows.
  void PageChanged(CPropertyPage* page, bool changed);
  bool IsApplyEnabled() const;
  // IDOK, IDCANCEL, ID_APPLY_NOW or IDHELP; null without a window.
  QPushButton* GetButton(uint32_t id) const;

  // ---- the window menu's stand-in ----
  // Linux window managers give programs no entries in the window menu, so
  // items meant for it live in the sheet's context menu and get a keyboard
  // shortcut; both send OnSysCommand(id). Call before Create or in
  // OnInitDialog.
  void AppendSystemMenuItem(uint32_t id, const std::string& text, const QKeySequence& shortcut);
  struct SystemMenuItem {
    uint32_t id;
    std::string text;
    QKeySequence shortcut;
  };
  const std::vector<SystemMenuItem>& SystemMenuItems() const { return systemMenu_; }
  // The context menu as it would pop up (the caller owns it).
  QMenu* BuildContextMenu();
  // Sends a system command as the window menu or its shortcut would.
  void SendSysCommand(uint32_t id) { OnSysCommand(id); }

  // ---- buttons, as the user presses them ----
  void PressOk() { OnOK(); }
  void PressCancel() { OnCancel(); }
  void PressApply() { OnApplyNow(); }
  void PressHelp() { OnHelp(); }
  // The close box.
  void PressClose() { OnClose(); }

  // The window's size for the largest page, in pixels.
  QSize PageAreaSize() const;

 protected:
  // Shows the first page; returns the initialisation's result.
  virtual bool OnInitDialog();
  // Default: apply every page, then EndDialog(IDOK).
  virtual void OnOK();
  // Default: ask every page, then EndDialog(IDCANCEL).
  virtual void OnCancel();
  // The close box; default: OnCancel.
  virtual void OnClose();
  virtual void OnApplyNow();
  // Hilfe and F1; default: nothing.
  virtual void OnHelp();
  virtual void OnSysCommand(uint32_t id);
  // The sheet's window became the active window.
  virtual void OnActivate();
  // Asks the active page to let go, then applies every page that has a
  // window, in tab order; stops at the first refusal (and shows that page).
  bool ApplyPages();
  // Asks every page that has a window whether it agrees to cancel.
  bool QueryCancelPages();
  // Shows the page of index, creating its window the first time.
  void ActivatePage(int index);

  bool OnWidgetEvent(QEvent* event) override;
  void OnWidgetReject() override;
  void OnDestroy() override;

 private:
  void BuildWindow();
  void ChangePage(int step);
  void OrderFocusChain(CPropertyPage* page);

  std::string caption_;
  CWindow* parent_;
  int firstPage_;
  std::vector<CPropertyPage*> pages_;
  int activeIndex_ = -1;
  std::set<const CPropertyPage*> changedPages_;
  std::vector<SystemMenuItem> systemMenu_;

  TabBarWidget* tabBar_ = nullptr;
  QWidget* pageArea_ = nullptr;
  QRect pageRect_;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QPushButton* applyButton_ = nullptr;
  QPushButton* helpButton_ = nullptr;

  bool ended_ = false;
  int result_ = 0;
  QEventLoop* loop_ = nullptr;
};

}  // namespace k470
