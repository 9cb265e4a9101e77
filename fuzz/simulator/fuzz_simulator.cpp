// Feeds the simulated adapter arbitrary bytes, modem-line changes, port
// openings, radio events and fault switches, with time passing in between.
// It must never crash, hang or answer out of all proportion.
//
// Input: a script of operations. A byte below 0xF0 starts a chunk: its low
// six bits give the length of the bytes that follow, which go to the
// adapter as received characters. Bytes 0xF0 and above are operations with
// one argument byte each (see below).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "configtool/platform/virtual_clock.h"
#include "simulator/adapter_engine.h"
#include "simulator/scheduler.h"
#include "simulator/world.h"

namespace {

using namespace k470;
using namespace k470::sim;

class Line : public IAdapterLine {
 public:
  void Transmit(std::string_view bytes) override { sent += bytes.size(); }
  void SetModemLines(bool dsr, bool cts) override {
    this->dsr = dsr;
    this->cts = cts;
  }
  size_t sent = 0;
  bool dsr = false, cts = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  VirtualClock clock;
  ClockScheduler scheduler(clock);
  World world(scheduler, data[0]);
  RadioTiming& t = world.Timing();
  t.linkUpMs = 50;
  t.registrationWindowMs = 400;
  t.registerMs = t.deregisterMs = t.pinChangeMs = t.typeChangeMs = t.factoryResetMs = 30;
  t.restartMs = 200;
  t.autoRegisterMs = 20;
  world.AddStation({.id = "Lokal", .type = (data[0] & 1) ? StationType::Handset : StationType::Base, .slots = 3});
  world.AddStation({.id = "Basis", .type = StationType::Base, .pin = "1234", .slots = 2});
  world.AddStation({.id = "Mobil", .type = StationType::Handset});
  world.Register("Mobil", "Basis");
  if (data[0] & 1) world.Register("Lokal", "Basis");

  AdapterOptions options;
  options.pace = data[0] & 2;
  options.lineFeeds = data[0] & 4;
  options.maxLine = 64;
  Line line;
  AdapterEngine engine(world, "Lokal", line, options);
  engine.HostOpen(true);
  engine.HostLines(true, true);

  size_t received = 0;
  size_t i = 1;
  while (i < size) {
    uint8_t op = data[i++];
    if (op < 0xF0) {
      size_t n = std::min<size_t>(op & 0x3F, size - i);
      engine.HostBytes(data + i, n);
      received += n;
      i += n;
      continue;
    }
    uint8_t arg = i < size ? data[i++] : 0;
    Faults faults = engine.Options().faults;
    switch (op) {
      case 0xF0: clock.Advance(arg * 8u); break;
      case 0xF1: engine.HostLines(arg & 1, arg & 2); break;
      case 0xF2: engine.HostOpen(arg & 1); break;
      case 0xF3: world.SetInRange("Basis", arg & 1); break;
      case 0xF4: world.SetPowered(arg & 2 ? "Lokal" : "Basis", arg & 1); break;
      case 0xF5: world.PressRegistrationButton("Basis"); break;
      case 0xF6: world.SetWaitingHandset("Lokal", arg & 1 ? "1234" : "4693", arg % 4 - 1); break;
      case 0xF7:
        faults.echo = arg & 1;
        faults.reply = arg & 2;
        faults.remoteConfig = arg & 4;
        faults.incompatible = arg & 8;
        faults.notAdapter = arg & 16;
        faults.dsrDrop = arg & 32;
        faults.count = (arg & 64) ? 1 : -1;
        faults.onlyCommand = (arg & 128) ? "#C" : "";
        engine.SetFaults(faults);
        break;
      case 0xF8:
        faults.replyDelayMs = arg * 4u;
        faults.garbageBytes = arg % 8;
        faults.sprinklePercent = arg % 50;
        faults.noisePeriodMs = (arg & 1) ? 0 : 100 + arg;
        faults.noiseBytes = arg % 5;
        engine.SetFaults(faults);
        break;
      case 0xF9: engine.SetAttachment(static_cast<Attachment>(arg % 3)); break;
      case 0xFA: engine.SetPace(arg & 1); break;
      default: clock.Advance(1); break;
    }
    // The lines the program sees always follow the adapter's state.
    if (line.dsr && !(engine.GetPhase() == AdapterEngine::Phase::Config ||
                      engine.GetPhase() == AdapterEngine::Phase::Operating))
      abort();
  }
  clock.Advance(5000);
  // Each received byte is echoed at most once and starts at most one
  // answer of bounded size; noise adds at most its bursts.
  size_t bound = received * 2 + (received + 16) * 200 + 5000 * 8;
  if (line.sent > bound) abort();
  return 0;
}
