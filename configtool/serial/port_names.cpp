#include "configtool/serial/port_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "configtool/platform/app_settings.h"
#include "configtool/platform/text.h"

namespace k470 {
namespace {

constexpr int kComPorts = 15;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A tty the kernel lists has a driver behind it when its sysfs entry links
// to a device. The 8250 driver registers every possible port whether a UART
// answers or not; the ones without hardware report type 0 ("unknown").
bool HasDriver(const std::string& sysfsRoot, const std::string& name) {
  std::string entry = sysfsRoot + "/class/tty/" + name;
  if (!Exists(entry + "/device")) return false;
  std::ifstream type(entry + "/type");
  std::string value;
  if (type && std::getline(type, value) && TrimRight(TrimLeft(value)) == "0") return false;
  return true;
}

bool IsListedDevice(const PortScanOptions& options, const std::string& name) {
  return Exists(options.devRoot + "/" + name) && HasDriver(options.sysfsRoot, name);
}

// The ttyS index of a name "ttyS<k>", if it is one.
std::optional<int> TtySIndex(std::string_view name) {
  if (name.substr(0, 4) != "ttyS" || name.size() == 4 || name.size() > 8) return std::nullopt;
  int index = 0;
  for (char c : name.substr(4)) {
    if (!IsDigit(c)) return std::nullopt;
    index = index * 10 + (c - '0');
  }
  return index;
}

std::vector<std::string> SystemTtys(const PortScanOptions& options) {
  std::vector<std::string> names;
  std::string dir = options.sysfsRoot + "/class/tty";
  DIR* handle = ::opendir(dir.c_str());
  if (handle == nullptr) return names;
  while (dirent* entry = ::readdir(handle)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // ttyS0..ttyS14 are COM1..COM15 already.
    if (auto index = TtySIndex(name); index && *index < kComPorts) continue;
    if (IsListedDevice(options, name)) names.push_back(name);
  }
  ::closedir(handle);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
  return names;
}

}  // namespace

std::optional<int> ComPortNumber(std::string_view name) {
  if (name.size() < 4 || name.size() > 5 || name.substr(0, 3) != "COM" || name[3] == '0') return std::nullopt;
  int n = 0;
  for (char c : name.substr(3)) {
    if (!IsDigit(c)) return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > kComPorts) return std::nullopt;
  return n;
}

std::string PortDevicePath(std::string_view name, std::string_view devRoot) {
  if (auto n = ComPortNumber(name)) return std::string(devRoot) + "/ttyS" + std::to_string(*n - 1);
  if (!name.empty() && name[0] == '/') return std::string(name);
  return std::string(devRoot) + "/" + std::string(name);
}

void AppendPortName(std::vector<std::string>& names, const std::string& name) {
  if (name.empty()) return;
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

std::vector<std::string> SplitPortList(std::string_view list) {
  std::vector<std::string> items;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t comma = list.find(',', pos);
    if (comma == std::string_view::npos) comma = list.size();
    std::string item = TrimRight(TrimLeft(list.substr(pos, comma - pos)));
    if (!item.empty()) items.push_back(std::move(item));
    pos = comma + 1;
  }
  return items;
}

bool NaturalLess(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t ei = i, ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      // Compare by value without converting: strip leading zeros, then the
      // longer run is the larger number, else compare digit by digit.
      size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      std::string_view da = a.substr(si, ei - si), db = b.substr(sj, ej - sj);
      if (da.size() != db.size()) return da.size() < db.size();
      if (da != db) return da < db;
      // Equal values: fewer leading zeros first, so the order stays total.
      if (ei - i != ej - j) return ei - i < ej - j;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> EnumeratePortNames(const PortScanOptions& options) {
  std::vector<std::string> names;
  if (auto only = options.env("K470_PORTS")) {
    for (const auto& name : SplitPortList(*only)) AppendPortName(names, name);
    return names;
  }
  for (int n = 1; n <= kComPorts; ++n) {
    // Listed without opening: a port in use or forbidden to us is still a
    // port, and opening a UART to look at it would toggle its lines.
    if (IsListedDevice(options, "ttyS" + std::to_string(n - 1))) AppendPortName(names, "COM" + std::to_string(n));
  }
  for (const auto& tty : SystemTtys(options)) AppendPortName(names, options.devRoot + "/" + tty);
  std::string extra;
  if (options.extraPorts) {
    extra = options.extraPorts();
  } else {
    SettingsStore store = SettingsStore::AtDefaultPath(options.env);
    extra = CAppSettings(store).LoadExtraPorts();
  }
  for (const auto& name : SplitPortList(extra)) AppendPortName(names, name);
  return names;
}

}  // namespace k470
