#include "configtool/platform/virtual_host.h"

#include <algorithm>
#include <chrono>

#include "configtool/platform/exit_hooks.h"
#include "configtool/platform/messages.h"

namespace k470 {

int DefaultMessageBoxAnswer(unsigned flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_YESNO:
      return IDYES;
    case MB_RETRYCANCEL:
      return IDRETRY;
    default:
      return IDOK;
  }
}

VirtualHost::VirtualHost(VirtualClock* clock) {
  if (clock == nullptr) {
    ownClock_ = std::make_unique<VirtualClock>();
    clock = ownClock_.get();
  }
  clock_ = clock;
}

VirtualHost::~VirtualHost() = default;

TargetId VirtualHost::RegisterTarget(IMessageTarget* target) {
  TargetId id = nextTarget_++;
  targets_[id] = target;
  return id;
}

void VirtualHost::UnregisterTarget(TargetId id) {
  targets_.erase(id);
  for (auto it = timers_.begin(); it != timers_.end();) {
    it = it->first.first == id ? timers_.erase(it) : std::next(it);
  }
  std::lock_guard guard(queueLock_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    it = it->target == id ? queue_.erase(it) : std::next(it);
  }
}

bool VirtualHost::IsTarget(TargetId id) const { return targets_.count(id) != 0; }

bool VirtualHost::Post(TargetId target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!IsTarget(target)) return false;
  {
    std::lock_guard guard(queueLock_);
    queue_.push_back({target, message, wParam, lParam});
  }
  queueSignal_.notify_all();
  return true;
}

intptr_t VirtualHost::Send(TargetId target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto it = targets_.find(target);
  if (it == targets_.end()) return 0;
  return it->second->OnMessage(message, wParam, lParam);
}

void VirtualHost::PostThreadMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  {
    std::lock_guard guard(queueLock_);
    queue_.push_back({kNoTarget, message, wParam, lParam});
  }
  queueSignal_.notify_all();
}

void VirtualHost::SetThreadMessageHandler(ThreadMessageHandler handler) { threadHandler_ = std::move(handler); }

bool VirtualHost::SetTimer(TargetId target, uint32_t timerId, uint32_t periodMs, TimerProc proc) {
  if (!IsTarget(target)) return false;
  // As on Windows, a period below 10 ms counts as 10 ms.
  periodMs = std::max<uint32_t>(periodMs, 10);
  timers_[{target, timerId}] = Timer{periodMs, std::move(proc), clock_->Now() + periodMs, ++timerOrder_};
  return true;
}

bool VirtualHost::KillTimer(TargetId target, uint32_t timerId) { return timers_.erase({target, timerId}) != 0; }

bool VirtualHost::IsTimerRunning(TargetId target, uint32_t timerId) const {
  return timers_.count({target, timerId}) != 0;
}

std::optional<uint64_t> VirtualHost::TimerDue(TargetId target, uint32_t timerId) const {
  auto it = timers_.find({target, timerId});
  if (it == timers_.end()) return std::nullopt;
  return it->second.due;
}

void VirtualHost::Sleep(uint32_t ms) {
  sleeps_.push_back({clock_->Now(), ms});
  // The world goes on while the program sleeps; the program's queue waits.
  clock_->Advance(ms);
}

void VirtualHost::ScriptMessageBox(int answer, uint32_t openMs) { script_.push_back({answer, openMs}); }

void VirtualHost::SetMessageBoxHandler(std::function<int(const MessageBoxCall&)> handler) {
  boxHandler_ = std::move(handler);
}

int VirtualHost::MessageBox(TargetId owner, const std::string& text, const std::string& caption, unsigned flags) {
  MessageBoxCall call{owner, text, caption, flags, 0, clock_->Now(), false};
  size_t index = messageBoxes_.size();
  messageBoxes_.push_back(call);
  ++openBoxes_;
  int answer;
  if (!script_.empty()) {
    ScriptedAnswer scripted = script_.front();
    script_.pop_front();
    if (scripted.openMs > 0) RunFor(scripted.openMs);
    answer = scripted.answer;
    messageBoxes_[index].scripted = true;
  } else if (boxHandler_) {
    answer = boxHandler_(call);
    messageBoxes_[index].scripted = true;
  } else {
    answer = DefaultMessageBoxAnswer(flags);
  }
  --openBoxes_;
  messageBoxes_[index].answer = answer;
  return answer;
}

