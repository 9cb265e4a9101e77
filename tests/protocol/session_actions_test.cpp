// The reply actions: for each command what a failure shows (exact German
// text, buttons, icon), what it notifies and re-reads, and what an OK
// queues and changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "configtool/res/string_ids.h"
#include "session_rig.h"

namespace k470 {
namespace {

using test::ScriptedAdapter;
using test::SessionRig;
using Behaviour = ScriptedAdapter::Behaviour;

Behaviour Word(const std::string& word, const std::string& info = "") { return Behaviour::Word(word, info); }

constexpr intptr_t kNoDone = -1;
const intptr_t kError = IDS_RESULT_ERROR;
const intptr_t kFailure = IDS_RESULT_FAILURE;
const intptr_t kInvalidPin = IDS_RESULT_INVALID_PIN;
const intptr_t kBaseFull = IDS_RESULT_BASE_FULL;

void MakeLocalBase(SessionRig& rig) {
  rig.adapter.SetInfo("#T", "0");
  rig.adapter.SetInfo("&V", "B1 \\R7 \\F2 \\P0 \\Q2 #T0 #D0");
}

struct FailureCase {
  const char* name;
  std::function<void(SessionRig&)> start;
  std::string command;  // as the adapter sees it
  std::string word;
  std::string text;  // "" = no message
  unsigned flags;
  intptr_t done;     // lParam of WM_OPERATION_DONE to the page, kNoDone = none
  bool rereads;      // "#R0" and "&V" follow
  bool base = false;
};

std::vector<FailureCase> FailureCases() {
  const unsigned retry = MB_RETRYCANCEL | MB_ICONSTOP;
  const unsigned ok = MB_OK | MB_ICONSTOP;
  const std::string mode = "Die Einstellungen für die Betriebsart konnten nicht vollständig übernommen werden. ";
  const std::string reg = "Die Anmeldung bei der Basis war nicht möglich. ";
  const std::string full = "In der Basis ist kein Anmeldeplatz frei. Löschen Sie an der Basis bitte eine Anmeldung.";
  const std::string pin = "Die PIN der Basis konnte nicht geändert werden. ";
  return {
      {"B", [](SessionRig& r) { r.session.SetOperatingMode(r.page.Id(), 1); }, "B1", "ERROR", mode, retry, kError, false},
      // A refusal other than ERROR may be asked again while attempts last.
      {"\\R", [](SessionRig& r) { r.session.SetBitRate(r.page.Id(), 5); }, "\\R5", "FAILURE", mode, retry, kFailure,
       false},
      {"\\F", [](SessionRig& r) { r.session.SetCharacterFormat(r.page.Id(), 1, 0, 0); }, "\\F2", "ERROR", mode, retry,
       kError, false},
      {"\\Q", [](SessionRig& r) { r.session.SetFlowControl(r.page.Id(), 2); }, "\\Q2", "ERROR", mode, retry, kError,
       false},
      {"N local", [](SessionRig& r) { r.session.SetStationName(r.page.Id(), "Neu", true); }, "NNeu,0", "ERROR",
       "Der Name der lokalen Station konnte nicht geändert werden. ", retry, kError, false},
      {"N partner", [](SessionRig& r) { r.session.SetStationName(r.page.Id(), "Neu", false); }, "NNeu,1", "FAILURE",
       "Der Name der Partnerstation konnte nicht geändert werden. ", retry, kFailure, false},
      {"^KOAC INVALID_PIN", [](SessionRig& r) { r.session.RegisterAtBase(r.page.Id(), 1, "1234"); }, "^KOAC1234,1",
       "INVALID_PIN", reg + "Die eingegebene PIN ist falsch.", ok, kInvalidPin, true},
      {"^KOAC BASE_FULL", [](SessionRig& r) { r.session.RegisterAtBase(r.page.Id(), 1, "1234"); }, "^KOAC1234,1",
       "BASE_FULL", reg + full, ok, kBaseFull, true},
      {"^KOAC FAILURE", [](SessionRig& r) { r.session.RegisterAtBase(r.page.Id(), 1, "1234"); }, "^KOAC1234,1",
       "FAILURE", reg + "Möglicherweise war die Basis nicht anmeldebereit.", ok, kFailure, true},
      {"^KOAC ERROR", [](SessionRig& r) { r.session.RegisterAtBase(r.page.Id(), 1, "1234"); }, "^KOAC1234,1", "ERROR",
       reg, ok, kError, true},
      {"^KENB BASE_FULL", [](SessionRig& r) { r.session.OpenRegistration(r.page.Id()); }, "^KENB", "BASE_FULL",
       full + " ", ok, kBaseFull, true},
      {"^KENB FAILURE", [](SessionRig& r) { r.session.OpenRegistration(r.page.Id()); }, "^KENB", "FAILURE",
       "Die Anmeldebereitschaft der Basis wurde beendet, ohne daß sich ein Teilnehmer angemeldet hat. ", retry,
       kFailure, true},
      {"^KENB ERROR", [](SessionRig& r) { r.session.OpenRegistration(r.page.Id()); }, "^KENB", "ERROR",
       "Die Anmeldebereitschaft der Basis konnte nicht hergestellt werden. ", retry, kError, true},
      {"^KENB INVALID_PIN", [](SessionRig& r) { r.session.OpenRegistration(r.page.Id()); }, "^KENB", "INVALID_PIN", "",
       0, kInvalidPin, true},
      {"^KATC FAILURE",
       [](SessionRig& r) {
         r.session.SetDeregisterName("Basis Eins");
         r.session.Deregister(r.page.Id(), 0);
       },
       "^KATC0", "FAILURE",
       "Die Funkverbindung zum ausgewählten Partner konnte nicht hergestellt werden. Die Abmeldung ist nur lokal "
       "erfolgt. Bitte überprüfen Sie die Abmeldung auch in der Partnerstation \"Basis Eins\"! Die entsprechende "
       "Abmeldung an der Partnerstation müssen Sie ggf. selbst vornehmen.",
       ok, kFailure, true},
      {"^KATC ERROR", [](SessionRig& r) { r.session.Deregister(r.page.Id(), 0); }, "^KATC0", "ERROR",
       "Die Abmeldung war nicht möglich. ", retry, kError, true},
      {"^KATC BASE_FULL", [](SessionRig& r) { r.session.Deregister(r.page.Id(), 0); }, "^KATC0", "BASE_FULL", "", 0,
       kBaseFull, true},
      {"#D", [](SessionRig& r) { r.session.SelectPartner(r.page.Id(), 0); }, "#D0", "ERROR",
       "Der Verbindungspartner konnte nicht ausgewählt werden. ", retry, kError, true},
      {"^CHGPIN INVALID_PIN", [](SessionRig& r) { r.session.ChangePin(r.page.Id(), "1234", "5678"); },
       "^CHGPIN1234,5678", "INVALID_PIN", pin + "Die eingegebene PIN ist falsch.", ok, kInvalidPin, false, true},
      {"^CHGPIN ERROR at a base", [](SessionRig& r) { r.session.ChangePin(r.page.Id(), "1234", "5678"); },
       "^CHGPIN1234,5678", "ERROR", pin, retry, kError, false, true},
      // A handset's PIN change runs at its base: no Retry.
      {"^CHGPIN ERROR at a handset", [](SessionRig& r) { r.session.ChangePin(r.page.Id(), "1234", "5678"); },
       "^CHGPIN1234,5678", "ERROR", pin, ok, kError, false},
      {"^KBASC", [](SessionRig& r) { r.session.ChangeStationType(r.page.Id()); }, "^KBASC0", "ERROR",
       "Der Typ der lokalen Station konnte nicht geändert werden. ", retry, kError, false},
      {"&F", [](SessionRig& r) { r.session.FactoryReset(r.page.Id()); }, "&F", "FAILURE",
       "Die lokale Station konnte nicht in den Auslieferungszustand zurückgesetzt werden. ", retry, kFailure, false},
      {"#Q", [](SessionRig& r) { r.session.SetAutoReleaseTime(r.page.Id(), "2"); }, "#Q120", "ERROR",
       "Die Zeit für die automatische Freigabe konnte nicht gesetzt werden. ", retry, kError, false},
      {"\\P", [](SessionRig& r) { r.session.SetLocalFlowControl(r.page.Id(), true); }, "\\P1", "ERROR", "", 0, kError,
       false},
      {"O", [](SessionRig& r) { r.session.LeaveConfiguration(r.page.Id()); }, "O", "ERROR", "", 0, kError, false},
  };
}

TEST(FailureActionTest, MessageNoticeAndRereadOfEveryCommand) {
  for (const auto& c : FailureCases()) {
    SessionRig rig;
    if (c.base) MakeLocalBase(rig);
    rig.OpenAndDetect();
    rig.adapter.Always(c.command, Word(c.word));
    rig.adapter.ClearLines();
    c.start(rig);
    rig.host.RunFor(300);

    std::vector<std::string> commands = rig.adapter.Commands();
    auto sent = std::find(commands.begin(), commands.end(), c.command);
    ASSERT_NE(sent, commands.end()) << c.name;
    const auto& boxes = rig.host.MessageBoxes();
    if (c.text.empty()) {
      EXPECT_TRUE(boxes.empty()) << c.name;
    } else {
      ASSERT_EQ(boxes.size(), 1u) << c.name;
      EXPECT_EQ(boxes[0].text, c.text) << c.name;
      EXPECT_EQ(boxes[0].flags, c.flags) << c.name;
      EXPECT_EQ(boxes[0].caption, "Eigenschaften des Lumora Data") << c.name;
      // The wait dialog is out of the way while the message is up.
      EXPECT_EQ(rig.sheet.waitDialog, "H") << c.name;
    }
    auto done = rig.page.Of(WM_OPERATION_DONE);
    ASSERT_EQ(done.size(), 1u) << c.name;
    EXPECT_EQ(done[0].wParam, 0u) << c.name;
    EXPECT_EQ(done[0].lParam, c.done) << c.name;
    EXPECT_EQ(rig.CountOf(c.command), 1u) << c.name;
    // The re-read comes last, behind the status poll that the box let fall
    // due at once.
    bool reread = commands.size() >= 2 && commands[commands.size() - 2] == "#R0" && commands.back() == "&V";
    EXPECT_EQ(reread, c.rereads) << c.name;
  }
}

TEST(FailureActionTest, RetrySendsTheSameCommandAgain) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("^KENB", Word("FAILURE"));
  rig.adapter.ClearLines();
  rig.host.ScriptMessageBox(IDRETRY);
  rig.host.ScriptMessageBox(IDCANCEL);
  rig.session.OpenRegistration(rig.page.Id());
  rig.host.RunFor(300);
  EXPECT_EQ(rig.CountOf("^KENB"), 2u);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 2u);
  // Hidden for the box, shown again for the retry, hidden for the second box.
  EXPECT_EQ(rig.sheet.waitDialog, "HSH");
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].lParam, kFailure);
  EXPECT_EQ(rig.session.GetQueue().size(), 0u);
}

