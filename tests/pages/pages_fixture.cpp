#include "pages_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "configtool/res/dialogs.h"

namespace k470::test {

void ProcessDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string ArtefactPath(const std::string& name) {
  const char* env = std::getenv("K470_BUILD_DIR");
  QString dir = QString::fromUtf8(env != nullptr && *env != '\0' ? env : K470_DEFAULT_BUILD_DIR) + "/artefacts";
  QDir().mkpath(dir);
  return (dir + "/" + QString::fromStdString(name)).toStdString();
}

std::unique_ptr<ISerialLine> RecordingSerialSystem::Open(const std::string& name, OpenFailure& failure) {
  attempts.push_back(name);
  auto it = denied_.find(name);
  if (it == denied_.end()) return inner_.Open(name, failure);
  failure = OpenFailure{};
  failure.error = OpenError::AccessDenied;
  failure.sysErrno = it->second.first;
  failure.device = it->second.second;
  failure.detail = name + ": permission denied";
  return nullptr;
}

void RecordingSerialSystem::Deny(const std::string& name, int err, std::string device) {
  denied_[name] = {err, std::move(device)};
}

void PagesTest::SetUp() {
  char pattern[] = "/tmp/k470-pages-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  settingsDir = pattern;
  settingsPath = settingsDir + "/Lumora.reg";
  setenv("K470_SETTINGS", settingsPath.c_str(), 1);
}

void PagesTest::TearDown() {
  app.reset();
  ProcessDeferredDeletes();
  simulation.reset();
  scripted.clear();
  setenv("K470_SETTINGS", "/nonexistent/k470-pages-tests/Lumora.reg", 1);
  std::error_code error;
  std::filesystem::remove_all(settingsDir, error);
}

sim::World& PagesTest::World() {
  if (!simulation) {
    simulation = std::make_unique<sim::Simulation>(host.Clock());
    sim::World& world = simulation->GetWorld();
    world.AddStation({.id = "Lokal", .type = sim::StationType::Handset, .name = "Werkstatt"});
    world.AddStation({.id = "Basis", .type = sim::StationType::Base, .name = "Büro"});
    world.Register("Lokal", "Basis");
  }
  return simulation->GetWorld();
}

sim::SimulatedAdapter& PagesTest::AttachSimulator(VirtualPort& port, const std::string& station) {
  World();
  return simulation->Attach(port, station);
}

ScriptedAdapter& PagesTest::AttachScripted(VirtualPort& port) {
  return scripted.emplace_back(port, host.Clock()).adapter;
}

void PagesTest::WriteSettings(const std::string& valueLines) {
  std::ofstream out(settingsPath, std::ios::binary | std::ios::trunc);
  out << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\" << kSettingsKey << "]\n" << valueLines;
}

std::optional<RegValue> PagesTest::Setting(const std::string& name) const {
  return SettingsStore(settingsPath).Query(kSettingsKey, name);
}

void PagesTest::Start(const std::string& commandLine, const std::function<void()>& beforeShow) {
  host.SetCommandLine(commandLine);
  app = std::make_unique<CConfigApp>(host, system);
  sheet = &app->CreateMainSheet();
  if (beforeShow) beforeShow();
  sheet->Create();
  host.RunPending();
}

void PagesTest::Stop() {
  app.reset();
  sheet = nullptr;
  ProcessDeferredDeletes();
  host.RunPending();
}

bool PagesTest::RunUntilConnected(uint64_t limitMs) {
  bool connected = host.RunUntil(
      [&] { return sheet->GetPort().GetState() == LINK_CONFIG && sheet->GetOperation() == OP_IDLE; }, limitMs);
  // The rest of the identification: line settings, versions, first poll.
  host.RunFor(1000);
  return connected;
}

bool PagesTest::RunUntilIdle(uint64_t limitMs) {
  return host.RunUntil([&] { return sheet->GetOperation() == OP_IDLE; }, limitMs);
}

COperationModePage& PagesTest::Mode() {
  COperationModePage& page = sheet->GetModePage();
  if (!page.HasWindow()) {
    const int active = sheet->GetActiveIndex();
    sheet->SetActivePage(kTabMode);
    sheet->SetActivePage(active);
    host.RunPending();
  }
  return page;
}

void PagesTest::Choose(CPropertyPage& page, uint32_t listId, int index) {
  QComboBox* combo = Combo(page, listId);
  ASSERT_NE(combo, nullptr);
  combo->setCurrentIndex(index);
  Q_EMIT combo->activated(index);
}

void PagesTest::ChoosePort(const std::string& name) {
  QComboBox* combo = Combo(General(), IDC_GEN_PORT_LIST);
  const int index = combo->findText(QString::fromStdString(name));
  ASSERT_GE(index, 0) << name;
  Choose(General(), IDC_GEN_PORT_LIST, index);
}

std::string PagesTest::SelectedText(CPropertyPage& page, uint32_t listId) {
  QComboBox* combo = Combo(page, listId);
  return combo != nullptr && combo->currentIndex() >= 0 ? combo->currentText().toStdString() : std::string();
}

std::vector<std::string> PagesTest::ListTexts(CPropertyPage& page, uint32_t listId) {
  std::vector<std::string> texts;
  QComboBox* combo = Combo(page, listId);
  for (int i = 0; combo != nullptr && i < combo->count(); ++i) texts.push_back(combo->itemText(i).toStdString());
  return texts;
}

std::vector<std::string> PagesTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : host.MessageBoxes()) texts.push_back(box.text);
  return texts;
}

}  // namespace k470::test
