// The session against the scripted adapter on the virtual clock: the
// detection, the learnt prefix, the polling cadence, the radio link, the
// resend and give-up rules, DSR, message boxes during a query, cancelling.
#include <gtest/gtest.h>

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

Behaviour Silent() {
  Behaviour b;
  b.kind = Behaviour::Silent;
  return b;
}

Behaviour NoEcho(const std::string& word = "OK") {
  Behaviour b;
  b.kind = Behaviour::NoEcho;
  b.word = word;
  return b;
}

const char* const kDetectionLines[] = {
    "AT^GETPRE\r",   "AT+KDV24C\r",    "AT+KDV24#R0\r",   "AT+KDV24#T\r",   "AT+KDV24I2,0\r",
    "AT+KDV24I4,0\r", "AT+KDV24&V\r",   "AT+KDV24#P0\r",   "AT+KDV24I1,0\r", "AT+KDV24I6,0\r",
    "AT+KDV24#C\r",   "AT+KDV24#R0\r",  "AT+KDV24#W0\r",
};

TEST(DetectionTest, SendsTheSequenceAndReadsTheStation) {
  SessionRig rig;
  rig.sheet.SetOperation(OP_START);
  rig.OpenAndDetect();

  std::string expected;
  for (const char* line : kDetectionLines) expected += line;
  EXPECT_EQ(rig.com.Written().substr(0, expected.size()), expected);

  const CStationSession& s = rig.session;
  EXPECT_EQ(rig.port.GetState(), LINK_CONFIG);
  EXPECT_EQ(s.GetPrefix(), "AT+KDV24");
  EXPECT_EQ(s.GetProductName(true), "Lumora K471 Data");
  EXPECT_EQ(s.GetStationName(true), "Mein Teilnehmer");
  EXPECT_EQ(s.GetStationType(true), STATION_HANDSET);
  EXPECT_EQ(s.GetFirmwareVersion(true), "1.23");
  EXPECT_EQ(s.GetHardwareVersion(true), "HW 2");
  EXPECT_EQ(s.GetRegistrations(true), (std::vector<std::string>{"Basis Eins", ""}));
  EXPECT_EQ(s.GetRadioState(), RADIO_NO_LINK);
  EXPECT_EQ(s.GetPartnerIndex(), 0);
  EXPECT_EQ(s.GetPartnerName(), "Basis Eins");
  EXPECT_EQ(s.GetMode(), 1);
  EXPECT_EQ(s.GetBitRate(), 7);
  EXPECT_EQ(s.GetDataBits(), 1);
  EXPECT_EQ(s.GetParity(), 0);
  EXPECT_EQ(s.GetStopBits(), 0);
  EXPECT_EQ(s.GetFlowControl(), 2);
  EXPECT_EQ(s.GetReleaseTime(true, 0), 60);
  EXPECT_EQ(s.GetReleaseTime(true, 1), -1);
  EXPECT_EQ(s.GetSlotState(0, true), SLOT_REGISTERED);
  EXPECT_EQ(rig.sheet.modeTab, (std::vector<bool>{true, true}));
  // The wait cursor of the port operation ends when the detection starts.
  EXPECT_EQ(rig.host.WaitCursorLog(), "E");
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  // The port's refresh, the reset, and the pages' refreshes.
  uint32_t all = rig.sheet.RefreshUnion();
  EXPECT_EQ(all, REFRESH_PORT | REFRESH_CONNECTION | REFRESH_MODE | REFRESH_LOCAL | REFRESH_PARTNER);
  EXPECT_TRUE(s.GetQueue().empty());
  EXPECT_TRUE(s.IsTimerRunning(TIMER_POLL));
}

TEST(DetectionTest, LearntPrefixIsUsedAndSurvivesAReset) {
  SessionRig rig;
  rig.adapter.SetPrefix("+XY");
  rig.OpenAndDetect();
  EXPECT_EQ(rig.session.GetPrefix(), "AT+XY");
  ASSERT_GE(rig.adapter.Lines().size(), 2u);
  EXPECT_EQ(rig.adapter.Lines()[0].text, "AT^GETPRE");
  EXPECT_EQ(rig.adapter.Lines()[1].text, "AT+XYC");

  rig.port.Close(false);
  rig.adapter.ClearLines();
  rig.port.Open("COM1");
  rig.host.RunFor(500);
  ASSERT_GE(rig.adapter.Lines().size(), 2u);
  EXPECT_EQ(rig.adapter.Lines()[0].text, "AT^GETPRE");
  EXPECT_EQ(rig.adapter.Lines()[1].text, "AT+XYC");
}

