// The serial link in real time, on a pseudo-terminal whose master plays the
// adapter:
//
//   BM_ReceiveLatency  bytes written at the master until the listener's
//                      OnReceive ran: through the reader thread, the receive
//                      queue, the thread message and DeliverReceived on a
//                      consumer thread that stands in for the user-interface
//                      thread. Reports p50, p99 and the maximum.
//   BM_IdleReader      CPU time the reader thread spends while nothing
//                      arrives for one second, and how often it woke up.
//
// No real serial device is touched: the port list is the pseudo-terminal
// alone and the lock files go to a temporary directory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "configtool/platform/messages.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/posix_serial.h"

namespace k470 {
namespace {

using Clock = std::chrono::steady_clock;

// Just enough of a host for CComPort: a thread-message queue served by the
// thread that calls Run, and a Sleep that returns at once (the probe's
// delays are of no interest here).
class MiniHost : public IHost {
 public:
  TargetId RegisterTarget(IMessageTarget*) override { return 1; }
  void UnregisterTarget(TargetId) override {}
  bool IsTarget(TargetId) const override { return false; }
  bool Post(TargetId, uint32_t, uintptr_t, intptr_t) override { return false; }
  intptr_t Send(TargetId, uint32_t, uintptr_t, intptr_t) override { return 0; }
  void PostThreadMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    {
      std::lock_guard guard(mutex_);
      queue_.push_back({message, wParam, lParam});
    }
    signal_.notify_one();
  }
  void SetThreadMessageHandler(ThreadMessageHandler handler) override { handler_ = std::move(handler); }
  bool SetTimer(TargetId, uint32_t, uint32_t, TimerProc) override { return false; }
  bool KillTimer(TargetId, uint32_t) override { return false; }
  uint64_t NowMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  }
  void Sleep(uint32_t) override {}
  int MessageBox(TargetId, const std::string&, const std::string&, unsigned) override { return 1; }
  void Beep(unsigned) override {}
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  void RestoreWaitCursor() override {}
  int WaitCursorCount() const override { return 0; }
  void RefreshCursor() override {}
  bool SetClipboardText(const std::string&) override { return false; }
  int OpenDocument(const std::string&) override { return 0; }
  void Exit(int) override {}
  std::string CommandLine() const override { return {}; }
  std::string ProgramName() const override { return "bench"; }
  std::string ProgramDirectory() const override { return "."; }

  // Dispatches thread messages until Quit.
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      signal_.wait(lock, [this] { return quit_ || !queue_.empty(); });
      if (quit_) return;
      Message message = queue_.front();
      queue_.pop_front();
      lock.unlock();
      if (handler_) handler_(message.message, message.wParam, message.lParam);
      lock.lock();
    }
  }
  void Quit() {
    {
      std::lock_guard guard(mutex_);
      quit_ = true;
    }
    signal_.notify_one();
  }

 private:
  struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };
  std::mutex mutex_;
  std::condition_variable signal_;
  std::deque<Message> queue_;
  ThreadMessageHandler handler_;
  bool quit_ = false;
};

struct PtyPair {
  int master = -1;
  std::string slave;
  PtyPair() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 && ::ptsname_r(master, name, sizeof name) == 0) {
      slave = name;
    }
  }
  ~PtyPair() {
    if (master >= 0) ::close(master);
  }
};

