// The program's version: major, minor and a letter, as the About box and the
// trace header show it ("Version 1.023a"). The four numbers come from the
// project version in CMake; the third is not shown.
#pragma once

#include <cstdint>
#include <string>

namespace k470 {

// The four numbers of a file version (1.23.0.1).
struct FileVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t build = 0;     // not shown
  uint16_t revision = 0;  // the letter: 1 = 'a', 2 = 'b', 0 = none
};

// The version this program was built as.
FileVersion ProgramFileVersion();

// ms = major in the high 16 bits, minor in the low 16 bits. letter = 0x60 +
// the low 8 bits of the fourth number when that is not 0; otherwise letter
// keeps what the caller put there (a blank, by convention). The caller sets
// ms to 0 and letter to ' ' beforehand.
void VersionFields(const FileVersion& version, uint32_t& ms, char& letter);
// VersionFields for this program.
void GetProgramVersion(uint32_t& ms, char& letter);

inline uint16_t VersionMajor(uint32_t ms) { return static_cast<uint16_t>(ms >> 16); }
inline uint16_t VersionMinor(uint32_t ms) { return static_cast<uint16_t>(ms & 0xFFFF); }

// "Version %i.%03i%c": the trace header. A blank letter leaves a trailing
// blank.
std::string FormatVersion(uint32_t ms, char letter);
// "%s, Version %i.%03i%c": the About box.
std::string FormatAboutVersion(const std::string& programName, uint32_t ms, char letter);
// The trace header's text for a file version, with a blank as the caller's
// default letter: 1.23.0.0 gives "Version 1.023 ", 1.23.0.2 "Version 1.023b".
std::string VersionText(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision);
// The trace header's text for this program.
std::string ProgramVersionText();

}  // namespace k470
