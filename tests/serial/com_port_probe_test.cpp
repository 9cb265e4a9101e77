#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configtool/platform/virtual_host.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/virtual_port.h"

namespace k470 {
namespace {

std::string Timeline(const VirtualPort& port) {
  std::string out;
  for (const auto& event : port.LineEvents()) {
    if (event.what != 'D' && event.what != 'R' && event.what != 'H') continue;
    out += std::to_string(event.at) + event.what + (event.on ? "+" : "-") + " ";
  }
  return out;
}

TEST(ComPortProbeTest, ProbeSequenceHasItsDelaysOnTheVirtualClock) {
  VirtualHost host;
  VirtualSerialSystem system(&host.Clock());
  VirtualPort& com1 = system.AddPort("COM1");
  ProbeAnsweringFarEnd adapter(com1);
  CComPort port(host, system);

  ASSERT_TRUE(port.Open("COM1"));
  EXPECT_EQ(port.GetState(), LINK_OPEN);
  EXPECT_EQ(Timeline(com1),
            "0D+ 200D- 400R+ 500R- 600R+ 700R- 800R+ 900R- 1000R+ 1100R- 1200R+ 1300R- "
            "1400R+ 1400D+ 1700H+ ");
  EXPECT_EQ(host.NowMs(), 2200u);

  port.Close(false);
  EXPECT_FALSE(com1.Rts());
  EXPECT_FALSE(com1.Dtr());
  EXPECT_FALSE(com1.Handshake());
  EXPECT_EQ(host.NowMs(), 2220u);
}

TEST(ComPortProbeTest, StationWithDsrButNoCtsIsNoStation) {
  VirtualHost host;
  VirtualSerialSystem system(&host.Clock());
  VirtualPort& com1 = system.AddPort("COM1");
  ProbeAnsweringFarEnd adapter(com1, /*cts=*/false);
  CComPort port(host, system);

  EXPECT_FALSE(port.Open("COM1"));
  EXPECT_EQ(port.GetState(), LINK_NO_STATION);
  EXPECT_FALSE(com1.IsOpen());
}

}  // namespace
}  // namespace k470
