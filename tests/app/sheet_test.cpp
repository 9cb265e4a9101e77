// The main sheet on the virtual host: titles, switches, the refresh fan-out,
// the busy slot with its wait dialogs, ConfirmDiscard, ShowMessage and the
// shutdown paths with the close watchdog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <map>

#include "app_fixture.h"
#include "configtool/app/about_dialog.h"
#include "configtool/app/wait_dialog.h"
#include "configtool/pages/adapter_page.h"
#include "configtool/pages/general_page.h"
#include "configtool/pages/mode_page.h"
#include "configtool/res/dialogs.h"
#include "configtool/res/string_table.h"
#include "configtool/serial/rx_queue.h"

namespace k470::test {
namespace {

constexpr const char* kDiscardText =
    "Sie haben noch nicht alle geänderten Einstellungen übernommen. Diese Änderungen gehen verloren.";

CPropertyPage& PageAt(CRadynPropSheet& sheet, int tab) { return *sheet.GetPage(tab); }

// ---- titles and switches ------------------------------------------------------------

TEST_F(SheetTest, TitlesCarryTheProductNameFromTheFirstFrameAndOnlyThePagesShownHaveWindows) {
  Show();
  EXPECT_EQ(sheet->GetTitle(), "Eigenschaften des Lumora Data");
  EXPECT_EQ(sheet->Widget()->windowTitle().toStdString(), "Eigenschaften des Lumora Data");
  EXPECT_EQ(sheet->GetGeneralPage().GetDlgItemText(IDC_GEN_PORT_GROUP), "Anschluß des Lumora Data an den PC");
  EXPECT_TRUE(sheet->GetGeneralPage().HasWindow());
  EXPECT_FALSE(sheet->GetModePage().HasWindow());
  EXPECT_FALSE(sheet->GetLocalPage().HasWindow());
  EXPECT_FALSE(sheet->GetPartnerPage().HasWindow());

  std::vector<std::string> captions;
  for (int i = 0; i < sheet->GetTabs().GetItemCount(); ++i) captions.push_back(sheet->GetTabs().GetItemText(i));
  EXPECT_EQ(captions, (std::vector<std::string>{"Verbindung", "Betriebsart", "Lokale Station", "Partnerstation"}));
  EXPECT_TRUE(sheet->GetLocalPage().IsLocal());
  EXPECT_FALSE(sheet->GetPartnerPage().IsLocal());
}

TEST(SheetSwitchTest, NoConfigIsACaseSensitiveSubstringAndKeepsTheOtherTabsDisabledFromTheStart) {
  struct Case {
    const char* commandLine;
    bool noConfig;
  };
  const Case cases[] = {
      {"", false},          {"noconfig", true}, {"-v24trace noconfig", true}, {"xnoconfigy", true},
      {"NOCONFIG", false},  {"no config", false}, {"com3 -noconfig", true},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    VirtualSerialSystem ports(&host.Clock());
    host.SetCommandLine(c.commandLine);
    {
      CConfigApp app(host, ports);
      CRadynPropSheet& sheet = app.CreateMainSheet();
      sheet.Create();
      CDisableTabCtrl& tabs = sheet.GetTabs();
      // From the first frame: no port has opened yet, so no refresh has come,
      // and with no port found none may ever come.
      host.RunPending();
      EXPECT_EQ(sheet.IsNoConfig(), c.noConfig) << c.commandLine;
      for (int tab = 1; tab <= 3; ++tab) EXPECT_EQ(tabs.IsTabEnabled(tab), !c.noConfig) << c.commandLine << tab;

      host.Post(sheet.GetSafeHwnd(), WM_REFRESH_VIEWS, REFRESH_PORT);
      host.RunPending();
      EXPECT_EQ(sheet.IsNoConfig(), c.noConfig) << c.commandLine;
      EXPECT_TRUE(tabs.IsTabEnabled(0)) << c.commandLine;
      for (int tab = 1; tab <= 3; ++tab) EXPECT_EQ(tabs.IsTabEnabled(tab), !c.noConfig) << c.commandLine << tab;

      // The session may ask for the mode tab; "noconfig" keeps it off.
      sheet.SetModeTabEnabled(false);
      EXPECT_FALSE(tabs.IsTabEnabled(kTabMode));
      sheet.SetModeTabEnabled(true);
      EXPECT_EQ(tabs.IsTabEnabled(kTabMode), !c.noConfig) << c.commandLine;
    }
    ProcessDeferredDeletes();
  }
}

// ---- refresh fan-out ------------------------------------------------------------------

TEST_F(SheetTest, RefreshGoesToThePagesOfItsFlagsInTheFixedOrder) {
  Show();
  VisitAllPages();
  struct Case {
    uint32_t flags;
    std::vector<int> tabs;  // in posting order
  };
  const Case cases[] = {
      {0x00, {}},
      {REFRESH_PORT, {kTabGeneral, kTabLocal, kTabMode}},
      {REFRESH_CONNECTION, {kTabGeneral}},
      {REFRESH_MODE, {kTabMode}},
      {REFRESH_LOCAL, {kTabLocal}},
      {REFRESH_PARTNER, {kTabPartner}},
      {0x05, {kTabGeneral, kTabLocal, kTabMode}},
      {0x1F, {kTabGeneral, kTabLocal, kTabPartner, kTabMode}},
      {0x12, {kTabGeneral, kTabPartner}},
      // Bits above the five flags name no page.
      {0x20, {}},
  };
  std::map<TargetId, int> tabOf;
  for (int i = 0; i < 4; ++i) tabOf[PageAt(*sheet, i).GetSafeHwnd()] = i;

  for (const Case& c : cases) {
    host.posts.clear();
    host.Post(sheet->GetSafeHwnd(), WM_REFRESH_VIEWS, c.flags);
    host.RunPending();
    std::vector<int> tabs;
    for (const auto& post : host.posts) {
      if (post.message != WM_REFRESH_VIEWS || post.target == sheet->GetSafeHwnd()) continue;
      EXPECT_EQ(post.wParam, 0u);
      EXPECT_EQ(post.lParam, 0);
      tabs.push_back(tabOf.count(post.target) ? tabOf[post.target] : -1);
    }
    EXPECT_EQ(tabs, c.tabs) << "flags " << c.flags;
  }
}

TEST_F(SheetTest, RefreshReachesOnlyPagesWithAWindowAndTheLocalFlagSetsTheTitlesAgain) {
  Show();
  host.posts.clear();
  host.Post(sheet->GetSafeHwnd(), WM_REFRESH_VIEWS, 0x1F);
  host.RunPending();
  std::vector<TargetId> targets = host.TargetsOf(WM_REFRESH_VIEWS);
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[1], sheet->GetGeneralPage().GetSafeHwnd());

