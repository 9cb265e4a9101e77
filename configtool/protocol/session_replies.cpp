// What the session does by itself (detection, polling, the radio link) and
// its reaction to every answer: the OK action and the failure action of
// each command, the failure messages and the Retry.
#include "configtool/platform/messages.h"
#include "configtool/platform/text.h"
#include "configtool/protocol/reply_rules.h"
#include "configtool/protocol/station_session.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {

constexpr uint32_t kRefreshAllStations = REFRESH_CONNECTION | REFRESH_MODE | REFRESH_LOCAL | REFRESH_PARTNER;

// A prefix that would put a line end or other control byte into every line
// is not taken.
bool IsUsablePrefix(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

}  // namespace

// ---- detection and polling ------------------------------------------------

void CStationSession::StartDetection() {
  ResetSession();
  ready_ = true;
  host_.EndWaitCursor();
  Enqueue(kNoTarget, IDS_CMD_GET_PREFIX, std::string(), true);
  Enqueue(kNoTarget, IDS_CMD_COMPATIBLE, std::string(), true);
  QueueLocalRefresh();
  Enqueue(kNoTarget, IDS_CMD_FIRMWARE_VERSION, ",0", true);
  Enqueue(kNoTarget, IDS_CMD_HARDWARE_VERSION, ",0", true);
  PollStatus();
}

void CStationSession::ResetSession() {
  StopTimer(TIMER_ALL);
  EmptyQueue();
  // The command in flight belonged to the queue just dropped; the channel
  // must not keep waiting for it on our behalf.
  channel_.Abandon(this);
  ready_ = false;
  radio_.Reset();
  settings_.Reset();
  local_.Reset();
  partner_.Reset();
  ++epoch_;
  PostRefresh(kRefreshAllStations);
}

void CStationSession::QueueLocalRefresh() {
  Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "0", true);
  Enqueue(kNoTarget, IDS_CMD_STATION_TYPE, std::string(), true);
  Enqueue(kNoTarget, IDS_CMD_PRODUCT, ",0", true);
  Enqueue(kNoTarget, IDS_CMD_STATION_NAME, ",0", true);
  Enqueue(kNoTarget, IDS_CMD_SETTINGS, std::string(), true);
  Enqueue(kNoTarget, IDS_CMD_RELEASE_TIMES, "0", true);
}

void CStationSession::PollStatus() {
  StopTimer(TIMER_POLL);
  Enqueue(kNoTarget, IDS_CMD_LINK_STATE, std::string(), true);
  Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "0", true);
  Enqueue(kNoTarget, IDS_CMD_SLOT_STATES, "0", true);
  if (radio_.radioState == RADIO_LINKED) {
    Enqueue(kNoTarget, IDS_CMD_SLOT_STATES, "1", false);
    Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "1", false);
    Enqueue(kNoTarget, IDS_CMD_RELEASE_TIMES, "1", false);
  }
}

void CStationSession::PollQuality() {
  StopTimer(TIMER_QUALITY);
  Enqueue(kNoTarget, IDS_CMD_FIELD_STRENGTH, std::string(), true);
  Enqueue(kNoTarget, IDS_CMD_QUALITY, std::string(), true);
}

void CStationSession::OnLinkUp() {
  if (radio_.radioState == RADIO_LINKED) return;
  radio_.radioState = RADIO_LINKED;
  // Only a base and a handset can be partners.
  partner_.type = local_.type == STATION_BASE      ? STATION_HANDSET
                  : local_.type == STATION_HANDSET ? STATION_BASE
                                                   : STATION_UNKNOWN;
  Enqueue(kNoTarget, IDS_CMD_PRODUCT, ",1", false);
  Enqueue(kNoTarget, IDS_CMD_STATION_NAME, ",1", false);
  Enqueue(kNoTarget, IDS_CMD_HARDWARE_VERSION, ",1", false);
  Enqueue(kNoTarget, IDS_CMD_FIRMWARE_VERSION, ",1", false);
  Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "1", false);
  Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "0", true);
  Enqueue(kNoTarget, IDS_CMD_SETTINGS, std::string(), true);
  Enqueue(kNoTarget, IDS_CMD_OWN_INDEX, std::string(), false);
  Enqueue(kNoTarget, IDS_CMD_RELEASE_TIMES, "1", false);
  Enqueue(kNoTarget, IDS_CMD_SLOT_STATES, "1", false);
  PollQuality();
}

