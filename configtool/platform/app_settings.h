// The program's persistent settings: whether the automatic detection runs at
// start ("ComPort"), the four default names, and the user's extra port names.
// The connection page reads them once at initialisation and writes "ComPort"
// on every apply; nothing here reports a failure to the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "configtool/platform/settings_store.h"

namespace k470 {

// What "ComPort" says at start.
struct StoredPort {
  // Set when the stored number is not 0: no automatic detection at start.
  bool noDetection = false;
  // "COM<n>" when the number n is not 0, else empty. Only a hint: the
  // connection page replaces it by the port actually open.
  std::string portName;
};

// The names the session falls back on, with the stored port data.
struct DefaultNames {
  std::string productName;    // "defaultProductName"
  std::string vendorName;     // "defaultVendorName"
  std::string deviceName;     // "defaultDeviceName": the V.24 model
  std::string deviceNameUsb;  // "defaultDeviceNameUsb": the USB model
  StoredPort port;
};

// The number "ComPort" stores: with the flag set and a name of exactly four
// characters, the decimal value of the fourth (COM1..COM9 give 1..9); a
// non-digit there, a longer name (COM12) or the flag off give 0, so the next
// start runs the automatic detection.
uint32_t StoredPortNumber(bool storedFlag, std::string_view portName);

// The values one apply writes, in one atomic rewrite of the file: "ComPort"
// by the rule above, and "ComPortName" (REG_SZ), the selected port's full
// name while the flag is set and empty while it is not. The number alone
// cannot remember a port such as /dev/ttyUSB0 or COM12, so without the name
// the box would come back unticked after a restart.
std::vector<RegUpdate> StoredPortValues(bool storedFlag, std::string_view portName);

class CAppSettings {
 public:
  // The store is not owned.
  explicit CAppSettings(SettingsStore& store) : store_(store) {}

  // The text of a string value of the key keyStringId, or the text of
  // defaultStringId when the value is missing, is not of type REG_SZ, or is
  // too long: its size including the terminating zero must be at most
  // maxBytes. The size counts the text in the program's single-byte
  // (Windows-1252) form, one byte per character, so 63 characters are the
  // most a 64-byte value holds, umlauts or not.
  void ReadRegString(uint32_t keyStringId, uint32_t valueStringId, uint32_t defaultStringId, std::string& text,
                     size_t maxBytes = 64) const;
  // What "ComPort" alone says: a REG_DWORD; anything else counts as 0.
  StoredPort LoadStoredPort() const;
  // "ComPortName" when it is a REG_SZ, else empty.
  std::string LoadStoredPortName() const;
  // Writes "ComPort" and "ComPortName" (StoredPortValues). False when the
  // file could not be written; callers ignore it, as a failed save is not
  // shown to the user.
  bool SaveStoredPort(bool storedFlag, std::string_view portName);
  // The start-up view of the stored port, then the four names. Either value
  // switches the detection off: a nonzero "ComPort" (a file written before
  // "ComPortName" existed reads as it always did) or a "ComPortName" that is
  // not empty, whose name is then the hint.
  DefaultNames LoadDefaultNames() const;
  // "ExtraPorts" (REG_SZ, comma-separated, any length): port names the user
  // adds after the system's own list. Empty when missing or of another type.
  std::string LoadExtraPorts() const;

 private:
  SettingsStore& store_;
};

}  // namespace k470
