#include "configtool/app/template_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTreeWidget>
#include <QWidget>
#include <cstring>

#include "configtool/app/program_icons.h"

namespace k470 {
namespace {

int MulDiv(int value, int numerator, int denominator) {
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

QString FromUtf8(const char* text) { return QString::fromUtf8(text); }

// A check box with its text on the left and the box at the right edge, as
// the templates' left-text check boxes are drawn.
class LeftTextCheckBox : public QCheckBox {
 public:
  LeftTextCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const int boxWidth = style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this);
    const int boxHeight = style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this);
    QStyleOptionButton box = option;
    box.rect = QRect(width() - boxWidth, (height() - boxHeight) / 2, boxWidth, boxHeight);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);
    QStyleOptionButton label = option;
    label.rect = QRect(0, 0, width() - boxWidth - 4, height());
    painter.drawControl(QStyle::CE_CheckBoxLabel, label);
    if (hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      QFontMetrics metrics(font());
      QRect text = metrics.boundingRect(label.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                                        option.text);
      focus.rect = text.adjusted(-1, 0, 1, 0);
      painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
  }
  // The whole control is the button, text included.
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

bool TakesFocus(ControlKind kind) {
  switch (kind) {
    case ControlKind::GroupBox:
    case ControlKind::Static:
    case ControlKind::Icon:
    case ControlKind::ProgressBar:
      return false;
    default:
      return true;
  }
}

QWidget* MakeStandardControl(const ControlTemplate& c, QWidget* parent, const DialogUnits& units) {
  const QString text = FromUtf8(c.text);
  switch (c.kind) {
    case ControlKind::GroupBox: {
      auto* box = new QGroupBox(text, parent);
      box->setFocusPolicy(Qt::NoFocus);
      return box;
    }
    case ControlKind::Static: {
      auto* label = new QLabel(parent);
      // Plain text always: statics show station names that come from the
      // adapter, which must never be taken for markup.
      label->setTextFormat(Qt::PlainText);
      label->setText(text);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap((c.style & CTL_NOWRAP) == 0);
      return label;
    }
    case ControlKind::Icon: {
      auto* label = new QLabel(parent);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new QPushButton(text, parent);
      if (c.kind == ControlKind::DefPushButton) button->setDefault(true);
      return button;
    }
    case ControlKind::CheckBox:
      if ((c.style & CTL_LEFTTEXT) != 0) return new LeftTextCheckBox(text, parent);
      return new QCheckBox(text, parent);
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(false);
      return combo;
    }
    case ControlKind::Edit: {
      if ((c.style & CTL_MULTILINE) != 0) {
        auto* edit = new QPlainTextEdit(parent);
        if ((c.style & CTL_BORDER) == 0) edit->setFrameShape(QFrame::NoFrame);
        return edit;
      }
      auto* edit = new QLineEdit(parent);
      edit->setFrame((c.style & CTL_BORDER) != 0);
      return edit;
    }
    case ControlKind::ListBox: {
      auto* list = new QListWidget(parent);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      return list;
    }
    case ControlKind::ListView: {
      auto* view = new QTreeWidget(parent);
      view->setRootIsDecorated(false);
      view->setUniformRowHeights(true);
      view->setItemsExpandable(false);
      view->setSelectionMode((c.style & CTL_SINGLESEL) != 0 ? QAbstractItemView::SingleSelection
                                                             : QAbstractItemView::ExtendedSelection);
      view->header()->setSectionsClickable((c.style & CTL_NOSORTHDR) == 0);
      view->header()->setSectionsMovable(false);
      view->setColumnCount(1);
      view->setHeaderLabels({QString()});
      return view;
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
  }
  (void)units;
  return new QWidget(parent);
}

void PlaceControl(QWidget* widget, const ControlTemplate& c, const DialogUnits& units) {
  QRect rect = units.Rect(c.x, c.y, c.w, c.h);
  switch (c.kind) {
    case ControlKind::ComboBox: {
      // The template gives the height of the opened list; the closed box
      // is as high as its font needs.
      auto* combo = static_cast<QComboBox*>(widget);
      int closed = std::max(combo->sizeHint().height(), units.Y(12));
      int itemHeight = std::max(1, QFontMetrics(combo->font()).height() + 2);
      combo->setMaxVisibleItems(std::max(1, (rect.height() - closed) / itemHeight));
      rect.setHeight(closed);
      break;
    }
    case ControlKind::Icon: {
      // An icon static takes the size of its icon.
      rect.setSize(QSize(kIconPixels, kIconPixels));
      break;
    }
    default:
      break;
  }
  widget->setGeometry(rect);
}

}  // namespace

