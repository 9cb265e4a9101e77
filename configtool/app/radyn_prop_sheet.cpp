#include "configtool/app/radyn_prop_sheet.h"

#include "configtool/pages/adapter_page.h"
#include "configtool/pages/general_page.h"
#include "configtool/pages/mode_page.h"
#include "configtool/platform/switches.h"
#include "configtool/platform/text.h"
#include "configtool/res/dialogs.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {
// The trace pane is made at most once per run, whatever happens to sheets.
bool g_tracePaneMade = false;
}  // namespace

CRadynPropSheet::CRadynPropSheet(IHost& host, ISerialSystem& serialSystem, CWindow* parent, int firstPage)
    : CRadynBaseSheet(host, serialSystem, IDS_SHEET_CAPTION, parent, firstPage) {
  CreateMembers();
}

void CRadynPropSheet::CreateMembers() {
  lastPin_.clear();
  generalPage_ = std::make_unique<CGeneralPage>(*this, GetPort(), GetSession());
  modePage_ = std::make_unique<COperationModePage>(*this, GetPort(), GetSession());
  localPage_ = std::make_unique<CAdapterPage>(*this, GetPort(), GetSession(), IDS_PAGE_LOCAL);
  partnerPage_ = std::make_unique<CAdapterPage>(*this, GetPort(), GetSession(), IDS_PAGE_PARTNER);
  AddPage(generalPage_.get());
  AddPage(modePage_.get());
  AddPage(localPage_.get());
  AddPage(partnerPage_.get());
  noConfig_ = 0;
}

CRadynPropSheet::~CRadynPropSheet() {
  if (HasWindow()) DestroyWindow();
  generalPage_.reset();
  modePage_.reset();
  localPage_.reset();
  partnerPage_.reset();
}

bool CRadynPropSheet::OnInitDialog() {
  const bool result = CRadynBaseSheet::OnInitDialog();
  tabs_.Attach(*this);
  // The refreshes that apply "noconfig" come only once a port has opened,
  // which may never happen (no port, no adapter, the search switched off);
  // the other pages must not be selectable meanwhile.
  ApplyNoConfig();
  return result;
}

void CRadynPropSheet::ApplyNoConfig() {
  if (!HasSwitch(Host().CommandLine(), kSwitchNoConfig)) return;
  tabs_.EnableTab(kTabMode, false);
  tabs_.EnableTab(kTabLocal, false);
  tabs_.EnableTab(kTabPartner, false);
  noConfig_ = 1;
}

void CRadynPropSheet::InitTitles() {
  const std::string product = GetSession().GetProductName(true);
  SetTitle(Format(LoadString(CaptionId()).c_str(), product.c_str()));
  if (generalPage_ && generalPage_->HasWindow()) {
    generalPage_->SetDlgItemText(IDC_GEN_PORT_GROUP, Format(LoadString(IDS_SHEET_PORT_GROUP).c_str(), product.c_str()));
  }
}

uint32_t CRadynPropSheet::WaitTextOf(OperationCode code) {
  switch (code) {
    case OP_REGISTER:
      return IDS_WAITTEXT_REGISTER;
    case OP_DEREGISTER:
      return IDS_WAITTEXT_DEREGISTER;
    case OP_CHANGE_PIN:
      return IDS_WAITTEXT_CHANGE_PIN;
    case OP_CHANGE_TYPE:
    case OP_REGISTER_TYPE:
      return IDS_WAITTEXT_CHANGE_TYPE;
    case OP_CHECK_TYPE:
      return IDS_WAITTEXT_CHECK_TYPE;
    case OP_FACTORY_RESET:
      return IDS_WAITTEXT_FACTORY_RESET;
    default:
      return 0;
  }
}