TEST(FailureActionTest, OccupyAndReleaseFailQuietly) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("#V1", Word("FAILURE"));
  rig.adapter.Always("#V0", Word("ERROR"));
  rig.adapter.ClearLines();
  rig.host.BeginWaitCursor();
  rig.session.OccupyDataConnection();
  rig.host.RunFor(300);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(rig.sheet.reportOccupied, (std::vector<int>{1}));
  EXPECT_EQ(rig.host.WaitCursorCount(), 0);
  EXPECT_EQ(rig.adapter.Commands()[1], "#C");

  rig.adapter.ClearLines();
  rig.host.BeginWaitCursor();
  rig.session.ReleaseDataConnection();
  rig.host.RunFor(300);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(rig.sheet.reportOccupied.size(), 1u);
  EXPECT_EQ(rig.host.WaitCursorCount(), 0);
  EXPECT_EQ(rig.adapter.Commands()[1], "#C");
}

TEST(FailureActionTest, FailedPartnerChoiceEndsItsWaitCursor) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("#D0", Word("ERROR"));
  rig.session.SelectPartner(rig.page.Id(), 0);
  EXPECT_EQ(rig.host.WaitCursorCount(), 1);
  rig.host.RunFor(300);
  EXPECT_EQ(rig.host.WaitCursorCount(), 0);
}

