#include "session_rig.h"

#include "configtool/res/string_table.h"

namespace k470::test {

std::string CommandText(const AtCommand& command) { return LoadString(command.id) + command.args; }

std::vector<std::string> SessionRig::QueuedCommands() const {
  std::vector<std::string> out;
  for (const auto& command : session.GetQueue()) out.push_back(CommandText(command));
  return out;
}

}  // namespace k470::test