TEST(DetectionTest, PrefixWithALineEndIsNotTaken) {
  SessionRig rig;
  rig.adapter.Script("^GETPRE", Word("OK", "+XY\r\n+Z"));
  rig.OpenAndDetect();
  EXPECT_EQ(rig.session.GetPrefix(), "AT+KDV24");
  EXPECT_EQ(rig.adapter.Lines()[1].text, "AT+KDV24C");
}

TEST(DetectionTest, PrefixFailureAtStartKeepsDetecting) {
  SessionRig rig;
  rig.sheet.SetOperation(OP_START);
  rig.adapter.Script("^GETPRE", Word("ERROR"));
  rig.OpenAndDetect();
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(rig.port.GetState(), LINK_CONFIG);
  EXPECT_EQ(rig.CountOf("^GETPRE"), 1u);
}

TEST(PollTest, StatusCycleStartsThreeSecondsAfterEachLinkStateReply) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.host.RunFor(12000);
  std::vector<uint64_t> times = rig.TimesOf("#C");
  ASSERT_GE(times.size(), 4u);
  // The adapter answers 20 ms after each line; the queue is idle by then.
  for (size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 3020u) << i;
  // No quality polls without a link.
  EXPECT_EQ(rig.CountOf("#I0"), 0u);
}

TEST(PollTest, LinkUpReadsThePartnerOnceAndPollsQuality) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.SetInfo("#C", "1");
  rig.host.RunFor(20000);

  const CStationSession& s = rig.session;
  EXPECT_EQ(s.GetRadioState(), RADIO_LINKED);
  // "#C" answered "1" at every poll, but the partner was read once.
  EXPECT_GE(rig.CountOf("#C"), 5u);
  EXPECT_EQ(rig.CountOf("I2,1"), 1u);
  EXPECT_EQ(s.GetProductName(false), "Lumora K475 Data");
  EXPECT_EQ(s.GetStationName(false), "Basis Eins");
  EXPECT_EQ(s.GetStationType(false), STATION_BASE);
  EXPECT_EQ(s.GetHardwareVersion(false), "HW 3");
  EXPECT_EQ(s.GetFirmwareVersion(false), "2.00");
  EXPECT_EQ(s.GetRegistrations(false), (std::vector<std::string>{"Mein Teilnehmer", ""}));
  EXPECT_EQ(s.GetOwnIndex(), 0);
  EXPECT_EQ(s.GetReleaseTime(false, 0), 120);
  EXPECT_EQ(s.GetSlotState(0, false), SLOT_DATA_CONNECTION);
  // A handset learns the data connection from its base.
  EXPECT_EQ(s.FindDataHolder(), 0);
  EXPECT_EQ(s.GetFieldStrength(), 42);
  EXPECT_EQ(s.GetQuality(), 77);

  // The partner's lists join the status cycle while linked.
  std::vector<std::string> commands = rig.adapter.Commands();
  std::vector<size_t> polls;
  for (size_t i = 0; i < commands.size(); ++i) {
    if (commands[i] == "#C") polls.push_back(i);
  }
  ASSERT_GE(polls.size(), 3u);
  size_t lastPoll = polls[polls.size() - 2];
  ASSERT_LE(lastPoll + 6, commands.size());
  EXPECT_EQ(std::vector<std::string>(commands.begin() + static_cast<long>(lastPoll),
                                     commands.begin() + static_cast<long>(lastPoll) + 6),
            (std::vector<std::string>{"#C", "#R0", "#W0", "#W1", "#R1", "#P1"}));

  // A quality cycle begins 5000 ms after each "#I1" reply (20 ms after its
  // line), or as soon after as the queue is free.
  std::vector<uint64_t> i1 = rig.TimesOf("#I1");
  std::vector<uint64_t> i0 = rig.TimesOf("#I0");
  ASSERT_GE(i1.size(), 3u);
  for (size_t k = 1; k < i0.size(); ++k) {
    uint64_t due = i1[k - 1] + 20 + 5000;
    EXPECT_GE(i0[k], due) << k;
    EXPECT_LE(i0[k], due + 200) << k;
  }
}

