// Start-up time and memory of K470prop, measured from outside: the program
// is spawned with K470_EXIT_WHEN_SHOWN=1, which ends it right after its main
// window was first painted, on the offscreen platform and with no port to
// probe (K470_PORTS empty, or naming a device that does not exist). The
// wall time runs from just before the spawn to the child's exit; the
// resident memory is the child's peak (ru_maxrss).
//
// Targets: under 300 ms and under 60 MB.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Run {
  double seconds = 0;
  long maxRssKb = 0;
  int status = -1;
};

std::string RuntimeDir() {
  static std::string dir = [] {
    char pattern[] = "/tmp/k470-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made != nullptr ? made : "/tmp");
  }();
  return dir;
}

Run SpawnOnce(const std::string& ports) {
  auto replaced = [](const std::string& entry) {
    for (const char* name : {"QT_QPA_PLATFORM=", "K470_PORTS=", "K470_EXIT_WHEN_SHOWN=", "K470_SETTINGS=",
                             "XDG_RUNTIME_DIR="}) {
      if (entry.rfind(name, 0) == 0) return true;
    }
    return false;
  };
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!replaced(*e)) env.emplace_back(*e);
  }
  env.push_back("QT_QPA_PLATFORM=offscreen");
  env.push_back("K470_PORTS=" + ports);
  env.push_back("K470_EXIT_WHEN_SHOWN=1");
  env.push_back("K470_SETTINGS=/nonexistent/k470-bench/Lumora.reg");
  env.push_back("XDG_RUNTIME_DIR=" + RuntimeDir());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  char program[] = K470PROP_PATH;
  char* argv[] = {program, nullptr};

  Run run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program, nullptr, nullptr, argv, envp.data()) != 0) return run;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.maxRssKb = usage.ru_maxrss;
  run.status = status;
  return run;
}

void Startup(benchmark::State& state, const std::string& ports) {
  long maxRssKb = 0;
  double worst = 0;
  for (auto _ : state) {
    Run run = SpawnOnce(ports);
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
      state.SkipWithError("K470prop did not end with exit code 0");
      return;
    }
    state.SetIterationTime(run.seconds);
    maxRssKb = std::max(maxRssKb, run.maxRssKb);
    worst = std::max(worst, run.seconds);
  }
  state.counters["max_rss_MB"] = static_cast<double>(maxRssKb) / 1024.0;
  state.counters["worst_ms"] = worst * 1000.0;
}

void BM_StartupNoPorts(benchmark::State& state) { Startup(state, ""); }
void BM_StartupMissingPort(benchmark::State& state) { Startup(state, "/dev/k470-bench-missing"); }

BENCHMARK(BM_StartupNoPorts)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StartupMissingPort)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
