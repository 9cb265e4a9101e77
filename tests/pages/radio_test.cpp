// The connection page's radio part: the partner list, the data-connection
// text and button for each slot state and holder, the message about a data
// connection held by another station, and the field-strength and quality
// bars. A scripted adapter reports exactly the states of each case.
#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>

#include "configtool/pages/adapter_page.h"
#include "configtool/res/dialogs.h"
#include "pages_fixture.h"

namespace k470::test {
namespace {

constexpr const char* kOccupied =
    "Die Datenverbindung konnte nicht hergestellt werden, da diese bereits von einer anderen Station belegt ist.";

// A local station with two registrations, Alpha (the partner) and Beta.
class RadioTest : public PagesTest {
 public:
  ScriptedAdapter& Adapter(bool base = false) {
    ScriptedAdapter& adapter = AttachScripted(AddPort("COM1"));
    adapter.SetInfo("#T", base ? "0" : "1");
    adapter.SetInfo("#R0", "0=Alpha\r\n1=Beta");
    adapter.SetInfo("&V", base ? "B1 \\R7 \\F2 \\P0 \\Q2 #T0 #D0" : "B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0");
    adapter.SetInfo("#C", "1");
    adapter.SetInfo("#W0", "0=0\r\n1=0");
    adapter.SetInfo("#W1", "0=0\r\n1=0");
    adapter.SetInfo("#R1", "0=Fremd\r\n1=Werkstatt");
    adapter.SetInfo("#S", "1");
    return adapter;
  }
  QPushButton* Button() { return General().GetDlgItemAs<QPushButton>(IDC_GEN_DATA_BUTTON); }
};

struct DataCase {
  const char* name;
  bool base;
  std::map<std::string, std::string> infos;  // what differs from the fixture's adapter
  const char* text;
  const char* caption;
  bool enabled;
  bool occupiedMessage;
};

class DataConnectionTest : public RadioTest, public ::testing::WithParamInterface<DataCase> {};

TEST_P(DataConnectionTest, TextAndButtonFollowTheSlotStateAndTheHolder) {
  const DataCase& c = GetParam();
  ScriptedAdapter& adapter = Adapter(c.base);
  for (const auto& [command, info] : c.infos) adapter.SetInfo(command, info);
  Start();
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(10000);

  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_DATA_STATE), c.text);
  EXPECT_EQ(Button()->text().toStdString(), c.caption);
  EXPECT_EQ(Button()->isEnabled(), c.enabled);
  const std::vector<std::string> expectedBoxes =
      c.occupiedMessage ? std::vector<std::string>{kOccupied} : std::vector<std::string>{};
  EXPECT_EQ(BoxTexts(), expectedBoxes);
  if (c.occupiedMessage) {
    EXPECT_EQ(host.MessageBoxes()[0].flags, MB_OK | MB_ICONINFORMATION);
  }
}

const char* kOccupy = "Datenverbindung &belegen";
const char* kRelease = "Datenverbindung &freigeben";

