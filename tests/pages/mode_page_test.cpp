// The operating-mode page: what is enabled in which state and mode, the
// defaults for settings the adapter does not report, the corrections that
// keep the character format valid, the flow-control rules, and apply:
// exactly the commands of what is set, in order, and a failed one makes the
// page changed again.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <set>

#include "configtool/protocol/at_commands.h"
#include "configtool/res/dialogs.h"
#include "pages_fixture.h"

namespace k470::test {
namespace {

constexpr uint32_t kLineLists[] = {IDC_MODE_BIT_RATE_LIST, IDC_MODE_DATA_BITS_LIST, IDC_MODE_PARITY_LIST,
                                   IDC_MODE_STOP_BITS_LIST, IDC_MODE_PROTOCOL_LIST};

// The mode page with its window from the start, then an adapter on COM1
// whose "&V" reports the given settings (a reply of at least 20 characters:
// a shorter one counts as unreadable).
class ModeTest : public PagesTest {
 public:
  void Connect(const std::string& settings, bool connect = true) {
    adapter = &AttachScripted(AddPort("COM1"));
    adapter->SetInfo("&V", settings);
    Start("com0");
    Mode();
    if (!connect) return;
    ChoosePort("COM1");
    ASSERT_TRUE(RunUntilConnected());
    adapter->ClearLines();
  }
  COperationModePage& Page() { return sheet->GetModePage(); }
  std::string Selected(uint32_t id) { return SelectedText(Page(), id); }
  // The setting commands the adapter received, in order.
  std::vector<std::string> SettingCommands() {
    std::vector<std::string> out;
    for (const std::string& command : adapter->Commands()) {
      if (command.rfind("B", 0) == 0 || command.rfind("\\", 0) == 0 || command == "O") out.push_back(command);
    }
    return out;
  }
  void Pick(uint32_t listId, const std::string& text) {
    const int index = Combo(Page(), listId)->findText(QString::fromStdString(text));
    ASSERT_GE(index, 0) << text;
    Choose(Page(), listId, index);
  }
  QAbstractButton* Box() { return Page().GetDlgItemAs<QAbstractButton>(IDC_MODE_LOCAL_FLOW); }

