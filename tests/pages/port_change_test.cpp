// The connection page's port changes: leaving the configuration state on
// the old port, the discard question, the re-open and its failures, and
// the reconnects after operations that restart the adapter.
#include <gtest/gtest.h>

#include <cerrno>

#include "configtool/res/dialogs.h"
#include "pages_fixture.h"

namespace k470::test {
namespace {

constexpr const char* kDiscardSwitch =
    "Sie haben noch nicht alle geänderten Einstellungen übernommen. Diese Änderungen gehen verloren. Wollen Sie den "
    "Anschluß trotzdem wechseln?";

// The simulated handset on COM1 (found at start), a scripted adapter on
// COM2.
class PortChangeTest : public PagesTest {
 public:
  void SetUp() override {
    PagesTest::SetUp();
    com1 = &AddPort("COM1");
    adapter = &AttachSimulator(*com1);
    com2 = &AddPort("COM2");
    other = &AttachScripted(*com2);
    Start();
    ASSERT_TRUE(RunUntilConnected());
    ASSERT_EQ(sheet->GetPort().GetCurrentPort(), "COM1");
    com1->ClearWritten();
    system.attempts.clear();
  }

  VirtualPort* com1 = nullptr;
  VirtualPort* com2 = nullptr;
  sim::SimulatedAdapter* adapter = nullptr;
  ScriptedAdapter* other = nullptr;
};

TEST_F(PortChangeTest, TheOldAdapterLeavesItsConfigurationStateBeforeTheNewPortOpens) {
  ChoosePort("COM2");
  EXPECT_EQ(sheet->GetOperation(), OP_SWITCH_PORT);
  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_PORT_STATE), "Initialisierung");
  ASSERT_TRUE(RunUntilConnected());

  EXPECT_EQ(com1->Written(), "AT+KDV24O\r");
  EXPECT_FALSE(com1->IsOpen());
  EXPECT_EQ(system.attempts, std::vector<std::string>{"COM2"});
  EXPECT_EQ(sheet->GetPort().GetCurrentPort(), "COM2");
  EXPECT_EQ(SelectedText(General(), IDC_GEN_PORT_LIST), "COM2");
  EXPECT_EQ(General().PortStateText(), "Konfigurationszustand");
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(host.WaitCursorCount(), 0);
  // The new adapter's data, not the old one's.
  EXPECT_EQ(sheet->GetSession().GetStationName(true), "Mein Teilnehmer");
}

TEST_F(PortChangeTest, UnappliedEditsOfTheOtherPagesAreAskedAboutFirst) {
  Mode().SetModifiedFlag(1);
  host.ScriptMessageBox(IDNO);
  ChoosePort("COM2");
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{kDiscardSwitch});
  EXPECT_EQ(host.MessageBoxes()[0].flags, MB_YESNO | MB_ICONWARNING);
  host.RunFor(5000);
  // Declined: nothing happened, and the list shows the port in use again.
  EXPECT_EQ(SelectedText(General(), IDC_GEN_PORT_LIST), "COM1");
  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_PORT_STATE), "Konfigurationszustand");
  EXPECT_EQ(com1->Written().find("AT+KDV24O\r"), std::string::npos);
  EXPECT_TRUE(system.attempts.empty());
  EXPECT_EQ(Mode().IsModified(), 1);
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);

  host.ScriptMessageBox(IDYES);
  ChoosePort("COM2");
  ASSERT_TRUE(RunUntilConnected());
  EXPECT_EQ(sheet->GetPort().GetCurrentPort(), "COM2");
  EXPECT_EQ(Mode().IsModified(), 0);
  EXPECT_EQ(BoxTexts().size(), 2u);
}

TEST_F(PortChangeTest, ThePortInUseInTheConfigurationStateIsNotOpenedAgain) {
  ChoosePort("COM1");
  host.RunFor(5000);
  EXPECT_TRUE(system.attempts.empty());
  EXPECT_TRUE(com1->IsOpen());
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_EQ(com1->Written().find("AT+KDV24O\r"), std::string::npos);
}

