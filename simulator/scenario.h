// Scenarios: the stations, registrations, timing and faults of a simulation
// as simple text statements, one per line. k470sim reads them from a file
// and from its options at start, and from its control FIFO at run time; a
// test may feed them to an in-process Simulation too.
//
//   # a handset on the port, registered at a base in range
//   seed 7
//   station Lokal type=handset name="Mein Adapter"
//   station Basis type=base pin=1234
//   register Lokal at Basis
//   local Lokal
//   timing link-up 2000
//   fault delay 500
//
// The full list of statements is in docs/simulator.md and in
// ScenarioHelp(). Words are separated by blanks; a word may be put in
// double quotes (with \" and \\ inside) to hold blanks; a "#" standing
// alone (followed by a blank or the end of the line) starts a comment, so
// "#C" is still a word. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/adapter_engine.h"
#include "simulator/world.h"

namespace k470::sim {

// What statements act on. During set-up there is no engine yet: adapter
// statements change options, and the engine is made from them afterwards.
// At run time (engine set) they act on the engine at once.
struct ScenarioContext {
  World* world = nullptr;
  AdapterEngine* engine = nullptr;
  AdapterOptions* options = nullptr;  // set-up only
  std::string* local = nullptr;       // set-up only: the station on the port
};

// Splits a statement into words (quotes and comments as above). False with a
// reason for an unterminated quote.
bool SplitWords(std::string_view line, std::vector<std::string>& words, std::string& error);

// Carries out one statement. An empty or comment line does nothing. False
// with a reason for an unknown or malformed statement, or one not allowed
// at run time ("station", "local", "seed").
bool ApplyStatement(std::string_view line, ScenarioContext& context, std::string& error);

// Carries out a whole scenario text line by line; stops at the first bad
// line, with its number in the reason.
bool ApplyScenario(std::string_view text, ScenarioContext& context, std::string& error);

// True when the text declares a station (otherwise the default world is used).
bool DeclaresStations(std::string_view text);

// The world k470sim simulates when no station is declared: the adapter on
// the port is a handset registered at a base in range, so the program's
// partner page shows a real partner.
extern const char* const kDefaultScenario;

// One line per statement, for --help and the documentation.
std::string ScenarioHelp();

}  // namespace k470::sim
