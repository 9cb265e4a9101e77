// The simulated adapter's end of a pseudo-terminal, for k470sim: the program
// opens the slave side like a serial port, the simulator reads and writes
// the master side.
//
// A pseudo-terminal carries no modem lines (every modem-line ioctl fails), so
// the program's open of the slave stands in for its DTR/RTS probe: the
// master reports POLLHUP while no slave is open and stops when one is. The
// server opens and closes the slave once itself at start, so "no slave yet"
// shows as POLLHUP too. While the master hangs up it must not be polled for
// events (POLLHUP would wake every poll at once); the loop checks it with
// CheckSlave() at each turn instead, with a short time-out. A purge of both
// directions by the slave (the program configuring the port it opened) is
// taken as a probe as well, so a close and reopen quicker than the loop is
// not missed.
//
// Bytes the adapter sends while no slave is open are dropped, as a serial
// line drops them with nobody listening.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "simulator/adapter_engine.h"

namespace k470::sim {

class PtyServer final : public IAdapterLine {
 public:
  PtyServer() = default;
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Creates the pair and sets the slave raw at 19200 8N1, the way the
  // program sets it (so nothing is echoed by the terminal layer before the
  // program has opened it).
  bool Open(std::string& error);
  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // Hears the program's bytes and its opening and closing of the slave.
  void SetEngine(AdapterEngine* engine) { engine_ = engine; }
  bool SlaveOpen() const { return slaveOpen_; }

  // What to poll the master for this turn (0: do not poll it; a slave is
  // not open) and the reaction to what poll reported.
  short MasterEvents() const;
  void OnMasterEvents(short revents);
  // Looks whether a slave has been opened meanwhile (call at every turn).
  void CheckSlave();
  // Longest wait of a turn while no slave is open.
  static constexpr int kSlaveCheckMs = 10;

  // IAdapterLine
  void Transmit(std::string_view bytes) override;
  void SetModemLines(bool dsr, bool cts) override {
    (void)dsr;
    (void)cts;
  }

  // Bytes written to and read from the master since the start.
  size_t BytesOut() const { return bytesOut_; }
  size_t BytesIn() const { return bytesIn_; }

 private:
  void SlaveOpened();
  void SlaveClosed();
  void Purged();
  void Flush();

  int master_ = -1;
  std::string slavePath_;
  AdapterEngine* engine_ = nullptr;
  bool slaveOpen_ = false;
  std::string output_;
  size_t bytesOut_ = 0, bytesIn_ = 0;
};

}  // namespace k470::sim
