// The radio procedures: registration window of a base, registration of a
// handset, deregistration, PIN change, each with its result words and its
// time, and the cancel by a bare CR.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_harness.h"

namespace k470::sim::testing {
namespace {

RadioTiming ShortTiming() {
  RadioTiming t;
  t.linkUpMs = 1000;
  t.registrationWindowMs = 20000;
  t.registerMs = 2500;
  t.autoRegisterMs = 2000;
  t.deregisterMs = 1200;
  t.pinChangeMs = 800;
  t.baseFullMs = 300;
  t.cancelMs = 150;
  return t;
}

// The local adapter is a base with a handset waiting to register.
class BaseProcedureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.GetWorld().Timing() = ShortTiming();
    h.GetWorld().AddStation({.id = "Lokal", .type = StationType::Base, .pin = "1234", .slots = 2});
    h.GetWorld().AddStation({.id = "Mobil", .type = StationType::Handset});
    h.Attach("Lokal");
    h.Open();
  }
  Harness h;
};

TEST_F(BaseProcedureTest, RegistrationWindowEndsOkWhenAHandsetRegisters) {
  ASSERT_TRUE(h.GetWorld().SetWaitingHandset("Mobil", "1234"));
  EXPECT_EQ(h.Ask("^KENB"), "AT+KDV24^KENB\r");
  h.Clock().Advance(1999);
  EXPECT_EQ(h.Received(), "AT+KDV24^KENB\r");
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), Framed("AT+KDV24^KENB\r", {}, "OK"));
  EXPECT_EQ(h.Ask("#R0"), Framed("AT+KDV24#R0\r", {"0=Mobil", "1="}, "OK"));
  // The new handset is the partner: the link follows.
  h.Clock().Advance(1000);
  EXPECT_EQ(h.Ask("#C"), Framed("AT+KDV24#C\r", {"1"}, "OK"));
}

TEST_F(BaseProcedureTest, RegistrationWindowEndsWithFailureWhenNobodyRegisters) {
  EXPECT_EQ(h.Ask("^KENB", 19999), "AT+KDV24^KENB\r");
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), Framed("AT+KDV24^KENB\r", {}, "FAILURE"));
  EXPECT_FALSE(h.GetWorld().WindowOpen("Lokal"));
}

TEST_F(BaseProcedureTest, AFullBaseAnswersBaseFull) {
  h.GetWorld().AddForeignEntry("Lokal", 0, "A");
  h.GetWorld().AddForeignEntry("Lokal", 1, "B");
  EXPECT_EQ(h.Ask("^KENB", 299), "AT+KDV24^KENB\r");
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), Framed("AT+KDV24^KENB\r", {}, "BASE_FULL"));
}

TEST_F(BaseProcedureTest, WrongPinAtTheWindowKeepsItOpen) {
  ASSERT_TRUE(h.GetWorld().SetWaitingHandset("Mobil", "9999"));
  h.Ask("^KENB", 2000);
  EXPECT_TRUE(h.GetWorld().WindowOpen("Lokal"));
  EXPECT_EQ(h.Received(), "AT+KDV24^KENB\r");
}

TEST_F(BaseProcedureTest, BareCrCancelsTheWindowAndAnswersFailureSoonAfter) {
  ASSERT_TRUE(h.GetWorld().SetWaitingHandset("Mobil", "1234"));
  h.Ask("^KENB", 1000);
  EXPECT_EQ(h.Talk("\r", 149), "\r");
  EXPECT_FALSE(h.GetWorld().WindowOpen("Lokal"));
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), "\r\r\nFAILURE\r\n");
  // Nothing half done: the handset never registered.
  h.Clock().Advance(5000);
  EXPECT_EQ(h.Ask("#R0"), Framed("AT+KDV24#R0\r", {"0=", "1="}, "OK"));
}

TEST_F(BaseProcedureTest, PinChangeOfABase) {
  EXPECT_EQ(h.Ask("^CHGPIN0000,4321", 800), Framed("AT+KDV24^CHGPIN0000,4321\r", {}, "INVALID_PIN"));
  EXPECT_EQ(h.Ask("^CHGPIN1234,4321", 799), "AT+KDV24^CHGPIN1234,4321\r");
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), Framed("AT+KDV24^CHGPIN1234,4321\r", {}, "OK"));
  EXPECT_EQ(h.GetWorld().Find("Lokal")->Pin(), "4321");
}

