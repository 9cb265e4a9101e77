// The virtual host: a deterministic message queue on a virtual clock, for
// tests. Nothing here waits in real time unless a test asks for it (to let
// a real reader thread deliver bytes from a pseudo-terminal).
//
// Dispatch order, as on the window system the program was made for: posted
// messages first, in posting order; when the queue is empty, time moves on
// to the next due world event or window timer (world events first on a tie);
// timers due at the same time fire in the order they were set.
//
// Message boxes are answered from a script and recorded. A scripted box may
// stay open for some virtual time; meanwhile the loop keeps running, as a
// real modal box lets timers and posted messages through.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "configtool/platform/host.h"
#include "configtool/platform/virtual_clock.h"

namespace k470 {

class VirtualHost : public IHost {
 public:
  // Uses the given clock, or a clock of its own when none is given.
  explicit VirtualHost(VirtualClock* clock = nullptr);
  ~VirtualHost() override;

  VirtualClock& Clock() { return *clock_; }

  // ---- IHost ----
  TargetId RegisterTarget(IMessageTarget* target) override;
  void UnregisterTarget(TargetId id) override;
  bool IsTarget(TargetId id) const override;
  bool Post(TargetId target, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) override;
  intptr_t Send(TargetId target, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) override;
  void PostThreadMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) override;
  void SetThreadMessageHandler(ThreadMessageHandler handler) override;
  bool SetTimer(TargetId target, uint32_t timerId, uint32_t periodMs, TimerProc proc = {}) override;
  bool KillTimer(TargetId target, uint32_t timerId) override;
  uint64_t NowMs() const override { return clock_->Now(); }
  void Sleep(uint32_t ms) override;
  int MessageBox(TargetId owner, const std::string& text, const std::string& caption, unsigned flags) override;
  void Beep(unsigned type) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  void RestoreWaitCursor() override;
  int WaitCursorCount() const override { return waitCursorCount_; }
  void RefreshCursor() override { ++cursorRefreshes_; }
  bool SetClipboardText(const std::string& text) override;
  int OpenDocument(const std::string& path) override;
  void Exit(int code) override;
  std::string CommandLine() const override { return commandLine_; }
  std::string ProgramName() const override { return programName_; }
  std::string ProgramDirectory() const override { return programDirectory_; }

  // ---- driving the loop ----
  // Dispatches the oldest posted message, if any.
  bool DispatchOne();
  // Dispatches everything that is due now (posted messages, timers and world
  // events at the current time) without moving the clock.
  void RunPending();
  // Runs the loop for ms of virtual time.
  void RunFor(uint64_t ms);
  // Runs until pred() holds or limitMs of virtual time have passed; checks
  // pred after every step. Returns pred().
  bool RunUntil(const std::function<bool()>& pred, uint64_t limitMs);
  // For tests with a real reader thread: runs what is pending and waits in
  // real time for further thread messages until pred() holds or realMs of
  // real time have passed. The virtual clock does not move. Returns pred().
  bool RunUntilReal(const std::function<bool()>& pred, uint32_t realMs);
  bool HasPendingMessages() const;
  bool IsTimerRunning(TargetId target, uint32_t timerId) const;
  // Time the timer fires next, if it runs.
  std::optional<uint64_t> TimerDue(TargetId target, uint32_t timerId) const;

  // ---- message boxes ----
  struct MessageBoxCall {
    TargetId owner = kNoTarget;
    std::string text;
    std::string caption;
    unsigned flags = 0;
    int answer = 0;
    uint64_t openedAt = 0;
    bool scripted = false;
  };
  // The next box gets this answer after staying open openMs of virtual time.
  void ScriptMessageBox(int answer, uint32_t openMs = 0);
  // Answers every box not covered by the script (instead of the default
  // button). The handler may run the loop itself.
  void SetMessageBoxHandler(std::function<int(const MessageBoxCall&)> handler);
  const std::vector<MessageBoxCall>& MessageBoxes() const { return messageBoxes_; }
  int OpenMessageBoxes() const { return openBoxes_; }
  size_t PendingScriptedAnswers() const { return script_.size(); }
  void ClearMessageBoxes() { messageBoxes_.clear(); }

  // ---- other recordings ----
  struct SleepCall {
    uint64_t at;
    uint32_t ms;
  };
  const std::vector<SleepCall>& Sleeps() const { return sleeps_; }
  const std::vector<unsigned>& Beeps() const { return beeps_; }
  // 'B' begin, 'E' end, 'R' restore, in call order.
  const std::string& WaitCursorLog() const { return waitCursorLog_; }
  int CursorRefreshes() const { return cursorRefreshes_; }
  const std::string& ClipboardText() const { return clipboard_; }
  const std::vector<std::string>& OpenedDocuments() const { return openedDocuments_; }
  void SetOpenDocumentResult(int result) { openDocumentResult_ = result; }
  bool Exited() const { return exited_; }
  int ExitCode() const { return exitCode_; }

  void SetCommandLine(std::string text) { commandLine_ = std::move(text); }
  void SetProgramName(std::string name) { programName_ = std::move(name); }
  void SetProgramDirectory(std::string dir) { programDirectory_ = std::move(dir); }

 private:
  struct Posted {
    TargetId target;  // kNoTarget: thread message
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };
  struct Timer {
    uint32_t period;
    TimerProc proc;
    uint64_t due;
    uint64_t order;
  };
  using TimerKey = std::pair<TargetId, uint32_t>;

  // One step: a posted message, else the next timer or world event due by
  // 'until'. Returns false when nothing was due by then.
  bool Step(uint64_t until);
  bool FireNextTimer(uint64_t until);
  void DispatchMessage(const Posted& message);

  std::unique_ptr<VirtualClock> ownClock_;
  VirtualClock* clock_;

  std::map<TargetId, IMessageTarget*> targets_;
  TargetId nextTarget_ = 1;

  mutable std::mutex queueLock_;
  std::condition_variable queueSignal_;
  std::deque<Posted> queue_;
  ThreadMessageHandler threadHandler_;

  std::map<TimerKey, Timer> timers_;
  uint64_t timerOrder_ = 0;

  struct ScriptedAnswer {
    int answer;
    uint32_t openMs;
  };
  std::deque<ScriptedAnswer> script_;
  std::function<int(const MessageBoxCall&)> boxHandler_;
  std::vector<MessageBoxCall> messageBoxes_;
  int openBoxes_ = 0;

  std::vector<SleepCall> sleeps_;
  std::vector<unsigned> beeps_;
  int waitCursorCount_ = 0;
  std::string waitCursorLog_;
  int cursorRefreshes_ = 0;
  std::string clipboard_;
  std::vector<std::string> openedDocuments_;
  int openDocumentResult_ = 42;
  bool exited_ = false;
  int exitCode_ = 0;

  std::string commandLine_;
  std::string programName_ = "K470prop";
  std::string programDirectory_ = ".";
};

// The button Enter would press: the first button of the box.
int DefaultMessageBoxAnswer(unsigned flags);

}  // namespace k470
