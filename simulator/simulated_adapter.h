// The in-process adapter simulator: a simulated adapter at the far end of a
// VirtualPort, on the VirtualClock, for the protocol, page and GUI tests.
//
// A Simulation owns the radio world (stations, links, procedures) and the
// adapters attached to virtual ports. Everything it does in time is a world
// event of the clock: it happens while the VirtualHost runs its loop or
// sleeps, never by itself, and the same inputs give the same bytes at the
// same virtual times.
//
// Example: the local adapter is a handset registered at a simulated base in
// range; the program finds it on COM1, reads it and sees the radio link.
//
//   #include "configtool/platform/virtual_host.h"
//   #include "configtool/serial/virtual_port.h"
//   #include "simulator/simulated_adapter.h"
//
//   using namespace k470;
//   VirtualHost host;
//   VirtualSerialSystem ports(&host.Clock());
//   VirtualPort& com1 = ports.AddPort("COM1");
//
//   sim::Simulation simulation(host.Clock());
//   sim::World& world = simulation.GetWorld();
//   world.AddStation({.id = "Lokal", .type = sim::StationType::Handset});
//   world.AddStation({.id = "Basis", .type = sim::StationType::Base, .pin = "1234"});
//   world.Register("Lokal", "Basis");            // both tables, partner chosen
//   sim::SimulatedAdapter& adapter = simulation.Attach(com1, "Lokal");
//
//   // ... create CComPort/channel/session on `ports`, open COM1, run the host ...
//
//   adapter.GetFaults().echo = false;            // from now on: no echo
//   adapter.SetFaults({.dsrDrop = true});        // DSR off, adapter deaf and mute
//   adapter.SetFaults({});                       // all faults off again
//   world.SetInRange("Basis", false);            // the link goes down
//   world.PressRegistrationButton("Basis");      // the base's window opens
//   adapter.Engine().SetAttachment(sim::Attachment::Nothing);  // cable pulled
//
// A station that only the radio reaches (the partner) needs no port: add it
// to the world. Several adapters may be attached to several ports of the
// same world (two programs, one per station).
//
// Timing knobs: world.Timing() (link set-up, procedures, restart); per
// adapter: AdapterOptions (prefix, CR LF framing, pacing at 1920 characters
// per second, attachment) and Faults (see adapter_engine.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "configtool/platform/virtual_clock.h"
#include "configtool/serial/virtual_port.h"
#include "simulator/adapter_engine.h"
#include "simulator/scheduler.h"
#include "simulator/world.h"

namespace k470::sim {

class SimulatedAdapter final : private IVirtualFarEnd, private IAdapterLine {
 public:
  // Attaches itself to the port as its far end; detaches when destroyed.
  SimulatedAdapter(VirtualPort& port, World& world, std::string stationId, AdapterOptions options = {});
  ~SimulatedAdapter();
  SimulatedAdapter(const SimulatedAdapter&) = delete;
  SimulatedAdapter& operator=(const SimulatedAdapter&) = delete;

  AdapterEngine& Engine() { return engine_; }
  // Echo and reply faults take effect with the next byte; SetFaults also
  // acts on the line at once (dsrDrop, noise).
  Faults& GetFaults() { return engine_.MutableFaults(); }
  void SetFaults(const Faults& faults) { engine_.SetFaults(faults); }
  Station& GetStation() { return engine_.GetStation(); }
  VirtualPort& Port() { return port_; }

  // Every byte on the wire in order, with the time it was taken in ('>')
  // or left the adapter ('<'): the conversation as an analyser would show it.
  struct TraceEntry {
    uint64_t at;
    char direction;
    std::string bytes;
  };
  const std::vector<TraceEntry>& TraceLog() const { return trace_; }
  void ClearTrace() { trace_.clear(); }
  // Everything the adapter sent, as one string.
  std::string Sent() const;

 private:
  void OnHostBytes(const uint8_t* data, size_t length) override;
  void OnHostLines(bool dtr, bool rts) override;
  void OnHostOpenChanged(bool open) override;
  void Transmit(std::string_view bytes) override;
  void SetModemLines(bool dsr, bool cts) override;

  VirtualPort& port_;
  AdapterEngine engine_;
  std::vector<TraceEntry> trace_;
};

// The world on a virtual clock plus the adapters attached to ports.
class Simulation {
 public:
  explicit Simulation(VirtualClock& clock, uint64_t seed = 1);
  ~Simulation();

  World& GetWorld() { return *world_; }
  IScheduler& Scheduler() { return scheduler_; }
  // The station must exist. The adapter lives as long as the simulation.
  SimulatedAdapter& Attach(VirtualPort& port, std::string_view stationId, AdapterOptions options = {});

 private:
  ClockScheduler scheduler_;
  std::unique_ptr<World> world_;
  std::vector<std::unique_ptr<SimulatedAdapter>> adapters_;
};

}  // namespace k470::sim
