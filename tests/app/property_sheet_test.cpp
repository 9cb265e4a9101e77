// The property sheet and the page base class: windows made when a page is
// first shown, apply and cancel through the pages, the Apply button, and
// the notifications of the pages' controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "test_pages.h"

namespace k470::test {
namespace {

class PropertySheetTest : public TestSheetFixture {};

TEST_F(PropertySheetTest, TheFirstPageIsMadeInsideTheSheetsInitialisationTheOthersWhenShown) {
  sheet->Create();
  EXPECT_EQ(log, (std::vector<std::string>{"p0:init", "p0:active"}));
  EXPECT_TRUE(pages[0]->HasWindow());
  EXPECT_FALSE(pages[1]->HasWindow());
  // Posts to a page without a window are dropped, as to a window that does
  // not exist.
  EXPECT_FALSE(host.Post(pages[1]->GetSafeHwnd(), WM_REFRESH_VIEWS));

  log.clear();
  ASSERT_TRUE(sheet->SetActivePage(2));
  EXPECT_EQ(log, (std::vector<std::string>{"p0:kill", "p2:init", "p2:active"}));
  log.clear();
  ASSERT_TRUE(sheet->SetActivePage(0));
  EXPECT_EQ(log, (std::vector<std::string>{"p2:kill", "p0:active"}));
  EXPECT_TRUE(pages[0]->IsWindowVisible());
  EXPECT_FALSE(pages[2]->IsWindowVisible());

  // The page's window is the size of its template.
  EXPECT_EQ(pages[0]->Widget()->size(), TemplatePixelSize(*FindDialogTemplate(IDD_GENERAL_PAGE)));
}

TEST_F(PropertySheetTest, TabWalksTheTabRowThePageAndThenTheButtons) {
  sheet->Create();
  sheet->Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet->Widget()));
  sheet->GetTabControl()->setFocus();
  std::vector<QWidget*> walk;
  for (int i = 0; i < 8; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    walk.push_back(QApplication::focusWidget());
  }
  TestPage& page = *pages[0];
  // The disabled ones (Datenverbindung, Übernehmen) are passed over.
  const std::vector<QWidget*> expected = {
      page.GetDlgItem(IDC_GEN_PORT_LIST),     page.GetDlgItem(IDC_GEN_NO_DETECTION),
      page.GetDlgItem(IDC_GEN_PARTNER_LIST),  sheet->GetButton(IDOK),
      sheet->GetButton(IDCANCEL),             sheet->GetButton(IDHELP),
      sheet->GetTabControl(),                 page.GetDlgItem(IDC_GEN_PORT_LIST)};
  EXPECT_EQ(walk, expected);
}

TEST_F(PropertySheetTest, ApplyAsksTheActivePageToLeaveThenAppliesEveryShownPageInTabOrder) {
  sheet->Create();
  sheet->SetActivePage(3);
  sheet->SetActivePage(1);
  log.clear();
  pages[3]->SetModified(true);
  EXPECT_TRUE(sheet->GetButton(ID_APPLY_NOW)->isEnabled());

  sheet->PressApply();
  EXPECT_EQ(log, (std::vector<std::string>{"p1:kill", "p0:apply", "p1:apply", "p3:apply"}));
  EXPECT_FALSE(sheet->GetButton(ID_APPLY_NOW)->isEnabled());
  EXPECT_FALSE(pages[3]->IsPageChanged());

  // A refusal stops the round and keeps the changes.
  log.clear();
  pages[1]->allowApply = false;
  pages[3]->SetModified(true);
  sheet->PressOk();
  EXPECT_EQ(log, (std::vector<std::string>{"p1:kill", "p0:apply", "p1:apply"}));
  EXPECT_FALSE(sheet->IsModalEnded());
  EXPECT_TRUE(sheet->GetButton(ID_APPLY_NOW)->isEnabled());

  // So does a page that does not let go of the focus.
  log.clear();
  pages[1]->allowApply = true;
  pages[1]->allowLeave = false;
  sheet->PressOk();
  EXPECT_EQ(log, (std::vector<std::string>{"p1:kill"}));
  pages[1]->allowLeave = true;
  sheet->PressOk();
  EXPECT_TRUE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->ModalResult(), IDOK);
}

