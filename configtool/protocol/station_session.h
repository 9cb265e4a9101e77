// CStationSession: the program's single conversation with the adapter.
//
// The pages never write to the line: they call the session's operations,
// which append commands to its queue. The session sends them one at a time
// through the channel, watches each reply with a time-out, resends or gives
// up by fixed rules and runs the reply action of the command that was asked:
// it stores what was read, queues follow-up commands, posts WM_REFRESH_VIEWS
// (flags) to the sheet and WM_OPERATION_DONE to the window that started an
// operation, and shows failure messages through the sheet. By itself it
// identifies the adapter when the port opens and keeps polling the radio
// link and its quality.
//
// Everything runs on the user-interface thread. Re-entry happens during
// message boxes (ShowMessage runs a modal loop: timers fire, data arrive,
// pages may call operations) and from the blocking waits after some
// commands; every step that follows a box re-reads the queue instead of
// trusting what it saw before.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "configtool/platform/host.h"
#include "configtool/protocol/at_channel.h"
#include "configtool/protocol/session_sheet.h"
#include "configtool/protocol/station_data.h"
#include "configtool/serial/com_port.h"

namespace k470 {

// One queued command; the queue owns it.
struct AtCommand {
  uint32_t id = 0;               // string-table id of the command word
  std::string args;              // argument text (UTF-8)
  uint32_t local = 1;            // 1: the local station ("0"/",0"); 0: the partner
  TargetId notifyWnd = kNoTarget;  // gets WM_OPERATION_DONE when the command is finished
  bool cancelled = false;        // set by CancelOperation
  uint32_t attempts = 0;         // times the line was handed to the channel
  // Our bookkeeping: a number no other queued command has, so a reply is
  // never taken for a later command that happens to have the same id; the
  // last hand-over's outcome; the time-outs it has waited through.
  uint64_t serial = 0;
  bool writeFailed = false;
  uint32_t timeouts = 0;
};

// Timer kinds (= window timer ids on the sheet window).
constexpr uint32_t TIMER_ALL = 0;
constexpr uint32_t TIMER_POLL = 1;      // 3000 ms, PollStatus
constexpr uint32_t TIMER_QUALITY = 2;   // 5000 ms, PollQuality
constexpr uint32_t TIMER_RESPONSE = 3;  // 3000 ms, OnResponseTimeout

constexpr uint32_t kPollPeriodMs = 3000;
constexpr uint32_t kQualityPeriodMs = 5000;
constexpr uint32_t kResponsePeriodMs = 3000;
// Blocking waits after a command that makes the adapter restart (type
// change, delivery state) and after a registration or deregistration.
constexpr uint32_t kRestartWaitMs = 2500;
constexpr uint32_t kRegistrationWaitMs = 1000;
// "\P" may take the adapter long, so its time-out does not resend it; it
// is given up after this many time-outs (or at once when DSR is off).
constexpr uint32_t kLocalFlowControlTimeouts = 10;

class CStationSession : public IAtSession {
 public:
  // Neither reference is owned. Sets itself as the channel's session.
  CStationSession(IHost& host, ISessionSheet& sheet, CAtChannel& channel, CComPort& port);
  virtual ~CStationSession();
  CStationSession(const CStationSession&) = delete;
  CStationSession& operator=(const CStationSession&) = delete;

  // ---- reply handlers and port notices (called by the channel) ----
  void OnCommandOk(const std::string& text) override;
  void OnCommandError(uint32_t code) override;
  // Forgets everything, makes the queue ready and queues the detection
  // sequence (the port has opened, or a new partner is to be read).
  void StartDetection() override;
  // Stops the timers, empties the queue and forgets the station data; the
  // learnt command prefix stays.
  void ResetSession() override;
  void OnTraceChar(char c) override;

