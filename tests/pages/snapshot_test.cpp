// The program's snapshot hook (K470_SCREENSHOT) and screenshots of both
// pages with a simulated adapter, written as artefacts for people to look
// at.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "configtool/app/program_hooks.h"
#include "configtool/res/dialogs.h"
#include "pages_fixture.h"

namespace k470::test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(PagesTest, TheHookRunsOnceWhenTheFoundAdapterHasBeenReadAndDescribesThePages) {
  AttachSimulator(AddPort("COM1"));
  World().AddStation({.id = "Zweit", .type = sim::StationType::Base, .name = "Zweitgerät"});
  AttachSimulator(AddPort("COM2"), "Zweit");
  std::vector<std::string> descriptions;
  const std::string png = settingsDir + "/sheet.png";
  Start("", [&] {
    General().SetAdapterShownHook([&](CRadynPropSheet& shown) {
      descriptions.push_back(DescribeSheet(shown));
      EXPECT_TRUE(WriteSheetSnapshot(shown, png));
    });
  });
  ASSERT_TRUE(host.RunUntil([&] { return !descriptions.empty(); }, 30000));
  EXPECT_EQ(descriptions[0],
            "port=COM1\n"
            "port_state=Konfigurationszustand\n"
            "radio_state=Keine Verbindung\n"
            "data_connection=unbekannt\n"
            "partner=Büro\n"
            "product=Lumora K471 Data\n"
            "station_name=Werkstatt\n"
            "mode=AT-Befehle ( PC-seitig )\n"
            "title=Eigenschaften des Lumora K471 Data\n");
  EXPECT_EQ(ReadFile(png + ".txt"), descriptions[0]);
  QImage image(QString::fromStdString(png));
  EXPECT_EQ(image.size(), sheet->Widget()->size());
  EXPECT_FALSE(std::filesystem::exists(png + ".txt.part"));

  // Once per run: a port change finds another adapter without a second
  // snapshot.
  ChoosePort("COM2");
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(5000);
  EXPECT_EQ(sheet->GetPort().GetCurrentPort(), "COM2");
  EXPECT_EQ(descriptions.size(), 1u);
}

TEST_F(PagesTest, TheHookWaitsForAnAdapterThatWasFound) {
  AttachSimulator(AddPort("COM1"));
  int calls = 0;
  // The user opens the port by hand: that is a port change, and counts.
  Start("com0", [&] { General().SetAdapterShownHook([&](CRadynPropSheet&) { ++calls; }); });
  host.RunFor(10000);
  EXPECT_EQ(calls, 0);
  ChoosePort("COM1");
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(1000);
  EXPECT_EQ(calls, 1);
}

// Both pages with a simulated handset whose radio link to its base is up.
TEST_F(PagesTest, ScreenshotsOfBothPagesWithASimulatedAdapter) {
  World().Find("Lokal")->MutableLine() = {.mode = 0, .bitRate = 9, .format = '3', .flowControl = 2, .localFlow = true};
  AttachSimulator(AddPort("COM1"));
  AddPort("/dev/virtual-usb0");
  Start();
  ASSERT_TRUE(RunUntilConnected());
  host.RunFor(15000);
  ASSERT_EQ(General().GetDlgItemText(IDC_GEN_RADIO_STATE), "Verbindung hergestellt");
  ASSERT_EQ(General().GetDlgItemText(IDC_GEN_DATA_STATE), "Datenverbindung verfügbar.");

  QImage connection = sheet->Widget()->grab().toImage();
  ASSERT_TRUE(connection.save(QString::fromStdString(ArtefactPath("pages_connection.png")), "PNG"));

  sheet->SetActivePage(kTabMode);
  host.RunPending();
  ASSERT_EQ(SelectedText(sheet->GetModePage(), IDC_MODE_MODE_LIST), "Direktverbindung");
  ASSERT_EQ(SelectedText(sheet->GetModePage(), IDC_MODE_BIT_RATE_LIST), "57600");
  QImage direct = sheet->Widget()->grab().toImage();
  ASSERT_TRUE(direct.save(QString::fromStdString(ArtefactPath("pages_mode_direct.png")), "PNG"));

  Choose(sheet->GetModePage(), IDC_MODE_MODE_LIST, 3);
  QImage automatic = sheet->Widget()->grab().toImage();
  ASSERT_TRUE(automatic.save(QString::fromStdString(ArtefactPath("pages_mode_automatic.png")), "PNG"));
  EXPECT_EQ(connection.size(), direct.size());
}

}  // namespace
}  // namespace k470::test
