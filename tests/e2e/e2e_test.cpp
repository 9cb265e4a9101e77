// The real program against the simulator on a pseudo-terminal: K470prop
// finds the adapter by itself, reads it and shows its operating mode (its
// snapshot says so), and a termination signal ends it cleanly - the adapter
// is returned to its operating state and the exit code is 0.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A child process, ended by its own id when the test is over.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { Kill(); }

  // stdoutFd: where the child's standard output goes (-1: a file).
  bool Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int stdoutFd,
             const std::string& logPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
      posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (logPath + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }

  pid_t Pid() const { return pid_; }
  // Still running; collects the status once it has ended.
  bool Running() {
    if (pid_ <= 0) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = 0;
    return pid_ > 0;
  }
  // Waits up to timeout for the end; true when it ended.
  bool WaitFor(std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (Running()) {
      if (Clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  int Status() const { return status_; }
  void Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
  }
  void Kill() {
    if (!Running()) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
  int status_ = 0;
};

// The environment of this process with some variables replaced.
std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& [key, value] : overrides) replaced |= key == name;
    if (!replaced) env.push_back(entry);
  }
  for (const auto& [key, value] : overrides) env.push_back(key + "=" + value);
  return env;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/k470-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    program.Kill();
    simulator.Kill();
    std::error_code error;
    fs::remove_all(dir, error);
  }

  // Starts k470sim with the statements; returns the terminal's path (the
  // first line of its output).
  std::string StartSimulator(const std::vector<std::string>& statements) {
    int out[2];
    if (pipe(out) != 0) return {};
    std::vector<std::string> args{K470SIM_PATH, "--link", dir + "/k470", "--log", dir + "/sim.log"};
    for (const auto& s : statements) {
      args.push_back("--set");
      args.push_back(s);
    }
    const bool spawned = simulator.Spawn(args, Environment({}), out[1], dir + "/sim.out");
    close(out[1]);
    std::string line;
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (spawned && line.find('\n') == std::string::npos && Clock::now() < until) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    return line.substr(0, line.find('\n'));
  }

  bool WaitForFile(const std::string& path, std::chrono::seconds timeout) {
    const auto until = Clock::now() + timeout;
    while (!fs::exists(path)) {
      if (Clock::now() > until || !program.Running()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  std::string dir;
  Child simulator;
  Child program;
};

TEST_F(EndToEndTest, TheProgramFindsTheSimulatedAdapterShowsItsModeAndLeavesCleanly) {
  const std::string terminal = StartSimulator({"station Lokal type=handset name=Messplatz mode=2",
                                               "station Basis type=base name=Zentrale", "register Lokal at Basis"});
  ASSERT_EQ(terminal.rfind("/dev/pts/", 0), 0u) << terminal << ReadFile(dir + "/sim.out.err");
  ASSERT_TRUE(fs::is_symlink(dir + "/k470"));

  const std::string png = dir + "/sheet.png";
  ASSERT_TRUE(program.Spawn({K470PROP_PATH},
                            Environment({{"QT_QPA_PLATFORM", "offscreen"},
                                         {"K470_PORTS", dir + "/k470"},
                                         {"K470_SETTINGS", dir + "/Lumora.reg"},
                                         {"K470_SCREENSHOT", png},
                                         {"XDG_RUNTIME_DIR", dir}}),
                            -1, dir + "/prop.out"));
  ASSERT_TRUE(WaitForFile(png + ".txt", std::chrono::seconds(40)))
      << ReadFile(dir + "/prop.out.err") << ReadFile(dir + "/sim.log");

  const std::string shown = ReadFile(png + ".txt");
  EXPECT_NE(shown.find("port=" + dir + "/k470\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("port_state=Konfigurationszustand\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("mode=AT-Befehle ( Modem-seitig )\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("station_name=Messplatz\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("partner=Zentrale\n"), std::string::npos) << shown;
  EXPECT_GT(fs::file_size(png), 1000u);

  program.Signal(SIGTERM);
  ASSERT_TRUE(program.WaitFor(std::chrono::seconds(10)));
  EXPECT_TRUE(WIFEXITED(program.Status())) << program.Status();
  EXPECT_EQ(WEXITSTATUS(program.Status()), 0);

  simulator.Signal(SIGTERM);
  ASSERT_TRUE(simulator.WaitFor(std::chrono::seconds(10)));
  const std::string log = ReadFile(dir + "/sim.log");
  // The adapter was taken back to its operating state on the way out.
  const size_t leave = log.find("> AT+KDV24O<CR>");
  ASSERT_NE(leave, std::string::npos) << log;
  EXPECT_NE(log.find("< AT+KDV24O<CR><CR><LF>OK<CR><LF>", leave), std::string::npos) << log;
  // No lock file of ours is left behind.
  const std::string lock = "/run/lock/LCK.." + terminal.substr(5).replace(3, 1, "_");
  EXPECT_FALSE(fs::exists(lock)) << lock;
}

}  // namespace
