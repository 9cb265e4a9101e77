// Every fault switch, and pacing at 1920 characters per second.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_harness.h"

namespace k470::sim::testing {
namespace {

class FaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.AddLinkedPair();
    h.Attach("Lokal");
    h.Open();
  }
  Harness h;
};

// What the program's receiver keeps of a reply: NUL and LF are dropped, a
// backspace takes back the character before it.
std::string AsTheProgramReadsIt(const std::string& bytes) {
  std::string kept;
  for (char c : bytes) {
    if (c == '\0' || c == '\n') continue;
    if (c == '\b') {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept += c;
  }
  return kept;
}

TEST_F(FaultsTest, NoEchoLeavesOnlyTheAnswer) {
  h.Adapter().GetFaults().echo = false;
  EXPECT_EQ(h.Ask("#T"), "\r\n1\r\n\r\nOK\r\n");
}

TEST_F(FaultsTest, NoAnswerAtAllIsSilence) {
  h.Adapter().GetFaults().echo = false;
  h.Adapter().GetFaults().reply = false;
  EXPECT_EQ(h.Ask("#T", 10000), "");
  // The command was still carried out.
  EXPECT_EQ(h.Ask("B2", 10), "");
  EXPECT_EQ(h.GetWorld().Find("Lokal")->Line().mode, 2);
}

TEST_F(FaultsTest, LateAnswerLeavesAfterTheDelayEchoAtOnce) {
  h.Adapter().GetFaults().replyDelayMs = 3500;
  EXPECT_EQ(h.Ask("#T", 3499), "AT+KDV24#T\r");
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), Framed("AT+KDV24#T\r", {"1"}, "OK"));
  EXPECT_EQ(h.TimeOfByte(11), 3500u);
}

TEST_F(FaultsTest, GarbageComesBetweenEchoAndAnswer) {
  h.Adapter().GetFaults().garbageBytes = 16;
  std::string reply = h.Ask("C");
  ASSERT_EQ(reply.size(), 10u + 16u + 11u);
  EXPECT_EQ(reply.substr(0, 10), "AT+KDV24C\r");
  EXPECT_EQ(reply.substr(26), "\r\n1\r\n\r\nOK\r\n");
}

TEST_F(FaultsTest, SprinkledCharactersLeaveTheReplyReadingTheSame) {
  std::string clean = h.Ask("#R0");
  h.Adapter().GetFaults().sprinklePercent = 40;
  std::string dirty = h.Ask("#R0");
  EXPECT_GT(dirty.size(), clean.size());
  EXPECT_NE(dirty.find('\b'), std::string::npos);
  EXPECT_NE(dirty.find('\0'), std::string::npos);
  EXPECT_EQ(AsTheProgramReadsIt(dirty), AsTheProgramReadsIt(clean));
}

TEST_F(FaultsTest, LineNoiseArrivesPeriodicallyWhileThePortIsOpen) {
  Faults noisy;
  noisy.noisePeriodMs = 250;
  noisy.noiseBytes = 5;
  h.Adapter().SetFaults(noisy);
  h.Clear();
  h.Clock().Advance(1000);
  ASSERT_EQ(h.Pieces().size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(h.Pieces()[i].first, 250u * (i + 1));
    EXPECT_EQ(h.Pieces()[i].second.size(), 5u);
  }
  // The adapter still answers between the bursts.
  EXPECT_EQ(h.Ask("#T"), Framed("AT+KDV24#T\r", {"1"}, "OK"));
  h.Close();
  h.Clock().Advance(1000);
  EXPECT_EQ(h.Adapter().Sent().size(), 20u + Framed("AT+KDV24#T\r", {"1"}, "OK").size());
}

TEST_F(FaultsTest, RemoteConfigAnswersEverything) {
  h.Adapter().GetFaults().remoteConfig = true;
  for (const std::string line : {"AT^GETPRE", "AT+KDV24C", "AT+KDV24I2,0", "AT+KDV24O", "AT+KDV24XYZ"}) {
    EXPECT_EQ(h.Talk(line + "\r"), line + "\r\r\nREMOTE_CONFIG\r\n") << line;
  }
  // Not even "O" was carried out.
  EXPECT_EQ(h.Adapter().Engine().GetPhase(), AdapterEngine::Phase::Config);
}

TEST_F(FaultsTest, IncompatibleCommandSetAndNotAnAdapter) {
  h.Adapter().GetFaults().incompatible = true;
  h.Adapter().GetFaults().notAdapter = true;
  EXPECT_EQ(h.Ask("C"), Framed("AT+KDV24C\r", {"0"}, "OK"));
  EXPECT_EQ(h.Ask("I2,0"), Framed("AT+KDV24I2,0\r", {}, "ERROR"));
}

