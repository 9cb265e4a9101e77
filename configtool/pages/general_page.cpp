#include "configtool/pages/general_page.h"

#include <QComboBox>
#include <QProgressBar>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <vector>

#include "configtool/app/radyn_prop_sheet.h"
#include "configtool/platform/app_settings.h"
#include "configtool/platform/settings_store.h"
#include "configtool/platform/switches.h"
#include "configtool/platform/text.h"
#include "configtool/protocol/station_session.h"
#include "configtool/res/dialogs.h"
#include "configtool/res/string_table.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/port_names.h"
#include "configtool/serial/posix_serial.h"

namespace k470 {
namespace {

// How long the adapter needs after a restart (type change, delivery state)
// before it answers the probe again.
constexpr uint32_t kRestartSettleMs = 5000;

// Whether text names the port name: the same name, or one that begins with
// it where the name does not go on with a digit - so COM1 never picks COM10,
// /dev/ttyUSB1 never /dev/ttyUSB12.
bool NamesPort(const std::string& text, const std::string& name) {
  if (!StartsWithIgnoreCase(text, name)) return false;
  return text.size() == name.size() || text[name.size()] < '0' || text[name.size()] > '9';
}

}  // namespace

// ---- port names a person understands -----------------------------------------------

std::string FindStablePortName(const std::string& portName, const std::string& devRoot) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path byId = fs::path(devRoot) / "serial" / "by-id";
  const fs::path device = PortDevicePath(portName, devRoot);
  if (device.parent_path() == byId) return std::string();
  const fs::path target = fs::canonical(device, error);
  if (error) return std::string();

  std::vector<std::string> matches;
  for (fs::directory_iterator it(byId, error), end; !error && it != end; it.increment(error)) {
    std::error_code linkError;
    if (fs::canonical(it->path(), linkError) == target && !linkError) matches.push_back(it->path().string());
  }
  if (matches.empty()) return std::string();
  // A device with several interfaces has several links; the list order of
  // the directory is not stable, the sorted order is.
  return *std::min_element(matches.begin(), matches.end());
}

std::string AccessHint(const OpenFailure& failure, const std::function<std::string(const std::string&)>& groupOf) {
  if (failure.error != OpenError::AccessDenied) return std::string();
  if (failure.sysErrno != EACCES && failure.sysErrno != EPERM) return std::string();
  if (failure.device.empty()) return std::string();
  const std::string group = groupOf ? groupOf(failure.device) : DeviceGroup(failure.device);
  // Joining root's group would be the wrong advice: such a device is meant
  // for no ordinary user, and only the administrator can change that.
  if (group.empty() || group == "root") {
    return Format(LoadString(IDS_GEN_ACCESS_HINT_NO_GROUP).c_str(), failure.device.c_str());
  }
  return Format(LoadString(IDS_GEN_ACCESS_HINT).c_str(), failure.device.c_str(), group.c_str(), group.c_str());
}

// ---- the page ----------------------------------------------------------------------

CGeneralPage::CGeneralPage(CRadynPropSheet& sheet, CComPort& port, CStationSession& session)
    : CPropertyPage(sheet.Host(), IDD_GENERAL_PAGE),
      sheet_(sheet),
      port_(port),
      session_(session),
      portStateText_(LoadString(IDS_GEN_PORT_NO_STATION)),
      radioStateText_(LoadString(IDS_GEN_UNKNOWN)),
      dataText_(LoadString(IDS_GEN_UNKNOWN)),
      dataButtonCaption_(LoadString(IDS_GEN_BUTTON_RELEASE)) {}

std::string CGeneralPage::DeviceName() const { return session_.GetProductName(true); }

int CGeneralPage::ShowMessage(const std::string& text, unsigned flags) { return sheet_.ShowMessage(text, flags); }

void CGeneralPage::EndWaitCursorAndRefreshCursor() {
  Host().EndWaitCursor();
  // The pointer does not move; the shape is looked at again now, so the
  // wait cursor goes without the user moving the mouse.
  Host().RefreshCursor();
}

