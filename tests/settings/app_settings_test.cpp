// The program's settings rules: which stored strings are usable, what
// "ComPort" means when read and what one apply writes.
#include "configtool/platform/app_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "configtool/res/string_table.h"
#include "tests/settings/temp_dir.h"

namespace k470 {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kKey = "SOFTWARE\\Corvane\\Lumora";

class AppSettingsTest : public ::testing::Test {
 protected:
  std::string ProductName() {
    std::string text = "untouched";
    settings.ReadRegString(IDS_REG_KEY, IDS_REG_DEFAULT_PRODUCT_NAME, IDS_DEFAULT_PRODUCT_NAME, text);
    return text;
  }

  TempDir dir;
  SettingsStore store{dir / "Lumora.reg"};
  CAppSettings settings{store};
};

TEST_F(AppSettingsTest, TheStringTableHoldsTheNamesAndDefaults) {
  EXPECT_EQ(LoadString(IDS_REG_KEY), "SOFTWARE\\Corvane\\Lumora");
  EXPECT_EQ(LoadString(IDS_REG_COM_PORT), "ComPort");
  EXPECT_EQ(LoadString(IDS_REG_DEFAULT_DEVICE_NAME_USB), "defaultDeviceNameUsb");
  EXPECT_EQ(LoadString(IDS_VERSION_FORMAT), "Version %i.%03i%c");
}

TEST_F(AppSettingsTest, ANameIsUsableOnlyAsAShortEnoughPlainString) {
  struct Case {
    const char* what;
    RegValue stored;
    std::string expected;
  };
  const std::string umlauts63 = std::string(60, 'x') + "äöü";  // 63 characters, 66 bytes of UTF-8
  const Case cases[] = {
      {"plain", RegValue::String("Eigenes Produkt"), "Eigenes Produkt"},
      {"empty", RegValue::String(""), ""},
      {"63 characters", RegValue::String(std::string(63, 'p')), std::string(63, 'p')},
      {"64 characters", RegValue::String(std::string(64, 'p')), "Lumora Data"},
      {"500 characters", RegValue::String(std::string(500, 'p')), "Lumora Data"},
      {"63 characters with umlauts", RegValue::String(umlauts63), umlauts63},
      {"64 characters with umlauts", RegValue::String(umlauts63 + "ß"), "Lumora Data"},
      {"expandable string", RegValue::ExpandString("Lumora Spezial"), "Lumora Data"},
      {"number", RegValue::Dword(5), "Lumora Data"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(store.Write(kKey, {{"defaultProductName", c.stored}}));
    EXPECT_EQ(ProductName(), c.expected) << c.what;
  }
  // A smaller limit applies as given.
  std::string text;
  ASSERT_TRUE(store.Write(kKey, {{"defaultVendorName", RegValue::String("12345")}}));
  settings.ReadRegString(IDS_REG_KEY, IDS_REG_DEFAULT_VENDOR_NAME, IDS_DEFAULT_VENDOR_NAME, text, 6);
  EXPECT_EQ(text, "12345");
  settings.ReadRegString(IDS_REG_KEY, IDS_REG_DEFAULT_VENDOR_NAME, IDS_DEFAULT_VENDOR_NAME, text, 5);
  EXPECT_EQ(text, "CORVANE AG");
}

TEST_F(AppSettingsTest, AnExpandableStringAsRegeditExportsItGivesTheDefault) {
  WriteFile(store.Path(),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\r\n"
            "\"defaultProductName\"=hex(2):4c,00,75,00,6d,00,6f,00,72,00,61,00,20,00,58,\\\r\n"
            "  00,00,00\r\n"
            "\"defaultDeviceName\"=\"Mein K471\"\r\n\r\n");
  EXPECT_EQ(ProductName(), "Lumora Data");
  DefaultNames names = settings.LoadDefaultNames();
  EXPECT_EQ(names.deviceName, "Mein K471");
  EXPECT_EQ(names.productName, "Lumora Data");
}

TEST_F(AppSettingsTest, WithoutAFileEverythingIsDefault) {
  DefaultNames names = settings.LoadDefaultNames();
  EXPECT_EQ(names.productName, "Lumora Data");
  EXPECT_EQ(names.vendorName, "CORVANE AG");
  EXPECT_EQ(names.deviceName, "Lumora K471 Data");
  EXPECT_EQ(names.deviceNameUsb, "Lumora K475 Data");
  EXPECT_FALSE(names.port.noDetection);
  EXPECT_EQ(names.port.portName, "");
  EXPECT_EQ(settings.LoadExtraPorts(), "");
}

TEST(StoredPortNumberTest, FourthCharacterOfAFourCharacterName) {
  struct Case {
    bool flag;
    const char* name;
    uint32_t n;
  };
  const Case cases[] = {
      {true, "COM2", 2},  {true, "COM9", 9},          {true, "COM12", 0}, {false, "COM2", 0},
      {true, "COM0", 0},  {true, "COMx", 0},          {true, "", 0},      {true, "tty5", 5},
      {true, "COM", 0},   {true, "/dev/ttyUSB0", 0},  {true, "CÖM4", 4},  // four characters, five bytes
  };
  for (const auto& c : cases) EXPECT_EQ(StoredPortNumber(c.flag, c.name), c.n) << c.flag << " " << c.name;
}

TEST_F(AppSettingsTest, SavedPortReadsBackAsTheNoDetectionFlag) {
  struct Case {
    bool flag;
    const char* name;
    bool noDetection;
    const char* portName;
  };
  const Case cases[] = {
      {true, "COM2", true, "COM2"},
      {true, "COM12", false, ""},
      {false, "COM2", false, ""},
      {true, "/dev/ttyUSB0", false, ""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(settings.SaveStoredPort(c.flag, c.name));
    EXPECT_EQ(store.Query(kKey, "ComPort")->type, REG_DWORD);
    StoredPort port = settings.LoadStoredPort();
    EXPECT_EQ(port.noDetection, c.noDetection) << c.name;
    EXPECT_EQ(port.portName, c.portName) << c.name;
  }
}

TEST_F(AppSettingsTest, OnlyANumberCountsAsStoredPort) {
  // Any nonzero number switches the detection off, whatever port it names.
  ASSERT_TRUE(store.Write(kKey, {{"ComPort", RegValue::Dword(13)}}));
  EXPECT_EQ(settings.LoadStoredPort().portName, "COM13");
  ASSERT_TRUE(store.Write(kKey, {{"ComPort", RegValue::String("3")}}));
  EXPECT_FALSE(settings.LoadStoredPort().noDetection);
}

TEST_F(AppSettingsTest, SavingThePortKeepsTheUsersValues) {
  WriteFile(store.Path(),
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
            "\"ExtraPorts\"=\"/dev/ttyUSB9, rfcomm1\"\n\"defaultVendorName\"=\"Eigen\"\n");
  ASSERT_TRUE(settings.SaveStoredPort(true, "COM3"));
  EXPECT_EQ(settings.LoadExtraPorts(), "/dev/ttyUSB9, rfcomm1");
  EXPECT_EQ(settings.LoadDefaultNames().vendorName, "Eigen");
  EXPECT_EQ(settings.LoadStoredPort().portName, "COM3");
}

TEST_F(AppSettingsTest, AFailedSaveIsOnlyAFalse) {
  std::filesystem::create_directory(store.Path());  // a directory where the file should be
  EXPECT_FALSE(settings.SaveStoredPort(true, "COM3"));
  EXPECT_FALSE(settings.LoadStoredPort().noDetection);
}

}  // namespace
}  // namespace k470