  sheet->GetSession().SetDefaultProductName("Lumora Test");
  host.Post(sheet->GetSafeHwnd(), WM_REFRESH_VIEWS, 0x05);
  host.RunPending();
  EXPECT_EQ(sheet->GetTitle(), "Eigenschaften des Lumora Data");
  host.Post(sheet->GetSafeHwnd(), WM_REFRESH_VIEWS, REFRESH_LOCAL);
  host.RunPending();
  EXPECT_EQ(sheet->GetTitle(), "Eigenschaften des Lumora Test");
  EXPECT_EQ(sheet->GetGeneralPage().GetDlgItemText(IDC_GEN_PORT_GROUP), "Anschluß des Lumora Test an den PC");
}

// ---- the busy slot ------------------------------------------------------------------------

TEST_F(SheetTest, ASecondOperationIsRefusedWithOneBeep) {
  Show();
  EXPECT_TRUE(sheet->BeginOperation(OP_SWITCH_PORT));
  EXPECT_TRUE(host.Beeps().empty());
  EXPECT_FALSE(sheet->BeginOperation(OP_START));
  EXPECT_EQ(host.Beeps(), std::vector<unsigned>{BEEP_DEFAULT});
  EXPECT_EQ(sheet->GetOperation(), OP_SWITCH_PORT);
  sheet->EndOperation();
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_TRUE(sheet->BeginOperation(OP_START));
  EXPECT_EQ(host.Beeps().size(), 1u);
}

TEST_F(SheetTest, EachOperationOpensItsWaitDialog) {
  Show();
  struct Case {
    OperationCode code;
    const char* text;  // null: no wait dialog
    bool cancel;
  };
  const Case cases[] = {
      {OP_START, nullptr, false},
      {OP_REOPEN, nullptr, false},
      {OP_SWITCH_PORT, nullptr, false},
      {OP_REGISTER,
       "Der Teilnehmer meldet sich bei der gewünschten Basis an, wenn diese anmeldebereit ist. Stellen Sie "
       "sicher, daß die Basis anmeldebereit ist.",
       true},
      {OP_DEREGISTER, "Die lokale Station wird bei der gewählten Partnerstation abgemeldet.", true},
      {OP_CHANGE_PIN, "Die PIN der Basis wird geändert.", true},
      {OP_CHANGE_TYPE, "Der Typ der lokalen Station wird gewechselt.", true},
      {OP_CLOSE, nullptr, false},
      {OP_REGISTER_TYPE, "Der Typ der lokalen Station wird gewechselt.", true},
      {OP_CHECK_TYPE, "Der Typ der lokalen Station wird überprüft.", false},
      {OP_FACTORY_RESET, "Die lokale Station wird in den Auslieferungszustand zurückgesetzt.", true},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(sheet->BeginOperation(c.code)) << c.code;
    CWaitDialog* dialog = sheet->GetWaitDialog();
    if (c.text == nullptr) {
      EXPECT_EQ(dialog, nullptr) << c.code;
    } else {
      ASSERT_NE(dialog, nullptr) << c.code;
      EXPECT_EQ(dialog->Text(), c.text);
      EXPECT_EQ(dialog->GetDlgItemText(IDC_WAIT_TEXT), c.text);
      EXPECT_TRUE(dialog->IsWindowVisible());
      EXPECT_EQ(dialog->IsCancelEnabled(), c.cancel) << c.code;
      EXPECT_EQ(dialog->Widget()->windowTitle().toStdString(), "Eigenschaften des Lumora Data");
      // The sheet's owned pop-up: shown and hidden through the sheet.
      sheet->ShowWaitDialog(false);
      EXPECT_FALSE(dialog->IsWindowVisible());
      sheet->ShowWaitDialog(true);
      sheet->EnableWaitCancel(!c.cancel);
      EXPECT_EQ(dialog->IsCancelEnabled(), !c.cancel);
    }
    sheet->EndOperation();
    EXPECT_EQ(sheet->GetWaitDialog(), nullptr);
    // Past the minimum display time: every dialog of the loop is gone.
    host.RunFor(3000);
  }
  EXPECT_EQ(CWaitDialog::LiveCount(), 0);
}

TEST_F(SheetTest, TheWaitDialogKeepsTheActivationWithABeepWhileItIsShown) {
  Show();
  ASSERT_TRUE(sheet->BeginOperation(OP_CHANGE_PIN));
  QEvent activate(QEvent::WindowActivate);
  QCoreApplication::sendEvent(sheet->Widget(), &activate);
  EXPECT_EQ(host.Beeps().size(), 1u);
  // Hidden behind a failure message it does not take the activation.
  sheet->ShowWaitDialog(false);
  QCoreApplication::sendEvent(sheet->Widget(), &activate);
  EXPECT_EQ(host.Beeps().size(), 1u);
  sheet->EndOperation();
  QCoreApplication::sendEvent(sheet->Widget(), &activate);
  EXPECT_EQ(host.Beeps().size(), 1u);
}

// ---- messages ---------------------------------------------------------------------------------

TEST_F(SheetTest, ShowMessageUsesTheTitleAndHoldsTheSessionBackWhileTheBoxIsOpen) {
  Show();
  bool pausedDuringBox = false;
  host.SetMessageBoxHandler([&](const VirtualHost::MessageBoxCall&) {
    pausedDuringBox = sheet->GetSession().IsPaused();
    return IDNO;
  });
  EXPECT_EQ(sheet->ShowMessage("Frage?", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_TRUE(pausedDuringBox);
  EXPECT_FALSE(sheet->GetSession().IsPaused());
  ASSERT_EQ(host.MessageBoxes().size(), 1u);
  const auto& box = host.MessageBoxes()[0];
  EXPECT_EQ(box.caption, "Eigenschaften des Lumora Data");
  EXPECT_EQ(box.text, "Frage?");
  EXPECT_EQ(box.flags, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(box.owner, sheet->GetSafeHwnd());

  EXPECT_EQ(sheet->ShowMessageId(IDS_SHEET_QUIT_ANYWAY, MB_OK), IDNO);
  EXPECT_EQ(host.MessageBoxes().back().text, "Wollen Sie die Anwendung trotzdem beenden?");
}

TEST_F(SheetTest, ConfirmDiscardAsksOnlyAboutTheCheckedPagesAndDropsTheirEditsOnAgreement) {
  struct Case {
    const char* name;
    uint32_t flags;
    bool modeModified, localModified, partnerModified, generalModified;
    uint32_t questionId;
    bool ask;
    int answer;  // 0: no box expected
    int result;
    bool dropped;
  };
  const Case cases[] = {
      {"nothing modified", 0x1F, false, false, false, false, IDS_SHEET_QUIT_ANYWAY, true, 0, 0, false},
      {"only the connection page", 0x1F, false, false, false, true, IDS_SHEET_QUIT_ANYWAY, true, 0, 0, false},
      {"modified page not named", 0x14, false, true, false, false, 0, true, 0, 0, false},
      {"without asking", 0x04, true, false, false, false, 0, false, 0, 1, false},
      {"question, yes", 0x1C, true, true, false, false, IDS_SHEET_QUIT_ANYWAY, true, IDYES, 0, true},
      {"question, no", 0x1C, false, false, true, false, IDS_SHEET_QUIT_ANYWAY, true, IDNO, 1, false},
      {"no question, OK", 0x10, false, false, true, false, 0, true, IDOK, 0, true},
      {"no question, cancel", 0x08, false, true, false, false, 0, true, IDCANCEL, 1, false},
  };
  Show();
  for (const Case& c : cases) {
    sheet->GetModePage().SetModifiedFlag(c.modeModified);
    sheet->GetLocalPage().SetModifiedFlag(c.localModified);
    sheet->GetPartnerPage().SetModifiedFlag(c.partnerModified);
    sheet->GetGeneralPage().SetModifiedFlag(c.generalModified);
    host.ClearMessageBoxes();
    if (c.answer != 0) host.ScriptMessageBox(c.answer);

    EXPECT_EQ(sheet->ConfirmDiscard(c.flags, c.questionId, c.ask), c.result) << c.name;
    if (c.answer == 0) {
      EXPECT_TRUE(host.MessageBoxes().empty()) << c.name;
    } else {
      ASSERT_EQ(host.MessageBoxes().size(), 1u) << c.name;
      const auto& box = host.MessageBoxes()[0];
      if (c.questionId != 0) {
        EXPECT_EQ(box.text, std::string(kDiscardText) + " Wollen Sie die Anwendung trotzdem beenden?") << c.name;
        EXPECT_EQ(box.flags, MB_YESNO | MB_ICONWARNING) << c.name;
      } else {
        EXPECT_EQ(box.text, kDiscardText) << c.name;
        EXPECT_EQ(box.flags, MB_OKCANCEL | MB_ICONWARNING) << c.name;
      }
    }
    const bool modeAfter = c.modeModified && !(c.dropped && (c.flags & REFRESH_MODE));
    const bool localAfter = c.localModified && !(c.dropped && (c.flags & REFRESH_LOCAL));
    const bool partnerAfter = c.partnerModified && !(c.dropped && (c.flags & REFRESH_PARTNER));
    EXPECT_EQ(sheet->GetModePage().IsModified() != 0, modeAfter) << c.name;
    EXPECT_EQ(sheet->GetLocalPage().IsModified() != 0, localAfter) << c.name;
    EXPECT_EQ(sheet->GetPartnerPage().IsModified() != 0, partnerAfter) << c.name;
    EXPECT_EQ(sheet->IsApplyEnabled(), modeAfter || localAfter || partnerAfter || c.generalModified) << c.name;
  }
}

// ---- the application object -------------------------------------------------------------------

TEST_F(SheetTest, TheReadersNoticeReachesThePortThroughTheApplication) {
  Show();
  auto block = std::make_unique<RxBlock>(3);
  std::memcpy(block->data.get(), "x\r\n", 3);
  sheet->GetPort().RxQueue().Push(std::move(block));
  host.PostThreadMessage(WM_SERIAL_RECEIVED);
  host.RunPending();
  EXPECT_TRUE(sheet->GetPort().RxQueue().IsEmpty());

  // A late notice after the sheet has gone is harmless.
  app->DestroyMainSheet();
  sheet = nullptr;
  host.PostThreadMessage(WM_SERIAL_RECEIVED);
  host.RunPending();
}

TEST(ConfigAppTest, InitInstanceRunsTheSheetModallyThenDestroysItAndReturnsFalse) {
  RecordingHost host;
  VirtualSerialSystem ports(&host.Clock());
  CConfigApp app(host, ports);
  bool wasShown = false;
  QTimer::singleShot(0, [&] {
    ASSERT_NE(app.MainSheet(), nullptr);
    wasShown = app.MainSheet()->IsWindowVisible();
    app.MainSheet()->PressOk();
  });
  EXPECT_FALSE(app.InitInstance());
  EXPECT_TRUE(wasShown);
  EXPECT_EQ(app.MainSheet(), nullptr);
  ProcessDeferredDeletes();
}

TEST_F(SheetTest, HelpGoesToTheApplication) {
  Show();
  sheet->PressHelp();
  EXPECT_EQ(app->HelpRequests(), 1);
  sheet->GetButton(IDHELP)->click();
  EXPECT_EQ(app->HelpRequests(), 2);
}

TEST_F(SheetTest, ApplyButtonFollowsThePagesChangesAndApplyClearsIt) {
  Show();
  QPushButton* apply = sheet->GetButton(ID_APPLY_NOW);
  EXPECT_FALSE(apply->isEnabled());
  sheet->GetGeneralPage().SetModified(true);
  EXPECT_TRUE(apply->isEnabled());
  apply->click();
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_FALSE(sheet->IsModalEnded());
}

TEST_F(SheetTest, MaximisingKeepsTheNormalSize) {
  Show();
  const QSize size = sheet->Widget()->size();
  sheet->Widget()->setWindowState(Qt::WindowMaximized);
  QCoreApplication::processEvents();
  EXPECT_FALSE(sheet->Widget()->windowState() & Qt::WindowMaximized);
  EXPECT_EQ(sheet->Widget()->size(), size);
}

// ---- About box ----------------------------------------------------------------------------------

TEST(AboutCaptionTest, MenuTextLosesItsPeriodsBlanksAndAmpersands) {
  EXPECT_EQ(CAboutDialog::MakeCaption("Inf&o über...", "K470prop"), "Info über K470prop");
  EXPECT_EQ(CAboutDialog::MakeCaption("&Info  ..", "x"), "Info x");
  EXPECT_EQ(CAboutDialog::MakeCaption("", "K470prop"), " K470prop");
}

TEST_F(SheetTest, TheAboutBoxOpensFromTheContextMenuItemAndItsShortcut) {
  host.SetProgramName("K470prop");
  Show();
  ASSERT_EQ(sheet->SystemMenuItems().size(), 1u);
  EXPECT_EQ(sheet->SystemMenuItems()[0].id, IDM_ABOUTBOX);
  EXPECT_EQ(sheet->SystemMenuItems()[0].text, "Inf&o über...");
  EXPECT_EQ(sheet->SystemMenuItems()[0].shortcut, QKeySequence(Qt::CTRL | Qt::Key_I));

  std::unique_ptr<QMenu> menu(sheet->BuildContextMenu());
  ASSERT_EQ(menu->actions().size(), 1);
  QAction* item = menu->actions()[0];
  EXPECT_EQ(item->text().toStdString(), "Inf&o über...");

  struct Seen {
    std::string title, version, description;
  } seen;
  int opened = 0;
  auto closeWhenOpen = [&] {
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      ASSERT_NE(box, nullptr);
      ++opened;
      seen.title = box->windowTitle().toStdString();
      for (QLabel* label : box->findChildren<QLabel*>()) {
        const uint32_t id = label->property("k470ControlId").toUInt();
        if (id == IDC_ABOUT_VERSION) seen.version = label->text().toStdString();
        if (id == IDC_ABOUT_DESCRIPTION) seen.description = label->text().toStdString();
      }
      SaveScreenshot(box, "about.png");
      for (QPushButton* button : box->findChildren<QPushButton*>()) button->click();
    });
  };
  closeWhenOpen();
  item->trigger();
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(seen.title, "Info über K470prop");
  EXPECT_EQ(seen.version.rfind("K470prop, Version ", 0), 0u) << seen.version;
  EXPECT_EQ(seen.description, "Einstellen der Eigenschaften des Lumora Data");

  // The box is gone once Qt has deleted it; then the sheet is active again.
  ProcessDeferredDeletes();
  QCoreApplication::processEvents();
  sheet->Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet->Widget()));
  ASSERT_EQ(QApplication::activeWindow(), sheet->Widget());
  closeWhenOpen();
  QTest::keyClick(sheet->Widget(), Qt::Key_I, Qt::ControlModifier);
  EXPECT_EQ(opened, 2);
}

