#include "configtool/serial/virtual_port.h"

#include <algorithm>

namespace k470 {
namespace {

constexpr size_t kInputBufferSize = 8192;
constexpr size_t kBlockSize = 80;

}  // namespace

// The program's handle on a virtual port.
class VirtualLine : public ISerialLine {
 public:
  explicit VirtualLine(VirtualPort* port) : port_(port) {
    port_->open_ = true;
    ++port_->openCount_;
    port_->Record('O', true);
    if (port_->farEnd_) port_->farEnd_->OnHostOpenChanged(true);
  }
  ~VirtualLine() override { Close(); }

  bool Configure() override {
    if (port_ == nullptr || port_->failConfigure_) return false;
    port_->handshake_ = false;
    Purge();
    return true;
  }

  bool SetDtr(bool on) override {
    if (port_ == nullptr) return false;
    SetLines(on, port_->rts_);
    return true;
  }

  bool SetRts(bool on) override {
    if (port_ == nullptr) return false;
    SetLines(port_->dtr_, on);
    return true;
  }

  bool GetModemStatus(uint32_t& status) override {
    if (port_ == nullptr) return false;
    bool dsr = !port_->hasModemLines_ || port_->dsr_;
    bool cts = !port_->hasModemLines_ || port_->cts_;
    status = (dsr ? MS_DSR_ON : 0) | (cts ? MS_CTS_ON : 0);
    return true;
  }

  bool SetHandshake(bool on) override {
    if (port_ == nullptr) return false;
    if (port_->handshake_ != on) {
      port_->handshake_ = on;
      port_->Record('H', on);
    }
    return true;
  }

  bool Purge() override {
    if (port_ == nullptr) return false;
    port_->input_.clear();
    port_->Record('P', true);
    return true;
  }

  WriteResult Write(const uint8_t* data, size_t length) override {
    if (port_ == nullptr) return WriteResult::Failed;
    if (port_->writeResult_ != WriteResult::Written) return port_->writeResult_;
    // With the handshake on, the driver holds the bytes back while CTS is
    // off; the write times out.
    if (port_->handshake_ && port_->hasModemLines_ && !port_->cts_) return WriteResult::FailedAfterWait;
    port_->written_.append(reinterpret_cast<const char*>(data), length);
    if (port_->farEnd_) port_->farEnd_->OnHostBytes(data, length);
    return WriteResult::Written;
  }

  bool StartReader(IReceiveSink* sink) override {
    if (port_ == nullptr) return false;
    port_->sink_ = sink;
    port_->Deliver();
    return true;
  }

  void PauseReader() override {
    if (port_ != nullptr) port_->sink_ = nullptr;
  }

  void Close() override {
    if (port_ == nullptr) return;
    VirtualPort* port = port_;
    port_ = nullptr;
    port->sink_ = nullptr;
    port->open_ = false;
    port->handshake_ = false;
    // Closing the device drops DTR and RTS.
    if (port->dtr_ || port->rts_) {
      port->dtr_ = port->rts_ = false;
      port->Record('D', false);
      port->Record('R', false);
      if (port->farEnd_) port->farEnd_->OnHostLines(false, false);
    }
    port->input_.clear();
    port->Record('O', false);
    if (port->farEnd_) port->farEnd_->OnHostOpenChanged(false);
  }

 private:
  void SetLines(bool dtr, bool rts) {
    bool changed = false;
    if (port_->dtr_ != dtr) {
      port_->dtr_ = dtr;
      port_->Record('D', dtr);
      changed = true;
    }
    if (port_->rts_ != rts) {
      port_->rts_ = rts;
      port_->Record('R', rts);
      changed = true;
    }
    if (changed && port_->farEnd_) port_->farEnd_->OnHostLines(dtr, rts);
  }

  VirtualPort* port_;
};

VirtualPort::VirtualPort(std::string name, const VirtualClock* clock) : name_(std::move(name)), clock_(clock) {}

VirtualPort::~VirtualPort() = default;

void VirtualPort::Record(char what, bool on) { events_.push_back({clock_ ? clock_->Now() : 0, what, on}); }

void VirtualPort::SetDsr(bool on) { dsr_ = on; }

void VirtualPort::SetCts(bool on) { cts_ = on; }

void VirtualPort::SendToHost(std::string_view bytes) {
  SendToHost(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void VirtualPort::SendToHost(const uint8_t* data, size_t length) {
  // Nothing reaches a closed port.
  if (!open_) return;
  size_t room = kInputBufferSize - std::min(kInputBufferSize, input_.size());
  input_.append(reinterpret_cast<const char*>(data), std::min(length, room));
  Deliver();
}

void VirtualPort::Deliver() {
  // A sink that sends back from inside OnReceived must not recurse.
  if (delivering_) return;
  delivering_ = true;
  while (sink_ != nullptr && !input_.empty()) {
    size_t n = std::min(kBlockSize, input_.size());
    std::string block = input_.substr(0, n);
    input_.erase(0, n);
    sink_->OnReceived(reinterpret_cast<const uint8_t*>(block.data()), block.size());
  }
  delivering_ = false;
}

VirtualPort& VirtualSerialSystem::AddPort(const std::string& name) {
  ports_.push_back(std::make_unique<VirtualPort>(name, clock_));
  return *ports_.back();
}

VirtualPort* VirtualSerialSystem::Find(const std::string& name) {
  for (auto& port : ports_) {
    if (port->Name() == name) return port.get();
  }
  return nullptr;
}

std::vector<std::string> VirtualSerialSystem::EnumeratePorts() {
  std::vector<std::string> names;
  for (auto& port : ports_) {
    if (std::find(names.begin(), names.end(), port->Name()) == names.end()) names.push_back(port->Name());
  }
  return names;
}

std::unique_ptr<ISerialLine> VirtualSerialSystem::Open(const std::string& name, OpenFailure& failure) {
  failure = OpenFailure{};
  failure.device = name;
  VirtualPort* port = Find(name);
  if (port == nullptr) {
    failure.error = OpenError::NotFound;
    failure.detail = name + ": no such port";
    return nullptr;
  }
  if (port->openError_ != OpenError::None) {
    failure.error = port->openError_;
    failure.detail = name + ": open refused";
    return nullptr;
  }
  if (port->IsOpen()) {
    failure.error = OpenError::InUse;
    failure.detail = name + ": already open";
    return nullptr;
  }
  return std::make_unique<VirtualLine>(port);
}

}  // namespace k470
