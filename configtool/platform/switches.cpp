#include "configtool/platform/switches.h"

namespace k470 {

bool HasSwitch(std::string_view commandLine, std::string_view name) {
  return commandLine.find(name) != std::string_view::npos;
}

std::optional<uint8_t> ComSwitchNumber(std::string_view commandLine) {
  size_t at = commandLine.find(kSwitchCom);
  if (at == std::string_view::npos) return std::nullopt;
  // Only the low 8 bits count, so the digits are summed modulo 256: a long
  // run of digits cannot overflow and still gives the low 8 bits of the
  // number it writes.
  uint8_t number = 0;
  for (size_t i = at + kSwitchCom.size(); i < commandLine.size(); ++i) {
    char c = commandLine[i];
    if (c < '0' || c > '9') break;
    number = static_cast<uint8_t>(number * 10 + (c - '0'));
  }
  return number;
}

}  // namespace k470
