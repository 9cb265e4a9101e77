// Time for the adapter model. Every delayed action of the simulator (an echo,
// a reply, a radio procedure, a restart, a paced byte) is a task on an
// IScheduler, never a sleep, so the same model runs
//   - in-process on the virtual clock (ClockScheduler: a task is a world
//     event of the VirtualClock and runs while the host advances time, even
//     while the program sleeps), and
//   - in k470sim in real time (RealTimeScheduler, driven by a poll loop).
// Times are milliseconds. Tasks due at the same time run in the order they
// were scheduled.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "configtool/platform/virtual_clock.h"

namespace k470::sim {

class IScheduler {
 public:
  using Task = std::function<void()>;
  using Handle = uint64_t;  // 0 is never a valid handle

  virtual ~IScheduler() = default;
  virtual uint64_t Now() const = 0;
  virtual Handle Schedule(uint64_t delayMs, Task task) = 0;
  // False if the task already ran or was cancelled.
  virtual bool Cancel(Handle handle) = 0;
};

// The virtual clock's world events.
class ClockScheduler : public IScheduler {
 public:
  explicit ClockScheduler(VirtualClock& clock) : clock_(clock) {}
  uint64_t Now() const override { return clock_.Now(); }
  Handle Schedule(uint64_t delayMs, Task task) override { return clock_.Schedule(delayMs, std::move(task)); }
  bool Cancel(Handle handle) override { return clock_.Cancel(handle); }
  VirtualClock& Clock() { return clock_; }

 private:
  VirtualClock& clock_;
};

// Real time from a monotonic clock, counted from construction. Nothing runs
// by itself: the owner's loop calls RunDue and waits at most MsUntilNext.
class RealTimeScheduler : public IScheduler {
 public:
  RealTimeScheduler();
  uint64_t Now() const override;
  Handle Schedule(uint64_t delayMs, Task task) override;
  bool Cancel(Handle handle) override;

  // Runs every task due by now, including tasks they schedule for now.
  void RunDue();
  // Milliseconds until the next task is due (0 if one is due), none if idle.
  std::optional<uint64_t> MsUntilNext() const;

 private:
  uint64_t startNs_;
  std::map<std::pair<uint64_t, uint64_t>, Task> tasks_;
  std::map<Handle, std::pair<uint64_t, uint64_t>> handles_;
  uint64_t sequence_ = 0;
};

// The tasks of one object. Whatever an object schedules through its group is
// cancelled when the group is destroyed, so a task never runs on an object
// that is gone (a test may drop an adapter while its reply is still due).
class TaskGroup {
 public:
  explicit TaskGroup(IScheduler& scheduler) : scheduler_(scheduler) {}
  ~TaskGroup() { CancelAll(); }
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;

  IScheduler& Scheduler() const { return scheduler_; }
  uint64_t Now() const { return scheduler_.Now(); }
  IScheduler::Handle Schedule(uint64_t delayMs, IScheduler::Task task);
  bool Cancel(IScheduler::Handle& handle);  // sets handle to 0
  bool IsPending(IScheduler::Handle handle) const { return handle != 0 && pending_.count(handle) != 0; }
  void CancelAll();

 private:
  IScheduler& scheduler_;
  std::set<IScheduler::Handle> pending_;
};

}  // namespace k470::sim