TEST_F(FaultsTest, DsrDropMakesTheAdapterDeafAndMuteUntilItEnds) {
  h.Adapter().SetFaults({.dsrDrop = true});
  EXPECT_FALSE(h.Port().Dsr());
  EXPECT_TRUE(h.Port().Cts());
  EXPECT_EQ(h.Ask("#T", 5000), "");
  h.Adapter().SetFaults({});
  EXPECT_TRUE(h.Port().Dsr());
  EXPECT_EQ(h.Ask("#T"), Framed("AT+KDV24#T\r", {"1"}, "OK"));
}

TEST_F(FaultsTest, ReplyFaultsCanHitOneCommandAForGivenNumberOfLines) {
  Faults once;
  once.reply = false;
  once.onlyCommand = "#C";
  once.count = 2;
  h.Adapter().SetFaults(once);
  EXPECT_EQ(h.Ask("#T"), Framed("AT+KDV24#T\r", {"1"}, "OK"));
  EXPECT_EQ(h.Ask("#C"), "AT+KDV24#C\r");
  EXPECT_EQ(h.Ask("#C"), "AT+KDV24#C\r");
  EXPECT_EQ(h.Ask("#C"), Framed("AT+KDV24#C\r", {"0"}, "OK"));
}

TEST_F(FaultsTest, PacingTakesOneCharacterPer1920thOfASecondEachWay) {
  h.Adapter().Engine().SetPace(true);
  std::string line = "AT+KDV24#R0\r";  // 12 characters in
  h.Talk(line);
  h.RunUntilReceived("OK\r\n", 1000);
  std::string expected = Framed(line, {"0=Basis", "1=", "2=", "3=", "4=", "5="}, "OK");
  ASSERT_EQ(h.Received(), expected);
  // Character k comes in at (k + 1)/1920 s and its echo has left one
  // character time later; the answer follows the echo back to back, so the
  // last of n characters has left at (n + 1)/1920 s.
  EXPECT_EQ(h.TimeOfByte(0), 2u);    // 2/1920 s = 1.04 ms
  EXPECT_EQ(h.TimeOfByte(11), 7u);   // 13/1920 s = 6.77 ms
  size_t n = expected.size();
  EXPECT_EQ(h.TimeOfByte(n - 1), ((n + 1) * 1000 + 1919) / 1920);
  // Same inputs, same bytes at the same times.
  Harness again;
  again.AddLinkedPair();
  again.Attach("Lokal").Engine().SetPace(true);
  again.Open();
  again.Talk(line);
  again.RunUntilReceived("OK\r\n", 1000);
  EXPECT_EQ(again.Pieces(), h.Pieces());
}

TEST_F(FaultsTest, PacedOutputKeepsTheRateOverALongRun) {
  h.Adapter().Engine().SetPace(true);
  std::string burst;
  for (int i = 0; i < 200; ++i) burst += "AT+KDV24#R0\r";
  h.Talk(burst);
  h.Clock().Advance(60000);
  size_t total = h.Received().size();
  uint64_t last = h.Pieces().back().first;
  EXPECT_EQ(last, ((total + 1) * 1000 + 1919) / 1920);
}

// The same inputs give the same bytes at the same virtual times, faults and
// all; another seed gives other garbage.
TEST(DeterminismTest, SameScriptSameConversation) {
  auto run = [](uint64_t seed) {
    Harness h;
    h.AddLinkedPair();
    AdapterOptions options;
    options.seed = seed;
    options.pace = true;
    SimulatedAdapter& adapter = h.Attach("Lokal", options);
    Faults faults;
    faults.garbageBytes = 3;
    faults.sprinklePercent = 30;
    faults.noisePeriodMs = 700;
    faults.replyDelayMs = 20;
    adapter.SetFaults(faults);
    h.Open();
    for (const std::string line : {"AT^GETPRE\r", "AT+KDV24#R0\r", "AT+KDV24#C\r", "AT+KDV24#I0\r", "AT+KDV24#I1\r",
                                   "AT+KDV24^CHGPIN4693,1111\r", "AT+KDV24&V\r"}) {
      h.Talk(line, 1000);
    }
    return adapter.TraceLog();
  };
  auto first = run(5);
  auto second = run(5);
  ASSERT_EQ(first.size(), second.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].at, second[i].at) << i;
    EXPECT_EQ(first[i].direction, second[i].direction) << i;
    EXPECT_EQ(first[i].bytes, second[i].bytes) << i;
  }
  auto other = run(6);
  std::string a, b;
  for (const auto& e : first) a += e.bytes;
  for (const auto& e : other) b += e.bytes;
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace k470::sim::testing
