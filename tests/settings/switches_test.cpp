#include "configtool/platform/switches.h"

#include <gtest/gtest.h>

namespace k470 {
namespace {

TEST(SwitchesTest, ComSwitch) {
  struct Case {
    const char* commandLine;
    std::optional<uint8_t> number;
  };
  const Case cases[] = {
      {"-com3", 3},
      {"com0", 0},
      {"com12", 12},
      {"com", 0},
      {"COM3", std::nullopt},
      {"", std::nullopt},
      {"xcom256", 0},  // low 8 bits
      {"com257", 1},
      {"v24trace com5 com7", 5},  // the first occurrence counts
      {"/dev/ttyUSB0 -com", 0},
      {"compact com4", 0},  // "compact" is the first "com", without digits
      {"Com4 -com 4", 0},   // a blank ends the digits
  };
  for (const auto& c : cases) EXPECT_EQ(ComSwitchNumber(c.commandLine), c.number) << c.commandLine;
}

TEST(SwitchesTest, ComSwitchKeepsTheLowBitsOfLongNumbers) {
  // 99999999999999999999 mod 256 = 255: the digits keep counting modulo 256.
  EXPECT_EQ(ComSwitchNumber("com99999999999999999999"), 255);
}

TEST(SwitchesTest, SubstringSwitchesAreCaseSensitive) {
  struct Case {
    const char* commandLine;
    bool trace;
    bool noConfig;
  };
  const Case cases[] = {
      {"v24trace noconfig", true, true},
      {"noconfig-v24trace", true, true},
      {"/v24traceX", true, false},
      {"V24TRACE NOCONFIG", false, false},
      {"v24 trace", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HasSwitch(c.commandLine, kSwitchTrace), c.trace) << c.commandLine;
    EXPECT_EQ(HasSwitch(c.commandLine, kSwitchNoConfig), c.noConfig) << c.commandLine;
  }
}

}  // namespace
}  // namespace k470