TEST(PollTest, LinkDownForgetsThePartner) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.SetInfo("#C", "1");
  rig.host.RunFor(8000);
  ASSERT_EQ(rig.session.GetRadioState(), RADIO_LINKED);
  rig.adapter.SetInfo("#C", "0");
  // Without a link the adapter cannot ask the partner; the partner reads
  // the last status cycle queued are refused, and dropped without a word.
  for (const char* partnerQuery : {"#W1", "#R1", "#P1", "I2,1", "I4,1", "I6,1", "I1,1", "#S"}) {
    rig.adapter.Always(partnerQuery, Word("ERROR"));
  }
  rig.host.RunFor(3500);
  const CStationSession& s = rig.session;
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(s.GetRadioState(), RADIO_NO_LINK);
  EXPECT_EQ(s.GetStationInfo(false).product, "");
  EXPECT_TRUE(s.GetRegistrations(false).empty());
  EXPECT_EQ(s.GetStationType(false), STATION_UNKNOWN);
  EXPECT_EQ(s.GetQuality(), 0);
  EXPECT_EQ(s.GetFieldStrength(), 0);
  EXPECT_FALSE(s.IsTimerRunning(TIMER_QUALITY));
  size_t qualityPolls = rig.CountOf("#I0");
  rig.host.RunFor(12000);
  EXPECT_EQ(rig.CountOf("#I0"), qualityPolls);
}

TEST(PollTest, LinkDownWithoutRegistrationsChangesNothing) {
  SessionRig rig;
  rig.adapter.SetInfo("#R0", "0=\r\n1=");
  rig.OpenAndDetect();
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_UNREGISTERED);
  size_t polls = rig.CountOf("#R0");
  rig.host.RunFor(3020);
  // One regular cycle, no extra cycle from a link that went down.
  EXPECT_EQ(rig.CountOf("#R0"), polls + 1);
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_UNREGISTERED);
}

TEST(ResendTest, AnswerWithoutEchoIsResentThenCountsAsNoAnswer) {
  SessionRig rig;
  // Three answers without echo: the channel writes "#T" three times and
  // then reports no valid answer; the session sends it once more.
  rig.adapter.Script("#T", NoEcho(), 3);
  rig.OpenAndDetect();
  std::vector<std::string> commands = rig.adapter.Commands();
  ASSERT_GE(commands.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(commands.begin() + 2, commands.begin() + 8),
            (std::vector<std::string>{"#R0", "#T", "#T", "#T", "#T", "I2,0"}));
  EXPECT_EQ(rig.session.GetStationType(true), STATION_HANDSET);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(rig.port.GetState(), LINK_CONFIG);
}

TEST(ResendTest, SettingWithoutAnswerIsSentThreeTimesThenGivenUp) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("\\R5", Silent());
  ASSERT_TRUE(rig.session.SetBitRate(rig.page.Id(), 5));
  uint64_t start = rig.host.NowMs();
  rig.host.RunFor(10000);

  std::vector<uint64_t> sends = rig.TimesOf("\\R5");
  ASSERT_EQ(sends.size(), 3u);
  EXPECT_EQ(sends[1] - sends[0], 3000u);
  EXPECT_EQ(sends[2] - sends[1], 3000u);
  EXPECT_LE(sends[0] - start, 100u);

  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  const auto& box = rig.host.MessageBoxes()[0];
  EXPECT_EQ(box.text,
            "Die Verbindung zur lokalen Station ist unterbrochen. Die Einstellungen für die Betriebsart konnten "
            "nicht vollständig übernommen werden.");
  EXPECT_EQ(box.flags, MB_OK | MB_ICONSTOP);
  EXPECT_EQ(box.openedAt, sends[2] + 3000);
  EXPECT_EQ(box.caption, "Eigenschaften des Lumora Data");
  EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
  EXPECT_TRUE(rig.session.GetQueue().empty());
  EXPECT_FALSE(rig.session.IsTimerRunning(TIMER_ALL));
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].wParam, 0u);
  EXPECT_EQ(done[0].lParam, 0);
  EXPECT_EQ(rig.sheet.RefreshFlags().back(), REFRESH_PORT);
  EXPECT_GE(rig.sheet.endOperationCalls, 1);
  // Nothing more goes out.
  size_t lines = rig.adapter.Lines().size();
  rig.host.RunFor(20000);
  EXPECT_EQ(rig.adapter.Lines().size(), lines);
}

