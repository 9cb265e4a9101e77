// A property sheet of four test pages that log what the sheet asks of them
// and can refuse it, on the virtual host.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "configtool/app/disable_tab_ctrl.h"
#include "configtool/app/property_page.h"
#include "configtool/app/property_sheet.h"
#include "configtool/res/dialogs.h"

namespace k470::test {

class TestPage : public CPropertyPage {
 public:
  TestPage(IHost& host, std::vector<std::string>& log, std::string name, uint32_t templateId)
      : CPropertyPage(host, templateId), log_(log), name_(std::move(name)) {}

  bool allowLeave = true;
  bool allowApply = true;
  bool allowCancel = true;
  // Runs inside OnCommand (re-entry tests).
  std::function<void(uint32_t id, uint32_t code)> onCommand;

  bool OnSetActive() override {
    log_.push_back(name_ + ":active");
    return true;
  }
  bool OnKillActive() override {
    log_.push_back(name_ + ":kill");
    return allowLeave;
  }
  bool OnApply() override {
    log_.push_back(name_ + ":apply");
    return allowApply;
  }
  bool OnQueryCancel() override {
    log_.push_back(name_ + ":querycancel");
    return allowCancel;
  }

 protected:
  bool OnInitDialog() override {
    log_.push_back(name_ + ":init");
    return true;
  }
  bool OnCommand(uint32_t id, uint32_t code, intptr_t) override {
    log_.push_back(name_ + ":cmd:" + std::to_string(id) + ":" + std::to_string(code));
    if (onCommand) onCommand(id, code);
    return true;
  }

 private:
  std::vector<std::string>& log_;
  std::string name_;
};

class TestSheetFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const uint32_t templates[] = {IDD_GENERAL_PAGE, IDD_MODE_PAGE, IDD_ADAPTER_PAGE, IDD_ADAPTER_PAGE};
    sheet = std::make_unique<CPropertySheet>(host, "Test");
    for (int i = 0; i < 4; ++i) {
      pages.push_back(std::make_unique<TestPage>(host, log, "p" + std::to_string(i), templates[i]));
      sheet->AddPage(pages.back().get());
    }
  }
  void TearDown() override {
    sheet.reset();
    pages.clear();
    ProcessDeferredDeletes();
  }
  // Creates the sheet with the tab control that can disable tabs.
  void ShowWithDisableTabs() {
    sheet->Create();
    tabs.Attach(*sheet);
    log.clear();
  }
  void Disable(std::initializer_list<int> indices) {
    for (int i : indices) ASSERT_TRUE(tabs.EnableTab(i, false)) << i;
    log.clear();
  }

  RecordingHost host;
  std::vector<std::string> log;
  std::vector<std::unique_ptr<TestPage>> pages;
  std::unique_ptr<CPropertySheet> sheet;
  CDisableTabCtrl tabs;
};

}  // namespace k470::test