void CGeneralPage::PostPortSelection() { PostCommand(IDC_GEN_PORT_LIST, CBN_SELCHANGE); }

bool CGeneralPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (uint32_t id : {IDC_GEN_QUALITY_BAR, IDC_GEN_FIELD_BAR}) {
    if (auto* bar = GetDlgItemAs<QProgressBar>(id)) bar->setRange(0, 100);
  }

  FillPortList();

  SettingsStore store = SettingsStore::AtDefaultPath();
  const DefaultNames names = CAppSettings(store).LoadDefaultNames();
  session_.SetDefaultNames(names.productName, names.vendorName, names.deviceName, names.deviceNameUsb);
  noDetection_ = names.port.noDetection ? 1 : 0;
  portName_ = names.port.portName;
  storedPortName_ = names.port.portName;

  OnRefreshViews(0, 0);

  if (std::optional<uint8_t> com = ComSwitchNumber(Host().CommandLine())) {
    // The switch names the port to open, whatever the check box says; any
    // number but 1 to 9 means: open nothing and search nothing.
    if (*com >= 1 && *com <= 9) {
      SelectByName(IDC_GEN_PORT_LIST, Format("COM%u", static_cast<unsigned>(*com)));
      PostPortSelection();
    }
  } else if (noDetection_ == 0) {
    if (sheet_.BeginOperation(OP_START)) {
      nextPortIndex_ = 0;
      PostPortSelection();
    }
  } else {
    SelectByName(IDC_GEN_PORT_LIST, std::string());
  }
  return true;
}

void CGeneralPage::FillPortList() {
  auto* combo = GetDlgItemAs<QComboBox>(IDC_GEN_PORT_LIST);
  if (combo == nullptr) return;
  NotifyGuard guard(*this);
  combo->clear();
  const std::string tipFormat = LoadString(IDS_GEN_STABLE_NAME_TIP);
  for (const std::string& name : port_.GetPortNames()) {
    // The entry stays the port layer's name: the selection logic and the
    // settings compare by it. A USB adapter's maker and serial number go
    // into its tooltip.
    combo->addItem(QStr(name));
    const std::string stable = FindStablePortName(name, devRoot_);
    if (!stable.empty()) {
      combo->setItemData(combo->count() - 1, QStr(Format(tipFormat.c_str(), name.c_str(), stable.c_str())),
                         Qt::ToolTipRole);
    }
  }
}

void CGeneralPage::SelectByName(uint32_t comboId, const std::string& name) {
  auto* combo = GetDlgItemAs<QComboBox>(comboId);
  if (combo == nullptr) return;
  NotifyGuard guard(*this);
  int found = -1;
  if (!name.empty()) {
    for (int i = 0; i < combo->count() && found < 0; ++i) {
      if (EqualsIgnoreCase(StdStr(combo->itemText(i)), name)) found = i;
    }
    for (int i = 0; i < combo->count() && found < 0; ++i) {
      if (NamesPort(StdStr(combo->itemText(i)), name)) found = i;
    }
  }
  combo->setCurrentIndex(found);
  if (comboId == IDC_GEN_PORT_LIST) {
    combo->setToolTip(found >= 0 ? combo->itemData(found, Qt::ToolTipRole).toString() : QString());
  }
}

