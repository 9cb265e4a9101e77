// The POSIX serial device against real pseudo-terminals (the test holds the
// master side): bytes in order through the reader thread, pausing and
// closing while data flows, the lock file, exclusive opening, the console
// rule and a device that goes away.
#include "configtool/serial/posix_serial.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "configtool/platform/exit_hooks.h"
#include "configtool/platform/messages.h"
#include "configtool/platform/text.h"
#include "configtool/platform/virtual_host.h"
#include "configtool/serial/com_port.h"
#include "tests/serial/fake_tree.h"

namespace k470 {
namespace {

using testing_support::FakeTree;
using testing_support::ReadFile;
using testing_support::WriteFile;

// The master side of a pseudo-terminal.
class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      char name[128];
      if (::ptsname_r(master_, name, sizeof name) == 0) slave_ = name;
    }
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return master_ >= 0 && !slave_.empty(); }
  int master() const { return master_; }
  const std::string& slave() const { return slave_; }
  // The lock name of the slave: /dev/pts/N -> pts_N.
  std::string LockName() const { return "LCK..pts_" + slave_.substr(slave_.find_last_of('/') + 1); }

  void Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
      if (n < 0 && errno != EINTR && errno != EAGAIN) return;
    }
  }
  // Reads what arrives within ms.
  std::string Receive(size_t want, int ms) {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < want) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd pfd{master_, POLLIN, 0};
      if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[256];
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

// Collects what the reader delivers; the reader thread calls it.
class Sink : public IReceiveSink {
 public:
  void OnReceived(const uint8_t* data, size_t length) override {
    if (paused.load()) violations++;
    std::lock_guard guard(mutex);
    bytes.append(reinterpret_cast<const char*>(data), length);
    maxBlock = std::max(maxBlock, length);
    ++blocks;
  }
  size_t Size() {
    std::lock_guard guard(mutex);
    return bytes.size();
  }

  std::mutex mutex;
  std::string bytes;
  size_t maxBlock = 0;
  int blocks = 0;
  std::atomic<bool> paused{false};
  std::atomic<int> violations{0};
};

