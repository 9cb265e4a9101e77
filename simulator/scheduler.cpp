#include "simulator/scheduler.h"

#include <chrono>
#include <memory>

namespace k470::sim {
namespace {

uint64_t SteadyNs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

RealTimeScheduler::RealTimeScheduler() : startNs_(SteadyNs()) {}

uint64_t RealTimeScheduler::Now() const { return (SteadyNs() - startNs_) / 1000000u; }

IScheduler::Handle RealTimeScheduler::Schedule(uint64_t delayMs, Task task) {
  auto key = std::make_pair(Now() + delayMs, ++sequence_);
  tasks_.emplace(key, std::move(task));
  handles_.emplace(sequence_, key);
  return sequence_;
}

bool RealTimeScheduler::Cancel(Handle handle) {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  tasks_.erase(it->second);
  handles_.erase(it);
  return true;
}

void RealTimeScheduler::RunDue() {
  uint64_t now = Now();
  while (!tasks_.empty() && tasks_.begin()->first.first <= now) {
    auto node = tasks_.extract(tasks_.begin());
    handles_.erase(node.key().second);
    node.mapped()();
  }
}

std::optional<uint64_t> RealTimeScheduler::MsUntilNext() const {
  if (tasks_.empty()) return std::nullopt;
  uint64_t due = tasks_.begin()->first.first;
  uint64_t now = Now();
  return due <= now ? 0 : due - now;
}

IScheduler::Handle TaskGroup::Schedule(uint64_t delayMs, IScheduler::Task task) {
  // The task learns its own handle only after Schedule returns; it cannot
  // run before that, as no scheduler runs a task from inside Schedule.
  auto self = std::make_shared<IScheduler::Handle>(0);
  IScheduler::Handle handle = scheduler_.Schedule(delayMs, [this, self, task = std::move(task)]() {
    pending_.erase(*self);
    task();
  });
  *self = handle;
  pending_.insert(handle);
  return handle;
}

bool TaskGroup::Cancel(IScheduler::Handle& handle) {
  if (handle == 0) return false;
  bool cancelled = pending_.erase(handle) != 0 && scheduler_.Cancel(handle);
  handle = 0;
  return cancelled;
}

void TaskGroup::CancelAll() {
  for (IScheduler::Handle handle : pending_) scheduler_.Cancel(handle);
  pending_.clear();
}

}  // namespace k470::sim
