// The tab control with disabled tabs: the search order, disabling the
// selected tab, the selection requests, clicks, arrow keys, Ctrl+Tab, the
// active page's veto and the engraved drawing.
#include <gtest/gtest.h>

#include <QTest>

#include "test_pages.h"

namespace k470::test {
namespace {

class DisableTabTest : public TestSheetFixture {
 protected:
  QPoint CentreOf(int tab) { return tabs.GetItemRect(tab).center(); }
  void Click(const QPoint& pos) { QTest::mouseClick(sheet->GetTabControl(), Qt::LeftButton, Qt::NoModifier, pos); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(sheet->GetTabControl(), key, modifiers);
  }
  void Select(int tab) {
    ASSERT_TRUE(sheet->SetActivePage(tab));
    log.clear();
  }
};

TEST_F(DisableTabTest, FindEnabledSearchesInItsDirectionAndWrapsRound) {
  ShowWithDisableTabs();
  Disable({1, 2});
  struct Case {
    int start;
    bool forward;
    int found;
  };
  const Case cases[] = {
      {0, true, 0}, {1, true, 3}, {2, true, 3}, {3, true, 3},   //
      {1, false, 0}, {2, false, 0}, {3, false, 3}, {0, false, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(tabs.FindEnabled(c.start, c.forward), c.found) << c.start << c.forward;
}

TEST_F(DisableTabTest, DisablingTheSelectedTabMovesOnToTheRightAndWraps) {
  ShowWithDisableTabs();
  ASSERT_TRUE(tabs.EnableTab(0, false));
  EXPECT_EQ(tabs.GetCurSel(), 1);
  EXPECT_EQ(sheet->GetActiveIndex(), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"p0:kill", "p1:init", "p1:active"}));

  Select(3);
  ASSERT_TRUE(tabs.EnableTab(3, false));
  // From the last tab the search starts at the first; tab 0 is disabled.
  EXPECT_EQ(tabs.GetCurSel(), 1);
  EXPECT_EQ(sheet->GetActiveIndex(), 1);
  EXPECT_EQ(tabs.DisabledTabs(), (std::vector<uint32_t>{0, 3}));
}

TEST_F(DisableTabTest, TheOnlyEnabledTabCannotBeDisabledAndEnablingIsIdempotent) {
  ShowWithDisableTabs();
  Disable({1, 2, 3});
  EXPECT_FALSE(tabs.EnableTab(0, false));
  EXPECT_EQ(tabs.DisabledTabs(), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(tabs.GetCurSel(), 0);
  EXPECT_TRUE(log.empty());

  EXPECT_TRUE(tabs.EnableTab(0, true));
  EXPECT_TRUE(tabs.EnableTab(2, true));
  EXPECT_TRUE(tabs.EnableTab(2, true));
  EXPECT_TRUE(tabs.EnableTab(1, false));
  EXPECT_EQ(tabs.DisabledTabs(), (std::vector<uint32_t>{1, 3}));
  EXPECT_FALSE(tabs.EnableTab(4, false));
  EXPECT_FALSE(tabs.EnableTab(-1, true));
  EXPECT_FALSE(tabs.IsTabEnabled(4));
}

TEST_F(DisableTabTest, ASelectionRequestForADisabledTabStepsOnOrIsRefused) {
  ShowWithDisableTabs();
  struct Case {
    std::initializer_list<int> disabled;
    int current;
    int request;
    int result;  // -1 refused, 0 redirected, else the previous selection
    int selected;
  };
  const Case cases[] = {
      {{2}, 1, 2, 0, 3},      // a step right goes on to the right
      {{2}, 3, 2, 0, 1},      // a step left goes on to the left
      {{3}, 0, 3, 0, 2},      // the wrap from the first tab to the last, leftwards
      {{0}, 3, 0, 0, 1},      // the wrap from the last tab to the first, rightwards
      {{1, 2, 3}, 0, 1, 0, 0},  // nothing else enabled: back where it was
      {{2}, 0, 2, 0, 1},      // |delta| equal to the index counts as a step (leftwards)
      {{1}, 3, 1, -1, 3},     // a jump onto a disabled tab is refused
      {{}, 1, 3, 1, 3},       // an enabled tab is simply selected
  };
  for (const Case& c : cases) {
    for (uint32_t t : std::vector<uint32_t>(tabs.DisabledTabs())) tabs.EnableTab(static_cast<int>(t), true);
    sheet->GetTabControl()->setCurrentIndex(c.current);
    for (int t : c.disabled) tabs.EnableTab(t, false);
    ASSERT_EQ(tabs.GetCurSel(), c.current);
    EXPECT_EQ(sheet->GetTabControl()->SetCurSel(c.request), c.result) << c.current << "->" << c.request;
    EXPECT_EQ(tabs.GetCurSel(), c.selected) << c.current << "->" << c.request;
  }
}

TEST_F(DisableTabTest, ClicksOnADisabledTabOrBesideTheTabsChangeNothing) {
  ShowWithDisableTabs();
  Disable({2});
  Click(CentreOf(2));
  const QRect last = tabs.GetItemRect(3);
  Click(QPoint(last.right() + 20, last.center().y()));
  EXPECT_EQ(tabs.GetCurSel(), 0);
  EXPECT_EQ(sheet->GetActiveIndex(), 0);
  EXPECT_TRUE(log.empty());

  Click(CentreOf(3));
  EXPECT_EQ(tabs.GetCurSel(), 3);
  EXPECT_EQ(sheet->GetActiveIndex(), 3);
  EXPECT_EQ(log, (std::vector<std::string>{"p0:kill", "p3:init", "p3:active"}));
  EXPECT_TRUE(pages[3]->IsWindowVisible());
  EXPECT_FALSE(pages[0]->IsWindowVisible());
}

TEST_F(DisableTabTest, ArrowKeysSkipDisabledTabsAndWrap) {
  ShowWithDisableTabs();
  Disable({1, 2, 3});
  for (Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Down, Qt::Key_Up}) {
    Key(key);
    EXPECT_EQ(tabs.GetCurSel(), 0);
    EXPECT_EQ(sheet->GetActiveIndex(), 0);
  }

  tabs.EnableTab(1, true);
  tabs.EnableTab(3, true);
  Select(1);
  Key(Qt::Key_Right);
  EXPECT_EQ(tabs.GetCurSel(), 3);
  EXPECT_EQ(sheet->GetActiveIndex(), 3);
  EXPECT_EQ(log, (std::vector<std::string>{"p1:kill", "p3:init", "p3:active"}));
  Key(Qt::Key_Right);
  EXPECT_EQ(tabs.GetCurSel(), 0);
  Key(Qt::Key_Left);
  EXPECT_EQ(tabs.GetCurSel(), 3);
  Key(Qt::Key_Up);
  EXPECT_EQ(tabs.GetCurSel(), 1);
}

TEST_F(DisableTabTest, APageThatRefusesToBeLeftKeepsTheSelection) {
  ShowWithDisableTabs();
  pages[0]->allowLeave = false;
  Click(CentreOf(1));
  Key(Qt::Key_Right);
  Key(Qt::Key_Left);
  tabs.SelectTab(2);
  sheet->Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet->Widget()));
  QTest::keyClick(sheet->Widget(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(tabs.GetCurSel(), 0);
  EXPECT_EQ(sheet->GetActiveIndex(), 0);
  EXPECT_EQ(log, std::vector<std::string>(5, "p0:kill"));
  // Disabling the selected tab also needs the page's consent to move.
  EXPECT_TRUE(tabs.EnableTab(0, false));
  EXPECT_EQ(tabs.GetCurSel(), 0);
}

TEST_F(DisableTabTest, CtrlTabChangesPagesSkippingDisabledTabs) {
  ShowWithDisableTabs();
  Disable({1});
  sheet->Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet->Widget()));
  QTest::keyClick(sheet->Widget(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(sheet->GetActiveIndex(), 2);
  QTest::keyClick(sheet->Widget(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(sheet->GetActiveIndex(), 3);
  QTest::keyClick(sheet->Widget(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(sheet->GetActiveIndex(), 0);
  QTest::keyClick(sheet->Widget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(sheet->GetActiveIndex(), 3);
  QTest::keyClick(sheet->Widget(), Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(sheet->GetActiveIndex(), 2);
  QTest::keyClick(sheet->Widget(), Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(sheet->GetActiveIndex(), 0);
}

TEST_F(DisableTabTest, DisabledTabsAreDrawnEngravedInGrey) {
  ShowWithDisableTabs();
  Disable({2});
  QImage image = sheet->GetTabControl()->grab().toImage();
  SaveScreenshot(sheet->Widget(), "tabs-disabled.png");
  auto darkest = [&](int tab) {
    const QRect r = tabs.GetItemRect(tab).adjusted(3, 3, -3, -3);
    int value = 255;
    for (int y = r.top(); y <= r.bottom(); ++y) {
      for (int x = r.left(); x <= r.right(); ++x) value = std::min(value, qGray(image.pixel(x, y)));
    }
    return value;
  };
  auto whitest = [&](int tab) {
    const QRect r = tabs.GetItemRect(tab).adjusted(4, 4, -4, -4);
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
      for (int x = r.left(); x <= r.right(); ++x) count += qGray(image.pixel(x, y)) >= 250 ? 1 : 0;
    }
    return count;
  };
  // Black text on the enabled tabs; grey over a white shadow on the disabled one.
  EXPECT_LT(darkest(1), 60);
  EXPECT_LT(darkest(3), 60);
  EXPECT_GE(darkest(2), 100);
  EXPECT_LE(darkest(2), 140);
  EXPECT_GT(whitest(2), whitest(3));
}

}  // namespace
}  // namespace k470::test