struct TempLockDir {
  std::string path;
  TempLockDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "k470-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~TempLockDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

PosixSerialOptions OptionsFor(const std::string& slave, const std::string& lockDir) {
  PosixSerialOptions options;
  options.lockDir = lockDir;
  options.env = [slave](const char* name) -> std::optional<std::string> {
    if (std::string(name) == "K470_PORTS") return slave;
    return std::nullopt;
  };
  options.extraPorts = [] { return std::string(); };
  return options;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// The listener on the consumer thread: when the expected count has arrived,
// it stamps the time and wakes the benchmark thread. The stamp is taken
// here, so how fast the benchmark thread wakes does not count.
class StampingListener : public IPortListener {
 public:
  void OnReceive(const uint8_t*, uint32_t count) override {
    {
      std::lock_guard guard(mutex_);
      received_ += count;
      if (received_ >= expected_) arrivedAt_ = Clock::now();
    }
    signal_.notify_all();
  }
  void OnPortOpened() override {}
  void OnPortClosed() override {}

  void Expect(uint64_t total) {
    std::lock_guard guard(mutex_);
    expected_ = total;
  }
  // Waits until the expected bytes arrived; false on time-out.
  bool WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return signal_.wait_for(lock, limit, [this] { return received_ >= expected_; });
  }
  Clock::time_point ArrivedAt() {
    std::lock_guard guard(mutex_);
    return arrivedAt_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable signal_;
  uint64_t received_ = 0;
  uint64_t expected_ = 0;
  Clock::time_point arrivedAt_;
};

void BM_ReceiveLatency(benchmark::State& state) {
  const size_t replyLength = static_cast<size_t>(state.range(0));
  PtyPair pty;
  TempLockDir locks;
  if (pty.slave.empty() || locks.path.empty()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  PosixSerialSystem system(OptionsFor(pty.slave, locks.path));
  MiniHost host;
  StampingListener listener;
  std::atomic<int> opened{0};  // 0 pending, 1 open, -1 failed

  // The consumer thread constructs, opens, serves and closes the port, as
  // the user-interface thread does in the program.
  std::thread ui([&] {
    CComPort port(host, system);
    port.SetListener(&listener);
    host.SetThreadMessageHandler([&](uint32_t message, uintptr_t, intptr_t) {
      if (message == WM_SERIAL_RECEIVED) port.DeliverReceived();
    });
    opened = port.Open(pty.slave) ? 1 : -1;
    opened.notify_all();
    if (opened == 1) host.Run();
    port.Close(true);
  });
  opened.wait(0);
  if (opened != 1) {
    ui.join();
    state.SkipWithError("could not open the pseudo-terminal");
    return;
  }

  const std::string reply = std::string(replyLength > 2 ? replyLength - 2 : 0, 'K') + "\r\n";
  std::vector<double> latencies;
  uint64_t total = 0;
  for (auto _ : state) {
    total += reply.size();
    listener.Expect(total);
    auto sentAt = Clock::now();
    if (::write(pty.master, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) {
      state.SkipWithError("write at the master failed");
      break;
    }
    if (!listener.WaitFor(std::chrono::milliseconds(2000))) {
      state.SkipWithError("bytes did not arrive");
      break;
    }
    double seconds = std::chrono::duration<double>(listener.ArrivedAt() - sentAt).count();
    state.SetIterationTime(seconds);
    latencies.push_back(seconds * 1e6);
  }
  host.Quit();
  ui.join();
  state.counters["p50_us"] = Percentile(latencies, 0.50);
  state.counters["p99_us"] = Percentile(latencies, 0.99);
  state.counters["max_us"] = Percentile(latencies, 1.0);
  state.SetBytesProcessed(static_cast<int64_t>(total));
}
BENCHMARK(BM_ReceiveLatency)->Arg(1)->Arg(4)->Arg(80)->Arg(200)->UseManualTime()->Unit(benchmark::kMicrosecond);

// CPU time of one thread of this process, in seconds.
double ThreadCpuSeconds(pid_t tid) {
  // The kernel's per-thread CPU clock (MAKE_THREAD_CPUCLOCK(tid, CPUCLOCK_SCHED)).
  clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
  timespec ts{};
  if (::clock_gettime(clock, &ts) == 0) return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  // Fallback: user + system ticks from /proc.
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = content.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(content.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) {
      stime = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

class NullSink : public IReceiveSink {
 public:
  void OnReceived(const uint8_t*, size_t) override {}
};

void BM_IdleReader(benchmark::State& state) {
  PtyPair pty;
  TempLockDir locks;
  PosixSerialSystem system(OptionsFor(pty.slave, locks.path));
  OpenFailure failure;
  auto line = pty.slave.empty() ? nullptr : system.Open(pty.slave, failure);
  auto* posix = dynamic_cast<PosixSerialLine*>(line.get());
  if (posix == nullptr || !line->Configure()) {
    state.SkipWithError("could not open the pseudo-terminal");
    return;
  }
  NullSink sink;
  line->StartReader(&sink);
  while (posix->ReaderThreadId() == 0) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  double cpuBefore = 0, cpuAfter = 0;
  uint64_t wakeupsBefore = 0, wakeupsAfter = 0;
  for (auto _ : state) {
    cpuBefore = ThreadCpuSeconds(posix->ReaderThreadId());
    wakeupsBefore = posix->ReaderWakeups();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    cpuAfter = ThreadCpuSeconds(posix->ReaderThreadId());
    wakeupsAfter = posix->ReaderWakeups();
  }
  // The thread's whole CPU time so far (start-up, the first poll): shows
  // that the clock is read at all, since the idle figure is expected to be 0.
  state.counters["reader_cpu_total_us"] = ThreadCpuSeconds(posix->ReaderThreadId()) * 1e6;
  line->PauseReader();
  line->Close();
  state.counters["reader_cpu_us_per_s"] = (cpuAfter - cpuBefore) * 1e6;
  state.counters["reader_wakeups_per_s"] = static_cast<double>(wakeupsAfter - wakeupsBefore);
}
BENCHMARK(BM_IdleReader)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace k470

BENCHMARK_MAIN();
