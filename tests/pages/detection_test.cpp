// The connection page at start: the automatic detection across the ports,
// the "com" switch, the no-detection check box and the settings it keeps.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <cerrno>
#include <fstream>

#include "configtool/res/dialogs.h"
#include "pages_fixture.h"

namespace k470::test {
namespace {

TEST_F(PagesTest, DetectionTriesEachPortOnceInListOrderUntilAnAdapterAnswers) {
  AddPort("COM1");  // nothing answers the line signals
  AddPort("COM2");  // in use by another program
  ports.Find("COM2")->FailOpen(OpenError::InUse);
  VirtualPort& mute = AddPort("COM3");  // something that echoes nothing and answers nothing
  World().AddStation({.id = "Stumm", .type = sim::StationType::Handset});
  AttachSimulator(mute, "Stumm").SetFaults({.echo = false, .reply = false});
  VirtualPort& usb = AddPort("/dev/virtual-usb0");  // stands for a device of the system's list
  AttachSimulator(usb);
  AddPort("COM4");

  Start();
  EXPECT_EQ(sheet->GetOperation(), OP_START);
  ASSERT_TRUE(RunUntilConnected());

  EXPECT_EQ(system.attempts, (std::vector<std::string>{"COM1", "COM2", "COM3", "/dev/virtual-usb0"}));
  EXPECT_FALSE(mute.IsOpen());
  EXPECT_EQ(sheet->GetPort().GetCurrentPort(), "/dev/virtual-usb0");
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(General().DetectionResult(), LINK_OPEN);
  EXPECT_EQ(General().PortStateText(), "Konfigurationszustand");
  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_PORT_STATE), "Konfigurationszustand");
  EXPECT_EQ(SelectedText(General(), IDC_GEN_PORT_LIST), "/dev/virtual-usb0");
  EXPECT_EQ(ListTexts(General(), IDC_GEN_PORT_LIST),
            (std::vector<std::string>{"COM1", "COM2", "COM3", "/dev/virtual-usb0", "COM4"}));
  EXPECT_EQ(host.WaitCursorCount(), 0);
  EXPECT_GE(host.CursorRefreshes(), 1);
  EXPECT_FALSE(General().IsDlgButtonChecked(IDC_GEN_NO_DETECTION));
}

struct FailureCase {
  const char* name;
  std::function<void(PagesTest&)> setUp;
  std::string text;
  std::vector<std::string> attempts;
};

class DetectionFailureTest : public PagesTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DetectionFailureTest, EndsWithOneMessageAndNoOperationLeft) {
  const FailureCase& c = GetParam();
  c.setUp(*this);
  Start();
  ASSERT_TRUE(RunUntilIdle());
  host.RunFor(10000);

