#include "scripted_adapter.h"

namespace k470::test {

ScriptedAdapter::ScriptedAdapter(VirtualPort& port, VirtualClock& clock) : port_(port), clock_(clock) {
  port_.AttachFarEnd(this);
  // A handset registered at a base, no radio link, the V.24 model.
  infos_ = {
      {"C", "1"},
      {"#R0", "0=Basis Eins\r\n1="},
      {"#T", "1"},
      {"I2,0", "_V_2_4_"},
      {"I4,0", "Mein Teilnehmer"},
      {"&V", "B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0"},
      {"#P0", "0=60\r\n1="},
      {"I1,0", "1.23"},
      {"I6,0", "HW 2"},
      {"#C", "0"},
      {"#W0", "0=0\r\n1="},
      {"#I0", "42"},
      {"#I1", "77"},
      {"I2,1", "_U_S_B_"},
      {"I4,1", "Basis Eins"},
      {"I6,1", "HW 3"},
      {"I1,1", "2.00"},
      {"#R1", "0=Mein Teilnehmer\r\n1="},
      {"#S", "0"},
      {"#P1", "0=120\r\n1="},
      {"#W1", "0=1\r\n1="},
  };
}

void ScriptedAdapter::SetPrefix(const std::string& prefix) { prefix_ = prefix; }

void ScriptedAdapter::Script(const std::string& command, const Behaviour& behaviour, int times) {
  for (int i = 0; i < times; ++i) script_[command].push_back(behaviour);
}

std::vector<std::string> ScriptedAdapter::Commands() const {
  std::vector<std::string> out;
  for (const auto& line : lines_) out.push_back(line.command);
  return out;
}

std::string ScriptedAdapter::Reply(const std::string& info, const std::string& word) {
  std::string out;
  if (!info.empty()) out += "\r\n" + info + "\r\n";
  out += "\r\n" + word + "\r\n";
  return out;
}

void ScriptedAdapter::OnHostLines(bool dtr, bool) {
  port_.SetDsr(dtr && present_);
  port_.SetCts(dtr && present_);
}

void ScriptedAdapter::OnHostBytes(const uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == '\r') {
      std::string line = pending_;
      pending_.clear();
      OnLine(line);
    } else {
      pending_ += c;
    }
  }
}

std::string ScriptedAdapter::CommandOf(const std::string& line) const {
  if (line == "AT^GETPRE") return "^GETPRE";
  std::string learnt = "AT" + prefix_;
  if (line.rfind(learnt, 0) == 0) return line.substr(learnt.size());
  if (line.rfind("AT+KDV24", 0) == 0) return line.substr(8);
  return line;
}

void ScriptedAdapter::OnLine(const std::string& line) {
  std::string command = CommandOf(line);
  lines_.push_back({clock_.Now(), line, command});

  Behaviour behaviour;
  behaviour.delayMs = defaultDelay_;
  if (command == "^GETPRE") {
    behaviour.info = prefix_;
  } else if (auto it = infos_.find(command); it != infos_.end()) {
    behaviour.info = it->second;
  }
  if (auto it = script_.find(command); it != script_.end() && !it->second.empty()) {
    behaviour = it->second.front();
    it->second.pop_front();
  } else if (auto always = always_.find(command); always != always_.end()) {
    behaviour = always->second;
  }

  std::string bytes;
  switch (behaviour.kind) {
    case Behaviour::Silent:
      return;
    case Behaviour::Raw:
      bytes = behaviour.raw;
      break;
    case Behaviour::NoEcho:
      bytes = Reply(behaviour.info, behaviour.word);
      break;
    case Behaviour::Answer:
      bytes = line + "\r" + Reply(behaviour.info, behaviour.word);
      break;
  }
  clock_.Schedule(behaviour.delayMs, [this, bytes] { port_.SendToHost(bytes); });
}

}  // namespace k470::test