// ---- shutdown ---------------------------------------------------------------------------------

TEST_F(SheetTest, OkWithoutTheConfigurationStateEndsAtOnceAndTheWatchdogDiesWithTheWindow) {
  Show();
  sheet->PressOk();
  EXPECT_TRUE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->ModalResult(), IDOK);
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_TRUE(host.IsTimerRunning(sheet->GetSafeHwnd(), kWatchdogTimerId));
  EXPECT_EQ(host.TimerDue(sheet->GetSafeHwnd(), kWatchdogTimerId), 2000u);
  EXPECT_FALSE(sheet->Widget()->isVisible());
  // What the modal run does next: the window goes, the watchdog with it.
  sheet->DestroyWindow();
  host.RunFor(5000);
  EXPECT_FALSE(host.Exited());
}

TEST_F(SheetTest, OkWhileAnOperationRunsBeepsAndTheWatchdogEndsTheProgramTwoSecondsLater) {
  Show();
  ASSERT_TRUE(sheet->BeginOperation(OP_DEREGISTER));
  sheet->PressOk();
  EXPECT_EQ(host.Beeps().size(), 1u);
  EXPECT_FALSE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->GetOperation(), OP_DEREGISTER);
  host.RunFor(1999);
  EXPECT_FALSE(host.Exited());
  host.RunFor(1);
  EXPECT_TRUE(host.Exited());
  EXPECT_EQ(host.ExitCode(), 0);
  EXPECT_EQ(host.NowMs(), 2000u);
}

