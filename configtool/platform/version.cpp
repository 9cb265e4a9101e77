#include "configtool/platform/version.h"

#include "configtool/platform/text.h"
#include "configtool/platform/version_config.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {

// The letter is a single-byte character. A fourth number above 26 would give
// one outside ASCII (or a NUL, which would cut the text short); '?' keeps the
// text well-formed UTF-8. CMake refuses such a project version anyway.
char PrintableLetter(char letter) {
  auto code = static_cast<unsigned char>(letter);
  return (code >= 0x20 && code < 0x7F) ? letter : '?';
}

}  // namespace

FileVersion ProgramFileVersion() {
  return FileVersion{K470_VERSION_MAJOR, K470_VERSION_MINOR, K470_VERSION_BUILD, K470_VERSION_REVISION};
}

void VersionFields(const FileVersion& version, uint32_t& ms, char& letter) {
  ms = (static_cast<uint32_t>(version.major) << 16) | version.minor;
  if (version.revision != 0) letter = static_cast<char>(0x60 + (version.revision & 0xFF));
}

void GetProgramVersion(uint32_t& ms, char& letter) { VersionFields(ProgramFileVersion(), ms, letter); }

std::string FormatVersion(uint32_t ms, char letter) {
  return Format(LoadString(IDS_VERSION_FORMAT).c_str(), VersionMajor(ms), VersionMinor(ms),
                PrintableLetter(letter));
}

std::string FormatAboutVersion(const std::string& programName, uint32_t ms, char letter) {
  return Format(LoadString(IDS_ABOUT_VERSION_FORMAT).c_str(), programName.c_str(), VersionMajor(ms),
                VersionMinor(ms), PrintableLetter(letter));
}

std::string VersionText(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision) {
  uint32_t ms = 0;
  char letter = ' ';
  VersionFields(FileVersion{major, minor, build, revision}, ms, letter);
  return FormatVersion(ms, letter);
}

std::string ProgramVersionText() {
  FileVersion v = ProgramFileVersion();
  return VersionText(v.major, v.minor, v.build, v.revision);
}

}  // namespace k470
