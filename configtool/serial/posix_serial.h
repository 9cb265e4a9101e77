// The serial device on Linux: termios on a real port or a pseudo-terminal.
//
// Opening takes the device exclusively (a UUCP lock file, then TIOCEXCL) and
// never touches the active kernel console. Each open line has its own reader
// thread, created with the line and ended by Close; it sleeps in poll on the
// device and on a wake-up descriptor, so it costs no CPU while idle and can be
// paused at once.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "configtool/serial/port_names.h"
#include "configtool/serial/posix_lock_file.h"
#include "configtool/serial/serial_line.h"

namespace k470 {

// errno of a failed open, in the program's terms.
OpenError MapOpenErrno(int err);

// The group that owns a device ("dialout" for the serial ports of most
// distributions), for telling a user without access which group to join.
// Empty when the device cannot be looked at.
std::string DeviceGroup(const std::string& devicePath);

class PosixSerialLine : public ISerialLine {
 public:
  // Takes ownership of the open descriptor and of the lock.
  PosixSerialLine(int fd, std::string device, std::unique_ptr<UucpLock> lock);
  ~PosixSerialLine() override;
  PosixSerialLine(const PosixSerialLine&) = delete;
  PosixSerialLine& operator=(const PosixSerialLine&) = delete;

  bool Configure() override;
  // A device without modem-control lines (a pseudo-terminal answers every
  // modem ioctl with ENOTTY or EINVAL) takes the call as done.
  bool SetDtr(bool on) override;
  bool SetRts(bool on) override;
  // Without modem-control lines DSR and CTS read as on; whether a station is
  // there is then for the detection sequence to find out.
  bool GetModemStatus(uint32_t& status) override;
  bool SetHandshake(bool on) override;
  bool Purge() override;
  WriteResult Write(const uint8_t* data, size_t length) override;
  // The sink is called on the reader thread, one call per block of at most
  // 80 bytes, in arrival order.
  bool StartReader(IReceiveSink* sink) override;
  // Returns once the reader is outside the sink and outside poll and read;
  // it stays so until StartReader. Called from inside the sink it only
  // stops further reading (it cannot wait for itself).
  void PauseReader() override;
  // Pauses and ends the reader, closes the device and removes the lock.
  void Close() override;

  // A device that reported a hang-up or an I/O error (a pseudo-terminal
  // whose other end closed, a USB adapter pulled out) is not read again
  // until the next StartReader: polling it would return at once, for ever.
  // The silence that follows is for the protocol layer to notice, as it
  // notices a station that stops answering.
  bool DeviceGone() const;
  // For tests and benchmarks: how often the reader came out of poll, and
  // its kernel thread id (for its CPU time in /proc).
  uint64_t ReaderWakeups() const { return wakeups_.load(); }
  pid_t ReaderThreadId() const { return readerTid_.load(); }
  const std::string& Device() const { return device_; }
  const std::string& LockPath() const;

 private:
  void ReaderLoop();
  // One poll and what it found; returns false when the device is gone.
  bool ReadRound(IReceiveSink* sink);
  void Wake();

  int fd_;
  int wakeFd_;
  std::string device_;
  std::unique_ptr<UucpLock> lock_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool run_ = false;     // the reader may read
  bool quit_ = false;    // the reader must end
  bool inside_ = false;  // the reader is between its state check and its next wait
  bool gone_ = false;    // the device hung up; no reading until StartReader
  IReceiveSink* sink_ = nullptr;
  std::atomic<bool> running_{false};  // run_, looked at between blocks without the lock
  std::atomic<uint64_t> wakeups_{0};
  std::atomic<pid_t> readerTid_{0};
  std::thread reader_;
};

struct PosixSerialOptions : PortScanOptions {
  // Where the UUCP lock files go.
  std::string lockDir = "/run/lock";
};

class PosixSerialSystem : public ISerialSystem {
 public:
  explicit PosixSerialSystem(PosixSerialOptions options = {});

  std::vector<std::string> EnumeratePorts() override;
  // Refuses (InUse) the active kernel console, this program's own terminal,
  // and a device locked by a live process; takes over a stale lock.
  std::unique_ptr<ISerialLine> Open(const std::string& name, OpenFailure& failure) override;

  // The active kernel console's device names ("ttyS0", "tty0").
  std::vector<std::string> ConsoleDevices() const;

 private:
  bool IsConsole(const std::string& realPath) const;

  PosixSerialOptions options_;
};

}  // namespace k470