TEST_F(SheetTest, CancelWhileAnOperationRunsAbandonsItAndTheWatchdogEndsTheProgram) {
  Show();
  ASSERT_TRUE(sheet->BeginOperation(OP_CHANGE_PIN));
  host.RunFor(3000);  // past the wait dialog's minimum time
  ASSERT_NE(sheet->GetWaitDialog(), nullptr);
  sheet->PressCancel();
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_EQ(sheet->GetWaitDialog(), nullptr);
  EXPECT_EQ(CWaitDialog::LiveCount(), 0);
  EXPECT_FALSE(sheet->IsModalEnded());
  EXPECT_TRUE(sheet->Widget()->isVisible());
  host.RunFor(2000);
  EXPECT_TRUE(host.Exited());
  EXPECT_EQ(host.ExitCode(), 0);
  EXPECT_EQ(host.NowMs(), 5000u);
}

TEST_F(SheetTest, CancelAndTheCloseBoxDropTheQueueWaitASecondAndEnd) {
  struct Case {
    const char* name;
    std::function<void(CRadynPropSheet&)> press;
  };
  const Case cases[] = {
      {"Abbrechen", [](CRadynPropSheet& s) { s.PressCancel(); }},
      {"close box", [](CRadynPropSheet& s) { s.PressClose(); }},
      {"Escape", [](CRadynPropSheet& s) { QTest::keyClick(s.Widget(), Qt::Key_Escape); }},
      {"window close", [](CRadynPropSheet& s) { s.Widget()->close(); }},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    VirtualSerialSystem ports(&host.Clock());
    {
      CConfigApp app(host, ports);
      CRadynPropSheet& sheet = app.CreateMainSheet();
      sheet.Create();
      c.press(sheet);
      EXPECT_TRUE(sheet.IsModalEnded()) << c.name;
      EXPECT_EQ(sheet.ModalResult(), IDCANCEL) << c.name;
      EXPECT_EQ(sheet.GetOperation(), OP_IDLE) << c.name;
      ASSERT_EQ(host.Sleeps().size(), 1u) << c.name;
      EXPECT_EQ(host.Sleeps()[0].ms, 1000u) << c.name;
      EXPECT_TRUE(host.IsTimerRunning(sheet.GetSafeHwnd(), kWatchdogTimerId)) << c.name;
    }
    ProcessDeferredDeletes();
  }
}