  ScriptedAdapter* adapter = nullptr;
};

struct EnableCase {
  const char* name;
  const char* settings;  // "&V"; null: not connected
  std::vector<std::string> selected;  // mode, bit rate, data bits, parity, stop bits, protocol
  bool linesEnabled;
  bool boxEnabled;
  bool boxChecked;
  const char* explanation;
};

class EnableTest : public ModeTest, public ::testing::WithParamInterface<EnableCase> {};

TEST_P(EnableTest, ControlsAndValuesFollowTheStateAndTheMode) {
  const EnableCase& c = GetParam();
  Connect(c.settings != nullptr ? c.settings : "", c.settings != nullptr);
  const bool config = c.settings != nullptr;

  const uint32_t lists[] = {IDC_MODE_MODE_LIST, IDC_MODE_BIT_RATE_LIST, IDC_MODE_DATA_BITS_LIST,
                            IDC_MODE_PARITY_LIST, IDC_MODE_STOP_BITS_LIST, IDC_MODE_PROTOCOL_LIST};
  std::vector<std::string> selected;
  for (uint32_t id : lists) selected.push_back(Selected(id));
  EXPECT_EQ(selected, c.selected);
  for (uint32_t id : {IDC_MODE_MODE_LABEL, IDC_MODE_MODE_LIST, IDC_MODE_EXPLANATION, IDC_MODE_LINE_GROUP}) {
    EXPECT_EQ(Page().IsDlgItemEnabled(id), config) << id;
  }
  for (uint32_t id : kLineLists) EXPECT_EQ(Page().IsDlgItemEnabled(id), c.linesEnabled) << id;
  for (uint32_t id : {IDC_MODE_BIT_RATE_LABEL, IDC_MODE_DATA_BITS_LABEL, IDC_MODE_PARITY_LABEL,
                      IDC_MODE_STOP_BITS_LABEL, IDC_MODE_PROTOCOL_LABEL}) {
    EXPECT_EQ(Page().IsDlgItemEnabled(id), c.linesEnabled) << id;
  }
  EXPECT_EQ(Page().IsDlgItemEnabled(IDC_MODE_LOCAL_FLOW), c.boxEnabled);
  EXPECT_EQ(Box()->isChecked(), c.boxChecked);
  EXPECT_EQ(Page().GetDlgItemText(IDC_MODE_EXPLANATION), c.explanation);
  EXPECT_EQ(Page().IsModified(), 0);
  EXPECT_FALSE(sheet->IsApplyEnabled());
}

const std::vector<std::string> kNothing = {"", "", "", "", "", ""};

INSTANTIATE_TEST_SUITE_P(
    Cases, EnableTest,
    ::testing::Values(
        EnableCase{"NotInTheConfigurationState", nullptr, kNothing, false, false, false,
                   "Wählen Sie eine Betriebsart für das Lumora Data aus."},
        EnableCase{"AtCommandsModemSide",
                   "B2 \\R7 \\F2 \\P1 \\Q2 #T1 #D0",
                   {"AT-Befehle ( Modem-seitig )", "", "", "", "", ""},
                   false,
                   true,
                   true,
                   "In der Betriebsart \"AT-Befehle ( Modem-seitig )\" werden die Verbindungseinstellungen "
                   "automatisch vorgenommen."},
        EnableCase{"DirectWithRtsCts",
                   "B0 \\R5 \\F0 \\P1 \\Q2 #T1 #D0",
                   {"Direktverbindung", "9600", "7", "gerade ( E )", "1", "Hardware ( RTS/CTS )"},
                   true,
                   true,
                   true,
                   "In der Betriebsart \"Direktverbindung\" müssen Sie die Verbindungseinstellungen selbst "
                   "vornehmen."},
        EnableCase{"DirectWithoutHandshake",
                   "B0 \\R10 \\F9 \\P0 \\Q0 #T1 #D0",
                   {"Direktverbindung", "115200", "8", "ohne ( N )", "2", "ohne"},
                   true,
                   false,
                   false,
                   "In der Betriebsart \"Direktverbindung\" müssen Sie die Verbindungseinstellungen selbst "
                   "vornehmen."},
        EnableCase{"DirectWithDtrDsr",
                   "B0 \\R7 \\F4 \\P0 \\Q3 #T1 #D0",
                   {"Direktverbindung", "19200", "8", "ungerade ( O )", "1", "Hardware ( DTR/DSR )"},
                   true,
                   true,
                   false,
                   "In der Betriebsart \"Direktverbindung\" müssen Sie die Verbindungseinstellungen selbst "
                   "vornehmen."},
        EnableCase{"DirectWithXonAndRtsCts",
                   "B0 \\R7 \\F8 \\P1 \\Q6 #T1 #D0",
                   {"Direktverbindung", "19200", "7", "ungerade ( O )", "2", "XON/XOFF und RTS/CTS"},
                   true,
                   true,
                   true,
                   "In der Betriebsart \"Direktverbindung\" müssen Sie die Verbindungseinstellungen selbst "
                   "vornehmen."},
        EnableCase{"DirectWithSoftwareFlowControl",
                   "B0 \\R7 \\F2 \\P1 \\Q1 #T1 #D0",
                   {"Direktverbindung", "19200", "8", "ohne ( N )", "1", "Software ( XON/XOFF )"},
                   true,
                   false,
                   true,
                   "In der Betriebsart \"Direktverbindung\" müssen Sie die Verbindungseinstellungen selbst "
                   "vornehmen."},
        // Unknown settings get 38400 8N1 with RTS/CTS; an unknown protocol
        // is no hardware handshake for the box.
        EnableCase{"DirectNothingReported",
                   "B0 #T1 #D0 #X0 #Y0 #Z0",
                   {"Direktverbindung", "38400", "8", "ohne ( N )", "1", "Hardware ( RTS/CTS )"},
                   true,
                   false,
                   false,
                   "In der Betriebsart \"Direktverbindung\" müssen Sie die Verbindungseinstellungen selbst "
                   "vornehmen."},
        EnableCase{"DirectFormatUnknown",
                   "B0 \\R3 \\Q3 #T1 #D0 #X0",
                   {"Direktverbindung", "2400", "8", "ohne ( N )", "1", "Hardware ( DTR/DSR )"},
                   true,
                   true,
                   false,
                   "In der Betriebsart \"Direktverbindung\" müssen Sie die Verbindungseinstellungen selbst "
                   "vornehmen."},
        EnableCase{"CompatibleDeviceSide",
                   "B4 \\R7 \\F2 \\P0 \\Q2",
                   {"AVM-kompatibel ( Geräte-seitig )", "", "", "", "", ""},
                   false,
                   true,
                   false,
                   "In der Betriebsart \"AVM-kompatibel ( Geräte-seitig )\" werden die Verbindungseinstellungen "
                   "automatisch vorgenommen.\nListe der kompatiblen Geräte: siehe Hilfe (F1)"},
        EnableCase{"AModeNoRowOffers",
                   "B5 \\R7 \\F2 \\P0 \\Q2",
                   kNothing,
                   false,
                   true,
                   false,
                   "Wählen Sie eine Betriebsart für das Lumora K471 Data aus."}),
    [](const ::testing::TestParamInfo<EnableCase>& info) { return std::string(info.param.name); });

TEST_F(ModeTest, ChoosingTheDirectModeShowsTheAdaptersSettingsOrTheDefaults) {
  Connect("B1 #T1 #D0 #X0 #Y0 #Z0");
  Pick(IDC_MODE_MODE_LIST, "Direktverbindung");
  EXPECT_EQ(Page().IsModified(), 1);
  EXPECT_TRUE(sheet->IsApplyEnabled());
  std::vector<std::string> shown;
  for (uint32_t id : kLineLists) {
    shown.push_back(Selected(id));
    EXPECT_TRUE(Page().IsDlgItemEnabled(id));
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"38400", "8", "ohne ( N )", "1", "Hardware ( RTS/CTS )"}));
  EXPECT_EQ(Page().GetDlgItemText(IDC_MODE_EXPLANATION),
            "In der Betriebsart \"Direktverbindung\" müssen Sie die Verbindungseinstellungen selbst vornehmen.");

