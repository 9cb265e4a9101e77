// UUCP lock files: the convention by which programs on Linux tell each other
// that a serial device is taken. The file LCK..<device> in the lock
// directory holds the owner's PID as ten characters, right-aligned, and a
// newline. A lock whose process is gone is stale and may be taken over.
#pragma once

#include <sys/types.h>

#include <string>

namespace k470 {

class UucpLock {
 public:
  enum class Result {
    Acquired,   // the lock is ours until Release
    Held,       // another process (or another port object of ours) holds it
    NoLockDir,  // the lock directory cannot take our file; nobody holds one
    Denied,     // a stale lock exists but we may not remove it
  };

  UucpLock() = default;
  ~UucpLock() { Release(); }
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;

  // The lock's device name for a resolved device path: the path below
  // devRoot with '/' replaced by '_' (/dev/pts/3 -> pts_3, the way other
  // serial programs name it), else the path's last component.
  static std::string DeviceName(const std::string& realDevicePath, const std::string& realDevRoot);
  // The file's content for a PID.
  static std::string Content(pid_t pid);
  // The PID a lock file names: ten characters of ASCII digits (leading
  // blanks allowed, anything behind the number after a blank ignored), or
  // the four-byte binary form very old programs wrote. 0 when the content
  // names none.
  static pid_t ParsePid(const std::string& content);

  // Takes LCK..<deviceName> in lockDir. On Held, holder is the owner's PID
  // (0 when the file is being written right now). Our lock is removed by
  // Release, by the destructor, and by the exit hooks when the process ends
  // through _exit.
  Result Acquire(const std::string& lockDir, const std::string& deviceName, pid_t& holder);
  // Removes our lock file, if it still names us. Safe to call twice.
  void Release();

  bool Held() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int exitHook_ = 0;
};

}  // namespace k470
