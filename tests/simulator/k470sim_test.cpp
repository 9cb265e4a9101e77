// k470sim as a program: started as a child process, talked to over its
// pseudo-terminal in real time. Few and focused; the behaviour itself is
// tested in-process on the virtual clock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

#ifdef K470SIM_PATH
const char* kSimulator = K470SIM_PATH;
#else
const char* kSimulator = "k470sim";
#endif

using Clock = std::chrono::steady_clock;

std::string TempPath(const std::string& name) {
  const char* dir = getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/k470sim_test_" + std::to_string(getpid()) + "_" + name;
}

class Simulator {
 public:
  explicit Simulator(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    args.insert(args.begin(), kSimulator);
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, kSimulator, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
  }
  ~Simulator() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }

  // The first line of the standard output, or empty after limitMs.
  std::string FirstLine(int limitMs = 5000) {
    std::string line;
    auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (Clock::now() < end) {
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char c;
      if (read(stdout_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return "";
  }

  // Sends the signal and waits for the exit; the exit status, or -1.
  int Stop(int signal = SIGTERM) {
    kill(pid_, signal);
    int status = 0;
    auto end = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < end) {
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(10000);
    }
    return -1;
  }
  // Waits for the exit of a program that ends by itself.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
};

// The program's end of the terminal: raw, as the configuration program sets it.
class Terminal {
 public:
  // purge: as the program does after opening and before closing.
  explicit Terminal(const std::string& path, bool purge = false) : purge_(purge) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    if (purge_) tcflush(fd_, TCIOFLUSH);
  }
  ~Terminal() {
    if (fd_ < 0) return;
    if (purge_) tcflush(fd_, TCIOFLUSH);
    close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  void Write(const std::string& bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  // Collects bytes until done(bytes so far) or limitMs have passed.
  template <typename Done>
  std::string ReadWhile(Done done, int limitMs) {
    std::string got;
    auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (Clock::now() < end && !done(got)) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      char buffer[256];
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }
  // Everything that arrives within limitMs.
  std::string ReadFor(int limitMs) {
    return ReadWhile([](const std::string&) { return false; }, limitMs);
  }
  // Writes the line and reads until the echo and, behind it, until.
  std::string Ask(const std::string& line, const std::string& until, int limitMs = 3000) {
    Write(line);
    return ReadWhile(
        [&](const std::string& got) {
          size_t echo = got.find(line);
          return echo != std::string::npos && got.find(until, echo + line.size()) != std::string::npos;
        },
        limitMs);
  }

 private:
  int fd_ = -1;
  bool purge_ = false;
};

bool Exists(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

TEST(K470simTest, ServesATerminalLinksItAndEndsCleanly) {
  std::string link = TempPath("link");
  Simulator sim({"--link", link});
  std::string path = sim.FirstLine();
  ASSERT_FALSE(path.empty());
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(path, target);
  {
    Terminal terminal(link);
    ASSERT_TRUE(terminal.IsOpen());
    EXPECT_EQ(terminal.Ask("AT^GETPRE\r", "OK\r\n"), "AT^GETPRE\r\r\n+KDV24\r\n\r\nOK\r\n");
    EXPECT_EQ(terminal.Ask("AT+KDV24#T\r", "OK\r\n"), "AT+KDV24#T\r\r\n1\r\n\r\nOK\r\n");
    EXPECT_EQ(terminal.Ask("AT+KDV24I4,0\r", "OK\r\n"), "AT+KDV24I4,0\r\r\nLokal\r\n\r\nOK\r\n");
  }
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  EXPECT_FALSE(Exists(link));
}

TEST(K470simTest, ALinkTakenOverBySecondSimulatorIsLeftToIt) {
  std::string link = TempPath("shared_link");
  Simulator first({"--link", link});
  ASSERT_FALSE(first.FirstLine().empty());
  Simulator second({"--link", link});
  std::string secondPath = second.FirstLine();
  ASSERT_FALSE(secondPath.empty());
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  ASSERT_EQ(secondPath, target);

  // The first one ends: the link is no longer its own.
  EXPECT_EQ(first.Stop(), 0);
  char after[256] = {};
  EXPECT_GT(readlink(link.c_str(), after, sizeof after - 1), 0);
  EXPECT_EQ(secondPath, after);
  EXPECT_EQ(second.Stop(), 0);
  EXPECT_FALSE(Exists(link));
}

TEST(K470simTest, DefaultWorldHasAPartnerThatLinksUp) {
  Simulator sim({"--set", "timing link-up 100"});
  std::string path = sim.FirstLine();
  ASSERT_FALSE(path.empty());
  Terminal terminal(path);
  // Until the link is up "#C" answers 0; keep asking like the status poll.
  std::string answer;
  for (int i = 0; i < 50 && answer.find("\r\n1\r\n") == std::string::npos; ++i) {
    answer = terminal.Ask("AT+KDV24#C\r", "OK\r\n");
    usleep(20000);
  }
  EXPECT_EQ(answer, "AT+KDV24#C\r\r\n1\r\n\r\nOK\r\n");
  EXPECT_EQ(terminal.Ask("AT+KDV24I4,1\r", "OK\r\n"), "AT+KDV24I4,1\r\r\nBasis\r\n\r\nOK\r\n");
  EXPECT_EQ(sim.Stop(SIGINT), 0);
}

TEST(K470simTest, AfterLeavingTheConfigurationStateOnlyAReopenedTerminalIsAnswered) {
  Simulator sim({});
  std::string path = sim.FirstLine();
  ASSERT_FALSE(path.empty());
  {
    Terminal terminal(path);
    EXPECT_EQ(terminal.Ask("AT+KDV24O\r", "OK\r\n"), "AT+KDV24O\r\r\nOK\r\n");
    terminal.Write("AT+KDV24#T\r");
    EXPECT_EQ(terminal.ReadFor(300), "");
  }
  // Closed and opened again, as the program does: the probe.
  usleep(50000);
  Terminal again(path);
  EXPECT_EQ(again.Ask("AT+KDV24#T\r", "OK\r\n"), "AT+KDV24#T\r\r\n1\r\n\r\nOK\r\n");
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(K470simTest, AQuickCloseAndReopenIsStillAProbeWhenThePortIsPurged) {
  Simulator sim({});
  std::string path = sim.FirstLine();
  ASSERT_FALSE(path.empty());
  for (int round = 0; round < 5; ++round) {
    // No pause between closing and opening: the hang-up may pass unseen,
    // the purge of the freshly opened port is not.
    Terminal terminal(path, /*purge=*/true);
    EXPECT_EQ(terminal.Ask("AT+KDV24#T\r", "OK\r\n"), "AT+KDV24#T\r\r\n1\r\n\r\nOK\r\n") << round;
    EXPECT_EQ(terminal.Ask("AT+KDV24O\r", "OK\r\n"), "AT+KDV24O\r\r\nOK\r\n") << round;
  }
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(K470simTest, ControlFifoSwitchesFaultsWhileRunningAndTheLogRecordsTheConversation) {
  std::string control = TempPath("control");
  std::string logPath = TempPath("log");
  std::string scenario = TempPath("scenario");
  std::ofstream(scenario) << "station Nah type=base name=\"Zentrale\"  # the adapter on the port\n"
                             "fault only #C\n";
  Simulator sim({"--scenario", scenario, "--control", control, "--log", logPath});
  std::string path = sim.FirstLine();
  ASSERT_FALSE(path.empty());
  Terminal terminal(path);
  EXPECT_EQ(terminal.Ask("AT+KDV24I4,0\r", "OK\r\n"), "AT+KDV24I4,0\r\r\nZentrale\r\n\r\nOK\r\n");
  {
    std::ofstream fifo(control);
    fifo << "fault reply off\n";
  }
  usleep(100000);
  terminal.Write("AT+KDV24#C\r");
  EXPECT_EQ(terminal.ReadFor(300), "AT+KDV24#C\r");
  EXPECT_EQ(terminal.Ask("AT+KDV24#T\r", "OK\r\n"), "AT+KDV24#T\r\r\n0\r\n\r\nOK\r\n");
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(Exists(control));
  std::ifstream in(logPath);
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(log.find("> AT+KDV24I4,0<CR>"), std::string::npos) << log;
  EXPECT_NE(log.find("< AT+KDV24I4,0<CR><CR><LF>Zentrale<CR><LF><CR><LF>OK<CR><LF>"), std::string::npos) << log;
  EXPECT_NE(log.find("! fault reply off"), std::string::npos) << log;
  unlink(scenario.c_str());
  unlink(logPath.c_str());
}

TEST(K470simTest, HelpAndBadInvocations) {
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0},
      {{"--bogus"}, 2},
      {{"--scenario"}, 2},
      {{"--scenario", "/nonexistent/scenario"}, 2},
      {{"--set", "station X slots=99"}, 2},
  };
  for (const auto& c : cases) {
    Simulator sim(c.args);
    EXPECT_EQ(sim.Wait(), c.status) << c.args[0];
  }
}

}  // namespace
