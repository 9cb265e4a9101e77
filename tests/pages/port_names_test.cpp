// Port names a person understands: the stable name of a USB adapter in the
// port list's tooltip, and the sentence on access rights after a port we
// may not open.
#include <gtest/gtest.h>

#include <QComboBox>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "configtool/res/dialogs.h"
#include "configtool/serial/posix_serial.h"
#include "pages_fixture.h"

namespace k470::test {
namespace {

namespace fs = std::filesystem;

// A /dev of our own: two USB adapters (the first with two links), a modem
// without one.
class FakeDevTest : public PagesTest {
 public:
  void SetUp() override {
    PagesTest::SetUp();
    dev = settingsDir + "/dev";
    fs::create_directories(dev + "/serial/by-id");
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0"}) std::ofstream(dev + "/" + name) << "";
    fs::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-Corvane_K475_Data_A1B2-if00-port0");
    fs::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-Corvane_K475_Data_A1B2-if01-port0");
    fs::create_symlink("../../ttyUSB1", dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_X9-if00-port0");
    fs::create_symlink("../../ttyUSB9", dev + "/serial/by-id/usb-Gone-if00-port0");
  }
  std::string dev;
};

TEST_F(FakeDevTest, TheStableNameIsFoundByTheDeviceBehindThePortName) {
  const std::string first = dev + "/serial/by-id/usb-Corvane_K475_Data_A1B2-if00-port0";
  struct Case {
    std::string portName;
    std::string stable;
  };
  const Case cases[] = {
      {dev + "/ttyUSB0", first},
      {"ttyUSB0", first},  // a bare name lives below the device root
      {dev + "/ttyUSB1", dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_X9-if00-port0"},
      {"COM1", ""},     // ttyS0: no link
      {"ttyACM0", ""},  // no link
      {"ttyUSB7", ""},  // no such device
      {first, ""},      // named by its stable name already
  };
  for (const Case& c : cases) EXPECT_EQ(FindStablePortName(c.portName, dev), c.stable) << c.portName;
  // Without the directory (no USB adapter ever plugged in): nothing.
  fs::remove_all(dev + "/serial");
  EXPECT_EQ(FindStablePortName(dev + "/ttyUSB0", dev), "");
}

TEST_F(FakeDevTest, ThePortListKeepsTheDeviceNamesAndShowsTheStableNameAsTooltip) {
  AddPort(dev + "/ttyUSB0");
  AddPort("ttyACM0");
  Start("com0", [&] { General().SetDeviceRoot(dev); });
  QComboBox* list = Combo(General(), IDC_GEN_PORT_LIST);
  ASSERT_EQ(ListTexts(General(), IDC_GEN_PORT_LIST), (std::vector<std::string>{dev + "/ttyUSB0", "ttyACM0"}));
  EXPECT_EQ(list->itemData(0, Qt::ToolTipRole).toString().toStdString(),
            dev + "/ttyUSB0\nDauerhafter Name: " + dev + "/serial/by-id/usb-Corvane_K475_Data_A1B2-if00-port0");
  EXPECT_FALSE(list->itemData(1, Qt::ToolTipRole).isValid());
}

TEST(AccessHintTest, OnlyAPermissionErrorGetsTheSentenceAndRootsGroupIsNoAdvice) {
  auto groupOf = [](const std::string& device) -> std::string {
    if (device == "/dev/ttyUSB0") return "dialout";
    if (device == "/dev/ttyS0") return "root";
    return "";
  };
  struct Case {
    OpenError error;
    int err;
    const char* device;
    const char* hint;
  };
  const Case cases[] = {
      {OpenError::AccessDenied, EACCES, "/dev/ttyUSB0",
       "Das Gerät /dev/ttyUSB0 gehört der Gruppe „dialout“; Mitglied werden Sie mit „sudo usermod -aG dialout "
       "$USER“ und einer neuen Anmeldung."},
      {OpenError::AccessDenied, EPERM, "/dev/ttyUSB0",
       "Das Gerät /dev/ttyUSB0 gehört der Gruppe „dialout“; Mitglied werden Sie mit „sudo usermod -aG dialout "
       "$USER“ und einer neuen Anmeldung."},
      {OpenError::AccessDenied, EACCES, "/dev/ttyS0",
       "Sie haben keine Rechte, das Gerät /dev/ttyS0 zu öffnen; bitten Sie Ihren Systemverwalter um Zugriff."},
      {OpenError::AccessDenied, EACCES, "/dev/rfcomm0",
       "Sie haben keine Rechte, das Gerät /dev/rfcomm0 zu öffnen; bitten Sie Ihren Systemverwalter um Zugriff."},
      // Denied for another reason (a lock of another program): not a matter of rights.
      {OpenError::AccessDenied, EBUSY, "/dev/ttyUSB0", ""},
      {OpenError::AccessDenied, 0, "/dev/ttyUSB0", ""},
      {OpenError::InUse, EACCES, "/dev/ttyUSB0", ""},
      {OpenError::NotFound, ENOENT, "/dev/ttyUSB0", ""},
      {OpenError::AccessDenied, EACCES, "", ""},
  };
  for (const Case& c : cases) {
    OpenFailure failure;
    failure.error = c.error;
    failure.sysErrno = c.err;
    failure.device = c.device;
    EXPECT_EQ(AccessHint(failure, groupOf), c.hint) << c.device << " " << c.err;
  }
}

TEST(AccessHintTest, TheGroupIsThatOfTheDeviceFile) {
  char pattern[] = "/tmp/k470-hint-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string device = std::string(pattern) + "/ttyUSB0";
  std::ofstream(device) << "";
  OpenFailure failure;
  failure.error = OpenError::AccessDenied;
  failure.sysErrno = EACCES;
  failure.device = device;
  const std::string group = DeviceGroup(device);
  ASSERT_FALSE(group.empty());
  const std::string hint = AccessHint(failure);
  if (group == "root") {
    EXPECT_NE(hint.find("Systemverwalter"), std::string::npos) << hint;
  } else {
    EXPECT_NE(hint.find("„" + group + "“"), std::string::npos) << hint;
  }
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace k470::test