TEST(ResendTest, LocalQueryWithoutAnswerEndsInConnectionLost) {
  struct Case {
    Behaviour behaviour;
    std::string first;
  };
  const std::vector<Case> cases = {
      {Silent(), "Die Verbindung zur lokalen Station ist unterbrochen."},
      {Word("ERROR"), "Die lokale Station antwortet nicht."},
      {NoEcho(), "Die Verbindung zur lokalen Station ist unterbrochen."},
  };
  for (const auto& c : cases) {
    SessionRig rig;
    rig.OpenAndDetect();
    rig.adapter.Always("#C", c.behaviour);
    rig.host.RunFor(15000);
    ASSERT_EQ(rig.host.MessageBoxes().size(), 1u) << c.first;
    EXPECT_EQ(rig.host.MessageBoxes()[0].text,
              c.first + " Überprüfen Sie den COM1-Anschluß, an dem das Lumora K471 Data an den PC angeschlossen ist.");
    EXPECT_EQ(rig.host.MessageBoxes()[0].flags, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
  }
}

TEST(ResendTest, DsrOffGivesUpAtTheFirstTimeout) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("#C", Silent());
  rig.com.SetDsr(false);
  rig.host.RunFor(8000);
  EXPECT_EQ(rig.CountOf("#C"), 2u);  // the detection's, and one poll
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].openedAt, rig.TimesOf("#C")[1] + 3000);
  EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
}

TEST(ResendTest, UnwritableLineEndsLikeASilentAdapter) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.com.FailWrites(WriteResult::Failed);
  rig.host.RunFor(15000);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].text,
            "Die Verbindung zur lokalen Station ist unterbrochen. Überprüfen Sie den COM1-Anschluß, an dem das "
            "Lumora K471 Data an den PC angeschlossen ist.");
  EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
}

TEST(ResendTest, UnwritableProcedureDoesNotWaitForEver) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.com.FailWrites(WriteResult::Failed);
  uint64_t start = rig.host.NowMs();
  rig.session.ChangeStationType(rig.page.Id());
  rig.host.RunUntil([&] { return !rig.host.MessageBoxes().empty(); }, 30000);
  // A type change may take the adapter any time, but one whose line never
  // went out gets no answer: it is tried three times like any command.
  ASSERT_FALSE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(rig.host.MessageBoxes()[0].text, "Der Typ der lokalen Station konnte nicht geändert werden. ");
  EXPECT_EQ(rig.host.MessageBoxes()[0].flags, MB_RETRYCANCEL | MB_ICONSTOP);
  EXPECT_EQ(rig.host.MessageBoxes()[0].openedAt, start + 9000);
  rig.host.RunPending();
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].wParam, 0u);
}

TEST(ResendTest, LocalFlowControlWaitsButNotForEver) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("\\P1", Silent());
  rig.session.SetLocalFlowControl(rig.page.Id(), true);
  rig.host.RunFor(29000);
  // Never repeated while the adapter may still be busy with it.
  EXPECT_EQ(rig.CountOf("\\P1"), 1u);
  EXPECT_TRUE(rig.page.Of(WM_OPERATION_DONE).empty());
  rig.host.RunFor(2000);
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].wParam, 0u);
  EXPECT_EQ(done[0].at, rig.TimesOf("\\P1")[0] + 30000);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  // The queue goes on.
  size_t polls = rig.CountOf("#C");
  rig.host.RunFor(4000);
  EXPECT_GT(rig.CountOf("#C"), polls);
}

TEST(ResendTest, LocalFlowControlIsGivenUpAtOnceWhenDsrIsOff) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("\\P0", Silent());
  rig.session.SetLocalFlowControl(rig.page.Id(), false);
  rig.com.SetDsr(false);
  rig.host.RunFor(3100);
  ASSERT_EQ(rig.page.Of(WM_OPERATION_DONE).size(), 1u);
}

TEST(MessageBoxTest, QueryInFlightIsSentAgainAfterTheBox) {
  SessionRig rig;
  rig.OpenAndDetect();
  Behaviour slow;
  slow.delayMs = 500;
  slow.info = "0";
  rig.adapter.Script("#C", slow);
  ASSERT_TRUE(rig.RunUntilSent("#C", 2));
  // A page opens a box while the answer is on its way; the box stays open
  // for 2 s of virtual time.
  rig.host.ScriptMessageBox(IDOK, 2000);
  uint64_t opened = rig.host.NowMs();
  rig.sheet.ShowMessage("Eine Frage der Seite.", MB_OK);
  EXPECT_EQ(rig.host.NowMs(), opened + 2000);
  // Nothing went out while the box was open; the query goes out again at
  // once when it closes.
  std::vector<uint64_t> sends = rig.TimesOf("#C");
  ASSERT_EQ(sends.size(), 3u);
  EXPECT_EQ(sends[2], opened + 2000);
  EXPECT_EQ(rig.session.GetQueue().front().attempts, 2u);
  rig.host.RunFor(200);
  EXPECT_TRUE(rig.session.GetQueue().empty());
  EXPECT_EQ(rig.port.GetState(), LINK_CONFIG);
  EXPECT_TRUE(rig.session.IsTimerRunning(TIMER_POLL));
}

