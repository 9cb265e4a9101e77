#include "configtool/protocol/at_commands.h"

#include "configtool/platform/text.h"
#include "configtool/protocol/reply_rules.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {

struct FormatCode {
  char code;
  int dataBitsRow;  // 7 -> 0, 8 -> 1
  int parityRow;    // none -> 0, even -> 1, odd -> 2
  int stopBitsRow;  // 1 -> 0, 2 -> 1
};

// The adapter's character-format codes. "5" and "6" were never assigned.
constexpr FormatCode kFormatCodes[] = {
    {'0', 0, 1, 0}, {'1', 0, 2, 0}, {'2', 1, 0, 0}, {'3', 1, 1, 0},
    {'4', 1, 2, 0}, {'7', 0, 1, 1}, {'8', 0, 2, 1}, {'9', 1, 0, 1},
};

}  // namespace

std::string BuildCommandLine(std::string_view prefix, uint32_t id, std::string_view args) {
  const char* command = FindString(id);
  if (command == nullptr) return {};
  std::string line;
  std::string_view word(command);
  line.reserve(prefix.size() + word.size() + args.size() + 1);
  line += (word == "^GETPRE") ? std::string_view("AT") : prefix;
  line += word;
  for (char c : Utf8ToCp1252(args)) {
    if (static_cast<unsigned char>(c) >= 0x20) line += c;
  }
  line += '\r';
  return line;
}

std::string FormatNumberList(const std::vector<std::optional<uint32_t>>& numbers) {
  std::string out;
  bool first = true;
  for (const auto& number : numbers) {
    if (!number) continue;
    if (!first) out += ',';
    out += std::to_string(*number);
    first = false;
  }
  return out;
}

std::string JoinTexts(const std::vector<std::string>& texts) {
  std::string out;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i != 0) out += ',';
    out += texts[i];
  }
  return out;
}

std::string FormatNameArgument(std::string_view nameUtf8, unsigned target) {
  std::string wire = Utf8ToCp1252(nameUtf8);
  // A name that reads like a result word would end the adapter's reply
  // early when it is read back, so it travels in quotes.
  QuoteResultWord(wire, QUOTE_RESULT_WORD);
  if (wire.size() > kMaxStationNameBytes) wire.resize(kMaxStationNameBytes);
  return Cp1252ToUtf8(wire) + "," + std::to_string(target);
}

std::string FormatPartnerArgument(unsigned index) {
  // One byte on the wire; kept as its UTF-8 form until the line is built.
  return Cp1252ToUtf8(std::string(1, static_cast<char>('0' + index)));
}

char CharacterFormatCode(int dataBitsRow, int parityRow, int stopBitsRow) {
  for (const auto& entry : kFormatCodes) {
    if (entry.dataBitsRow == dataBitsRow && entry.parityRow == parityRow && entry.stopBitsRow == stopBitsRow) {
      return entry.code;
    }
  }
  return 0;
}

bool DecodeCharacterFormat(char code, int32_t& dataBitsRow, int32_t& parityRow, int32_t& stopBitsRow) {
  for (const auto& entry : kFormatCodes) {
    if (entry.code == code) {
      dataBitsRow = entry.dataBitsRow;
      parityRow = entry.parityRow;
      stopBitsRow = entry.stopBitsRow;
      return true;
    }
  }
  dataBitsRow = parityRow = stopBitsRow = -1;
  return false;
}

}  // namespace k470