void CStationSession::OnLinkDown() {
  int32_t old = radio_.radioState;
  // Without registrations there is no link to lose.
  if (old != RADIO_UNREGISTERED) radio_.radioState = RADIO_NO_LINK;
  if (radio_.radioState == old) return;
  StopTimer(TIMER_QUALITY);
  radio_.fieldStrength = 0;
  radio_.quality = 0;
  radio_.partnerSlotStates.clear();
  PollStatus();
  partner_.Reset();
}

// ---- the reply handlers ---------------------------------------------------

void CStationSession::OnCommandOk(const std::string& text) {
  StopTimer(TIMER_RESPONSE);
  if (queue_.empty()) return;
  ready_ = false;
  const AtCommand head = queue_.front();
  const uint64_t epoch = epoch_;
  invalidReply_ = false;
  stopHandling_ = false;
  uint32_t flags = RunOkAction(head, text);
  if (stopHandling_) return;
  const bool invalid = invalidReply_;
  if (!invalid) PostDone(head.notifyWnd, true, 0);
  if (flags != 0) PostRefresh(flags);
  if (invalid) {
    // An answer we cannot read is no answer: the failure action of the
    // same command decides (resend, drop, or give up). The head stays the
    // command it was, so no later answer is taken for the wrong command.
    HandleFailure(head, 0);
    return;
  }
  // Actions that restart the detection have emptied the queue; what they
  // queued is left alone.
  RemoveHead(head.serial);
  // "O" resets the session: it stays idle until the next detection.
  if (epoch == epoch_) ready_ = true;
  SendNext();
}

void CStationSession::OnCommandError(uint32_t code) {
  StopTimer(TIMER_RESPONSE);
  if (code == IDS_RESULT_REMOTE_CONFIG) {
    HandleRemoteConfig();
    return;
  }
  if (queue_.empty()) return;
  ready_ = false;
  const AtCommand head = queue_.front();
  HandleFailure(head, code);
}

void CStationSession::HandleFailure(const AtCommand& head, uint32_t code) {
  const uint64_t epoch = epoch_;
  const bool rereadsLists = head.id == IDS_CMD_OPEN_REGISTRATION || head.id == IDS_CMD_REGISTER ||
                            head.id == IDS_CMD_DEREGISTER;

  if (head.cancelled) {
    // The procedure may have got part of the way; show the lists as they
    // now are.
    if (rereadsLists) {
      Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "0", true);
      Enqueue(kNoTarget, IDS_CMD_SETTINGS, std::string(), true);
    }
    if (head.id == IDS_CMD_SELECT_PARTNER) host_.EndWaitCursor();
    PostDone(head.notifyWnd, false, 0);
    RemoveHead(head.serial);
    if (epoch == epoch_) ready_ = true;
    SendNext();
    return;
  }

  Failure failure;
  RunFailureAction(head, code, failure);
  if (failure.stop) return;

  if (!failure.text1.empty()) {
    sheet_.ShowWaitDialog(false);
    unsigned buttons = failure.retry ? MB_RETRYCANCEL : MB_OK;
    int answer = sheet_.ShowMessage(failure.text1 + " " + failure.text2, buttons | MB_ICONSTOP);
    if (failure.retry && answer == IDRETRY) {
      sheet_.ShowWaitDialog(true);
    } else {
      failure.retry = false;
    }
  }

  if (!failure.retry) {
    if (rereadsLists || head.id == IDS_CMD_SELECT_PARTNER) {
      Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "0", true);
      Enqueue(kNoTarget, IDS_CMD_SETTINGS, std::string(), true);
    }
    // The partner choice showed the wait cursor; a successful choice ends
    // it with the new detection, a failed one here.
    if (head.id == IDS_CMD_SELECT_PARTNER) host_.EndWaitCursor();
    PostDone(head.notifyWnd, false, code);
    RemoveHead(head.serial);
  }
  // On Retry the command stays at the head and goes out again below, its
  // attempts counting on.
  if (failure.flags != 0) PostRefresh(failure.flags);
  // A reset while the box was open (the port closed, the detection
  // restarted) has decided whether the queue may send.
  if (epoch == epoch_) ready_ = true;
  SendNext();
}

