// The two values behind the no-detection check box: what one apply writes,
// and how a start reads any combination of them (files written by the
// number alone read as they always did).
#include <gtest/gtest.h>

#include "configtool/platform/app_settings.h"
#include "pages_fixture.h"

namespace k470::test {
namespace {

TEST(StoredPortValuesTest, OneApplyWritesTheNumberAndTheName) {
  struct Case {
    bool flag;
    const char* name;
    uint32_t number;
    const char* storedName;
  };
  const Case cases[] = {
      {true, "COM4", 4, "COM4"},         {true, "COM12", 0, "COM12"}, {true, "/dev/ttyUSB0", 0, "/dev/ttyUSB0"},
      {false, "COM4", 0, ""},            {false, "/dev/ttyUSB0", 0, ""}, {true, "", 0, ""},
  };
  for (const Case& c : cases) {
    const std::vector<RegUpdate> values = StoredPortValues(c.flag, c.name);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, "ComPort");
    EXPECT_EQ(values[0].value, RegValue::Dword(c.number)) << c.name;
    EXPECT_EQ(values[1].name, "ComPortName");
    EXPECT_EQ(values[1].value, RegValue::String(c.storedName)) << c.name;
  }
}

TEST_F(PagesTest, AStartReadsEitherValueAsNoDetection) {
  struct Case {
    const char* lines;
    bool noDetection;
    const char* hint;
  };
  const Case cases[] = {
      {"", false, ""},
      {"\"ComPort\"=dword:00000003\n", true, "COM3"},
      {"\"ComPort\"=dword:00000000\n", false, ""},
      {"\"ComPortName\"=\"COM12\"\n", true, "COM12"},
      {"\"ComPort\"=dword:00000003\n\"ComPortName\"=\"/dev/ttyUSB0\"\n", true, "/dev/ttyUSB0"},
      {"\"ComPort\"=dword:00000000\n\"ComPortName\"=\"\"\n", false, ""},
      // A name of another type is no name.
      {"\"ComPortName\"=dword:00000001\n", false, ""},
      {"\"ComPortName\"=hex(2):43,00,4f,00,4d,00,33,00,00,00\n", false, ""},
  };
  for (const Case& c : cases) {
    WriteSettings(c.lines);
    SettingsStore store(settingsPath);
    const DefaultNames names = CAppSettings(store).LoadDefaultNames();
    EXPECT_EQ(names.port.noDetection, c.noDetection) << c.lines;
    EXPECT_EQ(names.port.portName, c.hint) << c.lines;
    // The number alone still reads by its own rule.
    EXPECT_EQ(CAppSettings(store).LoadStoredPort().noDetection, std::string(c.lines).find("dword:00000003") !=
                                                                    std::string::npos)
        << c.lines;
  }
}

}  // namespace
}  // namespace k470::test
