// The session on the virtual host with a fake sheet, a recording page
// window, the virtual port and the scripted adapter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "configtool/platform/messages.h"
#include "configtool/platform/virtual_host.h"
#include "configtool/protocol/at_channel.h"
#include "configtool/protocol/session_sheet.h"
#include "configtool/protocol/station_session.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/virtual_port.h"
#include "scripted_adapter.h"

namespace k470::test {

struct Message {
  uint64_t at;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

// A window that records what is posted to it.
class RecordingTarget : public IMessageTarget {
 public:
  explicit RecordingTarget(VirtualHost& host) : host_(host) { id_ = host.RegisterTarget(this); }
  ~RecordingTarget() { host_.UnregisterTarget(id_); }
  intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    messages_.push_back({host_.NowMs(), message, wParam, lParam});
    return 0;
  }
  TargetId Id() const { return id_; }
  const std::vector<Message>& Messages() const { return messages_; }
  std::vector<Message> Of(uint32_t message) const {
    std::vector<Message> out;
    for (const auto& m : messages_) {
      if (m.message == message) out.push_back(m);
    }
    return out;
  }
  void Clear() { messages_.clear(); }

 private:
  VirtualHost& host_;
  TargetId id_ = kNoTarget;
  std::vector<Message> messages_;
};

// What the main sheet does for the session, recorded.
class FakeSheet : public ISessionSheet, public RecordingTarget {
 public:
  explicit FakeSheet(VirtualHost& host) : RecordingTarget(host), host_(host), window_(Id()) {}

  void SetSession(CStationSession* session) { session_ = session; }
  const TargetId& WindowRef() const { return window_; }

  TargetId GetSheetWindow() const override { return window_; }
  OperationCode GetOperation() const override { return operation_; }
  bool BeginOperation(OperationCode code) override {
    beginCalls.push_back(code);
    if (operation_ != OP_IDLE) {
      host_.Beep(BEEP_DEFAULT);
      return false;
    }
    operation_ = code;
    if (code == OP_BASE_READY && session_ != nullptr) {
      // As the main sheet does: the adapter leaves its configuration state
      // and the program ends.
      session_->LeaveConfiguration(window_);
      ShowMessage("Die Basis ist anmeldebereit. Das Konfigurationsprogramm wird beendet.", MB_OK);
      HideApplication();
      EndSheet(IDOK);
      EndOperation();
    }
    return true;
  }
  void EndOperation() override {
    ++endOperationCalls;
    operation_ = OP_IDLE;
  }
  void SetOperation(OperationCode code) { operation_ = code; }
  int ShowMessage(const std::string& text, unsigned flags) override {
    if (session_ != nullptr) session_->SuspendQueue(false);
    int answer = host_.MessageBox(window_, text, "Eigenschaften des Lumora Data", flags);
    if (session_ != nullptr) session_->ResumeQueue();
    return answer;
  }
  void ShowWaitDialog(bool show) override { waitDialog += show ? 'S' : 'H'; }
  void EnableWaitCancel(bool enable) override { waitDialog += enable ? 'E' : 'D'; }
  void SetModeTabEnabled(bool enable) override { modeTab.push_back(enable); }
  void SetReportOccupied(int flag) override { reportOccupied.push_back(flag); }
  void AppendTraceChar(char c) override { trace += c; }
  void HideApplication() override { ++hidden; }
  void EndSheet(int result) override { endSheet.push_back(result); }

  std::vector<uint32_t> RefreshFlags() const {
    std::vector<uint32_t> out;
    for (const auto& m : Of(WM_REFRESH_VIEWS)) out.push_back(static_cast<uint32_t>(m.wParam));
    return out;
  }
  uint32_t RefreshUnion() const {
    uint32_t all = 0;
    for (uint32_t f : RefreshFlags()) all |= f;
    return all;
  }

  std::vector<OperationCode> beginCalls;
  int endOperationCalls = 0;
  std::string waitDialog;
  std::vector<bool> modeTab;
  std::vector<int> reportOccupied;
  std::string trace;
  int hidden = 0;
  std::vector<int> endSheet;

 private:
  VirtualHost& host_;
  TargetId window_;
  CStationSession* session_ = nullptr;
  OperationCode operation_ = OP_IDLE;
};

// Everything the session needs, wired as the sheet wires it.
struct SessionRig {
  SessionRig() : com(system.AddPort("COM1")), adapter(com, host.Clock()), port(host, system), sheet(host),
                 channel(host, sheet.WindowRef(), &port), session(host, sheet, channel, port), page(host) {
    sheet.SetSession(&session);
    session.SetDefaultNames("Lumora Data", "CORVANE AG", "Lumora K471 Data", "Lumora K475 Data");
    // What the application object does with the reader's notice.
    host.SetThreadMessageHandler([this](uint32_t message, uintptr_t, intptr_t) {
      if (message == WM_SERIAL_RECEIVED) port.DeliverReceived();
    });
    // Unscripted boxes get the answer that ends the matter (Cancel, OK), so
    // a failure that repeats cannot keep a test busy.
    host.SetMessageBoxHandler([](const VirtualHost::MessageBoxCall& call) {
      return (call.flags & MB_TYPEMASK) == MB_RETRYCANCEL ? IDCANCEL : IDOK;
    });
  }

  // The virtual times at which the adapter received this command.
  std::vector<uint64_t> TimesOf(const std::string& command) const {
    std::vector<uint64_t> out;
    for (const auto& line : adapter.Lines()) {
      if (line.command == command) out.push_back(line.at);
    }
    return out;
  }
  size_t CountOf(const std::string& command) const { return TimesOf(command).size(); }
  // Runs until the adapter has received this command count times.
  bool RunUntilSent(const std::string& command, size_t count = 1, uint64_t limitMs = 60000) {
    return host.RunUntil([&] { return CountOf(command) >= count; }, limitMs);
  }
  // Detected and idle: the detection and its follow-ups are through.
  void Settle() { host.RunFor(1500); }

  // Opens the port (the probe takes 2200 ms) and lets the detection run.
  void OpenAndDetect(uint64_t runMs = 2000) {
    port.Open("COM1");
    host.RunFor(runMs);
  }

  // The session's queue as command words with arguments.
  std::vector<std::string> QueuedCommands() const;

  VirtualHost host;
  VirtualSerialSystem system{&host.Clock()};
  VirtualPort& com;
  ScriptedAdapter adapter;
  CComPort port;
  FakeSheet sheet;
  CAtChannel channel;
  CStationSession session;
  RecordingTarget page;
};

// "I2,0" and the like, from a queued command.
std::string CommandText(const AtCommand& command);

}  // namespace k470::test
