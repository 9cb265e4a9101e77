// CComPort: the program's only connection to the adapter. It lists the
// candidate ports once, opens one at 19200 8N1, probes it with the DTR/RTS
// sequence for an attached station, keeps the link state, writes command
// lines and hands received blocks to its listener on the user-interface
// thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "configtool/platform/host.h"
#include "configtool/serial/link_state.h"
#include "configtool/serial/rx_queue.h"
#include "configtool/serial/serial_line.h"

namespace k470 {

// The command channel, as the port sees it. All calls on the user-interface
// thread.
class IPortListener {
 public:
  virtual void OnReceive(const uint8_t* bytes, uint32_t count) = 0;
  virtual void OnPortOpened() = 0;
  virtual void OnPortClosed() = 0;

 protected:
  ~IPortListener() = default;
};

// Final: its owner deletes it through its own type; with the sink's virtual
// function and no virtual destructor, a derived class could not be deleted
// safely that way.
class CComPort final : private IReceiveSink {
 public:
  // Lists the ports at once (EnumeratePorts). Neither reference is owned.
  CComPort(IHost& host, ISerialSystem& system);
  ~CComPort();
  CComPort(const CComPort&) = delete;
  CComPort& operator=(const CComPort&) = delete;

  // Opens name, configures it, probes for a station and starts the reader.
  // Blocks for the probe (about 2.2 s, through the host's sleep).
  bool Open(const std::string& name);
  // Always true. On an open port: pauses the reader, drops the handshake and
  // the lines, closes, discards what was received, waits 20 ms, optionally
  // resets the port info, and tells the listener.
  bool Close(bool reset);
  // Opens the first port from startIndex on that has a station.
  bool OpenFirstAvailable(int startIndex);

  const std::vector<std::string>& GetPortNames() const { return portNames_; }
  std::string GetCurrentPort() const { return currentPort_; }
  int IndexOfCurrentPort() const;
  LinkState GetState() const { return state_; }
  // The station session writes the state directly.
  void SetState(LinkState state) { state_ = state; }
  bool IsOpen() const { return line_ != nullptr; }
  // DSR of the line's modem status; false when closed.
  bool IsDsrOn();
  void SetListener(IPortListener* listener) { listener_ = listener; }

  // True when the text was handed to the port (also when a write that had
  // started did not complete in time); false on a closed port or an
  // immediate failure.
  bool Write(const std::string& text);
  // User-interface thread: drains the receive queue into the listener.
  void DeliverReceived();

  // Why the last Open failed to open the device (kept for the connection
  // page's hint about access rights).
  const OpenFailure& LastOpenFailure() const { return lastFailure_; }
  CRxQueue& RxQueue() { return rxQueue_; }

 private:
  void EnumeratePorts();
  bool Configure();
  bool ProbeStation();
  void ResetPortInfo();
  // Reader side: one block into the queue, one notice to the UI thread.
  void OnReceived(const uint8_t* data, size_t length) override;

  CRxQueue rxQueue_;
  IHost& host_;
  ISerialSystem& system_;
  std::unique_ptr<ISerialLine> line_;
  LinkState state_ = LINK_IDLE;
  std::vector<std::string> portNames_;
  std::string currentPort_;
  IPortListener* listener_ = nullptr;
  OpenFailure lastFailure_;
};

}  // namespace k470
