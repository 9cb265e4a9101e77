// The serial-device interface under CComPort. Two implementations: POSIX
// (termios on a real device or a pseudo-terminal) and virtual (in-process,
// with real modem-line semantics, for tests and the in-process simulator).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace k470 {

// Modem-status bits, as the line reports them.
constexpr uint32_t MS_CTS_ON = 0x10;
constexpr uint32_t MS_DSR_ON = 0x20;

// Why a port could not be opened.
enum class OpenError {
  None,
  NotFound,      // no such device (ENOENT, ENODEV, ENXIO)
  AccessDenied,  // the device exists but we may not use it (EACCES, EPERM)
  InUse,         // the device exists but another program holds it (EBUSY, lock file, console)
  Other,         // anything else (the port is not counted as missing)
};

struct OpenFailure {
  OpenError error = OpenError::None;
  int sysErrno = 0;    // errno of the failing call, 0 if none
  std::string device;  // the device path that was tried, if any
  std::string detail;  // one line for people: which call failed and why
};

enum class WriteResult {
  Written,          // every byte was handed to the driver
  Failed,           // failed at once; nothing more happened
  FailedAfterWait,  // started but did not complete within the write time-out
};

// Receives the bytes the reader took from the line, in arrival order, in
// chunks of at most 80 bytes. Called on the reader's thread (POSIX) or on the
// thread that fed the virtual line.
class IReceiveSink {
 public:
  virtual void OnReceived(const uint8_t* data, size_t length) = 0;

 protected:
  ~IReceiveSink() = default;
};

// One open port. Everything but the reader runs on the user-interface thread.
class ISerialLine {
 public:
  virtual ~ISerialLine() = default;

  // 19200 bit/s, 8N1, raw bytes, no flow control, DTR and RTS left to us,
  // both directions purged.
  virtual bool Configure() = 0;
  virtual bool SetDtr(bool on) = 0;
  virtual bool SetRts(bool on) = 0;
  // MS_DSR_ON and MS_CTS_ON. A device without modem-control lines (a
  // pseudo-terminal) reports both on.
  virtual bool GetModemStatus(uint32_t& status) = 0;
  // RTS/CTS hardware handshake on (after the probe) or off (before close).
  virtual bool SetHandshake(bool on) = 0;
  // Drops everything waiting in either direction.
  virtual bool Purge() = 0;
  // Waits at most 1000 ms for the bytes to reach the driver.
  virtual WriteResult Write(const uint8_t* data, size_t length) = 0;
  // Lets the reader run: from now on received bytes go to sink.
  virtual bool StartReader(IReceiveSink* sink) = 0;
  // Stops the reader. On return the reader is not inside the sink and not
  // inside a wait or read on the device, and will not be until StartReader.
  virtual void PauseReader() = 0;
  // Closes the device. The reader must be paused.
  virtual void Close() = 0;
};

// Where ports come from.
class ISerialSystem {
 public:
  virtual ~ISerialSystem() = default;
  // The candidate port names in list order, duplicates removed.
  virtual std::vector<std::string> EnumeratePorts() = 0;
  // Opens a port by its list name; on failure returns null and fills failure.
  virtual std::unique_ptr<ISerialLine> Open(const std::string& name, OpenFailure& failure) = 0;
};

}  // namespace k470
