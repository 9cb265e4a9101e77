#include "configtool/app/property_sheet.h"

#include <QContextMenuEvent>
#include <QEventLoop>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <algorithm>

#include "configtool/app/property_page.h"
#include "configtool/app/template_builder.h"
#include "configtool/platform/messages.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {

// The frame the pages sit in, drawn as the style draws a tab widget's pane.
class PageFrame : public QWidget {
 public:
  PageFrame(QWidget* parent, TabBarWidget* tabs) : QWidget(parent), tabs_(tabs) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.rect = rect();
    option.shape = QTabBar::RoundedNorth;
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    if (tabs_ != nullptr) {
      option.tabBarSize = tabs_->size();
      option.tabBarRect = QRect(tabs_->geometry().topLeft() - geometry().topLeft(), tabs_->size());
      option.selectedTabRect = tabs_->tabRect(tabs_->currentIndex()).translated(option.tabBarRect.topLeft());
    }
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, option);
  }

 private:
  TabBarWidget* tabs_;
};

// Margins and the page's inset in the frame.
constexpr int kMarginDlu = 4;
constexpr int kButtonWidthDlu = 50;
constexpr int kButtonHeightDlu = 14;
constexpr int kButtonGapDlu = 4;
constexpr int kPageInsetPixels = 3;

}  // namespace

CPropertySheet::CPropertySheet(IHost& host, std::string caption, CWindow* parent, int firstPage)
    : CWindow(host), caption_(std::move(caption)), parent_(parent), firstPage_(firstPage) {}

CPropertySheet::~CPropertySheet() {
  if (HasWindow()) DestroyWindow();
}

void CPropertySheet::AddPage(CPropertyPage* page) {
  pages_.push_back(page);
  page->SetSheet(this);
  if (tabBar_ != nullptr) tabBar_->addTab(QStr(page->Caption()));
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
  if (index < 0 || index >= GetPageCount()) return nullptr;
  return pages_[static_cast<size_t>(index)];
}

int CPropertySheet::GetPageIndex(const CPropertyPage* page) const {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  return it != pages_.end() ? static_cast<int>(it - pages_.begin()) : -1;
}

QSize CPropertySheet::PageAreaSize() const {
  QSize size(0, 0);
  for (const CPropertyPage* page : pages_) size = size.expandedTo(TemplatePixelSize(page->Template()));
  return size;
}

void CPropertySheet::BuildWindow() {
  QWidget* owner = parent_ != nullptr ? parent_->Widget() : nullptr;
  auto* window = new DialogWindow(this, owner,
                                  Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  window->setWindowTitle(QStr(caption_));
  const QFont font = TemplateFont("MS Sans Serif", 8);
  window->setFont(font);
  const DialogUnits units = BaseUnitsOf(font);
  const int marginX = units.X(kMarginDlu);
  const int marginY = units.Y(kMarginDlu);

  tabBar_ = new TabBarWidget(this, window);
  for (CPropertyPage* page : pages_) tabBar_->addTab(QStr(page->Caption()));
  const int tabHeight = tabBar_->sizeHint().height();
  const int overlap = window->style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, tabBar_);

  const QSize pages = PageAreaSize();
  const int frameTop = marginY + tabHeight - overlap;
  const QSize frameSize(pages.width() + 2 * kPageInsetPixels, pages.height() + 2 * kPageInsetPixels);
  pageArea_ = new PageFrame(window, tabBar_);
  pageArea_->setGeometry(QRect(QPoint(marginX, frameTop), frameSize));
  pageRect_ = QRect(QPoint(kPageInsetPixels, kPageInsetPixels), pages);
  tabBar_->setGeometry(marginX + 2, marginY, std::min(tabBar_->sizeHint().width(), frameSize.width() - 4),
                       tabHeight);
  tabBar_->raise();

  const int buttonWidth = units.X(kButtonWidthDlu);
  const int buttonHeight = units.Y(kButtonHeightDlu);
  const int gap = units.X(kButtonGapDlu);
  const int buttonTop = frameTop + frameSize.height() + units.Y(kMarginDlu + 3);
  const int width = 2 * marginX + frameSize.width();
  auto makeButton = [&](uint32_t textId, int slotFromRight) {
    auto* button = new QPushButton(QStr(LoadString(textId)), window);
    int right = width - marginX - slotFromRight * (buttonWidth + gap);
    button->setGeometry(right - buttonWidth, buttonTop, buttonWidth, buttonHeight);
    return button;
  };
  okButton_ = makeButton(IDS_SHEET_OK, 3);
  cancelButton_ = makeButton(IDS_SHEET_CANCEL, 2);
  applyButton_ = makeButton(IDS_SHEET_APPLY, 1);
  helpButton_ = makeButton(IDS_SHEET_HELP, 0);
  okButton_->setDefault(true);
  applyButton_->setEnabled(!changedPages_.empty());
  QObject::connect(okButton_, &QPushButton::clicked, window, [this] { OnOK(); });
  QObject::connect(cancelButton_, &QPushButton::clicked, window, [this] { OnCancel(); });
  QObject::connect(applyButton_, &QPushButton::clicked, window, [this] { OnApplyNow(); });
  QObject::connect(helpButton_, &QPushButton::clicked, window, [this] { OnHelp(); });

  window->setFixedSize(width, buttonTop + buttonHeight + units.Y(kMarginDlu + 3));

  auto addShortcut = [window](const QKeySequence& keys, std::function<void()> action) {
    auto* shortcut = new QShortcut(keys, window);
    QObject::connect(shortcut, &QShortcut::activated, window, std::move(action));
  };
  addShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { ChangePage(1); });
  addShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), [this] { ChangePage(1); });
  addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [this] { ChangePage(-1); });
  addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), [this] { ChangePage(-1); });
  addShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backtab), [this] { ChangePage(-1); });
  addShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), [this] { ChangePage(-1); });
  addShortcut(QKeySequence(Qt::Key_F1), [this] { OnHelp(); });
  for (const SystemMenuItem& item : systemMenu_) {
    if (item.shortcut.isEmpty()) continue;
    uint32_t id = item.id;
    addShortcut(item.shortcut, [this, id] { OnSysCommand(id); });
  }

  AttachWidget(window);
}

