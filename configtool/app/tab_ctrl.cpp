#include "configtool/app/tab_ctrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTab>
#include <QStylePainter>

#include "configtool/app/property_sheet.h"
#include "configtool/app/window.h"

namespace k470 {

CTabCtrl::~CTabCtrl() {
  if (window_ != nullptr && window_->Handler() == this) window_->SetHandler(nullptr);
}

int CTabCtrl::GetItemCount() const { return window_ != nullptr ? window_->count() : 0; }

int CTabCtrl::GetCurSel() const { return window_ != nullptr ? window_->currentIndex() : -1; }

int CTabCtrl::SetCurSel(int index) { return DefSetCurSel(index); }

int CTabCtrl::DefSetCurSel(int index) {
  if (window_ == nullptr || index < 0 || index >= window_->count()) return -1;
  int previous = window_->currentIndex();
  window_->setCurrentIndex(index);
  return previous;
}

std::string CTabCtrl::GetItemText(int index) const {
  if (window_ == nullptr || index < 0 || index >= window_->count()) return std::string();
  return StdStr(window_->tabText(index));
}

QRect CTabCtrl::GetItemRect(int index) const { return window_ != nullptr ? window_->tabRect(index) : QRect(); }

int CTabCtrl::HitTest(const QPoint& pos) const { return window_ != nullptr ? window_->tabAt(pos) : -1; }

void CTabCtrl::InvalidateItem(int index) {
  if (window_ != nullptr) window_->update(window_->tabRect(index));
}

void CTabCtrl::Subclass(TabBarWidget* window) {
  if (window == nullptr || window->Handler() == this) return;
  CTabCtrl* previous = window->Handler();
  if (previous != &window->defaultHandler_) previous->window_ = nullptr;
  if (window_ != nullptr && window_ != window) window_->SetHandler(nullptr);
  window->SetHandler(this);
  window_ = window;
}

void CTabCtrl::SetOwnerDraw(bool ownerDraw) {
  ownerDraw_ = ownerDraw;
  if (window_ != nullptr) window_->update();
}

CPropertySheet* CTabCtrl::ParentSheet() const { return window_ != nullptr ? window_->Sheet() : nullptr; }

void CTabCtrl::NotifySelChange() {
  if (CPropertySheet* sheet = ParentSheet()) sheet->OnTabSelChange();
}

void CTabCtrl::OnMousePress(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  int index = HitTest(event->position().toPoint());
  if (index < 0 || index == GetCurSel()) return;
  if (!OnSelChanging(index)) return;
  DefSetCurSel(index);
  NotifySelChange();
}

bool CTabCtrl::OnKeyPress(QKeyEvent* event) {
  int step = 0;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      step = -1;
      break;
    case Qt::Key_Right:
    case Qt::Key_Down:
      step = 1;
      break;
    default:
      return false;
  }
  int index = GetCurSel() + step;
  if (index >= 0 && index < GetItemCount() && OnSelChanging(index)) {
    DefSetCurSel(index);
    NotifySelChange();
  }
  return true;
}

bool CTabCtrl::OnSelChanging(int) {
  CPropertySheet* sheet = ParentSheet();
  return sheet == nullptr || sheet->SendKillActiveToActivePage();
}

void CTabCtrl::DrawItem(QPainter& painter, int index, const QRect& rect, bool) {
  if (window_ == nullptr) return;
  painter.setPen(window_->palette().color(QPalette::ButtonText));
  painter.drawText(rect, Qt::AlignCenter | Qt::TextShowMnemonic, window_->tabText(index));
}

void CTabCtrl::OnWindowDestroyed() { window_ = nullptr; }

TabBarWidget::TabBarWidget(CPropertySheet* sheet, QWidget* parent)
    : QTabBar(parent), sheet_(sheet), handler_(&defaultHandler_) {
  defaultHandler_.window_ = this;
  setDrawBase(false);
  setExpanding(false);
  setUsesScrollButtons(false);
  setFocusPolicy(Qt::TabFocus);
}

TabBarWidget::~TabBarWidget() {
  if (handler_ != &defaultHandler_) handler_->OnWindowDestroyed();
  defaultHandler_.window_ = nullptr;
}

void TabBarWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    // The sheet's context menu.
    event->ignore();
    return;
  }
  event->accept();
  handler_->OnMousePress(event);
}

void TabBarWidget::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

void TabBarWidget::keyPressEvent(QKeyEvent* event) {
  if (handler_->OnKeyPress(event)) {
    event->accept();
  } else {
    event->ignore();
  }
}

// The wheel does not page through the tabs: every change of selection must
// pass the handler's rules.
void TabBarWidget::wheelEvent(QWheelEvent* event) { event->ignore(); }

void TabBarWidget::paintEvent(QPaintEvent* event) {
  if (!handler_->IsOwnerDraw()) {
    QTabBar::paintEvent(event);
    return;
  }
  QStylePainter painter(this);
  const int current = currentIndex();
  auto drawTab = [&](int index) {
    QStyleOptionTab option;
    initStyleOption(&option, index);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_TabBarTabShape, option);
    painter.save();
    handler_->DrawItem(painter, index, option.rect, index == current);
    painter.restore();
  };
  for (int i = 0; i < count(); ++i) {
    if (i != current) drawTab(i);
  }
  // The selected tab last: its shape overlaps its neighbours.
  if (current >= 0) drawTab(current);
  if (hasFocus() && current >= 0) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = tabRect(current).adjusted(3, 3, -3, -2);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace k470
