#include "simulator/scenario.h"

#include <charconv>
#include <functional>
#include <map>

namespace k470::sim {
namespace {

bool ParseNumber(const std::string& text, uint64_t maxValue, uint64_t& value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v > maxValue) return false;
  value = v;
  return true;
}

bool ParseInt(const std::string& text, int minValue, int maxValue, int& value) {
  if (text.empty()) return false;
  int v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < minValue || v > maxValue) return false;
  value = v;
  return true;
}

// on/off, yes/no, in/out, true/false, 1/0.
bool ParseSwitch(const std::string& text, bool& value) {
  if (text == "on" || text == "yes" || text == "in" || text == "true" || text == "1") {
    value = true;
    return true;
  }
  if (text == "off" || text == "no" || text == "out" || text == "false" || text == "0") {
    value = false;
    return true;
  }
  return false;
}

bool ParseType(const std::string& text, StationType& type) {
  if (text == "base" || text == "0") {
    type = StationType::Base;
    return true;
  }
  if (text == "handset" || text == "1") {
    type = StationType::Handset;
    return true;
  }
  return false;
}

// key=value words behind the positional ones.
bool SplitOptions(const std::vector<std::string>& words, size_t from, std::map<std::string, std::string>& options,
                  std::string& error) {
  for (size_t i = from; i < words.size(); ++i) {
    size_t eq = words[i].find('=');
    if (eq == std::string::npos || eq == 0) {
      error = "expected key=value, not '" + words[i] + "'";
      return false;
    }
    options[words[i].substr(0, eq)] = words[i].substr(eq + 1);
  }
  return true;
}

const std::map<std::string, uint32_t RadioTiming::*>& TimingKeys() {
  static const std::map<std::string, uint32_t RadioTiming::*> keys = {
      {"link-up", &RadioTiming::linkUpMs},
      {"registration-window", &RadioTiming::registrationWindowMs},
      {"register", &RadioTiming::registerMs},
      {"auto-register", &RadioTiming::autoRegisterMs},
      {"deregister", &RadioTiming::deregisterMs},
      {"pin-change", &RadioTiming::pinChangeMs},
      {"type-change", &RadioTiming::typeChangeMs},
      {"factory-reset", &RadioTiming::factoryResetMs},
      {"restart", &RadioTiming::restartMs},
      {"base-full", &RadioTiming::baseFullMs},
      {"cancel", &RadioTiming::cancelMs},
  };
  return keys;
}

bool ApplyStation(const std::vector<std::string>& words, ScenarioContext& c, std::string& error) {
  if (words.size() < 2) {
    error = "station needs an id";
    return false;
  }
  StationConfig config;
  config.id = words[1];
  std::map<std::string, std::string> options;
  if (!SplitOptions(words, 2, options, error)) return false;
  for (const auto& [key, value] : options) {
    bool ok = true;
    bool flag = false;
    if (key == "type") {
      ok = ParseType(value, config.type);
    } else if (key == "factory-type") {
      ok = ParseType(value, config.factoryType);
    } else if (key == "name") {
      config.name = value;
    } else if (key == "product") {
      config.product = value;
    } else if (key == "model") {
      ok = value == "v24" || value == "usb";
      config.product = value == "usb" ? kProductUsb : kProductV24;
    } else if (key == "hw" || key == "hardware") {
      config.hardware = value;
    } else if (key == "fw" || key == "firmware") {
      config.firmware = value;
    } else if (key == "pin") {
      config.pin = value;
    } else if (key == "slots") {
      ok = ParseInt(value, 1, kMaxSlots, config.slots);
    } else if (key == "signal") {
      ok = ParseInt(value, 0, 999, config.signal);
    } else if (key == "quality") {
      ok = ParseInt(value, 0, 999, config.quality);
    } else if (key == "jitter") {
      ok = ParseInt(value, 0, 99, config.jitter);
    } else if (key == "power") {
      ok = ParseSwitch(value, config.powered);
    } else if (key == "range") {
      ok = ParseSwitch(value, config.inRange);
    } else if (key == "mode") {
      ok = ParseInt(value, 0, 5, config.line.mode);
    } else if (key == "bitrate") {
      ok = ParseInt(value, 0, 10, config.line.bitRate);
    } else if (key == "format") {
      ok = value.size() == 1 && std::string_view("01234789").find(value[0]) != std::string_view::npos;
      if (ok) config.line.format = value[0];
    } else if (key == "flow") {
      ok = ParseInt(value, 0, 6, config.line.flowControl);
    } else if (key == "local-flow") {
      ok = ParseSwitch(value, flag);
      config.line.localFlow = flag;
    } else {
      error = "unknown station key '" + key + "'";
      return false;
    }
    if (!ok) {
      error = "bad value '" + value + "' for " + key;
      return false;
    }
  }
  return c.world->AddStation(config, &error) != nullptr;
}

