#include "configtool/app/property_page.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <stdexcept>

#include "configtool/app/property_sheet.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {

// Turns a widget's loss of focus into a callback (EN_KILLFOCUS).
class FocusOutFilter : public QObject {
 public:
  FocusOutFilter(QObject* parent, std::function<void()> onFocusOut)
      : QObject(parent), onFocusOut_(std::move(onFocusOut)) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusOut) onFocusOut_();
    return false;
  }

 private:
  std::function<void()> onFocusOut_;
};

}  // namespace

CPropertyPage::CPropertyPage(IHost& host, uint32_t templateId, uint32_t captionId)
    : CWindow(host), templateId_(templateId), template_(FindDialogTemplate(templateId)), captionId_(captionId) {
  if (template_ == nullptr) throw std::logic_error("property page without a dialog template");
}

CPropertyPage::~CPropertyPage() = default;

std::string CPropertyPage::Caption() const {
  if (captionId_ != 0) return LoadString(captionId_);
  return template_->caption;
}

bool CPropertyPage::Create(QWidget* parent, const QRect& rect) {
  if (HasWindow()) return true;
  auto* widget = new ChildWindow(this, parent);
  widget->setAutoFillBackground(false);
  QSize size = BuildTemplate(*template_, widget, controls_,
                             [this](const ControlTemplate& c, QWidget* p) { return CreateControl(c, p); });
  widget->setGeometry(QRect(rect.topLeft(), rect.isEmpty() ? size : rect.size()));
  widget->hide();
  AttachWidget(widget);
  WireNotifications();
  return OnInitDialog();
}

void CPropertyPage::OnDestroy() { controls_.clear(); }

QWidget* CPropertyPage::CreateControl(const ControlTemplate&, QWidget*) { return nullptr; }

void CPropertyPage::WireNotifications() {
  for (const ControlTemplate& c : template_->controls) {
    QWidget* widget = GetDlgItem(c.id);
    if (widget == nullptr) continue;
    const uint32_t id = c.id;
    switch (c.kind) {
      case ControlKind::PushButton:
      case ControlKind::DefPushButton:
      case ControlKind::CheckBox:
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
          QObject::connect(button, &QAbstractButton::clicked, widget, [this, id] { Notify(id, BN_CLICKED); });
        }
        break;
      case ControlKind::ComboBox:
        // activated: only the user's choices, as the window system reports
        // selection changes of a combo box.
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
          QObject::connect(combo, &QComboBox::activated, widget, [this, id] { Notify(id, CBN_SELCHANGE); });
        }
        break;
      case ControlKind::Edit:
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
          // Like the window system, also for text the program sets.
          QObject::connect(edit, &QLineEdit::textChanged, widget, [this, id] {
            Notify(id, EN_UPDATE);
            Notify(id, EN_CHANGE);
          });
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
          QObject::connect(text, &QPlainTextEdit::textChanged, widget, [this, id] {
            Notify(id, EN_UPDATE);
            Notify(id, EN_CHANGE);
          });
        }
        widget->installEventFilter(new FocusOutFilter(widget, [this, id] { Notify(id, EN_KILLFOCUS); }));
        break;
      case ControlKind::ListBox:
        if ((c.style & CTL_NOTIFY) == 0) break;
        if (auto* list = qobject_cast<QListWidget*>(widget)) {
          // Only changes the user makes: the list has the focus then.
          QObject::connect(list, &QListWidget::currentRowChanged, widget, [this, id, list] {
            if (list->hasFocus()) Notify(id, LBN_SELCHANGE);
          });
        }
        break;
      default:
        break;
    }
  }
}

void CPropertyPage::Notify(uint32_t controlId, uint32_t code) {
  if (notifyHold_ > 0 || !HasWindow()) return;
  Host().Send(GetSafeHwnd(), WM_COMMAND, MakeWParam(controlId, code), 0);
}

bool CPropertyPage::PostCommand(uint32_t controlId, uint32_t code) {
  return PostMessage(WM_COMMAND, MakeWParam(controlId, code), static_cast<intptr_t>(GetSafeHwnd()));
}

QWidget* CPropertyPage::GetDlgItem(uint32_t id) const {
  auto it = controls_.find(id);
  return it != controls_.end() ? it->second : nullptr;
}

void CPropertyPage::SetDlgItemText(uint32_t id, const std::string& text) {
  QWidget* widget = GetDlgItem(id);
  const QString value = QStr(text);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(value);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(value);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(value);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
    plain->setPlainText(value);
  } else if (widget != nullptr) {
    widget->setWindowTitle(value);
  }
}

std::string CPropertyPage::GetDlgItemText(uint32_t id) const {
  QWidget* widget = GetDlgItem(id);
  if (auto* label = qobject_cast<QLabel*>(widget)) return StdStr(label->text());
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return StdStr(group->title());
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return StdStr(button->text());
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return StdStr(edit->text());
  if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return StdStr(plain->toPlainText());
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return StdStr(combo->currentText());
  return widget != nullptr ? StdStr(widget->windowTitle()) : std::string();
}

void CPropertyPage::EnableDlgItem(uint32_t id, bool enable) {
  if (QWidget* widget = GetDlgItem(id)) widget->setEnabled(enable);
}

bool CPropertyPage::IsDlgItemEnabled(uint32_t id) const {
  QWidget* widget = GetDlgItem(id);
  return widget != nullptr && widget->isEnabled();
}

void CPropertyPage::ShowDlgItem(uint32_t id, bool show) {
  if (QWidget* widget = GetDlgItem(id)) widget->setVisible(show);
}

bool CPropertyPage::IsDlgItemVisible(uint32_t id) const {
  QWidget* widget = GetDlgItem(id);
  return widget != nullptr && !widget->isHidden();
}

void CPropertyPage::CheckDlgButton(uint32_t id, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id))) button->setChecked(checked);
}

bool CPropertyPage::IsDlgButtonChecked(uint32_t id) const {
  auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  return button != nullptr && button->isChecked();
}

void CPropertyPage::SetModified(bool changed) {
  changed_ = changed;
  if (sheet_ != nullptr) sheet_->PageChanged(this, changed);
}

int CPropertyPage::IsModified() const { return changed_ ? 1 : 0; }

void CPropertyPage::SetModifiedFlag(int flag) { SetModified(flag != 0); }

bool CPropertyPage::OnSetActive() { return true; }
bool CPropertyPage::OnKillActive() { return true; }
bool CPropertyPage::OnApply() { return true; }
bool CPropertyPage::OnQueryCancel() { return true; }
bool CPropertyPage::OnInitDialog() { return true; }
intptr_t CPropertyPage::OnRefreshViews(uintptr_t, intptr_t) { return 0; }
intptr_t CPropertyPage::OnOperationDone(uintptr_t, intptr_t) { return 0; }
bool CPropertyPage::OnCommand(uint32_t, uint32_t, intptr_t) { return false; }
void CPropertyPage::OnTimer(uint32_t) {}

intptr_t CPropertyPage::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_REFRESH_VIEWS:
      return OnRefreshViews(wParam, lParam);
    case WM_OPERATION_DONE:
      return OnOperationDone(wParam, lParam);
    case WM_COMMAND:
      OnCommand(LowWord(wParam), HighWord(wParam), lParam);
      return 0;
    case WM_TIMER:
      OnTimer(static_cast<uint32_t>(wParam));
      return 0;
    default:
      return 0;
  }
}

}  // namespace k470
