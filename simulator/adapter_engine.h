// The serial side of one simulated adapter: what it does with the bytes and
// modem lines of the program, independent of what carries them (a
// VirtualPort in-process, a pseudo-terminal in k470sim).
//
// Conversation, as the program expects it:
//   - every received character is echoed at once (a command line is thus
//     echoed whole, including its CR, before anything else);
//   - a line "AT" + prefix + command + argument + CR ("AT^GETPRE" + CR
//     without prefix) is answered with its information lines, each ended
//     by CR (CR LF with lineFeeds), then CR + result word + CR (with
//     lineFeeds: the information block starts with CR LF, the result word is
//     framed CR LF ... CR LF);
//   - unknown commands and missing or malformed arguments: ERROR;
//   - a line arriving while a radio procedure runs (the program's bare CR
//     when the user cancels) ends the procedure: RadioTiming::cancelMs
//     later the adapter answers FAILURE, and the procedure leaves nothing
//     half done. A bare CR at any other time is echoed and otherwise ignored.
//
// Phases: Config (answers commands) is entered when the program probes the
// line (DTR rises while the adapter is ready); "O" answers OK and moves to
// Operating, where no command is answered until the next probe. After the OK
// of "^KBASC" or "&F" has left the wire the adapter restarts: DSR and CTS
// drop, the line is silent for RadioTiming::restartMs, then it is ready again
// in Operating until probed.
//
// Re-entrancy: the Host* entry points are called from inside the program's
// own calls (a write, a DTR change); they only record and schedule. Bytes
// towards the program leave only from scheduled tasks, never from inside a
// Host* call. Modem lines are changed at once (the probe reads them after
// its own waits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/scheduler.h"
#include "simulator/sim_random.h"
#include "simulator/world.h"

namespace k470::sim {

// What the program finds on the port.
enum class Attachment {
  Adapter,   // an adapter: DSR and CTS answer the probe
  Nothing,   // nothing attached: no DSR, no CTS, no bytes
  DsrNoCts,  // something that raises DSR but never CTS
};

// Faults, switchable at any time. The reply faults (reply, replyDelayMs,
// garbageBytes, sprinklePercent, remoteConfig) can be narrowed to one command
// (onlyCommand) and to a number of lines (count).
struct Faults {
  bool echo = true;              // false: received characters are not echoed
  bool reply = true;             // false: no information and no result word
  uint32_t replyDelayMs = 0;     // answers leave this long after the CR (late answer: > 3000)
  uint32_t garbageBytes = 0;     // this many random bytes in front of every answer
  uint32_t sprinklePercent = 0;  // chance per answer byte of a NUL, an LF or a character + BS before it
  uint32_t noisePeriodMs = 0;    // line noise: a burst every period while the port is open (0: off)
  uint32_t noiseBytes = 8;       //   bytes per burst
  bool remoteConfig = false;     // every command is answered REMOTE_CONFIG
  bool incompatible = false;     // "C" answers 0
  bool notAdapter = false;       // the local "I2" answers ERROR
  bool dsrDrop = false;          // DSR off (CTS stays); the adapter neither hears nor answers
  std::string onlyCommand{};     // reply faults hit only this command text ("#C", "I2", "^GETPRE", ...)
  int count = -1;                // reply faults hit this many more lines, then switch off; -1: always
};

struct AdapterOptions {
  std::string prefix = "+KDV24";  // what "AT^GETPRE" reports; "+KDV24" is accepted too
  bool lineFeeds = true;          // CR LF framing (false: CR only)
  bool pace = false;              // 19200 bit/s 8N1 both ways: 1920 characters per second
  Attachment attachment = Attachment::Adapter;
  size_t maxLine = 256;           // longer lines are answered ERROR
  // A probe finds the adapter already in its configuration state without
  // one (k470sim: a pseudo-terminal carries no DTR).
  bool alwaysConfig = false;
  uint64_t seed = 1;              // garbage, noise and sprinkling
  Faults faults{};
};

// Where the adapter's bytes and modem lines go.
class IAdapterLine {
 public:
  virtual void Transmit(std::string_view bytes) = 0;
  virtual void SetModemLines(bool dsr, bool cts) = 0;