void CGeneralPage::DoDataExchange(bool save) {
  auto* ports = GetDlgItemAs<QComboBox>(IDC_GEN_PORT_LIST);
  auto* partners = GetDlgItemAs<QComboBox>(IDC_GEN_PARTNER_LIST);
  if (save) {
    if (ports != nullptr) portName_ = StdStr(ports->currentText());
    if (partners != nullptr) partnerName_ = StdStr(partners->currentText());
    noDetection_ = IsDlgButtonChecked(IDC_GEN_NO_DETECTION) ? 1 : 0;
    return;
  }
  NotifyGuard guard(*this);
  SetDlgItemText(IDC_GEN_PORT_STATE, portStateText_);
  SetDlgItemText(IDC_GEN_RADIO_STATE, radioStateText_);
  SetDlgItemText(IDC_GEN_DATA_STATE, dataText_);
  SelectByName(IDC_GEN_PORT_LIST, portName_);
  // Partners are shown by name, and two entries may carry the same name:
  // the selected partner's own position wins over the first such name.
  int position = -1;
  const int partner = session_.GetPartnerIndex();
  const std::vector<std::string>& names = session_.GetRegistrations(true);
  for (int i = 0, counted = 0; i < static_cast<int>(names.size()); ++i) {
    if (session_.MapDeviceName(names[static_cast<size_t>(i)]).empty()) continue;
    if (i == partner) position = counted;
    ++counted;
  }
  if (partners != nullptr && position >= 0 && position < partners->count() &&
      StdStr(partners->itemText(position)) == partnerName_) {
    partners->setCurrentIndex(position);
  } else {
    SelectByName(IDC_GEN_PARTNER_LIST, partnerName_);
  }
  CheckDlgButton(IDC_GEN_NO_DETECTION, noDetection_ != 0);
}

// ---- refresh ---------------------------------------------------------------------------

intptr_t CGeneralPage::OnRefreshViews(uintptr_t, intptr_t) {
  const OperationCode operation = sheet_.GetOperation();
  RefreshOperation(operation);
  RefreshDisplay(operation);
  return 1;
}

void CGeneralPage::RefreshOperation(OperationCode operation) {
  const LinkState state = port_.GetState();
  switch (operation) {
    case OP_START:
      if (state == LINK_NO_ANSWER) {
        // Something answers the line signals on this port but not our
        // commands: go on with the next port of the list.
        const int current = port_.IndexOfCurrentPort();
        nextPortIndex_ = current >= 0 ? current + 1 : static_cast<int>(port_.GetPortNames().size());
        port_.Close(true);
        PostPortSelection();
        Host().EndWaitCursor();
      } else if (state == LINK_CONFIG) {
        sheet_.EndOperation();
        EndWaitCursorAndRefreshCursor();
        adapterFound_ = true;
      }
      return;
    case OP_REOPEN:
      if (state == LINK_NO_ANSWER) port_.Close(false);
      if (state == LINK_NO_PORT || state == LINK_NO_STATION || state == LINK_NO_ANSWER || state == LINK_CONFIG) {
        sheet_.EndOperation();
        EndWaitCursorAndRefreshCursor();
        if (state == LINK_CONFIG) adapterFound_ = true;
      }
      return;
    case OP_CHANGE_TYPE:
    case OP_FACTORY_RESET:
      if (state == LINK_NO_STATION) {
        // The adapter restarts with its new settings; it answers the probe
        // again only after this wait. Received data wait in the queue.
        Host().Sleep(kRestartSettleMs);
        sheet_.EndOperation();
        SelectByName(IDC_GEN_PORT_LIST, portName_);
        PostPortSelection();
      }
      return;
    case OP_REGISTER_TYPE:
      if (state == LINK_NO_STATION) {
        Host().Sleep(kRestartSettleMs);
        Host().BeginWaitCursor();
        if (port_.Open(portName_)) {
          sheet_.EndOperation();
          sheet_.BeginOperation(OP_CHECK_TYPE);
        } else {
          const std::string text = OpenFailureText(port_.GetState());
          sheet_.EndOperation();
          ShowMessage(text, MB_OK | MB_ICONERROR);
          Host().EndWaitCursor();
        }
      }
      return;
    case OP_CHECK_TYPE:
      if (state == LINK_NO_ANSWER) {
        port_.Close(false);
        sheet_.EndOperation();
        Host().EndWaitCursor();
      } else if (state == LINK_CONFIG) {
        const int32_t type = session_.GetStationType(true);
        if (type == STATION_BASE) {
          sheet_.EndOperation();
          ShowMessage(LoadString(IDS_MSG_CHANGE_TYPE_FAILED) + " " + LoadString(IDS_MSG_REGISTER_FAILED),
                      MB_OK | MB_ICONERROR);
          Host().EndWaitCursor();
        } else if (type == STATION_HANDSET) {
          sheet_.EndOperation();
          Host().EndWaitCursor();
          const std::vector<std::string>& names = session_.GetRegistrations(true);
          auto freeSlot = std::find_if(names.begin(), names.end(), [](const std::string& n) { return n.empty(); });
          const int slot = freeSlot != names.end() ? static_cast<int>(freeSlot - names.begin()) : 0;
          if (sheet_.BeginOperation(OP_REGISTER)) {
            // Without a registration table there is nothing to register
            // in; the operation must not wait for an answer that never
            // comes.
            if (!session_.RegisterAtBase(GetSafeHwnd(), slot, sheet_.LastPin())) sheet_.EndOperation();
          }
        }
      }
      return;
    default:
      if (state == LINK_NO_STATION || state == LINK_NO_ANSWER) port_.Close(false);
      return;
  }
}