TEST(MessageBoxTest, NestedBoxesKeepTheQueueHeldUntilTheLastCloses) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.sheet.SetOperation(OP_REOPEN);
  rig.adapter.Always("^GETPRE", Silent());
  rig.port.Close(false);
  rig.adapter.ClearLines();
  rig.port.Open("COM1");
  ASSERT_TRUE(rig.RunUntilSent("^GETPRE"));
  // The page's box opens while "^GETPRE" waits; its time-out runs at once
  // and shows the failure in a box of its own before the page's box
  // appears. The page's box then stays open for 4 s.
  rig.host.SetMessageBoxHandler([&](const VirtualHost::MessageBoxCall& call) {
    if (call.text == "Eine Frage der Seite.") rig.host.RunFor(4000);
    return IDOK;
  });
  uint64_t opened = rig.host.NowMs();
  rig.sheet.ShowMessage("Eine Frage der Seite.", MB_OK);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 2u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].text,
            "Es konnte kein Lumora Data gefunden werden. Überprüfen Sie, ob das Lumora Data "
            "betriebsbereit und mit dem COM-Anschluß verbunden ist. ");
  EXPECT_EQ(rig.port.GetState(), LINK_NO_STATION);
  // "C" follows only when the outer box has closed.
  std::vector<uint64_t> c = rig.TimesOf("C");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0], opened + 4000);
}

struct CancelCase {
  OperationCode op;
  std::string command;  // as the adapter sees it
  bool rereads;         // "#R0" and "&V" follow
};

void StartProcedure(SessionRig& rig, const std::string& command) {
  TargetId page = rig.page.Id();
  if (command == "^KOAC1234,1") rig.session.RegisterAtBase(page, 1, "1234");
  if (command == "^KENB") rig.session.OpenRegistration(page);
  if (command == "^KATC0") rig.session.Deregister(page, 0);
  if (command == "^CHGPIN1234,5678") rig.session.ChangePin(page, "1234", "5678");
  if (command == "^KBASC0") rig.session.ChangeStationType(page);
}

std::vector<CancelCase> CancelCases() {
  return {
      {OP_REGISTER, "^KOAC1234,1", true},     {OP_BASE_READY, "^KENB", true},
      {OP_DEREGISTER, "^KATC0", true},        {OP_CHANGE_PIN, "^CHGPIN1234,5678", false},
      {OP_CHANGE_TYPE, "^KBASC0", false},     {OP_REGISTER_TYPE, "^KBASC0", false},
  };
}

TEST(CancelTest, ProcedureWithoutAnswerEndsThreeSecondsAfterTheCr) {
  for (const auto& c : CancelCases()) {
    SessionRig rig;
    rig.OpenAndDetect();
    rig.adapter.Always(c.command, Silent());
    rig.adapter.Always("", Silent());
    StartProcedure(rig, c.command);
    ASSERT_TRUE(rig.RunUntilSent(c.command)) << c.command;
    // A procedure may take long: its time-out does nothing.
    rig.host.RunFor(10000);
    EXPECT_EQ(rig.CountOf(c.command), 1u) << c.command;
    EXPECT_TRUE(rig.page.Of(WM_OPERATION_DONE).empty()) << c.command;

    rig.sheet.SetOperation(c.op);
    uint64_t cancelledAt = rig.host.NowMs();
    rig.session.CancelOperation();
    EXPECT_EQ(rig.CountOf(""), 1u) << c.command;
    size_t before = rig.adapter.Lines().size();
    rig.host.RunFor(3100);
    auto done = rig.page.Of(WM_OPERATION_DONE);
    ASSERT_EQ(done.size(), 1u) << c.command;
    EXPECT_EQ(done[0].wParam, 0u);
    EXPECT_EQ(done[0].lParam, 0);
    EXPECT_EQ(done[0].at, cancelledAt + 3000) << c.command;
    std::vector<std::string> commands = rig.adapter.Commands();
    std::vector<std::string> after(commands.begin() + static_cast<long>(before), commands.end());
    ASSERT_FALSE(after.empty()) << c.command;
    if (c.rereads) {
      ASSERT_GE(after.size(), 2u);
      // The re-read comes behind whatever was queued meanwhile.
      EXPECT_EQ(after[after.size() - 2], "#R0") << c.command;
      EXPECT_EQ(after.back(), "&V") << c.command;
    } else {
      EXPECT_NE(after.back(), "&V") << c.command;
    }
    EXPECT_TRUE(rig.host.MessageBoxes().empty()) << c.command;
  }
}

