// The adapter's side of the conversation: echo, reply framing, every
// command family and the answers to bad lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_harness.h"

namespace k470::sim::testing {
namespace {

class ConversationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.AddLinkedPair();
    h.GetWorld().AddForeignEntry("Lokal", 2, "Fremd");
    h.Attach("Lokal");
    h.Open();
  }
  Harness h;
};

TEST_F(ConversationTest, EchoComesFirstThenInformationThenResultWord) {
  EXPECT_EQ(h.Talk("AT+KDV24#T\r"), "AT+KDV24#T\r\r\n1\r\n\r\nOK\r\n");
  // All of it at the time of the CR: no delay without faults or pacing.
  ASSERT_EQ(h.Pieces().size(), 1u);
  EXPECT_EQ(h.Pieces()[0].first, 0u);
}

TEST_F(ConversationTest, WithoutLineFeedsEveryLineEndsWithCrOnly) {
  h.Adapter().Engine().SetLineFeeds(false);
  EXPECT_EQ(h.Talk("AT+KDV24#R0\r"), "AT+KDV24#R0\r\r0=Basis\r1=\r2=Fremd\r3=\r4=\r5=\r\rOK\r");
  EXPECT_EQ(h.Talk("AT+KDV24O\r"), "AT+KDV24O\r\rOK\r");
}

struct Exchange {
  const char* line;
  std::vector<std::string> info;
  const char* word;
};

// What the program asks while it detects the adapter, in its order, and
// what a handset registered at a base answers.
TEST_F(ConversationTest, DetectionSequenceIsAnsweredInFull) {
  const std::vector<Exchange> detection = {
      {"AT^GETPRE\r", {"+KDV24"}, "OK"},
      {"AT+KDV24C\r", {"1"}, "OK"},
      {"AT+KDV24#R0\r", {"0=Basis", "1=", "2=Fremd", "3=", "4=", "5="}, "OK"},
      {"AT+KDV24#T\r", {"1"}, "OK"},
      {"AT+KDV24I2,0\r", {"_V_2_4_"}, "OK"},
      {"AT+KDV24I4,0\r", {"Lokal"}, "OK"},
      {"AT+KDV24&V\r", {"B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0"}, "OK"},
      {"AT+KDV24#P0\r", {"0=0", "1=0", "2=0", "3=0", "4=0", "5=0"}, "OK"},
      {"AT+KDV24I1,0\r", {"FW 1"}, "OK"},
      {"AT+KDV24I6,0\r", {"HW 1"}, "OK"},
      {"AT+KDV24#C\r", {"0"}, "OK"},
      {"AT+KDV24#W0\r", {"0=0", "1=0", "2=0", "3=0", "4=0", "5=0"}, "OK"},
  };
  for (const auto& e : detection) {
    EXPECT_EQ(h.Talk(e.line), Framed(e.line, e.info, e.word)) << e.line;
  }
}

TEST_F(ConversationTest, MalformedAndUnknownLinesAreAnsweredError) {
  const std::vector<std::string> bad = {
      "ATZ",          "AT+KDV24",        "AT+KDV24XYZ",    "HELLO",          "AT+OTHER#T",      "AT^GETPRE1",
      "AT+KDV24I2",   "AT+KDV24I2,2",    "AT+KDV24#R",     "AT+KDV24#R2",    "AT+KDV24#T0",     "AT+KDV24B5",
      "AT+KDV24B",    "AT+KDV24B12",     "AT+KDV24\\R11",  "AT+KDV24\\R-1",  "AT+KDV24\\F5",    "AT+KDV24\\F6",
      "AT+KDV24\\Q7", "AT+KDV24\\P2",    "AT+KDV24N,0",    "AT+KDV24NName",  "AT+KDV24NName,2", "AT+KDV24#D",
      "AT+KDV24#Dx",  "AT+KDV24#D1",     "AT+KDV24#Q656",  "AT+KDV24#Q",     "AT+KDV24#Q1a",    "AT+KDV24^KOAC",
      "AT+KDV24^KOAC12ab,0", "AT+KDV24^KOAC1234,9", "AT+KDV24^KOAC123456789,0", "AT+KDV24^KATC",
      "AT+KDV24^KATC1", "AT+KDV24^CHGPIN1234", "AT+KDV24^CHGPIN,1234", "AT+KDV24^KBASC2", "AT+KDV24^KBASC",
      "AT+KDV24^KENB", "AT+KDV24^LOAD",  "AT+KDV24O1",      "AT+KDV24&F0",
      "AT+KDV24NVierundzwanzig Zeichen lang,0",
  };
  for (const auto& line : bad) {
    EXPECT_EQ(h.Talk(line + "\r", 10), line + "\r\r\nERROR\r\n") << line;
  }
}

