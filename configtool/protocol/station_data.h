// What the session knows about the adapter and its radio partner, and the
// option tables of the operating-mode page. The data are written only by the
// session's reply actions and resets; the pages read them through the
// session's queries. Every text here is UTF-8 (converted from the adapter's
// Windows-1252 when stored).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace k470 {

// Station type, as the session stores it ("#T" answers 0 for a base and 1
// for a handset; the stored value is shifted by one so 0 can mean unknown).
constexpr int32_t STATION_UNKNOWN = 0;
constexpr int32_t STATION_BASE = 1;
constexpr int32_t STATION_HANDSET = 2;

enum RadioState : int32_t {
  RADIO_UNKNOWN = 0,       // "#C" gave another answer, or a partner selection is under way
  RADIO_INIT = 1,          // after a reset, nothing read yet
  RADIO_UNREGISTERED = 2,  // the local registration list holds no name
  RADIO_NO_LINK = 3,       // registrations exist, no radio link
  RADIO_LINKED = 4,        // radio link to the partner established
};

// Per registration entry ("#W").
enum SlotState : uint8_t {
  SLOT_FREE = 0,             // any other value, or a free entry
  SLOT_APPENDING = 1,        // only while an entry is being appended
  SLOT_REGISTERED = 3,       // registered, without the data connection ("0")
  SLOT_DATA_CONNECTION = 4,  // this entry holds the data connection ("1")
};

// A release time of 0xFFFF means "none".
constexpr uint16_t RELEASE_TIME_NONE = 0xFFFF;
constexpr int32_t RELEASE_TIME_MAX = 655;
// ownIndex when "#S" has not answered.
constexpr uint8_t OWN_INDEX_NONE = 255;

struct StationInfo {
  std::vector<std::string> names;  // "#R": slot i's registered station, "" = free slot
  std::string product;             // "I2"; "_V_2_4_"/"_U_S_B_" stand for the two models
  std::string name;                // "I4"
  std::string i3Text;              // "I3"; stored if it ever arrives
  std::string firmwareVersion;     // "I1"
  std::string hardwareVersion;     // "I6"
  int32_t type = STATION_UNKNOWN;  // "#T" (local), derived when the link comes up (partner)

  void Reset() { *this = StationInfo{}; }
};

// The local adapter's settings as "&V" reports them; -1 = not known.
struct LineSettings {
  int32_t mode = -1;         // 0-5; 5 is reported by some adapters but offered by no row
  int32_t bitRate = -1;      // value of BitRateTable (equal to its row)
  int32_t dataBits = -1;     // row of DataBitsTable
  int32_t parity = -1;       // row of ParityTable
  int32_t stopBits = -1;     // row of StopBitsTable
  int32_t flowControl = -1;  // value of FlowControlTable (equal to its row)
  int32_t localFlowControl = 0;

  void Reset() { *this = LineSettings{}; }
};

struct RadioRecord {
  int32_t radioState = RADIO_INIT;
  std::vector<uint8_t> partnerSlotStates;  // "#W" "1"
  std::vector<uint8_t> localSlotStates;    // "#W" "0"
  int32_t partnerIndex = -1;               // "#D" in "&V"
  int32_t fieldStrength = 0;               // "#I0"
  int32_t quality = 0;                     // "#I1"
  std::vector<uint16_t> localReleaseTimes;    // "#P" "0", seconds, 0xFFFF none
  std::vector<uint16_t> partnerReleaseTimes;  // "#P" "1"
  uint8_t ownIndex = OWN_INDEX_NONE;          // "#S"

  void Reset() { *this = RadioRecord{}; }
};

// One row of an option table: the value that goes into the command and the
// string-table id of the text the page lists.
struct OptionRow {
  int32_t value;
  uint32_t textId;
};

// A fixed list of rows. The tables never change, so they are constant data
// and exist before anything runs.
class OptionTable {
 public:
  constexpr explicit OptionTable(std::span<const OptionRow> rows) : rows_(rows) {}
  constexpr size_t GetSize() const { return rows_.size(); }
  constexpr bool HasRow(int row) const { return row >= 0 && static_cast<size_t>(row) < rows_.size(); }
  // Only for rows that exist.
  constexpr int32_t GetValue(int row) const { return rows_[static_cast<size_t>(row)].value; }
  constexpr uint32_t GetTextId(int row) const { return rows_[static_cast<size_t>(row)].textId; }
  // The row's German text (UTF-8); empty for a row that does not exist.
  std::string GetText(int row) const;

 private:
  std::span<const OptionRow> rows_;
};

extern const OptionTable OperatingModeTable;  // "B"
extern const OptionTable BitRateTable;        // "\R"
extern const OptionTable DataBitsTable;       // "\F": 7, 8
extern const OptionTable ParityTable;         // "\F": 'N', 'E', 'O'
extern const OptionTable StopBitsTable;       // "\F": 1, 2
extern const OptionTable FlowControlTable;    // "\Q"

}  // namespace k470