TEST(FailureActionTest, LeaveConfigurationFailureStopsEverything) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("O", Word("ERROR"));
  rig.session.LeaveConfiguration(rig.sheet.GetSheetWindow());
  rig.session.SetBitRate(kNoTarget, 1);
  rig.host.RunFor(10000);
  EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
  EXPECT_TRUE(rig.session.GetQueue().empty());
  EXPECT_FALSE(rig.session.IsTimerRunning(TIMER_ALL));
  EXPECT_EQ(rig.CountOf("\\R1"), 0u);
  auto done = rig.sheet.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].wParam, 0u);
}

TEST(FailureActionTest, ProductQueryDecidesWhetherThisIsAnAdapter) {
  struct Case {
    OperationCode op;
    Behaviour behaviour;
    std::string text;
  };
  Behaviour silent;
  silent.kind = Behaviour::Silent;
  const std::vector<Case> cases = {
      {OP_REOPEN, Word("ERROR"), "Das angeschlossene Gerät ist kein Lumora Data. "},
      {OP_SWITCH_PORT, silent, "Das Lumora Data konnte nicht in den Konfigurationszustand umgeschaltet werden. "},
      // The search at start just moves on.
      {OP_START, Word("ERROR"), ""},
      {OP_START, silent, ""},
  };
  for (const auto& c : cases) {
    SessionRig rig;
    rig.sheet.SetOperation(c.op);
    rig.adapter.Always("I2,0", c.behaviour);
    rig.OpenAndDetect(4000);
    // Sent once only.
    EXPECT_EQ(rig.CountOf("I2,0"), 1u) << c.text;
    EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER) << c.text;
    EXPECT_TRUE(rig.session.GetQueue().empty()) << c.text;
    if (c.text.empty()) {
      EXPECT_TRUE(rig.host.MessageBoxes().empty());
    } else {
      ASSERT_EQ(rig.host.MessageBoxes().size(), 1u) << c.text;
      EXPECT_EQ(rig.host.MessageBoxes()[0].text, c.text);
      EXPECT_EQ(rig.host.MessageBoxes()[0].flags, MB_OK | MB_ICONSTOP);
    }
  }
}

