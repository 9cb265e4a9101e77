// The host: our stand-in for the window system the program was designed
// against. It knows message targets ("windows"), delivers posted messages in
// order, runs window timers, sleeps without dispatching, and offers the few
// user-interface services the core needs.
//
// Two implementations exist: the Qt host (the real program) and the virtual
// host (tests: deterministic queue, virtual clock, scripted message boxes).
//
// Threading contract: everything here is called on the user-interface thread,
// except PostThreadMessage, which any thread may call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace k470 {

// Handle of a message target; 0 is "no window".
using TargetId = uint32_t;
constexpr TargetId kNoTarget = 0;

class IMessageTarget {
 public:
  // Handles one message; the return value is the message's result.
  virtual intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

 protected:
  ~IMessageTarget() = default;
};

// Receiver of thread messages (the application object).
using ThreadMessageHandler = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

// A timer procedure gets the timer's id. Without a procedure the timer posts
// WM_TIMER (wParam = id) to its target instead.
using TimerProc = std::function<void(uint32_t timerId)>;

class IHost {
 public:
  virtual ~IHost() = default;

  // ---- targets and messages ----
  // A target stays known until it is unregistered; its pending posts and
  // timers die with it.
  virtual TargetId RegisterTarget(IMessageTarget* target) = 0;
  virtual void UnregisterTarget(TargetId id) = 0;
  virtual bool IsTarget(TargetId id) const = 0;
  // Appends a message to the queue. A post to an unknown target is dropped
  // (returns false), as a post to a destroyed window is.
  virtual bool Post(TargetId target, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) = 0;
  // Calls the target's handler at once (returns 0 for an unknown target).
  virtual intptr_t Send(TargetId target, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) = 0;
  // Thread messages share the queue with posted window messages. Thread-safe.
  virtual void PostThreadMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) = 0;
  virtual void SetThreadMessageHandler(ThreadMessageHandler handler) = 0;

  // ---- time ----
  // Window timers repeat every periodMs until killed. Setting a timer that
  // already runs restarts it with the new period and procedure.
  virtual bool SetTimer(TargetId target, uint32_t timerId, uint32_t periodMs, TimerProc proc = {}) = 0;
  virtual bool KillTimer(TargetId target, uint32_t timerId) = 0;
  // Milliseconds on a monotonic clock.
  virtual uint64_t NowMs() const = 0;
  // Blocks the user-interface thread; nothing is dispatched meanwhile.
  virtual void Sleep(uint32_t ms) = 0;

  // ---- user-interface services ----
  // Modal box owned by owner; timers and posted messages keep being
  // dispatched while it is open. Returns IDOK, IDCANCEL, IDYES, ...
  virtual int MessageBox(TargetId owner, const std::string& text, const std::string& caption,
                         unsigned flags) = 0;
  virtual void Beep(unsigned type) = 0;
  // The application's wait-cursor count: Begin raises it and shows the wait
  // cursor, End lowers it (never below 0) and shows the arrow at 0, Restore
  // shows the wait cursor again if the count is above 0 (after a message box).
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
  virtual void RestoreWaitCursor() = 0;
  virtual int WaitCursorCount() const = 0;
  // Sets the mouse to where it is, so the cursor shape is looked at again now.
  virtual void RefreshCursor() = 0;
  virtual bool SetClipboardText(const std::string& text) = 0;
  // Opens a document with the desktop's handler. Returns a value above 32 on
  // success, else an error code in the style of the Windows shell.
  virtual int OpenDocument(const std::string& path) = 0;
  // Ends the process with the given exit code (after the exit hooks ran).
  virtual void Exit(int code) = 0;

  // ---- program ----
  // The command line after the program name, as one text: switches are
  // substring tests on it.
  virtual std::string CommandLine() const = 0;
  // The executable's base name ("K470prop").
  virtual std::string ProgramName() const = 0;
  // Directory of the running executable, without a trailing separator.
  virtual std::string ProgramDirectory() const = 0;
};

}  // namespace k470
