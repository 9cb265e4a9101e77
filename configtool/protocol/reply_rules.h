// How the adapter's replies are read: result words, the quoting of names
// that look like result words, decimal values, the settings text of "&V",
// the index=value lists of "#R", "#W" and "#P", and the release-time text
// the user types. Pure functions; the session applies them.
//
// Reply texts arrive as the adapter's Windows-1252 bytes. The functions that
// store names convert them to UTF-8; the others only look at ASCII.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "configtool/protocol/station_data.h"

namespace k470 {

// ---- result words ----

// Mode of QuoteResultWord.
constexpr int QUOTE_RESULT_WORD = 1;
constexpr int UNQUOTE_RESULT_WORD = 2;

// True when text is one of OK, ERROR, FAILURE, BASE_FULL, INVALID_PIN,
// REMOTE_CONFIG, bare or in double quotes (exact, case-sensitive). Then mode
// 1 puts a bare word in quotes and mode 2 takes the quotes off a quoted one;
// other combinations leave the text as it is (and still return true).
bool QuoteResultWord(std::string& text, int mode);

// The result code (string-table id of the word) whose pattern CR word CR
// ends the buffer, or 0. Each word ends with a different letter, so at most
// one pattern can end at a given CR.
uint32_t ResultCodeAtEnd(std::string_view buffer);

// ---- values ----

// Optional leading white space and sign, then the digits up to the first
// non-digit; no digits give 0. Saturates at the 32-bit range.
int32_t ReadDecimal(std::string_view text);

// "#T": '0' base, '1' handset, anything else unknown (empty: unknown too; the
// caller decides first whether an empty reply is valid).
int32_t ReadStationType(std::string_view text);

// "#C": 0 no link, 1 link, -1 any other first character (or none).
int ReadLinkState(std::string_view text);

// "#S": the own index; values outside 0-255 give 255.
uint8_t ReadOwnIndex(std::string_view text);

// ---- the settings text of "&V" ----

// Reads the keys B, \R, \F, \P, \Q, #T and #D (each at its first occurrence
// in the whole text) into settings, the local station's type and the
// partner index. Fields whose key is absent follow the rules: \F and #T keep
// their values, the others become "unknown".
void ApplySettingsReply(std::string_view text, LineSettings& settings, int32_t& localType, int32_t& partnerIndex);

// ---- the index=value lists ----

// Each returns whether the list changed. Lines are "index=value" separated by
// CR; an index equal to the list's size appends an entry; a line without "="
// or an index outside the list clears the whole list.
//
// "#R" also reports whether a non-empty name was read.
bool ApplyRegistrationList(std::string_view text, std::vector<std::string>& names, bool& holdsRegistrations);
// "#W": "0" registered (3), "1" holds the data connection (4), else 0.
bool ApplySlotStateList(std::string_view text, std::vector<uint8_t>& states);
// "#P": seconds; an empty value, and any value above 655, is stored as 0xFFFF
// and counts as a change at every reading.
bool ApplyReleaseTimeList(std::string_view text, std::vector<uint16_t>& times);

// ---- release time ----

// Minutes ("1,5", "2") or minutes:seconds ("10:55") to seconds; -1 for a
// text that is not a time or above 655 seconds. The empty text gives 0.
int ParseReleaseTime(std::string_view text);
// "mm:ss", or "hh:mm:ss" from one hour on.
std::string FormatReleaseTime(int seconds);

}  // namespace k470
