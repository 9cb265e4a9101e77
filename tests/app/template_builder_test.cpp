// The dialog templates and the one builder that turns them into widgets:
// dialog units, fonts, control kinds, places, buddies and accelerators.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "app_fixture.h"
#include "configtool/app/template_builder.h"
#include "configtool/res/dialogs.h"

namespace k470::test {
namespace {

TEST(DialogUnitsTest, ConvertsEdgesWithRoundingAsTheWindowSystemDoes) {
  const DialogUnits units{6, 13};
  struct Case {
    int dlu, x, y;
  };
  const Case cases[] = {{0, 0, 0}, {1, 2, 2}, {2, 3, 3}, {4, 6, 7}, {8, 12, 13}, {247, 371, 401}, {-2, -3, -3}};
  for (const Case& c : cases) {
    EXPECT_EQ(units.X(c.dlu), c.x) << c.dlu;
    EXPECT_EQ(units.Y(c.dlu), c.y) << c.dlu;
  }
  // Neighbouring rectangles stay neighbours: sizes come from the edges.
  const QRect a = units.Rect(5, 10, 1, 1), b = units.Rect(6, 11, 1, 1);
  EXPECT_EQ(a.right() + 1, b.left());
  EXPECT_EQ(a.bottom() + 1, b.top());
}

TEST(TemplateFontTest, TemplateFontsMapToThePinnedFamilies) {
  EXPECT_STREQ(MapTemplateFontFamily("MS Sans Serif"), "DejaVu Sans");
  EXPECT_STREQ(MapTemplateFontFamily("Courier New"), "DejaVu Sans Mono");
  EXPECT_STREQ(MapTemplateFontFamily("Tahoma"), "Tahoma");
  const QFont font = TemplateFont("MS Sans Serif", 8);
  EXPECT_EQ(font.pixelSize(), 11);
  // The family is really there (the set-up script installs it).
  EXPECT_EQ(QFontInfo(font).family().toStdString(), "DejaVu Sans");
  const DialogUnits units = BaseUnitsOf(font);
  EXPECT_EQ(units.baseY, QFontMetrics(font).height());
  EXPECT_GE(units.baseX, 5);
  EXPECT_LE(units.baseX, 8);
}

class TemplateBuildTest : public ::testing::Test {
 protected:
  QWidget* Build(uint32_t id) {
    window = std::make_unique<QWidget>();
    dialog = FindDialogTemplate(id);
    size = BuildTemplate(*dialog, window.get(), controls);
    window->resize(size);
    return window.get();
  }
  std::unique_ptr<QWidget> window;
  const DialogTemplate* dialog = nullptr;
  ControlMap controls;
  QSize size;
};

TEST_F(TemplateBuildTest, EveryTemplateBuildsEachControlAsItsKindAtItsPlace) {
  for (uint32_t id : {IDD_GENERAL_PAGE, IDD_MODE_PAGE, IDD_ADAPTER_PAGE, IDD_ABOUT, IDD_WAIT}) {
    controls.clear();
    Build(id);
    const DialogUnits units = BaseUnitsOf(window->font());
    EXPECT_EQ(size, QSize(units.X(dialog->w), units.Y(dialog->h))) << id;
    ASSERT_EQ(controls.size(), dialog->controls.size()) << id;
    for (const ControlTemplate& c : dialog->controls) {
      QWidget* w = controls.at(c.id);
      EXPECT_EQ(w->parentWidget(), window.get());
      EXPECT_EQ(w->property("k470ControlId").toUInt(), c.id);
      EXPECT_EQ(w->isEnabled(), (c.style & CTL_DISABLED) == 0) << c.id;
      const QRect place = units.Rect(c.x, c.y, c.w, c.h);
      EXPECT_EQ(w->pos(), place.topLeft()) << id << "/" << c.id;
      switch (c.kind) {
        case ControlKind::GroupBox:
          EXPECT_NE(qobject_cast<QGroupBox*>(w), nullptr);
          break;
        case ControlKind::Static:
          ASSERT_NE(qobject_cast<QLabel*>(w), nullptr);
          // Adapter texts land in statics: never markup.
          EXPECT_EQ(qobject_cast<QLabel*>(w)->textFormat(), Qt::PlainText);
          EXPECT_EQ(qobject_cast<QLabel*>(w)->wordWrap(), (c.style & CTL_NOWRAP) == 0);
          break;
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
          EXPECT_NE(qobject_cast<QPushButton*>(w), nullptr);
          break;
        case ControlKind::CheckBox:
          EXPECT_NE(qobject_cast<QCheckBox*>(w), nullptr);
          break;
        case ControlKind::ComboBox:
          ASSERT_NE(qobject_cast<QComboBox*>(w), nullptr);
          // Closed, the box is as high as its text; the template's height
          // is the opened list's.
          EXPECT_LT(w->height(), place.height());
          EXPECT_EQ(w->width(), place.width());
          break;
        case ControlKind::Edit:
          EXPECT_NE(qobject_cast<QLineEdit*>(w), nullptr);
          break;
        case ControlKind::ListBox:
          EXPECT_NE(qobject_cast<QListWidget*>(w), nullptr);
          break;
        case ControlKind::ListView:
          EXPECT_NE(qobject_cast<QTreeWidget*>(w), nullptr);
          break;
        case ControlKind::ProgressBar:
          EXPECT_NE(qobject_cast<QProgressBar*>(w), nullptr);
          break;
        case ControlKind::Icon:
          EXPECT_EQ(w->size(), QSize(32, 32));
          break;
      }
      if (c.kind != ControlKind::ComboBox && c.kind != ControlKind::Icon) {
        EXPECT_EQ(w->size(), place.size()) << id << "/" << c.id;
      }
    }
  }
}

TEST_F(TemplateBuildTest, AnAcceleratorOfALabelLeadsToTheNextControlThatTakesTheFocus) {
  struct Case {
    uint32_t templateId, label, buddy;
  };
  const Case cases[] = {
      {IDD_GENERAL_PAGE, IDC_GEN_PORT_LABEL, IDC_GEN_PORT_LIST},
      {IDD_GENERAL_PAGE, IDC_GEN_PARTNER_LABEL, IDC_GEN_PARTNER_LIST},
      {IDD_MODE_PAGE, IDC_MODE_MODE_LABEL, IDC_MODE_MODE_LIST},
      {IDD_MODE_PAGE, IDC_MODE_BIT_RATE_LABEL, IDC_MODE_BIT_RATE_LIST},
      {IDD_MODE_PAGE, IDC_MODE_PROTOCOL_LABEL, IDC_MODE_PROTOCOL_LIST},
      {IDD_ADAPTER_PAGE, IDC_ADP_NAME_LABEL, IDC_ADP_NAME},
      {IDD_ADAPTER_PAGE, IDC_ADP_RELEASE_LABEL, IDC_ADP_RELEASE_TIME},
  };
  for (const Case& c : cases) {
    controls.clear();
    Build(c.templateId);
    auto* label = qobject_cast<QLabel*>(controls.at(c.label));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->buddy(), controls.at(c.buddy)) << c.label;
  }
  // Labels without an accelerator have no buddy.
  controls.clear();
  Build(IDD_GENERAL_PAGE);
  EXPECT_EQ(qobject_cast<QLabel*>(controls.at(IDC_GEN_STATE_LABEL))->buddy(), nullptr);

  // Alt+letter moves the focus.
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window.get(), Qt::Key_V, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), controls.at(IDC_GEN_PARTNER_LIST));
  QTest::keyClick(window.get(), Qt::Key_A, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), controls.at(IDC_GEN_PORT_LIST));
}

TEST_F(TemplateBuildTest, ACustomControlFactoryReplacesTheStandardWidget) {
  window = std::make_unique<QWidget>();
  QWidget* custom = nullptr;
  BuildTemplate(*FindDialogTemplate(IDD_ADAPTER_PAGE), window.get(), controls,
                [&](const ControlTemplate& c, QWidget* parent) -> QWidget* {
                  if (c.id != IDC_ADP_PARTNER_LIST) return nullptr;
                  custom = new QWidget(parent);
                  return custom;
                });
  ASSERT_NE(custom, nullptr);
  EXPECT_EQ(controls.at(IDC_ADP_PARTNER_LIST), custom);
  EXPECT_FALSE(custom->isEnabled());
}

}  // namespace
}  // namespace k470::test