  ASSERT_EQ(BoxTexts(), std::vector<std::string>{c.text});
  EXPECT_EQ(host.MessageBoxes()[0].flags, MB_OK | MB_ICONERROR);
  EXPECT_EQ(host.MessageBoxes()[0].caption, "Eigenschaften des Lumora Data");
  EXPECT_EQ(system.attempts, c.attempts);
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_FALSE(sheet->GetPort().IsOpen());
  EXPECT_EQ(host.WaitCursorCount(), 0);
  // Nothing is selected, so the port is still being looked for.
  EXPECT_EQ(SelectedText(General(), IDC_GEN_PORT_LIST), "");
  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_PORT_STATE), "Initialisierung");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectionFailureTest,
    ::testing::Values(
        FailureCase{"NoPortAtAll", [](PagesTest&) {}, kNoPortAvailable, {}},
        FailureCase{"EveryPortInUse",
                    [](PagesTest& t) {
                      t.AddPort("COM1").FailOpen(OpenError::InUse);
                      t.AddPort("COM2").FailOpen(OpenError::NotFound);
                    },
                    kNoPortAvailable,
                    {"COM1", "COM2"}},
        FailureCase{"PortsWithoutAStation",
                    [](PagesTest& t) {
                      t.AddPort("COM1");
                      t.AddPort("COM2");
                    },
                    NotFound("Lumora Data"),
                    {"COM1", "COM2"}},
        FailureCase{"NoAdapterAnswersOnAnyPort",
                    [](PagesTest& t) {
                      VirtualPort& first = t.AddPort("COM1");
                      VirtualPort& second = t.AddPort("COM2");
                      t.World().AddStation({.id = "Stumm", .type = sim::StationType::Handset});
                      t.AttachSimulator(first, "Stumm").SetFaults({.reply = false});
                      t.AttachSimulator(second, "Stumm").SetFaults({.echo = false, .reply = false});
                    },
                    NotFound("Lumora Data"),
                    {"COM1", "COM2"}},
        FailureCase{"AnInUsePortAfterOneThatOpened",
                    [](PagesTest& t) {
                      VirtualPort& first = t.AddPort("COM1");
                      t.World().AddStation({.id = "Stumm", .type = sim::StationType::Handset});
                      t.AttachSimulator(first, "Stumm").SetFaults({.reply = false});
                      t.AddPort("COM2").FailOpen(OpenError::InUse);
                    },
                    // Once a port could be opened, the search was for the adapter, not for a port.
                    NotFound("Lumora Data"),
                    {"COM1", "COM2"}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(PagesTest, APortWeMayNotOpenNamesItsDeviceAndHowToGetAccess) {
  // A device file of our own: its group is whatever the system gives it.
  const std::string device = settingsDir + "/ttyUSB0";
  { std::ofstream(device) << ""; }
  AddPort("/dev/virtual-usb0");
  system.Deny("/dev/virtual-usb0", EACCES, device);
  Start();
  ASSERT_TRUE(RunUntilIdle());

  OpenFailure failure;
  failure.error = OpenError::AccessDenied;
  failure.sysErrno = EACCES;
  failure.device = device;
  const std::string hint = AccessHint(failure);
  ASSERT_FALSE(hint.empty());
  EXPECT_NE(hint.find(device), std::string::npos);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{std::string(kNoPortAvailable) + " " + hint});
}

// ---- the "com" switch and the stored no-detection flag ----------------------------------

struct StartCase {
  const char* name;
  const char* commandLine;
  const char* settings;  // value lines of the settings file
  std::vector<std::string> attempts;
  const char* connectedTo;  // empty: nothing open afterwards
  bool boxTicked;
};

class StartTest : public PagesTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartTest, OpensWhatTheSwitchOrTheSettingsSay) {
  const StartCase& c = GetParam();
  // COM10 comes first, so "com1" must not take it for COM1.
  AddPort("COM10");
  AttachSimulator(AddPort("COM1"));
  AttachScripted(AddPort("COM3"));
  WriteSettings(c.settings);

  Start(c.commandLine);
  host.RunFor(60000);

