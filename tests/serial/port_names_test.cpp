// Port names on Linux: the name rules, and the candidate list built from a
// fake /sys and /dev.
#include "configtool/serial/port_names.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "configtool/platform/virtual_host.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/posix_serial.h"
#include "tests/serial/fake_tree.h"

namespace k470 {
namespace {

using testing_support::FakeTree;

TEST(PortNameRulesTest, NameToDevice) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"COM15", "/dev/ttyS14"},
      {"COM16", "/dev/COM16"},  // beyond the fifteen: just a name
      {"COM0", "/dev/COM0"},
      {"COM01", "/dev/COM01"},
      {"com3", "/dev/com3"},  // names are case-sensitive
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"serial/by-id/usb-FTDI-if00", "/dev/serial/by-id/usb-FTDI-if00"},
      {"/dev/pts/7", "/dev/pts/7"},
      {"/tmp/k470sim", "/tmp/k470sim"},
  };
  for (const auto& [name, path] : cases) EXPECT_EQ(PortDevicePath(name), path) << name;
  EXPECT_EQ(PortDevicePath("COM2", "/fake/dev"), "/fake/dev/ttyS1");
}

TEST(PortNameRulesTest, ListSplittingAndDuplicates) {
  EXPECT_EQ(SplitPortList(" COM1, /dev/ttyUSB0 ,,rfcomm0 ,"),
            (std::vector<std::string>{"COM1", "/dev/ttyUSB0", "rfcomm0"}));
  EXPECT_TRUE(SplitPortList("").empty());
  EXPECT_TRUE(SplitPortList(" , ").empty());

  std::vector<std::string> names;
  for (const char* name : {"COM3", "com3", "COM3", "", "/dev/ttyUSB0", "/dev/ttyUSB0"}) AppendPortName(names, name);
  EXPECT_EQ(names, (std::vector<std::string>{"COM3", "com3", "/dev/ttyUSB0"}));
}

TEST(PortNameRulesTest, NaturalOrder) {
  std::vector<std::string> names = {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyUSB1", "rfcomm0",
                                    "ttyUSB01", "ttyAMA0", "ttyUSB",  "ttyS16"};
  std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return NaturalLess(a, b); });
  EXPECT_EQ(names, (std::vector<std::string>{"rfcomm0", "ttyACM0", "ttyAMA0", "ttyS16", "ttyUSB", "ttyUSB1",
                                             "ttyUSB01", "ttyUSB2", "ttyUSB10"}));
  EXPECT_FALSE(NaturalLess("a", "a"));
  EXPECT_TRUE(NaturalLess("x9", "x10"));
  EXPECT_FALSE(NaturalLess("x10", "x9"));
}

class PortListTest : public ::testing::Test {
 protected:
  PortListTest() {
    tree.AddTty("ttyS0", true, 4, true);    // a 16550A: COM1
    tree.AddTty("ttyS1", true, 0, true);    // registered, no UART behind it
    tree.AddTty("ttyS2", true, std::nullopt, true);  // another driver, no type file: COM3
    tree.AddTty("ttyS3", true, 4, false);   // no device node
    tree.AddTty("ttyS4", false, 4, true);   // no driver
    tree.AddTty("ttyS14", true, 4, true);   // COM15
    tree.AddTty("ttyS15", true, 4, true);   // beyond COM15: listed by path
    tree.AddTty("ttyS16", true, 0, true);
    tree.AddTty("ttyUSB10", true, std::nullopt, true);
    tree.AddTty("ttyUSB2", true, std::nullopt, true);
    tree.AddTty("ttyACM0", true, std::nullopt, true);
    tree.AddTty("rfcomm0", true, std::nullopt, true);
    tree.AddTty("tty1", false, std::nullopt, true);  // virtual consoles have no driver link
    tree.AddTty("ptmx", false, std::nullopt, true);
    tree.SetConsole("tty0");
  }
  std::string Dev(const std::string& name) { return tree.dev() + "/" + name; }

  FakeTree tree;
};

TEST_F(PortListTest, ComPortsThenSystemDevicesThenTheUsersNames) {
  auto names = EnumeratePortNames(tree.Options("COM1, com1, " + Dev("ttyUSB2") + ", rfcomm9"));
  EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM3", "COM15", Dev("rfcomm0"), Dev("ttyACM0"), Dev("ttyS15"),
                                             Dev("ttyUSB2"), Dev("ttyUSB10"), "com1", "rfcomm9"}));
}

TEST_F(PortListTest, TheEnvironmentReplacesTheWholeList) {
  tree.SetEnv("K470_PORTS", "/dev/pts/9, COM7,,/dev/pts/9,COM1");
  EXPECT_EQ(EnumeratePortNames(tree.Options("rfcomm9")),
            (std::vector<std::string>{"/dev/pts/9", "COM7", "COM1"}));
  tree.SetEnv("K470_PORTS", "");
  EXPECT_TRUE(EnumeratePortNames(tree.Options("rfcomm9")).empty());
}

TEST_F(PortListTest, ExtraPortsComeFromTheSettingsFile) {
  std::string file = tree / "Lumora.reg";
  testing_support::WriteFile(file,
                             "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
                             "\"ExtraPorts\"=\"COM3,/dev/ttyV0\"\n");
  tree.SetEnv("K470_SETTINGS", file);
  PosixSerialOptions options = tree.Options();
  options.extraPorts = nullptr;  // the production source
  auto names = EnumeratePortNames(options);
  ASSERT_GE(names.size(), 1u);
  EXPECT_EQ(names.back(), "/dev/ttyV0");
  EXPECT_EQ(std::count(names.begin(), names.end(), "COM3"), 1);
}

TEST_F(PortListTest, CComPortListsAPortInUseButCannotOpenIt) {
  // COM1 is locked by a live process (our parent), COM3 is free.
  testing_support::WriteFile(tree.locks() + "/LCK..ttyS0", UucpLock::Content(::getppid()));
  PosixSerialSystem system(tree.Options());
  VirtualHost host;
  CComPort port(host, system);
  ASSERT_EQ(port.GetPortNames().front(), "COM1");
  EXPECT_FALSE(port.Open("COM1"));
  EXPECT_EQ(port.GetState(), LINK_NO_PORT);
  EXPECT_EQ(port.LastOpenFailure().error, OpenError::InUse);
  EXPECT_NE(port.LastOpenFailure().detail.find(std::to_string(::getppid())), std::string::npos)
      << port.LastOpenFailure().detail;
}

}  // namespace
}  // namespace k470