void CGeneralPage::RefreshDisplay(OperationCode operation) {
  // During a port change the page keeps the name the user chose.
  if (operation != OP_SWITCH_PORT) portName_ = port_.GetCurrentPort();

  const LinkState state = port_.GetState();
  switch (state) {
    case LINK_NO_PORT:
      portStateText_ = LoadString(IDS_GEN_PORT_NO_PORT);
      break;
    case LINK_NO_STATION:
      portStateText_ = LoadString(IDS_GEN_PORT_NO_STATION);
      break;
    case LINK_NO_ANSWER:
      portStateText_ = LoadString(IDS_GEN_PORT_NO_ANSWER);
      break;
    case LINK_CONFIG:
      portStateText_ = LoadString(IDS_GEN_PORT_CONFIG);
      break;
    default:
      portStateText_ = LoadString(IDS_GEN_INIT);
      break;
  }

  partnerName_ = session_.GetPartnerName();
  if (auto* partners = GetDlgItemAs<QComboBox>(IDC_GEN_PARTNER_LIST)) {
    NotifyGuard guard(*this);
    partners->clear();
    // Free slots are not offered; positions in the list count only the
    // named entries (the partner selection maps them back).
    for (const std::string& entry : session_.GetRegistrations(true)) {
      const std::string name = session_.MapDeviceName(entry);
      if (!name.empty()) partners->addItem(QStr(name));
    }
  }

  const int32_t radio = session_.GetRadioState();
  switch (radio) {
    case RADIO_INIT:
      radioStateText_ = LoadString(IDS_GEN_INIT);
      break;
    case RADIO_UNREGISTERED:
      radioStateText_ = LoadString(IDS_GEN_RADIO_UNREGISTERED);
      break;
    case RADIO_NO_LINK:
      radioStateText_ = LoadString(IDS_GEN_RADIO_NO_LINK);
      break;
    case RADIO_LINKED:
      radioStateText_ = LoadString(IDS_GEN_CONNECTED);
      break;
    default:
      radioStateText_ = LoadString(IDS_GEN_UNKNOWN);
      break;
  }
  EnableDlgItem(IDC_GEN_DATA_LABEL, radio != RADIO_UNREGISTERED);
  EnableDlgItem(IDC_GEN_DATA_STATE, radio != RADIO_UNREGISTERED);

  // The data connection can be occupied or released only over a radio link
  // to the chosen partner, while it is free or ours, and not in the
  // adapter's own mode 5, which this program does not offer.
  std::string caption = LoadString(IDS_GEN_BUTTON_OCCUPY);
  bool enabled = false;
  bool heldByAnother = false;
  const bool modeAllows = session_.GetMode() != 5;
  if (radio == RADIO_INIT) {
    dataText_ = LoadString(IDS_GEN_INIT);
  } else if (radio != RADIO_LINKED) {
    dataText_ = LoadString(IDS_GEN_UNKNOWN);
  } else if (session_.GetPartnerIndex() < 0) {
    dataText_ = LoadString(IDS_GEN_INIT);
  } else {
    switch (session_.GetSlotState(session_.GetPartnerIndex(), true)) {
      case SLOT_FREE:
        dataText_ = LoadString(IDS_GEN_UNKNOWN);
        break;
      case SLOT_APPENDING:
        dataText_ = LoadString(IDS_GEN_INIT);
        break;
      case SLOT_REGISTERED: {
        const int32_t holder = session_.FindDataHolder();
        if (holder == -1) {
          dataText_ = LoadString(IDS_GEN_UNKNOWN);
        } else if (holder == std::numeric_limits<int32_t>::max()) {
          dataText_ = LoadString(IDS_GEN_DATA_AVAILABLE);
          reportOccupied_ = 0;
          enabled = modeAllows;
        } else if (holder == static_cast<int32_t>(session_.GetOwnIndex())) {
          dataText_ = LoadString(IDS_GEN_CONNECTED);
          caption = LoadString(IDS_GEN_BUTTON_RELEASE);
          reportOccupied_ = 0;
          enabled = modeAllows;
        } else {
          // A base keeps the data-connection states of its handsets; a
          // handset learns them from its base, the partner.
          const bool base = session_.GetStationType(true) == STATION_BASE;
          const std::vector<std::string>& names = session_.GetRegistrations(base);
          dataText_ = static_cast<size_t>(holder) < names.size()
                          ? Format(LoadString(IDS_GEN_DATA_HELD_BY).c_str(),
                                   session_.MapDeviceName(names[static_cast<size_t>(holder)]).c_str())
                          : LoadString(IDS_GEN_UNKNOWN);
          heldByAnother = true;
        }
        break;
      }
      case SLOT_DATA_CONNECTION:
        dataText_ = LoadString(IDS_GEN_CONNECTED);
        caption = LoadString(IDS_GEN_BUTTON_RELEASE);
        reportOccupied_ = 0;
        enabled = modeAllows;
        break;
      default:
        break;
    }
  }
  dataButtonCaption_ = caption;
  dataButtonEnabled_ = enabled;
  SetDlgItemText(IDC_GEN_DATA_BUTTON, caption);
  EnableDlgItem(IDC_GEN_DATA_BUTTON, enabled);

  // Windows' progress bars clamp; Qt's would keep the old value instead.
  auto setBar = [this](uint32_t id, int32_t value) {
    if (auto* bar = GetDlgItemAs<QProgressBar>(id)) bar->setValue(std::clamp<int32_t>(value, 0, 100));
  };
  setBar(IDC_GEN_FIELD_BAR, session_.GetFieldStrength());
  setBar(IDC_GEN_QUALITY_BAR, session_.GetQuality());

  if (portName_.empty()) portStateText_ = LoadString(IDS_GEN_INIT);
  DoDataExchange(false);

  if (adapterFound_ && !adapterShown_ && state == LINK_CONFIG && session_.GetMode() >= 0) {
    adapterShown_ = true;
    // The pages that refresh after this one have their posts queued
    // already; the hook runs behind them.
    PostMessage(WM_GEN_ADAPTER_SHOWN);
  }

  if (heldByAnother && reportOccupied_ == 1) {
    // Cleared before the box: refreshes that arrive while it is open must
    // not open a second one.
    reportOccupied_ = 0;
    ShowMessage(LoadString(IDS_GEN_DATA_OCCUPIED), MB_OK | MB_ICONINFORMATION);
  }
}

