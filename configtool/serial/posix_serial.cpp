#include "configtool/serial/posix_serial.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "configtool/platform/text.h"

namespace k470 {
namespace {

constexpr size_t kBlockSize = 80;
constexpr int kWriteTimeoutMs = 1000;

template <typename Call>
int RetryEintr(Call call) {
  int result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// The modem ioctls on a device that has no modem-control lines.
bool NoModemLines(int err) { return err == ENOTTY || err == EINVAL; }

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string result = real;
  std::free(real);
  return result;
}

std::string Describe(const std::string& device, const char* call, int err) {
  return device + ": " + call + ": " + std::strerror(err);
}

}  // namespace

OpenError MapOpenErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return OpenError::NotFound;
    case EACCES:
    case EPERM:
      return OpenError::AccessDenied;
    case EBUSY:
      return OpenError::InUse;
    default:
      return OpenError::Other;
  }
}

std::string DeviceGroup(const std::string& devicePath) {
  struct stat st {};
  if (::stat(devicePath.c_str(), &st) != 0) return std::string();
  struct group entry {};
  struct group* result = nullptr;
  std::vector<char> buffer(16384);
  if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
      result->gr_name != nullptr) {
    return result->gr_name;
  }
  return std::to_string(st.st_gid);  // a group without a name: its number
}

// ---- the line ----------------------------------------------------------------

PosixSerialLine::PosixSerialLine(int fd, std::string device, std::unique_ptr<UucpLock> lock)
    : fd_(fd), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), device_(std::move(device)), lock_(std::move(lock)) {
  reader_ = std::thread([this] { ReaderLoop(); });
}

PosixSerialLine::~PosixSerialLine() { Close(); }

const std::string& PosixSerialLine::LockPath() const {
  static const std::string none;
  return lock_ ? lock_->Path() : none;
}

bool PosixSerialLine::Configure() {
  if (fd_ < 0) return false;
  termios tio {};
  if (RetryEintr([&] { return ::tcgetattr(fd_, &tio); }) != 0) return false;
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B19200);
  ::cfsetospeed(&tio, B19200);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (RetryEintr([&] { return ::tcsetattr(fd_, TCSANOW, &tio); }) != 0) return false;
  return Purge();
}

bool PosixSerialLine::SetDtr(bool on) {
  if (fd_ < 0) return false;
  int bits = TIOCM_DTR;
  if (RetryEintr([&] { return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits); }) == 0) return true;
  return NoModemLines(errno);
}

bool PosixSerialLine::SetRts(bool on) {
  if (fd_ < 0) return false;
  int bits = TIOCM_RTS;
  if (RetryEintr([&] { return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits); }) == 0) return true;
  return NoModemLines(errno);
}

bool PosixSerialLine::GetModemStatus(uint32_t& status) {
  if (fd_ < 0) return false;
  int bits = 0;
  if (RetryEintr([&] { return ::ioctl(fd_, TIOCMGET, &bits); }) != 0) {
    if (!NoModemLines(errno)) return false;
    status = MS_DSR_ON | MS_CTS_ON;
    return true;
  }
  status = ((bits & TIOCM_DSR) ? MS_DSR_ON : 0) | ((bits & TIOCM_CTS) ? MS_CTS_ON : 0);
  return true;
}

bool PosixSerialLine::SetHandshake(bool on) {
  if (fd_ < 0) return false;
  termios tio {};
  if (RetryEintr([&] { return ::tcgetattr(fd_, &tio); }) != 0) return false;
  if (on) {
    tio.c_cflag |= CRTSCTS;
  } else {
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  }
  return RetryEintr([&] { return ::tcsetattr(fd_, TCSANOW, &tio); }) == 0;
}

bool PosixSerialLine::Purge() {
  if (fd_ < 0) return false;
  return RetryEintr([&] { return ::tcflush(fd_, TCIOFLUSH); }) == 0;
}

WriteResult PosixSerialLine::Write(const uint8_t* data, size_t length) {
  if (fd_ < 0) return WriteResult::Failed;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
  size_t done = 0;
  bool started = false;  // bytes went out or we waited: no longer "failed at once"
  while (done < length) {
    ssize_t n = ::write(fd_, data + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      started = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The driver's buffer is full (or the handshake holds the line): wait
      // for room, within what is left of the one time-out for the whole
      // write.
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return WriteResult::FailedAfterWait;
      pollfd pfd{fd_, POLLOUT, 0};
      int ready = ::poll(&pfd, 1, static_cast<int>(left));
      started = true;
      if (ready < 0 && errno != EINTR) return WriteResult::FailedAfterWait;
      continue;
    }
    return started ? WriteResult::FailedAfterWait : WriteResult::Failed;
  }
  return WriteResult::Written;
}

