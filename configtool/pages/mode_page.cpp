#include "configtool/pages/mode_page.h"

#include <QComboBox>

#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/platform/text.h"
#include "configtool/protocol/station_data.h"
#include "configtool/protocol/station_session.h"
#include "configtool/res/dialogs.h"
#include "configtool/res/string_table.h"
#include "configtool/serial/com_port.h"

namespace k470 {
namespace {

constexpr int kFlowDtrDsr = 3;
constexpr int kFlowXonRtsCts = 6;

bool HasParity(int parityRow) { return parityRow > kParityNone; }

// The lists in the order they are filled, with their tables.
struct ListOfTable {
  uint32_t id;
  const OptionTable* table;
};
const ListOfTable kLists[] = {
    {IDC_MODE_MODE_LIST, &OperatingModeTable}, {IDC_MODE_BIT_RATE_LIST, &BitRateTable},
    {IDC_MODE_DATA_BITS_LIST, &DataBitsTable}, {IDC_MODE_PARITY_LIST, &ParityTable},
    {IDC_MODE_STOP_BITS_LIST, &StopBitsTable}, {IDC_MODE_PROTOCOL_LIST, &FlowControlTable},
};

// The controls that only the direct mode uses.
const uint32_t kLineSettingControls[] = {
    IDC_MODE_BIT_RATE_LABEL, IDC_MODE_DATA_BITS_LABEL, IDC_MODE_PARITY_LABEL,  IDC_MODE_STOP_BITS_LABEL,
    IDC_MODE_PROTOCOL_LABEL, IDC_MODE_BIT_RATE_LIST,   IDC_MODE_DATA_BITS_LIST, IDC_MODE_PARITY_LIST,
    IDC_MODE_STOP_BITS_LIST, IDC_MODE_PROTOCOL_LIST,
};

}  // namespace

bool IsHardwareHandshakeRow(int flowControlRow) {
  return flowControlRow == kFlowRtsCts || flowControlRow == kFlowDtrDsr || flowControlRow == kFlowXonRtsCts;
}

CharacterFormat CorrectCharacterFormat(CharacterFormat format, FormatList changed) {
  switch (changed) {
    case FormatList::DataBits:
      if (format.dataBits == kDataBits7) {
        if (format.parity == kParityNone) format.parity = 1;
      } else if (format.dataBits == kDataBits8) {
        if (HasParity(format.parity)) format.stopBits = kStopBits1;
      }
      break;
    case FormatList::Parity:
      if (format.parity == kParityNone) {
        format.dataBits = kDataBits8;
      } else if (HasParity(format.parity) && format.dataBits == kDataBits8) {
        format.stopBits = kStopBits1;
      }
      break;
    case FormatList::StopBits:
      if (format.stopBits == kStopBits2 && format.dataBits == kDataBits8 && HasParity(format.parity)) {
        format.parity = kParityNone;
      }
      break;
  }
  return format;
}

COperationModePage::COperationModePage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session)
    : CPropertyPage(sheet.Host(), IDD_MODE_PAGE), port_(port), session_(session) {}

void COperationModePage::SetModifiedFlag(int flag) {
  modified_ = flag != 0 ? 1 : 0;
  SetModified(modified_ != 0);
}

std::string COperationModePage::ModeText() const {
  if (auto* combo = GetDlgItemAs<QComboBox>(IDC_MODE_MODE_LIST)) return StdStr(combo->currentText());
  return OperatingModeTable.GetText(session_.GetMode());
}

bool COperationModePage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  {
    NotifyGuard guard(*this);
    for (const ListOfTable& list : kLists) {
      auto* combo = GetDlgItemAs<QComboBox>(list.id);
      if (combo == nullptr) continue;
      combo->clear();
      for (int row = 0; row < static_cast<int>(list.table->GetSize()); ++row) {
        combo->addItem(QStr(list.table->GetText(row)));
      }
    }
  }
  OnRefreshViews(0, 0);
  return true;
}

