// The session in conversation with the in-process adapter simulator: a
// handset "Lokal" on COM1, registered at the base "Basis" over the radio.
// Everything runs on the virtual clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configtool/res/string_ids.h"
#include "session_rig.h"
#include "simulator/simulated_adapter.h"

namespace k470 {
namespace {

using test::FakeSheet;
using test::RecordingTarget;

struct SimRig {
  explicit SimRig(sim::AdapterOptions options = {})
      : com(system.AddPort("COM1")), simulation(host.Clock()), port(host, system), sheet(host),
        channel(host, sheet.WindowRef(), &port), session(host, sheet, channel, port), page(host) {
    sim::World& world = simulation.GetWorld();
    world.AddStation({.id = "Lokal", .type = sim::StationType::Handset, .name = "Werkstatt"});
    world.AddStation({.id = "Basis", .type = sim::StationType::Base, .name = "Büro", .product = sim::kProductUsb});
    world.Register("Lokal", "Basis");
    adapter = &simulation.Attach(com, "Lokal", options);
    sheet.SetSession(&session);
    session.SetDefaultNames("Lumora Data", "CORVANE AG", "Lumora K471 Data", "Lumora K475 Data");
    host.SetThreadMessageHandler([this](uint32_t message, uintptr_t, intptr_t) {
      if (message == WM_SERIAL_RECEIVED) port.DeliverReceived();
    });
    host.SetMessageBoxHandler([](const VirtualHost::MessageBoxCall& call) {
      return (call.flags & MB_TYPEMASK) == MB_RETRYCANCEL ? IDCANCEL : IDOK;
    });
  }

  sim::World& World() { return simulation.GetWorld(); }

  // The lines the adapter took in, with the time of their CR.
  struct Line {
    uint64_t at;
    std::string text;
  };
  std::vector<Line> Lines() const {
    std::vector<Line> lines;
    std::string current;
    for (const auto& entry : adapter->TraceLog()) {
      if (entry.direction != '>') continue;
      for (char c : entry.bytes) {
        if (c == '\r') {
          lines.push_back({entry.at, current});
          current.clear();
        } else {
          current += c;
        }
      }
    }
    return lines;
  }
  std::vector<uint64_t> TimesOf(const std::string& text) const {
    std::vector<uint64_t> out;
    for (const auto& line : Lines()) {
      if (line.text == text) out.push_back(line.at);
    }
    return out;
  }

  VirtualHost host;
  VirtualSerialSystem system{&host.Clock()};
  VirtualPort& com;
  sim::Simulation simulation;
  sim::SimulatedAdapter* adapter = nullptr;
  CComPort port;
  FakeSheet sheet;
  CAtChannel channel;
  CStationSession session;
  RecordingTarget page;
};

TEST(SimulatorTest, DetectionReadsTheAdapterAndThePartnerOverTheRadio) {
  SimRig rig;
  rig.sheet.SetOperation(OP_START);
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(8000);

  const CStationSession& s = rig.session;
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(rig.port.GetState(), LINK_CONFIG);
  EXPECT_EQ(s.GetPrefix(), "AT+KDV24");
  EXPECT_EQ(s.GetProductName(true), "Lumora K471 Data");
  EXPECT_EQ(s.GetStationName(true), "Werkstatt");
  EXPECT_EQ(s.GetStationType(true), STATION_HANDSET);
  ASSERT_FALSE(s.GetRegistrations(true).empty());
  EXPECT_EQ(s.GetRegistrations(true)[0], "Büro");
  EXPECT_EQ(s.GetPartnerName(), "Büro");
  // The link comes up a moment after the adapter is on the air.
  EXPECT_EQ(s.GetRadioState(), RADIO_LINKED);
  EXPECT_EQ(s.GetStationName(false), "Büro");
  EXPECT_EQ(s.GetProductName(false), "Lumora K475 Data");
  EXPECT_EQ(s.GetStationType(false), STATION_BASE);
  EXPECT_EQ(s.GetRegistrations(false)[0], "Werkstatt");
  EXPECT_EQ(s.GetOwnIndex(), 0);
  EXPECT_GT(s.GetQuality(), 0);
  EXPECT_GT(s.GetFieldStrength(), 0);

  // The first lines are the detection sequence, as the adapter took them.
  std::vector<SimRig::Line> lines = rig.Lines();
  const std::vector<std::string> detection = {
      "AT^GETPRE",    "AT+KDV24C",    "AT+KDV24#R0", "AT+KDV24#T", "AT+KDV24I2,0", "AT+KDV24I4,0", "AT+KDV24&V",
      "AT+KDV24#P0", "AT+KDV24I1,0", "AT+KDV24I6,0", "AT+KDV24#C", "AT+KDV24#R0", "AT+KDV24#W0"};
  ASSERT_GE(lines.size(), detection.size());
  for (size_t i = 0; i < detection.size(); ++i) EXPECT_EQ(lines[i].text, detection[i]) << i;
}

TEST(SimulatorTest, StatusPollEveryThreeSecondsAfterTheLinkStateReply) {
  SimRig rig;
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(20000);
  std::vector<uint64_t> polls = rig.TimesOf("AT+KDV24#C");
  ASSERT_GE(polls.size(), 5u);
  // Each answer takes the same few milliseconds on the unpaced line, so the
  // cycle is 3000 ms plus that.
  for (size_t i = 2; i < polls.size(); ++i) {
    EXPECT_GE(polls[i] - polls[i - 1], 3000u) << i;
    EXPECT_LE(polls[i] - polls[i - 1], 3200u) << i;
  }
  std::vector<uint64_t> quality = rig.TimesOf("AT+KDV24#I1");
  ASSERT_GE(quality.size(), 3u);
  for (size_t i = 1; i < quality.size(); ++i) {
    EXPECT_GE(quality[i] - quality[i - 1], 5000u) << i;
    EXPECT_LE(quality[i] - quality[i - 1], 5400u) << i;
  }
}

TEST(SimulatorTest, LinkGoesDownWhenThePartnerLeavesRange) {
  SimRig rig;
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(8000);
  ASSERT_EQ(rig.session.GetRadioState(), RADIO_LINKED);
  rig.World().SetInRange("Basis", false);
  rig.host.RunFor(4000);
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_NO_LINK);
  EXPECT_EQ(rig.session.GetQuality(), 0);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  rig.World().SetInRange("Basis", true);
  rig.host.RunFor(6000);
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_LINKED);
  EXPECT_EQ(rig.session.GetStationName(false), "Büro");
}