bool WaitFor(const std::function<bool()>& pred, int ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string Pattern(size_t n) {
  std::string bytes;
  for (size_t i = 0; i < n; ++i) bytes += static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class PosixSerialTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available"; }

  std::unique_ptr<ISerialLine> OpenPty(OpenFailure& failure) { return system.Open(pty.slave(), failure); }
  std::unique_ptr<ISerialLine> OpenPty() {
    OpenFailure failure;
    auto line = OpenPty(failure);
    EXPECT_TRUE(line) << failure.detail;
    if (line) {
      EXPECT_TRUE(line->Configure());
    }
    return line;
  }
  std::string LockFile() { return tree.locks() + "/" + pty.LockName(); }

  FakeTree tree;
  Pty pty;
  PosixSerialOptions options = [this] {
    PosixSerialOptions o = tree.Options();
    o.devRoot = "/dev";  // the pty lives in the real /dev
    return o;
  }();
  PosixSerialSystem system{options};
};

TEST(OpenErrnoTest, Mapping) {
  const std::pair<int, OpenError> cases[] = {
      {ENOENT, OpenError::NotFound},     {ENODEV, OpenError::NotFound}, {ENXIO, OpenError::NotFound},
      {EACCES, OpenError::AccessDenied}, {EPERM, OpenError::AccessDenied}, {EBUSY, OpenError::InUse},
      {EIO, OpenError::Other},           {EINVAL, OpenError::Other},
  };
  for (const auto& [err, error] : cases) EXPECT_EQ(MapOpenErrno(err), error) << err;
}

TEST(DeviceGroupTest, NamesTheOwningGroup) {
  testing_support::TempDir dir;
  std::string device = dir / "ttyFake";
  WriteFile(device, "");
  // A file we create belongs to our group.
  const group* ours = ::getgrgid(::getegid());
  ASSERT_NE(ours, nullptr);
  EXPECT_EQ(DeviceGroup(device), ours->gr_name);
  EXPECT_EQ(DeviceGroup(dir / "missing"), "");
}

TEST(UucpLockTest, ContentAndPidParsing) {
  EXPECT_EQ(UucpLock::Content(1234), "      1234\n");
  const std::pair<std::string, pid_t> cases[] = {
      {"      1234\n", 1234}, {"1234\n", 1234}, {"1234", 1234},  {"  77 \r\n", 77},
      {"", 0},                {"abc\n", 0},      {"12ab\n", 0},  {"0000000000\n", 0},
      {"      4321 minicom root\n", 4321},  // a terminal program that adds its name and user
      {"12345678901\n", 0},
      {std::string("\xd2\x04\x00\x00", 4), 1234},  // the old binary form
  };
  for (const auto& [content, pid] : cases) EXPECT_EQ(UucpLock::ParsePid(content), pid) << content;
  EXPECT_EQ(UucpLock::DeviceName("/dev/pts/3", "/dev"), "pts_3");
  EXPECT_EQ(UucpLock::DeviceName("/dev/ttyUSB0", "/dev/"), "ttyUSB0");
  EXPECT_EQ(UucpLock::DeviceName("/tmp/x/ttyV0", "/dev"), "ttyV0");
}

TEST_F(PosixSerialTest, BytesArriveInOrderThroughCComPort) {
  tree.SetEnv("K470_PORTS", pty.slave());
  PosixSerialSystem listed(tree.Options());
  VirtualHost host;
  CComPort port(host, listed);
  ASSERT_EQ(port.GetPortNames(), std::vector<std::string>{pty.slave()});

  struct Listener : IPortListener {
    void OnReceive(const uint8_t* bytes, uint32_t count) override {
      received.append(reinterpret_cast<const char*>(bytes), count);
      maxBlock = std::max(maxBlock, count);
    }
    void OnPortOpened() override { events += 'O'; }
    void OnPortClosed() override { events += 'C'; }
    std::string received, events;
    uint32_t maxBlock = 0;
  } listener;
  port.SetListener(&listener);
  host.SetThreadMessageHandler([&](uint32_t message, uintptr_t, intptr_t) {
    if (message == WM_SERIAL_RECEIVED) port.DeliverReceived();
  });

  // No modem lines on a pty: the probe passes (on the virtual clock).
  ASSERT_TRUE(port.Open(pty.slave())) << port.LastOpenFailure().detail;
  EXPECT_EQ(port.GetState(), LINK_OPEN);
  EXPECT_EQ(listener.events, "O");

  const std::string sent = Pattern(5000);
  for (size_t at = 0; at < sent.size(); at += 333) pty.Send(sent.substr(at, 333));
  EXPECT_TRUE(host.RunUntilReal([&] { return listener.received.size() >= sent.size(); }, 10000));
  EXPECT_EQ(listener.received, sent);
  EXPECT_LE(listener.maxBlock, 80u);

  // Raw both ways: CR, LF and control bytes pass unchanged.
  EXPECT_TRUE(port.Write("AT+X\r\n\x11\x13\x03\x7f"));
  EXPECT_EQ(pty.Receive(10, 2000), "AT+X\r\n\x11\x13\x03\x7f");

  port.Close(true);
  EXPECT_EQ(listener.events, "OC");
  EXPECT_FALSE(port.Write("x"));
}

TEST_F(PosixSerialTest, LockFileWhileOpenAndASecondOpenIsRefused) {
  auto line = OpenPty();
  ASSERT_TRUE(line);
  EXPECT_EQ(ReadFile(LockFile()), UucpLock::Content(::getpid()));

  OpenFailure failure;
  EXPECT_FALSE(OpenPty(failure));
  EXPECT_EQ(failure.error, OpenError::InUse);
  EXPECT_EQ(failure.device, pty.slave());
  EXPECT_NE(failure.detail.find(std::to_string(::getpid())), std::string::npos) << failure.detail;
  // The refused open did not take the lock away from the first.
  EXPECT_EQ(ReadFile(LockFile()), UucpLock::Content(::getpid()));

  line->PauseReader();
  line->Close();
  EXPECT_FALSE(std::filesystem::exists(LockFile()));
  EXPECT_TRUE(OpenPty());
}

TEST_F(PosixSerialTest, ExclusiveModeRefusesAnotherOpenerWithoutTheLock) {
  if (::geteuid() == 0) GTEST_SKIP() << "TIOCEXCL does not stop root";
  auto line = OpenPty();
  ASSERT_TRUE(line);
  int fd = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_LT(fd, 0);
  EXPECT_EQ(errno, EBUSY);
  if (fd >= 0) ::close(fd);
}

TEST_F(PosixSerialTest, LocksOfGoneProcessesAreTakenOverLiveOnesRespected) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);

  struct Case {
    std::string content;
    bool old;  // written long ago
    bool opens;
  };
  const Case cases[] = {
      {UucpLock::Content(child), false, true},      // its process is gone
      {UucpLock::Content(::getppid()), false, false},  // alive
      {"", false, false},                           // being written right now
      {"garbage", true, true},                      // unreadable and old: stale
      // Another program's lock with its name behind the PID, held for
      // long already: still in use.
      {Format("%10d minicom root\n", static_cast<int>(::getppid())), true, false},
  };
  for (const auto& c : cases) {
    WriteFile(LockFile(), c.content);
    if (c.old) {
      timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
      ::utimes(LockFile().c_str(), times);
    }
    OpenFailure failure;
    auto line = OpenPty(failure);
    EXPECT_EQ(line != nullptr, c.opens) << "lock \"" << c.content << "\": " << failure.detail;
    if (line) {
      EXPECT_EQ(ReadFile(LockFile()), UucpLock::Content(::getpid()));
      line->Close();
      EXPECT_FALSE(std::filesystem::exists(LockFile()));
    } else {
      EXPECT_EQ(failure.error, OpenError::InUse);
      EXPECT_EQ(ReadFile(LockFile()), c.content);  // someone else's lock stays
    }
    std::filesystem::remove(LockFile());
  }
}