TEST_F(SheetTest, EnterIsOk) {
  Show();
  QTest::keyClick(sheet->Widget(), Qt::Key_Return);
  EXPECT_TRUE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->ModalResult(), IDOK);
}

TEST_F(SimulatedSheetTest, OkInTheConfigurationStateLeavesItFirstAndEndsOnTheAnswer) {
  Show();
  ASSERT_TRUE(Connect());
  adapter->ClearTrace();
  sheet->PressOk();
  EXPECT_FALSE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->GetOperation(), OP_CLOSE);
  ASSERT_TRUE(host.RunUntil([&] { return sheet->IsModalEnded(); }, 1500));
  EXPECT_EQ(sheet->ModalResult(), IDOK);
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_FALSE(sheet->GetPort().IsOpen());
  EXPECT_EQ(sheet->GetPort().GetState(), LINK_IDLE);
  std::string taken;
  for (const auto& entry : adapter->TraceLog()) {
    if (entry.direction == '>') taken += entry.bytes;
  }
  EXPECT_NE(taken.find("AT+KDV24O\r"), std::string::npos) << taken;
  sheet->DestroyWindow();
  host.RunFor(5000);
  EXPECT_FALSE(host.Exited());
}

TEST_F(SimulatedSheetTest, CancelInTheConfigurationStateLeavesItWithTheCancelResult) {
  Show();
  ASSERT_TRUE(Connect());
  sheet->PressCancel();
  ASSERT_TRUE(host.RunUntil([&] { return sheet->IsModalEnded(); }, 900));
  EXPECT_EQ(sheet->ModalResult(), IDCANCEL);
  EXPECT_FALSE(sheet->GetPort().IsOpen());
}