INSTANTIATE_TEST_SUITE_P(
    Cases, DataConnectionTest,
    ::testing::Values(
        DataCase{"NoRadioLink", false, {{"#C", "0"}}, "unbekannt", kOccupy, false, false},
        DataCase{"UnknownRadioState", false, {{"#C", "7"}}, "unbekannt", kOccupy, false, false},
        DataCase{"NoPartnerChosen", false, {{"&V", "B1 \\R7 \\F2 \\P0 \\Q2 #T1"}}, "Initialisierung", kOccupy,
                 false, false},
        DataCase{"PartnerEntryFree", false, {{"#W0", "0=7\r\n1=0"}}, "unbekannt", kOccupy, false, false},
        DataCase{"PartnerEntryHoldsIt", false, {{"#W0", "0=1\r\n1=0"}}, "Verbindung hergestellt", kRelease, true,
                 false},
        DataCase{"PartnerEntryHoldsItInMode5",
                 false,
                 {{"#W0", "0=1\r\n1=0"}, {"&V", "B5 \\R7 \\F2 \\P0 \\Q2 #T1 #D0"}},
                 "Verbindung hergestellt",
                 kRelease,
                 false,
                 false},
        DataCase{"HolderNotKnown", false, {{"#W1", "x"}}, "unbekannt", kOccupy, false, false},
        DataCase{"FreeAtTheBase", false, {}, "Datenverbindung verfügbar.", kOccupy, true, false},
        DataCase{"FreeAtTheBaseInMode5",
                 false,
                 {{"&V", "B5 \\R7 \\F2 \\P0 \\Q2 #T1 #D0"}},
                 "Datenverbindung verfügbar.",
                 kOccupy,
                 false,
                 false},
        DataCase{"HeldByUs", false, {{"#W1", "0=0\r\n1=1"}}, "Verbindung hergestellt", kRelease, true, false},
        DataCase{"HeldByAnother", false, {{"#W1", "0=1\r\n1=0"}}, "Verbindung ist von \"Fremd\" belegt.", kOccupy,
                 false, true},
        DataCase{"HeldByAnEntryBeyondTheList",
                 false,
                 {{"#W1", "0=0\r\n1=0\r\n2=1"}},
                 "unbekannt",
                 kOccupy,
                 false,
                 true},
        // A base keeps its handsets' states itself and names them from its
        // own list.
        DataCase{"BaseWhoseOtherHandsetHoldsIt", true, {{"#W0", "0=0\r\n1=1"}, {"#S", "0"}},
                 "Verbindung ist von \"Beta\" belegt.", kOccupy, false, true},
        DataCase{"BaseWithTheDataConnectionFree", true, {}, "Datenverbindung verfügbar.", kOccupy, true, false}),
    [](const ::testing::TestParamInfo<DataCase>& info) { return std::string(info.param.name); });

TEST_F(RadioTest, TheButtonOccupiesAndReleasesAndTheWaitCursorEndsWithTheAnswer) {
  ScriptedAdapter& adapter = Adapter();
  Start();
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(5000);
  ASSERT_TRUE(Button()->isEnabled());

  adapter.ClearLines();
  adapter.SetInfo("#W1", "0=0\r\n1=1");
  Button()->click();
  EXPECT_EQ(host.WaitCursorCount(), 1);
  host.RunFor(5000);
  EXPECT_EQ(host.WaitCursorCount(), 0);
  auto commands = adapter.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "#V1"), commands.end());
  EXPECT_EQ(std::find(commands.begin(), commands.end(), "#V0"), commands.end());
  ASSERT_EQ(Button()->text().toStdString(), kRelease);

  adapter.ClearLines();
  Button()->click();
  host.RunFor(5000);
  commands = adapter.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "#V0"), commands.end());
  EXPECT_EQ(std::find(commands.begin(), commands.end(), "#V1"), commands.end());
  EXPECT_EQ(host.WaitCursorCount(), 0);
}

TEST_F(RadioTest, TheOccupiedMessageComesOnceAfterStartOncePerPartnerChoiceAndOnceOnRequest) {
  ScriptedAdapter& adapter = Adapter();
  adapter.SetInfo("#W1", "0=1\r\n1=0");
  // While the box is open, refreshes that were already on their way arrive
  // (the box runs the message loop).
  host.SetMessageBoxHandler([&](const VirtualHost::MessageBoxCall&) {
    host.Post(sheet->GetSafeHwnd(), WM_REFRESH_VIEWS, REFRESH_CONNECTION);
    host.Post(sheet->GetSafeHwnd(), WM_REFRESH_VIEWS, REFRESH_PORT);
    host.RunPending();
    return IDOK;
  });
  Start();
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(30000);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kOccupied});

  // The adapter page's "Verbinden", or a refused occupy, asks for it again.
  sheet->SetReportOccupied(1);
  host.RunFor(10000);
  EXPECT_EQ(BoxTexts().size(), 2u);

  // A partner choice asks again, and the new partner's connection is held.
  Choose(General(), IDC_GEN_PARTNER_LIST, 1);
  host.RunFor(20000);
  EXPECT_EQ(BoxTexts().size(), 3u);
  EXPECT_EQ(BoxTexts().back(), kOccupied);
}