TEST(FailureActionTest, PartnerQueryFailureIsDroppedSilently) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("I2,1", Word("ERROR"));
  rig.adapter.SetInfo("#C", "1");
  rig.host.RunFor(4000);
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_LINKED);
  EXPECT_EQ(rig.CountOf("I2,1"), 1u);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(rig.session.GetStationName(false), "Basis Eins");
}

// ---- OK actions -----------------------------------------------------------

TEST(OkActionTest, NameChangeRereadsTheNameAndTheOtherStationsList) {
  struct Case {
    bool linked;
    bool local;
    std::vector<std::string> follow;
  };
  const std::vector<Case> cases = {
      {false, true, {"I4,0"}},
      {true, true, {"I4,0", "#R1"}},
      {false, false, {"I4,1", "#R0"}},
      {true, false, {"I4,1", "#R0"}},
  };
  for (const auto& c : cases) {
    SessionRig rig;
    if (c.linked) rig.adapter.SetInfo("#C", "1");
    // Past the first status poll, so no poll comes in between.
    rig.OpenAndDetect(4000);
    ASSERT_EQ(rig.session.GetRadioState() == RADIO_LINKED, c.linked);
    ASSERT_TRUE(rig.session.GetQueue().empty());
    rig.adapter.ClearLines();
    rig.session.SetStationName(rig.page.Id(), "Neu", c.local);
    rig.host.RunFor(200);
    std::vector<std::string> expected = {c.local ? "NNeu,0" : "NNeu,1"};
    expected.insert(expected.end(), c.follow.begin(), c.follow.end());
    EXPECT_EQ(rig.adapter.Commands(), expected) << c.linked << c.local;
    auto done = rig.page.Of(WM_OPERATION_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].wParam, 1u);
    EXPECT_EQ(done[0].lParam, 0);
  }
}