void COperationModePage::DoDataExchange(bool save) {
  int* const indices[] = {&modeIndex_, &bitRateIndex_, &dataBitsIndex_, &parityIndex_, &stopBitsIndex_,
                          &flowControlIndex_};
  if (save) {
    for (size_t i = 0; i < std::size(kLists); ++i) {
      if (auto* combo = GetDlgItemAs<QComboBox>(kLists[i].id)) *indices[i] = combo->currentIndex();
    }
    localFlowControl_ = IsDlgButtonChecked(IDC_MODE_LOCAL_FLOW) ? 1 : 0;
    return;
  }
  NotifyGuard guard(*this);
  for (size_t i = 0; i < std::size(kLists); ++i) {
    auto* combo = GetDlgItemAs<QComboBox>(kLists[i].id);
    if (combo == nullptr) continue;
    // A value no row offers (the adapter's mode 5) shows as no selection.
    const int index = *indices[i];
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  }
  SetDlgItemText(IDC_MODE_EXPLANATION, explanation_);
  CheckDlgButton(IDC_MODE_LOCAL_FLOW, localFlowControl_ != 0);
}

intptr_t COperationModePage::OnRefreshViews(uintptr_t, intptr_t) {
  // Unapplied edits survive the refreshes that come with the adapter's
  // polls and link changes; without this a link coming up while the user
  // edits would put the adapter's values back on screen, the page still
  // marked as changed, and the next apply would send them.
  const bool keepEdits = modified_ != 0 && port_.GetState() == LINK_CONFIG;
  if (!keepEdits) {
    modeIndex_ = session_.GetMode();
    bitRateIndex_ = session_.GetBitRate();
    dataBitsIndex_ = session_.GetDataBits();
    parityIndex_ = session_.GetParity();
    stopBitsIndex_ = session_.GetStopBits();
    flowControlIndex_ = session_.GetFlowControl();
    localFlowControl_ = session_.GetLocalFlowControl();
  }
  EnableAndLoad(!keepEdits);
  BuildExplanation();
  DoDataExchange(false);
  return 0;
}

void COperationModePage::EnableAndLoad(bool loadValues) {
  const bool config = port_.GetState() == LINK_CONFIG;
  // Edits for an adapter that is gone, or no longer in its configuration
  // state, can never be applied.
  if (!config) SetModifiedFlag(0);
  const bool direct = config && modeIndex_ == kModeDirect;

  for (uint32_t id : {IDC_MODE_MODE_LABEL, IDC_MODE_MODE_LIST, IDC_MODE_EXPLANATION, IDC_MODE_LINE_GROUP}) {
    EnableDlgItem(id, config);
  }
  for (uint32_t id : kLineSettingControls) EnableDlgItem(id, direct);

  // In the direct mode local flow control goes with a hardware handshake of
  // the adapter's protocol (an unknown one counts as none); in the automatic
  // modes it stays free.
  const int protocol = loadValues ? session_.GetFlowControl() : flowControlIndex_;
  EnableDlgItem(IDC_MODE_LOCAL_FLOW, direct ? IsHardwareHandshakeRow(protocol) : config);

  if (!loadValues) {
    if (!direct) bitRateIndex_ = dataBitsIndex_ = parityIndex_ = stopBitsIndex_ = flowControlIndex_ = -1;
    return;
  }
  if (direct) {
    bitRateIndex_ = session_.GetBitRate();
    dataBitsIndex_ = session_.GetDataBits();
    parityIndex_ = session_.GetParity();
    stopBitsIndex_ = session_.GetStopBits();
    flowControlIndex_ = session_.GetFlowControl();
  } else {
    bitRateIndex_ = dataBitsIndex_ = parityIndex_ = stopBitsIndex_ = flowControlIndex_ = -1;
  }
  localFlowControl_ = session_.GetLocalFlowControl();
  if (direct) {
    // What the adapter has not reported starts from the usual 38400 8N1
    // with RTS/CTS.
    if (bitRateIndex_ == -1) bitRateIndex_ = kBitRate38400;
    if (dataBitsIndex_ == -1 || parityIndex_ == -1 || stopBitsIndex_ == -1) {
      dataBitsIndex_ = kDataBits8;
      parityIndex_ = kParityNone;
      stopBitsIndex_ = kStopBits1;
    }
    if (flowControlIndex_ == -1) flowControlIndex_ = kFlowRtsCts;
  }
}

void COperationModePage::BuildExplanation() {
  if (OperatingModeTable.HasRow(modeIndex_)) {
    const std::string mode = OperatingModeTable.GetText(modeIndex_);
    const uint32_t textId = modeIndex_ == kModeDirect ? IDS_MODE_EXPLAIN_MANUAL : IDS_MODE_EXPLAIN_AUTOMATIC;
    explanation_ = k470::Format(LoadString(textId).c_str(), mode.c_str());
    // The two modes for other makers' devices point to the list of devices
    // known to work.
    if (modeIndex_ == 3 || modeIndex_ == 4) explanation_ += "\n" + LoadString(IDS_MODE_EXPLAIN_DEVICE_LIST);
  } else {
    explanation_ = k470::Format(LoadString(IDS_MODE_EXPLAIN_CHOOSE).c_str(), session_.GetProductName(true).c_str());
  }
}

