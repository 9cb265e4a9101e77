// The radio world: the simulated stations, the radio links between them,
// the data connections, registration windows and the synchronous halves of
// the radio procedures. The timed halves (how long a registration takes, the
// cancel by a bare CR) live in the AdapterEngine that runs the command.
//
// A radio link joins a station S and its chosen partner P (the entry
// S.PartnerIndex() of S's table) when
//   - both are on air (powered, in range, not restarting),
//   - one is a base and the other a handset, and
//   - each has the other in its current registration table;
// it comes up RadioTiming::linkUpMs after those conditions start to hold and
// goes down at once when one of them ends. A base may hold links to several
// handsets; its own "#C" reports the link to the partner it has chosen.
//
// The data connection ("#V1"/"#V0") belongs to the base of a link: at most
// one handset holds a base's data connection at a time.
//
// Deterministic: everything runs on the given scheduler; signal and quality
// readings vary by a pseudo-random sequence from the seed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "simulator/scheduler.h"
#include "simulator/sim_random.h"
#include "simulator/station.h"

namespace k470::sim {

// How long the radio takes. Every value is configurable (scenario "timing").
struct RadioTiming {
  uint32_t linkUpMs = 1500;            // partner reachable -> "#C" answers 1
  uint32_t registrationWindowMs = 30000;  // a base's window ("^KENB" or its button)
  uint32_t registerMs = 2500;          // "^KOAC" until its answer
  uint32_t autoRegisterMs = 2000;      // a waiting handset registers this long after a window opens
  uint32_t deregisterMs = 1200;        // "^KATC"
  uint32_t pinChangeMs = 800;          // "^CHGPIN"
  uint32_t typeChangeMs = 600;         // "^KBASC" until its OK
  uint32_t factoryResetMs = 400;       // "&F" until its OK
  uint32_t restartMs = 3000;           // after "^KBASC"/"&F": DSR and CTS off, line silent
  uint32_t baseFullMs = 300;           // "^KENB" on a full base until BASE_FULL
  uint32_t cancelMs = 150;             // a bare CR in a procedure until its FAILURE
};

// Something that wants to hear about the world (the adapters, the log).
class IWorldObserver {
 public:
  // Power, range or restart of a station changed.
  virtual void OnStationChanged(const std::string& stationId) { (void)stationId; }
  // A radio link came up or went down.
  virtual void OnLinkChanged(const std::string& a, const std::string& b, bool up) {
    (void)a, (void)b, (void)up;
  }

 protected:
  ~IWorldObserver() = default;
};

class World {
 public:
  explicit World(IScheduler& scheduler, uint64_t seed = 1);
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  IScheduler& Scheduler() { return tasks_.Scheduler(); }
  RadioTiming& Timing() { return timing_; }
  uint64_t Seed() const { return seed_; }
  // Starts the readings' pseudo-random sequence afresh.
  void SetSeed(uint64_t seed) {
    seed_ = seed;
    random_ = SplitMix64(seed);
  }

  // ---- stations ----
  // Adds a station; its config is checked (unique id, name 1-20 characters,
  // PIN 1-8 digits, 1-10 slots). Returns null with a reason on a bad config.
  Station* AddStation(const StationConfig& config, std::string* error = nullptr);
  Station* Find(std::string_view id);
  const Station* Find(std::string_view id) const;
  std::vector<Station*> Stations();

  // ---- set-up and the user's hands on the far stations ----
  // Registers handset at base at once, into the given slots (-1: the first
  // free one). With select, each side whose partner is unset (or a free
  // slot) takes the other as its partner.
  bool Register(std::string_view handset, std::string_view base, int handsetSlot = -1, int baseSlot = -1,
                bool select = true, std::string* error = nullptr);
  // An entry naming a station that is not simulated (never reachable).
  bool AddForeignEntry(std::string_view station, int slot, const std::string& nameUtf8,
                       std::string* error = nullptr);
  bool SelectPartner(std::string_view station, int slot);
  void SetPowered(std::string_view station, bool on);
  void SetInRange(std::string_view station, bool in);
  // The user presses the base's registration button: the window opens for
  // RadioTiming::registrationWindowMs, also on a full base (false for a
  // handset or a base that is off).
  bool PressRegistrationButton(std::string_view base);
  // The handset registers by itself with pin into slot (-1: first free) at
  // the first base in range whose window opens (once).
  bool SetWaitingHandset(std::string_view handset, const std::string& pin, int slot = -1);