TEST(CancelTest, ProcedureAnsweringTheCrEndsAtOnce) {
  for (const auto& c : CancelCases()) {
    SessionRig rig;
    rig.OpenAndDetect();
    rig.adapter.Always(c.command, Silent());
    rig.adapter.Always("", Word("FAILURE"));
    StartProcedure(rig, c.command);
    ASSERT_TRUE(rig.RunUntilSent(c.command));
    rig.host.RunFor(1000);
    rig.sheet.SetOperation(c.op);
    uint64_t cancelledAt = rig.host.NowMs();
    rig.session.CancelOperation();
    rig.host.RunFor(100);
    auto done = rig.page.Of(WM_OPERATION_DONE);
    ASSERT_EQ(done.size(), 1u) << c.command;
    EXPECT_EQ(done[0].lParam, 0) << c.command;
    EXPECT_EQ(done[0].at, cancelledAt + 20) << c.command;
    // A cancelled procedure shows no failure message.
    EXPECT_TRUE(rig.host.MessageBoxes().empty()) << c.command;
  }
}

TEST(CancelTest, QueuedTargetIsDroppedBeforeItIsSent) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("\\R5", Silent());
  rig.session.SetBitRate(kNoTarget, 5);
  rig.session.RegisterAtBase(rig.page.Id(), 1, "1234");
  rig.host.RunFor(100);
  rig.sheet.SetOperation(OP_REGISTER);
  rig.session.CancelOperation();
  rig.host.RunPending();
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].lParam, 0);
  // "\R" in flight is not interrupted and keeps its time-out.
  EXPECT_EQ(rig.CountOf(""), 0u);
  EXPECT_TRUE(rig.session.IsTimerRunning(TIMER_RESPONSE));
  rig.host.RunFor(10000);
  EXPECT_EQ(rig.CountOf("^KOAC1234,1"), 0u);
}

TEST(CancelTest, FactoryResetIsNotInterruptedAndKeepsItsTimeout) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("&F", Silent());
  rig.sheet.SetOperation(OP_FACTORY_RESET);
  rig.session.FactoryReset(rig.page.Id());
  ASSERT_TRUE(rig.RunUntilSent("&F"));
  rig.host.RunFor(1000);
  rig.session.CancelOperation();
  EXPECT_EQ(rig.CountOf(""), 0u);
  EXPECT_TRUE(rig.session.IsTimerRunning(TIMER_RESPONSE));
  rig.host.RunFor(9000);
  // Three sends, then the failure with Retry (answered Cancel here).
  EXPECT_EQ(rig.CountOf("&F"), 3u);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].text,
            "Die lokale Station konnte nicht in den Auslieferungszustand zurückgesetzt werden. ");
  EXPECT_EQ(rig.host.MessageBoxes()[0].flags, MB_RETRYCANCEL | MB_ICONSTOP);
  ASSERT_EQ(rig.page.Of(WM_OPERATION_DONE).size(), 1u);
}

TEST(CancelTest, CancelOutsideAProcedureInterruptsTheHead) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Always("\\R5", Silent());
  rig.adapter.Always("", Silent());
  rig.session.SetBitRate(rig.page.Id(), 5);
  rig.host.RunFor(100);
  rig.session.CancelOperation();
  EXPECT_EQ(rig.CountOf(""), 1u);
  rig.host.RunFor(3000);
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].lParam, 0);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
}

TEST(RemoteConfigTest, AnyCommandAnsweredRemoteConfigLeavesAndEnds) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Script("#C", Word("REMOTE_CONFIG"));
  uint64_t oSentAt = 0;
  rig.host.SetMessageBoxHandler([&](const VirtualHost::MessageBoxCall&) {
    // "O" is on the line before the message appears.
    auto times = rig.TimesOf("O");
    if (!times.empty()) oSentAt = times[0];
    return IDOK;
  });
  rig.host.RunFor(4000);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  const auto& box = rig.host.MessageBoxes()[0];
  EXPECT_EQ(box.text,
            "Das Lumora K471 Data wird bereits von der Gegenseite konfiguriert. Das Konfigurationsprogramm wird "
            "beendet.");
  EXPECT_EQ(box.flags, MB_OK);
  EXPECT_NE(oSentAt, 0u);
  EXPECT_EQ(rig.sheet.hidden, 1);
  EXPECT_EQ(rig.sheet.endSheet, (std::vector<int>{1}));
  EXPECT_GE(rig.sheet.endOperationCalls, 1);
}