  // ---- operations for the pages (all take effect by queueing) ----
  // Each returns whether something was queued.
  bool SelectPartner(TargetId notifyWnd, int index);
  bool SetOperatingMode(TargetId notifyWnd, int row);
  bool SetBitRate(TargetId notifyWnd, int row);
  bool SetCharacterFormat(TargetId notifyWnd, int dataBitsRow, int parityRow, int stopBitsRow);
  bool SetLocalFlowControl(TargetId notifyWnd, bool on);
  bool SetFlowControl(TargetId notifyWnd, int row);
  // False (nothing queued) for a text that is not a time of 0 to 655 s.
  bool SetAutoReleaseTime(TargetId notifyWnd, const std::string& timeText);
  bool SetStationName(TargetId notifyWnd, const std::string& name, bool local);
  bool ChangePin(TargetId notifyWnd, const std::string& oldPin, const std::string& newPin);
  bool RegisterAtBase(TargetId notifyWnd, int index, const std::string& pin);
  bool OpenRegistration(TargetId notifyWnd);
  bool Deregister(TargetId notifyWnd, int index);
  bool LeaveConfiguration(TargetId notifyWnd);
  bool ChangeStationType(TargetId notifyWnd);
  bool FactoryReset(TargetId notifyWnd);
  void OccupyDataConnection();
  void ReleaseDataConnection();
  // The partner name shown when a deregistration was done only locally.
  void SetDeregisterName(const std::string& name) { deregisterName_ = name; }

  // The user pressed Cancel in the wait dialog.
  void CancelOperation();
  // Drops every queued command without notices, and stops the timers.
  void ClearQueue();
  // Held around every message box (the sheet's ShowMessage, flag 0): nothing
  // is sent while a box is open; a command in flight is abandoned and sent
  // again afterwards; polls that fall due are queued at once. With the flag
  // set it refuses (false, still paused) while a reply is awaited.
  bool SuspendQueue(bool refuseIfBusy);
  void ResumeQueue();

  // Names used when a station reports none (written by the connection page
  // from the settings).
  void SetDefaultNames(const std::string& product, const std::string& vendor, const std::string& device,
                       const std::string& deviceUsb);
  void SetDefaultProductName(const std::string& name) { defaultProductName_ = name; }
  void SetDefaultVendorName(const std::string& name) { defaultVendorName_ = name; }
  void SetDefaultDeviceName(const std::string& name) { defaultDeviceName_ = name; }
  void SetDefaultDeviceNameUsb(const std::string& name) { defaultDeviceNameUsb_ = name; }

  // ---- what the session does by itself (also used by the reply actions) ----
  void QueueLocalRefresh();
  void PollStatus();
  void PollQuality();
  void OnLinkUp();
  void OnLinkDown();
  void OnResponseTimeout();

  // ---- queries (no side effects; local selects the local station) ----
  const StationInfo& GetStationInfo(bool local) const { return local ? local_ : partner_; }
  std::string GetProductName(bool local) const;
  std::string GetVendorName() const { return defaultVendorName_; }
  std::string MapDeviceName(const std::string& text) const;
  std::string GetStationName(bool local) const { return MapDeviceName(GetStationInfo(local).name); }
  int32_t GetStationType(bool local) const { return GetStationInfo(local).type; }
  const std::vector<std::string>& GetRegistrations(bool local) const { return GetStationInfo(local).names; }
  const std::string& GetFirmwareVersion(bool local) const { return GetStationInfo(local).firmwareVersion; }
  const std::string& GetHardwareVersion(bool local) const { return GetStationInfo(local).hardwareVersion; }
  int32_t GetRadioState() const { return radio_.radioState; }
  int32_t GetPartnerIndex() const { return radio_.partnerIndex; }
  std::string GetPartnerName() const;
  int32_t GetFieldStrength() const { return radio_.fieldStrength; }
  int32_t GetQuality() const { return radio_.quality; }
  uint8_t GetOwnIndex() const { return radio_.ownIndex; }
  // Only the low 8 bits of index count.
  uint8_t GetSlotState(int index, bool local) const;
  // Index of the entry that holds the data connection: -1 when no states
  // are known, 2147483647 when no entry holds it.
  int32_t FindDataHolder() const;
  // Seconds, or -1 for none / no such entry. Only the low 8 bits of index count.
  int32_t GetReleaseTime(bool local, int index) const;
  int32_t GetMode() const { return settings_.mode; }
  int32_t GetBitRate() const { return settings_.bitRate; }
  int32_t GetDataBits() const { return settings_.dataBits; }
  int32_t GetParity() const { return settings_.parity; }
  int32_t GetStopBits() const { return settings_.stopBits; }
  int32_t GetFlowControl() const { return settings_.flowControl; }
  int32_t GetLocalFlowControl() const { return settings_.localFlowControl; }
  const RadioRecord& GetRadioRecord() const { return radio_; }
  const LineSettings& GetLineSettings() const { return settings_; }

