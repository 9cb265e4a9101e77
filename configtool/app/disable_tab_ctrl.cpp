#include "configtool/app/disable_tab_ctrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "configtool/app/property_sheet.h"
#include "configtool/app/window.h"

namespace k470 {

void CDisableTabCtrl::Attach(CPropertySheet& sheet) {
  TabBarWidget* window = sheet.GetTabControl();
  if (window == nullptr) return;
  if (window->Handler() != this) Subclass(window);
  SetOwnerDraw(true);
}

bool CDisableTabCtrl::IsTabEnabled(int index, int* position) const {
  auto it = std::find(disabledTabs_.begin(), disabledTabs_.end(), static_cast<uint32_t>(index));
  if (it != disabledTabs_.end()) {
    if (position != nullptr) *position = static_cast<int>(it - disabledTabs_.begin());
    return false;
  }
  return index >= 0 && index < GetItemCount();
}

bool CDisableTabCtrl::EnableTab(int index, bool enable) {
  const int count = GetItemCount();
  if (index < 0 || index >= count) return false;
  int position = -1;
  if (IsTabEnabled(index, &position) == enable) return true;
  if (enable) {
    disabledTabs_.erase(disabledTabs_.begin() + position);
  } else {
    if (index == GetCurSel()) {
      int replacement = FindEnabled(index == count - 1 ? 0 : index + 1, true);
      if (replacement < 0 || replacement == index) return false;
      SelectTab(replacement);
    }
    disabledTabs_.push_back(static_cast<uint32_t>(index));
  }
  InvalidateItem(index);
  return true;
}

int CDisableTabCtrl::FindEnabled(int start, bool forward) const {
  const int count = GetItemCount();
  if (count <= 0) return -1;
  if (forward) {
    for (int i = start; i < count; ++i) {
      if (IsTabEnabled(i)) return i;
    }
    for (int i = 0; i < start && i < count; ++i) {
      if (IsTabEnabled(i)) return i;
    }
  } else {
    for (int i = std::min(start, count - 1); i >= 0; --i) {
      if (IsTabEnabled(i)) return i;
    }
    for (int i = count - 1; i > start; --i) {
      if (IsTabEnabled(i)) return i;
    }
  }
  return -1;
}

bool CDisableTabCtrl::AskActivePageToLeave() {
  CPropertySheet* sheet = ParentSheet();
  if (sheet == nullptr) return true;
  return sheet->SendKillActiveToActivePage();
}

void CDisableTabCtrl::SelectTab(int index) {
  if (index < 0 || index >= GetItemCount()) return;
  if (!AskActivePageToLeave()) return;
  SetCurSel(index);
  NotifySelChange();
}

int CDisableTabCtrl::SetCurSel(int index) {
  if (index < 0 || index >= GetItemCount() || IsTabEnabled(index)) return DefSetCurSel(index);
  // A disabled tab: only a step to a neighbour, or the wrap between the
  // first and the last tab, is taken as a step, and it goes on to the next
  // enabled tab in its direction.
  const int current = GetCurSel();
  const int delta = index - current;
  const int distance = std::abs(delta);
  if (distance != 1 && distance != index && distance != current) return -1;
  const bool forward = delta == 1 || delta < -1;
  const int replacement = FindEnabled(index, forward);
  if (replacement < 0) return -1;
  SetCurSel(replacement);
  return 0;
}

void CDisableTabCtrl::OnMousePress(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int index = HitTest(event->position().toPoint());
  // A click on the selected tab is no change of selection at all.
  if (index >= 0 && index == GetCurSel()) return;
  if (index < 0 || !IsTabEnabled(index)) return;
  if (!AskActivePageToLeave()) return;
  DefSetCurSel(index);
  NotifySelChange();
}

bool CDisableTabCtrl::OnKeyPress(QKeyEvent* event) {
  const int count = GetItemCount();
  int current = GetCurSel();
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      if (current <= 0) current = count;
      SelectTab(current - 1);
      return true;
    case Qt::Key_Right:
    case Qt::Key_Down:
      SelectTab(current == count - 1 ? 0 : current + 1);
      return true;
    default:
      return false;
  }
}

void CDisableTabCtrl::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) {
  if (GetWindow() == nullptr) return;
  const bool enabled = IsTabEnabled(index);
  const QString text = QStr(GetItemText(index));
  QRect area = rect;
  if (selected) {
    area.setLeft(area.left() + 7);
  } else {
    area.setLeft(area.left() + 4);
    area.setTop(area.top() + 2);
  }
  const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
  const QPalette& palette = GetWindow()->palette();
  if (enabled) {
    painter.setPen(palette.color(QPalette::Active, QPalette::ButtonText));
    painter.drawText(area, flags, text);
  } else {
    // Engraved: a light copy one pixel down and right under the grey text.
    painter.setPen(palette.color(QPalette::Active, QPalette::Light));
    painter.drawText(area.translated(1, 1), flags, text);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawText(area, flags, text);
  }
}

}  // namespace k470
