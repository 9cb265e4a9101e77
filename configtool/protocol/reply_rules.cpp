#include "configtool/protocol/reply_rules.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "configtool/platform/text.h"
#include "configtool/protocol/at_commands.h"
#include "configtool/res/string_ids.h"

namespace k470 {
namespace {

struct ResultWord {
  std::string_view word;
  uint32_t code;
};

// The order in which the words are looked for.
constexpr ResultWord kResultWords[] = {
    {"OK", IDS_RESULT_OK},
    {"ERROR", IDS_RESULT_ERROR},
    {"FAILURE", IDS_RESULT_FAILURE},
    {"INVALID_PIN", IDS_RESULT_INVALID_PIN},
    {"BASE_FULL", IDS_RESULT_BASE_FULL},
    {"REMOTE_CONFIG", IDS_RESULT_REMOTE_CONFIG},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimLeftView(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return text.substr(i);
}

std::string_view TrimRightView(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && IsSpace(text[n - 1])) --n;
  return text.substr(0, n);
}

// What follows the first occurrence of key, if the key occurs.
std::optional<std::string_view> After(std::string_view text, std::string_view key) {
  size_t pos = text.find(key);
  if (pos == std::string_view::npos) return std::nullopt;
  return text.substr(pos + key.size());
}

char First(std::string_view text) { return text.empty() ? '\0' : text.front(); }

// The index=value walk shared by the three lists. assign(entry, value)
// stores the value and returns whether the entry changed. lastIndex is the
// last index read (-1 when none); cleared tells that the list was emptied
// because a line did not fit.
template <typename Entry, typename Assign>
bool WalkList(std::string_view text, std::vector<Entry>& list, Entry fresh, Assign assign, int64_t& lastIndex,
              bool& cleared) {
  bool changed = false;
  lastIndex = -1;
  cleared = false;
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t cr = rest.find('\r');
    if (cr == std::string_view::npos) break;
    std::string_view line = rest.substr(0, cr);
    rest = TrimLeftView(rest.substr(cr));
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      list.clear();
      changed = cleared = true;
      break;
    }
    int32_t index = ReadDecimal(line.substr(0, eq));
    if (index >= 0 && static_cast<size_t>(index) == list.size()) {
      list.push_back(fresh);
      changed = true;
    }
    // A negative index is as far outside the list as one behind its end;
    // both mean the adapter's list does not match ours any more.
    if (index < 0 || static_cast<size_t>(index) >= list.size()) {
      list.clear();
      changed = cleared = true;
      break;
    }
    std::string value(TrimRightView(line.substr(eq + 1)));
    QuoteResultWord(value, UNQUOTE_RESULT_WORD);
    if (assign(list[static_cast<size_t>(index)], value)) changed = true;
    lastIndex = index;
  }
  return changed;
}

}  // namespace

bool QuoteResultWord(std::string& text, int mode) {
  if (text.empty()) return false;
  bool quoted = text.front() == '"';
  size_t start = quoted ? 1 : 0;
  if (start >= text.size()) return false;
  std::string_view candidate;
  switch (text[start]) {
    case 'B':
      candidate = "BASE_FULL";
      break;
    case 'E':
      candidate = "ERROR";
      break;
    case 'F':
      candidate = "FAILURE";
      break;
    case 'I':
      candidate = "INVALID_PIN";
      break;
    case 'O':
      candidate = "OK";
      break;
    case 'R':
      candidate = "REMOTE_CONFIG";
      break;
    default:
      return false;
  }
  std::string_view view(text);
  if (quoted) {
    if (view.size() != candidate.size() + 2 || view.back() != '"' || view.substr(1, candidate.size()) != candidate) {
      return false;
    }
    if (mode == UNQUOTE_RESULT_WORD) text = std::string(candidate);
  } else {
    if (view != candidate) return false;
    if (mode == QUOTE_RESULT_WORD) text = "\"" + text + "\"";
  }
  return true;
}

uint32_t ResultCodeAtEnd(std::string_view buffer) {
  // The shortest pattern is CR "OK" CR.
  if (buffer.size() < 4 || buffer.back() != '\r') return 0;
  for (const auto& entry : kResultWords) {
    size_t length = entry.word.size() + 2;
    if (buffer.size() < length) continue;
    std::string_view tail = buffer.substr(buffer.size() - length);
    if (tail.front() == '\r' && tail.substr(1, entry.word.size()) == entry.word) return entry.code;
  }
  return 0;
}

int32_t ReadDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (value < kLimit) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

int32_t ReadStationType(std::string_view text) {
  switch (First(text)) {
    case '0':
      return STATION_BASE;
    case '1':
      return STATION_HANDSET;
    default:
      return STATION_UNKNOWN;
  }
}

int ReadLinkState(std::string_view text) {
  switch (First(text)) {
    case '0':
      return 0;
    case '1':
      return 1;
    default:
      return -1;
  }
}

uint8_t ReadOwnIndex(std::string_view text) {
  int32_t n = ReadDecimal(text);
  return (n < 0 || n > 255) ? OWN_INDEX_NONE : static_cast<uint8_t>(n);
}

