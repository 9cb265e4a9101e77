// The sheet's tab control, in two halves:
// - TabBarWidget is the control's window (a QTabBar). It owns the tabs and
//   the current selection, and passes every click, key and paint to its
//   handler object instead of acting on them itself.
// - CTabCtrl is the handler with the ordinary behaviour: a click or an
//   arrow key asks the sheet whether the active page may be left, then
//   selects the tab and tells the sheet, which shows that page. A class
//   derived from CTabCtrl can take over a sheet's existing tab control
//   (Subclass) and replace any part of this, as the tab control with
//   disabled tabs does.
// Selecting a tab by program (SetCurSel) changes only the tab, not the page,
// until the sheet is told (NotifySelChange).
#pragma once

#include <QTabBar>
#include <string>

class QKeyEvent;
class QMouseEvent;
class QPainter;

namespace k470 {

class CPropertySheet;
class TabBarWidget;

class CTabCtrl {
 public:
  CTabCtrl() = default;
  virtual ~CTabCtrl();
  CTabCtrl(const CTabCtrl&) = delete;
  CTabCtrl& operator=(const CTabCtrl&) = delete;

  // The window this object handles, or null.
  TabBarWidget* GetWindow() const { return window_; }
  int GetItemCount() const;
  // -1 when nothing is selected (or there is no window).
  int GetCurSel() const;
  // The selection request every part of the program goes through. Returns
  // the previous selection, or -1 when refused.
  virtual int SetCurSel(int index);
  std::string GetItemText(int index) const;
  QRect GetItemRect(int index) const;
  // The tab at a point in the control's coordinates, or -1.
  int HitTest(const QPoint& pos) const;
  // Redraws one tab.
  void InvalidateItem(int index);
  bool IsOwnerDraw() const { return ownerDraw_; }

 protected:
  friend class TabBarWidget;
  // Becomes the handler of window (the previous handler lets go of it).
  void Subclass(TabBarWidget* window);
  void SetOwnerDraw(bool ownerDraw);
  // The selection change as the control itself makes it: no questions.
  int DefSetCurSel(int index);
  // The sheet the control belongs to, or null.
  CPropertySheet* ParentSheet() const;
  // Tells the sheet that the selection changed (it shows the page).
  void NotifySelChange();

  // The window's input, forwarded.
  virtual void OnMousePress(QMouseEvent* event);
  // Returns true when the key was consumed.
  virtual bool OnKeyPress(QKeyEvent* event);
  // Whether a change of selection by the user may happen; by default the
  // sheet asks its active page.
  virtual bool OnSelChanging(int newIndex);
  // Draws one tab's contents in owner-draw mode; the tab's frame is drawn.
  virtual void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected);
  // The window is going away.
  virtual void OnWindowDestroyed();

 private:
  TabBarWidget* window_ = nullptr;
  bool ownerDraw_ = false;
};

class TabBarWidget : public QTabBar {
 public:
  TabBarWidget(CPropertySheet* sheet, QWidget* parent);
  ~TabBarWidget() override;

  CPropertySheet* Sheet() const { return sheet_; }
  CTabCtrl* Handler() const { return handler_; }
  // The selection request, through the handler.
  int SetCurSel(int index) { return handler_->SetCurSel(index); }

 protected:
  friend class CTabCtrl;
  void SetHandler(CTabCtrl* handler) { handler_ = handler != nullptr ? handler : &defaultHandler_; }

  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  CPropertySheet* sheet_;
  CTabCtrl defaultHandler_;
  CTabCtrl* handler_;
};

}  // namespace k470
