// Scenario statements: set-up of the world and the adapter, run-time
// control, and the refusal of bad lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/scenario.h"
#include "sim_harness.h"

namespace k470::sim::testing {
namespace {

class ScenarioTest : public ::testing::Test {
 protected:
  bool Setup(const std::string& text) {
    ScenarioContext context{&h.GetWorld(), nullptr, &options, &local};
    return ApplyScenario(text, context, error);
  }
  bool Run(const std::string& line) {
    ScenarioContext context{&h.GetWorld(), &h.Adapter().Engine(), nullptr, nullptr};
    return ApplyStatement(line, context, error);
  }
  Harness h;
  AdapterOptions options;
  std::string local, error;
};

TEST_F(ScenarioTest, BuildsStationsRegistrationsAndAdapterOptions) {
  ASSERT_TRUE(Setup(R"(
# two handsets and a base
seed 42
station Lokal type=handset name="Mein Gerät" model=usb hw="HW 9" fw=03.00 slots=3   # on the port
station Basis type=base pin=1234 mode=3 bitrate=10 format=9 flow=6 local-flow=on
station Mobil type=handset range=out
register Lokal at Basis slot=1 base-slot=2
register Mobil at Basis select=no
entry Lokal 0 "Alte Basis"
waiting Mobil 1234
local Lokal
prefix +ABC
line-feeds off
pace on
timing link-up 250
fault only #C
fault count 2
fault delay 700
)")) << error;
  World& world = h.GetWorld();
  EXPECT_EQ(local, "Lokal");
  EXPECT_EQ(world.Seed(), 42u);
  EXPECT_EQ(options.seed, 42u);
  EXPECT_EQ(options.prefix, "+ABC");
  EXPECT_FALSE(options.lineFeeds);
  EXPECT_TRUE(options.pace);
  EXPECT_EQ(options.faults.onlyCommand, "#C");
  EXPECT_EQ(options.faults.count, 2);
  EXPECT_EQ(options.faults.replyDelayMs, 700u);
  EXPECT_EQ(world.Timing().linkUpMs, 250u);
  Station* lokal = world.Find("Lokal");
  EXPECT_EQ(lokal->NameUtf8(), "Mein Gerät");
  EXPECT_EQ(lokal->Product(), kProductUsb);
  EXPECT_EQ(lokal->Hardware(), "HW 9");
  EXPECT_EQ(lokal->SlotCount(), 3);
  EXPECT_EQ(lokal->Entry(0)->fixedName, "Alte Basis");
  EXPECT_EQ(lokal->Entry(1)->stationId, "Basis");
  EXPECT_EQ(lokal->PartnerIndex(), 1);
  Station* basis = world.Find("Basis");
  EXPECT_EQ(basis->Entry(2)->stationId, "Lokal");
  EXPECT_EQ(basis->Entry(0)->stationId, "Mobil");
  EXPECT_EQ(basis->PartnerIndex(), 2);
  EXPECT_EQ(SettingsReport(*basis), "B3 \\R10 \\F9 \\P1 \\Q6 #T0 #D2");
  EXPECT_EQ(world.Find("Mobil")->PartnerIndex(), -1);
  EXPECT_FALSE(world.Find("Mobil")->InRange());
}

TEST_F(ScenarioTest, BadLinesAreRefusedWithTheirLineNumber) {
  struct Case {
    const char* text;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"station", "line 1: station needs an id"},
      {"station A\nstation A", "line 2: station 'A' exists already"},
      {"station A pin=12a", "line 1: station 'A': the PIN must be 1 to 8 digits"},
      {"station A name=\"Einundzwanzig Zeichen\"", "line 1: station 'A': the name must have 1 to 20 characters"},
      {"station A slots=11", "line 1: bad value '11' for slots"},
      {"station A colour=red", "line 1: unknown station key 'colour'"},
      {"station A name=\"offen", "line 1: unterminated quote"},
      {"local B", "line 1: no station 'B'"},
      {"station A\nregister A at A", "line 2: a handset registers at a base"},
      {"station A\npartner A 0", "line 2: slot 0 of A is free"},
      {"timing warp 5", "line 1: usage: timing KEY MS"},
      {"fault bananas", "line 1: unknown fault 'bananas'"},
      {"fault delay soon", "line 1: bad value for fault delay"},
      {"frobnicate", "line 1: unknown statement 'frobnicate'"},
  };
  for (const auto& c : cases) {
    Harness fresh;
    AdapterOptions o;
    std::string l, e;
    ScenarioContext context{&fresh.GetWorld(), nullptr, &o, &l};
    EXPECT_FALSE(ApplyScenario(c.text, context, e)) << c.text;
    EXPECT_EQ(e, c.error) << c.text;
  }
}

TEST_F(ScenarioTest, ALoneHashStartsACommentButCommandTextsKeepTheirs) {
  std::vector<std::string> words;
  ASSERT_TRUE(SplitWords("fault only #C # the status poll", words, error));
  EXPECT_EQ(words, (std::vector<std::string>{"fault", "only", "#C"}));
  ASSERT_TRUE(SplitWords("entry X 1 \"Name \\\"mit\\\" # drin\"", words, error));
  EXPECT_EQ(words, (std::vector<std::string>{"entry", "X", "1", "Name \"mit\" # drin"}));
}

TEST_F(ScenarioTest, RunTimeStatementsActOnTheRunningAdapterAndWorld) {
  h.AddLinkedPair();
  h.Attach("Lokal");
  h.Open();
  ASSERT_TRUE(Run("fault echo off")) << error;
  EXPECT_EQ(h.Ask("#T"), "\r\n1\r\n\r\nOK\r\n");
  ASSERT_TRUE(Run("fault clear"));
  ASSERT_TRUE(Run("line-feeds off"));
  EXPECT_EQ(h.Ask("#T"), "AT+KDV24#T\r\r1\r\rOK\r");
  ASSERT_TRUE(Run("range Basis out"));
  EXPECT_FALSE(h.GetWorld().Find("Basis")->InRange());
  ASSERT_TRUE(Run("fault dsr-drop on"));
  EXPECT_FALSE(h.Port().Dsr());
  ASSERT_TRUE(Run("fault dsr-drop off"));
  ASSERT_TRUE(Run("attach nothing"));
  EXPECT_FALSE(h.Port().Dsr());
  ASSERT_TRUE(Run("attach adapter"));
  ASSERT_TRUE(Run("button Basis"));
  EXPECT_TRUE(h.GetWorld().WindowOpen("Basis"));
  // The set-up of the world is fixed once the adapter runs.
  EXPECT_FALSE(Run("station Neu"));
  EXPECT_EQ(error, "'station' only at start");
  EXPECT_FALSE(Run("button Lokal"));
}

TEST_F(ScenarioTest, DefaultScenarioIsAHandsetRegisteredAtABase) {
  EXPECT_FALSE(DeclaresStations("fault echo off\n# station X\n"));
  EXPECT_TRUE(DeclaresStations("seed 1\n  station X\n"));
  ASSERT_TRUE(Setup(kDefaultScenario)) << error;
  EXPECT_EQ(local, "Lokal");
  EXPECT_EQ(h.GetWorld().Find("Lokal")->Type(), StationType::Handset);
  EXPECT_EQ(h.GetWorld().Find("Basis")->Entry(0)->stationId, "Lokal");
}

}  // namespace
}  // namespace k470::sim::testing
