// k470sim: the adapter simulator on a pseudo-terminal. Prints the slave's
// path as the first line of its standard output and serves it until SIGINT
// or SIGTERM. See --help and docs/simulator.md.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/adapter_engine.h"
#include "simulator/pty_server.h"
#include "simulator/scenario.h"
#include "simulator/scheduler.h"
#include "simulator/world.h"

namespace {

using namespace k470::sim;

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
  int saved = errno;
  char c = 1;
  // Nothing to do if the pipe is full: a stop is already pending.
  ssize_t ignored = write(g_stopPipe[1], &c, 1);
  (void)ignored;
  errno = saved;
}

const char* kUsage =
    "Usage: k470sim [OPTION]...\n"
    "Simulates the DECT data adapter on a pseudo-terminal. The first line of the\n"
    "standard output is the path of the terminal to open as the serial port, e.g.\n"
    "  K470_PORTS=$(head -1 out) K470prop   or   k470sim --link /tmp/k470 &\n"
    "Without a scenario the adapter on the terminal is a handset registered at a\n"
    "simulated base in range.\n"
    "\n"
    "Options:\n"
    "  --scenario FILE   read statements from FILE (may be given more than once)\n"
    "  --set STATEMENT   one more statement, after the files (repeatable),\n"
    "                    e.g. --set \"fault delay 500\"\n"
    "  --link PATH       make PATH a symbolic link to the terminal (removed on exit\n"
    "                    unless another k470sim has replaced it meanwhile; an\n"
    "                    existing symbolic link there is replaced)\n"
    "  --log FILE        log the conversation and radio events with times;\n"
    "                    FILE '-' is the standard error\n"
    "  --control PATH    create a FIFO at PATH; every line written to it is a\n"
    "                    statement carried out at once (removed on exit)\n"
    "  --pace            19200 bit/s on the wire: 1920 characters per second\n"
    "  --seed N          seed of readings, garbage and noise (default 1)\n"
    "  --prefix TEXT     command prefix reported by AT^GETPRE (default +KDV24)\n"
    "  --always-answer   answer commands without waiting for the terminal to be\n"
    "                    opened again after \"O\" or a restart\n"
    "  --help            this text\n"
    "\n"
    "Statements (scenario files, --set and the control FIFO):\n";

std::string Escape(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      out += "<CR>";
    } else if (c == '\n') {
      out += "<LF>";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "<%02X>", c);
      out += hex;
    }
  }
  return out;
}

class Log {
 public:
  bool Open(const std::string& path, std::string& error) {
    if (path.empty()) return true;
    if (path == "-") {
      file_ = stderr;
      return true;
    }
    file_ = fopen(path.c_str(), "w");
    if (!file_) error = path + ": " + strerror(errno);
    return file_ != nullptr;
  }
  ~Log() {
    if (file_ && file_ != stderr) fclose(file_);
  }
  void Line(uint64_t ms, char kind, std::string_view text) {
    if (!file_) return;
    fprintf(file_, "%8llu.%03llu %c %.*s\n", static_cast<unsigned long long>(ms / 1000),
            static_cast<unsigned long long>(ms % 1000), kind, static_cast<int>(text.size()), text.data());
    fflush(file_);
  }

 private:
  FILE* file_ = nullptr;
};

// Removes the --link symlink only while it still leads to our terminal: a
// second simulator started with the same --link has replaced it with its own,
// and that one must outlive us.
void RemoveLinkIfOurs(const std::string& link, const std::string& target) {
  char buffer[4096];
  ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return;
  if (std::string_view(buffer, static_cast<size_t>(n)) == target) unlink(link.c_str());
}

bool ReadFile(const std::string& path, std::string& text, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": " + strerror(errno);
    return false;
  }
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return true;
}

struct Options {
  std::vector<std::string> scenarioFiles;
  std::vector<std::string> statements;
  std::string link, log, control;
};

// Returns -1 to go on, else the exit status.
int ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        fprintf(stderr, "k470sim: %s needs a value (see --help)\n", arg.c_str());
        return false;
      }
      into = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      fputs(kUsage, stdout);
      fputs(ScenarioHelp().c_str(), stdout);
      return 0;
    } else if (arg == "--scenario") {
      if (!value(v)) return 2;
      options.scenarioFiles.push_back(v);
    } else if (arg == "--set") {
      if (!value(v)) return 2;
      options.statements.push_back(v);
    } else if (arg == "--link") {
      if (!value(options.link)) return 2;
    } else if (arg == "--log") {
      if (!value(options.log)) return 2;
    } else if (arg == "--control") {
      if (!value(options.control)) return 2;
    } else if (arg == "--pace") {
      options.statements.push_back("pace on");
    } else if (arg == "--seed") {
      if (!value(v)) return 2;
      options.statements.push_back("seed " + v);
    } else if (arg == "--prefix") {
      if (!value(v)) return 2;
      options.statements.push_back("prefix \"" + v + "\"");
    } else if (arg == "--always-answer") {
      options.statements.push_back("always-config on");
    } else {
      fprintf(stderr, "k470sim: unknown option '%s' (see --help)\n", arg.c_str());
      return 2;
    }
  }
  return -1;
}