 protected:
  ~IAdapterLine() = default;
};

class AdapterEngine final : private IWorldObserver {
 public:
  enum class Phase { Off, Restarting, Operating, Config };

  // The station must exist in the world; both outlive the engine.
  AdapterEngine(World& world, std::string stationId, IAdapterLine& line, AdapterOptions options = {});
  ~AdapterEngine();
  AdapterEngine(const AdapterEngine&) = delete;
  AdapterEngine& operator=(const AdapterEngine&) = delete;

  // ---- the program's side ----
  void HostBytes(const uint8_t* data, size_t length);
  void HostLines(bool dtr, bool rts);
  void HostOpen(bool open);

  // ---- state and knobs ----
  Phase GetPhase() const { return phase_; }
  Station& GetStation();
  World& GetWorld() { return world_; }
  const AdapterOptions& Options() const { return options_; }
  Faults& MutableFaults() { return options_.faults; }
  void SetFaults(const Faults& faults);
  void SetPace(bool on) { options_.pace = on; }
  void SetLineFeeds(bool on) { options_.lineFeeds = on; }
  void SetPrefix(std::string prefix) { options_.prefix = std::move(prefix); }
  void SetAttachment(Attachment attachment);
  // Re-reads DSR/CTS after a fault or power change (done by the setters).
  void UpdateModemLines();
  bool Dsr() const { return dsr_; }
  bool Cts() const { return cts_; }
  bool ProcedureRunning() const { return !procedureCommand_.empty(); }
  // Time the last queued byte towards the program leaves the wire.
  uint64_t OutputIdleAt() const;

  // Every byte in either direction: '>' from the program (when the adapter
  // takes it in), '<' to the program (when it leaves the wire), with time.
  using Trace = std::function<void(uint64_t ms, char direction, std::string_view bytes)>;
  void SetTrace(Trace trace) { trace_ = std::move(trace); }

 private:
  struct Reply;
  void TakeByte(uint8_t c);
  void OnLine(std::string line);
  void Execute(const std::string& command, const std::string& args, Reply& reply);
  // Sends the answer now (no delay) or when the reply faults say.
  void Answer(Reply reply, bool faulty);
  void Emit(std::string bytes);
  void StartProcedure(const std::string& command, uint64_t delayMs, std::function<Reply()> finish);
  void FinishProcedure(Result result);
  void CancelProcedure();
  void Restart();
  void EnterPhase(Phase phase);
  void ScheduleNoise();
  bool ReplyFaultApplies(const std::string& command);
  void OnStationChanged(const std::string& stationId) override;

  World& world_;
  std::string stationId_;
  IAdapterLine& line_;
  AdapterOptions options_;
  TaskGroup tasks_;
  SplitMix64 random_;
  Trace trace_;

  Phase phase_ = Phase::Operating;
  bool hostOpen_ = false, dtr_ = false, rts_ = false, dsr_ = false, cts_ = false;
  std::string lineBuffer_;
  bool lineOverflow_ = false;
  // The running radio procedure: its command (empty: none), its timer, the
  // registration window it holds open, and whether reply faults hit it.
  std::string procedureCommand_;
  IScheduler::Handle procedure_ = 0;
  std::string procedureBase_;
  bool procedureFaulty_ = false;
  IScheduler::Handle restartTask_ = 0, noiseTask_ = 0;
  uint64_t generation_ = 0;  // answers from before a power loss or restart are dropped

  // The two directions of the wire, in units of 1/1,920,000 s (see the .cpp).
  uint64_t inputBusyUntil_ = 0, outputBusyUntil_ = 0;
  uint64_t emitNotBefore_ = 0;
  std::string batch_;  // unpaced bytes of this instant, not yet on the line  // arrival of the character being handled, 0: now
};

// The text of "&V" for a station: "B1 \R7 \F2 \P0 \Q2 #T0 #D0", every key
// present once (#D only with a chosen partner), at least 20 characters.
std::string SettingsReport(const Station& station);
// The quoting of names that equal a result word.
std::string QuoteName(const std::string& name);

}  // namespace k470::sim
