#include "simulator/adapter_engine.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "configtool/platform/text.h"

namespace k470::sim {
namespace {

// The wire runs on units of 1/1,920,000 s: a millisecond is 1920 units and
// one character (10 bits at 19200 bit/s) exactly 1000, so pacing adds no
// rounding drift however long it runs.
constexpr uint64_t kUnitsPerMs = 1920;
constexpr uint64_t kUnitsPerChar = 1000;
constexpr size_t kMaxPendingInput = 65536;
constexpr const char* kDefaultPrefix = "+KDV24";

// Every command the adapter knows, longest first where one text starts
// another ("#I0" before "I..." does not matter: texts differ in their first
// character or are matched in full).
constexpr std::array<const char*, 35> kCommands = {
    "^GETPRE", "^CHGPIN", "^KBASC", "^KENB", "^KOAC", "^KATC", "^LOAD", "#I0", "#I1", "#V0", "#V1", "&V",
    "&F",      "I1",      "I2",     "I3",    "I4",    "I5",    "I6",    "#T",  "#R",  "#C",  "#D",  "#Q",
    "#W",      "#S",      "#P",     "\\R",   "\\F",   "\\Q",   "\\P",   "B",   "N",   "O",   "C"};

uint64_t Fnv1a(std::string_view text) {
  uint64_t hash = 1469598103934665603ull;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// A decimal number of digits only (no sign, no spaces), at most maxDigits.
bool ParseUnsigned(std::string_view text, int maxValue, int& value) {
  if (text.empty() || text.size() > 5) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > maxValue) return false;
  value = v;
  return true;
}

// Target of a reading: "0"/",0" the local station, "1"/",1" the partner.
int ParseTarget(std::string_view args) {
  if (!args.empty() && args[0] == ',') args.remove_prefix(1);
  if (args == "0") return 0;
  if (args == "1") return 1;
  return -1;
}

bool IsResultWord(std::string_view text) {
  for (Result r : {Result::Ok, Result::Error, Result::Failure, Result::InvalidPin, Result::BaseFull,
                   Result::RemoteConfig}) {
    if (text == ResultWord(r)) return true;
  }
  return false;
}

}  // namespace

std::string QuoteName(const std::string& name) { return IsResultWord(name) ? "\"" + name + "\"" : name; }

std::string SettingsReport(const Station& station) {
  const LineConfig& line = station.Line();
  // "\R" is read as the number from behind the key to the end of the text,
  // so a space must follow its digits; every key appears exactly once and
  // "B" comes first, since the reader takes the first occurrence of each.
  std::string text = "B" + std::to_string(line.mode) + " \\R" + std::to_string(line.bitRate) + " \\F" +
                     std::string(1, line.format) + " \\P" + (line.localFlow ? "1" : "0") + " \\Q" +
                     std::to_string(line.flowControl) + " #T" + (station.Type() == StationType::Base ? "0" : "1");
  if (station.Entry(station.PartnerIndex())) text += " #D" + std::to_string(station.PartnerIndex());
  return text;
}

struct AdapterEngine::Reply {
  std::vector<std::string> info;
  Result result = Result::Ok;
  std::function<void()> after;  // runs when the answer has been handed to the wire
};

AdapterEngine::AdapterEngine(World& world, std::string stationId, IAdapterLine& line, AdapterOptions options)
    : world_(world),
      stationId_(std::move(stationId)),
      line_(line),
      options_(std::move(options)),
      tasks_(world.Scheduler()),
      random_(options_.seed ^ Fnv1a(stationId_)) {
  world_.AddObserver(this);
  phase_ = GetStation().Powered() ? (options_.alwaysConfig ? Phase::Config : Phase::Operating) : Phase::Off;
}

AdapterEngine::~AdapterEngine() {
  if (!procedureBase_.empty()) world_.CloseRegistrationWindow(procedureBase_);
  world_.RemoveObserver(this);
}

Station& AdapterEngine::GetStation() {
  Station* station = world_.Find(stationId_);
  // The engine is only ever made for a station of the world, and stations
  // are never removed.
  return *station;
}

void AdapterEngine::SetFaults(const Faults& faults) {
  options_.faults = faults;
  tasks_.Cancel(noiseTask_);
  ScheduleNoise();
  UpdateModemLines();
}

void AdapterEngine::SetAttachment(Attachment attachment) {
  options_.attachment = attachment;
  UpdateModemLines();
}

void AdapterEngine::UpdateModemLines() {
  bool ready = phase_ == Phase::Operating || phase_ == Phase::Config;
  bool dsr = false, cts = false;
  switch (options_.attachment) {
    case Attachment::Adapter:
      dsr = cts = ready && dtr_;
      break;
    case Attachment::Nothing:
      break;
    case Attachment::DsrNoCts:
      dsr = ready && dtr_;
      break;
  }
  if (options_.faults.dsrDrop) dsr = false;
  if (dsr != dsr_ || cts != cts_) {
    dsr_ = dsr;
    cts_ = cts;
    line_.SetModemLines(dsr, cts);
  }
}

uint64_t AdapterEngine::OutputIdleAt() const {
  uint64_t now = tasks_.Now();
  if (!options_.pace) return now;
  return std::max(now, (outputBusyUntil_ + kUnitsPerMs - 1) / kUnitsPerMs);
}

// ---------------------------------------------------------------- the program's side

void AdapterEngine::HostOpen(bool open) {
  hostOpen_ = open;
  lineBuffer_.clear();
  lineOverflow_ = false;
  tasks_.Cancel(noiseTask_);
  if (open) ScheduleNoise();
}

void AdapterEngine::HostLines(bool dtr, bool rts) {
  bool rising = dtr && !dtr_;
  dtr_ = dtr;
  rts_ = rts;
  // The probe: DTR coming on finds a ready adapter and takes it into its
  // configuration state.
  if (rising && phase_ == Phase::Operating && options_.attachment == Attachment::Adapter) EnterPhase(Phase::Config);
  if (rising && phase_ == Phase::Config) {
    lineBuffer_.clear();
    lineOverflow_ = false;
  }
  UpdateModemLines();
}

void AdapterEngine::HostBytes(const uint8_t* data, size_t length) {
  if (length == 0) return;
  std::string bytes(reinterpret_cast<const char*>(data), length);
  uint64_t now = tasks_.Now();
  if (!options_.pace) {
    tasks_.Schedule(0, [this, bytes = std::move(bytes)]() {
      if (trace_) trace_(tasks_.Now(), '>', bytes);
      for (char c : bytes) TakeByte(static_cast<uint8_t>(c));
    });
    return;
  }
  // Paced: each character reaches the adapter when its stop bit has passed;
  // characters finishing in the same millisecond travel together, each with
  // its exact arrival so its echo cannot leave before it came in.
  uint64_t nowUnits = now * kUnitsPerMs;
  if (inputBusyUntil_ > nowUnits + kMaxPendingInput * kUnitsPerChar) return;  // overrun: lost
  size_t i = 0;
  while (i < bytes.size()) {
    uint64_t due = (std::max(nowUnits, inputBusyUntil_) + kUnitsPerChar + kUnitsPerMs - 1) / kUnitsPerMs;
    std::string group;
    std::vector<uint64_t> arrivals;
    while (i < bytes.size()) {
      uint64_t end = std::max(nowUnits, inputBusyUntil_) + kUnitsPerChar;
      if ((end + kUnitsPerMs - 1) / kUnitsPerMs != due) break;
      inputBusyUntil_ = end;
      arrivals.push_back(end);
      group += bytes[i++];
    }
    tasks_.Schedule(due - now, [this, group = std::move(group), arrivals = std::move(arrivals)]() {
      if (trace_) trace_(tasks_.Now(), '>', group);
      for (size_t k = 0; k < group.size(); ++k) {
        emitNotBefore_ = arrivals[k];
        TakeByte(static_cast<uint8_t>(group[k]));
      }
      emitNotBefore_ = 0;
    });
  }
}

void AdapterEngine::TakeByte(uint8_t c) {
  if (options_.attachment != Attachment::Adapter || options_.faults.dsrDrop) return;
  bool answering = phase_ == Phase::Config || (options_.alwaysConfig && phase_ == Phase::Operating);
  if (!answering) return;
  if (options_.faults.echo) Emit(std::string(1, static_cast<char>(c)));
  switch (c) {
    case 0:
    case '\n':
      return;
    case 8:
      if (!lineBuffer_.empty()) lineBuffer_.pop_back();
      return;
    case '\r': {
      std::string line = std::move(lineBuffer_);
      bool overflow = lineOverflow_;
      lineBuffer_.clear();
      lineOverflow_ = false;
      if (overflow) line.assign(options_.maxLine + 1, '?');
      OnLine(std::move(line));
      return;
    }
    default:
      if (lineBuffer_.size() < options_.maxLine) {
        lineBuffer_ += static_cast<char>(c);
      } else {
        lineOverflow_ = true;
      }
  }
}

// ---------------------------------------------------------------- commands

void AdapterEngine::OnLine(std::string line) {
  // Anything arriving during a radio procedure (the program sends a bare CR
  // when the user cancels) ends it; the line itself is not a command.
  if (!procedureCommand_.empty()) {
    CancelProcedure();
    return;
  }
  if (line.empty()) return;

  std::string command = "?";
  std::string args;
  Reply reply;
  reply.result = Result::Error;
  bool parsed = false;
  if (line.size() <= options_.maxLine && line.size() >= 2 && (line[0] == 'A' || line[0] == 'a') &&
      (line[1] == 'T' || line[1] == 't')) {
    std::string_view rest(line);
    rest.remove_prefix(2);
    if (rest.empty()) {
      command = "AT";
      parsed = true;
    } else {
      if (!StartsWith(rest, "^GETPRE")) {
        if (!options_.prefix.empty() && StartsWith(rest, options_.prefix)) {
          rest.remove_prefix(options_.prefix.size());
        } else if (StartsWith(rest, kDefaultPrefix)) {
          rest.remove_prefix(std::strlen(kDefaultPrefix));
        } else {
          rest = {};
        }
      }
      size_t best = 0;
      for (const char* known : kCommands) {
        size_t n = std::strlen(known);
        if (n > best && StartsWith(rest, known)) {
          best = n;
          command = known;
        }
      }
      if (best > 0) {
        args = std::string(rest.substr(best));
        parsed = true;
      }
    }
  }

  bool faulty = ReplyFaultApplies(command);
  if (faulty && options_.faults.remoteConfig) {
    reply.result = Result::RemoteConfig;
  } else if (parsed) {
    Execute(command, args, reply);
  }
  if (!procedureCommand_.empty()) {
    procedureFaulty_ = faulty;
    return;  // the procedure answers when it ends
  }
  Answer(std::move(reply), faulty);
}

void AdapterEngine::Execute(const std::string& command, const std::string& args, Reply& reply) {
  Station& s = GetStation();
  const RadioTiming& timing = world_.Timing();
  auto ok = [&](std::vector<std::string> info = {}) {
    reply.info = std::move(info);
    reply.result = Result::Ok;
  };
  auto result = [&](Result r) { reply.result = r; };
  int value = 0;

  if (command == "AT") return ok();
  if (command == "^GETPRE") {
    if (args.empty()) ok({options_.prefix});
    return;
  }
  if (command == "C") {
    if (args.empty()) ok({options_.faults.incompatible ? "0" : "1"});
    return;
  }
  if (command == "B") {
    if (args.size() == 1 && ParseUnsigned(args, 4, value)) {
      s.MutableLine().mode = value;
      ok();
    }
    return;
  }
  if (command == "\\R") {
    if (ParseUnsigned(args, 10, value) && args.size() <= 2) {
      s.MutableLine().bitRate = value;
      ok();
    }
    return;
  }
  if (command == "\\F") {
    if (args.size() == 1 && std::strchr("01234789", args[0]) != nullptr) {
      s.MutableLine().format = args[0];
      ok();
    }
    return;
  }
  if (command == "\\Q") {
    if (args.size() == 1 && ParseUnsigned(args, 6, value)) {
      s.MutableLine().flowControl = value;
      ok();
    }
    return;
  }
  if (command == "\\P") {
    if (args == "0" || args == "1") {
      s.MutableLine().localFlow = args == "1";
      ok();
    }
    return;
  }
  if (command == "N") {
    size_t comma = args.rfind(',');
    if (comma == std::string::npos) return;
    int target = ParseTarget(std::string_view(args).substr(comma + 1));
    std::string name = args.substr(0, comma);
    // A name that equals a result word travels in double quotes.
    if (name.size() > 2 && name.front() == '"' && name.back() == '"' &&
        IsResultWord(std::string_view(name).substr(1, name.size() - 2)))
      name = name.substr(1, name.size() - 2);
    bool control = std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    // An empty name would read as a free slot in the partner's table.
    if (target < 0 || name.empty() || name.size() > kMaxNameLength || control) return;
    if (target == 0) {
      s.SetName(name);
      return ok();
    }
    return result(world_.SetPartnerName(stationId_, name));
  }
  if (command == "O") {
    if (!args.empty()) return;
    ok();
    reply.after = [this]() { EnterPhase(Phase::Operating); };
    return;
  }
  if (command == "&V") {
    if (args.empty()) ok({SettingsReport(s)});
    return;
  }
  if (command == "I1" || command == "I2" || command == "I3" || command == "I4" || command == "I5" ||
      command == "I6") {
    int target = ParseTarget(args);
    if (target < 0 && !(args.empty() && (command == "I3" || command == "I5"))) return;
    Station* station = target == 1 ? world_.LinkedPartner(stationId_) : &s;
    if (!station) return result(Result::Failure);
    if (command == "I2" && target == 0 && options_.faults.notAdapter) return;
    if (command == "I1") return ok({station->Firmware()});
    if (command == "I2") return ok({station->Product()});
    if (command == "I4") return ok({QuoteName(station->Name())});
    if (command == "I6") return ok({station->Hardware()});
    if (command == "I3") return ok({"SN " + std::to_string(Fnv1a(station->Id()) % 100000000u)});
    return ok({"DECT DATA"});
  }
  if (command == "#T") {
    if (args.empty()) ok({s.Type() == StationType::Base ? "0" : "1"});
    return;
  }
  if (command == "#R" || command == "#W" || command == "#P") {
    int target = ParseTarget(args);
    if (target < 0) return;
    Station* station = target == 1 ? world_.LinkedPartner(stationId_) : &s;
    if (!station) return result(Result::Failure);
    std::vector<std::string> lines;
    for (int i = 0; i < station->SlotCount(); ++i) {
      const auto& entry = station->Entry(i);
      std::string line = std::to_string(i) + "=";
      if (command == "#R") {
        if (entry) line += QuoteName(world_.EntryName(*entry));
      } else if (command == "#W") {
        line += world_.HoldsDataConnection(station->Id(), i) ? "1" : "0";
      } else {
        line += std::to_string(entry ? entry->releaseSeconds : 0);
      }
      lines.push_back(std::move(line));
    }
    return ok(std::move(lines));
  }
  if (command == "#C") {
    if (args.empty()) ok({world_.IsLinked(stationId_) ? "1" : "0"});
    return;
  }
  if (command == "#I0" || command == "#I1") {
    if (!args.empty()) return;
    int reading = command == "#I0" ? world_.ReadSignal(stationId_) : world_.ReadQuality(stationId_);
    return ok({std::to_string(reading)});
  }
  if (command == "#D") {
    if (args.size() == 1 && ParseUnsigned(args, kMaxSlots - 1, value) && world_.SelectPartner(stationId_, value))
      ok();
    return;
  }
  if (command == "#S") {
    if (!args.empty()) return;
    int index = world_.OwnIndexAtPartner(stationId_);
    if (index < 0) return result(Result::Failure);
    return ok({std::to_string(index)});
  }
  if (command == "#V1" || command == "#V0") {
    if (!args.empty()) return;
    return result(command == "#V1" ? world_.OccupyData(stationId_) : world_.ReleaseData(stationId_));
  }
  if (command == "#Q") {
    if (ParseUnsigned(args, 655, value)) result(world_.SetReleaseTime(stationId_, value));
    return;
  }
  if (command == "^KBASC") {
    if (args != "0" && args != "1") return;
    StationType type = args == "1" ? StationType::Handset : StationType::Base;
    StartProcedure(command, timing.typeChangeMs, [this, type]() {
      Reply r;
      r.after = [this, type]() {
        GetStation().SetType(type);
        world_.Update();
        Restart();
      };
      return r;
    });
    return;
  }
  if (command == "&F") {
    if (!args.empty()) return;
    StartProcedure(command, timing.factoryResetMs, [this]() {
      Reply r;
      r.after = [this]() {
        GetStation().FactoryReset();
        world_.Update();
        Restart();
      };
      return r;
    });
    return;
  }
  if (command == "^KENB") {
    if (!args.empty() || s.Type() != StationType::Base) return;
    Result opened = world_.OpenRegistrationWindow(stationId_, [this](Result r) {
      procedureBase_.clear();
      FinishProcedure(r);
    });
    if (opened == Result::Ok) {
      procedureCommand_ = command;
      procedureBase_ = stationId_;
      return;
    }
    if (opened == Result::BaseFull) {
      StartProcedure(command, timing.baseFullMs, []() {
        Reply r;
        r.result = Result::BaseFull;
        return r;
      });
    }
    return;
  }
  if (command == "^KOAC") {
    size_t comma = args.find(',');
    if (comma == std::string::npos || s.Type() != StationType::Handset) return;
    std::string pin = args.substr(0, comma);
    if (!IsValidPin(pin) || !ParseUnsigned(std::string_view(args).substr(comma + 1), s.SlotCount() - 1, value)) return;
    StartProcedure(command, timing.registerMs, [this, pin, slot = value]() {
      Reply r;
      r.result = world_.RegisterAtBase(stationId_, pin, slot);
      return r;
    });
    return;
  }
  if (command == "^KATC") {
    if (!ParseUnsigned(args, s.SlotCount() - 1, value) || !s.Entry(value)) return;
    StartProcedure(command, timing.deregisterMs, [this, slot = value]() {
      Reply r;
      r.result = world_.Deregister(stationId_, slot);
      return r;
    });
    return;
  }
  if (command == "^CHGPIN") {
    size_t comma = args.find(',');
    if (comma == std::string::npos) return;
    std::string oldPin = args.substr(0, comma), newPin = args.substr(comma + 1);
    if (!IsValidPin(oldPin) || !IsValidPin(newPin)) return;
    StartProcedure(command, timing.pinChangeMs, [this, oldPin, newPin]() {
      Reply r;
      r.result = world_.ChangePin(stationId_, oldPin, newPin);
      return r;
    });
    return;
  }
  // "^LOAD" (a firmware loader the simulator does not have): ERROR.
}

// ---------------------------------------------------------------- procedures

void AdapterEngine::StartProcedure(const std::string& command, uint64_t delayMs, std::function<Reply()> finish) {
  procedureCommand_ = command;
  uint64_t generation = generation_;
  procedure_ = tasks_.Schedule(delayMs, [this, finish = std::move(finish), generation]() {
    procedure_ = 0;
    if (generation != generation_) return;
    Reply r = finish();
    procedureCommand_.clear();
    Answer(std::move(r), procedureFaulty_);
  });
}

void AdapterEngine::FinishProcedure(Result result) {
  if (procedureCommand_.empty()) return;
  tasks_.Cancel(procedure_);
  procedureCommand_.clear();
  Reply r;
  r.result = result;
  Answer(std::move(r), procedureFaulty_);
}

void AdapterEngine::CancelProcedure() {
  tasks_.Cancel(procedure_);
  if (!procedureBase_.empty()) {
    world_.CloseRegistrationWindow(procedureBase_);
    procedureBase_.clear();
  }
  procedureCommand_.clear();
  bool faulty = procedureFaulty_;
  uint64_t generation = generation_;
  tasks_.Schedule(world_.Timing().cancelMs, [this, faulty, generation]() {
    if (generation != generation_) return;
    Reply r;
    r.result = Result::Failure;
    Answer(std::move(r), faulty);
  });
}

// ---------------------------------------------------------------- answers and the wire

bool AdapterEngine::ReplyFaultApplies(const std::string& command) {
  Faults& f = options_.faults;
  bool any = !f.reply || f.replyDelayMs > 0 || f.garbageBytes > 0 || f.sprinklePercent > 0 || f.remoteConfig;
  if (!any || f.count == 0) return false;
  if (!f.onlyCommand.empty() && f.onlyCommand != command) return false;
  if (f.count > 0) --f.count;
  return true;
}

void AdapterEngine::Answer(Reply reply, bool faulty) {
  uint64_t delay = faulty ? options_.faults.replyDelayMs : 0;
  bool silent = faulty && !options_.faults.reply;
  uint32_t garbage = faulty ? options_.faults.garbageBytes : 0;
  uint32_t sprinkle = faulty ? options_.faults.sprinklePercent : 0;
  auto deliver = [this, reply = std::move(reply), silent, garbage, sprinkle]() {
    if (!silent) {
      std::string nl = options_.lineFeeds ? "\r\n" : "\r";
      std::string body;
      if (!reply.info.empty()) {
        body += nl;
        for (const std::string& line : reply.info) body += line + nl;
      }
      body += nl + ResultWord(reply.result) + nl;
      std::string out;
      for (uint32_t i = 0; i < garbage; ++i) out += static_cast<char>(random_.Below(256));
      for (char c : body) {
        if (sprinkle > 0 && random_.Below(100) < sprinkle) {
          switch (random_.Below(3)) {
            case 0: out += '\0'; break;
            case 1: out += '\n'; break;
            default:
              // A stray character taken back at once: the reply still reads the same.
              out += static_cast<char>('!' + random_.Below(90));
              out += '\b';
          }
        }
        out += c;
      }
      Emit(std::move(out));
    }
    if (reply.after) reply.after();
  };
  if (delay == 0) {
    deliver();
    return;
  }
  uint64_t generation = generation_;
  tasks_.Schedule(delay, [deliver = std::move(deliver), generation, this]() {
    if (generation == generation_) deliver();
  });
}

void AdapterEngine::Emit(std::string bytes) {
  if (bytes.empty()) return;
  if (!options_.pace) {
    // Everything sent at one instant (the echo of a line, its answer) goes
    // to the line in one piece, at the end of the instant.
    if (batch_.empty()) {
      tasks_.Schedule(0, [this]() {
        std::string out = std::move(batch_);
        batch_.clear();
        if (trace_) trace_(tasks_.Now(), '<', out);
        line_.Transmit(out);
      });
    }
    batch_ += bytes;
    return;
  }
  uint64_t now = tasks_.Now();
  // While a received character is handled, what it causes (its echo, an
  // answer) starts when that character came in, not at the millisecond its
  // arrival was noticed.
  uint64_t from = emitNotBefore_ != 0 ? emitNotBefore_ : now * kUnitsPerMs;
  size_t i = 0;
  while (i < bytes.size()) {
    uint64_t due = (std::max(from, outputBusyUntil_) + kUnitsPerChar + kUnitsPerMs - 1) / kUnitsPerMs;
    std::string group;
    while (i < bytes.size()) {
      uint64_t end = std::max(from, outputBusyUntil_) + kUnitsPerChar;
      if ((end + kUnitsPerMs - 1) / kUnitsPerMs != due) break;
      outputBusyUntil_ = end;
      group += bytes[i++];
    }
    tasks_.Schedule(due - now, [this, group = std::move(group)]() {
      if (trace_) trace_(tasks_.Now(), '<', group);
      line_.Transmit(group);
    });
  }
}

void AdapterEngine::ScheduleNoise() {
  const Faults& f = options_.faults;
  if (f.noisePeriodMs == 0 || !hostOpen_) return;
  noiseTask_ = tasks_.Schedule(f.noisePeriodMs, [this]() {
    noiseTask_ = 0;
    std::string burst;
    for (uint32_t i = 0; i < options_.faults.noiseBytes; ++i) burst += static_cast<char>(random_.Below(256));
    if (hostOpen_) Emit(std::move(burst));
    ScheduleNoise();
  });
}

// ---------------------------------------------------------------- phases

void AdapterEngine::EnterPhase(Phase phase) {
  if (phase == Phase::Off || phase == Phase::Restarting) {
    // Whatever was under way dies with the power.
    ++generation_;
    tasks_.Cancel(procedure_);
    if (!procedureBase_.empty()) {
      world_.CloseRegistrationWindow(procedureBase_);
      procedureBase_.clear();
    }
    procedureCommand_.clear();
  }
  if (phase == Phase::Operating && options_.alwaysConfig) phase = Phase::Config;
  phase_ = phase;
  lineBuffer_.clear();
  lineOverflow_ = false;
  UpdateModemLines();
}

void AdapterEngine::Restart() {
  // The restart begins when the OK has left the wire.
  uint64_t at = OutputIdleAt();
  tasks_.Cancel(restartTask_);
  restartTask_ = tasks_.Schedule(at - tasks_.Now(), [this]() {
    EnterPhase(Phase::Restarting);
    world_.BeginRestart(stationId_);
    restartTask_ = tasks_.Schedule(world_.Timing().restartMs, [this]() {
      restartTask_ = 0;
      world_.EndRestart(stationId_);
      if (GetStation().Powered()) EnterPhase(Phase::Operating);
    });
  });
}

void AdapterEngine::OnStationChanged(const std::string& stationId) {
  if (stationId != stationId_) return;
  Station& s = GetStation();
  if (!s.Powered() && phase_ != Phase::Off) {
    tasks_.Cancel(restartTask_);
    if (s.Restarting()) world_.EndRestart(stationId_);
    EnterPhase(Phase::Off);
  } else if (s.Powered() && phase_ == Phase::Off) {
    EnterPhase(Phase::Operating);
  }
}

}  // namespace k470::sim
