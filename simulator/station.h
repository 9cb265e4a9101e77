// One simulated adapter ("station") as the radio world sees it: identity,
// base PIN, line settings and the registration table. A station has no serial
// side of its own; an AdapterEngine gives it one (the local adapter on the
// program's port), and stations without one are remote adapters that the
// program reaches only over the radio.
//
// Texts are kept as the adapter keeps them: single-byte Windows-1252. The
// configuration structs and the *Utf8 accessors speak UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace k470::sim {

// The "#T" coding: "0" base, "1" handset.
enum class StationType { Base = 0, Handset = 1 };

// Final result words of the adapter.
enum class Result { Ok, Error, Failure, InvalidPin, BaseFull, RemoteConfig };
const char* ResultWord(Result result);

// Texts of "I2" that stand for the two models.
inline constexpr const char* kProductV24 = "_V_2_4_";
inline constexpr const char* kProductUsb = "_U_S_B_";
inline constexpr const char* kFactoryPin = "4693";
inline constexpr int kMaxSlots = 10;      // "#D" carries the index as one digit
inline constexpr size_t kMaxNameLength = 20;

// The adapter's own line settings as "B", "\R", "\F", "\Q", "\P" set them
// and "&V" reports them.
struct LineConfig {
  int mode = 1;          // "B" 0-4 (5 may be configured: a mode no command sets)
  int bitRate = 7;       // "\R" 0-10 (7 = 19200)
  char format = '2';     // "\F" code digit: '0'-'4', '7'-'9' (2 = 8N1)
  int flowControl = 2;   // "\Q" 0-6 (2 = RTS/CTS)
  bool localFlow = false;  // "\P"
};

// How a station starts. Aggregate, for designated initialisers:
//   StationConfig{.id = "Basis", .type = StationType::Base}
struct StationConfig {
  std::string id{};                     // unique handle in the world (scenario, API, log)
  StationType type = StationType::Base;
  std::string name{};                   // "I4", UTF-8, 1-20 characters; empty: the id
  std::string product = kProductV24;    // "I2": kProductV24, kProductUsb or any product text
  std::string hardware = "HW 2.1";      // "I6"
  std::string firmware = "02.14";       // "I1"
  std::string pin = kFactoryPin;        // base PIN, 1-8 digits
  int slots = 6;                        // registration entries, 1-10
  LineConfig line{};
  bool powered = true;
  bool inRange = true;                  // all stations in range hear each other
  int signal = 72;                      // "#I0" while linked
  int quality = 88;                     // "#I1" while linked
  int jitter = 4;                       // +- spread of both readings (seeded)
  // The type and line settings "&F" returns to; the type defaults to base.
  StationType factoryType = StationType::Base;
};

// One entry of a registration table.
struct Registration {
  std::string stationId{}; // the registered simulated station; empty for a foreign one
  std::string fixedName{}; // a foreign station's name (Windows-1252)
  uint16_t releaseSeconds = 0;  // "#P": automatic release of the data connection, 0 = by hand
};

class Station {
 public:
  explicit Station(const StationConfig& config);

  const std::string& Id() const { return id_; }
  StationType Type() const { return type_; }
  const std::string& Name() const { return name_; }  // Windows-1252
  std::string NameUtf8() const;
  const std::string& Product() const { return product_; }
  const std::string& Hardware() const { return hardware_; }
  const std::string& Firmware() const { return firmware_; }
  const std::string& Pin() const { return pin_; }
  const LineConfig& Line() const { return line_; }
  LineConfig& MutableLine() { return line_; }
  bool Powered() const { return powered_; }
  bool InRange() const { return inRange_; }
  // Powered, in range and not restarting: the radio can reach it.
  bool OnAir() const { return powered_ && inRange_ && !restarting_; }
  bool Restarting() const { return restarting_; }
  int Signal() const { return signal_; }
  int Quality() const { return quality_; }
  int Jitter() const { return jitter_; }

  // The registration table and the chosen partner of the current type. A
  // station keeps one table per type: a type change puts the other table in
  // force, and changing back restores the first one.
  int SlotCount() const { return static_cast<int>(Table().size()); }
  const std::vector<std::optional<Registration>>& Table() const { return profiles_[Index()].table; }
  std::vector<std::optional<Registration>>& MutableTable() { return profiles_[Index()].table; }
  const std::optional<Registration>& Entry(int slot) const;
  int FirstFreeSlot() const;  // -1 when full
  int PartnerIndex() const { return profiles_[Index()].partner; }  // -1: none chosen
  void SetPartnerIndex(int index) { profiles_[Index()].partner = index; }

  void SetName(std::string cp1252) { name_ = std::move(cp1252); }
  void SetPin(std::string pin) { pin_ = std::move(pin); }
  void SetType(StationType type) { type_ = type; }
  void SetPowered(bool on) { powered_ = on; }
  void SetInRange(bool in) { inRange_ = in; }
  void SetRestarting(bool restarting) { restarting_ = restarting; }
  void SetProduct(std::string cp1252) { product_ = std::move(cp1252); }
  // Delivery state: factory type, name, PIN and line settings, both tables empty.
  void FactoryReset();

 private:
  struct Profile {
    std::vector<std::optional<Registration>> table;
    int partner = -1;
  };
  int Index() const { return type_ == StationType::Base ? 0 : 1; }

  std::string id_;
  StationType type_;
  std::string name_, product_, hardware_, firmware_, pin_;
  LineConfig line_;
  bool powered_, inRange_, restarting_ = false;
  int signal_, quality_, jitter_;
  Profile profiles_[2];
  StationConfig factory_;
};

// True when text is 1 to 8 decimal digits (what the PIN dialogs let through).
bool IsValidPin(std::string_view text);

}  // namespace k470::sim
