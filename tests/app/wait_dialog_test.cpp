// The wait dialog on the virtual clock: its minimum display time, Cancel,
// and the object freeing itself.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app_fixture.h"
#include "configtool/app/wait_dialog.h"
#include "configtool/res/dialogs.h"
#include "configtool/res/string_table.h"

namespace k470::test {
namespace {

// The owner: a titled window that records its messages.
class OwnerWindow : public CWindow {
 public:
  explicit OwnerWindow(IHost& host) : CWindow(host) {
    auto* widget = new QWidget;
    widget->setWindowTitle("Eigenschaften des Lumora Data");
    widget->resize(400, 300);
    AttachWidget(widget);
    widget->show();
  }
  std::vector<uint32_t> messages;

 protected:
  intptr_t WindowProc(uint32_t message, uintptr_t, intptr_t) override {
    messages.push_back(message);
    return 0;
  }
};

class WaitDialogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    host.RunFor(10000);
    ProcessDeferredDeletes();
    EXPECT_EQ(CWaitDialog::LiveCount(), 0);
  }
  CWaitDialog* Open(uint32_t minimumMs) {
    return new CWaitDialog(host, &owner, IDS_WAITTEXT_CHANGE_PIN, minimumMs);
  }
  VirtualHost host;
  OwnerWindow owner{host};
};

TEST_F(WaitDialogTest, ShowsTheTextUnderTheOwnersTitleWithTheInformationIcon) {
  CWaitDialog* dialog = Open(3000);
  EXPECT_TRUE(dialog->IsWindowVisible());
  EXPECT_EQ(dialog->Widget()->windowTitle().toStdString(), "Eigenschaften des Lumora Data");
  EXPECT_EQ(dialog->GetDlgItemText(IDC_WAIT_TEXT), "Die PIN der Basis wird geändert.");
  auto* icon = qobject_cast<QLabel*>(dialog->GetDlgItem(IDC_WAIT_ICON));
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  EXPECT_TRUE(dialog->IsCancelEnabled());
  EXPECT_EQ(dialog->Widget()->size(), TemplatePixelSize(*FindDialogTemplate(IDD_WAIT)));
  SaveScreenshot(dialog->Widget(), "wait-dialog-alone.png");
  dialog->CWindow::DestroyWindow();
}

TEST_F(WaitDialogTest, AnOperationEndingEarlyDisablesCancelAndTheDialogGoesAtTheMinimumTime) {
  CWaitDialog* dialog = Open(3000);
  const TargetId window = dialog->GetSafeHwnd();
  host.RunFor(500);
  EXPECT_FALSE(dialog->DestroyWindow());
  EXPECT_FALSE(dialog->IsCancelEnabled());
  EXPECT_TRUE(dialog->IsWindowVisible());
  host.RunFor(2499);
  EXPECT_EQ(CWaitDialog::LiveCount(), 1);
  EXPECT_TRUE(host.IsTarget(window));
  host.RunFor(1);
  EXPECT_EQ(CWaitDialog::LiveCount(), 0);
  EXPECT_FALSE(host.IsTarget(window));
}

TEST_F(WaitDialogTest, AnOperationEndingAfterTheMinimumTimeClosesItAtOnce) {
  CWaitDialog* dialog = Open(3000);
  const TargetId window = dialog->GetSafeHwnd();
  host.RunFor(10000);
  EXPECT_TRUE(dialog->IsCancelEnabled());
  EXPECT_FALSE(host.IsTimerRunning(window, kWaitTimerId));
  EXPECT_TRUE(dialog->DestroyWindow());
  EXPECT_EQ(CWaitDialog::LiveCount(), 0);
  EXPECT_FALSE(host.IsTarget(window));
}

TEST_F(WaitDialogTest, WithoutMinimumTimeTheFirstRequestCloses) {
  CWaitDialog* dialog = Open(0);
  EXPECT_TRUE(dialog->IsCloseAllowed());
  EXPECT_FALSE(dialog->IsTimerRunning());
  EXPECT_TRUE(dialog->DestroyWindow());
  EXPECT_EQ(CWaitDialog::LiveCount(), 0);
}

TEST_F(WaitDialogTest, CancelTellsTheOwnerOnceAndDisablesItself) {
  CWaitDialog* dialog = Open(3000);
  auto* cancel = qobject_cast<QPushButton*>(dialog->GetDlgItem(IDC_CANCEL));
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text().toStdString(), "Abbrechen");
  QTest::mouseClick(cancel, Qt::LeftButton);
  EXPECT_FALSE(cancel->isEnabled());
  // The dialog stays: it goes when the operation ends.
  EXPECT_TRUE(dialog->IsWindowVisible());
  QTest::mouseClick(cancel, Qt::LeftButton);
  QTest::keyClick(dialog->Widget(), Qt::Key_Escape);
  dialog->Widget()->close();
  host.RunPending();
  EXPECT_EQ(owner.messages, std::vector<uint32_t>{WM_OPERATION_CANCEL});
  EXPECT_TRUE(dialog->IsWindowVisible());
  dialog->CWindow::DestroyWindow();
}

TEST_F(WaitDialogTest, EscapeIsCancel) {
  CWaitDialog* dialog = Open(3000);
  QTest::keyClick(dialog->Widget(), Qt::Key_Escape);
  host.RunPending();
  EXPECT_EQ(owner.messages, std::vector<uint32_t>{WM_OPERATION_CANCEL});
  EXPECT_FALSE(dialog->IsCancelEnabled());
  dialog->CWindow::DestroyWindow();
}

}  // namespace
}  // namespace k470::test
