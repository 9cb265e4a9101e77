// CDisableTabCtrl: the sheet's tab control with tabs that can be disabled.
// A disabled tab is drawn engraved in grey and cannot be selected in any
// way - by a click, by the arrow keys (which wrap round and skip it) or by
// a selection request of the program, which is redirected to the next
// enabled tab in the direction of the step. The active page can still veto
// being left.
#pragma once

#include <cstdint>
#include <vector>

#include "configtool/app/tab_ctrl.h"

namespace k470 {

class CDisableTabCtrl : public CTabCtrl {
 public:
  // Takes over the sheet's tab control (unless it already has) and draws
  // its tabs itself from now on.
  void Attach(CPropertySheet& sheet);

  // A tab is enabled when it exists and is not in the disabled list; when it
  // is in the list, *position gets its place there.
  bool IsTabEnabled(int index, int* position = nullptr) const;
  // Returns true when the tab has the requested state afterwards. The
  // selected tab can only be disabled when another tab can take over.
  bool EnableTab(int index, bool enable);
  // The first enabled tab from start on, wrapping round; -1 when none.
  int FindEnabled(int start, bool forward) const;
  // Selects a tab for the user: the active page is asked first, a disabled
  // index is redirected, and the sheet is told.
  void SelectTab(int index);
  // True when the active page agrees to be left.
  bool AskActivePageToLeave();

  const std::vector<uint32_t>& DisabledTabs() const { return disabledTabs_; }

  int SetCurSel(int index) override;

 protected:
  void OnMousePress(QMouseEvent* event) override;
  bool OnKeyPress(QKeyEvent* event) override;
  void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) override;

 private:
  // In the order the tabs were disabled; no duplicates.
  std::vector<uint32_t> disabledTabs_;
};

}  // namespace k470
