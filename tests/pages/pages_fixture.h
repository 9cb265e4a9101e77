// Shared pieces of the page tests: the program's main sheet on the virtual
// host with virtual ports, adapters at their far ends (the in-process
// simulator or a scripted adapter), a settings file of the test's own, and
// the user's hands on the pages' lists.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "configtool/app/config_app.h"
#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/pages/general_page.h"
#include "configtool/pages/mode_page.h"
#include "configtool/platform/settings_store.h"
#include "configtool/platform/virtual_host.h"
#include "configtool/serial/virtual_port.h"
#include "scripted_adapter.h"
#include "simulator/simulated_adapter.h"

namespace k470::test {

// Deletes what Qt was asked to delete later (windows that went away).
void ProcessDeferredDeletes();
// ${K470_BUILD_DIR}/artefacts/<name>, the directory made if needed.
std::string ArtefactPath(const std::string& name);

// The texts the tests look for, as the user reads them.
inline constexpr const char* kNoPortAvailable =
    "Es ist kein COM-Anschluß verfügbar. Wenn ein anderes Programm den Anschluß nutzt, an dem das Lumora Data "
    "angeschlossen ist, beenden Sie dieses.";
inline constexpr const char* kPortNotAvailable =
    "Der COM-Anschluß ist nicht verfügbar. Wenn der Anschluß durch ein anderes Programm genutzt wird, beenden Sie "
    "dieses.";
inline std::string NotFound(const std::string& device) {
  return "Es konnte kein " + device + " gefunden werden. Überprüfen Sie, ob das " + device +
         " betriebsbereit und mit dem COM-Anschluß verbunden ist.";
}

// The settings key as the settings file names it.
inline constexpr const char* kSettingsKey = "SOFTWARE\\Corvane\\Lumora";

// The ports the program sees: the virtual ones, with every attempt to open
// one recorded, and ports that refuse us as a device without access rights
// does.
class RecordingSerialSystem : public ISerialSystem {
 public:
  explicit RecordingSerialSystem(ISerialSystem& inner) : inner_(inner) {}
  std::vector<std::string> EnumeratePorts() override { return inner_.EnumeratePorts(); }
  std::unique_ptr<ISerialLine> Open(const std::string& name, OpenFailure& failure) override;
  // Opening name fails with AccessDenied, errno err, on the device path.
  void Deny(const std::string& name, int err, std::string device);

  // Every attempt, in order.
  std::vector<std::string> attempts;

 private:
  ISerialSystem& inner_;
  std::map<std::string, std::pair<int, std::string>> denied_;
};

// Public: the set-up lambdas of the case tables use it too.
class PagesTest : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // ---- the world at the far ends ----
  VirtualPort& AddPort(const std::string& name) { return ports.AddPort(name); }
  // "Lokal", a handset named "Werkstatt", registered at "Basis", a base
  // named "Büro", on the first call; more stations can be added.
  sim::World& World();
  sim::SimulatedAdapter& AttachSimulator(VirtualPort& port, const std::string& station = "Lokal");
  ScriptedAdapter& AttachScripted(VirtualPort& port);

  // ---- settings ----
  // Writes the values (lines such as "\"ComPort\"=dword:00000002") as the
  // test's settings file.
  void WriteSettings(const std::string& valueLines);
  std::optional<RegValue> Setting(const std::string& name) const;

  // ---- the program ----
  // Builds the application and its sheet with the command line, runs
  // beforeShow (the sheet and its pages exist, no window yet), shows the
  // sheet (the connection page initialises) and runs what that posted.
  void Start(const std::string& commandLine = "", const std::function<void()>& beforeShow = {});
  // Ends the program's objects (as a restart would), keeping the world.
  void Stop();
  // Runs until the link is in the configuration state and no operation is
  // left, then a little longer so the identification ends.
  bool RunUntilConnected(uint64_t limitMs = 60000);
  bool RunUntilIdle(uint64_t limitMs = 60000);
  CGeneralPage& General() { return sheet->GetGeneralPage(); }
  // Shows the operating-mode page once (so it has a window) and returns to
  // the connection page.
  COperationModePage& Mode();
  QComboBox* Combo(CPropertyPage& page, uint32_t id) { return page.GetDlgItemAs<QComboBox>(id); }
  // The user picks an entry of a list (as the window system reports it).
  void Choose(CPropertyPage& page, uint32_t listId, int index);
  void ChoosePort(const std::string& name);
  std::string SelectedText(CPropertyPage& page, uint32_t listId);
  std::vector<std::string> ListTexts(CPropertyPage& page, uint32_t listId);
  std::vector<std::string> BoxTexts() const;

  VirtualHost host;
  VirtualSerialSystem ports{&host.Clock()};
  RecordingSerialSystem system{ports};
  std::unique_ptr<sim::Simulation> simulation;
  // The helper is not meant to be deleted through a pointer (its class has
  // virtual functions but is not final): each one is a member of its slot.
  struct ScriptedSlot final {
    ScriptedSlot(VirtualPort& port, VirtualClock& clock) : adapter(port, clock) {}
    ScriptedAdapter adapter;
  };
  std::list<ScriptedSlot> scripted;
  std::unique_ptr<CConfigApp> app;
  CRadynPropSheet* sheet = nullptr;
  std::string settingsDir;
  std::string settingsPath;
};

}  // namespace k470::test
