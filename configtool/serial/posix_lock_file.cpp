#include "configtool/serial/posix_lock_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "configtool/platform/exit_hooks.h"
#include "configtool/platform/text.h"

namespace k470 {
namespace {

// A lock file without a readable PID is most likely one another program has
// just created and not yet written. Only when it stays so longer than this is
// it taken for stale.
constexpr time_t kUnwrittenGraceSeconds = 10;
// The largest PID Linux hands out (PID_MAX_LIMIT on 64-bit systems).
constexpr int32_t kPidMaxLimit = 4194304;

bool ReadSmallFile(const std::string& path, std::string& out) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  char buffer[64];
  out.clear();
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
    if (out.size() > 256) break;
  }
  ::close(fd);
  return true;
}

bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// Removes the file only while it still names pid: a lock that has been
// taken over by someone else in the meantime is theirs.
void RemoveIfOurs(const std::string& path, pid_t pid) {
  std::string content;
  if (ReadSmallFile(path, content) && UucpLock::ParsePid(content) == pid) ::unlink(path.c_str());
}

}  // namespace

std::string UucpLock::DeviceName(const std::string& realDevicePath, const std::string& realDevRoot) {
  std::string root = realDevRoot;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (!root.empty() && realDevicePath.size() > root.size() + 1 &&
      realDevicePath.compare(0, root.size(), root) == 0 && realDevicePath[root.size()] == '/') {
    std::string name = realDevicePath.substr(root.size() + 1);
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    return name;
  }
  size_t slash = realDevicePath.find_last_of('/');
  return slash == std::string::npos ? realDevicePath : realDevicePath.substr(slash + 1);
}

std::string UucpLock::Content(pid_t pid) { return Format("%10d\n", static_cast<int>(pid)); }

pid_t UucpLock::ParsePid(const std::string& content) {
  size_t i = 0;
  while (i < content.size() && content[i] == ' ') ++i;
  long value = 0;
  size_t digits = 0;
  while (i < content.size() && content[i] >= '0' && content[i] <= '9' && digits < 10) {
    value = value * 10 + (content[i] - '0');
    ++i;
    ++digits;
  }
  if (digits > 0) {
    // Some terminal programs write their name and user behind the PID
    // ("      1234 minicom root"); what follows a blank is theirs to say.
    // Taking such a lock for unreadable would, after the grace period,
    // remove it and open the port under the running program.
    bool ends = i == content.size() || content[i] == '\n' || content[i] == '\r' || content[i] == ' ' ||
                content[i] == '\t';
    return (ends && value > 0 && value <= 0x7FFFFFFF) ? static_cast<pid_t>(value) : 0;
  }
  if (content.size() == sizeof(int32_t)) {
    int32_t binary;
    std::memcpy(&binary, content.data(), sizeof binary);
    // Four bytes of text ("abc\n") would read as an enormous number; a real
    // PID stays below the kernel's limit.
    return (binary > 0 && binary <= kPidMaxLimit) ? static_cast<pid_t>(binary) : 0;
  }
  return 0;
}

UucpLock::Result UucpLock::Acquire(const std::string& lockDir, const std::string& deviceName, pid_t& holder) {
  Release();
  holder = 0;
  std::string path = lockDir + "/LCK.." + deviceName;
  pid_t self = ::getpid();
  std::string content = Content(self);
  // A few rounds: a stale lock removed by us may be retaken by someone else
  // before our own create.
  for (int attempt = 0; attempt < 4; ++attempt) {
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      // The mode is set explicitly so other users' programs can read the
      // PID whatever our umask is.
      ::fchmod(fd, 0644);
      size_t done = 0;
      bool ok = true;
      while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          ok = false;
          break;
        }
        done += static_cast<size_t>(n);
      }
      ::close(fd);
      if (!ok) {
        ::unlink(path.c_str());
        return Result::NoLockDir;
      }
      path_ = path;
      // The PID is looked up when the hook runs: a forked child that ends
      // through the hooks must leave its parent's lock alone.
      exitHook_ = AddExitHook([path] { RemoveIfOurs(path, ::getpid()); });
      return Result::Acquired;
    }
    if (errno != EEXIST) {
      // No lock directory, or one we may not write to: nobody can hold a
      // lock there that we could see, so the device's own exclusive mode is
      // all the protection there is.
      return Result::NoLockDir;
    }
    std::string existing;
    if (!ReadSmallFile(path, existing)) continue;  // removed meanwhile: try again
    pid_t owner = ParsePid(existing);
    if (owner > 0 && ProcessAlive(owner)) {
      holder = owner;
      return Result::Held;
    }
    if (owner == 0) {
      struct stat st {};
      if (::lstat(path.c_str(), &st) == 0 && std::time(nullptr) - st.st_mtime < kUnwrittenGraceSeconds) {
        return Result::Held;
      }
    }
    // Stale: its process is gone.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      holder = owner;
      return Result::Denied;
    }
  }
  return Result::Held;
}

void UucpLock::Release() {
  if (exitHook_ != 0) {
    RemoveExitHook(exitHook_);
    exitHook_ = 0;
  }
  if (!path_.empty()) {
    RemoveIfOurs(path_, ::getpid());
    path_.clear();
  }
}

}  // namespace k470
