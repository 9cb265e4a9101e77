// Shared pieces of the GUI tests: a host that also records every post, the
// main sheet on the virtual host with virtual ports (and, where a test needs
// an adapter, the in-process simulator), and screenshots as artefacts.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "configtool/app/config_app.h"
#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/platform/virtual_host.h"
#include "configtool/serial/virtual_port.h"
#include "simulator/simulated_adapter.h"

namespace k470::test {

class RecordingHost : public VirtualHost {
 public:
  struct PostRecord {
    TargetId target;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };
  bool Post(TargetId target, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) override {
    posts.push_back({target, message, wParam, lParam});
    return VirtualHost::Post(target, message, wParam, lParam);
  }
  // The targets of the posts of one message, in order.
  std::vector<TargetId> TargetsOf(uint32_t message) const {
    std::vector<TargetId> out;
    for (const PostRecord& p : posts) {
      if (p.message == message) out.push_back(p.target);
    }
    return out;
  }
  std::vector<PostRecord> posts;
};

// Deletes what Qt was asked to delete later (windows that went away).
void ProcessDeferredDeletes();
// ${K470_BUILD_DIR}/artefacts/<name>, the directory made if needed.
std::string ArtefactPath(const std::string& name);
// Grabs the widget's window into a PNG artefact and returns the image.
QImage SaveScreenshot(QWidget* widget, const std::string& name);

// The application object with its main sheet, not shown yet.
class SheetTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the window (initialisation, first page) and runs what that
  // posted.
  void Show();
  // Shows every page once, so each has a window, and returns to the first.
  void VisitAllPages();
  // Sets the command line before the sheet is shown.
  void SetCommandLine(const std::string& line) { host.SetCommandLine(line); }

  RecordingHost host;
  VirtualSerialSystem ports{&host.Clock()};
  std::unique_ptr<CConfigApp> app;
  CRadynPropSheet* sheet = nullptr;
};

// The sheet with a simulated handset "Lokal" on COM1, registered at the
// simulated base "Basis".
class SimulatedSheetTest : public SheetTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Opens COM1 and runs until the adapter is in its configuration state.
  bool Connect();

  VirtualPort* com1 = nullptr;
  std::unique_ptr<sim::Simulation> simulation;
  sim::SimulatedAdapter* adapter = nullptr;
};

}  // namespace k470::test
