// CRadynPropSheet: the program's main window - the four pages ("Verbindung",
// "Betriebsart", "Lokale Station", "Partnerstation"), the tab control that
// can disable pages, the refresh fan-out and the wait dialogs of the user
// operations.
//
// WM_REFRESH_VIEWS reaches the sheet with a set of refresh flags and is
// posted on, with wParam 0, to the pages concerned that have a window, in a
// fixed order: connection page (port, connection), local adapter page
// (port, local station), partner adapter page (partner), operating-mode
// page (port, mode). The local-station flag also sets the titles again,
// since they carry the local station's product name.
#pragma once

#include <memory>
#include <string>

#include "configtool/app/disable_tab_ctrl.h"
#include "configtool/app/radyn_base_sheet.h"

namespace k470 {

class CGeneralPage;
class COperationModePage;
class CAdapterPage;

// Tab indices.
constexpr int kTabGeneral = 0;
constexpr int kTabMode = 1;
constexpr int kTabLocal = 2;
constexpr int kTabPartner = 3;

class CRadynPropSheet : public CRadynBaseSheet {
 public:
  CRadynPropSheet(IHost& host, ISerialSystem& serialSystem, CWindow* parent = nullptr, int firstPage = 0);
  ~CRadynPropSheet() override;

  CGeneralPage& GetGeneralPage() { return *generalPage_; }
  COperationModePage& GetModePage() { return *modePage_; }
  CAdapterPage& GetLocalPage() { return *localPage_; }
  CAdapterPage& GetPartnerPage() { return *partnerPage_; }
  CDisableTabCtrl& GetTabs() { return tabs_; }
  // The PIN of the registration dialog, kept for a registration that goes
  // on after a station-type change.
  std::string& LastPin() { return lastPin_; }
  bool IsNoConfig() const { return noConfig_ != 0; }

  // Opens the wait dialog of the operation, or runs the sequence of a base
  // that is ready for registration.
  bool BeginOperation(OperationCode code) override;
  void SetModeTabEnabled(bool enable) override;
  void SetReportOccupied(int flag) override;

  // Whether unapplied edits of the pages named in pageFlags (REFRESH_MODE,
  // REFRESH_LOCAL, REFRESH_PARTNER) stand in the way: 0 when there are none
  // or the user agrees to drop them (then they are dropped), nonzero when
  // the caller must stop. With ask 0 only reports them. questionId: a
  // question appended to the warning (Yes/No), or 0 (OK/Cancel).
  int ConfirmDiscard(uint32_t pageFlags, uint32_t questionId, bool ask);

  // The text of the wait dialog of an operation; 0 for none.
  static uint32_t WaitTextOf(OperationCode code);

 protected:
  void InitTitles() override;
  bool OnInitDialog() override;
  intptr_t OnRefreshViews(uintptr_t flags, intptr_t lParam) override;
  void OnOK() override;
  void OnCancel() override;
  // The trace pane's place; made on the first refresh under "v24trace".
  virtual void CreateTracePane();
  // Under "noconfig" only the connection page can be selected.
  void ApplyNoConfig();

 private:
  void CreateMembers();

  std::string lastPin_;
  std::unique_ptr<CGeneralPage> generalPage_;
  std::unique_ptr<COperationModePage> modePage_;
  std::unique_ptr<CAdapterPage> localPage_;
  std::unique_ptr<CAdapterPage> partnerPage_;
  CDisableTabCtrl tabs_;
  int noConfig_ = 0;
};

}  // namespace k470
