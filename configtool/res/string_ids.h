// Names of the string-table entries.
#pragma once

#include <cstdint>

namespace k470 {

#define K470_STRING(name, id, text) name = id,
enum StringId : uint32_t {
#include "configtool/res/strings/commands.inc"
#include "configtool/res/strings/settings.inc"
#include "configtool/res/strings/protocol.inc"
#include "configtool/res/strings/app.inc"
#include "configtool/res/strings/pages.inc"
};
#undef K470_STRING

}  // namespace k470