int DialogUnits::X(int dlu) const { return MulDiv(dlu, baseX, 4); }
int DialogUnits::Y(int dlu) const { return MulDiv(dlu, baseY, 8); }

QRect DialogUnits::Rect(int x, int y, int w, int h) const {
  // Edges are converted, not sizes, so that neighbouring controls stay
  // neighbours after rounding.
  int left = X(x), top = Y(y);
  return QRect(left, top, X(x + w) - left, Y(y + h) - top);
}

const char* MapTemplateFontFamily(const char* face) {
  if (face == nullptr || std::strcmp(face, "MS Sans Serif") == 0 || std::strcmp(face, "MS Shell Dlg") == 0) {
    return "DejaVu Sans";
  }
  if (std::strcmp(face, "Courier New") == 0) return "DejaVu Sans Mono";
  return face;
}

QFont TemplateFont(const char* face, int points) {
  QFont font(QString::fromUtf8(MapTemplateFontFamily(face)));
  // Pinned to 96 dots per inch: a point size gives the same pixel height,
  // hence the same dialog units, on every screen; Qt scales the whole
  // window on high-density screens.
  font.setPixelSize(MulDiv(points, 96, 72));
  font.setStyleHint(QFont::SansSerif);
  return font;
}

DialogUnits BaseUnitsOf(const QFont& font) {
  QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogUnits units;
  units.baseX = (width / 26 + 1) / 2;
  units.baseY = metrics.height();
  return units;
}

QSize TemplatePixelSize(const DialogTemplate& dialog) {
  DialogUnits units = BaseUnitsOf(TemplateFont(dialog.fontFace, dialog.fontPoints));
  return QSize(units.X(dialog.w), units.Y(dialog.h));
}

QSize BuildTemplate(const DialogTemplate& dialog, QWidget* parent, ControlMap& controls,
                    const ControlFactory& factory) {
  const QFont font = TemplateFont(dialog.fontFace, dialog.fontPoints);
  parent->setFont(font);
  const DialogUnits units = BaseUnitsOf(font);

  std::vector<std::pair<const ControlTemplate*, QWidget*>> built;
  for (const ControlTemplate& c : dialog.controls) {
    QWidget* widget = factory ? factory(c, parent) : nullptr;
    if (widget == nullptr) widget = MakeStandardControl(c, parent, units);
    widget->setParent(parent);
    PlaceControl(widget, c, units);
    if ((c.style & CTL_DISABLED) != 0) widget->setEnabled(false);
    if ((c.style & CTL_HIDDEN) != 0) widget->setVisible(false);
    widget->setProperty("k470ControlId", c.id);
    controls[c.id] = widget;
    built.emplace_back(&c, widget);
  }

  for (size_t i = 0; i < built.size(); ++i) {
    const ControlTemplate& c = *built[i].first;
    if (c.kind != ControlKind::Static || (c.style & CTL_NOPREFIX) != 0) continue;
    if (std::strchr(c.text, '&') == nullptr) continue;
    auto* label = qobject_cast<QLabel*>(built[i].second);
    if (label == nullptr) continue;
    for (size_t j = i + 1; j < built.size(); ++j) {
      if (TakesFocus(built[j].first->kind)) {
        label->setBuddy(built[j].second);
        break;
      }
    }
  }
  return QSize(units.X(dialog.w), units.Y(dialog.h));
}

}  // namespace k470
