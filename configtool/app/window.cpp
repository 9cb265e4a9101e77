#include "configtool/app/window.h"

#include <QEvent>

#include "configtool/platform/messages.h"

namespace k470 {

QString QStr(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
std::string StdStr(const QString& text) { return text.toUtf8().toStdString(); }

DialogWindow::DialogWindow(IWidgetOwner* owner, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), owner_(owner) {}

bool DialogWindow::event(QEvent* event) {
  if (owner_ != nullptr && owner_->OnWidgetEvent(event)) return true;
  return QDialog::event(event);
}

void DialogWindow::reject() {
  if (owner_ != nullptr) owner_->OnWidgetReject();
}

ChildWindow::ChildWindow(IWidgetOwner* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

bool ChildWindow::event(QEvent* event) {
  if (owner_ != nullptr && owner_->OnWidgetEvent(event)) return true;
  return QWidget::event(event);
}

CWindow::CWindow(IHost& host) : host_(host) {}

CWindow::~CWindow() {
  if (hwnd_ != kNoTarget) {
    host_.UnregisterTarget(hwnd_);
    hwnd_ = kNoTarget;
  }
  if (widget_) {
    QWidget* widget = widget_.data();
    DetachWidget(widget);
    delete widget;
  }
}

void CWindow::AttachWidget(QWidget* widget) {
  widget_ = widget;
  hwnd_ = host_.RegisterTarget(this);
  destroyedConnection_ = QObject::connect(widget, &QObject::destroyed, [this] { OnWidgetDestroyed(); });
}

void CWindow::DetachWidget(QWidget* widget) {
  QObject::disconnect(destroyedConnection_);
  widget_ = nullptr;
  if (auto* dialog = dynamic_cast<DialogWindow*>(widget)) dialog->Detach();
  if (auto* child = dynamic_cast<ChildWindow*>(widget)) child->Detach();
}

void CWindow::OnWidgetDestroyed() {
  QObject::disconnect(destroyedConnection_);
  // The widget is half gone already; nothing may touch it again.
  widget_ = nullptr;
  if (hwnd_ == kNoTarget) return;
  OnDestroy();
  host_.UnregisterTarget(hwnd_);
  hwnd_ = kNoTarget;
  PostNcDestroy();
}

bool CWindow::DestroyWindow() {
  if (hwnd_ == kNoTarget && !widget_) return false;
  OnDestroy();
  if (hwnd_ != kNoTarget) {
    host_.UnregisterTarget(hwnd_);
    hwnd_ = kNoTarget;
  }
  if (widget_) {
    QWidget* widget = widget_.data();
    DetachWidget(widget);
    widget->hide();
    // The request may come from inside one of the widget's own handlers.
    widget->deleteLater();
  }
  PostNcDestroy();
  return true;
}

std::string CWindow::GetWindowText() const { return widget_ ? StdStr(widget_->windowTitle()) : std::string(); }

void CWindow::SetWindowText(const std::string& text) {
  if (widget_) widget_->setWindowTitle(QStr(text));
}

void CWindow::ShowWindow(bool show) {
  if (widget_) widget_->setVisible(show);
}

bool CWindow::IsWindowVisible() const { return widget_ && widget_->isVisible(); }

void CWindow::EnableWindow(bool enable) {
  if (widget_) widget_->setEnabled(enable);
}

bool CWindow::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return host_.Post(hwnd_, message, wParam, lParam);
}

intptr_t CWindow::SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return host_.Send(hwnd_, message, wParam, lParam);
}

bool CWindow::SetTimer(uint32_t timerId, uint32_t periodMs) { return host_.SetTimer(hwnd_, timerId, periodMs); }

bool CWindow::KillTimer(uint32_t timerId) { return host_.KillTimer(hwnd_, timerId); }

intptr_t CWindow::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return WindowProc(message, wParam, lParam);
}

intptr_t CWindow::WindowProc(uint32_t, uintptr_t, intptr_t) { return 0; }

bool CWindow::OnWidgetEvent(QEvent*) { return false; }

}  // namespace k470