TEST(SimulatorTest, FaultsOnTheLineStillReadEverything) {
  sim::AdapterOptions options;
  // NULs, line feeds and characters taken back with a backspace all
  // through the answers.
  options.faults.sprinklePercent = 30;
  SimRig rig(options);
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(10000);
  EXPECT_EQ(rig.port.GetState(), LINK_CONFIG);
  EXPECT_EQ(rig.session.GetStationName(true), "Werkstatt");
  ASSERT_FALSE(rig.session.GetRegistrations(true).empty());
  EXPECT_EQ(rig.session.GetRegistrations(true)[0], "Büro");
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_LINKED);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
}

TEST(SimulatorTest, PacedLineStillDetects) {
  sim::AdapterOptions options;
  options.pace = true;
  SimRig rig(options);
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(10000);
  EXPECT_EQ(rig.port.GetState(), LINK_CONFIG);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_LINKED);
}

TEST(SimulatorTest, DsrDropGivesUpAtTheNextTimeout) {
  SimRig rig;
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(8000);
  rig.adapter->SetFaults({.dsrDrop = true});
  rig.host.RunFor(7000);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].text,
            "Die Verbindung zur lokalen Station ist unterbrochen. Überprüfen Sie den COM1-Anschluß, an dem das "
            "Lumora K471 Data an den PC angeschlossen ist.");
  EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
}

TEST(SimulatorTest, NoEchoAtAllEndsInNoAnswer) {
  SimRig rig;
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(8000);
  ASSERT_TRUE(rig.session.GetQueue().empty());
  size_t before = rig.Lines().size();
  rig.adapter->GetFaults().echo = false;
  rig.host.RunFor(15000);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
  // The next command went out three times per attempt (the channel's
  // resends), in three attempts, and nothing else.
  std::vector<SimRig::Line> lines = rig.Lines();
  ASSERT_EQ(lines.size() - before, 9u);
  for (size_t i = before; i < lines.size(); ++i) EXPECT_EQ(lines[i].text, lines[before].text);
}

TEST(SimulatorTest, RemoteConfigurationEndsTheProgramAfterO) {
  SimRig rig;
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(8000);
  rig.adapter->SetFaults({.remoteConfig = true});
  rig.host.RunFor(4000);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].text,
            "Das Lumora K471 Data wird bereits von der Gegenseite konfiguriert. Das Konfigurationsprogramm wird "
            "beendet.");
  EXPECT_EQ(rig.TimesOf("AT+KDV24O").size(), 1u);
  EXPECT_EQ(rig.sheet.endSheet, (std::vector<int>{1}));
}

TEST(SimulatorTest, IncompatibleCommandSetEndsTheProgram) {
  sim::AdapterOptions options;
  options.faults.incompatible = true;
  SimRig rig(options);
  rig.sheet.SetOperation(OP_START);
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(2000);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].flags, MB_OK | MB_ICONSTOP);
  EXPECT_EQ(rig.Lines().size(), 2u);
}

