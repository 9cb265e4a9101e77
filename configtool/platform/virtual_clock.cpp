#include "configtool/platform/virtual_clock.h"

namespace k470 {

VirtualClock::Handle VirtualClock::Schedule(uint64_t delayMs, Task task) {
  return ScheduleAt(now_ + delayMs, std::move(task));
}

VirtualClock::Handle VirtualClock::ScheduleAt(uint64_t atMs, Task task) {
  if (atMs < now_) atMs = now_;
  auto key = std::make_pair(atMs, ++sequence_);
  events_.emplace(key, std::move(task));
  handles_.emplace(key.second, key);
  return key.second;
}

bool VirtualClock::Cancel(Handle handle) {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  events_.erase(it->second);
  handles_.erase(it);
  return true;
}

bool VirtualClock::IsScheduled(Handle handle) const { return handles_.count(handle) != 0; }

void VirtualClock::AdvanceTo(uint64_t atMs) {
  while (!events_.empty() && events_.begin()->first.first <= atMs) {
    auto node = events_.extract(events_.begin());
    handles_.erase(node.key().second);
    if (node.key().first > now_) now_ = node.key().first;
    // The task may schedule or cancel further events.
    node.mapped()();
  }
  if (atMs > now_) now_ = atMs;
}

std::optional<uint64_t> VirtualClock::NextDue() const {
  if (events_.empty()) return std::nullopt;
  return events_.begin()->first.first;
}

}  // namespace k470
