// Speed of the simulator.
//   - ReplyLatencyPty: k470sim on a pseudo-terminal, unpaced: time from
//     writing a command's CR to having read the whole answer (echo, information,
//     result word). Reported: p50, p99 and max in microseconds; the target is
//     p99 below 1000 us.
//   - PacedRatePty: k470sim with --pace, a burst of commands whose echoes and
//     answers keep the wire busy: characters per second from the first to the
//     last character received, and the deviation from 1920 in percent
//     (target: within 1 %).
//   - InProcessDetection: the detection sequence against the in-process
//     adapter on the virtual clock, as the protocol tests run it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "configtool/platform/virtual_clock.h"
#include "configtool/serial/virtual_port.h"
#include "simulator/simulated_adapter.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// k470sim as a child process with its terminal opened raw.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), K470SIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, K470SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string path;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') path += c;
    close(out[0]);
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    usleep(50000);  // the simulator notices the opened terminal
  }
  ~Child() {
    if (fd_ >= 0) close(fd_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Ok() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // Reads until the text ends with tail (or 2 s pass); returns what was read.
  std::string ReadUntilTail(const std::string& tail, size_t minSize = 0) {
    std::string got;
    auto end = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < end) {
      if (got.size() >= std::max(minSize, tail.size()) && got.compare(got.size() - tail.size(), tail.size(), tail) == 0)
        break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[4096];
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1;
  return values[std::min(index, values.size() - 1)];
}

void ReplyLatencyPty(benchmark::State& state) {
  Child sim({});
  if (!sim.Ok()) {
    state.SkipWithError("k470sim did not start");
    return;
  }
  const std::string line = "AT+KDV24#C\r";
  const std::string expected = "AT+KDV24#C\r\r\n0\r\n\r\nOK\r\n";
  std::vector<double> latencies;
  for (auto _ : state) {
    auto start = Clock::now();
    if (write(sim.Fd(), line.data(), line.size()) != ssize_t(line.size())) {
      state.SkipWithError("write failed");
      return;
    }
    std::string got = sim.ReadUntilTail("OK\r\n", expected.size());
    double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (got != expected) {
      state.SkipWithError("unexpected answer");
      return;
    }
    latencies.push_back(us);
    state.SetIterationTime(us / 1e6);
  }
  state.counters["p50_us"] = Percentile(latencies, 0.50);
  state.counters["p99_us"] = Percentile(latencies, 0.99);
  state.counters["max_us"] = Percentile(latencies, 1.0);
}
BENCHMARK(ReplyLatencyPty)->UseManualTime()->Iterations(5000)->Unit(benchmark::kMicrosecond);

void PacedRatePty(benchmark::State& state) {
  Child sim({"--pace"});
  if (!sim.Ok()) {
    state.SkipWithError("k470sim did not start");
    return;
  }
  // 40 registration-list queries: 12 characters in, about 60 out each, so
  // the adapter's side of the wire never waits for the program's.
  std::string burst;
  for (int i = 0; i < 40; ++i) burst += "AT+KDV24#R0\r";
  double rate = 0;
  for (auto _ : state) {
    if (write(sim.Fd(), burst.data(), burst.size()) != ssize_t(burst.size())) {
      state.SkipWithError("write failed");
      return;
    }
    // Times of the first and the last character received.
    size_t total = 0;
    Clock::time_point first{}, last{};
    std::string tail;
    auto end = Clock::now() + std::chrono::seconds(10);
    int oks = 0;
    while (oks < 40 && Clock::now() < end) {
      pollfd p{sim.Fd(), POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[4096];
      ssize_t n = read(sim.Fd(), buffer, sizeof buffer);
      if (n <= 0) continue;
      auto now = Clock::now();
      if (total == 0) first = now;
      last = now;
      total += static_cast<size_t>(n);
      tail.append(buffer, static_cast<size_t>(n));
      size_t at;
      while ((at = tail.find("OK\r\n")) != std::string::npos) {
        ++oks;
        tail.erase(0, at + 4);
      }
    }
    double seconds = std::chrono::duration<double>(last - first).count();
    // The first read holds at least one character that took its own time.
    rate = seconds > 0 ? static_cast<double>(total - 1) / seconds : 0;
    state.SetIterationTime(seconds);
  }
  state.counters["chars_per_s"] = rate;
  state.counters["deviation_pct"] = (rate - 1920.0) / 1920.0 * 100.0;
}
BENCHMARK(PacedRatePty)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void InProcessDetection(benchmark::State& state) {
  const std::vector<std::string> detection = {
      "AT^GETPRE\r",   "AT+KDV24C\r",    "AT+KDV24#R0\r",  "AT+KDV24#T\r", "AT+KDV24I2,0\r",
      "AT+KDV24I4,0\r", "AT+KDV24&V\r",  "AT+KDV24#P0\r",  "AT+KDV24I1,0\r", "AT+KDV24I6,0\r",
      "AT+KDV24#C\r",  "AT+KDV24#R0\r", "AT+KDV24#W0\r"};
  for (auto _ : state) {
    k470::VirtualClock clock;
    k470::VirtualSerialSystem ports(&clock);
    k470::VirtualPort& com1 = ports.AddPort("COM1");
    k470::sim::Simulation simulation(clock);
    simulation.GetWorld().AddStation({.id = "Lokal", .type = k470::sim::StationType::Handset});
    simulation.GetWorld().AddStation({.id = "Basis"});
    simulation.GetWorld().Register("Lokal", "Basis");
    simulation.Attach(com1, "Lokal");
    k470::OpenFailure failure;
    auto line = ports.Open("COM1", failure);
    line->SetDtr(true);
    for (const auto& command : detection) {
      line->Write(reinterpret_cast<const uint8_t*>(command.data()), command.size());
      clock.Advance(1);
    }
    benchmark::DoNotOptimize(com1.PendingToHost());
  }
}
BENCHMARK(InProcessDetection)->Unit(benchmark::kMicrosecond);

}  // namespace