TEST_F(RadioTest, AFreeOrOwnDataConnectionEndsTheReportWithoutAMessage) {
  ScriptedAdapter& adapter = Adapter();
  Start();
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(5000);
  EXPECT_EQ(General().GetReportOccupied(), 0);
  // Held by another station later on: the report was used up by the free
  // connection, so nothing is said.
  adapter.SetInfo("#W1", "0=1\r\n1=0");
  host.RunFor(10000);
  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_DATA_STATE), "Verbindung ist von \"Fremd\" belegt.");
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(RadioTest, ThePartnerListOffersTheNamedEntriesAndMapsTheChoiceBackToItsSlot) {
  ScriptedAdapter& adapter = Adapter();
  adapter.SetInfo("#R0", "0=Alpha\r\n1=\r\n2=_U_S_B_\r\n3=Gamma");
  Start();
  ASSERT_TRUE(RunUntilConnected());
  EXPECT_EQ(ListTexts(General(), IDC_GEN_PARTNER_LIST),
            (std::vector<std::string>{"Alpha", "Lumora K475 Data", "Gamma"}));
  EXPECT_EQ(SelectedText(General(), IDC_GEN_PARTNER_LIST), "Alpha");

  adapter.ClearLines();
  Choose(General(), IDC_GEN_PARTNER_LIST, 2);
  host.RunFor(200);
  const auto commands = adapter.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "#D3"), commands.end());

  // The partner already chosen is not chosen again.
  adapter.ClearLines();
  host.RunFor(10000);
  adapter.ClearLines();
  Choose(General(), IDC_GEN_PARTNER_LIST, 0);
  host.RunFor(100);
  for (const std::string& command : adapter.Commands()) EXPECT_NE(command.rfind("#D", 0), 0u) << command;
}

TEST_F(RadioTest, APartnerChoiceWithUnappliedPartnerEditsCanBeDeclined) {
  ScriptedAdapter& adapter = Adapter();
  Start();
  ASSERT_TRUE(RunUntilConnected());
  sheet->GetPartnerPage().SetModifiedFlag(1);
  adapter.ClearLines();
  host.ScriptMessageBox(IDNO);
  Choose(General(), IDC_GEN_PARTNER_LIST, 1);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Sie haben noch nicht alle geänderten Einstellungen übernommen. "
                                                 "Diese Änderungen gehen verloren. Wollen Sie den Verbindungspartner "
                                                 "trotzdem wechseln?"});
  EXPECT_EQ(SelectedText(General(), IDC_GEN_PARTNER_LIST), "Alpha");
  host.RunFor(100);
  for (const std::string& command : adapter.Commands()) EXPECT_NE(command.rfind("#D", 0), 0u) << command;
  EXPECT_EQ(sheet->GetPartnerPage().IsModified(), 1);
}

TEST_F(RadioTest, TheBarsShowFieldStrengthAndQualityWithinTheirRange) {
  ScriptedAdapter& adapter = Adapter();
  adapter.SetInfo("#I0", "42");
  adapter.SetInfo("#I1", "250");
  Start();
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(10000);
  auto* field = General().GetDlgItemAs<QProgressBar>(IDC_GEN_FIELD_BAR);
  auto* quality = General().GetDlgItemAs<QProgressBar>(IDC_GEN_QUALITY_BAR);
  EXPECT_EQ(field->value(), 42);
  EXPECT_EQ(quality->value(), 100);
  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_RADIO_STATE), "Verbindung hergestellt");

  // The link goes: both bars drop to 0.
  adapter.SetInfo("#C", "0");
  host.RunFor(10000);
  EXPECT_EQ(field->value(), 0);
  EXPECT_EQ(quality->value(), 0);
  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_RADIO_STATE), "Keine Verbindung");
}

TEST_F(RadioTest, WithoutRegistrationsTheDataConnectionLinesAreGreyedOut) {
  ScriptedAdapter& adapter = Adapter();
  adapter.SetInfo("#R0", "0=\r\n1=");
  adapter.SetInfo("#C", "0");
  Start();
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(5000);
  EXPECT_EQ(General().GetDlgItemText(IDC_GEN_RADIO_STATE), "Keine Anmeldung");
  EXPECT_FALSE(General().IsDlgItemEnabled(IDC_GEN_DATA_LABEL));
  EXPECT_FALSE(General().IsDlgItemEnabled(IDC_GEN_DATA_STATE));
  EXPECT_TRUE(ListTexts(General(), IDC_GEN_PARTNER_LIST).empty());
}

}  // namespace
}  // namespace k470::test