TEST(SimulatorTest, DeviceThatIsNoAdapter) {
  sim::AdapterOptions options;
  options.faults.notAdapter = true;
  SimRig rig(options);
  rig.sheet.SetOperation(OP_SWITCH_PORT);
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(2000);
  ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
  EXPECT_EQ(rig.host.MessageBoxes()[0].text, "Das angeschlossene Gerät ist kein Lumora Data. ");
  EXPECT_EQ(rig.port.GetState(), LINK_NO_ANSWER);
}

TEST(SimulatorTest, RegistrationWithTheRightAndTheWrongPin) {
  for (const std::string pin : {"4693", "1111"}) {
    SimRig rig;
    rig.World().Deregister("Lokal", 0);
    rig.World().Deregister("Basis", 0);
    ASSERT_TRUE(rig.port.Open("COM1"));
    rig.host.RunFor(4000);
    ASSERT_EQ(rig.session.GetRadioState(), RADIO_UNREGISTERED);
    ASSERT_TRUE(rig.World().PressRegistrationButton("Basis"));
    rig.sheet.SetOperation(OP_REGISTER);
    ASSERT_TRUE(rig.session.RegisterAtBase(rig.page.Id(), 0, pin));
    rig.host.RunFor(10000);
    auto done = rig.page.Of(WM_OPERATION_DONE);
    ASSERT_EQ(done.size(), 1u) << pin;
    if (pin == "4693") {
      EXPECT_EQ(done[0].wParam, 1u);
      EXPECT_TRUE(rig.host.MessageBoxes().empty());
      EXPECT_EQ(rig.session.GetRegistrations(true)[0], "Büro");
      EXPECT_EQ(rig.session.GetRadioState(), RADIO_LINKED);
    } else {
      EXPECT_EQ(done[0].lParam, IDS_RESULT_INVALID_PIN);
      ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
      EXPECT_EQ(rig.host.MessageBoxes()[0].text,
                "Die Anmeldung bei der Basis war nicht möglich. Die eingegebene PIN ist falsch.");
      EXPECT_EQ(rig.host.MessageBoxes()[0].flags, MB_OK | MB_ICONSTOP);
      EXPECT_EQ(rig.session.GetRadioState(), RADIO_UNREGISTERED);
    }
  }
}

TEST(SimulatorTest, CancelledRegistrationStopsTheProcedure) {
  SimRig rig;
  rig.World().Deregister("Lokal", 0);
  rig.World().Deregister("Basis", 0);
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(4000);
  // No window is open: the registration runs until cancelled.
  rig.World().Timing().registerMs = 60000;
  rig.sheet.SetOperation(OP_REGISTER);
  ASSERT_TRUE(rig.session.RegisterAtBase(rig.page.Id(), 0, "4693"));
  rig.host.RunFor(1000);
  ASSERT_TRUE(rig.adapter->Engine().ProcedureRunning());
  uint64_t cancelled = rig.host.NowMs();
  rig.session.CancelOperation();
  rig.host.RunFor(1000);
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].wParam, 0u);
  EXPECT_EQ(done[0].lParam, 0);
  // The simulator ends the procedure soon after the bare CR.
  EXPECT_LT(done[0].at, cancelled + 500);
  EXPECT_FALSE(rig.adapter->Engine().ProcedureRunning());
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
}

TEST(SimulatorTest, FactoryResetRestartsTheAdapterAndItIsFoundAgain) {
  SimRig rig;
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(8000);
  rig.sheet.SetOperation(OP_FACTORY_RESET);
  rig.session.FactoryReset(rig.page.Id());
  rig.host.RunUntil([&] { return !rig.page.Of(WM_OPERATION_DONE).empty(); }, 10000);
  auto done = rig.page.Of(WM_OPERATION_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].wParam, 1u);
  EXPECT_EQ(rig.port.GetState(), LINK_NO_STATION);
  // What the connection page does then: close, wait, open again.
  rig.sheet.SetOperation(OP_REOPEN);
  rig.port.Close(false);
  rig.host.Sleep(5000);
  ASSERT_TRUE(rig.port.Open("COM1"));
  rig.host.RunFor(3000);
  EXPECT_EQ(rig.port.GetState(), LINK_CONFIG);
  // Delivery state: a base with nobody registered.
  EXPECT_EQ(rig.session.GetStationType(true), STATION_BASE);
  EXPECT_EQ(rig.session.GetRadioState(), RADIO_UNREGISTERED);
  EXPECT_TRUE(rig.host.MessageBoxes().empty());
}

}  // namespace
}  // namespace k470
