// The radio between stations: the link coming up and going down on the
// virtual clock, the partner's data read over it, radio readings and the
// data connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_harness.h"

namespace k470::sim::testing {
namespace {

class RadioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.AddLinkedPair();
    h.GetWorld().Timing().linkUpMs = 1500;
    h.Attach("Lokal");
    h.Open();
  }
  std::string LinkState() { return h.Ask("#C"); }
  Harness h;
};

const std::string kNoLink = Framed("AT+KDV24#C\r", {"0"}, "OK");
const std::string kLinked = Framed("AT+KDV24#C\r", {"1"}, "OK");

TEST_F(RadioTest, LinkComesUpAfterTheConfiguredDelay) {
  h.Clock().AdvanceTo(1499);
  EXPECT_EQ(LinkState(), kNoLink);
  h.Clock().AdvanceTo(1500);
  EXPECT_EQ(LinkState(), kLinked);
  EXPECT_TRUE(h.GetWorld().IsLinked("Basis"));
}

TEST_F(RadioTest, PartnerIsReadOverTheLinkWithTargetOne) {
  h.Clock().Advance(1500);
  const std::vector<std::pair<std::string, std::vector<std::string>>> reads = {
      {"I2,1", {"_V_2_4_"}}, {"I4,1", {"Basis"}}, {"I6,1", {"HW 2"}}, {"I1,1", {"FW 2"}},
      {"#R1", {"0=Lokal", "1=", "2=", "3=", "4=", "5="}}, {"#W1", {"0=0", "1=0", "2=0", "3=0", "4=0", "5=0"}},
      {"#P1", {"0=0", "1=0", "2=0", "3=0", "4=0", "5=0"}}, {"#S", {"0"}},
  };
  for (const auto& [command, info] : reads) {
    EXPECT_EQ(h.Ask(command), Framed("AT+KDV24" + command + "\r", info, "OK")) << command;
  }
}

TEST_F(RadioTest, WithoutLinkThePartnerCannotBeReached) {
  for (const std::string command : {"I2,1", "I4,1", "#R1", "#W1", "#P1", "#S", "N\"ERROR\",1", "#V1"}) {
    EXPECT_EQ(h.Ask(command), Framed("AT+KDV24" + command + "\r", {}, "FAILURE")) << command;
  }
}

TEST_F(RadioTest, LinkGoesDownAtOnceWhenThePartnerLeavesAndReturnsAfterTheDelay) {
  h.Clock().Advance(1500);
  h.GetWorld().SetInRange("Basis", false);
  EXPECT_EQ(LinkState(), kNoLink);
  h.Clock().Advance(10000);
  EXPECT_EQ(LinkState(), kNoLink);
  h.GetWorld().SetInRange("Basis", true);
  h.Clock().Advance(1499);
  EXPECT_EQ(LinkState(), kNoLink);
  h.Clock().Advance(1);
  EXPECT_EQ(LinkState(), kLinked);
  h.GetWorld().SetPowered("Basis", false);
  EXPECT_EQ(LinkState(), kNoLink);
}

TEST_F(RadioTest, ChoosingAnotherPartnerDropsTheLink) {
  h.GetWorld().AddStation({.id = "Basis2", .type = StationType::Base});
  ASSERT_TRUE(h.GetWorld().Register("Lokal", "Basis2", 1, -1, false));
  h.Clock().Advance(1500);
  EXPECT_EQ(LinkState(), kLinked);
  EXPECT_EQ(h.Ask("#D1"), Framed("AT+KDV24#D1\r", {}, "OK"));
  EXPECT_EQ(h.Ask("&V"), Framed("AT+KDV24&V\r", {"B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D1"}, "OK"));
  EXPECT_EQ(LinkState(), kNoLink);
  h.Clock().Advance(1500);
  EXPECT_EQ(LinkState(), kLinked);
  EXPECT_EQ(h.Ask("I4,1"), Framed("AT+KDV24I4,1\r", {"Basis2"}, "OK"));
}

TEST_F(RadioTest, ALinkNeedsTheRegistrationOnBothSides) {
  // The base forgot the handset (deleted there while out of reach).
  h.GetWorld().Find("Basis")->MutableTable()[0].reset();
  h.GetWorld().Update();
  h.Clock().Advance(5000);
  EXPECT_EQ(LinkState(), kNoLink);
}

TEST_F(RadioTest, SignalAndQualityVaryWithinTheirSpreadAndRepeatRunForRun) {
  auto readings = []() {
    Harness other;
    other.GetWorld().AddStation({.id = "Lokal", .type = StationType::Handset, .signal = 60, .quality = 80, .jitter = 5});
    other.GetWorld().AddStation({.id = "Basis", .type = StationType::Base});
    other.GetWorld().Register("Lokal", "Basis");
    other.Attach("Lokal");
    other.Open();
    std::vector<int> values;
    EXPECT_EQ(other.Ask("#I0"), Framed("AT+KDV24#I0\r", {"0"}, "OK"));  // no link yet
    other.Clock().Advance(2000);
    for (int i = 0; i < 20; ++i) {
      std::string reply = other.Ask(i % 2 ? "#I1" : "#I0");
      values.push_back(std::stoi(reply.substr(reply.find("\r\n") + 2)));
    }
    return values;
  };
  std::vector<int> first = readings();
  EXPECT_EQ(first, readings());
  bool varied = false;
  for (size_t i = 0; i < first.size(); ++i) {
    int centre = i % 2 ? 80 : 60;
    EXPECT_LE(std::abs(first[i] - centre), 5);
    if (i >= 2 && first[i] != first[i - 2]) varied = true;
  }
  EXPECT_TRUE(varied);
}