void VirtualHost::Beep(unsigned type) { beeps_.push_back(type); }

void VirtualHost::BeginWaitCursor() {
  ++waitCursorCount_;
  waitCursorLog_ += 'B';
}

void VirtualHost::EndWaitCursor() {
  if (waitCursorCount_ > 0) --waitCursorCount_;
  waitCursorLog_ += 'E';
}

void VirtualHost::RestoreWaitCursor() { waitCursorLog_ += 'R'; }

bool VirtualHost::SetClipboardText(const std::string& text) {
  clipboard_ = text;
  return true;
}

int VirtualHost::OpenDocument(const std::string& path) {
  openedDocuments_.push_back(path);
  return openDocumentResult_;
}

void VirtualHost::Exit(int code) {
  if (exited_) return;
  RunExitHooks();
  exited_ = true;
  exitCode_ = code;
}

bool VirtualHost::HasPendingMessages() const {
  std::lock_guard guard(queueLock_);
  return !queue_.empty();
}

void VirtualHost::DispatchMessage(const Posted& message) {
  if (message.target == kNoTarget) {
    if (threadHandler_) threadHandler_(message.message, message.wParam, message.lParam);
    return;
  }
  auto it = targets_.find(message.target);
  if (it != targets_.end()) it->second->OnMessage(message.message, message.wParam, message.lParam);
}

bool VirtualHost::DispatchOne() {
  if (exited_) return false;
  Posted message;
  {
    std::lock_guard guard(queueLock_);
    if (queue_.empty()) return false;
    message = queue_.front();
    queue_.pop_front();
  }
  DispatchMessage(message);
  return true;
}

bool VirtualHost::FireNextTimer(uint64_t until) {
  auto next = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (next == timers_.end() || it->second.due < next->second.due ||
        (it->second.due == next->second.due && it->second.order < next->second.order)) {
      next = it;
    }
  }
  if (next == timers_.end() || next->second.due > until) return false;
  TimerKey key = next->first;
  // World events up to the timer's time happen first.
  clock_->AdvanceTo(next->second.due);
  // A world event may have posted something: that goes before the timer.
  if (HasPendingMessages()) return true;
  auto it = timers_.find(key);
  if (it == timers_.end()) return true;
  it->second.due = clock_->Now() + it->second.period;
  it->second.order = ++timerOrder_;
  TimerProc proc = it->second.proc;
  if (proc) {
    proc(key.second);
  } else {
    Send(key.first, WM_TIMER, key.second, 0);
  }
  return true;
}

bool VirtualHost::Step(uint64_t until) {
  if (exited_) return false;
  if (DispatchOne()) return true;
  std::optional<uint64_t> world = clock_->NextDue();
  std::optional<uint64_t> timer;
  for (const auto& [key, t] : timers_) {
    if (!timer || t.due < *timer) timer = t.due;
  }
  if (world && *world <= until && (!timer || *world <= *timer)) {
    clock_->AdvanceTo(*world);
    return true;
  }
  return FireNextTimer(until);
}

void VirtualHost::RunPending() {
  while (Step(clock_->Now())) {
  }
}

void VirtualHost::RunFor(uint64_t ms) {
  uint64_t until = clock_->Now() + ms;
  while (Step(until)) {
  }
  if (!exited_) clock_->AdvanceTo(until);
}

bool VirtualHost::RunUntil(const std::function<bool()>& pred, uint64_t limitMs) {
  uint64_t until = clock_->Now() + limitMs;
  while (!pred()) {
    if (!Step(until)) {
      if (!exited_) clock_->AdvanceTo(until);
      return pred();
    }
  }
  return true;
}

bool VirtualHost::RunUntilReal(const std::function<bool()>& pred, uint32_t realMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  for (;;) {
    RunPending();
    if (pred()) return true;
    if (exited_) return false;
    std::unique_lock lock(queueLock_);
    if (!queueSignal_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) {
      lock.unlock();
      RunPending();
      return pred();
    }
  }
}

}  // namespace k470