void CStationSession::HandleRemoteConfig() {
  // The adapter is being configured from the far end: we step aside. "O"
  // goes out at once, before the message.
  EmptyQueue();
  LeaveConfiguration(sheet_.GetSheetWindow());
  std::string text = Format(LoadString(IDS_REMOTE_CONFIG_ACTIVE).c_str(), LocalProduct().c_str());
  sheet_.ShowMessage(text, MB_OK);
  sheet_.HideApplication();
  sheet_.EndSheet(1);
  sheet_.EndOperation();
}

void CStationSession::EndWithIncompatibility() {
  sheet_.ShowMessage(LoadString(IDS_INCOMPATIBLE_COMMAND_SET), MB_OK | MB_ICONSTOP);
  sheet_.HideApplication();
  sheet_.EndSheet(1);
  sheet_.EndOperation();
}

void CStationSession::GiveUp(Failure& failure) {
  port_.SetState(LINK_NO_ANSWER);
  failure.flags = REFRESH_PORT;
  StopTimer(TIMER_ALL);
  EmptyQueue();
}

// ---- OK actions -----------------------------------------------------------

uint32_t CStationSession::RunOkAction(const AtCommand& command, const std::string& text) {
  const bool local = command.local != 0;
  StationInfo& station = Station(local);
  const bool linked = radio_.radioState == RADIO_LINKED;

  switch (command.id) {
    case IDS_CMD_MODE:
      // The adapter may have adjusted other settings to the new mode.
      Enqueue(kNoTarget, IDS_CMD_SETTINGS, std::string(), true);
      return 0;

    case IDS_CMD_SET_NAME:
      // The partner's list shows our name and ours shows the partner's, so
      // the other station's list is read again too.
      if (local) {
        Enqueue(kNoTarget, IDS_CMD_STATION_NAME, ",0", true);
        if (linked) Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "1", false);
      } else {
        Enqueue(kNoTarget, IDS_CMD_STATION_NAME, ",1", false);
        Enqueue(kNoTarget, IDS_CMD_REGISTRATIONS, "0", true);
      }
      return 0;

    case IDS_CMD_LEAVE_CONFIG:
      ResetSession();
      return 0;

    case IDS_CMD_SETTINGS:
      if (text.size() < 20) {
        invalidReply_ = true;
      } else {
        ApplySettingsReply(text, settings_, local_.type, radio_.partnerIndex);
        // Mode 5 is one no row of the page offers; the page cannot show it.
        sheet_.SetModeTabEnabled(settings_.mode != 5);
      }
      return REFRESH_CONNECTION | REFRESH_MODE | REFRESH_LOCAL;

    case IDS_CMD_HARDWARE_VERSION:
      station.hardwareVersion = Cp1252ToUtf8(TrimRight(text));
      return 0;

    case IDS_CMD_FIRMWARE_VERSION:
      station.firmwareVersion = Cp1252ToUtf8(TrimRight(text));
      return 0;

    case IDS_CMD_IDENT3:
      station.i3Text = Cp1252ToUtf8(TrimRight(text));
      return 0;

    case IDS_CMD_PRODUCT:
      station.product = Cp1252ToUtf8(TrimRight(text));
      if (!local) return 0;
      // Only an adapter in its configuration state answers this query.
      port_.SetState(LINK_CONFIG);
      return REFRESH_PORT;

    case IDS_CMD_STATION_NAME: {
      std::string name = TrimRight(text);
      channel_.QuoteResultWord(name, UNQUOTE_RESULT_WORD);
      station.name = Cp1252ToUtf8(name);
      return local ? REFRESH_LOCAL : REFRESH_PARTNER;
    }

    case IDS_CMD_STATION_TYPE:
      if (text.empty()) {
        invalidReply_ = true;
      } else {
        local_.type = ReadStationType(text);
      }
      return local ? REFRESH_LOCAL : REFRESH_PARTNER;

    case IDS_CMD_REGISTRATIONS: {
      bool changed = true;
      if (text.size() < 2) {
        invalidReply_ = true;
      } else {
        bool holdsRegistrations = false;
        changed = ApplyRegistrationList(text, station.names, holdsRegistrations);
        // The radio state follows our own list only, and never leaves
        // "linked" this way: the link state comes from "#C".
        if (local && radio_.radioState != RADIO_LINKED) {
          radio_.radioState = holdsRegistrations ? RADIO_NO_LINK : RADIO_UNREGISTERED;
        }
      }
      if (!changed) return 0;
      if (local) {
        QueueLocalRefresh();
        return REFRESH_LOCAL;
      }
      return REFRESH_CONNECTION | REFRESH_PARTNER;
    }

    case IDS_CMD_LINK_STATE:
      if (text.empty()) {
        invalidReply_ = true;
      } else {
        switch (ReadLinkState(text)) {
          case 0:
            OnLinkDown();
            break;
          case 1:
            OnLinkUp();
            break;
          default:
            radio_.radioState = RADIO_UNKNOWN;
            break;
        }
        // The next status cycle begins 3000 ms after this answer.
        StartTimer(TIMER_POLL);
      }
      return radio_.radioState == RADIO_LINKED ? REFRESH_CONNECTION : REFRESH_CONNECTION | REFRESH_PARTNER;

    case IDS_CMD_FIELD_STRENGTH:
      if (text.empty()) {
        invalidReply_ = true;
      } else {
        radio_.fieldStrength = ReadDecimal(TrimRight(text));
      }
      return 0;

    case IDS_CMD_QUALITY:
      if (linked) {
        if (text.empty()) {
          invalidReply_ = true;
        } else {
          radio_.quality = ReadDecimal(TrimRight(text));
        }
        StartTimer(TIMER_QUALITY);
      } else if (text.empty()) {
        invalidReply_ = true;
      } else {
        radio_.fieldStrength = 0;
        radio_.quality = 0;
      }
      return REFRESH_CONNECTION;

    case IDS_CMD_SELECT_PARTNER:
      // The new partner is read from scratch.
      StartDetection();
      return 0;

    case IDS_CMD_CHANGE_TYPE:
    case IDS_CMD_FACTORY_RESET:
      // The adapter restarts now. The connection page closes and reopens
      // the port; until then a prefix query is all that waits.
      host_.Sleep(kRestartWaitMs);
      ClearQueue();
      Enqueue(kNoTarget, IDS_CMD_GET_PREFIX, std::string(), true);
      port_.SetState(LINK_NO_STATION);
      return 0;

    case IDS_CMD_OPEN_REGISTRATION:
      sheet_.BeginOperation(OP_BASE_READY);
      return 0;

    case IDS_CMD_REGISTER:
    case IDS_CMD_DEREGISTER:
      // The adapter needs a moment before it reports the new lists.
      host_.Sleep(kRegistrationWaitMs);
      StartDetection();
      return 0;

    case IDS_CMD_LOAD:
      ClearQueue();
      port_.SetState(LINK_NO_STATION);
      return 0;

    case IDS_CMD_RELEASE:
      host_.EndWaitCursor();
      PollStatus();
      return REFRESH_CONNECTION | REFRESH_PARTNER;

    case IDS_CMD_OCCUPY:
      host_.EndWaitCursor();
      PollStatus();
      return kRefreshAllStations;

    case IDS_CMD_SET_RELEASE_TIME:
      Enqueue(kNoTarget, IDS_CMD_RELEASE_TIMES, "0", true);
      if (linked) Enqueue(kNoTarget, IDS_CMD_RELEASE_TIMES, "1", false);
      return 0;

    case IDS_CMD_SLOT_STATES: {
      bool changed = false;
      if (text.size() < 2) {
        invalidReply_ = true;
      } else {
        changed = ApplySlotStateList(text, local ? radio_.localSlotStates : radio_.partnerSlotStates);
      }
      return changed ? REFRESH_CONNECTION | REFRESH_PARTNER : 0;
    }

    case IDS_CMD_OWN_INDEX:
      if (text.empty()) {
        invalidReply_ = true;
      } else {
        radio_.ownIndex = ReadOwnIndex(text);
      }
      return REFRESH_CONNECTION | REFRESH_PARTNER;

    case IDS_CMD_RELEASE_TIMES: {
      bool changed = false;
      if (text.size() < 2) {
        invalidReply_ = true;
      } else {
        changed = ApplyReleaseTimeList(text, local ? radio_.localReleaseTimes : radio_.partnerReleaseTimes);
      }
      if (!changed) return 0;
      return local ? REFRESH_LOCAL : REFRESH_PARTNER;
    }

    case IDS_CMD_GET_PREFIX: {
      std::string prefix = TrimRight(text);
      if (IsUsablePrefix(prefix)) prefix_ = "AT" + prefix;
      return 0;
    }

    case IDS_CMD_COMPATIBLE:
      if (ReadDecimal(text) != 1) {
        EndWithIncompatibility();
        stopHandling_ = true;
      }
      return 0;

    default:
      // "\R", "\F", "\Q", "\P", "^CHGPIN", "I5": the OK is all there is.
      return 0;
  }
}