  // Back to an automatic mode: the lists are emptied and greyed again.
  Pick(IDC_MODE_MODE_LIST, "AT-Befehle ( PC-seitig )");
  for (uint32_t id : kLineLists) {
    EXPECT_EQ(Selected(id), "");
    EXPECT_FALSE(Page().IsDlgItemEnabled(id));
  }
  EXPECT_TRUE(Page().IsDlgItemEnabled(IDC_MODE_LOCAL_FLOW));
}

TEST_F(ModeTest, ReselectingTheSameEntryChangesNothing) {
  Connect("B0 \\R5 \\F2 \\P1 \\Q2 #T1 #D0");
  const uint32_t lists[] = {IDC_MODE_MODE_LIST, IDC_MODE_BIT_RATE_LIST, IDC_MODE_DATA_BITS_LIST,
                            IDC_MODE_PARITY_LIST, IDC_MODE_STOP_BITS_LIST, IDC_MODE_PROTOCOL_LIST};
  for (uint32_t id : lists) {
    Choose(Page(), id, Combo(Page(), id)->currentIndex());
    EXPECT_EQ(Page().IsModified(), 0) << id;
  }
  EXPECT_FALSE(sheet->IsApplyEnabled());
  // Each real change counts.
  Pick(IDC_MODE_BIT_RATE_LIST, "57600");
  EXPECT_EQ(Page().IsModified(), 1);
}

// ---- the character format --------------------------------------------------------------

