// The settings store: one text file in the format of a Windows registry
// export, standing in for the registry key the program was made for. The
// value types stay what they were there (a 32-bit number, a string, an
// expandable string), because the program's rules look at the type and the
// stored size, not only at the text.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Corvane\Lumora]
//   "ComPort"=dword:00000002
//   "defaultVendorName"="CORVANE AG"
//   "defaultProductName"=hex(2):4c,00,75,00,...,00,00
//
// Reading never fails loudly: a missing, unreadable or unrecognised file reads
// as empty, so every caller falls back to its defaults. Writing rewrites the
// whole file atomically and keeps everything the program does not know.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace k470 {

// Value types, numbered as the registry numbers them (hex(N) in the file).
enum RegType : uint32_t {
  REG_NONE = 0,
  REG_SZ = 1,
  REG_EXPAND_SZ = 2,
  REG_BINARY = 3,
  REG_DWORD = 4,
  REG_MULTI_SZ = 7,
  REG_QWORD = 11,
};

struct RegValue {
  uint32_t type = REG_NONE;
  uint32_t number = 0;         // REG_DWORD
  std::string text;            // REG_SZ, REG_EXPAND_SZ: UTF-8, up to the first NUL
  std::vector<uint8_t> bytes;  // any other type: the data as stored

  static RegValue Dword(uint32_t value);
  static RegValue String(std::string value);
  static RegValue ExpandString(std::string value);
  bool operator==(const RegValue&) const = default;
};

// One value to write: name and new value.
struct RegUpdate {
  std::string name;
  RegValue value;
};

// Reads an environment variable: its value, or nothing when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> ProcessEnvironment(const char* name);

// The root every key path of the program lives under.
inline constexpr std::string_view kSettingsRoot = "HKEY_LOCAL_MACHINE";

// Where the settings live: $K470_SETTINGS when set and not empty, else
// $XDG_CONFIG_HOME/Corvane/Lumora.reg when that is an absolute path, else
// $HOME/.config/Corvane/Lumora.reg (HOME from the password database when
// unset).
std::string DefaultSettingsPath(const EnvLookup& env = ProcessEnvironment);

// A parsed settings file. Every line is kept as it was written, so a rewrite
// changes exactly the values that were set and nothing else: comments, other
// keys, values of other programs and lines we cannot read survive.
//
// A line that looks like a value but cannot be read (bad number, stray
// backslash in a string, odd UTF-16) makes only that value unusable: it reads
// as missing, stays in the file as written, and is replaced if the program
// writes that value. Losing one value is less than losing the user's whole
// file to one typo.
//
// Key paths and value names compare ignoring ASCII case, as in the registry;
// a value named twice reads as its last occurrence, as an import would leave
// it.
class RegDocument {
 public:
  // The document of a new file.
  RegDocument();
  // Nothing when the bytes are not a registry export (the first line is not
  // the version 5 header). An empty file is an empty document. UTF-8 (with
  // or without BOM) and UTF-16LE with BOM, as regedit saves it, are read.
  static std::optional<RegDocument> Parse(std::string_view bytes);

  // keyPath is the full path, root included.
  std::optional<RegValue> Find(std::string_view keyPath, std::string_view name) const;
  bool HasKey(std::string_view keyPath) const;
  void Set(std::string_view keyPath, std::string_view name, const RegValue& value);
  // The file's text (UTF-8, LF line ends).
  std::string Serialize() const;

 private:
  struct Entry {
    std::string raw;                  // the line(s) as written, without the final line end
    std::optional<std::string> name;  // the value's name, when the line names one
    std::optional<RegValue> value;    // the value, when it could be read
  };
  struct Section {
    std::string raw;   // the header line as written
    std::string path;  // the key path between the brackets
    bool deleted = false;  // [-path]: a removal, not a key
    std::vector<Entry> entries;
  };
  std::vector<Entry> preamble_;  // lines between the version header and the first key
  std::vector<Section> sections_;
};

// The line that writes one value ("Name"=...), continuation lines included.
std::string FormatRegValueLine(std::string_view name, const RegValue& value);
// Reads the data part of a value line (after the '='); nothing when it is
// malformed or a removal ("-").
std::optional<RegValue> ParseRegData(std::string_view data);

// The file behind the settings. No caching: every query reads the file, as
// every registry query asks the registry, so an edit by the user counts from
// the next query on.
class SettingsStore {
 public:
  explicit SettingsStore(std::string path);
  // The store at DefaultSettingsPath(env).
  static SettingsStore AtDefaultPath(const EnvLookup& env = ProcessEnvironment);

  const std::string& Path() const { return path_; }

  // keyPath is relative to kSettingsRoot ("SOFTWARE\Corvane\Lumora").
  // Nothing when the file, the key or the value is missing or unusable.
  std::optional<RegValue> Query(std::string_view keyPath, std::string_view name) const;
  bool KeyExists(std::string_view keyPath) const;

  // Sets the values (creating the key, the file and its directory as needed)
  // in one atomic rewrite: a temporary file beside the real one, fsync,
  // rename, fsync of the directory. Readers, and a crash at any moment, see
  // either the old file or the new one. Returns false, leaving the file as it
  // was, when it cannot be written, and also when the existing file cannot be
  // read or is not a registry export: rewriting it would destroy whatever it
  // holds.
  bool Write(std::string_view keyPath, const std::vector<RegUpdate>& updates);

 private:
  std::string path_;
};

}  // namespace k470
