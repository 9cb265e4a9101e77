// The adapter's command lines: prefix + command word + argument + CR.
// Command words and result words are string-table entries (ids 1138-1182,
// IDS_CMD_* and IDS_RESULT_*); code names a command only by its id.
//
// Arguments are kept in UTF-8 like every other text of the program and are
// turned into the adapter's Windows-1252 when the line is built.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace k470 {

// The longest station name the adapter keeps, in its own single-byte
// characters.
constexpr size_t kMaxStationNameBytes = 20;

// The line for command `id` behind `prefix`: "AT" instead of the prefix for
// "^GETPRE" (the one command the adapter must understand before we know its
// prefix), then the command word, the argument and one CR. Empty when the id
// has no string-table text. Prefix and result are wire bytes; args is UTF-8.
//
// Control characters (below 0x20) in the argument are dropped: a CR or LF
// inside a name would end the line early and the adapter would run the rest
// as a second command.
std::string BuildCommandLine(std::string_view prefix, uint32_t id, std::string_view args);

// The three argument forms.
// Numbers in decimal joined by ","; absent elements are skipped.
std::string FormatNumberList(const std::vector<std::optional<uint32_t>>& numbers);
// Texts joined by ",".
std::string JoinTexts(const std::vector<std::string>& texts);

// "N": the name (quoted when it equals a result word), cut to its first 20
// single-byte characters on the wire, then "," and the target number.
// UTF-8 in and out; the cut counts Windows-1252 bytes, so an umlaut is one.
std::string FormatNameArgument(std::string_view nameUtf8, unsigned target);

// "#D": one character, '0' + index.
std::string FormatPartnerArgument(unsigned index);

// "\F": the code digit for rows of DataBitsTable, ParityTable and
// StopBitsTable; 0 for a row beyond its table and for the four combinations
// that have no code (7-none-1, 7-none-2, 8-even-2, 8-odd-2).
char CharacterFormatCode(int dataBitsRow, int parityRow, int stopBitsRow);

// The reverse, as "&V" reports the format: the three row indexes, or false
// (and all three -1) for "5", "6" and anything that is not a code digit.
bool DecodeCharacterFormat(char code, int32_t& dataBitsRow, int32_t& parityRow, int32_t& stopBitsRow);

}  // namespace k470