TEST_F(PosixSerialTest, WithoutALockDirectoryTheExclusiveOpenStillWorks) {
  options.lockDir = tree / "no-such-dir";
  PosixSerialSystem unlocked(options);
  OpenFailure failure;
  auto line = unlocked.Open(pty.slave(), failure);
  ASSERT_TRUE(line) << failure.detail;
  EXPECT_TRUE(line->Configure());
}

TEST_F(PosixSerialTest, ExitHooksRemoveTheLockWhenTheProcessEndsWithExit) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OpenFailure failure;
    auto line = system.Open(pty.slave(), failure);
    if (!line || ReadFile(LockFile()).empty()) ::_exit(2);
    RunExitHooks();
    ::_exit(0);  // no destructors: only the hooks clean up
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::filesystem::exists(LockFile()));
}

TEST_F(PosixSerialTest, TheConsoleIsNeverOpened) {
  tree.SetConsole("ttyS0 tty0");
  tree.AddTty("ttyS0", true, 4, true);
  tree.AddTty("ttyS1", true, 4, true);
  std::filesystem::create_symlink(tree.dev() + "/ttyS0", tree.dev() + "/console-alias");
  PosixSerialSystem fake(tree.Options());
  EXPECT_EQ(fake.ConsoleDevices(), (std::vector<std::string>{"ttyS0", "tty0"}));
  for (const char* name : {"COM1", "console-alias"}) {
    OpenFailure failure;
    EXPECT_FALSE(fake.Open(name, failure));
    EXPECT_EQ(failure.error, OpenError::InUse) << name;
    EXPECT_NE(failure.detail.find("console"), std::string::npos) << failure.detail;
    // Refused before the lock: nothing was created.
    EXPECT_TRUE(std::filesystem::is_empty(tree.locks())) << name;
  }
  // COM2 is no console: it gets as far as the open, where a plain file is
  // no serial device, and its lock is gone again.
  OpenFailure failure;
  EXPECT_FALSE(fake.Open("COM2", failure));
  EXPECT_EQ(failure.error, OpenError::Other);
  EXPECT_EQ(failure.sysErrno, ENOTTY);
  EXPECT_TRUE(std::filesystem::is_empty(tree.locks()));
}

TEST_F(PosixSerialTest, OpenFailuresKeepErrnoPathAndDetail) {
  OpenFailure failure;
  EXPECT_FALSE(system.Open("/nonexistent/ttyQ9", failure));
  EXPECT_EQ(failure.error, OpenError::NotFound);
  EXPECT_EQ(failure.sysErrno, ENOENT);
  EXPECT_EQ(failure.device, "/nonexistent/ttyQ9");
  EXPECT_NE(failure.detail.find("/nonexistent/ttyQ9"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(tree.locks()));

  if (::geteuid() != 0) {
    std::string forbidden = tree.dev() + "/ttyForbidden";
    WriteFile(forbidden, "");
    ::chmod(forbidden.c_str(), 0);
    EXPECT_FALSE(system.Open(forbidden, failure));
    EXPECT_EQ(failure.error, OpenError::AccessDenied);
    EXPECT_EQ(failure.sysErrno, EACCES);
  }
}

TEST_F(PosixSerialTest, APseudoTerminalHasNoModemLinesSoTheyReadAsOn) {
  auto line = OpenPty();
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->SetDtr(true));
  EXPECT_TRUE(line->SetRts(true));
  EXPECT_TRUE(line->SetRts(false));
  uint32_t status = 0;
  ASSERT_TRUE(line->GetModemStatus(status));
  EXPECT_EQ(status, MS_DSR_ON | MS_CTS_ON);
  EXPECT_TRUE(line->SetHandshake(true));
  EXPECT_TRUE(line->SetHandshake(false));
  EXPECT_TRUE(line->Purge());
}