// ---- port selection --------------------------------------------------------------------

std::string CGeneralPage::WithAccessHint(std::string text) const {
  const std::string hint = AccessHint(port_.LastOpenFailure());
  if (!hint.empty()) text += " " + hint;
  return text;
}

std::string CGeneralPage::OpenFailureText(LinkState state) const {
  const std::string device = DeviceName();
  if (state == LINK_NO_STATION) {
    return Format(LoadString(IDS_MSG_NO_STATION_FOUND).c_str(), device.c_str(), device.c_str());
  }
  return WithAccessHint(LoadString(IDS_GEN_PORT_NOT_AVAILABLE));
}

void CGeneralPage::OnPortSelected() {
  auto* combo = GetDlgItemAs<QComboBox>(IDC_GEN_PORT_LIST);
  const int sel = combo != nullptr ? combo->currentIndex() : -1;
  // A re-open that is still pending is given up for the user's choice.
  if (sheet_.GetOperation() == OP_REOPEN) sheet_.EndOperation();

  switch (sheet_.GetOperation()) {
    case OP_IDLE: {
      if (sel < 0) return;
      const std::string name = StdStr(combo->itemText(sel));
      // That adapter is in use already.
      if (name == portName_ && port_.GetState() == LINK_CONFIG) return;
      SetDlgItemText(IDC_GEN_PORT_STATE, LoadString(IDS_GEN_INIT));
      if (sheet_.ConfirmDiscard(REFRESH_MODE | REFRESH_LOCAL | REFRESH_PARTNER, IDS_GEN_QUESTION_SWITCH_PORT, true) !=
          0) {
        DoDataExchange(false);
        return;
      }
      if (!sheet_.BeginOperation(OP_SWITCH_PORT)) {
        DoDataExchange(false);
        return;
      }
      Host().BeginWaitCursor();
      portName_ = name;
      if (port_.GetState() == LINK_CONFIG) {
        // The adapter on the old port goes back to its operating state
        // first; its answer continues the change.
        session_.LeaveConfiguration(GetSafeHwnd());
      } else {
        ContinuePortChange(true);
      }
      return;
    }
    case OP_START: {
      Host().BeginWaitCursor();
      if (nextPortIndex_ == 0) detectionResult_ = 0;
      if (port_.OpenFirstAvailable(nextPortIndex_)) {
        // The session identifies the adapter now; its outcome arrives as a
        // refresh.
        detectionResult_ = LINK_OPEN;
        Host().RestoreWaitCursor();
        return;
      }
      if (detectionResult_ != LINK_OPEN) detectionResult_ = port_.GetState();
      const std::string device = DeviceName();
      const std::string text =
          detectionResult_ == LINK_IDLE || detectionResult_ == LINK_NO_PORT
              ? WithAccessHint(Format(LoadString(IDS_GEN_NO_PORT_AVAILABLE).c_str(), device.c_str()))
              : WithAccessHint(Format(LoadString(IDS_MSG_NO_STATION_FOUND).c_str(), device.c_str(), device.c_str()));
      ShowMessage(text, MB_OK | MB_ICONERROR);
      sheet_.EndOperation();
      Host().RestoreWaitCursor();
      Host().EndWaitCursor();
      OnRefreshViews(0, 0);
      return;
    }
    default:
      Host().Beep(BEEP_DEFAULT);
      DoDataExchange(false);
      return;
  }
}

