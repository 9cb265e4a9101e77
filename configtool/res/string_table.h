// The numbered string table: German texts (UTF-8), command words and names.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "configtool/res/string_ids.h"

namespace k470 {

// The text of an entry, or null when the id has no entry.
const char* FindString(uint32_t id);
// The text of an entry, or an empty text when the id has no entry.
std::string LoadString(uint32_t id);
// Every entry as (id, text), in the order of the source files.
const std::vector<std::pair<uint32_t, const char*>>& AllStrings();

}  // namespace k470