TEST_F(PortChangeTest, ThePortInUseIsReconnectedWhenItsAdapterIsNotInTheConfigurationState) {
  adapter->SetFaults({.echo = false, .reply = false});
  // Three unanswered polls: the session gives up, the page closes the port.
  host.RunUntil([&] { return sheet->GetPort().GetState() == LINK_NO_ANSWER; }, 30000);
  host.RunPending();
  EXPECT_FALSE(com1->IsOpen());
  EXPECT_EQ(General().PortStateText(), "Station antwortet nicht");
  host.ClearMessageBoxes();
  adapter->SetFaults({});
  ChoosePort("COM1");
  ASSERT_TRUE(RunUntilConnected());
  EXPECT_EQ(system.attempts, std::vector<std::string>{"COM1"});
  EXPECT_EQ(sheet->GetPort().GetState(), LINK_CONFIG);
}

TEST_F(PortChangeTest, ASelectionWhileAnotherOperationRunsBeepsAndShowsThePortInUseAgain) {
  ASSERT_TRUE(sheet->BeginOperation(OP_DEREGISTER));
  ChoosePort("COM2");
  EXPECT_EQ(host.Beeps(), std::vector<unsigned>{BEEP_DEFAULT});
  EXPECT_EQ(SelectedText(General(), IDC_GEN_PORT_LIST), "COM1");
  EXPECT_EQ(sheet->GetOperation(), OP_DEREGISTER);
  host.RunFor(5000);
  EXPECT_TRUE(system.attempts.empty());
  sheet->EndOperation();
}

class LeaveFailureTest : public PortChangeTest, public ::testing::WithParamInterface<int> {};

TEST_P(LeaveFailureTest, TheUserDecidesWhetherToChangeAnyway) {
  const int answer = GetParam();
  adapter->SetFaults({.reply = false});
  host.ScriptMessageBox(answer);
  ChoosePort("COM2");
  ASSERT_TRUE(RunUntilIdle());
  host.RunFor(2000);

  ASSERT_EQ(BoxTexts(), std::vector<std::string>{
                            "Das Lumora K471 Data am COM-Anschluß \"COM1\" konnte nicht in den Betriebszustand "
                            "umgeschaltet werden. Wollen Sie den Anschluß trotzdem wechseln?"});
  EXPECT_EQ(host.MessageBoxes()[0].flags, MB_YESNO | MB_ICONWARNING);
  EXPECT_EQ(host.WaitCursorCount(), 0);
  EXPECT_FALSE(com1->IsOpen());
  if (answer == IDYES) {
    EXPECT_EQ(sheet->GetPort().GetCurrentPort(), "COM2");
    EXPECT_EQ(sheet->GetPort().GetState(), LINK_CONFIG);
  } else {
    // The old port stays selected; it was closed, since its adapter no
    // longer answers.
    EXPECT_TRUE(system.attempts.empty());
    EXPECT_EQ(SelectedText(General(), IDC_GEN_PORT_LIST), "COM1");
    EXPECT_EQ(sheet->GetPort().GetState(), LINK_NO_ANSWER);
    EXPECT_EQ(General().PortStateText(), "Station antwortet nicht");
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, LeaveFailureTest, ::testing::Values(IDYES, IDNO),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == IDYES ? "Yes" : "No");
                         });

struct ReopenCase {
  const char* name;
  std::function<void(PagesTest&, VirtualPort&)> breakPort;
  std::string text;
  const char* portState;
};

class ReopenFailureTest : public PagesTest, public ::testing::WithParamInterface<ReopenCase> {};

