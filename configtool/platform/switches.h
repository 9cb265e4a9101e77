// Command-line switches. The command line is never split into arguments:
// each switch is a case-sensitive substring test on the whole text, made
// where and when the switch matters, so switches combine in any order and
// with any text around them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace k470 {

// The V.24 trace pane.
inline constexpr std::string_view kSwitchTrace = "v24trace";
// Only the connection page can be selected.
inline constexpr std::string_view kSwitchNoConfig = "noconfig";
// "com" followed by a port number.
inline constexpr std::string_view kSwitchCom = "com";

bool HasSwitch(std::string_view commandLine, std::string_view name);

// The "com" switch: nothing when the lower-case text "com" does not occur;
// otherwise the decimal digits right after its first occurrence (none give
// 0), reduced to their low 8 bits ("com256" gives 0). Only 1 to 9 select a
// port; any other number still means the switch was given.
std::optional<uint8_t> ComSwitchNumber(std::string_view commandLine);

}  // namespace k470