bool CPropertySheet::Create() {
  if (HasWindow()) return true;
  ended_ = false;
  BuildWindow();
  const bool result = OnInitDialog();
  if (QWidget* window = Widget()) window->show();
  return result;
}

int CPropertySheet::DoModal() {
  if (!HasWindow()) Create();
  if (!ended_) {
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
  }
  DestroyWindow();
  return result_;
}

void CPropertySheet::EndDialog(int result) {
  ended_ = true;
  result_ = result;
  if (QWidget* window = Widget()) window->hide();
  if (loop_ != nullptr) loop_->quit();
}

void CPropertySheet::SetTitle(const std::string& title) {
  caption_ = title;
  SetWindowText(title);
}

std::string CPropertySheet::GetTitle() const { return HasWindow() ? GetWindowText() : caption_; }

bool CPropertySheet::OnInitDialog() {
  int first = (firstPage_ >= 0 && firstPage_ < GetPageCount()) ? firstPage_ : 0;
  if (tabBar_ != nullptr && GetPageCount() > 0) tabBar_->setCurrentIndex(first);
  ActivatePage(first);
  return true;
}

void CPropertySheet::ActivatePage(int index) {
  CPropertyPage* page = GetPage(index);
  if (page == nullptr || pageArea_ == nullptr) return;
  if (!page->HasWindow()) {
    page->Create(pageArea_, pageRect_);
    OrderFocusChain(page);
  }
  CPropertyPage* previous = GetActivePage();
  activeIndex_ = index;
  page->OnSetActive();
  if (previous != nullptr && previous != page) previous->ShowWindow(false);
  page->ShowWindow(true);
}

void CPropertySheet::OrderFocusChain(CPropertyPage* page) {
  // Tab walks the tab row, the page's controls in template order, then the
  // buttons - not the buttons first because the page was made after them.
  QWidget* previous = tabBar_;
  for (const ControlTemplate& c : page->Template().controls) {
    QWidget* control = page->GetDlgItem(c.id);
    if (control == nullptr || control->focusPolicy() == Qt::NoFocus) continue;
    QWidget::setTabOrder(previous, control);
    previous = control;
  }
  for (QPushButton* button : {okButton_, cancelButton_, applyButton_, helpButton_}) {
    QWidget::setTabOrder(previous, button);
    previous = button;
  }
}

bool CPropertySheet::SendKillActiveToActivePage() {
  CPropertyPage* page = GetActivePage();
  if (page == nullptr || !page->HasWindow()) return true;
  return page->OnKillActive();
}

void CPropertySheet::OnTabSelChange() {
  if (tabBar_ != nullptr) ActivatePage(tabBar_->currentIndex());
}

bool CPropertySheet::SetActivePage(int index) {
  if (GetPage(index) == nullptr || tabBar_ == nullptr) return false;
  if (!SendKillActiveToActivePage()) return false;
  tabBar_->SetCurSel(index);
  OnTabSelChange();
  return true;
}