bool ApplyFault(const std::vector<std::string>& words, ScenarioContext& c, std::string& error) {
  if (words.size() < 2) {
    error = "fault needs a kind";
    return false;
  }
  Faults faults = c.engine ? c.engine->Options().faults : c.options->faults;
  const std::string& kind = words[1];
  const std::string value = words.size() > 2 ? words[2] : "on";
  uint64_t number = 0;
  bool flag = false;
  bool ok = true;
  if (kind == "clear") {
    faults = Faults{};
  } else if (kind == "echo") {
    ok = ParseSwitch(value, faults.echo);
  } else if (kind == "reply") {
    ok = ParseSwitch(value, faults.reply);
  } else if (kind == "mute") {
    ok = ParseSwitch(value, flag);
    faults.echo = faults.reply = !flag;
  } else if (kind == "delay") {
    ok = words.size() > 2 && ParseNumber(value, 3600000, number);
    faults.replyDelayMs = static_cast<uint32_t>(number);
  } else if (kind == "late") {
    faults.replyDelayMs = 3500;
  } else if (kind == "garbage") {
    ok = words.size() > 2 && ParseNumber(value, 4096, number);
    faults.garbageBytes = static_cast<uint32_t>(number);
  } else if (kind == "sprinkle") {
    ok = words.size() > 2 && ParseNumber(value, 100, number);
    faults.sprinklePercent = static_cast<uint32_t>(number);
  } else if (kind == "noise") {
    ok = words.size() > 2 && ParseNumber(value, 3600000, number);
    faults.noisePeriodMs = static_cast<uint32_t>(number);
    if (ok && words.size() > 3) {
      ok = ParseNumber(words[3], 4096, number);
      faults.noiseBytes = static_cast<uint32_t>(number);
    }
  } else if (kind == "remote-config") {
    ok = ParseSwitch(value, faults.remoteConfig);
  } else if (kind == "incompatible") {
    ok = ParseSwitch(value, faults.incompatible);
  } else if (kind == "not-adapter") {
    ok = ParseSwitch(value, faults.notAdapter);
  } else if (kind == "dsr-drop") {
    ok = ParseSwitch(value, faults.dsrDrop);
  } else if (kind == "only") {
    ok = words.size() > 2;
    faults.onlyCommand = value == "any" ? "" : value;
  } else if (kind == "count") {
    if (value == "always") {
      faults.count = -1;
    } else {
      ok = words.size() > 2 && ParseNumber(value, 1000000, number);
      faults.count = static_cast<int>(number);
    }
  } else {
    error = "unknown fault '" + kind + "'";
    return false;
  }
  if (!ok) {
    error = "bad value for fault " + kind;
    return false;
  }
  if (c.engine) {
    c.engine->SetFaults(faults);
  } else {
    c.options->faults = faults;
  }
  return true;
}

bool NeedStation(World& world, const std::string& id, std::string& error) {
  if (world.Find(id)) return true;
  error = "no station '" + id + "'";
  return false;
}

}  // namespace

const char* const kDefaultScenario =
    "station Lokal type=handset\n"
    "station Basis type=base\n"
    "register Lokal at Basis\n"
    "local Lokal\n";

bool SplitWords(std::string_view line, std::vector<std::string>& words, std::string& error) {
  words.clear();
  std::string word;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
        word += line[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
      continue;
    }
    // "#C" is a command text, so only a "#" standing alone starts a comment.
    if (c == '#' && !inWord && (i + 1 == line.size() || line[i + 1] == ' ' || line[i + 1] == '\t')) break;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '"') {
      quoted = true;
    } else {
      word += c;
    }
  }
  if (quoted) {
    error = "unterminated quote";
    return false;
  }
  if (inWord) words.push_back(std::move(word));
  return true;
}