// ---- failure actions ------------------------------------------------------

void CStationSession::RunFailureAction(const AtCommand& command, uint32_t code, Failure& failure) {
  const bool local = command.local != 0;
  const std::string product = LocalProduct();
  const OperationCode op = sheet_.GetOperation();

  // The setting commands: a refusal may be asked again; silence three
  // times over means the adapter is gone.
  auto settingRule = [&] {
    if (code == IDS_RESULT_ERROR || command.attempts < 3) {
      failure.retry = true;
      return;
    }
    GiveUp(failure);
    sheet_.EndOperation();
    failure.text2 = failure.text1;
    failure.text1 = LoadString(IDS_MSG_LOCAL_CONNECTION_LOST);
  };

  switch (command.id) {
    case IDS_CMD_SETTINGS:
    case IDS_CMD_FIRMWARE_VERSION:
    case IDS_CMD_IDENT3:
    case IDS_CMD_STATION_NAME:
    case IDS_CMD_HARDWARE_VERSION:
    case IDS_CMD_STATION_TYPE:
    case IDS_CMD_REGISTRATIONS:
    case IDS_CMD_LINK_STATE:
    case IDS_CMD_FIELD_STRENGTH:
    case IDS_CMD_QUALITY:
    case IDS_CMD_SLOT_STATES:
    case IDS_CMD_OWN_INDEX:
    case IDS_CMD_RELEASE_TIMES:
      // A partner query that fails is dropped: the radio link is allowed to
      // be bad, and the next poll asks again.
      if (!local) return;
      if (command.attempts < 3) {
        failure.retry = true;
        return;
      }
      GiveUp(failure);
      sheet_.EndOperation();
      failure.text1 =
          LoadString(code == IDS_RESULT_ERROR ? IDS_MSG_LOCAL_NO_ANSWER : IDS_MSG_LOCAL_CONNECTION_LOST);
      failure.text2 = Format(LoadString(IDS_MSG_CHECK_PORT).c_str(), port_.GetCurrentPort().c_str(), product.c_str());
      return;

    case IDS_CMD_PRODUCT:
      if (!local) return;
      GiveUp(failure);
      // The search at start moves on to the next port without a word.
      if (op != OP_START) {
        failure.text1 = Format(LoadString(code == IDS_RESULT_ERROR ? IDS_MSG_NOT_A_STATION : IDS_MSG_NO_CONFIG_STATE).c_str(),
                               product.c_str());
      }
      return;

    case IDS_CMD_GET_PREFIX:
      // At start the detection goes on with the prefix we have.
      if (op == OP_START) return;
      port_.SetState(LINK_NO_STATION);
      sheet_.EndOperation();
      failure.text1 = Format(LoadString(IDS_MSG_NO_STATION_FOUND).c_str(), product.c_str(), product.c_str());
      failure.flags = REFRESH_PORT;
      return;

    case IDS_CMD_COMPATIBLE:
      if (op == OP_START) {
        port_.SetState(LINK_NO_ANSWER);
        failure.flags = REFRESH_PORT;
        return;
      }
      EndWithIncompatibility();
      failure.stop = true;
      return;

    case IDS_CMD_MODE:
    case IDS_CMD_BIT_RATE:
    case IDS_CMD_CHAR_FORMAT:
    case IDS_CMD_FLOW_CONTROL:
      failure.text1 = LoadString(IDS_MSG_MODE_NOT_APPLIED);
      settingRule();
      return;

    case IDS_CMD_SET_NAME:
      failure.text1 = LoadString(local ? IDS_MSG_LOCAL_NAME_FAILED : IDS_MSG_PARTNER_NAME_FAILED);
      settingRule();
      return;

    case IDS_CMD_REGISTER:
      failure.text1 = LoadString(IDS_MSG_REGISTER_FAILED);
      if (code == IDS_RESULT_INVALID_PIN) failure.text2 = LoadString(IDS_MSG_INVALID_PIN);
      if (code == IDS_RESULT_BASE_FULL) failure.text2 = LoadString(IDS_MSG_BASE_FULL);
      if (code == IDS_RESULT_FAILURE) failure.text2 = LoadString(IDS_MSG_BASE_NOT_READY);
      return;

    case IDS_CMD_OPEN_REGISTRATION:
      if (code == IDS_RESULT_BASE_FULL) {
        failure.text1 = LoadString(IDS_MSG_BASE_FULL);
      } else if (code == IDS_RESULT_FAILURE) {
        failure.text1 = LoadString(IDS_MSG_BASE_READY_ENDED);
        failure.retry = true;
      } else if (code == IDS_RESULT_ERROR) {
        failure.text1 = LoadString(IDS_MSG_BASE_READY_FAILED);
        failure.retry = true;
      }
      return;

    case IDS_CMD_DEREGISTER:
      if (code == IDS_RESULT_FAILURE) {
        failure.text1 = Format(LoadString(IDS_MSG_DEREGISTER_LOCAL_ONLY).c_str(), deregisterName_.c_str());
        failure.text2 = LoadString(IDS_MSG_DEREGISTER_AT_PARTNER);
      } else if (code == IDS_RESULT_ERROR) {
        failure.text1 = LoadString(IDS_MSG_DEREGISTER_FAILED);
        failure.retry = true;
      }
      return;

    case IDS_CMD_SELECT_PARTNER:
      failure.text1 = LoadString(IDS_MSG_SELECT_PARTNER_FAILED);
      failure.retry = true;
      return;

    case IDS_CMD_CHANGE_PIN:
      failure.text1 = LoadString(IDS_MSG_CHANGE_PIN_FAILED);
      if (code == IDS_RESULT_INVALID_PIN) {
        failure.text2 = LoadString(IDS_MSG_INVALID_PIN);
      } else {
        failure.retry = local;
      }
      return;

    case IDS_CMD_CHANGE_TYPE:
      failure.text1 = LoadString(IDS_MSG_CHANGE_TYPE_FAILED);
      failure.retry = true;
      return;

    case IDS_CMD_FACTORY_RESET:
      failure.text1 = LoadString(IDS_MSG_FACTORY_RESET_FAILED);
      failure.retry = true;
      return;

    case IDS_CMD_SET_RELEASE_TIME:
      failure.text1 = LoadString(IDS_MSG_RELEASE_TIME_FAILED);
      failure.retry = true;
      return;

    case IDS_CMD_RELEASE:
      host_.EndWaitCursor();
      PollStatus();
      return;

    case IDS_CMD_OCCUPY:
      host_.EndWaitCursor();
      // Another station holds the connection; the connection page says so.
      if (code == IDS_RESULT_FAILURE) sheet_.SetReportOccupied(1);
      PollStatus();
      return;

    case IDS_CMD_LEAVE_CONFIG:
      port_.SetState(LINK_NO_ANSWER);
      StopTimer(TIMER_ALL);
      EmptyQueue();
      return;

    default:
      // "\P", "I5", "^LOAD": dropped with the notice only.
      return;
  }
}

}  // namespace k470
