#include "simulator/station.h"

#include <algorithm>

#include "configtool/platform/text.h"

namespace k470::sim {

const char* ResultWord(Result result) {
  switch (result) {
    case Result::Ok: return "OK";
    case Result::Error: return "ERROR";
    case Result::Failure: return "FAILURE";
    case Result::InvalidPin: return "INVALID_PIN";
    case Result::BaseFull: return "BASE_FULL";
    case Result::RemoteConfig: return "REMOTE_CONFIG";
  }
  return "ERROR";
}

bool IsValidPin(std::string_view text) {
  return !text.empty() && text.size() <= 8 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Station::Station(const StationConfig& config)
    : id_(config.id),
      type_(config.type),
      name_(Utf8ToCp1252(config.name.empty() ? config.id : config.name)),
      product_(Utf8ToCp1252(config.product)),
      hardware_(Utf8ToCp1252(config.hardware)),
      firmware_(Utf8ToCp1252(config.firmware)),
      pin_(config.pin),
      line_(config.line),
      powered_(config.powered),
      inRange_(config.inRange),
      signal_(config.signal),
      quality_(config.quality),
      jitter_(config.jitter),
      factory_(config) {
  int slots = std::clamp(config.slots, 1, kMaxSlots);
  for (auto& profile : profiles_) profile.table.assign(static_cast<size_t>(slots), std::nullopt);
}

std::string Station::NameUtf8() const { return Cp1252ToUtf8(name_); }

const std::optional<Registration>& Station::Entry(int slot) const {
  static const std::optional<Registration> kNone;
  const auto& table = Table();
  if (slot < 0 || static_cast<size_t>(slot) >= table.size()) return kNone;
  return table[static_cast<size_t>(slot)];
}

int Station::FirstFreeSlot() const {
  const auto& table = Table();
  for (size_t i = 0; i < table.size(); ++i) {
    if (!table[i]) return static_cast<int>(i);
  }
  return -1;
}

void Station::FactoryReset() {
  type_ = factory_.factoryType;
  name_ = Utf8ToCp1252(factory_.name.empty() ? factory_.id : factory_.name);
  pin_ = kFactoryPin;
  line_ = LineConfig{};
  for (auto& profile : profiles_) {
    std::fill(profile.table.begin(), profile.table.end(), std::nullopt);
    profile.partner = -1;
  }
}

}  // namespace k470::sim