void COperationModePage::OnModeSelected() {
  auto* combo = GetDlgItemAs<QComboBox>(IDC_MODE_MODE_LIST);
  const int sel = combo != nullptr ? combo->currentIndex() : -1;
  if (sel == modeIndex_) return;
  modeIndex_ = sel;
  // The direct mode shows the adapter's current line settings (or the
  // defaults); any other mode clears the lists.
  EnableAndLoad(true);
  BuildExplanation();
  DoDataExchange(false);
  SetModifiedFlag(1);
}

void COperationModePage::OnFormatSelected(FormatList list) {
  const CharacterFormat before = CharFormat();
  DoDataExchange(true);
  const CharacterFormat chosen = CharFormat();
  const bool changed = list == FormatList::DataBits ? chosen.dataBits != before.dataBits
                       : list == FormatList::Parity ? chosen.parity != before.parity
                                                    : chosen.stopBits != before.stopBits;
  if (!changed) return;
  const CharacterFormat corrected = CorrectCharacterFormat(chosen, list);
  dataBitsIndex_ = corrected.dataBits;
  parityIndex_ = corrected.parity;
  stopBitsIndex_ = corrected.stopBits;
  DoDataExchange(false);
  SetModifiedFlag(1);
}

void COperationModePage::OnFlowControlSelected() {
  const int before = flowControlIndex_;
  DoDataExchange(true);
  if (flowControlIndex_ == before) return;
  SetModifiedFlag(1);
  if (IsHardwareHandshakeRow(flowControlIndex_)) {
    EnableDlgItem(IDC_MODE_LOCAL_FLOW, true);
    localFlowControl_ = session_.GetLocalFlowControl();
    DoDataExchange(false);
  } else {
    localFlowControl_ = 0;
    DoDataExchange(false);
    EnableDlgItem(IDC_MODE_LOCAL_FLOW, false);
  }
}

intptr_t COperationModePage::OnOperationDone(uintptr_t wParam, intptr_t) {
  // The session has told the user; the edits stay to be applied again.
  if (wParam == 0) SetModifiedFlag(1);
  return 0;
}

bool COperationModePage::OnCommand(uint32_t controlId, uint32_t code, intptr_t) {
  if (controlId == IDC_MODE_LOCAL_FLOW) {
    if (code != BN_CLICKED) return false;
    const int before = localFlowControl_;
    DoDataExchange(true);
    if (localFlowControl_ != before) SetModifiedFlag(1);
    return true;
  }
  if (code != CBN_SELCHANGE) return false;
  switch (controlId) {
    case IDC_MODE_MODE_LIST:
      OnModeSelected();
      return true;
    case IDC_MODE_BIT_RATE_LIST: {
      const int before = bitRateIndex_;
      DoDataExchange(true);
      if (bitRateIndex_ != before) SetModifiedFlag(1);
      return true;
    }
    case IDC_MODE_DATA_BITS_LIST:
      OnFormatSelected(FormatList::DataBits);
      return true;
    case IDC_MODE_PARITY_LIST:
      OnFormatSelected(FormatList::Parity);
      return true;
    case IDC_MODE_STOP_BITS_LIST:
      OnFormatSelected(FormatList::StopBits);
      return true;
    case IDC_MODE_PROTOCOL_LIST:
      OnFlowControlSelected();
      return true;
    default:
      return false;
  }
}

bool COperationModePage::OnApply() {
  if (modified_ != 0) {
    DoDataExchange(true);
    // In this order; the session skips a setting of -1, so in the automatic
    // modes only the mode and the local flow control go out.
    const TargetId self = GetSafeHwnd();
    session_.SetOperatingMode(self, modeIndex_);
    session_.SetBitRate(self, bitRateIndex_);
    session_.SetCharacterFormat(self, dataBitsIndex_, parityIndex_, stopBitsIndex_);
    session_.SetFlowControl(self, flowControlIndex_);
    session_.SetLocalFlowControl(self, localFlowControl_ != 0);
    modified_ = 0;
  }
  return CPropertyPage::OnApply();
}

}  // namespace k470