TEST_F(PosixSerialTest, ConfigureMakesTheLineRaw19200) {
  auto line = OpenPty();
  ASSERT_TRUE(line);
  // The master reports the settings of its slave.
  termios tio {};
  ASSERT_EQ(::tcgetattr(pty.master(), &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), B19200);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
  EXPECT_NE(tio.c_cflag & CREAD, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(PosixSerialTest, PauseAndCloseWhileDataFlowsAreRaceFree) {
  auto line = OpenPty();
  ASSERT_TRUE(line);
  std::atomic<bool> stop{false};
  ::fcntl(pty.master(), F_SETFL, ::fcntl(pty.master(), F_GETFL) | O_NONBLOCK);
  std::thread writer([&] {
    const std::string chunk = Pattern(97);
    while (!stop.load()) {
      if (::write(pty.master(), chunk.data(), chunk.size()) < 0) std::this_thread::yield();
    }
  });
  Sink sink;
  for (int round = 0; round < 200; ++round) {
    sink.paused = false;
    ASSERT_TRUE(line->StartReader(&sink));
    if (round % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    line->PauseReader();
    // From here on the reader must not enter the sink.
    sink.paused = true;
    if (round % 2 == 0) std::this_thread::yield();
  }
  sink.paused = false;
  ASSERT_TRUE(line->StartReader(&sink));
  EXPECT_TRUE(WaitFor([&] { return sink.Size() > 0; }, 5000));
  // Close straight from the running state: it pauses the reader itself.
  line->Close();
  sink.paused = true;
  stop = true;
  writer.join();
  EXPECT_EQ(sink.violations.load(), 0);
  EXPECT_LE(sink.maxBlock, 80u);
  EXPECT_FALSE(std::filesystem::exists(LockFile()));
}

TEST_F(PosixSerialTest, CComPortClosesWhileTheReaderDelivers) {
  tree.SetEnv("K470_PORTS", pty.slave());
  PosixSerialSystem listed(tree.Options());
  VirtualHost host;
  CComPort port(host, listed);
  std::atomic<bool> stop{false};
  ::fcntl(pty.master(), F_SETFL, ::fcntl(pty.master(), F_GETFL) | O_NONBLOCK);
  std::thread writer([&] {
    const std::string chunk = Pattern(200);
    while (!stop.load()) {
      if (::write(pty.master(), chunk.data(), chunk.size()) < 0) std::this_thread::yield();
    }
  });
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(port.Open(pty.slave())) << port.LastOpenFailure().detail;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    port.Close(true);
    // Nothing received before the close survives it.
    EXPECT_TRUE(port.RxQueue().IsEmpty());
  }
  stop = true;
  writer.join();
}

TEST_F(PosixSerialTest, ADeviceThatGoesAwayStopsTheReaderWithoutSpinning) {
  auto line = OpenPty();
  ASSERT_TRUE(line);
  auto* posix = dynamic_cast<PosixSerialLine*>(line.get());
  ASSERT_NE(posix, nullptr);
  Sink sink;
  ASSERT_TRUE(line->StartReader(&sink));
  pty.Send("last words");
  ASSERT_TRUE(WaitFor([&] { return sink.Size() == 10; }, 5000));
  pty.CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return posix->DeviceGone(); }, 5000));
  uint64_t wakeups = posix->ReaderWakeups();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LE(posix->ReaderWakeups(), wakeups + 1);
  EXPECT_EQ(sink.bytes, "last words");
  // Writing to it fails at once; pausing and closing still work.
  const uint8_t byte = 'x';
  EXPECT_EQ(line->Write(&byte, 1), WriteResult::Failed);
  line->PauseReader();
  line->Close();
}

TEST_F(PosixSerialTest, TheIdleReaderSleeps) {
  auto line = OpenPty();
  ASSERT_TRUE(line);
  auto* posix = dynamic_cast<PosixSerialLine*>(line.get());
  Sink sink;
  ASSERT_TRUE(line->StartReader(&sink));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  uint64_t wakeups = posix->ReaderWakeups();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(posix->ReaderWakeups(), wakeups);
}

TEST_F(PosixSerialTest, AWriteNobodyReadsTimesOutAfterWaiting) {
  auto line = OpenPty();
  ASSERT_TRUE(line);
  // More than a pseudo-terminal buffers; the master never reads.
  std::vector<uint8_t> data(1 << 20, 'A');
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(line->Write(data.data(), data.size()), WriteResult::FailedAfterWait);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

}  // namespace
}  // namespace k470