TEST_F(RadioTest, DataConnectionIsHeldByOneHandsetOfABase) {
  h.GetWorld().AddStation({.id = "Zweiter", .type = StationType::Handset});
  ASSERT_TRUE(h.GetWorld().Register("Zweiter", "Basis"));
  h.Clock().Advance(1500);
  // The other handset takes the base's data connection first.
  ASSERT_EQ(h.GetWorld().OccupyData("Zweiter"), Result::Ok);
  EXPECT_EQ(h.Ask("#V1"), Framed("AT+KDV24#V1\r", {}, "FAILURE"));
  EXPECT_EQ(h.Ask("#W1"), Framed("AT+KDV24#W1\r", {"0=0", "1=1", "2=0", "3=0", "4=0", "5=0"}, "OK"));
  ASSERT_EQ(h.GetWorld().ReleaseData("Zweiter"), Result::Ok);
  EXPECT_EQ(h.Ask("#V1"), Framed("AT+KDV24#V1\r", {}, "OK"));
  EXPECT_EQ(h.Ask("#W0"), Framed("AT+KDV24#W0\r", {"0=1", "1=0", "2=0", "3=0", "4=0", "5=0"}, "OK"));
  EXPECT_EQ(h.Ask("#V0"), Framed("AT+KDV24#V0\r", {}, "OK"));
  EXPECT_EQ(h.Ask("#W0"), Framed("AT+KDV24#W0\r", {"0=0", "1=0", "2=0", "3=0", "4=0", "5=0"}, "OK"));
  // Releasing what nobody holds is fine.
  EXPECT_EQ(h.Ask("#V0"), Framed("AT+KDV24#V0\r", {}, "OK"));
}

TEST_F(RadioTest, DataConnectionEndsWithTheLink) {
  h.Clock().Advance(1500);
  ASSERT_EQ(h.Ask("#V1"), Framed("AT+KDV24#V1\r", {}, "OK"));
  h.GetWorld().SetInRange("Basis", false);
  h.GetWorld().SetInRange("Basis", true);
  h.Clock().Advance(1500);
  EXPECT_EQ(h.Ask("#W0"), Framed("AT+KDV24#W0\r", {"0=0", "1=0", "2=0", "3=0", "4=0", "5=0"}, "OK"));
}

TEST_F(RadioTest, ReleaseTimeIsSetForThePartnerOnBothSidesAndReleasesAutomatically) {
  h.Clock().Advance(1500);
  EXPECT_EQ(h.Ask("#Q90"), Framed("AT+KDV24#Q90\r", {}, "OK"));
  EXPECT_EQ(h.Ask("#P0"), Framed("AT+KDV24#P0\r", {"0=90", "1=0", "2=0", "3=0", "4=0", "5=0"}, "OK"));
  EXPECT_EQ(h.Ask("#P1"), Framed("AT+KDV24#P1\r", {"0=90", "1=0", "2=0", "3=0", "4=0", "5=0"}, "OK"));
  ASSERT_EQ(h.Ask("#V1"), Framed("AT+KDV24#V1\r", {}, "OK"));
  h.Clock().Advance(89999);
  EXPECT_TRUE(h.GetWorld().HoldsDataConnection("Lokal", 0));
  h.Clock().Advance(1);
  EXPECT_FALSE(h.GetWorld().HoldsDataConnection("Lokal", 0));
  EXPECT_EQ(h.Ask("#Q655"), Framed("AT+KDV24#Q655\r", {}, "OK"));
}

TEST_F(RadioTest, PartnerNameIsSetOverTheLink) {
  h.Clock().Advance(1500);
  EXPECT_EQ(h.Ask("NWerkstatt,1"), Framed("AT+KDV24NWerkstatt,1\r", {}, "OK"));
  EXPECT_EQ(h.Ask("#R0"), Framed("AT+KDV24#R0\r", {"0=Werkstatt", "1=", "2=", "3=", "4=", "5="}, "OK"));
  EXPECT_EQ(h.Ask("NREMOTE_CONFIG,0"), Framed("AT+KDV24NREMOTE_CONFIG,0\r", {}, "OK"));
  EXPECT_EQ(h.Ask("#R1"), Framed("AT+KDV24#R1\r", {"0=\"REMOTE_CONFIG\"", "1=", "2=", "3=", "4=", "5="}, "OK"));
}

}  // namespace
}  // namespace k470::sim::testing