TEST(OkActionTest, ReleaseTimeIsReadBackForTheLinkedStations) {
  for (bool linked : {false, true}) {
    SessionRig rig;
    if (linked) rig.adapter.SetInfo("#C", "1");
    rig.OpenAndDetect(4000);
    ASSERT_TRUE(rig.session.GetQueue().empty());
    rig.adapter.ClearLines();
    ASSERT_TRUE(rig.session.SetAutoReleaseTime(rig.page.Id(), "10:55"));
    rig.host.RunFor(200);
    std::vector<std::string> expected = {"#Q655", "#P0"};
    if (linked) expected.push_back("#P1");
    EXPECT_EQ(rig.adapter.Commands(), expected);
  }
}

TEST(OkActionTest, OccupyAndReleaseEndTheWaitCursorAndPoll) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.sheet.Clear();
  rig.adapter.ClearLines();
  rig.host.BeginWaitCursor();
  rig.session.OccupyDataConnection();
  rig.host.RunFor(30);
  EXPECT_EQ(rig.host.WaitCursorCount(), 0);
  EXPECT_EQ(rig.sheet.RefreshFlags(), (std::vector<uint32_t>{0x1E}));
  rig.host.RunFor(100);
  EXPECT_EQ(rig.adapter.Commands(), (std::vector<std::string>{"#V1", "#C", "#R0", "#W0"}));

  rig.sheet.Clear();
  rig.host.BeginWaitCursor();
  rig.session.ReleaseDataConnection();
  rig.host.RunFor(30);
  EXPECT_EQ(rig.host.WaitCursorCount(), 0);
  EXPECT_EQ(rig.sheet.RefreshFlags(), (std::vector<uint32_t>{0x12}));
}

TEST(OkActionTest, TypeChangeAndFactoryResetWaitForTheRestart) {
  for (bool reset : {false, true}) {
    SessionRig rig;
    rig.OpenAndDetect();
    rig.adapter.ClearLines();
    // Anything after the command is silent: the adapter restarts.
    ScriptedAdapter::Behaviour silent;
    silent.kind = ScriptedAdapter::Behaviour::Silent;
    rig.adapter.Always("^GETPRE", silent);
    uint64_t start = rig.host.NowMs();
    if (reset) {
      rig.session.FactoryReset(rig.page.Id());
    } else {
      rig.session.ChangeStationType(rig.page.Id());
    }
    rig.host.RunFor(2600);
    ASSERT_FALSE(rig.host.Sleeps().empty());
    EXPECT_EQ(rig.host.Sleeps().back().ms, 2500u);
    EXPECT_EQ(rig.host.Sleeps().back().at, start + 20);
    EXPECT_EQ(rig.adapter.Commands(), (std::vector<std::string>{reset ? "&F" : "^KBASC0", "^GETPRE"}));
    EXPECT_EQ(rig.TimesOf("^GETPRE")[0], start + 20 + 2500);
    EXPECT_EQ(rig.port.GetState(), LINK_NO_STATION);
    EXPECT_FALSE(rig.session.IsTimerRunning(TIMER_POLL));
    auto done = rig.page.Of(WM_OPERATION_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].wParam, 1u);
  }
}