void PosixSerialLine::Wake() {
  if (wakeFd_ < 0) return;
  uint64_t one = 1;
  // The counter only needs to be non-zero; a full counter (EAGAIN) is as
  // good as our increment.
  RetryEintr([&] { return static_cast<int>(::write(wakeFd_, &one, sizeof one)); });
}

bool PosixSerialLine::StartReader(IReceiveSink* sink) {
  if (fd_ < 0 || wakeFd_ < 0 || sink == nullptr) return false;
  // A running reader keeps the sink it took; switching needs a pause first.
  PauseReader();
  {
    std::lock_guard guard(mutex_);
    sink_ = sink;
    run_ = true;
    gone_ = false;
    running_ = true;
  }
  changed_.notify_all();
  return true;
}

void PosixSerialLine::PauseReader() {
  std::unique_lock lock(mutex_);
  run_ = false;
  running_ = false;
  if (std::this_thread::get_id() == reader_.get_id()) return;
  // Out of poll, if it sits there; out of a read or the sink it comes by
  // itself, since it checks running_ between blocks.
  Wake();
  changed_.wait(lock, [this] { return !inside_; });
}

void PosixSerialLine::Close() {
  if (reader_.joinable()) {
    if (std::this_thread::get_id() == reader_.get_id()) {
      // Closing from inside the sink would pull the descriptor from under
      // the read in progress; it is refused.
      return;
    }
    PauseReader();
    {
      std::lock_guard guard(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    reader_.join();
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (wakeFd_ >= 0) {
    ::close(wakeFd_);
    wakeFd_ = -1;
  }
  if (lock_) lock_->Release();
}

bool PosixSerialLine::DeviceGone() const {
  std::lock_guard guard(mutex_);
  return gone_;
}

void PosixSerialLine::ReaderLoop() {
  readerTid_ = static_cast<pid_t>(::syscall(SYS_gettid));
  std::unique_lock lock(mutex_);
  for (;;) {
    inside_ = false;
    changed_.notify_all();
    changed_.wait(lock, [this] { return quit_ || (run_ && !gone_); });
    if (quit_) return;
    inside_ = true;
    IReceiveSink* sink = sink_;
    lock.unlock();
    bool alive = ReadRound(sink);
    lock.lock();
    if (!alive) gone_ = true;
  }
}

bool PosixSerialLine::ReadRound(IReceiveSink* sink) {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  int ready = ::poll(fds, 2, -1);
  wakeups_.fetch_add(1, std::memory_order_relaxed);
  if (ready < 0) return errno == EINTR || errno == EAGAIN;
  if (fds[1].revents & POLLIN) {
    uint64_t count;
    RetryEintr([&] { return static_cast<int>(::read(wakeFd_, &count, sizeof count)); });
    // Back to the state check; data waiting is read on the next round.
    return true;
  }
  short events = fds[0].revents;
  if (events & POLLNVAL) return false;
  bool hangup = (events & (POLLHUP | POLLERR)) != 0;
  if (!(events & POLLIN) && !hangup) return true;

  uint8_t buffer[kBlockSize];
  int available = 0;
  if (RetryEintr([&] { return ::ioctl(fd_, FIONREAD, &available); }) != 0) return false;
  if (available <= 0) {
    if (hangup) return false;
    // Readable but nothing counted: the read tells end-of-file (the device
    // went away) from a spurious wake-up.
    ssize_t n;
    do {
      n = ::read(fd_, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
      sink->OnReceived(buffer, static_cast<size_t>(n));
      return true;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  while (available > 0 && running_.load()) {
    size_t want = std::min(static_cast<size_t>(available), kBlockSize);
    ssize_t n;
    do {
      n = ::read(fd_, buffer, want);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
      sink->OnReceived(buffer, static_cast<size_t>(n));
      available -= static_cast<int>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    return false;  // end of file or EIO: the device is gone
  }
  // A hang-up with bytes still buffered: those were delivered above, and
  // only then does the device count as gone.
  return !hangup || (available > 0 && !running_.load());
}

// ---- the system --------------------------------------------------------------

PosixSerialSystem::PosixSerialSystem(PosixSerialOptions options) : options_(std::move(options)) {}

std::vector<std::string> PosixSerialSystem::EnumeratePorts() { return EnumeratePortNames(options_); }

std::vector<std::string> PosixSerialSystem::ConsoleDevices() const {
  std::vector<std::string> names;
  std::ifstream file(options_.sysfsRoot + "/class/tty/console/active");
  std::string name;
  while (file >> name) names.push_back(name);
  return names;
}

bool PosixSerialSystem::IsConsole(const std::string& realPath) const {
  struct stat device {};
  bool isChar = ::stat(realPath.c_str(), &device) == 0 && S_ISCHR(device.st_mode);
  size_t slash = realPath.find_last_of('/');
  std::string base = slash == std::string::npos ? realPath : realPath.substr(slash + 1);
  for (const auto& name : ConsoleDevices()) {
    if (name == base) return true;
    struct stat console {};
    if (isChar && ::stat((options_.devRoot + "/" + name).c_str(), &console) == 0 && S_ISCHR(console.st_mode) &&
        console.st_rdev == device.st_rdev) {
      return true;
    }
  }
  return false;
}

namespace {

// The terminal this program runs in (or the console device itself): raw mode
// on it would take the user's shell away.
bool IsOwnTerminal(const std::string& realPath) {
  struct stat device {};
  if (::stat(realPath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return false;
  for (const char* special : {"/dev/tty", "/dev/console"}) {
    struct stat st {};
    if (::stat(special, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device.st_rdev) return true;
  }
  for (int fd = 0; fd <= 2; ++fd) {
    struct stat st {};
    if (::isatty(fd) && ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device.st_rdev) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<ISerialLine> PosixSerialSystem::Open(const std::string& name, OpenFailure& failure) {
  failure = OpenFailure{};
  const std::string path = PortDevicePath(name, options_.devRoot);
  failure.device = path;
  const std::string realPath = RealPath(path);

  if (IsConsole(realPath)) {
    failure.error = OpenError::InUse;
    failure.sysErrno = EBUSY;
    failure.detail = path + ": the system console; never opened";
    return nullptr;
  }
  if (IsOwnTerminal(realPath)) {
    failure.error = OpenError::InUse;
    failure.sysErrno = EBUSY;
    failure.detail = path + ": this program's own terminal; never opened";
    return nullptr;
  }

  // The lock comes before the open: opening a UART raises its DTR and RTS,
  // which would disturb the program that holds it.
  auto lock = std::make_unique<UucpLock>();
  pid_t holder = 0;
  switch (lock->Acquire(options_.lockDir, UucpLock::DeviceName(realPath, RealPath(options_.devRoot)), holder)) {
    case UucpLock::Result::Acquired:
      break;
    case UucpLock::Result::NoLockDir:
      lock.reset();
      break;
    case UucpLock::Result::Held:
      failure.error = OpenError::InUse;
      failure.sysErrno = EBUSY;
      failure.detail = holder > 0 ? Format("%s: in use by process %d (lock file in %s)", path.c_str(),
                                           static_cast<int>(holder), options_.lockDir.c_str())
                                  : path + ": in use (lock file in " + options_.lockDir + ")";
      return nullptr;
    case UucpLock::Result::Denied:
      failure.error = OpenError::InUse;
      failure.sysErrno = EACCES;
      failure.detail = Format("%s: stale lock of process %d in %s cannot be removed", path.c_str(),
                              static_cast<int>(holder), options_.lockDir.c_str());
      return nullptr;
  }

  int fd = RetryEintr([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) {
    int err = errno;
    failure.error = MapOpenErrno(err);
    failure.sysErrno = err;
    failure.detail = Describe(path, "open", err);
    return nullptr;  // the lock goes with its object
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !::isatty(fd)) {
    ::close(fd);
    failure.error = OpenError::Other;
    failure.sysErrno = ENOTTY;
    failure.detail = path + ": not a serial device";
    return nullptr;
  }
  if (RetryEintr([&] { return ::ioctl(fd, TIOCEXCL); }) != 0) {
    int err = errno;
    ::close(fd);
    failure.error = OpenError::InUse;
    failure.sysErrno = err;
    failure.detail = Describe(path, "TIOCEXCL", err);
    return nullptr;
  }
  auto line = std::make_unique<PosixSerialLine>(fd, path, std::move(lock));
  return line;
}

}  // namespace k470
