#include "simulator/simulated_adapter.h"

namespace k470::sim {

SimulatedAdapter::SimulatedAdapter(VirtualPort& port, World& world, std::string stationId, AdapterOptions options)
    : port_(port), engine_(world, std::move(stationId), *this, std::move(options)) {
  engine_.SetTrace([this](uint64_t at, char direction, std::string_view bytes) {
    // Consecutive pieces of the same direction at the same time are one entry.
    if (!trace_.empty() && trace_.back().at == at && trace_.back().direction == direction) {
      trace_.back().bytes.append(bytes);
    } else {
      trace_.push_back({at, direction, std::string(bytes)});
    }
  });
  port_.AttachFarEnd(this);
  // A port the program already holds open: take up its lines as they are.
  if (port_.IsOpen()) engine_.HostOpen(true);
  engine_.HostLines(port_.Dtr(), port_.Rts());
}

SimulatedAdapter::~SimulatedAdapter() {
  port_.AttachFarEnd(nullptr);
  port_.SetDsr(false);
  port_.SetCts(false);
}

std::string SimulatedAdapter::Sent() const {
  std::string all;
  for (const auto& entry : trace_) {
    if (entry.direction == '<') all += entry.bytes;
  }
  return all;
}

void SimulatedAdapter::OnHostBytes(const uint8_t* data, size_t length) { engine_.HostBytes(data, length); }

void SimulatedAdapter::OnHostLines(bool dtr, bool rts) { engine_.HostLines(dtr, rts); }

void SimulatedAdapter::OnHostOpenChanged(bool open) { engine_.HostOpen(open); }

void SimulatedAdapter::Transmit(std::string_view bytes) { port_.SendToHost(bytes); }

void SimulatedAdapter::SetModemLines(bool dsr, bool cts) {
  port_.SetDsr(dsr);
  port_.SetCts(cts);
}

Simulation::Simulation(VirtualClock& clock, uint64_t seed)
    : scheduler_(clock), world_(std::make_unique<World>(scheduler_, seed)) {}

Simulation::~Simulation() {
  // Adapters first: they leave the world's observers and windows.
  adapters_.clear();
  world_.reset();
}

SimulatedAdapter& Simulation::Attach(VirtualPort& port, std::string_view stationId, AdapterOptions options) {
  if (options.seed == 1) options.seed = world_->Seed() + adapters_.size();
  adapters_.push_back(std::make_unique<SimulatedAdapter>(port, *world_, std::string(stationId), std::move(options)));
  return *adapters_.back();
}

}  // namespace k470::sim