  // ---- the radio state ----
  bool IsLinked(std::string_view station) const;  // "#C" of that station
  // The station's chosen partner while the link to it is up.
  Station* LinkedPartner(std::string_view station);
  // Index of station in its linked partner's table, -1 without a link.
  int OwnIndexAtPartner(std::string_view station);
  // "#W": whether the entry holds the data connection.
  bool HoldsDataConnection(std::string_view station, int slot) const;
  // "#I0"/"#I1" of a station: its configured values varied by +-jitter
  // while linked, 0 without a link.
  int ReadSignal(std::string_view station);
  int ReadQuality(std::string_view station);
  // Display name of an entry (a simulated station's current name), Windows-1252.
  std::string EntryName(const Registration& entry) const;

  // ---- procedures (the synchronous part; the caller has waited) ----
  Result OccupyData(std::string_view station);   // "#V1"
  Result ReleaseData(std::string_view station);  // "#V0"
  Result SetReleaseTime(std::string_view station, int seconds);  // "#Q"
  // "^KENB": opens the base's window; done gets Ok when a handset registers
  // in it, Failure when it closes without one. Returns BaseFull or Error at
  // once (then done is not called), Ok when the window is open.
  Result OpenRegistrationWindow(std::string_view base, std::function<void(Result)> done);
  // Closes the window without calling its done.
  void CloseRegistrationWindow(std::string_view base);
  bool WindowOpen(std::string_view base) const;
  Result RegisterAtBase(std::string_view handset, const std::string& pin, int slot);   // "^KOAC"
  Result Deregister(std::string_view station, int slot);                              // "^KATC"
  Result ChangePin(std::string_view station, const std::string& oldPin, const std::string& newPin);  // "^CHGPIN"
  // "N" with target 1: the partner's name over the radio.
  Result SetPartnerName(std::string_view station, const std::string& cp1252);
  // The restart after a type change or delivery-state reset: off the air
  // for RadioTiming::restartMs; observers hear of the start and the end.
  void BeginRestart(std::string_view station);
  void EndRestart(std::string_view station);

  // ---- observers and the event log ----
  void AddObserver(IWorldObserver* observer);
  void RemoveObserver(IWorldObserver* observer);
  // One line per event (link up/down, registration, window, ...).
  void SetEventLog(std::function<void(const std::string&)> log) { eventLog_ = std::move(log); }

  // Links still coming up start their wait afresh with the current
  // Timing().linkUpMs (after a scenario changed it).
  void RestartPendingLinks();

  // Re-derives the links after any change made behind the world's back
  // (a station's table or partner edited directly).
  void Update();

 private:
  struct Link {
    bool up = false;
    IScheduler::Handle pending = 0;
  };
  struct Window {
    IScheduler::Handle closes = 0;
    std::function<void(Result)> done;
  };
  struct Waiting {
    std::string pin;
    int slot;
  };
  using Pair = std::pair<std::string, std::string>;  // ordered: first < second

  static Pair MakePair(const std::string& a, const std::string& b);
  void ScheduleLinkUp(const Pair& pair);
  Station* PartnerOf(const Station& station);
  const Station* PartnerOf(const Station& station) const;
  int IndexOf(const Station& in, const std::string& stationId) const;
  bool Reachable(const Station& a, const Station& b) const;
  void Log(const std::string& line);
  void NotifyStation(const std::string& id);
  void ForEachObserver(const std::function<void(IWorldObserver*)>& call);
  void ReleaseDataOf(const Pair& pair);
  Result OpenWindow(std::string_view base, std::function<void(Result)> done, bool evenWhenFull);
  void OnWindowOpened(Station& base);
  void CloseWindow(const std::string& base, std::optional<Result> result);
  const std::string* BaseOf(const Pair& pair) const;

  TaskGroup tasks_;
  RadioTiming timing_;
  uint64_t seed_;
  SplitMix64 random_;
  std::vector<std::unique_ptr<Station>> stations_;
  std::map<Pair, Link> links_;
  std::map<std::string, Pair> dataHolder_;  // base id -> the link holding its data connection
  std::map<std::string, IScheduler::Handle> autoRelease_;  // base id -> automatic release
  std::map<std::string, Window> windows_;
  std::map<std::string, Waiting> waiting_;
  std::vector<IWorldObserver*> observers_;
  std::function<void(const std::string&)> eventLog_;
  bool updating_ = false;
  bool dirty_ = false;
};

}  // namespace k470::sim