TEST(CharacterFormatTest, TheCorrectionsOfEachChange) {
  struct Case {
    CharacterFormat before;
    FormatList changed;  // the list the user set (before already holds its new value)
    CharacterFormat after;
  };
  const Case cases[] = {
      // 7 data bits need a parity.
      {{0, 0, 0}, FormatList::DataBits, {0, 1, 0}},
      {{0, 2, 1}, FormatList::DataBits, {0, 2, 1}},
      // 8 data bits with a parity only with one stop bit.
      {{1, 1, 1}, FormatList::DataBits, {1, 1, 0}},
      {{1, 0, 1}, FormatList::DataBits, {1, 0, 1}},
      // No parity means 8 data bits.
      {{0, 0, 1}, FormatList::Parity, {1, 0, 1}},
      {{0, 1, 1}, FormatList::Parity, {0, 1, 1}},
      {{1, 2, 1}, FormatList::Parity, {1, 2, 0}},
      // 2 stop bits with 8 data bits drop the parity.
      {{1, 1, 1}, FormatList::StopBits, {1, 0, 1}},
      {{0, 1, 1}, FormatList::StopBits, {0, 1, 1}},
      {{1, 1, 0}, FormatList::StopBits, {1, 1, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CorrectCharacterFormat(c.before, c.changed), c.after)
        << c.before.dataBits << c.before.parity << c.before.stopBits << " list " << static_cast<int>(c.changed);
  }
}

TEST(CharacterFormatTest, EveryChangeFromAValidFormatEndsInOneTheAdapterTakes) {
  // The formats the adapter has a code for: 7E1 7O1 7E2 7O2 8N1 8N2 8E1 8O1.
  std::vector<CharacterFormat> valid;
  for (int d = 0; d < 2; ++d) {
    for (int p = 0; p < 3; ++p) {
      for (int s = 0; s < 2; ++s) {
        if (CharacterFormatCode(d, p, s) != 0) valid.push_back({d, p, s});
      }
    }
  }
  ASSERT_EQ(valid.size(), 8u);
  for (const CharacterFormat& start : valid) {
    for (int value = 0; value < 3; ++value) {
      for (FormatList list : {FormatList::DataBits, FormatList::Parity, FormatList::StopBits}) {
        if (list != FormatList::Parity && value == 2) continue;
        CharacterFormat chosen = start;
        (list == FormatList::DataBits ? chosen.dataBits
         : list == FormatList::Parity ? chosen.parity
                                      : chosen.stopBits) = value;
        const CharacterFormat result = CorrectCharacterFormat(chosen, list);
        EXPECT_NE(CharacterFormatCode(result.dataBits, result.parity, result.stopBits), 0)
            << start.dataBits << start.parity << start.stopBits << " list " << static_cast<int>(list) << " := "
            << value;
        // The user's own choice is never undone.
        EXPECT_EQ(list == FormatList::DataBits ? result.dataBits
                  : list == FormatList::Parity ? result.parity
                                               : result.stopBits,
                  value);
      }
    }
  }
}

TEST_F(ModeTest, TheListsCorrectEachOtherOnThePage) {
  Connect("B0 \\R7 \\F3 \\P0 \\Q2 #T1 #D0");  // 8E1
  Pick(IDC_MODE_STOP_BITS_LIST, "2");
  EXPECT_EQ(Selected(IDC_MODE_PARITY_LIST), "ohne ( N )");
  EXPECT_EQ(Page().IsModified(), 1);
  Pick(IDC_MODE_DATA_BITS_LIST, "7");
  EXPECT_EQ(Selected(IDC_MODE_PARITY_LIST), "gerade ( E )");
  EXPECT_EQ(Selected(IDC_MODE_STOP_BITS_LIST), "2");
  Pick(IDC_MODE_PARITY_LIST, "ohne ( N )");
  EXPECT_EQ(Selected(IDC_MODE_DATA_BITS_LIST), "8");
  EXPECT_EQ(Page().CharFormat(), (CharacterFormat{1, 0, 1}));
}

TEST_F(ModeTest, OnlyAHardwareHandshakeLeavesTheLocalFlowControlToChoose) {
  Connect("B0 \\R7 \\F2 \\P1 \\Q2 #T1 #D0");
  ASSERT_TRUE(Box()->isChecked());
  Pick(IDC_MODE_PROTOCOL_LIST, "ohne");
  EXPECT_FALSE(Box()->isChecked());
  EXPECT_FALSE(Page().IsDlgItemEnabled(IDC_MODE_LOCAL_FLOW));
  EXPECT_EQ(Page().IsModified(), 1);
  // Back to a handshake: the box shows what the adapter has set.
  Pick(IDC_MODE_PROTOCOL_LIST, "Hardware ( DTR/DSR )");
  EXPECT_TRUE(Page().IsDlgItemEnabled(IDC_MODE_LOCAL_FLOW));
  EXPECT_TRUE(Box()->isChecked());
}

// ---- apply ----------------------------------------------------------------------------------

TEST_F(ModeTest, ApplyInAnAutomaticModeSendsOnlyTheModeAndTheLocalFlowControl) {
  Connect("B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0");
  Pick(IDC_MODE_MODE_LIST, "AT-Befehle ( Modem-seitig )");
  Box()->click();
  sheet->PressApply();
  host.RunFor(5000);
  EXPECT_EQ(SettingCommands(), (std::vector<std::string>{"B2", "\\P1"}));
  EXPECT_EQ(Page().IsModified(), 0);
  EXPECT_FALSE(sheet->IsApplyEnabled());
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ModeTest, ApplyInTheDirectModeSendsAllFiveSettingsInOrder) {
  Connect("B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0");
  Pick(IDC_MODE_MODE_LIST, "Direktverbindung");
  Pick(IDC_MODE_BIT_RATE_LIST, "9600");
  Pick(IDC_MODE_DATA_BITS_LIST, "7");
  Pick(IDC_MODE_STOP_BITS_LIST, "2");
  Pick(IDC_MODE_PROTOCOL_LIST, "Hardware ( DTR/DSR )");
  Box()->click();
  sheet->PressApply();
  host.RunFor(5000);
  // 7E2 is format code 7.
  EXPECT_EQ(SettingCommands(), (std::vector<std::string>{"B0", "\\R5", "\\F7", "\\Q3", "\\P1"}));
  const std::string& written = ports.Find("COM1")->Written();
  EXPECT_NE(written.find("AT+KDV24B0\rAT+KDV24\\R5\r"), std::string::npos);
}

TEST_F(ModeTest, ApplyWithoutEditsSendsNothingAndOkLeavesTheConfigurationStateAfterTheSettings) {
  Connect("B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0");
  sheet->PressApply();
  host.RunFor(5000);
  EXPECT_TRUE(SettingCommands().empty());

  Pick(IDC_MODE_MODE_LIST, "AT-Befehle ( Modem-seitig )");
  sheet->PressOk();
  host.RunUntil([&] { return sheet->IsModalEnded(); }, 5000);
  EXPECT_TRUE(sheet->IsModalEnded());
  EXPECT_EQ(SettingCommands(), (std::vector<std::string>{"B2", "\\P0", "O"}));
}

TEST_F(ModeTest, AFailedSettingMarksThePageChangedAgain) {
  Connect("B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0");
  ScriptedAdapter::Behaviour refused;
  refused.word = "ERROR";
  adapter->Script("B2", refused);
  host.ScriptMessageBox(IDCANCEL);
  Pick(IDC_MODE_MODE_LIST, "AT-Befehle ( Modem-seitig )");
  sheet->PressApply();
  EXPECT_EQ(Page().IsModified(), 0);
  host.RunFor(5000);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{
                            "Die Einstellungen für die Betriebsart konnten nicht vollständig übernommen werden. "});
  EXPECT_EQ(host.MessageBoxes()[0].flags, MB_RETRYCANCEL | MB_ICONSTOP);
  EXPECT_EQ(Page().IsModified(), 1);
  EXPECT_TRUE(sheet->IsApplyEnabled());
  // The edit is still there to be applied again.
  EXPECT_EQ(Selected(IDC_MODE_MODE_LIST), "AT-Befehle ( Modem-seitig )");
  adapter->ClearLines();
  sheet->PressApply();
  host.RunFor(5000);
  EXPECT_EQ(SettingCommands(), (std::vector<std::string>{"B2", "\\P0"}));
  EXPECT_EQ(Page().IsModified(), 0);
}