void CPropertySheet::ChangePage(int step) {
  const int count = GetPageCount();
  if (tabBar_ == nullptr || count < 2) return;
  const int current = std::max(tabBar_->currentIndex(), 0);
  SetActivePage((current + step + count) % count);
}

void CPropertySheet::PageChanged(CPropertyPage* page, bool changed) {
  if (changed) {
    changedPages_.insert(page);
  } else {
    changedPages_.erase(page);
  }
  if (applyButton_ != nullptr) applyButton_->setEnabled(!changedPages_.empty());
}

bool CPropertySheet::IsApplyEnabled() const { return !changedPages_.empty(); }

QPushButton* CPropertySheet::GetButton(uint32_t id) const {
  switch (id) {
    case IDOK:
      return okButton_;
    case IDCANCEL:
      return cancelButton_;
    case ID_APPLY_NOW:
      return applyButton_;
    case IDHELP:
      return helpButton_;
    default:
      return nullptr;
  }
}

bool CPropertySheet::ApplyPages() {
  if (!SendKillActiveToActivePage()) return false;
  for (CPropertyPage* page : pages_) {
    // A page that was never shown has nothing to apply.
    if (!page->HasWindow()) continue;
    if (!page->OnApply()) return false;
  }
  for (CPropertyPage* page : pages_) page->changed_ = false;
  changedPages_.clear();
  if (applyButton_ != nullptr) applyButton_->setEnabled(false);
  return true;
}

bool CPropertySheet::QueryCancelPages() {
  for (CPropertyPage* page : pages_) {
    if (page->HasWindow() && !page->OnQueryCancel()) return false;
  }
  return true;
}

void CPropertySheet::OnOK() {
  if (ApplyPages()) EndDialog(IDOK);
}

void CPropertySheet::OnCancel() {
  if (QueryCancelPages()) EndDialog(IDCANCEL);
}

void CPropertySheet::OnClose() { OnCancel(); }

void CPropertySheet::OnApplyNow() { ApplyPages(); }

void CPropertySheet::OnHelp() {}

void CPropertySheet::OnSysCommand(uint32_t) {}

void CPropertySheet::OnActivate() {}

void CPropertySheet::AppendSystemMenuItem(uint32_t id, const std::string& text, const QKeySequence& shortcut) {
  systemMenu_.push_back({id, text, shortcut});
  if (QWidget* window = Widget(); window != nullptr && !shortcut.isEmpty()) {
    auto* keys = new QShortcut(shortcut, window);
    QObject::connect(keys, &QShortcut::activated, window, [this, id] { OnSysCommand(id); });
  }
}

QMenu* CPropertySheet::BuildContextMenu() {
  auto* menu = new QMenu(Widget());
  for (const SystemMenuItem& item : systemMenu_) {
    QAction* action = menu->addAction(QStr(item.text));
    action->setShortcut(item.shortcut);
    action->setShortcutContext(Qt::WidgetShortcut);
    uint32_t id = item.id;
    QObject::connect(action, &QAction::triggered, menu, [this, id] { OnSysCommand(id); });
  }
  return menu;
}

bool CPropertySheet::OnWidgetEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::Close:
      // The close box: the sheet decides whether and when it goes.
      event->ignore();
      OnClose();
      return true;
    case QEvent::WindowActivate:
      OnActivate();
      return false;
    case QEvent::WindowStateChange:
      // Maximising keeps the normal size and place.
      if (QWidget* window = Widget(); window != nullptr && (window->windowState() & Qt::WindowMaximized)) {
        window->setWindowState(window->windowState() & ~Qt::WindowMaximized);
      }
      return false;
    case QEvent::ContextMenu: {
      if (systemMenu_.empty()) return false;
      auto* menuEvent = static_cast<QContextMenuEvent*>(event);
      QMenu* menu = BuildContextMenu();
      menu->exec(menuEvent->globalPos());
      delete menu;
      return true;
    }
    default:
      return false;
  }
}

void CPropertySheet::OnWidgetReject() { OnCancel(); }

void CPropertySheet::OnDestroy() {
  // Child windows go before their parent, as on the window system.
  for (CPropertyPage* page : pages_) {
    if (page->HasWindow()) page->DestroyWindow();
  }
  activeIndex_ = -1;
  tabBar_ = nullptr;
  pageArea_ = nullptr;
  okButton_ = cancelButton_ = applyButton_ = helpButton_ = nullptr;
}

}  // namespace k470