class FailedLeaveTest : public SimulatedSheetTest {
 protected:
  // OK in the configuration state; the adapter does not answer, and the
  // session reports the failure; the question gets answer.
  void PressOkAndFail(int answer) {
    Show();
    ASSERT_TRUE(Connect());
    adapter->SetFaults({.reply = false});
    sheet->PressOk();
    ASSERT_EQ(sheet->GetOperation(), OP_CLOSE);
    host.ScriptMessageBox(answer);
    host.Post(sheet->GetSafeHwnd(), WM_OPERATION_DONE, 0, 0);
    host.RunPending();
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    const auto& box = host.MessageBoxes()[0];
    EXPECT_EQ(box.text,
              "Das Lumora K471 Data am COM-Anschluß \"COM1\" konnte nicht in den Betriebszustand umgeschaltet "
              "werden. Wollen Sie die Anwendung trotzdem beenden?");
    EXPECT_EQ(box.flags, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  }
};

TEST_F(FailedLeaveTest, YesQuitsAnyway) {
  PressOkAndFail(IDYES);
  EXPECT_TRUE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->ModalResult(), IDOK);
  EXPECT_FALSE(sheet->GetPort().IsOpen());
}

TEST_F(FailedLeaveTest, NoTakesTheLinkUpAgainButTheWatchdogStillEndsTheProgram) {
  PressOkAndFail(IDNO);
  EXPECT_FALSE(sheet->IsModalEnded());
  EXPECT_TRUE(sheet->GetPort().IsOpen());
  EXPECT_FALSE(sheet->GetSession().GetQueue().empty());
  host.RunFor(2000);
  EXPECT_TRUE(host.Exited());
  EXPECT_EQ(host.ExitCode(), 0);
}