TEST_F(ModeTest, EditsSurviveRefreshesButGoWhenTheAdapterLeavesTheConfigurationState) {
  Connect("B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0");
  Pick(IDC_MODE_MODE_LIST, "Direktverbindung");
  Pick(IDC_MODE_BIT_RATE_LIST, "600");
  // The link comes up, the adapter's settings are read again.
  adapter->SetInfo("#C", "1");
  host.Post(sheet->GetSafeHwnd(), WM_REFRESH_VIEWS, REFRESH_PORT | REFRESH_MODE);
  host.RunFor(10000);
  EXPECT_EQ(Selected(IDC_MODE_MODE_LIST), "Direktverbindung");
  EXPECT_EQ(Selected(IDC_MODE_BIT_RATE_LIST), "600");
  EXPECT_EQ(Page().IsModified(), 1);

  // The adapter stops answering: the session gives up, the page is greyed
  // and drops the edits without asking.
  ScriptedAdapter::Behaviour silent;
  silent.kind = ScriptedAdapter::Behaviour::Silent;
  adapter->Always("#C", silent);
  adapter->Always("#R0", silent);
  host.RunUntil([&] { return sheet->GetPort().GetState() == LINK_NO_ANSWER; }, 30000);
  host.RunFor(1000);
  EXPECT_EQ(Page().IsModified(), 0);
  EXPECT_FALSE(sheet->IsApplyEnabled());
  EXPECT_FALSE(Page().IsDlgItemEnabled(IDC_MODE_MODE_LIST));
  EXPECT_FALSE(Page().IsDlgItemEnabled(IDC_MODE_LOCAL_FLOW));
}

TEST_F(ModeTest, TheDiscardQuestionDropsTheEditsOnAgreement) {
  Connect("B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0");
  Pick(IDC_MODE_MODE_LIST, "Direktverbindung");
  host.ScriptMessageBox(IDOK);
  EXPECT_EQ(sheet->ConfirmDiscard(REFRESH_MODE, 0, true), 0);
  EXPECT_EQ(Page().IsModified(), 0);
  EXPECT_FALSE(sheet->IsApplyEnabled());
  sheet->PressApply();
  host.RunFor(3000);
  EXPECT_TRUE(SettingCommands().empty());
}

}  // namespace
}  // namespace k470::test