TEST_P(ReopenFailureTest, OneMessageAndThePageIsFreeForTheNextChoice) {
  const ReopenCase& c = GetParam();
  AttachSimulator(AddPort("COM1"));
  VirtualPort& broken = AddPort("COM2");
  Start();
  ASSERT_TRUE(RunUntilConnected());
  c.breakPort(*this, broken);
  ChoosePort("COM2");
  ASSERT_TRUE(RunUntilIdle());
  host.RunFor(2000);

  ASSERT_EQ(BoxTexts(), std::vector<std::string>{c.text});
  EXPECT_EQ(host.MessageBoxes()[0].flags, MB_OK | MB_ICONERROR);
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_EQ(host.WaitCursorCount(), 0);
  EXPECT_EQ(General().PortStateText(), c.portState);
  EXPECT_FALSE(sheet->GetPort().IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReopenFailureTest,
    ::testing::Values(
        ReopenCase{"InUse", [](PagesTest&, VirtualPort& p) { p.FailOpen(OpenError::InUse); }, kPortNotAvailable,
                   "COM-Anschluß nicht verfügbar"},
        ReopenCase{"NoStation", [](PagesTest&, VirtualPort&) {}, NotFound("Lumora Data"),
                   "Station nicht angeschlossen"},
        // The port opens but cannot be set up: nothing would end the
        // re-open by itself.
        ReopenCase{"CannotBeSetUp", [](PagesTest&, VirtualPort& p) { p.FailConfigure(true); }, kPortNotAvailable,
                   "Initialisierung"},
        ReopenCase{"AccessDenied",
                   [](PagesTest& t, VirtualPort&) { t.system.Deny("COM2", EPERM, "/nonexistent/ttyS1"); },
                   std::string(kPortNotAvailable) +
                       " Sie haben keine Rechte, das Gerät /nonexistent/ttyS1 zu öffnen; bitten Sie Ihren "
                       "Systemverwalter um Zugriff.",
                   "COM-Anschluß nicht verfügbar"}),
    [](const ::testing::TestParamInfo<ReopenCase>& info) { return std::string(info.param.name); });

TEST_F(PagesTest, AFailedReopenIsGivenUpWhenTheUserPicksAPort) {
  AttachSimulator(AddPort("COM1"));
  AddPort("COM2").FailConfigure(true);
  Start();
  ASSERT_TRUE(RunUntilConnected());
  ChoosePort("COM2");
  ASSERT_TRUE(RunUntilIdle());
  ChoosePort("COM1");
  ASSERT_TRUE(RunUntilConnected());
  EXPECT_EQ(sheet->GetPort().GetCurrentPort(), "COM1");
}

// ---- reconnects after operations that restart the adapter -------------------------------

class RestartTest : public PagesTest, public ::testing::WithParamInterface<OperationCode> {};

TEST_P(RestartTest, ThePageWaitsForTheRestartAndReconnectsToTheSamePort) {
  const OperationCode operation = GetParam();
  VirtualPort& com1 = AddPort("COM1");
  AttachSimulator(com1);
  AttachScripted(AddPort("COM2"));
  Start();
  ASSERT_TRUE(RunUntilConnected());
  system.attempts.clear();

  // What the adapter page does: the operation, its command, and on success
  // the port closed without forgetting it.
  ASSERT_TRUE(sheet->BeginOperation(operation));
  if (operation == OP_CHANGE_TYPE) {
    sheet->GetSession().ChangeStationType(sheet->GetSafeHwnd());
  } else {
    sheet->GetSession().FactoryReset(sheet->GetSafeHwnd());
  }
  ASSERT_TRUE(host.RunUntil([&] { return sheet->GetPort().GetState() == LINK_NO_STATION; }, 10000));
  sheet->GetPort().Close(false);
  const uint64_t closedAt = host.NowMs();

  ASSERT_TRUE(RunUntilConnected());
  EXPECT_EQ(system.attempts, std::vector<std::string>{"COM1"});
  EXPECT_EQ(sheet->GetPort().GetCurrentPort(), "COM1");
  bool waited = false;
  for (const auto& sleep : host.Sleeps()) waited |= sleep.ms == 5000 && sleep.at >= closedAt;
  EXPECT_TRUE(waited);
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(host.WaitCursorCount(), 0);
  // The handset is a base now, or back in its delivery state (a base).
  EXPECT_EQ(sheet->GetSession().GetStationType(true), STATION_BASE);
}

INSTANTIATE_TEST_SUITE_P(Operations, RestartTest, ::testing::Values(OP_CHANGE_TYPE, OP_FACTORY_RESET),
                         [](const ::testing::TestParamInfo<OperationCode>& info) {
                           return std::string(info.param == OP_CHANGE_TYPE ? "TypeChange" : "FactoryReset");
                         });

// ---- the type change that precedes a registration at a base -------------------------------

class RegistrationTest : public PagesTest {
 public:
  // Runs the adapter page's part: OP_REGISTER_TYPE with the type change,
  // then the port closed once the adapter restarts. Records the operations
  // the sheet goes through until it is idle again.
  std::vector<OperationCode> ChangeTypeAndRegister(const std::string& pin) {
    sheet->LastPin() = pin;
    EXPECT_TRUE(sheet->BeginOperation(OP_REGISTER_TYPE));
    sheet->GetSession().ChangeStationType(sheet->GetSafeHwnd());
    EXPECT_TRUE(host.RunUntil([&] { return sheet->GetPort().GetState() == LINK_NO_STATION; }, 10000));
    sheet->GetPort().Close(false);
    std::vector<OperationCode> seen{sheet->GetOperation()};
    host.RunUntil(
        [&] {
          if (sheet->GetOperation() != seen.back()) seen.push_back(sheet->GetOperation());
          return sheet->GetOperation() == OP_IDLE;
        },
        60000);
    return seen;
  }
};

TEST_F(RegistrationTest, AfterTheTypeChangeTheHandsetRegistersInItsFirstFreeSlotWithThePin) {
  sim::World& world = World();
  world.AddStation({.id = "Neu", .type = sim::StationType::Base, .name = "Neu"});
  world.AddStation({.id = "Zentrale", .type = sim::StationType::Base, .name = "Zentrale", .pin = "1234"});
  VirtualPort& com1 = AddPort("COM1");
  sim::SimulatedAdapter& local = AttachSimulator(com1, "Neu");
  Start();
  ASSERT_TRUE(RunUntilConnected());
  ASSERT_EQ(sheet->GetSession().GetStationType(true), STATION_BASE);
  world.PressRegistrationButton("Zentrale");
  local.ClearTrace();

  const std::vector<OperationCode> seen = ChangeTypeAndRegister("1234");
  EXPECT_EQ(seen, (std::vector<OperationCode>{OP_REGISTER_TYPE, OP_CHECK_TYPE, OP_REGISTER, OP_IDLE}));
  std::string taken;
  for (const auto& entry : local.TraceLog()) {
    if (entry.direction == '>') taken += entry.bytes;
  }
  EXPECT_NE(taken.find("AT+KDV24^KOAC1234,0\r"), std::string::npos) << taken;
  EXPECT_TRUE(BoxTexts().empty());
  host.RunFor(10000);
  EXPECT_EQ(sheet->GetSession().GetStationType(true), STATION_HANDSET);
  EXPECT_EQ(sheet->GetSession().GetRegistrations(true).at(0), "Zentrale");
}

TEST_F(RegistrationTest, AStationThatStaysABaseCannotRegister) {
  ScriptedAdapter& adapter = AttachScripted(AddPort("COM1"));
  adapter.SetInfo("#T", "0");
  adapter.SetInfo("&V", "B1 \\R7 \\F2 \\P0 \\Q2 #T0 #D0");
  Start();
  ASSERT_TRUE(RunUntilConnected());
  const std::vector<OperationCode> seen = ChangeTypeAndRegister("1234");
  EXPECT_EQ(seen, (std::vector<OperationCode>{OP_REGISTER_TYPE, OP_CHECK_TYPE, OP_IDLE}));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Der Typ der lokalen Station konnte nicht geändert werden. Die "
                                                 "Anmeldung bei der Basis war nicht möglich."});
  EXPECT_EQ(host.MessageBoxes()[0].flags, MB_OK | MB_ICONERROR);
  EXPECT_EQ(host.WaitCursorCount(), 0);
  for (const std::string& command : adapter.Commands()) EXPECT_EQ(command.rfind("^KOAC", 0), std::string::npos);
}

TEST_F(RegistrationTest, AnAdapterThatDoesNotComeBackEndsTheOperationWithAMessage) {
  ScriptedAdapter& adapter = AttachScripted(AddPort("COM1"));
  adapter.SetInfo("#T", "0");
  Start();
  ASSERT_TRUE(RunUntilConnected());
  adapter.SetPresent(false);
  const std::vector<OperationCode> seen = ChangeTypeAndRegister("1234");
  EXPECT_EQ(seen, (std::vector<OperationCode>{OP_REGISTER_TYPE, OP_IDLE}));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{NotFound("Lumora Data")});
  EXPECT_EQ(host.WaitCursorCount(), 0);
}

}  // namespace
}  // namespace k470::test