void CGeneralPage::ContinuePortChange(bool success) {
  if (!success) {
    const std::string text = Format(LoadString(IDS_SHEET_LEAVE_FAILED).c_str(), DeviceName().c_str(),
                                    port_.GetCurrentPort().c_str()) +
                             " " + LoadString(IDS_GEN_QUESTION_SWITCH_PORT);
    if (ShowMessage(text, MB_YESNO | MB_ICONWARNING) != IDYES) {
      // The refresh shows the old port again and, since the failed command
      // left the link without an answer, closes it.
      PostMessage(WM_REFRESH_VIEWS, 0, 0);
      sheet_.EndOperation();
      Host().EndWaitCursor();
      return;
    }
  }
  port_.Close(true);
  sheet_.EndOperation();
  if (!sheet_.BeginOperation(OP_REOPEN)) return;
  // The identification runs and its outcome arrives as a refresh.
  if (port_.Open(portName_)) return;
  ShowMessage(OpenFailureText(port_.GetState()), MB_OK | MB_ICONERROR);
  if (sheet_.GetOperation() == OP_REOPEN && port_.GetState() == LINK_IDLE) {
    // The port opened but could not be prepared; no refresh would end the
    // re-open, and the busy slot and the wait cursor would stay until the
    // user picked another port.
    sheet_.EndOperation();
    EndWaitCursorAndRefreshCursor();
  }
  OnRefreshViews(0, 0);
}