TEST_F(BaseProcedureTest, CancelledPinChangeLeavesThePin) {
  h.Ask("^CHGPIN1234,4321", 400);
  EXPECT_EQ(h.Talk("\r", 150), "\r\r\nFAILURE\r\n");
  h.Clock().Advance(2000);
  EXPECT_EQ(h.GetWorld().Find("Lokal")->Pin(), "1234");
}

TEST_F(BaseProcedureTest, ARegistrationCommandOnABaseIsAnError) {
  EXPECT_EQ(h.Ask("^KOAC1234,0"), Framed("AT+KDV24^KOAC1234,0\r", {}, "ERROR"));
}

// The local adapter is a handset; the base is simulated.
class HandsetProcedureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.GetWorld().Timing() = ShortTiming();
    h.GetWorld().AddStation({.id = "Lokal", .type = StationType::Handset, .slots = 4});
    h.GetWorld().AddStation({.id = "Basis", .type = StationType::Base, .pin = "0815", .slots = 2});
    h.Attach("Lokal");
    h.Open();
  }
  std::string Register(const std::string& args) { return h.Ask("^KOAC" + args, 2500); }
  Harness h;
};

TEST_F(HandsetProcedureTest, RegistrationAnswersByTheStateOfTheBase) {
  struct Case {
    const char* name;
    bool windowOpen;
    int foreignEntries;
    const char* args;
    const char* word;
  };
  const std::vector<Case> cases = {
      {"window closed", false, 0, "0815,1", "FAILURE"},
      {"wrong PIN", true, 0, "4693,1", "INVALID_PIN"},
      {"base full", true, 2, "0815,1", "BASE_FULL"},
      {"registered", true, 0, "0815,1", "OK"},
  };
  for (const auto& c : cases) {
    Harness fresh;
    fresh.GetWorld().Timing() = ShortTiming();
    fresh.GetWorld().AddStation({.id = "Lokal", .type = StationType::Handset, .slots = 4});
    fresh.GetWorld().AddStation({.id = "Basis", .type = StationType::Base, .pin = "0815", .slots = 2});
    for (int i = 0; i < c.foreignEntries; ++i) fresh.GetWorld().AddForeignEntry("Basis", i, "X" + std::to_string(i));
    fresh.Attach("Lokal");
    fresh.Open();
    if (c.windowOpen) fresh.GetWorld().PressRegistrationButton("Basis");
    std::string line = std::string("AT+KDV24^KOAC") + c.args + "\r";
    EXPECT_EQ(fresh.Talk(line, 2499), line) << c.name;
    fresh.Clock().Advance(1);
    EXPECT_EQ(fresh.Received(), Framed(line, {}, c.word)) << c.name;
  }
}

TEST_F(HandsetProcedureTest, RegistrationFillsBothTablesAndMakesTheBaseThePartner) {
  h.GetWorld().PressRegistrationButton("Basis");
  ASSERT_EQ(Register("0815,2"), Framed("AT+KDV24^KOAC0815,2\r", {}, "OK"));
  EXPECT_FALSE(h.GetWorld().WindowOpen("Basis"));
  EXPECT_EQ(h.Ask("#R0"), Framed("AT+KDV24#R0\r", {"0=", "1=", "2=Basis", "3="}, "OK"));
  EXPECT_EQ(h.Ask("&V"), Framed("AT+KDV24&V\r", {"B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D2"}, "OK"));
  h.Clock().Advance(1000);
  EXPECT_EQ(h.Ask("#R1"), Framed("AT+KDV24#R1\r", {"0=Lokal", "1="}, "OK"));
  EXPECT_EQ(h.Ask("#S"), Framed("AT+KDV24#S\r", {"0"}, "OK"));
}

