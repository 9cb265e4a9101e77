// Configuration and operating state, the restart after a type change or a
// reset to the delivery state, and the line signals the probe finds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configtool/platform/virtual_host.h"
#include "configtool/serial/com_port.h"
#include "sim_harness.h"

namespace k470::sim::testing {
namespace {

class RestartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.GetWorld().Timing().typeChangeMs = 600;
    h.GetWorld().Timing().factoryResetMs = 400;
    h.GetWorld().Timing().restartMs = 3000;
    h.AddLinkedPair();
    h.Attach("Lokal");
    h.Open();
  }
  Harness h;
};

TEST_F(RestartTest, LeavingTheConfigurationStateSilencesTheAdapterUntilTheNextProbe) {
  EXPECT_EQ(h.Ask("O"), Framed("AT+KDV24O\r", {}, "OK"));
  EXPECT_EQ(h.Adapter().Engine().GetPhase(), AdapterEngine::Phase::Operating);
  EXPECT_EQ(h.Ask("#T", 5000), "");
  EXPECT_TRUE(h.Port().Dsr());
  h.Reprobe();
  EXPECT_EQ(h.Ask("#T"), Framed("AT+KDV24#T\r", {"1"}, "OK"));
}

TEST_F(RestartTest, TypeChangeAnswersOkThenRestartsAsTheOtherType) {
  EXPECT_EQ(h.Ask("^KBASC0", 599), "AT+KDV24^KBASC0\r");
  EXPECT_TRUE(h.Port().Dsr());
  h.Clock().Advance(1);
  EXPECT_EQ(h.Received(), Framed("AT+KDV24^KBASC0\r", {}, "OK"));
  // The restart: lines down at once, the line silent.
  EXPECT_FALSE(h.Port().Dsr());
  EXPECT_FALSE(h.Port().Cts());
  EXPECT_EQ(h.Ask("#T", 2999), "");
  EXPECT_FALSE(h.Port().Dsr());
  h.Clock().Advance(1);
  EXPECT_TRUE(h.Port().Dsr());
  EXPECT_TRUE(h.Port().Cts());
  // Back, but in the operating state until the program probes again.
  EXPECT_EQ(h.Ask("#T", 100), "");
  h.Reprobe();
  EXPECT_EQ(h.Ask("#T"), Framed("AT+KDV24#T\r", {"0"}, "OK"));
  // A base's table is its own; the handset's registration waits for the way back.
  EXPECT_EQ(h.Ask("#R0"), Framed("AT+KDV24#R0\r", {"0=", "1=", "2=", "3=", "4=", "5="}, "OK"));
  EXPECT_EQ(h.Ask("^KBASC1", 600), Framed("AT+KDV24^KBASC1\r", {}, "OK"));
  h.Clock().Advance(3000);
  h.Reprobe();
  EXPECT_EQ(h.Ask("#R0"), Framed("AT+KDV24#R0\r", {"0=Basis", "1=", "2=", "3=", "4=", "5="}, "OK"));
}

TEST_F(RestartTest, RestartTakesTheStationOffTheAir) {
  h.Clock().Advance(1500);
  ASSERT_TRUE(h.GetWorld().IsLinked("Basis"));
  h.Ask("&F", 400);
  EXPECT_FALSE(h.GetWorld().IsLinked("Basis"));
  EXPECT_TRUE(h.GetWorld().Find("Lokal")->Restarting());
  h.Clock().Advance(3000);
  EXPECT_FALSE(h.GetWorld().Find("Lokal")->Restarting());
}

TEST_F(RestartTest, DeliveryStateForgetsRegistrationsNameSettingsAndPin) {
  h.Ask("NGeändert,0");
  h.Ask("B3");
  h.GetWorld().Find("Lokal")->SetPin("5555");
  EXPECT_EQ(h.Ask("&F", 400), Framed("AT+KDV24&F\r", {}, "OK"));
  h.Clock().Advance(3000);
  h.Reprobe();
  EXPECT_EQ(h.Ask("#T"), Framed("AT+KDV24#T\r", {"0"}, "OK"));
  EXPECT_EQ(h.Ask("I4,0"), Framed("AT+KDV24I4,0\r", {"Lokal"}, "OK"));
  EXPECT_EQ(h.Ask("&V"), Framed("AT+KDV24&V\r", {"B1 \\R7 \\F2 \\P0 \\Q2 #T0"}, "OK"));
  EXPECT_EQ(h.Ask("#R0"), Framed("AT+KDV24#R0\r", {"0=", "1=", "2=", "3=", "4=", "5="}, "OK"));
  EXPECT_EQ(h.GetWorld().Find("Lokal")->Pin(), "4693");
}