  EXPECT_EQ(system.attempts, c.attempts);
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_TRUE(BoxTexts().empty());
  if (*c.connectedTo != '\0') {
    EXPECT_EQ(sheet->GetPort().GetState(), LINK_CONFIG);
    EXPECT_EQ(sheet->GetPort().GetCurrentPort(), c.connectedTo);
    EXPECT_EQ(SelectedText(General(), IDC_GEN_PORT_LIST), c.connectedTo);
  } else {
    EXPECT_FALSE(sheet->GetPort().IsOpen());
    EXPECT_EQ(SelectedText(General(), IDC_GEN_PORT_LIST), "");
  }
  EXPECT_EQ(General().IsDlgButtonChecked(IDC_GEN_NO_DETECTION), c.boxTicked);
  EXPECT_EQ(host.WaitCursorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartTest,
    ::testing::Values(
        StartCase{"Com1PicksCom1NotCom10", "com1", "", {"COM1"}, "COM1", false},
        StartCase{"Com3AmongOtherSwitches", "-v24trace -com3 noconfig", "", {"COM3"}, "COM3", false},
        StartCase{"ComSwitchOverridesTheCheckBox", "com3", "\"ComPort\"=dword:00000001\n", {"COM3"}, "COM3", true},
        StartCase{"Com0OpensNothingAndSearchesNothing", "com0", "", {}, "", false},
        StartCase{"Com12OpensNothing", "com12", "", {}, "", false},
        StartCase{"BareComOpensNothing", "xcomy", "", {}, "", false},
        StartCase{"ComInCapitalsIsNoSwitch", "COM3", "", {"COM10", "COM1"}, "COM1", false},
        StartCase{"NoSwitchSearches", "", "\"ComPort\"=dword:00000000\n", {"COM10", "COM1"}, "COM1", false},
        StartCase{"StoredNumberStopsTheSearch", "", "\"ComPort\"=dword:00000002\n", {}, "", true},
        StartCase{"StoredNameStopsTheSearch", "", "\"ComPort\"=dword:00000000\n\"ComPortName\"=\"/dev/ttyUSB0\"\n", {},
                  "", true},
        StartCase{"EmptyStoredNameSearches", "", "\"ComPortName\"=\"\"\n", {"COM10", "COM1"}, "COM1", false},
        StartCase{"NumberOfTheWrongTypeSearches", "", "\"ComPort\"=\"3\"\n", {"COM10", "COM1"}, "COM1", false}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

TEST_F(PagesTest, ASwitchPortThatIsNotListedOpensNoPortWhoseNameMerelyBeginsLikeIt) {
  AttachScripted(AddPort("COM10"));
  AttachScripted(AddPort("COM3"));
  Start("com1");
  host.RunFor(30000);
  EXPECT_TRUE(system.attempts.empty());
  EXPECT_EQ(sheet->GetOperation(), OP_IDLE);
  EXPECT_TRUE(BoxTexts().empty());
}

// ---- what apply stores --------------------------------------------------------------------

struct StoreCase {
  const char* port;
  bool tick;
  uint32_t comPort;
  const char* comPortName;
};

class StoredPortTest : public PagesTest, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(StoredPortTest, ApplyWritesBothValuesAndTheBoxSurvivesARestart) {
  const StoreCase& c = GetParam();
  AttachScripted(AddPort(c.port));
  Start();
  ASSERT_TRUE(RunUntilConnected());
  auto* box = General().GetDlgItemAs<QAbstractButton>(IDC_GEN_NO_DETECTION);
  if (c.tick) box->click();
  EXPECT_EQ(General().NoDetection(), c.tick ? 1 : 0);
  // The box alone does not ask for Apply.
  EXPECT_FALSE(sheet->IsApplyEnabled());
  sheet->PressApply();

  ASSERT_TRUE(Setting("ComPort").has_value());
  EXPECT_EQ(Setting("ComPort")->type, REG_DWORD);
  EXPECT_EQ(Setting("ComPort")->number, c.comPort) << c.port;
  ASSERT_TRUE(Setting("ComPortName").has_value());
  EXPECT_EQ(Setting("ComPortName")->type, REG_SZ);
  EXPECT_EQ(Setting("ComPortName")->text, c.comPortName);

  Stop();
  system.attempts.clear();
  Start();
  host.RunFor(30000);
  EXPECT_EQ(General().IsDlgButtonChecked(IDC_GEN_NO_DETECTION), c.tick) << c.port;
  EXPECT_EQ(system.attempts.empty(), c.tick) << c.port;
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredPortTest,
                         ::testing::Values(StoreCase{"COM2", true, 2, "COM2"}, StoreCase{"COM2", false, 0, ""},
                                           StoreCase{"COM12", true, 0, "COM12"},
                                           StoreCase{"/dev/ttyUSB0", true, 0, "/dev/ttyUSB0"},
                                           StoreCase{"/dev/ttyUSB0", false, 0, ""}));

TEST_F(PagesTest, ApplyKeepsTheStoredPortWhileTheBoxIsTickedAndNothingIsSelected) {
  WriteSettings("\"ComPort\"=dword:00000000\n\"ComPortName\"=\"/dev/ttyUSB7\"\n\"ExtraPorts\"=\"rfcomm0\"\n");
  AddPort("COM1");
  Start();
  host.RunFor(5000);
  ASSERT_TRUE(General().IsDlgButtonChecked(IDC_GEN_NO_DETECTION));
  sheet->PressApply();
  EXPECT_EQ(Setting("ComPortName")->text, "/dev/ttyUSB7");
  EXPECT_EQ(Setting("ComPort")->number, 0u);
  EXPECT_EQ(Setting("ExtraPorts")->text, "rfcomm0");

  // Unticked, nothing is kept.
  General().GetDlgItemAs<QAbstractButton>(IDC_GEN_NO_DETECTION)->click();
  sheet->PressApply();
  EXPECT_EQ(Setting("ComPortName")->text, "");
}

TEST_F(PagesTest, TheDefaultNamesOfTheSettingsReachTheSessionBeforeTheFirstMessage) {
  WriteSettings("\"defaultProductName\"=\"Mein Adapter\"\n\"defaultDeviceName\"=\"Kabelmodell\"\n");
  Start();
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(sheet->GetSession().GetVendorName(), "CORVANE AG");
  EXPECT_EQ(sheet->GetSession().MapDeviceName("_V_2_4_"), "Kabelmodell");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                            "Es ist kein COM-Anschluß verfügbar. Wenn ein anderes Programm den Anschluß nutzt, an "
                            "dem das Mein Adapter angeschlossen ist, beenden Sie dieses."});
}

}  // namespace
}  // namespace k470::test