// Lines from the control FIFO; a writer may send several lines at once or a
// line in pieces.
class Control {
 public:
  ~Control() { Close(); }
  bool Open(const std::string& path, std::string& error) {
    if (path.empty()) return true;
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0) {
      if (!S_ISFIFO(st.st_mode)) {
        error = path + " exists and is not a FIFO";
        return false;
      }
    } else if (mkfifo(path.c_str(), 0600) != 0) {
      error = path + ": " + strerror(errno);
      return false;
    }
    path_ = path;
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // A writer of our own keeps the FIFO from reporting end-of-file (and
    // POLLHUP, which would spin the loop) between outside writers.
    keepOpen_ = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0 || keepOpen_ < 0) {
      error = path + ": " + strerror(errno);
      return false;
    }
    return true;
  }
  int Fd() const { return fd_; }
  template <typename F>
  void Read(F onLine) {
    char buffer[1024];
    ssize_t n;
    while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
      pending_.append(buffer, static_cast<size_t>(n));
      if (pending_.size() > 65536) pending_.clear();  // not a statement anybody meant
    }
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      onLine(line);
    }
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    if (keepOpen_ >= 0) close(keepOpen_);
    fd_ = keepOpen_ = -1;
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
  }

 private:
  std::string path_;
  int fd_ = -1, keepOpen_ = -1;
  std::string pending_;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = ParseArguments(argc, argv, options);
  if (status >= 0) return status;

  // The statements in order: files, then --set and the shortcut options.
  std::string text;
  for (const auto& path : options.scenarioFiles) {
    std::string file, error;
    if (!ReadFile(path, file, error)) {
      fprintf(stderr, "k470sim: %s\n", error.c_str());
      return 2;
    }
    text += file + "\n";
  }
  for (const auto& statement : options.statements) text += statement + "\n";
  if (!DeclaresStations(text)) text = std::string(kDefaultScenario) + text;

  RealTimeScheduler scheduler;
  World world(scheduler);
  AdapterOptions adapterOptions;
  std::string local;
  ScenarioContext setup{&world, nullptr, &adapterOptions, &local};
  std::string error;
  if (!ApplyScenario(text, setup, error)) {
    fprintf(stderr, "k470sim: scenario %s\n", error.c_str());
    return 2;
  }
  if (local.empty()) local = world.Stations().front()->Id();

  Log log;
  if (!log.Open(options.log, error)) {
    fprintf(stderr, "k470sim: %s\n", error.c_str());
    return 2;
  }
  world.SetEventLog([&](const std::string& line) { log.Line(scheduler.Now(), '*', line); });

  if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    perror("k470sim: pipe");
    return 1;
  }
  struct sigaction action{};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  PtyServer pty;
  if (!pty.Open(error)) {
    fprintf(stderr, "k470sim: %s\n", error.c_str());
    return 1;
  }
  bool linked = false;
  if (!options.link.empty()) {
    struct stat st{};
    if (lstat(options.link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(options.link.c_str());
    if (symlink(pty.SlavePath().c_str(), options.link.c_str()) != 0) {
      fprintf(stderr, "k470sim: --link %s: %s\n", options.link.c_str(), strerror(errno));
      return 1;
    }
    linked = true;
  }
  Control control;
  if (!control.Open(options.control, error)) {
    fprintf(stderr, "k470sim: --control %s\n", error.c_str());
    if (linked) RemoveLinkIfOurs(options.link, pty.SlavePath());
    return 1;
  }

  AdapterEngine engine(world, local, pty, adapterOptions);
  engine.SetTrace([&](uint64_t ms, char direction, std::string_view bytes) { log.Line(ms, direction, Escape(bytes)); });
  pty.SetEngine(&engine);
  ScenarioContext running{&world, &engine, nullptr, nullptr};

  printf("%s\n", pty.SlavePath().c_str());
  fflush(stdout);
  log.Line(scheduler.Now(), '*', "serving " + pty.SlavePath() + " as station " + local);

  bool stop = false;
  bool wasOpen = false;
  while (!stop) {
    scheduler.RunDue();
    pty.CheckSlave();
    if (pty.SlaveOpen() != wasOpen) {
      wasOpen = pty.SlaveOpen();
      log.Line(scheduler.Now(), '*', wasOpen ? "terminal opened (probe)" : "terminal closed");
    }
    scheduler.RunDue();

    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = {g_stopPipe[0], POLLIN, 0};
    int masterIndex = -1, controlIndex = -1;
    if (short events = pty.MasterEvents()) {
      masterIndex = static_cast<int>(count);
      fds[count++] = {pty.MasterFd(), events, 0};
    }
    if (control.Fd() >= 0) {
      controlIndex = static_cast<int>(count);
      fds[count++] = {control.Fd(), POLLIN, 0};
    }
    int timeout = -1;
    if (auto next = scheduler.MsUntilNext()) timeout = static_cast<int>(std::min<uint64_t>(*next, 1000));
    if (!pty.SlaveOpen()) timeout = timeout < 0 ? PtyServer::kSlaveCheckMs : std::min(timeout, PtyServer::kSlaveCheckMs);

    int ready = poll(fds, count, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      perror("k470sim: poll");
      break;
    }
    if (fds[0].revents & POLLIN) stop = true;
    if (masterIndex >= 0 && fds[masterIndex].revents) pty.OnMasterEvents(fds[masterIndex].revents);
    if (controlIndex >= 0 && fds[controlIndex].revents) {
      control.Read([&](const std::string& line) {
        std::string why;
        if (ApplyStatement(line, running, why)) {
          log.Line(scheduler.Now(), '!', line);
        } else {
          log.Line(scheduler.Now(), '!', line + "  -- refused: " + why);
          fprintf(stderr, "k470sim: control: %s: %s\n", line.c_str(), why.c_str());
        }
      });
    }
  }

  log.Line(scheduler.Now(), '*', "stopped");
  control.Close();
  if (linked) RemoveLinkIfOurs(options.link, pty.SlavePath());
  return 0;
}