TEST(OkActionTest, RegistrationAndDeregistrationRestartTheDetection) {
  for (std::string command : {"^KOAC1234,1", "^KATC1"}) {
    SessionRig rig;
    rig.OpenAndDetect();
    rig.adapter.ClearLines();
    uint64_t start = rig.host.NowMs();
    if (command[2] == 'O') {
      rig.session.RegisterAtBase(rig.page.Id(), 1, "1234");
    } else {
      rig.session.Deregister(rig.page.Id(), 1);
    }
    rig.host.RunFor(1100);
    EXPECT_EQ(rig.host.Sleeps().back().ms, 1000u);
    std::vector<std::string> commands = rig.adapter.Commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[0], command);
    EXPECT_EQ(commands[1], "^GETPRE");
    EXPECT_EQ(commands[2], "C");
    EXPECT_EQ(rig.TimesOf("^GETPRE")[0], start + 20 + 1000);
    auto done = rig.page.Of(WM_OPERATION_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].wParam, 1u);
  }
}

TEST(OkActionTest, PartnerChoiceReadsTheNewPartnerFromScratch) {
  SessionRig rig;
  rig.adapter.SetInfo("#C", "1");
  rig.OpenAndDetect(3000);
  ASSERT_EQ(rig.session.GetRadioState(), RADIO_LINKED);
  rig.adapter.SetInfo("#C", "0");
  rig.adapter.ClearLines();
  rig.sheet.Clear();
  ASSERT_TRUE(rig.session.SelectPartner(rig.page.Id(), 0));
  // The link is forgotten at once, and the pages hear of it.
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_NO_LINK);
  EXPECT_TRUE(rig.session.GetRegistrations(false).empty());
  EXPECT_EQ(rig.host.WaitCursorCount(), 1);
  rig.host.RunFor(500);
  std::vector<std::string> commands = rig.adapter.Commands();
  // The choice waits behind the status poll its own link-down queued.
  auto it = std::find(commands.begin(), commands.end(), "#D0");
  ASSERT_NE(it, commands.end());
  ASSERT_NE(it + 1, commands.end());
  EXPECT_EQ(*(it + 1), "^GETPRE");
  EXPECT_EQ(rig.host.WaitCursorCount(), 0);
  EXPECT_EQ(rig.sheet.RefreshFlags()[0], REFRESH_CONNECTION | REFRESH_PARTNER);
}

TEST(OkActionTest, BaseRegistrationWindowEndsTheProgram) {
  SessionRig rig;
  MakeLocalBase(rig);
  rig.OpenAndDetect();
  rig.adapter.ClearLines();
  rig.session.OpenRegistration(rig.page.Id());
  rig.host.RunFor(300);
  EXPECT_EQ(rig.sheet.beginCalls, (std::vector<OperationCode>{OP_BASE_READY}));
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].text,
            "Die Basis ist anmeldebereit. Das Konfigurationsprogramm wird beendet.");
  // The adapter is taken out of its configuration state.
  EXPECT_EQ(rig.adapter.Commands(), (std::vector<std::string>{"^KENB", "O"}));
  EXPECT_EQ(rig.sheet.endSheet, (std::vector<int>{IDOK}));
  EXPECT_FALSE(rig.session.IsReady());
}

TEST(OkActionTest, LeavingTheConfigurationStateResetsTheSession) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.session.LeaveConfiguration(rig.sheet.GetSheetWindow());
  rig.host.RunFor(100);
  auto done = rig.sheet.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].wParam, 1u);
  EXPECT_FALSE(rig.session.IsReady());
  EXPECT_TRUE(rig.session.GetRegistrations(true).empty());
  // Nothing is sent to an adapter that has left its configuration state.
  size_t lines = rig.adapter.Lines().size();
  rig.session.SetBitRate(kNoTarget, 2);
  rig.host.RunFor(10000);
  EXPECT_EQ(rig.adapter.Lines().size(), lines);
}