TEST_F(PropertySheetTest, CancelNeedsTheConsentOfEveryShownPage) {
  sheet->Create();
  sheet->SetActivePage(2);
  log.clear();
  pages[2]->allowCancel = false;
  sheet->PressCancel();
  EXPECT_EQ(log, (std::vector<std::string>{"p0:querycancel", "p2:querycancel"}));
  EXPECT_FALSE(sheet->IsModalEnded());
  pages[2]->allowCancel = true;
  sheet->PressClose();
  EXPECT_TRUE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->ModalResult(), IDCANCEL);
}

TEST_F(PropertySheetTest, ControlNotificationsAreSentAtOnceAndHeldBackDuringDataExchange) {
  sheet->Create();
  sheet->SetActivePage(2);
  TestPage& page = *pages[2];
  log.clear();

  auto* name = page.GetDlgItemAs<QLineEdit>(IDC_ADP_NAME);
  ASSERT_NE(name, nullptr);
  name->setText("Werkstatt");
  EXPECT_EQ(log, (std::vector<std::string>{"p2:cmd:1070:1024", "p2:cmd:1070:768"}));
  log.clear();
  {
    CPropertyPage::NotifyGuard hold(page);
    page.SetDlgItemText(IDC_ADP_NAME, "Büro");
  }
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(page.GetDlgItemText(IDC_ADP_NAME), "Büro");

  // A button click; a disabled button gives none.
  QTest::mouseClick(page.GetDlgItemAs<QPushButton>(IDC_ADP_REGISTER), Qt::LeftButton);
  EXPECT_EQ(log, (std::vector<std::string>{"p2:cmd:1052:0"}));
  log.clear();
  page.EnableDlgItem(IDC_ADP_REGISTER, false);
  QTest::mouseClick(page.GetDlgItemAs<QPushButton>(IDC_ADP_REGISTER), Qt::LeftButton);
  EXPECT_TRUE(log.empty());

  // The list box reports the user's selection changes only.
  auto* list = page.GetDlgItemAs<QListWidget>(IDC_ADP_REGISTRATIONS);
  list->addItems({"a", "b", "c"});
  list->setCurrentRow(1);
  EXPECT_TRUE(log.empty());
  sheet->Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet->Widget()));
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentRow(), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"p2:cmd:1068:1"}));
}

TEST_F(PropertySheetTest, ACommandThePagePostsToItselfRunsAfterTheCurrentHandler) {
  sheet->Create();
  TestPage& page = *pages[0];
  auto* ports = page.GetDlgItemAs<QComboBox>(IDC_GEN_PORT_LIST);
  ports->addItems({"COM1", "COM2"});
  page.onCommand = [&](uint32_t id, uint32_t code) {
    if (id == IDC_GEN_NO_DETECTION && code == BN_CLICKED) {
      page.PostCommand(IDC_GEN_PORT_LIST, CBN_SELCHANGE);
      log.push_back("handler done");
    }
  };
  log.clear();
  QTest::mouseClick(page.GetDlgItemAs<QCheckBox>(IDC_GEN_NO_DETECTION), Qt::LeftButton);
  EXPECT_TRUE(page.IsDlgButtonChecked(IDC_GEN_NO_DETECTION));
  EXPECT_EQ(log, (std::vector<std::string>{"p0:cmd:1077:0", "handler done"}));
  host.RunPending();
  EXPECT_EQ(log, (std::vector<std::string>{"p0:cmd:1077:0", "handler done", "p0:cmd:1004:1"}));
  // The posted notification carries the page's own window.
  EXPECT_EQ(host.posts.back().lParam, static_cast<intptr_t>(page.GetSafeHwnd()));
  // Choosing by program is no selection by the user.
  ports->setCurrentIndex(1);
  host.RunPending();
  EXPECT_EQ(log.size(), 3u);
}

}  // namespace
}  // namespace k470::test
