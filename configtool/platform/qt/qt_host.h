// The host of the real program, on Qt's event loop.
//
// A posted message is a Qt event posted to a small QObject that stands for
// the target; Qt keeps posted events in posting order across receivers, so
// the order of the window-message model holds. Thread messages are events
// posted to one proxy object (QCoreApplication::postEvent is thread-safe):
// that is how the reader thread's WM_SERIAL_RECEIVED reaches the
// user-interface thread. Window timers are Qt timers on the target's
// object.
//
// Nested modal loops (QMessageBox::exec, QDialog::exec) deliver posted events
// and timers like the outer loop, so messages and timers keep arriving while
// a message box is open, as the program expects.
//
// Create it after the QApplication and on its thread; destroy it before.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "configtool/platform/host.h"

class QWidget;

namespace k470 {

class QtHost : public IHost {
 public:
  // arguments: the program's arguments including the program name (argv);
  // empty: taken from QCoreApplication.
  explicit QtHost(std::vector<std::string> arguments = {});
  ~QtHost() override;
  QtHost(const QtHost&) = delete;
  QtHost& operator=(const QtHost&) = delete;

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
  uint64_t NowMs() const override;
  void Sleep(uint32_t ms) override;
  int MessageBox(TargetId owner, const std::string& text, const std::string& caption, unsigned flags) override;
  void Beep(unsigned type) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  void RestoreWaitCursor() override;
  int WaitCursorCount() const override { return waitCursorCount_; }
  void RefreshCursor() override;
  bool SetClipboardText(const std::string& text) override;
  int OpenDocument(const std::string& path) override;
  [[noreturn]] void Exit(int code) override;
  std::string CommandLine() const override;
  std::string ProgramName() const override;
  std::string ProgramDirectory() const override;

  // The widget of a target's window (see IQtWindowTarget), or null.
  QWidget* WidgetOf(TargetId id) const;
  // Called with every message box before it runs (tests answer it from
  // here, e.g. with a single-shot timer that clicks a button).
  void SetMessageBoxObserver(std::function<void(QWidget* box)> observer) { boxObserver_ = std::move(observer); }

 private:
  class TargetObject;
  class ThreadObject;
  friend class TargetObject;
  friend class ThreadObject;

  struct Timer {
    int qtTimerId = 0;
    TimerProc proc;
  };
  using TimerKey = std::pair<TargetId, uint32_t>;

  void OnQtTimer(TargetId target, int qtTimerId);
  void OnThreadMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // Shows or takes away the override cursor to match the count; the arrow
  // while a message box is open.
  void ApplyWaitCursor();

  std::vector<std::string> arguments_;
  QElapsedTimer clock_;
  std::map<TargetId, TargetObject*> targets_;
  TargetId nextTarget_ = 1;
  std::map<TimerKey, Timer> timers_;
  std::unique_ptr<ThreadObject> threadObject_;
  ThreadMessageHandler threadHandler_;
  std::function<void(QWidget*)> boxObserver_;
  int waitCursorCount_ = 0;
  // Our override cursor is set (the wait cursor, or the arrow over a box).
  bool waitCursorShown_ = false;
  // Message boxes running (nested boxes count each).
  int openBoxes_ = 0;
};

}  // namespace k470
