// CWindow: a window object in the program's message model. The object lives
// longer than its window: the window (a Qt widget plus a host message
// target) is created when the object is shown and destroyed on request,
// while the C++ object goes on existing until its owner deletes it - or, for
// objects that free themselves, until PostNcDestroy.
//
// Messages (posted or sent through the host) reach WindowProc; Qt events of
// the widget reach OnWidgetEvent first, so a window object handles input the
// way the rest of the program handles messages.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <string>

#include "configtool/platform/host.h"
#include "configtool/platform/qt/qt_window_target.h"

namespace k470 {

// Implemented by CWindow; the forwarding widgets below call it.
class IWidgetOwner {
 public:
  // Returns true when the event was consumed.
  virtual bool OnWidgetEvent(QEvent* event) = 0;
  // Escape in a dialog, or anything else QDialog turns into reject().
  virtual void OnWidgetReject() {}

 protected:
  ~IWidgetOwner() = default;
};

// A top-level dialog window whose events go to its owner first.
class DialogWindow : public QDialog {
 public:
  DialogWindow(IWidgetOwner* owner, QWidget* parent, Qt::WindowFlags flags);
  void Detach() { owner_ = nullptr; }

 protected:
  bool event(QEvent* event) override;
  void reject() override;

 private:
  IWidgetOwner* owner_;
};

// A child window (a property page) whose events go to its owner first.
class ChildWindow : public QWidget {
 public:
  ChildWindow(IWidgetOwner* owner, QWidget* parent);
  void Detach() { owner_ = nullptr; }

 protected:
  bool event(QEvent* event) override;

 private:
  IWidgetOwner* owner_;
};

class CWindow : public IMessageTarget, public IQtWindowTarget, public IWidgetOwner {
 public:
  explicit CWindow(IHost& host);
  virtual ~CWindow();
  CWindow(const CWindow&) = delete;
  CWindow& operator=(const CWindow&) = delete;

  IHost& Host() const { return host_; }
  // The window's handle; kNoTarget while there is no window.
  TargetId GetSafeHwnd() const { return hwnd_; }
  // The handle variable itself, for objects made before the window that
  // must read the handle at each use.
  const TargetId& HwndRef() const { return hwnd_; }
  bool HasWindow() const { return hwnd_ != kNoTarget; }
  QWidget* Widget() const { return widget_; }
  QWidget* TargetWidget() const override { return widget_; }

  std::string GetWindowText() const;
  void SetWindowText(const std::string& text);
  void ShowWindow(bool show);
  bool IsWindowVisible() const;
  void EnableWindow(bool enable);

  bool PostMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
  intptr_t SendMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
  // A window timer that sends WM_TIMER to this window.
  bool SetTimer(uint32_t timerId, uint32_t periodMs);
  bool KillTimer(uint32_t timerId);

  // Destroys the window: OnDestroy, then the target goes (its posts and
  // timers with it), the widget is hidden and deleted once Qt is back in its
  // loop, and PostNcDestroy runs last. Returns true when the window is gone.
  virtual bool DestroyWindow();

  intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) final;
  bool OnWidgetEvent(QEvent* event) override;

 protected:
  // Makes widget this object's window (the object owns it from now on) and
  // registers the message target.
  void AttachWidget(QWidget* widget);
  virtual intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
  virtual void OnDestroy() {}
  // Runs after the window is gone; an object that frees itself does it here,
  // and must not be touched afterwards.
  virtual void PostNcDestroy() {}

 private:
  // The widget was deleted from outside (with its parent or owner): the
  // window is gone as if destroyed.
  void OnWidgetDestroyed();
  void DetachWidget(QWidget* widget);

  IHost& host_;
  TargetId hwnd_ = kNoTarget;
  QPointer<QWidget> widget_;
  QMetaObject::Connection destroyedConnection_;
};

// UTF-8 <-> QString.
QString QStr(const std::string& text);
std::string StdStr(const QString& text);

}  // namespace k470