bool CRadynPropSheet::BeginOperation(OperationCode code) {
  if (!CRadynBaseSheet::BeginOperation(code)) return false;
  if (code == OP_BASE_READY) {
    GetSession().LeaveConfiguration(GetSafeHwnd());
    ShowMessageId(IDS_SHEET_BASE_READY, MB_OK);
    HideApplication();
    EndDialog(IDOK);
    EndOperation();
    return true;
  }
  if (uint32_t text = WaitTextOf(code); text != 0) OpenWaitDialog(text, code != OP_CHECK_TYPE);
  return true;
}

void CRadynPropSheet::SetModeTabEnabled(bool enable) { tabs_.EnableTab(kTabMode, noConfig_ != 0 ? false : enable); }

void CRadynPropSheet::SetReportOccupied(int flag) { generalPage_->SetReportOccupied(flag); }

void CRadynPropSheet::CreateTracePane() {}

intptr_t CRadynPropSheet::OnRefreshViews(uintptr_t flags, intptr_t) {
  const std::string commandLine = Host().CommandLine();
  if (!g_tracePaneMade && HasSwitch(commandLine, kSwitchTrace)) {
    g_tracePaneMade = true;
    CreateTracePane();
  }
  ApplyNoConfig();
  if ((flags & REFRESH_LOCAL) != 0) InitTitles();

  auto forward = [this](CPropertyPage& page, uint32_t mask, uintptr_t bits) {
    if ((bits & mask) != 0 && page.HasWindow()) Host().Post(page.GetSafeHwnd(), WM_REFRESH_VIEWS, 0, 0);
  };
  forward(*generalPage_, REFRESH_PORT | REFRESH_CONNECTION, flags);
  forward(*localPage_, REFRESH_PORT | REFRESH_LOCAL, flags);
  forward(*partnerPage_, REFRESH_PARTNER, flags);
  forward(*modePage_, REFRESH_PORT | REFRESH_MODE, flags);
  return 1;
}

int CRadynPropSheet::ConfirmDiscard(uint32_t pageFlags, uint32_t questionId, bool ask) {
  const std::pair<uint32_t, CPropertyPage*> checked[] = {
      {REFRESH_MODE, modePage_.get()}, {REFRESH_LOCAL, localPage_.get()}, {REFRESH_PARTNER, partnerPage_.get()}};
  bool modified = false;
  for (const auto& [flag, page] : checked) {
    if ((pageFlags & flag) != 0 && page->IsModified() != 0) {
      modified = true;
      break;
    }
  }
  if (!modified) return 0;
  if (!ask) return 1;

  std::string text = LoadString(IDS_SHEET_DISCARD);
  if (questionId != 0) text += " " + LoadString(questionId);
  const unsigned buttons = questionId != 0 ? MB_YESNO : MB_OKCANCEL;
  const int agree = questionId != 0 ? IDYES : IDOK;
  if (ShowMessage(text, buttons | MB_ICONWARNING) != agree) return 1;
  for (const auto& [flag, page] : checked) {
    if ((pageFlags & flag) != 0) page->SetModifiedFlag(0);
  }
  return 0;
}

void CRadynPropSheet::OnOK() {
  ArmWatchdog();
  if (!BeginOperation(OP_CLOSE)) return;
  if (!ApplyPages()) {
    EndOperation();
    return;
  }
  if (LeaveConfigIfNeeded()) {
    closeResult_ = IDOK;
    return;
  }
  EndDialog(IDOK);
  EndOperation();
}

void CRadynPropSheet::OnCancel() {
  ArmWatchdog();
  if (!BeginOperation(OP_CLOSE)) {
    // Abandons the running operation and closes its wait dialog; the
    // watchdog ends the program.
    EndOperation();
    return;
  }
  if (!QueryCancelPages()) {
    EndOperation();
    return;
  }
  GetSession().ClearQueue();
  Host().Sleep(kCancelSettleMs);
  if (LeaveConfigIfNeeded()) {
    closeResult_ = IDCANCEL;
    return;
  }
  EndDialog(IDCANCEL);
  EndOperation();
}

}  // namespace k470
