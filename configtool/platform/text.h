// Text helpers. Inside the program every text is UTF-8. The adapter speaks
// single-byte Windows-1252: its replies are converted when they are stored,
// and command lines are converted when they are built.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace k470 {

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// Windows-1252 bytes to UTF-8. The five unassigned bytes (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control characters of the same value.
std::string Cp1252ToUtf8(std::string_view bytes);
// UTF-8 to Windows-1252. A character without a single-byte form, and a
// malformed sequence, become '?'.
std::string Utf8ToCp1252(std::string_view text);

// White space in the C locale's sense: space, \t, \n, \v, \f, \r.
bool IsSpace(char c);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// ASCII case-insensitive comparisons (the adapter's placeholders and the
// port names are ASCII).
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

}  // namespace k470
