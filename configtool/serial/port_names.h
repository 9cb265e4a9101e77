// Port names on Linux and the candidate list.
//
// The program keeps the names its users know: COM1 to COM15 are the first
// fifteen 8250-style ports (/dev/ttyS0 to /dev/ttyS14). After them come the
// kernel's other serial devices (USB adapters, ACM modems, SoC UARTs,
// Bluetooth RFCOMM) as /dev paths, then the names the user adds in the
// settings file. The environment variable K470_PORTS replaces the whole list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "configtool/platform/settings_store.h"

namespace k470 {

// 1..15 for "COM1".."COM15" exactly as written (upper case, no leading
// zero); nothing for any other name.
std::optional<int> ComPortNumber(std::string_view name);

// The device behind a list name: "COMn" is <devRoot>/ttyS(n-1), a name that
// starts with '/' is a path, any other name is <devRoot>/<name>.
std::string PortDevicePath(std::string_view name, std::string_view devRoot = "/dev");

// Appends name unless the list holds exactly that text already (so "com3"
// and "COM3" are both kept). Empty names are not appended.
void AppendPortName(std::vector<std::string>& names, const std::string& name);

// "a, b,,c" -> "a", "b", "c": items trimmed, empty items dropped.
std::vector<std::string> SplitPortList(std::string_view list);

// Natural order: digit runs compare by their value, so ttyUSB2 comes
// before ttyUSB10.
bool NaturalLess(std::string_view a, std::string_view b);

// Where the candidate list is looked for. The defaults are the running
// system's; tests point them at a fake tree.
struct PortScanOptions {
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";
  EnvLookup env = ProcessEnvironment;
  // The user's extra names (the settings value "ExtraPorts",
  // comma-separated). Unset: read from the settings file at the path the
  // environment gives.
  std::function<std::string()> extraPorts;
};

// The candidate list, in order, duplicates removed:
//   K470_PORTS set: exactly its names (set but empty: no ports);
//   else COMn for each /dev/ttyS(n-1) that exists and has a driver behind it
//   (its sysfs entry has a device link and, for 8250-style ports, a type
//   other than 0), without opening it; then the other tty devices with a
//   driver, as /dev/<name> in natural order; then "ExtraPorts".
std::vector<std::string> EnumeratePortNames(const PortScanOptions& options);

}  // namespace k470