intptr_t CGeneralPage::OnOperationDone(uintptr_t wParam, intptr_t) {
  switch (sheet_.GetOperation()) {
    case OP_REGISTER:
      // The session reports the registration's outcome itself.
      sheet_.EndOperation();
      break;
    case OP_SWITCH_PORT:
      ContinuePortChange(wParam != 0);
      break;
    default:
      break;
  }
  return 0;
}

// ---- partner, data connection, check box ------------------------------------------------

void CGeneralPage::OnPartnerSelected() {
  auto* combo = GetDlgItemAs<QComboBox>(IDC_GEN_PARTNER_LIST);
  const int sel = combo != nullptr ? combo->currentIndex() : -1;
  if (sel < 0) return;
  int index = -1;
  const std::vector<std::string>& names = session_.GetRegistrations(true);
  for (int i = 0, counted = 0; i < static_cast<int>(names.size()); ++i) {
    if (session_.MapDeviceName(names[static_cast<size_t>(i)]).empty()) continue;
    if (counted++ == sel) {
      index = i;
      break;
    }
  }
  if (index < 0 || index == session_.GetPartnerIndex()) return;
  if (sheet_.ConfirmDiscard(REFRESH_PARTNER, IDS_GEN_QUESTION_SWITCH_PARTNER, true) != 0) {
    partnerName_ = session_.GetPartnerName();
    DoDataExchange(false);
    return;
  }
  // No notify window: the outcome shows in the refreshes the session asks
  // for, and a notice would be taken for the answer of a port change that
  // the user might start meanwhile.
  session_.SelectPartner(kNoTarget, index);
  reportOccupied_ = 1;
}

void CGeneralPage::OnDataButton() {
  // The session ends the wait cursor when the command has completed.
  Host().BeginWaitCursor();
  if (GetDlgItemText(IDC_GEN_DATA_BUTTON) == LoadString(IDS_GEN_BUTTON_RELEASE)) {
    session_.ReleaseDataConnection();
  } else {
    session_.OccupyDataConnection();
  }
}

bool CGeneralPage::OnCommand(uint32_t controlId, uint32_t code, intptr_t) {
  switch (controlId) {
    case IDC_GEN_PORT_LIST:
      if (code != CBN_SELCHANGE) return false;
      OnPortSelected();
      return true;
    case IDC_GEN_PARTNER_LIST:
      if (code != CBN_SELCHANGE) return false;
      OnPartnerSelected();
      return true;
    case IDC_GEN_NO_DETECTION:
      // Only the check box changes; it is saved with every apply, so the
      // page is not marked as modified.
      if (code == BN_CLICKED) DoDataExchange(true);
      return code == BN_CLICKED;
    case IDC_GEN_DATA_BUTTON:
      if (code == BN_CLICKED) OnDataButton();
      return code == BN_CLICKED;
    default:
      return false;
  }
}

bool CGeneralPage::OnApply() {
  // Saved on every apply, changed or not. With the box ticked and no port
  // selected (none found yet), the port the settings named is kept, so the
  // user's choice survives.
  const std::string name = portName_.empty() && noDetection_ != 0 ? storedPortName_ : portName_;
  SettingsStore store = SettingsStore::AtDefaultPath();
  CAppSettings(store).SaveStoredPort(noDetection_ != 0, name);
  return CPropertyPage::OnApply();
}

intptr_t CGeneralPage::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == WM_GEN_ADAPTER_SHOWN) {
    if (adapterShownHook_) adapterShownHook_(sheet_);
    return 0;
  }
  return CPropertyPage::WindowProc(message, wParam, lParam);
}

}  // namespace k470
