// A clock that moves only when told to. It also runs the "world": events of
// whatever lives outside the program (the simulated adapter, the wire), which
// happen at their time even while the program sleeps and dispatches nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace k470 {

class VirtualClock {
 public:
  using Task = std::function<void()>;
  using Handle = uint64_t;

  uint64_t Now() const { return now_; }

  // Runs task at Now() + delayMs. Events due at the same time run in the
  // order they were scheduled. Never returns 0.
  Handle Schedule(uint64_t delayMs, Task task);
  Handle ScheduleAt(uint64_t atMs, Task task);
  // Forgets a scheduled event; false if it already ran or never existed.
  bool Cancel(Handle handle);
  bool IsScheduled(Handle handle) const;

  // Runs every world event due up to atMs, in time order, each with Now() at
  // its own time; leaves Now() at atMs (never moves backwards).
  void AdvanceTo(uint64_t atMs);
  void Advance(uint64_t ms) { AdvanceTo(now_ + ms); }
  // Time of the next world event, if any.
  std::optional<uint64_t> NextDue() const;
  // Runs the events due now (used when the host dispatches at the current time).
  void RunDue() { AdvanceTo(now_); }

 private:
  // Key: (time, sequence number) gives time order, then scheduling order.
  std::map<std::pair<uint64_t, uint64_t>, Task> events_;
  std::map<Handle, std::pair<uint64_t, uint64_t>> handles_;
  uint64_t now_ = 0;
  uint64_t sequence_ = 0;
};

}  // namespace k470
