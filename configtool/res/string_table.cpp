#include "configtool/res/string_table.h"

#include <algorithm>

namespace k470 {
namespace {

#define K470_STRING(name, id, text) {id, text},
const std::pair<uint32_t, const char*> kEntries[] = {
#include "configtool/res/strings/commands.inc"
#include "configtool/res/strings/settings.inc"
#include "configtool/res/strings/protocol.inc"
#include "configtool/res/strings/app.inc"
#include "configtool/res/strings/pages.inc"
};
#undef K470_STRING

const std::vector<std::pair<uint32_t, const char*>>& Sorted() {
  static const auto sorted = [] {
    std::vector<std::pair<uint32_t, const char*>> entries(std::begin(kEntries), std::end(kEntries));
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return entries;
  }();
  return sorted;
}

}  // namespace

const char* FindString(uint32_t id) {
  const auto& entries = Sorted();
  auto it = std::lower_bound(entries.begin(), entries.end(), id,
                             [](const auto& entry, uint32_t value) { return entry.first < value; });
  return (it != entries.end() && it->first == id) ? it->second : nullptr;
}

std::string LoadString(uint32_t id) {
  const char* text = FindString(id);
  return text != nullptr ? std::string(text) : std::string();
}

const std::vector<std::pair<uint32_t, const char*>>& AllStrings() {
  static const std::vector<std::pair<uint32_t, const char*>> all(std::begin(kEntries), std::end(kEntries));
  return all;
}

}  // namespace k470