  // ---- state, for the sheet and for tests ----
  const std::string& GetPrefix() const { return prefix_; }
  bool IsReady() const { return ready_; }
  bool IsPaused() const { return paused_; }
  bool IsTimerRunning(uint32_t kind) const;
  const std::deque<AtCommand>& GetQueue() const { return queue_; }
  const std::string& GetDeregisterName() const { return deregisterName_; }

 private:
  // The three argument forms; each appends and then tries to send.
  void EnqueueNumbers(TargetId notifyWnd, uint32_t id, const std::vector<std::optional<uint32_t>>& numbers,
                      bool local);
  void EnqueueTexts(TargetId notifyWnd, uint32_t id, const std::vector<std::string>& texts, bool local);
  void Enqueue(TargetId notifyWnd, uint32_t id, const std::string& args, bool local);
  void SendNext();
  void StartTimer(uint32_t kind);
  void StopTimer(uint32_t kind);
  void OnTimer(uint32_t kind);
  void EmptyQueue() { queue_.clear(); }
  // Removes the head if it is still the command with this serial.
  void RemoveHead(uint64_t serial);

  // What a failure action decided (see OnCommandError).
  struct Failure {
    std::string text1;
    std::string text2;
    bool retry = false;
    uint32_t flags = 0;
    bool stop = false;  // the handling ends here (the program ends)
  };
  // The OK action of the head command; returns the refresh flags. Sets
  // invalidReply_ when the reply could not be read and stopHandling_ when
  // the program ends.
  uint32_t RunOkAction(const AtCommand& command, const std::string& text);
  void RunFailureAction(const AtCommand& command, uint32_t code, Failure& failure);
  // Steps of OnCommandError once the head is known, shared with an
  // unreadable reply inside OnCommandOk. ready_ is 0 on entry.
  void HandleFailure(const AtCommand& head, uint32_t code);
  void GiveUp(Failure& failure);
  void HandleRemoteConfig();
  void EndWithIncompatibility();
  void PostRefresh(uint32_t flags);
  void PostDone(TargetId notifyWnd, bool success, uint32_t code);
  std::string LocalProduct() const { return GetProductName(true); }
  StationInfo& Station(bool local) { return local ? local_ : partner_; }

  IHost& host_;
  ISessionSheet& sheet_;
  CAtChannel& channel_;
  CComPort& port_;

  std::string prefix_;
  bool ready_ = false;
  bool paused_ = false;
  uint32_t pollTimer_ = 0;
  uint32_t qualityTimer_ = 0;
  uint32_t responseTimer_ = 0;
  TargetId timerWindow_ = kNoTarget;
  int pauseDepth_ = 0;
  std::string deregisterName_;
  std::string defaultProductName_;
  std::string defaultVendorName_;
  std::string defaultDeviceName_;
  std::string defaultDeviceNameUsb_;
  std::deque<AtCommand> queue_;
  RadioRecord radio_;
  LineSettings settings_;
  StationInfo local_;
  StationInfo partner_;

  uint64_t nextSerial_ = 1;
  // Counts resets, so a step that follows a message box can tell that the
  // session was reset (port closed, detection restarted) while it was open.
  uint64_t epoch_ = 0;
  bool invalidReply_ = false;
  bool stopHandling_ = false;
};

}  // namespace k470