TEST_F(RestartTest, WithPacingTheRestartWaitsUntilTheOkHasLeftTheWire) {
  h.Adapter().Engine().SetPace(true);
  h.Talk("AT+KDV24&F\r");
  // The CR is in after 11 characters at 1920/s (6 ms), the OK goes out
  // 400 ms later, and its 6 characters take 3.125 ms more.
  h.Clock().AdvanceTo(409);
  EXPECT_EQ(h.Received().find("OK\r\n"), std::string::npos);
  EXPECT_TRUE(h.Port().Dsr());
  h.Clock().AdvanceTo(410);
  EXPECT_EQ(h.Received(), Framed("AT+KDV24&F\r", {}, "OK"));
  EXPECT_FALSE(h.Port().Dsr());
}

TEST_F(RestartTest, CancelledTypeChangeDoesNotRestart) {
  h.Ask("^KBASC0", 300);
  EXPECT_EQ(h.Talk("\r", 150), "\r\r\nFAILURE\r\n");
  h.Clock().Advance(5000);
  EXPECT_TRUE(h.Port().Dsr());
  EXPECT_EQ(h.Ask("#T"), Framed("AT+KDV24#T\r", {"1"}, "OK"));
}

TEST_F(RestartTest, PowerLossDropsTheLinesAndAPendingAnswer) {
  h.Adapter().GetFaults().replyDelayMs = 500;
  h.Ask("#T", 100);
  h.GetWorld().SetPowered("Lokal", false);
  EXPECT_FALSE(h.Port().Dsr());
  h.Clock().Advance(1000);
  EXPECT_EQ(h.Received(), "AT+KDV24#T\r");
  h.GetWorld().SetPowered("Lokal", true);
  EXPECT_TRUE(h.Port().Dsr());
}

// The probe of the real port object against the simulated adapter.
struct ProbeCase {
  const char* name;
  Attachment attachment;
  bool opens;
  LinkState state;
};

class ProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTest, PortProbeFindsWhatIsAttached) {
  VirtualHost host;
  VirtualSerialSystem ports(&host.Clock());
  VirtualPort& com1 = ports.AddPort("COM1");
  Simulation simulation(host.Clock());
  simulation.GetWorld().AddStation({.id = "Lokal"});
  AdapterOptions options;
  options.attachment = GetParam().attachment;
  SimulatedAdapter& adapter = simulation.Attach(com1, "Lokal", options);
  CComPort port(host, ports);
  EXPECT_EQ(port.Open("COM1"), GetParam().opens);
  EXPECT_EQ(port.GetState(), GetParam().state);
  EXPECT_EQ(adapter.Engine().GetPhase(), GetParam().opens ? AdapterEngine::Phase::Config
                                                          : AdapterEngine::Phase::Operating);
}

INSTANTIATE_TEST_SUITE_P(Attachments, ProbeTest,
                         ::testing::Values(ProbeCase{"Adapter", Attachment::Adapter, true, LINK_OPEN},
                                           ProbeCase{"Nothing", Attachment::Nothing, false, LINK_NO_STATION},
                                           ProbeCase{"DsrNoCts", Attachment::DsrNoCts, false, LINK_NO_STATION}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProbeAfterRestartTest, ProgramsReconnectAfterTypeChangeFindsTheAdapterInItsConfigurationState) {
  VirtualHost host;
  VirtualSerialSystem ports(&host.Clock());
  VirtualPort& com1 = ports.AddPort("COM1");
  Simulation simulation(host.Clock());
  simulation.GetWorld().AddStation({.id = "Lokal"});
  simulation.GetWorld().Timing().restartMs = 4000;
  SimulatedAdapter& adapter = simulation.Attach(com1, "Lokal");
  CComPort port(host, ports);
  ASSERT_TRUE(port.Open("COM1"));
  ASSERT_TRUE(port.Write("AT+KDV24^KBASC1\r"));
  // What the program does after the OK: 2500 ms, close, 5000 ms, open.
  host.Sleep(2500);
  EXPECT_NE(adapter.Sent().find("\r\nOK\r\n"), std::string::npos);
  EXPECT_EQ(adapter.Engine().GetPhase(), AdapterEngine::Phase::Restarting);
  port.Close(false);
  host.Sleep(5000);
  ASSERT_TRUE(port.Open("COM1"));
  EXPECT_EQ(adapter.Engine().GetPhase(), AdapterEngine::Phase::Config);
  EXPECT_EQ(simulation.GetWorld().Find("Lokal")->Type(), StationType::Handset);
}

}  // namespace
}  // namespace k470::sim::testing