TEST(CompatibilityTest, IncompatibleAnswerEndsTheProgramInEveryOperation) {
  for (OperationCode op : {OP_START, OP_REOPEN}) {
    SessionRig rig;
    rig.sheet.SetOperation(op);
    rig.adapter.Script("C", Word("OK", ""));
    rig.OpenAndDetect();
    ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
    EXPECT_EQ(rig.host.MessageBoxes()[0].text,
              "Der von diesem Konfigurationsprogramm unterstützte AT-Befehlssatz ist nicht kompatibel zu dem "
              "AT-Befehlssatz, der vom angeschlossenen Endgerät verwendet wird. Das Konfigurationsprogramm wird "
              "aus diesem Grund jetzt beendet.");
    EXPECT_EQ(rig.host.MessageBoxes()[0].flags, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(rig.sheet.hidden, 1);
    EXPECT_EQ(rig.sheet.endSheet, (std::vector<int>{1}));
    // Nothing more is sent.
    EXPECT_EQ(rig.adapter.Commands(), (std::vector<std::string>{"^GETPRE", "C"}));
  }
}

TEST(CompatibilityTest, UnansweredCheckDuringStartMovesOn) {
  struct Case {
    Behaviour behaviour;
    size_t sends;
  };
  for (const auto& c : std::vector<Case>{{Word("ERROR"), 1}, {Silent(), 3}}) {
    SessionRig rig;
    rig.sheet.SetOperation(OP_START);
    rig.adapter.Always("C", c.behaviour);
    rig.port.Open("COM1");
    rig.host.RunUntil([&] { return rig.port.GetState() == LINK_NO_ANSWER; }, 20000);
    rig.host.RunPending();
    EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
    EXPECT_EQ(rig.CountOf("C"), c.sends);
    EXPECT_TRUE(rig.host.MessageBoxes().empty());
    EXPECT_EQ(rig.sheet.RefreshFlags().back(), REFRESH_PORT);
    EXPECT_TRUE(rig.sheet.endSheet.empty());
  }
}

TEST(CompatibilityTest, FailedCheckOutsideStartEndsTheProgram) {
  SessionRig rig;
  rig.sheet.SetOperation(OP_SWITCH_PORT);
  rig.adapter.Always("C", Word("ERROR"));
  rig.OpenAndDetect();
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].flags, MB_OK | MB_ICONSTOP);
  EXPECT_EQ(rig.sheet.endSheet, (std::vector<int>{1}));
  EXPECT_EQ(rig.adapter.Commands(), (std::vector<std::string>{"^GETPRE", "C"}));
}

TEST(InvalidReplyTest, UnreadableAnswerIsResentAndNeverTakenForTheNextCommand) {
  SessionRig rig;
  // "#T" first answers OK with nothing in it.
  rig.adapter.Script("#T", Word("OK", ""));
  rig.OpenAndDetect();
  std::vector<std::string> commands = rig.adapter.Commands();
  ASSERT_GE(commands.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(commands.begin() + 2, commands.begin() + 6),
            (std::vector<std::string>{"#R0", "#T", "#T", "I2,0"}));
  // Each answer went to its own command.
  EXPECT_EQ(rig.session.GetStationType(true), STATION_HANDSET);
  EXPECT_EQ(rig.session.GetStationInfo(true).product, "_V_2_4_");
  EXPECT_EQ(rig.session.GetStationName(true), "Mein Teilnehmer");
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
}

TEST(InvalidReplyTest, RefreshIsPostedForTheUnreadableAnswer) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.Script("#C", Word("OK", ""));
  rig.sheet.Clear();
  rig.host.RunFor(3100);
  // The empty answer still told the pages to look (connection and partner).
  std::vector<uint32_t> flags = rig.sheet.RefreshFlags();
  ASSERT_GE(flags.size(), 2u);
  EXPECT_EQ(flags[0], REFRESH_CONNECTION | REFRESH_PARTNER);
  EXPECT_EQ(rig.CountOf("#C"), 3u);
}