TEST_F(SheetTest, OperationDoneIsIgnoredUnlessTheSheetIsClosing) {
  Show();
  ASSERT_TRUE(sheet->BeginOperation(OP_REGISTER));
  EXPECT_EQ(host.Send(sheet->GetSafeHwnd(), WM_OPERATION_DONE, 1, 0), 1);
  EXPECT_FALSE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->GetOperation(), OP_REGISTER);
  EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST_F(SimulatedSheetTest, ABaseReadyForRegistrationEndsTheProgramAfterItsMessage) {
  Show();
  ASSERT_TRUE(Connect());
  adapter->ClearTrace();
  ASSERT_TRUE(sheet->BeginOperation(OP_BASE_READY));
  ASSERT_EQ(host.MessageBoxes().size(), 1u);
  EXPECT_EQ(host.MessageBoxes()[0].text, "Die Basis ist anmeldebereit. Das Konfigurationsprogramm wird beendet.");
  EXPECT_EQ(host.MessageBoxes()[0].flags, MB_OK);
  EXPECT_TRUE(sheet->IsModalEnded());
  EXPECT_EQ(sheet->ModalResult(), IDOK);
  EXPECT_FALSE(sheet->Widget()->isVisible());
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  host.RunFor(200);
  std::string taken;
  for (const auto& entry : adapter->TraceLog()) {
    if (entry.direction == '>') taken += entry.bytes;
  }
  EXPECT_NE(taken.find("AT+KDV24O\r"), std::string::npos) << taken;
}

// ---- screenshots ----------------------------------------------------------------------------------

TEST_F(SimulatedSheetTest, ScreenshotsOfTheSheetAndItsPages) {
  Show();
  ASSERT_TRUE(Connect());
  host.Post(sheet->GetSafeHwnd(), WM_REFRESH_VIEWS, 0x1F);
  host.RunPending();
  const char* names[] = {"sheet-general.png", "sheet-mode.png", "sheet-local.png", "sheet-partner.png"};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(sheet->SetActivePage(i));
    QImage image = SaveScreenshot(sheet->Widget(), names[i]);
    EXPECT_EQ(image.size(), sheet->Widget()->size());
  }
  ASSERT_TRUE(sheet->BeginOperation(OP_REGISTER));
  SaveScreenshot(sheet->GetWaitDialog()->Widget(), "wait-dialog.png");
}

}  // namespace
}  // namespace k470::test
