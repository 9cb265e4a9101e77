// A test's end of a virtual port: opens it like the program does (DTR and
// RTS on), writes lines and collects what the simulated adapter sends, with
// the virtual time of every piece.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "configtool/platform/virtual_clock.h"
#include "configtool/serial/serial_line.h"
#include "configtool/serial/virtual_port.h"
#include "simulator/simulated_adapter.h"

namespace k470::sim::testing {

class Harness : private IReceiveSink {
 public:
  Harness() : ports_(&clock_), port_(ports_.AddPort("COM1")), simulation_(clock_) {}

  VirtualClock& Clock() { return clock_; }
  World& GetWorld() { return simulation_.GetWorld(); }
  VirtualPort& Port() { return port_; }
  VirtualSerialSystem& Ports() { return ports_; }
  Simulation& GetSimulation() { return simulation_; }
  SimulatedAdapter& Adapter() { return *adapter_; }

  // A handset "Lokal" registered at the base "Basis" (slot 0 on both sides).
  void AddLinkedPair() {
    GetWorld().AddStation({.id = "Lokal", .type = StationType::Handset, .hardware = "HW 1", .firmware = "FW 1"});
    GetWorld().AddStation({.id = "Basis", .type = StationType::Base, .hardware = "HW 2", .firmware = "FW 2"});
    GetWorld().Register("Lokal", "Basis");
  }

  SimulatedAdapter& Attach(const std::string& station, AdapterOptions options = {}) {
    adapter_ = &simulation_.Attach(port_, station, std::move(options));
    return *adapter_;
  }

  // Opens the port and probes it the short way: DTR and RTS on.
  void Open() {
    OpenFailure failure;
    line_ = ports_.Open(port_.Name(), failure);
    line_->Configure();
    line_->SetDtr(true);
    line_->SetRts(true);
    line_->StartReader(this);
  }
  void Close() {
    if (!line_) return;
    line_->PauseReader();
    line_->Close();
    line_.reset();
  }
  // Drops DTR and raises it again: a new probe.
  void Reprobe() {
    line_->SetDtr(false);
    line_->SetDtr(true);
  }

  void Write(const std::string& bytes) {
    line_->Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  // Writes the line and runs the clock for ms; returns what came back.
  std::string Talk(const std::string& bytes, uint64_t ms = 0) {
    Clear();
    Write(bytes);
    clock_.Advance(ms);
    return received_;
  }
  // "AT+KDV24" + command + CR.
  std::string Ask(const std::string& command, uint64_t ms = 0) { return Talk("AT+KDV24" + command + "\r", ms); }

  // Runs the clock until the received text contains what, at most limitMs.
  bool RunUntilReceived(const std::string& what, uint64_t limitMs) {
    uint64_t end = clock_.Now() + limitMs;
    while (received_.find(what) == std::string::npos) {
      auto next = clock_.NextDue();
      if (!next || *next > end) {
        clock_.AdvanceTo(end);
        return received_.find(what) != std::string::npos;
      }
      clock_.AdvanceTo(*next);
    }
    return true;
  }

  const std::string& Received() const { return received_; }
  const std::vector<std::pair<uint64_t, std::string>>& Pieces() const { return pieces_; }
  void Clear() {
    received_.clear();
    pieces_.clear();
  }
  // Time at which the received text first reached size n.
  uint64_t TimeOfByte(size_t n) const {
    size_t seen = 0;
    for (const auto& [at, bytes] : pieces_) {
      seen += bytes.size();
      if (seen > n) return at;
    }
    return UINT64_MAX;
  }

 private:
  void OnReceived(const uint8_t* data, size_t length) override {
    std::string bytes(reinterpret_cast<const char*>(data), length);
    received_ += bytes;
    if (!pieces_.empty() && pieces_.back().first == clock_.Now()) {
      pieces_.back().second += bytes;
    } else {
      pieces_.emplace_back(clock_.Now(), bytes);
    }
  }

  VirtualClock clock_;
  VirtualSerialSystem ports_;
  VirtualPort& port_;
  Simulation simulation_;
  SimulatedAdapter* adapter_ = nullptr;
  std::unique_ptr<ISerialLine> line_;
  std::string received_;
  std::vector<std::pair<uint64_t, std::string>> pieces_;
};

// Echo + CR LF framed answer, as the adapter sends it by default.
inline std::string Framed(const std::string& line, const std::vector<std::string>& info, const std::string& word) {
  std::string out = line;
  if (!info.empty()) {
    out += "\r\n";
    for (const auto& i : info) out += i + "\r\n";
  }
  return out + "\r\n" + word + "\r\n";
}

}  // namespace k470::sim::testing