TEST_F(ConversationTest, BareAtIsOkAndEmptyLineIsOnlyEchoed) {
  EXPECT_EQ(h.Talk("AT\r"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(h.Talk("\r", 5000), "\r");
}

TEST_F(ConversationTest, SettingsCommandsShowInTheSettingsReport) {
  struct Case {
    const char* command;
    const char* report;
  };
  const std::vector<Case> cases = {
      {"B3", "B3 \\R7 \\F2 \\P0 \\Q2 #T1 #D0"},  {"\\R10", "B3 \\R10 \\F2 \\P0 \\Q2 #T1 #D0"},
      {"\\F9", "B3 \\R10 \\F9 \\P0 \\Q2 #T1 #D0"}, {"\\P1", "B3 \\R10 \\F9 \\P1 \\Q2 #T1 #D0"},
      {"\\Q6", "B3 \\R10 \\F9 \\P1 \\Q6 #T1 #D0"}, {"\\R0", "B3 \\R0 \\F9 \\P1 \\Q6 #T1 #D0"},
  };
  for (const auto& c : cases) {
    std::string line = std::string("AT+KDV24") + c.command + "\r";
    EXPECT_EQ(h.Talk(line), Framed(line, {}, "OK"));
    EXPECT_EQ(h.Talk("AT+KDV24&V\r"), Framed("AT+KDV24&V\r", {c.report}, "OK")) << c.command;
  }
}

TEST_F(ConversationTest, NamesThatEqualResultWordsTravelQuoted) {
  EXPECT_EQ(h.Talk("AT+KDV24N\"OK\",0\r"), Framed("AT+KDV24N\"OK\",0\r", {}, "OK"));
  EXPECT_EQ(h.GetWorld().Find("Lokal")->Name(), "OK");
  EXPECT_EQ(h.Talk("AT+KDV24I4,0\r"), Framed("AT+KDV24I4,0\r", {"\"OK\""}, "OK"));
  // A name with commas keeps them: the target is behind the last one.
  EXPECT_EQ(h.Talk("AT+KDV24NA,B,0\r"), Framed("AT+KDV24NA,B,0\r", {}, "OK"));
  EXPECT_EQ(h.GetWorld().Find("Lokal")->Name(), "A,B");
  // Twenty characters are the most a name may have.
  EXPECT_EQ(h.Talk("AT+KDV24N12345678901234567890,0\r"), Framed("AT+KDV24N12345678901234567890,0\r", {}, "OK"));
}

TEST_F(ConversationTest, WindowsCodePageNamesComeBackByteForByte) {
  // "Küche" in Windows-1252, as the program sends it.
  std::string line = "AT+KDV24NK\xFC" "che,0\r";
  EXPECT_EQ(h.Talk(line), Framed(line, {}, "OK"));
  EXPECT_EQ(h.GetWorld().Find("Lokal")->NameUtf8(), "Küche");
  EXPECT_EQ(h.Talk("AT+KDV24I4,0\r"), Framed("AT+KDV24I4,0\r", {"K\xFC" "che"}, "OK"));
}

TEST_F(ConversationTest, CustomPrefixIsReportedAndBothPrefixesAreAccepted) {
  h.Adapter().Engine().SetPrefix("+QX7");
  EXPECT_EQ(h.Talk("AT^GETPRE\r"), Framed("AT^GETPRE\r", {"+QX7"}, "OK"));
  EXPECT_EQ(h.Talk("AT+QX7#T\r"), Framed("AT+QX7#T\r", {"1"}, "OK"));
  EXPECT_EQ(h.Talk("AT+KDV24#T\r"), Framed("AT+KDV24#T\r", {"1"}, "OK"));
  EXPECT_EQ(h.Talk("AT+QX7^GETPRE\r"), Framed("AT+QX7^GETPRE\r", {"+QX7"}, "OK"));
}

TEST_F(ConversationTest, ALineMayArriveInPiecesAndBeEditedWithBackspace) {
  h.Clear();
  for (char c : std::string("AT+KDV24#X\b")) h.Write(std::string(1, c));
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), "AT+KDV24#X\b");
  EXPECT_EQ(h.Talk(std::string("C\0\n\r", 4)), std::string("C\0\n\r", 4) + "\r\n0\r\n\r\nOK\r\n");
}

TEST_F(ConversationTest, OverlongLineIsAnsweredErrorAndTheNextLineWorks) {
  std::string junk(5000, 'A');
  std::string reply = h.Talk("AT" + junk + "\r");
  EXPECT_EQ(reply, "AT" + junk + "\r\r\nERROR\r\n");
  EXPECT_EQ(h.Talk("AT+KDV24C\r"), Framed("AT+KDV24C\r", {"1"}, "OK"));
}

TEST_F(ConversationTest, LinesInOneBurstAreAnsweredInTurn) {
  EXPECT_EQ(h.Talk("AT+KDV24C\rAT+KDV24#T\r"),
            Framed("AT+KDV24C\r", {"1"}, "OK") + Framed("AT+KDV24#T\r", {"1"}, "OK"));
}

TEST_F(ConversationTest, OtherIdentificationTextsAreAnswered) {
  std::string i3 = h.Talk("AT+KDV24I3\r");
  EXPECT_EQ(i3.substr(0, 14), "AT+KDV24I3\r\r\nS");
  EXPECT_NE(i3.find("\r\n\r\nOK\r\n"), std::string::npos);
  EXPECT_EQ(h.Talk("AT+KDV24I5\r"), Framed("AT+KDV24I5\r", {"DECT DATA"}, "OK"));
}

}  // namespace
}  // namespace k470::sim::testing
