// CComPort on virtual ports under the virtual host: opening and its failure
// states, the search over the list, closing, writing, and the delivery of
// received blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configtool/platform/messages.h"
#include "configtool/platform/virtual_host.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/virtual_port.h"

namespace k470 {
namespace {

class Listener : public IPortListener {
 public:
  void OnReceive(const uint8_t* bytes, uint32_t count) override {
    blocks.emplace_back(reinterpret_cast<const char*>(bytes), count);
  }
  void OnPortOpened() override { events += 'O'; }
  void OnPortClosed() override { events += 'C'; }

  std::vector<std::string> blocks;
  std::string events;
};

class ComPortTest : public ::testing::Test {
 protected:
  ComPortTest() {
    host.SetThreadMessageHandler([this](uint32_t message, uintptr_t, intptr_t) {
      if (message == WM_SERIAL_RECEIVED) {
        ++notices;
        port->DeliverReceived();
      }
    });
  }
  // Adapters live as long as the fixture, longer than the port that may
  // still be open on them when a test ends.
  void Attach(VirtualPort& virtualPort) { adapters.push_back(std::make_unique<ProbeAnsweringFarEnd>(virtualPort)); }
  void MakePort() {
    port = std::make_unique<CComPort>(host, system);
    port->SetListener(&listener);
  }

