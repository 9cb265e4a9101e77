// A fake /sys and /dev in a temporary directory, for the port list and the
// console rule, plus a lock directory.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "configtool/serial/posix_serial.h"
#include "tests/settings/temp_dir.h"

namespace k470::testing_support {

class FakeTree {
 public:
  FakeTree() {
    std::filesystem::create_directories(sys() + "/class/tty");
    std::filesystem::create_directories(dev());
    std::filesystem::create_directories(locks());
  }

  std::string sys() const { return dir_ / "sys"; }
  std::string dev() const { return dir_ / "dev"; }
  std::string locks() const { return dir_ / "lock"; }
  std::string operator/(const std::string& name) const { return dir_ / name; }

  // A tty as the kernel lists it: an entry in /sys/class/tty, with a device
  // link when a driver is behind it, a type file for 8250-style ports, and
  // a node in /dev.
  void AddTty(const std::string& name, bool driver, std::optional<int> type, bool node) {
    std::string entry = sys() + "/class/tty/" + name;
    std::filesystem::create_directories(entry);
    if (driver) std::filesystem::create_directories(entry + "/device");
    if (type) WriteFile(entry + "/type", std::to_string(*type) + "\n");
    if (node) WriteFile(dev() + "/" + name, "");
  }
  void SetConsole(const std::string& active) {
    std::filesystem::create_directories(sys() + "/class/tty/console");
    WriteFile(sys() + "/class/tty/console/active", active + "\n");
  }

  void SetEnv(const std::string& name, const std::string& value) { env_[name] = value; }

  PosixSerialOptions Options(std::string extraPorts = "") const {
    PosixSerialOptions options;
    options.sysfsRoot = sys();
    options.devRoot = dev();
    options.lockDir = locks();
    auto env = env_;
    options.env = [env](const char* name) -> std::optional<std::string> {
      auto it = env.find(name);
      if (it == env.end()) return std::nullopt;
      return it->second;
    };
    options.extraPorts = [extraPorts] { return extraPorts; };
    return options;
  }

 private:
  TempDir dir_;
  std::map<std::string, std::string> env_;
};

}  // namespace k470::testing_support