TEST(InvalidReplyTest, UnreadableSettingsThreeTimesIsAConnectionLoss) {
  SessionRig rig;
  rig.adapter.Always("&V", Word("OK", "too short"));
  rig.OpenAndDetect(4000);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].text,
            "Die Verbindung zur lokalen Station ist unterbrochen. Überprüfen Sie den COM1-Anschluß, an dem das "
            "Lumora K471 Data an den PC angeschlossen ist.");
  EXPECT_EQ(rig.CountOf("&V"), 3u);
  EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
  EXPECT_TRUE(rig.sheet.modeTab.empty());
}

TEST(QueueTest, OperationsGoOutInCallOrderOneAtATime) {
  SessionRig rig;
  rig.OpenAndDetect();
  rig.adapter.ClearLines();
  rig.session.SetOperatingMode(rig.page.Id(), 3);
  rig.session.SetBitRate(rig.page.Id(), 10);
  // Only the first is on the line until it is answered.
  EXPECT_EQ(rig.adapter.Commands(), (std::vector<std::string>{"B3"}));
  rig.host.RunFor(200);
  std::vector<std::string> commands = rig.adapter.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], "B3");
  EXPECT_EQ(commands[1], "\\R10");
  // "B" is followed by a re-read of the settings.
  EXPECT_EQ(commands[2], "&V");
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].wParam, 1u);
  EXPECT_EQ(done[1].wParam, 1u);
}

TEST(QueueTest, CommandsWaitForTheFirstDetection) {
  SessionRig rig;
  rig.session.SetBitRate(rig.page.Id(), 1);
  rig.host.RunFor(1000);
  EXPECT_TRUE(rig.com.Written().empty());
  EXPECT_EQ(rig.session.GetQueue().size(), 1u);
  // The detection starts from scratch.
  rig.OpenAndDetect();
  EXPECT_EQ(rig.CountOf("\\R1"), 0u);
}

TEST(QueueTest, RejectedArgumentsQueueNothing) {
  SessionRig rig;
  rig.OpenAndDetect();
  TargetId page = rig.page.Id();
  CStationSession& s = rig.session;
  EXPECT_FALSE(s.SetOperatingMode(page, 5));
  EXPECT_FALSE(s.SetOperatingMode(page, -1));
  EXPECT_FALSE(s.SetBitRate(page, 11));
  EXPECT_FALSE(s.SetFlowControl(page, 7));
  EXPECT_FALSE(s.SetCharacterFormat(page, 0, 0, 0));  // 7-none-1 has no code
  EXPECT_FALSE(s.SetCharacterFormat(page, 1, 1, 1));  // 8-even-2
  EXPECT_FALSE(s.SetCharacterFormat(page, 2, 0, 0));
  EXPECT_FALSE(s.SetAutoReleaseTime(page, "10:56"));
  EXPECT_FALSE(s.SetAutoReleaseTime(page, "abc"));
  EXPECT_FALSE(s.SelectPartner(page, 2));
  EXPECT_FALSE(s.RegisterAtBase(page, -1, "1234"));
  EXPECT_FALSE(s.Deregister(page, 2));
  EXPECT_TRUE(s.GetQueue().empty());
  EXPECT_TRUE(s.SetCharacterFormat(page, 1, 0, 1));
  EXPECT_TRUE(s.SetAutoReleaseTime(page, "1,5"));
  rig.host.RunFor(200);
  EXPECT_EQ(rig.CountOf("\\F9"), 1u);
  EXPECT_EQ(rig.CountOf("#Q90"), 1u);
}

TEST(QueueTest, PortCloseForgetsEverythingButThePrefix) {
  SessionRig rig;
  rig.adapter.SetPrefix("+XY");
  rig.OpenAndDetect();
  rig.port.Close(false);
  const CStationSession& s = rig.session;
  EXPECT_FALSE(s.IsReady());
  EXPECT_TRUE(s.GetQueue().empty());
  EXPECT_FALSE(s.IsTimerRunning(TIMER_ALL));
  EXPECT_EQ(s.GetRadioState(), RADIO_INIT);
  EXPECT_EQ(s.GetMode(), -1);
  EXPECT_EQ(s.GetLocalFlowControl(), 0);
  EXPECT_TRUE(s.GetRegistrations(true).empty());
  EXPECT_EQ(s.GetOwnIndex(), OWN_INDEX_NONE);
  EXPECT_EQ(s.FindDataHolder(), -1);
  EXPECT_EQ(s.GetProductName(true), "Lumora Data");
  EXPECT_EQ(s.GetPrefix(), "AT+XY");
  EXPECT_TRUE(rig.channel.IsIdle());
}

}  // namespace
}  // namespace k470
