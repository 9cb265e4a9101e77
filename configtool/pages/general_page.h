// CGeneralPage: the connection page ("Verbindung", template 100) - the port,
// the link, the radio and the data connection.
//
// The page is how the program finds and holds its adapter. At start it
// searches the ports (the automatic detection, OP_START), opens the port the
// "com" switch names, or leaves the choice to the user. It finishes the
// sheet's operations that close and reopen the port: a port change
// (OP_SWITCH_PORT, then OP_REOPEN), the reconnect after a station-type change
// or a delivery-state reset, and the type check that precedes a
// registration at a base (OP_REGISTER_TYPE, OP_CHECK_TYPE, OP_REGISTER).
// The page keeps no state machine of its own: each refresh advances the
// sheet's current operation by the link state it finds.
//
// Re-entry: every message box runs a modal loop in which refreshes and
// operation notices reach this page again. Each handler therefore settles
// what it owns (the operation, the report flag) before it opens a box, and
// reads the port and the session afresh after it.
//
// Detection steps and reconnects are posted to the page as a selection of
// the port list (WM_COMMAND, CBN_SELCHANGE), so they run after the handler
// that asks for them has returned, exactly as if the user had chosen the
// port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "configtool/app/property_page.h"
#include "configtool/platform/messages.h"
#include "configtool/serial/link_state.h"
#include "configtool/serial/serial_line.h"

namespace k470 {

class CRadynPropSheet;
class CComPort;
class CStationSession;

// Posted by the page to itself once the adapter it found has been read, so
// the pages that refresh after it have shown their data when the hook runs.
constexpr uint32_t WM_GEN_ADAPTER_SHOWN = WM_APP + 0x70;

// The stable name of the device behind a port, from the links the kernel's
// device manager keeps in <devRoot>/serial/by-id (a USB adapter's maker,
// model and serial number). Empty when there is none, when the port is
// named by such a link already, or when the device cannot be looked at.
std::string FindStablePortName(const std::string& portName, const std::string& devRoot = "/dev");

// The sentence that follows a port message when opening failed because we
// may not use the device (EACCES, EPERM): which device, the group that owns
// it and how to join that group. Empty for any other failure. groupOf
// returns the owning group of a device path, empty when unknown.
std::string AccessHint(const OpenFailure& failure,
                       const std::function<std::string(const std::string& device)>& groupOf = {});

class CGeneralPage : public CPropertyPage {
 public:
  // None of the references is owned.
  CGeneralPage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session);

  // When 1, the next refresh that finds the partner's data connection held
  // by another station tells the user so, once.
  void SetReportOccupied(int flag) { reportOccupied_ = flag; }
  int GetReportOccupied() const { return reportOccupied_; }

  // Runs once per program run, the first time an adapter found by the
  // detection or a port change has been read (its line settings are
  // known) and the pages show it. For demonstrations and end-to-end tests.
  using AdapterShownHook = std::function<void(CRadynPropSheet& sheet)>;
  void SetAdapterShownHook(AdapterShownHook hook) { adapterShownHook_ = std::move(hook); }
  // Where the stable device names are looked for ("/dev"); tests point it
  // at a fake tree before the page is shown.
  void SetDeviceRoot(std::string devRoot) { devRoot_ = std::move(devRoot); }

  // ---- what the page shows (for the sheet's hooks and for tests) ----
  const std::string& SelectedPortName() const { return portName_; }
  const std::string& PortStateText() const { return portStateText_; }
  const std::string& RadioStateText() const { return radioStateText_; }
  const std::string& DataConnectionText() const { return dataText_; }
  const std::string& SelectedPartnerName() const { return partnerName_; }
  int NoDetection() const { return noDetection_; }
  int NextPortIndex() const { return nextPortIndex_; }
  int DetectionResult() const { return detectionResult_; }

  bool OnApply() override;

 protected:
  bool OnInitDialog() override;
  intptr_t OnRefreshViews(uintptr_t wParam, intptr_t lParam) override;
  intptr_t OnOperationDone(uintptr_t wParam, intptr_t lParam) override;
  bool OnCommand(uint32_t controlId, uint32_t code, intptr_t lParam) override;
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

 private:
  // Fields to controls (save false) or controls to fields (save true).
  void DoDataExchange(bool save);
  // Selects the entry named name (an exact match first, else the first
  // entry that begins with it, ignoring case); no match or an empty name
  // clears the selection.
  void SelectByName(uint32_t comboId, const std::string& name);
  void FillPortList();

  // Finishes the running operation by the link state, then redisplays.
  void RefreshOperation(OperationCode operation);
  void RefreshDisplay(OperationCode operation);
  void OnPortSelected();
  void ContinuePortChange(bool success);
  void OnPartnerSelected();
  void OnDataButton();
  // The next detection step, or a reconnect, after the current handler.
  void PostPortSelection();
  // The message for a port that could not be opened, by the link state
  // then reported, with the access hint where it applies.
  std::string OpenFailureText(LinkState state) const;
  std::string WithAccessHint(std::string text) const;
  std::string DeviceName() const;
  int ShowMessage(const std::string& text, unsigned flags);
  void EndWaitCursorAndRefreshCursor();

  CRadynPropSheet& sheet_;
  CComPort& port_;
  CStationSession& session_;

  std::string portStateText_;
  std::string radioStateText_;
  std::string portName_;
  std::string partnerName_;
  int noDetection_ = 0;
  std::string dataText_;
  int nextPortIndex_ = 0;
  int detectionResult_ = 0;
  int reportOccupied_ = 1;
  // The port the settings named at start: kept for the next apply while
  // the box is ticked and no port is selected, so the choice is not lost.
  std::string storedPortName_;
  std::string devRoot_ = "/dev";

  bool dataButtonEnabled_ = false;
  std::string dataButtonCaption_;
  // An adapter was found by the detection or a port change; the hook runs
  // once it has been read.
  bool adapterFound_ = false;
  bool adapterShown_ = false;
  AdapterShownHook adapterShownHook_;
};

}  // namespace k470