bool ApplyStatement(std::string_view line, ScenarioContext& c, std::string& error) {
  std::vector<std::string> words;
  if (!SplitWords(line, words, error)) return false;
  if (words.empty()) return true;
  World& world = *c.world;
  const std::string& verb = words[0];
  bool setup = c.engine == nullptr;
  auto wrongArgs = [&](const char* usage) {
    error = std::string("usage: ") + usage;
    return false;
  };
  uint64_t number = 0;
  int slot = 0;
  bool flag = false;

  if (verb == "station" || verb == "local" || verb == "seed" || verb == "always-config") {
    if (!setup) {
      error = "'" + verb + "' only at start";
      return false;
    }
  }
  if (verb == "station") return ApplyStation(words, c, error);
  if (verb == "local") {
    if (words.size() != 2) return wrongArgs("local STATION");
    if (!NeedStation(world, words[1], error)) return false;
    *c.local = words[1];
    return true;
  }
  if (verb == "seed") {
    if (words.size() != 2 || !ParseNumber(words[1], UINT64_MAX, number)) return wrongArgs("seed NUMBER");
    world.SetSeed(number);
    c.options->seed = number;
    return true;
  }
  if (verb == "always-config") {
    if (words.size() != 2 || !ParseSwitch(words[1], c.options->alwaysConfig)) return wrongArgs("always-config on|off");
    return true;
  }
  if (verb == "register") {
    if (words.size() < 4 || words[2] != "at") return wrongArgs("register HANDSET at BASE [slot=N] [base-slot=N] [select=yes|no]");
    std::map<std::string, std::string> options;
    if (!SplitOptions(words, 4, options, error)) return false;
    int handsetSlot = -1, baseSlot = -1;
    bool select = true;
    for (const auto& [key, value] : options) {
      bool ok = key == "slot"        ? ParseInt(value, 0, kMaxSlots - 1, handsetSlot)
                : key == "base-slot" ? ParseInt(value, 0, kMaxSlots - 1, baseSlot)
                : key == "select"    ? ParseSwitch(value, select)
                                     : false;
      if (!ok) {
        error = "bad option " + key + "=" + value;
        return false;
      }
    }
    return world.Register(words[1], words[3], handsetSlot, baseSlot, select, &error);
  }
  if (verb == "entry") {
    if (words.size() != 4 || !ParseInt(words[2], 0, kMaxSlots - 1, slot)) return wrongArgs("entry STATION SLOT NAME");
    return world.AddForeignEntry(words[1], slot, words[3], &error);
  }
  if (verb == "partner") {
    if (words.size() != 3 || !ParseInt(words[2], 0, kMaxSlots - 1, slot)) return wrongArgs("partner STATION SLOT");
    if (!NeedStation(world, words[1], error)) return false;
    if (!world.SelectPartner(words[1], slot)) {
      error = "slot " + words[2] + " of " + words[1] + " is free";
      return false;
    }
    return true;
  }
  if (verb == "waiting") {
    if (words.size() < 3 || words.size() > 4) return wrongArgs("waiting HANDSET PIN [SLOT]");
    slot = -1;
    if (words.size() == 4 && !ParseInt(words[3], 0, kMaxSlots - 1, slot)) return wrongArgs("waiting HANDSET PIN [SLOT]");
    if (!world.SetWaitingHandset(words[1], words[2], slot)) {
      error = "waiting needs a handset and a PIN of 1 to 8 digits";
      return false;
    }
    return true;
  }
  if (verb == "power" || verb == "range") {
    if (words.size() != 3 || !ParseSwitch(words[2], flag)) return wrongArgs("power STATION on|off / range STATION in|out");
    if (!NeedStation(world, words[1], error)) return false;
    if (verb == "power") {
      world.SetPowered(words[1], flag);
    } else {
      world.SetInRange(words[1], flag);
    }
    return true;
  }
  if (verb == "button") {
    if (words.size() != 2) return wrongArgs("button BASE");
    if (!world.PressRegistrationButton(words[1])) {
      error = words[1] + " is no base that is on";
      return false;
    }
    return true;
  }
  if (verb == "timing") {
    auto it = words.size() == 3 ? TimingKeys().find(words[1]) : TimingKeys().end();
    if (it == TimingKeys().end() || !ParseNumber(words[2], 3600000, number)) return wrongArgs("timing KEY MS");
    world.Timing().*(it->second) = static_cast<uint32_t>(number);
    if (it->second == &RadioTiming::linkUpMs) world.RestartPendingLinks();
    return true;
  }
  if (verb == "prefix") {
    if (words.size() != 2 || words[1].empty() || words[1].size() > 32) return wrongArgs("prefix TEXT");
    if (setup) {
      c.options->prefix = words[1];
    } else {
      c.engine->SetPrefix(words[1]);
    }
    return true;
  }
  if (verb == "line-feeds" || verb == "pace") {
    if (words.size() != 2 || !ParseSwitch(words[1], flag)) return wrongArgs("line-feeds|pace on|off");
    if (setup) {
      (verb == "pace" ? c.options->pace : c.options->lineFeeds) = flag;
    } else if (verb == "pace") {
      c.engine->SetPace(flag);
    } else {
      c.engine->SetLineFeeds(flag);
    }
    return true;
  }
  if (verb == "attach") {
    Attachment attachment;
    if (words.size() != 2) return wrongArgs("attach adapter|nothing|dsr-no-cts");
    if (words[1] == "adapter") {
      attachment = Attachment::Adapter;
    } else if (words[1] == "nothing") {
      attachment = Attachment::Nothing;
    } else if (words[1] == "dsr-no-cts") {
      attachment = Attachment::DsrNoCts;
    } else {
      return wrongArgs("attach adapter|nothing|dsr-no-cts");
    }
    if (setup) {
      c.options->attachment = attachment;
    } else {
      c.engine->SetAttachment(attachment);
    }
    return true;
  }
  if (verb == "fault") return ApplyFault(words, c, error);
  error = "unknown statement '" + verb + "'";
  return false;
}

