// An in-process serial port with real modem-line semantics: the program's
// side sets DTR and RTS and reads DSR and CTS; the far end (the simulated
// adapter, or a test) sees DTR and RTS change, sets DSR and CTS, and sends
// bytes. No thread is involved: bytes sent by the far end reach the
// program's receive sink at once while its reader runs, and otherwise wait
// in the input buffer as they would in a driver.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "configtool/platform/virtual_clock.h"
#include "configtool/serial/serial_line.h"

namespace k470 {

// Whatever sits at the adapter's end of a virtual port.
class IVirtualFarEnd {
 public:
  // The program wrote these bytes.
  virtual void OnHostBytes(const uint8_t* data, size_t length) = 0;
  // DTR or RTS changed (both values are given).
  virtual void OnHostLines(bool dtr, bool rts) = 0;
  // The program opened or closed the port.
  virtual void OnHostOpenChanged(bool open) { (void)open; }

 protected:
  ~IVirtualFarEnd() = default;
};

class VirtualPort {
 public:
  // The clock, if given, timestamps the recorded line events.
  explicit VirtualPort(std::string name, const VirtualClock* clock = nullptr);
  ~VirtualPort();
  VirtualPort(const VirtualPort&) = delete;
  VirtualPort& operator=(const VirtualPort&) = delete;

  const std::string& Name() const { return name_; }

  // ---- the far end ----
  void AttachFarEnd(IVirtualFarEnd* farEnd) { farEnd_ = farEnd; }
  void SetDsr(bool on);
  void SetCts(bool on);
  bool Dsr() const { return dsr_; }
  bool Cts() const { return cts_; }
  bool Dtr() const { return dtr_; }
  bool Rts() const { return rts_; }
  bool Handshake() const { return handshake_; }
  bool IsOpen() const { return open_; }
  bool ReaderRunning() const { return sink_ != nullptr; }
  // Bytes towards the program. The input buffer holds 8192 bytes; what does
  // not fit while the reader is paused is lost, as in a driver.
  void SendToHost(const uint8_t* data, size_t length);
  void SendToHost(std::string_view bytes);
  size_t PendingToHost() const { return input_.size(); }

  // ---- faults ----
  // Every open fails with this error (None: opens normally).
  void FailOpen(OpenError error) { openError_ = error; }
  void FailConfigure(bool fail) { failConfigure_ = fail; }
  // Every write ends like this (Written: normal).
  void FailWrites(WriteResult result) { writeResult_ = result; }
  // Without modem lines (a pseudo-terminal): DSR and CTS read as on.
  void SetHasModemLines(bool has) { hasModemLines_ = has; }

  // ---- recording ----
  struct LineEvent {
    uint64_t at;  // virtual time, 0 without a clock
    char what;    // 'D' DTR, 'R' RTS, 'H' handshake, 'O' open, 'P' purge
    bool on;      // new value ('P': always true; 'O': false means closed)
  };
  const std::vector<LineEvent>& LineEvents() const { return events_; }
  void ClearLineEvents() { events_.clear(); }
  // Every byte the program wrote, in order.
  const std::string& Written() const { return written_; }
  void ClearWritten() { written_.clear(); }
  int OpenCount() const { return openCount_; }

 private:
  friend class VirtualLine;
  friend class VirtualSerialSystem;
  void Record(char what, bool on);
  void Deliver();

  std::string name_;
  const VirtualClock* clock_;
  IVirtualFarEnd* farEnd_ = nullptr;
  IReceiveSink* sink_ = nullptr;
  bool open_ = false;
  bool dtr_ = false, rts_ = false, dsr_ = false, cts_ = false, handshake_ = false;
  bool hasModemLines_ = true;
  std::string input_;
  std::string written_;
  std::vector<LineEvent> events_;
  OpenError openError_ = OpenError::None;
  bool failConfigure_ = false;
  WriteResult writeResult_ = WriteResult::Written;
  int openCount_ = 0;
  bool delivering_ = false;
};

// A far end that is only the line signals of a powered adapter: DSR, and CTS
// unless told otherwise, follow DTR; bytes from the program are ignored.
// Detaches itself when it goes, so it must not outlive its port.
class ProbeAnsweringFarEnd final : public IVirtualFarEnd {
 public:
  explicit ProbeAnsweringFarEnd(VirtualPort& port, bool raiseCts = true) : port_(port), raiseCts_(raiseCts) {
    port.AttachFarEnd(this);
  }
  ~ProbeAnsweringFarEnd() { port_.AttachFarEnd(nullptr); }
  ProbeAnsweringFarEnd(const ProbeAnsweringFarEnd&) = delete;
  ProbeAnsweringFarEnd& operator=(const ProbeAnsweringFarEnd&) = delete;

  void OnHostBytes(const uint8_t*, size_t) override {}
  void OnHostLines(bool dtr, bool) override {
    port_.SetDsr(dtr);
    port_.SetCts(dtr && raiseCts_);
  }

 private:
  VirtualPort& port_;
  bool raiseCts_;
};

// A set of named virtual ports, listed in the order they were added.
class VirtualSerialSystem : public ISerialSystem {
 public:
  explicit VirtualSerialSystem(const VirtualClock* clock = nullptr) : clock_(clock) {}
  VirtualPort& AddPort(const std::string& name);
  VirtualPort* Find(const std::string& name);

  std::vector<std::string> EnumeratePorts() override;
  std::unique_ptr<ISerialLine> Open(const std::string& name, OpenFailure& failure) override;

 private:
  const VirtualClock* clock_;
  std::vector<std::unique_ptr<VirtualPort>> ports_;
};

}  // namespace k470