void ApplySettingsReply(std::string_view text, LineSettings& settings, int32_t& localType, int32_t& partnerIndex) {
  if (auto rest = After(text, "B")) {
    char c = First(*rest);
    settings.mode = (c >= '0' && c <= '5') ? c - '0' : -1;
  } else {
    settings.mode = -1;
  }

  auto bitRate = After(text, "\\R");
  settings.bitRate = bitRate ? ReadDecimal(*bitRate) : -1;

  // An adapter that leaves the format out has not changed it.
  if (auto rest = After(text, "\\F")) {
    DecodeCharacterFormat(First(*rest), settings.dataBits, settings.parity, settings.stopBits);
  }

  auto localFlow = After(text, "\\P");
  settings.localFlowControl = (localFlow && First(*localFlow) == '1') ? 1 : 0;

  if (auto rest = After(text, "\\Q")) {
    char c = First(*rest);
    settings.flowControl = (c >= '0' && c <= '6') ? c - '0' : -1;
  } else {
    settings.flowControl = -1;
  }

  if (auto rest = After(text, "#T")) localType = ReadStationType(rest->substr(0, 1));

  if (auto rest = After(text, "#D")) {
    char c = First(*rest);
    partnerIndex = IsDigit(c) ? c - '0' : 0;
  } else {
    partnerIndex = -1;
  }
}

bool ApplyRegistrationList(std::string_view text, std::vector<std::string>& names, bool& holdsRegistrations) {
  holdsRegistrations = false;
  int64_t lastIndex = -1;
  bool cleared = false;
  bool changed = WalkList<std::string>(
      text, names, std::string(),
      [&](std::string& entry, const std::string& value) {
        std::string name = Cp1252ToUtf8(value);
        if (!name.empty()) holdsRegistrations = true;
        if (entry == name) return false;
        entry = std::move(name);
        return true;
      },
      lastIndex, cleared);
  // Names read before the list had to be dropped are gone with it.
  if (cleared) holdsRegistrations = false;
  if (lastIndex + 1 < static_cast<int64_t>(names.size())) {
    names.resize(static_cast<size_t>(lastIndex + 1));
    changed = true;
  }
  return changed;
}

bool ApplySlotStateList(std::string_view text, std::vector<uint8_t>& states) {
  int64_t lastIndex = -1;
  bool cleared = false;
  return WalkList<uint8_t>(
      text, states, SLOT_APPENDING,
      [](uint8_t& entry, const std::string& value) {
        uint8_t state = SLOT_FREE;
        if (First(value) == '0') state = SLOT_REGISTERED;
        if (First(value) == '1') state = SLOT_DATA_CONNECTION;
        if (entry == state) return false;
        entry = state;
        return true;
      },
      lastIndex, cleared);
}

bool ApplyReleaseTimeList(std::string_view text, std::vector<uint16_t>& times) {
  int64_t lastIndex = -1;
  bool cleared = false;
  return WalkList<uint16_t>(
      text, times, RELEASE_TIME_NONE,
      [](uint16_t& entry, const std::string& value) {
        int32_t seconds = value.empty() ? -1 : ReadDecimal(value);
        // The stored 0xFFFF never equals the -1 it stands for, so "none"
        // and out-of-range values are reported as changed at every reading.
        if (static_cast<int32_t>(entry) == seconds) return false;
        entry = static_cast<uint16_t>(seconds);
        if (entry > RELEASE_TIME_MAX) entry = RELEASE_TIME_NONE;
        return true;
      },
      lastIndex, cleared);
}

int ParseReleaseTime(std::string_view text) {
  std::string work;
  work.reserve(text.size());
  for (char c : text) {
    if (c == ' ') continue;
    work += (c == ',') ? '.' : c;
  }
  if (work.empty()) return 0;

  size_t separators = 0;
  size_t colon = std::string::npos;
  for (size_t i = 0; i < work.size(); ++i) {
    char c = work[i];
    if (c == ':' || c == '.') {
      if (++separators > 1) return -1;
      if (c == ':') colon = i;
    } else if (!IsDigit(c)) {
      return -1;
    }
  }

  int64_t seconds;
  if (colon == std::string::npos) {
    // Fractions of minutes. from_chars, unlike strtod, does not follow the
    // locale, so the point stays the decimal separator under a German one.
    double minutes = 0.0;
    std::from_chars(work.data(), work.data() + work.size(), minutes, std::chars_format::fixed);
    double total = std::trunc(minutes * 60.0);
    if (!(total <= RELEASE_TIME_MAX)) return -1;
    seconds = static_cast<int64_t>(total);
  } else {
    int64_t minutes = ReadDecimal(std::string_view(work).substr(0, colon));
    int64_t rest = ReadDecimal(std::string_view(work).substr(colon + 1));
    seconds = minutes * 60 + rest;
  }
  if (seconds < 0 || seconds > RELEASE_TIME_MAX) return -1;
  return static_cast<int>(seconds);
}

std::string FormatReleaseTime(int seconds) {
  if (seconds >= 3600) return Format("%.2d:%.2d:%.2d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return Format("%.2d:%.2d", seconds / 60, seconds % 60);
}

}  // namespace k470
