#include "configtool/app/dialog.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <stdexcept>

#include "configtool/platform/messages.h"

namespace k470 {

CDialog::CDialog(IHost& host, uint32_t templateId, CWindow* parent)
    : CWindow(host), templateId_(templateId), template_(FindDialogTemplate(templateId)), parent_(parent) {
  if (template_ == nullptr) throw std::logic_error("dialog without a dialog template");
}

CDialog::~CDialog() = default;

void CDialog::BuildWindow() {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (template_->kind == DialogKind::PopupSysMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  QWidget* owner = parent_ != nullptr ? parent_->Widget() : nullptr;
  auto* window = new DialogWindow(this, owner, flags);
  window->setWindowTitle(QString::fromUtf8(template_->caption));
  const QSize size = BuildTemplate(*template_, window, controls_);
  window->setFixedSize(size);
  for (const ControlTemplate& c : template_->controls) {
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(c.id));
    if (button == nullptr || c.kind == ControlKind::CheckBox) continue;
    const uint32_t id = c.id;
    QObject::connect(button, &QAbstractButton::clicked, window, [this, id] {
      if (id == IDC_OK) {
        OnOK();
      } else if (id == IDC_CANCEL) {
        OnCancel();
      } else {
        OnCommand(id, BN_CLICKED);
      }
    });
  }
  AttachWidget(window);
}

bool CDialog::Create() {
  if (HasWindow()) return true;
  modal_ = false;
  BuildWindow();
  const bool result = OnInitDialog();
  if (QWidget* window = Widget()) window->show();
  return result;
}

int CDialog::DoModal() {
  if (HasWindow()) return -1;
  modal_ = true;
  BuildWindow();
  OnInitDialog();
  auto* window = static_cast<QDialog*>(Widget());
  result_ = IDCANCEL;
  window->exec();
  DestroyWindow();
  return result_;
}

void CDialog::EndDialog(int result) {
  result_ = result;
  auto* window = static_cast<QDialog*>(Widget());
  if (window == nullptr) return;
  if (modal_) {
    window->done(result);
  } else {
    window->hide();
  }
}

QWidget* CDialog::GetDlgItem(uint32_t id) const {
  auto it = controls_.find(id);
  return it != controls_.end() ? it->second : nullptr;
}

void CDialog::SetDlgItemText(uint32_t id, const std::string& text) {
  QWidget* widget = GetDlgItem(id);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(QStr(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(QStr(text));
  }
}

std::string CDialog::GetDlgItemText(uint32_t id) const {
  QWidget* widget = GetDlgItem(id);
  if (auto* label = qobject_cast<QLabel*>(widget)) return StdStr(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return StdStr(button->text());
  return std::string();
}

void CDialog::EnableDlgItem(uint32_t id, bool enable) {
  if (QWidget* widget = GetDlgItem(id)) widget->setEnabled(enable);
}

bool CDialog::IsDlgItemEnabled(uint32_t id) const {
  QWidget* widget = GetDlgItem(id);
  return widget != nullptr && widget->isEnabled();
}

bool CDialog::OnInitDialog() { return true; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }
void CDialog::OnCommand(uint32_t, uint32_t) {}

void CDialog::CenterWindow() {
  QWidget* window = Widget();
  if (window == nullptr) return;
  QRect area;
  if (parent_ != nullptr && parent_->Widget() != nullptr) {
    area = parent_->Widget()->window()->frameGeometry();
  } else if (QScreen* screen = window->screen()) {
    area = screen->availableGeometry();
  }
  if (area.isEmpty()) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(area.center());
  window->move(frame.topLeft());
}

bool CDialog::OnWidgetEvent(QEvent* event) {
  if (event->type() == QEvent::Close) {
    // The close box (or Alt+F4) is Cancel, as in a dialog on the window
    // system the templates come from.
    event->ignore();
    OnCancel();
    return true;
  }
  return false;
}

void CDialog::OnWidgetReject() { OnCancel(); }

}  // namespace k470
