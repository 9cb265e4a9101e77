// Feeds arbitrary reply texts to the reading rules: the settings text, the
// three index=value lists (applied to lists that already hold entries), the
// single values and the release-time text. Beyond not crashing, the rules
// must keep their promises: bounded lists, release times in range or
// "none", a time that reads back as itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "configtool/protocol/at_commands.h"
#include "configtool/protocol/reply_rules.h"

using namespace k470;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint8_t selector = data[0];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  LineSettings settings;
  int32_t type = selector % 3;
  int32_t partner = 0;
  ApplySettingsReply(text, settings, type, partner);
  if (settings.mode < -1 || settings.mode > 5) std::abort();
  if (settings.flowControl < -1 || settings.flowControl > 6) std::abort();
  if (settings.dataBits < -1 || settings.dataBits > 1) std::abort();
  if (type < 0 || type > 2 || partner < -1 || partner > 9) std::abort();

  // Every line ends with a CR at most, so a list cannot hold more entries
  // than the text has line ends, plus what it held before.
  size_t lineEnds = 0;
  for (char c : text) lineEnds += c == '\r';
  const size_t before = selector % 5;

  std::vector<std::string> names(before, "x");
  bool holds = false;
  ApplyRegistrationList(text, names, holds);
  if (names.size() > before + lineEnds) std::abort();

  std::vector<uint8_t> states(before, SLOT_REGISTERED);
  ApplySlotStateList(text, states);
  if (states.size() > before + lineEnds) std::abort();
  for (uint8_t s : states) {
    if (s != SLOT_FREE && s != SLOT_REGISTERED && s != SLOT_DATA_CONNECTION && s != SLOT_REGISTERED) std::abort();
  }

  std::vector<uint16_t> times(before, 60);
  ApplyReleaseTimeList(text, times);
  for (uint16_t t : times) {
    if (t > RELEASE_TIME_MAX && t != RELEASE_TIME_NONE) std::abort();
  }

  ReadDecimal(text);
  ReadOwnIndex(text);
  ReadStationType(text);
  ReadLinkState(text);
  ResultCodeAtEnd(text);

  std::string word(text);
  std::string original = word;
  if (QuoteResultWord(word, QUOTE_RESULT_WORD)) {
    std::string back = word;
    if (!QuoteResultWord(back, UNQUOTE_RESULT_WORD)) std::abort();
    if (original.front() != '"' && back != original) std::abort();
  } else if (word != original) {
    std::abort();
  }

  int seconds = ParseReleaseTime(text);
  if (seconds < -1 || seconds > RELEASE_TIME_MAX) std::abort();
  if (seconds >= 0 && ParseReleaseTime(FormatReleaseTime(seconds)) != seconds) std::abort();

  // Names go out cut to 20 adapter characters and never carry a line end.
  std::string line = BuildCommandLine("AT+KDV24", 1143, FormatNameArgument(text, selector & 1));
  if (line.empty() || line.back() != '\r' || line.find('\r') != line.size() - 1) std::abort();
  if (line.find('\n') != std::string::npos) std::abort();
  return 0;
}