TEST_F(HandsetProcedureTest, RegisteringAgainReplacesTheOlderEntry) {
  ASSERT_TRUE(h.GetWorld().Register("Lokal", "Basis", 0, 1));
  h.GetWorld().PressRegistrationButton("Basis");
  ASSERT_EQ(Register("0815,3"), Framed("AT+KDV24^KOAC0815,3\r", {}, "OK"));
  EXPECT_EQ(h.Ask("#R0"), Framed("AT+KDV24#R0\r", {"0=", "1=", "2=", "3=Basis"}, "OK"));
  EXPECT_EQ(h.GetWorld().Find("Basis")->Table()[1]->stationId, "Lokal");
  EXPECT_FALSE(h.GetWorld().Find("Basis")->Table()[0].has_value());
}

TEST_F(HandsetProcedureTest, CancelledRegistrationRegistersNothing) {
  h.GetWorld().PressRegistrationButton("Basis");
  h.Ask("^KOAC0815,0", 1000);
  EXPECT_EQ(h.Talk("\r", 150), "\r\r\nFAILURE\r\n");
  h.Clock().Advance(5000);
  EXPECT_FALSE(h.GetWorld().Find("Lokal")->Table()[0].has_value());
  EXPECT_TRUE(h.GetWorld().WindowOpen("Basis"));
}

TEST_F(HandsetProcedureTest, DeregistrationDeletesOnBothSidesWhenThePartnerIsReachable) {
  ASSERT_TRUE(h.GetWorld().Register("Lokal", "Basis", 1, 0));
  EXPECT_EQ(h.Ask("^KATC1", 1199), "AT+KDV24^KATC1\r");
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), Framed("AT+KDV24^KATC1\r", {}, "OK"));
  EXPECT_FALSE(h.GetWorld().Find("Lokal")->Table()[1].has_value());
  EXPECT_FALSE(h.GetWorld().Find("Basis")->Table()[0].has_value());
}

TEST_F(HandsetProcedureTest, DeregistrationOutOfReachIsLocalOnlyAndAnswersFailure) {
  ASSERT_TRUE(h.GetWorld().Register("Lokal", "Basis", 1, 0));
  h.GetWorld().SetInRange("Basis", false);
  EXPECT_EQ(h.Ask("^KATC1", 1200), Framed("AT+KDV24^KATC1\r", {}, "FAILURE"));
  EXPECT_FALSE(h.GetWorld().Find("Lokal")->Table()[1].has_value());
  EXPECT_EQ(h.GetWorld().Find("Basis")->Table()[0]->stationId, "Lokal");
  // A foreign station is never reachable.
  h.GetWorld().AddForeignEntry("Lokal", 3, "Fremd");
  EXPECT_EQ(h.Ask("^KATC3", 1200), Framed("AT+KDV24^KATC3\r", {}, "FAILURE"));
  EXPECT_FALSE(h.GetWorld().Find("Lokal")->Table()[3].has_value());
}

TEST_F(HandsetProcedureTest, HandsetChangesThePinOfItsLinkedBase) {
  EXPECT_EQ(h.Ask("^CHGPIN0815,1111", 800), Framed("AT+KDV24^CHGPIN0815,1111\r", {}, "FAILURE"));
  ASSERT_TRUE(h.GetWorld().Register("Lokal", "Basis"));
  h.Clock().Advance(1000);
  EXPECT_EQ(h.Ask("^CHGPIN0815,1111", 800), Framed("AT+KDV24^CHGPIN0815,1111\r", {}, "OK"));
  EXPECT_EQ(h.GetWorld().Find("Basis")->Pin(), "1111");
}

TEST_F(HandsetProcedureTest, AnyLineDuringAProcedureEndsIt) {
  h.GetWorld().PressRegistrationButton("Basis");
  h.Ask("^KOAC0815,0", 100);
  // A whole command instead of a bare CR: it cancels and is not executed.
  EXPECT_EQ(h.Talk("AT+KDV24#T\r", 150), "AT+KDV24#T\r\r\nFAILURE\r\n");
  EXPECT_EQ(h.Ask("#T"), Framed("AT+KDV24#T\r", {"1"}, "OK"));
}

}  // namespace
}  // namespace k470::sim::testing