bool ApplyScenario(std::string_view text, ScenarioContext& context, std::string& error) {
  size_t lineNumber = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNumber;
    std::string why;
    if (!ApplyStatement(line, context, why)) {
      error = "line " + std::to_string(lineNumber) + ": " + why;
      return false;
    }
  }
  return true;
}

bool DeclaresStations(std::string_view text) {
  std::string error;
  std::vector<std::string> words;
  while (!text.empty()) {
    size_t end = text.find('\n');
    if (SplitWords(text.substr(0, end), words, error) && !words.empty() && words[0] == "station") return true;
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return false;
}

std::string ScenarioHelp() {
  return
      "  station ID [type=base|handset] [name=TEXT] [model=v24|usb] [product=TEXT]\n"
      "          [hw=TEXT] [fw=TEXT] [pin=DIGITS] [slots=1-10] [signal=N] [quality=N]\n"
      "          [jitter=N] [power=on|off] [range=in|out] [mode=0-5] [bitrate=0-10]\n"
      "          [format=0-4|7-9] [flow=0-6] [local-flow=on|off] [factory-type=base|handset]\n"
      "  local ID                          the station on the port (default: the first)\n"
      "  register HANDSET at BASE [slot=N] [base-slot=N] [select=yes|no]\n"
      "  entry STATION SLOT NAME           a registration of a station that is not simulated\n"
      "  partner STATION SLOT              choose the radio partner\n"
      "  waiting HANDSET PIN [SLOT]        registers by itself when a base opens its window\n"
      "  power STATION on|off    range STATION in|out    button BASE\n"
      "  timing KEY MS    keys: link-up registration-window register auto-register\n"
      "                         deregister pin-change type-change factory-reset restart\n"
      "                         base-full cancel\n"
      "  seed N    prefix TEXT    line-feeds on|off    pace on|off    always-config on|off\n"
      "  attach adapter|nothing|dsr-no-cts\n"
      "  fault echo on|off | reply on|off | mute on|off | delay MS | late | garbage N\n"
      "        | sprinkle PERCENT | noise PERIOD_MS [BYTES] | remote-config on|off\n"
      "        | incompatible on|off | not-adapter on|off | dsr-drop on|off\n"
      "        | only COMMAND|any | count N|always | clear\n";
}

}  // namespace k470::sim
