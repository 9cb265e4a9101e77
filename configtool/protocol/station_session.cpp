// The session's queue, timers, page operations and queries. What it does
// with each answer, and what it does by itself (detection, polling, the
// radio link), is in session_replies.cpp.
#include "configtool/protocol/station_session.h"

#include <limits>

#include "configtool/platform/messages.h"
#include "configtool/platform/text.h"
#include "configtool/protocol/at_commands.h"
#include "configtool/protocol/reply_rules.h"
#include "configtool/res/string_table.h"

namespace k470 {

CStationSession::CStationSession(IHost& host, ISessionSheet& sheet, CAtChannel& channel, CComPort& port)
    : host_(host), sheet_(sheet), channel_(channel), port_(port), prefix_(LoadString(IDS_CMD_DEFAULT_PREFIX)) {
  channel_.SetSession(this);
}

CStationSession::~CStationSession() {
  // The timers hold closures over this object; the sheet may already be
  // half gone, so they are killed on the window they were set on.
  StopTimer(TIMER_ALL);
  channel_.Abandon(this);
  channel_.SetSession(nullptr);
}

// ---- the queue ------------------------------------------------------------

void CStationSession::EnqueueNumbers(TargetId notifyWnd, uint32_t id,
                                     const std::vector<std::optional<uint32_t>>& numbers, bool local) {
  Enqueue(notifyWnd, id, FormatNumberList(numbers), local);
}

void CStationSession::EnqueueTexts(TargetId notifyWnd, uint32_t id, const std::vector<std::string>& texts,
                                   bool local) {
  Enqueue(notifyWnd, id, JoinTexts(texts), local);
}

void CStationSession::Enqueue(TargetId notifyWnd, uint32_t id, const std::string& args, bool local) {
  AtCommand command;
  command.id = id;
  command.args = args;
  command.local = local ? 1 : 0;
  command.notifyWnd = notifyWnd;
  command.serial = nextSerial_++;
  queue_.push_back(std::move(command));
  SendNext();
}

void CStationSession::SendNext() {
  if (!ready_ || paused_ || responseTimer_ != 0 || queue_.empty()) return;
  AtCommand& head = queue_.front();
  std::string line = BuildCommandLine(prefix_, head.id, head.args);
  if (line.empty()) return;
  CAtChannel::SendStatus status = channel_.SendLine(this, line);
  if (status == CAtChannel::SendStatus::Refused) return;
  // A line the port would not take is treated like one the adapter did not
  // answer: the time-out runs and the resend and give-up rules decide. An
  // unplugged adapter thus ends in the connection-lost message instead of a
  // queue that waits for ever.
  head.writeFailed = status == CAtChannel::SendStatus::WriteFailed;
  StartTimer(TIMER_RESPONSE);
  ++head.attempts;
}

void CStationSession::RemoveHead(uint64_t serial) {
  if (!queue_.empty() && queue_.front().serial == serial) queue_.pop_front();
}

void CStationSession::ClearQueue() {
  StopTimer(TIMER_ALL);
  channel_.Abandon(this);
  EmptyQueue();
}

bool CStationSession::SuspendQueue(bool refuseIfBusy) {
  // Boxes nest (a box may be opened from a time-out that runs at the start
  // of another box); the queue stays held until the outermost one closes.
  ++pauseDepth_;
  paused_ = true;
  if (refuseIfBusy && responseTimer_ != 0) return false;
  if (responseTimer_ != 0) OnResponseTimeout();
  if (pollTimer_ != 0) OnTimer(TIMER_POLL);
  if (qualityTimer_ != 0) OnTimer(TIMER_QUALITY);
  return true;
}

void CStationSession::ResumeQueue() {
  if (pauseDepth_ > 0) --pauseDepth_;
  paused_ = pauseDepth_ > 0;
  SendNext();
}

// ---- timers ---------------------------------------------------------------

bool CStationSession::IsTimerRunning(uint32_t kind) const {
  switch (kind) {
    case TIMER_POLL:
      return pollTimer_ != 0;
    case TIMER_QUALITY:
      return qualityTimer_ != 0;
    case TIMER_RESPONSE:
      return responseTimer_ != 0;
    default:
      return pollTimer_ != 0 || qualityTimer_ != 0 || responseTimer_ != 0;
  }
}

void CStationSession::StartTimer(uint32_t kind) {
  uint32_t* slot = nullptr;
  uint32_t period = 0;
  switch (kind) {
    case TIMER_POLL:
      slot = &pollTimer_;
      period = kPollPeriodMs;
      break;
    case TIMER_QUALITY:
      slot = &qualityTimer_;
      period = kQualityPeriodMs;
      break;
    case TIMER_RESPONSE:
      slot = &responseTimer_;
      period = kResponsePeriodMs;
      break;
    default:
      return;
  }
  if (*slot != 0) return;
  TargetId window = sheet_.GetSheetWindow();
  if (host_.SetTimer(window, kind, period, [this](uint32_t id) { OnTimer(id); })) {
    *slot = kind;
    timerWindow_ = window;
  }
}

void CStationSession::StopTimer(uint32_t kind) {
  if (kind == TIMER_ALL) {
    StopTimer(TIMER_RESPONSE);
    StopTimer(TIMER_POLL);
    StopTimer(TIMER_QUALITY);
    return;
  }
  uint32_t* slot = kind == TIMER_POLL ? &pollTimer_ : kind == TIMER_QUALITY ? &qualityTimer_
                                     : kind == TIMER_RESPONSE ? &responseTimer_ : nullptr;
  if (slot == nullptr || *slot == 0) return;
  // A kill that fails means the window and its timers are gone already; the
  // timer is not running either way.
  host_.KillTimer(timerWindow_, kind);
  *slot = 0;
}

void CStationSession::OnTimer(uint32_t kind) {
  // The host's timers repeat; ours are one-shot in effect, each stopped by
  // its own procedure and started again by the reply that closes its cycle.
  switch (kind) {
    case TIMER_POLL:
      StopTimer(TIMER_POLL);
      PollStatus();
      break;
    case TIMER_QUALITY:
      StopTimer(TIMER_QUALITY);
      PollQuality();
      break;
    case TIMER_RESPONSE:
      OnResponseTimeout();
      break;
    default:
      break;
  }
}

void CStationSession::OnResponseTimeout() {
  StopTimer(TIMER_RESPONSE);
  if (queue_.empty()) {
    channel_.Abandon(this);
    return;
  }
  AtCommand& head = queue_.front();
  if (head.cancelled) {
    channel_.Abandon(this);
    OnCommandError(0);
    return;
  }
  ++head.timeouts;
  switch (head.id) {
    case IDS_CMD_LEAVE_CONFIG:
    case IDS_CMD_PRODUCT:
    case IDS_CMD_GET_PREFIX:
      // Sent once only: each of them decides something at once (the
      // program ends, or the search moves on to the next port).
      channel_.Abandon(this);
      OnCommandError(0);
      return;
    case IDS_CMD_CHANGE_TYPE:
    case IDS_CMD_OPEN_REGISTRATION:
    case IDS_CMD_REGISTER:
    case IDS_CMD_DEREGISTER:
    case IDS_CMD_CHANGE_PIN:
      // Radio procedures take as long as the user and the radio need; they
      // end with their result word or with the user's Cancel. A line that
      // never reached the adapter will get no word, though.
      if (!head.writeFailed) return;
      break;
    case IDS_CMD_LOCAL_FLOW_CONTROL:
      // The adapter may take long over "\P", and a second "\P" in the
      // middle would not help; but it must not hold the queue for ever.
      if (!head.writeFailed) {
        if (channel_.IsDsrOn() && head.timeouts < kLocalFlowControlTimeouts) {
          StartTimer(TIMER_RESPONSE);
          return;
        }
        channel_.Abandon(this);
        OnCommandError(0);
        return;
      }
      break;
    default:
      break;
  }
  channel_.Abandon(this);
  // An adapter whose DSR is off is gone; waiting for two more time-outs
  // would only delay the message.
  if (!channel_.IsDsrOn()) head.attempts = 4;
  if (head.attempts >= 3) {
    OnCommandError(0);
  } else {
    SendNext();
  }
}

// ---- cancelling -----------------------------------------------------------

void CStationSession::CancelOperation() {
  bool wasWaiting = responseTimer_ != 0;
  StopTimer(TIMER_RESPONSE);
  if (queue_.empty()) return;
  uint32_t target = 0;
  switch (sheet_.GetOperation()) {
    case OP_REGISTER:
      target = IDS_CMD_REGISTER;
      break;
    case OP_BASE_READY:
      target = IDS_CMD_OPEN_REGISTRATION;
      break;
    case OP_DEREGISTER:
      target = IDS_CMD_DEREGISTER;
      break;
    case OP_CHANGE_PIN:
      target = IDS_CMD_CHANGE_PIN;
      break;
    case OP_CHANGE_TYPE:
    case OP_REGISTER_TYPE:
      target = IDS_CMD_CHANGE_TYPE;
      break;
    case OP_REOPEN:
    case OP_SWITCH_PORT:
    case OP_CLOSE:
    case OP_CHECK_TYPE:
    case OP_FACTORY_RESET:
      // Nothing of these is interrupted: a delivery-state reset may already
      // be under way in the adapter and must not be cut in half. The command
      // in flight keeps its time-out, so it still ends by the usual rules.
      if (wasWaiting) StartTimer(TIMER_RESPONSE);
      return;
    default:
      queue_.front().cancelled = true;
      if (channel_.Interrupt(this) || wasWaiting) StartTimer(TIMER_RESPONSE);
      return;
  }

  bool headCancelled = false;
  for (auto it = queue_.begin(); it != queue_.end(); ++it) {
    if (it->id != target) continue;
    if (it == queue_.begin()) {
      // The procedure is running in the adapter: a bare CR stops it, and
      // its answer, or the time-out, finishes the cancelled command.
      it->cancelled = true;
      channel_.Interrupt(this);
      StartTimer(TIMER_RESPONSE);
      headCancelled = true;
      continue;
    }
    TargetId notifyWnd = it->notifyWnd;
    queue_.erase(it);
    PostDone(notifyWnd, false, 0);
    break;
  }
  if (!headCancelled && wasWaiting) StartTimer(TIMER_RESPONSE);
}

// ---- operations for the pages ---------------------------------------------

bool CStationSession::SelectPartner(TargetId notifyWnd, int index) {
  if (index < 0 || static_cast<size_t>(index) >= local_.names.size()) return false;
  host_.BeginWaitCursor();
  radio_.localSlotStates.clear();
  radio_.radioState = RADIO_UNKNOWN;
  OnLinkDown();
  Enqueue(notifyWnd, IDS_CMD_SELECT_PARTNER, FormatPartnerArgument(static_cast<unsigned>(index)), true);
  PostRefresh(REFRESH_CONNECTION | REFRESH_PARTNER);
  return true;
}

bool CStationSession::SetOperatingMode(TargetId notifyWnd, int row) {
  if (!OperatingModeTable.HasRow(row)) return false;
  EnqueueNumbers(notifyWnd, IDS_CMD_MODE, {static_cast<uint32_t>(OperatingModeTable.GetValue(row))}, true);
  return true;
}

bool CStationSession::SetBitRate(TargetId notifyWnd, int row) {
  if (!BitRateTable.HasRow(row)) return false;
  EnqueueNumbers(notifyWnd, IDS_CMD_BIT_RATE, {static_cast<uint32_t>(BitRateTable.GetValue(row))}, true);
  return true;
}

bool CStationSession::SetCharacterFormat(TargetId notifyWnd, int dataBitsRow, int parityRow, int stopBitsRow) {
  if (!DataBitsTable.HasRow(dataBitsRow) || !ParityTable.HasRow(parityRow) || !StopBitsTable.HasRow(stopBitsRow)) {
    return false;
  }
  char code = CharacterFormatCode(dataBitsRow, parityRow, stopBitsRow);
  if (code == 0) return false;
  Enqueue(notifyWnd, IDS_CMD_CHAR_FORMAT, std::string(1, code), true);
  return true;
}

bool CStationSession::SetLocalFlowControl(TargetId notifyWnd, bool on) {
  Enqueue(notifyWnd, IDS_CMD_LOCAL_FLOW_CONTROL, on ? "1" : "0", true);
  return true;
}

bool CStationSession::SetFlowControl(TargetId notifyWnd, int row) {
  if (!FlowControlTable.HasRow(row)) return false;
  EnqueueNumbers(notifyWnd, IDS_CMD_FLOW_CONTROL, {static_cast<uint32_t>(FlowControlTable.GetValue(row))}, true);
  return true;
}

bool CStationSession::SetAutoReleaseTime(TargetId notifyWnd, const std::string& timeText) {
  int seconds = ParseReleaseTime(timeText);
  if (static_cast<unsigned>(seconds) > static_cast<unsigned>(RELEASE_TIME_MAX)) return false;
  EnqueueNumbers(notifyWnd, IDS_CMD_SET_RELEASE_TIME, {static_cast<uint32_t>(seconds)}, true);
  return true;
}

bool CStationSession::SetStationName(TargetId notifyWnd, const std::string& name, bool local) {
  Enqueue(notifyWnd, IDS_CMD_SET_NAME, FormatNameArgument(name, local ? 0 : 1), local);
  return true;
}

bool CStationSession::ChangePin(TargetId notifyWnd, const std::string& oldPin, const std::string& newPin) {
  // Only a base can be asked again: a handset's PIN change runs at the far
  // end, and its failure offers no Retry.
  EnqueueTexts(notifyWnd, IDS_CMD_CHANGE_PIN, {oldPin, newPin}, local_.type == STATION_BASE);
  return true;
}

bool CStationSession::RegisterAtBase(TargetId notifyWnd, int index, const std::string& pin) {
  if (index < 0 || static_cast<size_t>(index) >= local_.names.size()) return false;
  OnLinkDown();
  Enqueue(notifyWnd, IDS_CMD_REGISTER, pin + "," + std::to_string(index), true);
  return true;
}

bool CStationSession::OpenRegistration(TargetId notifyWnd) {
  OnLinkDown();
  Enqueue(notifyWnd, IDS_CMD_OPEN_REGISTRATION, std::string(), true);
  return true;
}

bool CStationSession::Deregister(TargetId notifyWnd, int index) {
  if (index < 0 || static_cast<size_t>(index) >= local_.names.size()) return false;
  EnqueueNumbers(notifyWnd, IDS_CMD_DEREGISTER, {static_cast<uint32_t>(index)}, true);
  return true;
}

bool CStationSession::LeaveConfiguration(TargetId notifyWnd) {
  Enqueue(notifyWnd, IDS_CMD_LEAVE_CONFIG, std::string(), true);
  return true;
}

bool CStationSession::ChangeStationType(TargetId notifyWnd) {
  // The argument is the type to change to, in the adapter's coding (0 base,
  // 1 handset): a base becomes a handset.
  Enqueue(notifyWnd, IDS_CMD_CHANGE_TYPE, local_.type == STATION_BASE ? "1" : "0", true);
  return true;
}

bool CStationSession::FactoryReset(TargetId notifyWnd) {
  Enqueue(notifyWnd, IDS_CMD_FACTORY_RESET, std::string(), true);
  return true;
}

void CStationSession::OccupyDataConnection() { Enqueue(kNoTarget, IDS_CMD_OCCUPY, std::string(), true); }

void CStationSession::ReleaseDataConnection() { Enqueue(kNoTarget, IDS_CMD_RELEASE, std::string(), true); }

void CStationSession::SetDefaultNames(const std::string& product, const std::string& vendor,
                                      const std::string& device, const std::string& deviceUsb) {
  defaultProductName_ = product;
  defaultVendorName_ = vendor;
  defaultDeviceName_ = device;
  defaultDeviceNameUsb_ = deviceUsb;
}

// ---- queries --------------------------------------------------------------

std::string CStationSession::GetProductName(bool local) const {
  const std::string& product = GetStationInfo(local).product;
  if (product.empty()) return defaultProductName_;
  return MapDeviceName(product);
}

std::string CStationSession::MapDeviceName(const std::string& text) const {
  // The adapter reports its model by these placeholders; the names shown
  // for them come from the settings.
  if (text.empty()) return std::string();
  if (EqualsIgnoreCase(text, "_V_2_4_")) return defaultDeviceName_;
  if (EqualsIgnoreCase(text, "_U_S_B_")) return defaultDeviceNameUsb_;
  return text;
}

std::string CStationSession::GetPartnerName() const {
  int32_t index = radio_.partnerIndex;
  if (index < 0 || static_cast<size_t>(index) >= local_.names.size()) return std::string();
  return MapDeviceName(local_.names[static_cast<size_t>(index)]);
}

uint8_t CStationSession::GetSlotState(int index, bool local) const {
  const auto& states = local ? radio_.localSlotStates : radio_.partnerSlotStates;
  size_t i = static_cast<size_t>(index & 0xFF);
  return i < states.size() ? states[i] : static_cast<uint8_t>(SLOT_FREE);
}

int32_t CStationSession::FindDataHolder() const {
  // The base keeps the data-connection state of every handset; a handset
  // learns it from its base, the partner.
  const auto& states = local_.type == STATION_BASE ? radio_.localSlotStates : radio_.partnerSlotStates;
  if (states.empty()) return -1;
  for (size_t i = 0; i < states.size(); ++i) {
    if (states[i] == SLOT_DATA_CONNECTION) return static_cast<int32_t>(i);
  }
  return std::numeric_limits<int32_t>::max();
}

int32_t CStationSession::GetReleaseTime(bool local, int index) const {
  const auto& times = local ? radio_.localReleaseTimes : radio_.partnerReleaseTimes;
  size_t i = static_cast<size_t>(index & 0xFF);
  if (i >= times.size()) return -1;
  return static_cast<int16_t>(times[i]);
}

// ---- posting --------------------------------------------------------------

void CStationSession::PostRefresh(uint32_t flags) {
  host_.Post(sheet_.GetSheetWindow(), WM_REFRESH_VIEWS, flags, 0);
}

void CStationSession::PostDone(TargetId notifyWnd, bool success, uint32_t code) {
  if (notifyWnd == kNoTarget) return;
  host_.Post(notifyWnd, WM_OPERATION_DONE, success ? 1 : 0, success ? 0 : static_cast<intptr_t>(code));
}

void CStationSession::OnTraceChar(char c) { sheet_.AppendTraceChar(c); }

}  // namespace k470