TEST(OkActionTest, ModeTabFollowsTheReportedMode) {
  SessionRig rig;
  rig.adapter.SetInfo("&V", "B5 \\R7 \\F2 \\P0 \\Q2 #T1 #D0");
  rig.OpenAndDetect();
  ASSERT_FALSE(rig.sheet.modeTab.empty());
  EXPECT_FALSE(rig.sheet.modeTab.back());
  EXPECT_EQ(rig.session.GetMode(), 5);
}

// ---- queries --------------------------------------------------------------

TEST(QueryTest, NamesMapTheModelPlaceholders) {
  struct Case {
    std::string product;  // as the adapter sends it (Windows-1252)
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"_V_2_4_", "Lumora K471 Data"},
      {"_u_s_b_", "Lumora K475 Data"},
      {"_U_S_B_", "Lumora K475 Data"},
      {"", "Lumora Data"},
      {"Fremdger\xE4t", "Fremdgerät"},
  };
  for (const auto& c : cases) {
    SessionRig rig;
    rig.adapter.SetInfo("I2,0", c.product);
    rig.adapter.SetInfo("I4,0", c.product);
    rig.OpenAndDetect();
    EXPECT_EQ(rig.session.GetProductName(true), c.shown) << c.product;
    EXPECT_EQ(rig.session.GetStationName(true), c.product.empty() ? "" : c.shown) << c.product;
  }
}

TEST(QueryTest, DefaultNamesAreEmptyUntilTheConnectionPageSetsThem) {
  SessionRig rig;
  rig.session.SetDefaultNames("", "", "", "");
  EXPECT_EQ(rig.session.GetProductName(true), "");
  rig.session.SetDefaultProductName("Lumora Data");
  rig.session.SetDefaultVendorName("CORVANE AG");
  EXPECT_EQ(rig.session.GetProductName(true), "Lumora Data");
  EXPECT_EQ(rig.session.GetVendorName(), "CORVANE AG");
  EXPECT_EQ(rig.session.MapDeviceName(""), "");
}

TEST(QueryTest, SlotStatesReleaseTimesAndTheDataHolder) {
  struct Case {
    std::string slots;  // "#W0" of a local base
    int32_t holder;
  };
  const std::vector<Case> cases = {
      {"0=0\r\n1=0\r\n2=1", 2},
      {"0=0\r\n1=0", 2147483647},
      {"0=1\r\n1=1", 0},
  };
  for (const auto& c : cases) {
    SessionRig rig;
    MakeLocalBase(rig);
    rig.adapter.SetInfo("#W0", c.slots);
    rig.adapter.SetInfo("#P0", "0=65535\r\n1=\r\n2=300");
    rig.OpenAndDetect();
    EXPECT_EQ(rig.session.FindDataHolder(), c.holder) << c.slots;
    EXPECT_EQ(rig.session.GetReleaseTime(true, 0), -1);
    EXPECT_EQ(rig.session.GetReleaseTime(true, 1), -1);
    EXPECT_EQ(rig.session.GetReleaseTime(true, 2), 300);
    EXPECT_EQ(rig.session.GetReleaseTime(true, 3), -1);
    // Only the low 8 bits of the index count.
    EXPECT_EQ(rig.session.GetReleaseTime(true, 0x102), 300);
    EXPECT_EQ(rig.session.GetSlotState(0x101, true), rig.session.GetSlotState(1, true));
    EXPECT_EQ(rig.session.GetSlotState(7, true), SLOT_FREE);
  }
}

TEST(QueryTest, PartnerNameNeedsAValidIndex) {
  for (const auto& [settings, name] : std::vector<std::pair<std::string, std::string>>{
           {"B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0", "Basis Eins"},
           {"B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D1", ""},
           {"B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D5", ""},
           {"B1 \\R7 \\F2 \\P0 \\Q2 #T1 ...", ""},
       }) {
    SessionRig rig;
    rig.adapter.SetInfo("&V", settings);
    rig.OpenAndDetect();
    EXPECT_EQ(rig.session.GetPartnerName(), name) << settings;
  }
}

}  // namespace
}  // namespace k470