  VirtualHost host;
  VirtualSerialSystem system{&host.Clock()};
  Listener listener;
  std::vector<std::unique_ptr<ProbeAnsweringFarEnd>> adapters;
  std::unique_ptr<CComPort> port;
  int notices = 0;
};

TEST_F(ComPortTest, NothingAttachedIsNoStationAfterTheWholeSequence) {
  VirtualPort& com1 = system.AddPort("COM1");
  MakePort();
  EXPECT_FALSE(port->Open("COM1"));
  EXPECT_EQ(port->GetState(), LINK_NO_STATION);
  EXPECT_EQ(port->GetCurrentPort(), "COM1");  // kept: the page names the port in its message
  // The full signalling sequence ran (1.7 s) before DSR was looked at, then
  // the close with its 20 ms.
  EXPECT_EQ(host.NowMs(), 1720u);
  EXPECT_FALSE(com1.IsOpen());
  EXPECT_FALSE(com1.Dtr());
  EXPECT_FALSE(com1.Rts());
  EXPECT_EQ(listener.events, "C");
}

TEST_F(ComPortTest, APortInUseIsListedButDoesNotOpen) {
  VirtualPort& com1 = system.AddPort("COM1");
  com1.FailOpen(OpenError::InUse);
  MakePort();
  ASSERT_EQ(port->GetPortNames(), std::vector<std::string>{"COM1"});
  EXPECT_FALSE(port->Open("COM1"));
  EXPECT_EQ(port->GetState(), LINK_NO_PORT);
  EXPECT_EQ(port->LastOpenFailure().error, OpenError::InUse);
  EXPECT_EQ(com1.OpenCount(), 0);
  EXPECT_EQ(listener.events, "");
  EXPECT_EQ(host.NowMs(), 0u);  // no probe, no close delay
}

TEST_F(ComPortTest, OpenFailureStates) {
  struct Case {
    OpenError error;
    LinkState state;
  };
  // Any other failure leaves the state as it was.
  const Case cases[] = {{OpenError::NotFound, LINK_NO_PORT},
                        {OpenError::AccessDenied, LINK_NO_PORT},
                        {OpenError::InUse, LINK_NO_PORT},
                        {OpenError::Other, LINK_NO_ANSWER}};
  VirtualPort& com1 = system.AddPort("COM1");
  MakePort();
  for (const auto& c : cases) {
    com1.FailOpen(c.error);
    port->SetState(LINK_NO_ANSWER);
    EXPECT_FALSE(port->Open("COM1"));
    EXPECT_EQ(port->GetState(), c.state) << static_cast<int>(c.error);
  }
  EXPECT_FALSE(port->Open("COM9"));  // not in the system at all
  EXPECT_EQ(port->GetState(), LINK_NO_PORT);
}

TEST_F(ComPortTest, AConfigurationFailureClosesAndKeepsTheState) {
  VirtualPort& com1 = system.AddPort("COM1");
  Attach(com1);
  com1.FailConfigure(true);
  MakePort();
  port->SetState(LINK_CONFIG);
  EXPECT_FALSE(port->Open("COM1"));
  EXPECT_EQ(port->GetState(), LINK_CONFIG);
  EXPECT_FALSE(com1.IsOpen());
  EXPECT_EQ(listener.events, "C");
}

TEST_F(ComPortTest, SearchSummarisesNoStationOverNoPort) {
  system.AddPort("COM1").FailOpen(OpenError::InUse);
  VirtualPort& com2 = system.AddPort("COM2");  // open, but nothing answers
  system.AddPort("COM3").FailOpen(OpenError::NotFound);
  MakePort();
  EXPECT_FALSE(port->OpenFirstAvailable(0));
  EXPECT_EQ(port->GetState(), LINK_NO_STATION);
  EXPECT_EQ(port->GetCurrentPort(), "");
  EXPECT_EQ(com2.OpenCount(), 1);

  // From index 2 on only COM3 is tried, and it cannot be opened.
  EXPECT_FALSE(port->OpenFirstAvailable(2));
  EXPECT_EQ(port->GetState(), LINK_NO_PORT);
  EXPECT_EQ(com2.OpenCount(), 1);
}

TEST_F(ComPortTest, SearchStopsAtTheFirstStation) {
  system.AddPort("COM1");
  VirtualPort& com2 = system.AddPort("COM2");
  Attach(com2);
  VirtualPort& com3 = system.AddPort("COM3");
  Attach(com3);
  MakePort();
  EXPECT_TRUE(port->OpenFirstAvailable(-5));  // a negative start counts as 0
  EXPECT_EQ(port->GetCurrentPort(), "COM2");
  EXPECT_EQ(port->IndexOfCurrentPort(), 1);
  EXPECT_EQ(port->GetState(), LINK_OPEN);
  EXPECT_EQ(com3.OpenCount(), 0);
  EXPECT_EQ(listener.events, "CO");  // COM1 closed after its probe, COM2 opened
}

TEST_F(ComPortTest, SearchPastTheEndResetsWithoutTouchingAnyPort) {
  VirtualPort& com1 = system.AddPort("COM1");
  Attach(com1);
  MakePort();
  ASSERT_TRUE(port->Open("COM1"));
  port->SetState(LINK_CONFIG);
  listener.events.clear();
  uint64_t before = host.NowMs();

  EXPECT_FALSE(port->OpenFirstAvailable(1));
  EXPECT_EQ(port->GetState(), LINK_IDLE);
  EXPECT_EQ(port->GetCurrentPort(), "");
  EXPECT_EQ(com1.OpenCount(), 1);
  EXPECT_TRUE(com1.IsOpen());
  EXPECT_EQ(listener.events, "");
  EXPECT_EQ(host.NowMs(), before);
}

TEST_F(ComPortTest, CloseOnAClosedPortDoesNothing) {
  system.AddPort("COM1");
  MakePort();
  port->SetState(LINK_NO_STATION);
  EXPECT_TRUE(port->Close(true));
  EXPECT_EQ(port->GetState(), LINK_NO_STATION);
  EXPECT_EQ(listener.events, "");
  EXPECT_TRUE(host.Sleeps().empty());
}

TEST_F(ComPortTest, TwoHundredBytesArriveAsThreeBlocksInOrder) {
  VirtualPort& com1 = system.AddPort("COM1");
  Attach(com1);
  MakePort();
  ASSERT_TRUE(port->Open("COM1"));
  std::string bytes;
  for (int i = 0; i < 200; ++i) bytes += static_cast<char>(i);
  com1.SendToHost(bytes);
  // One notice per block; nothing is delivered before the loop runs.
  EXPECT_EQ(port->RxQueue().Count(), 3);
  EXPECT_TRUE(listener.blocks.empty());
  host.RunPending();
  ASSERT_EQ(listener.blocks.size(), 3u);
  EXPECT_EQ(listener.blocks[0], bytes.substr(0, 80));
  EXPECT_EQ(listener.blocks[1], bytes.substr(80, 80));
  EXPECT_EQ(listener.blocks[2], bytes.substr(160, 40));
  // The first notice drained everything; the other two found nothing.
  EXPECT_EQ(notices, 3);
}

TEST_F(ComPortTest, ClosingDiscardsWhatWasNotDelivered) {
  VirtualPort& com1 = system.AddPort("COM1");
  Attach(com1);
  MakePort();
  ASSERT_TRUE(port->Open("COM1"));
  com1.SendToHost("OK\r\n");
  ASSERT_EQ(port->RxQueue().Count(), 1);
  port->Close(false);
  EXPECT_TRUE(port->RxQueue().IsEmpty());
  host.RunPending();  // the notice posted before the close arrives now
  EXPECT_EQ(notices, 1);
  EXPECT_TRUE(listener.blocks.empty());
}

TEST_F(ComPortTest, WriteResults) {
  VirtualPort& com1 = system.AddPort("COM1");
  Attach(com1);
  MakePort();
  EXPECT_FALSE(port->Write("AT\r"));  // closed
  EXPECT_EQ(listener.events, "");
  ASSERT_TRUE(port->Open("COM1"));
  EXPECT_TRUE(port->Write("AT\r"));
  EXPECT_EQ(com1.Written(), "AT\r");
  com1.FailWrites(WriteResult::FailedAfterWait);
  EXPECT_TRUE(port->Write("X"));  // started, then timed out: counts as handed over
  com1.FailWrites(WriteResult::Failed);
  EXPECT_FALSE(port->Write("X"));
  EXPECT_EQ(com1.Written(), "AT\r");
}

TEST_F(ComPortTest, DsrFollowsTheLineAndIsOffWhenClosed) {
  VirtualPort& com1 = system.AddPort("COM1");
  Attach(com1);
  MakePort();
  EXPECT_FALSE(port->IsDsrOn());
  ASSERT_TRUE(port->Open("COM1"));
  EXPECT_TRUE(port->IsDsrOn());
  com1.SetDsr(false);
  EXPECT_FALSE(port->IsDsrOn());
}

TEST_F(ComPortTest, APortWithoutModemLinesPassesTheProbe) {
  // What a pseudo-terminal looks like: the detection sequence decides.
  VirtualPort& com1 = system.AddPort("COM1");
  com1.SetHasModemLines(false);
  MakePort();
  EXPECT_TRUE(port->Open("COM1"));
  EXPECT_EQ(port->GetState(), LINK_OPEN);
}

}  // namespace
}  // namespace k470
