// A scripted adapter for the protocol tests: it sits at the far end of a
// VirtualPort, answers the DTR/RTS probe, and answers every command line
// from a table of information texts, with per-command overrides (another
// result word, no echo, no answer, garbage, a delay) taken in order.
// Answers are world events on the virtual clock, so they arrive at exact
// virtual times, also while the program sleeps.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "configtool/platform/virtual_clock.h"
#include "configtool/serial/virtual_port.h"

namespace k470::test {

class ScriptedAdapter : public IVirtualFarEnd {
 public:
  // What the adapter does with one line.
  struct Behaviour {
    enum Kind { Answer, Silent, NoEcho, Raw } kind = Answer;
    std::string info;        // information lines, separated by "\r\n"
    std::string word = "OK";  // result word
    uint32_t delayMs = 20;    // from the line's CR to the first byte
    std::string raw;         // Raw: exactly these bytes, no echo

    // An answer with this result word and information text.
    static Behaviour Word(const std::string& word, const std::string& info = "") {
      Behaviour b;
      b.word = word;
      b.info = info;
      return b;
    }
  };

  struct Line {
    uint64_t at;
    std::string text;     // as received, without the CR
    std::string command;  // behind the prefix
  };

  ScriptedAdapter(VirtualPort& port, VirtualClock& clock);

  // The default information text for a command (command word + argument,
  // e.g. "I2,0" or "#R0").
  void SetInfo(const std::string& command, const std::string& info) { infos_[command] = info; }
  // The next `times` lines with this command get this behaviour instead.
  void Script(const std::string& command, const Behaviour& behaviour, int times = 1);
  // Every line with this command gets this behaviour from now on.
  void Always(const std::string& command, const Behaviour& behaviour) { always_[command] = behaviour; }
  void ClearAlways(const std::string& command) { always_.erase(command); }
  // Prefix the adapter reports for "^GETPRE" (without "AT").
  void SetPrefix(const std::string& prefix);
  // Whether an adapter answers the probe at all.
  void SetPresent(bool present) { present_ = present; }
  void SetDelay(uint32_t ms) { defaultDelay_ = ms; }

  const std::vector<Line>& Lines() const { return lines_; }
  // The commands received, in order.
  std::vector<std::string> Commands() const;
  void ClearLines() { lines_.clear(); }

  // The bytes of an answer: echo, information lines, result word.
  static std::string Reply(const std::string& info, const std::string& word = "OK");

  // IVirtualFarEnd
  void OnHostBytes(const uint8_t* data, size_t length) override;
  void OnHostLines(bool dtr, bool rts) override;

 private:
  void OnLine(const std::string& line);
  std::string CommandOf(const std::string& line) const;

  VirtualPort& port_;
  VirtualClock& clock_;
  std::string pending_;
  std::string prefix_ = "+KDV24";
  bool present_ = true;
  uint32_t defaultDelay_ = 20;
  std::map<std::string, std::string> infos_;
  std::map<std::string, std::deque<Behaviour>> script_;
  std::map<std::string, Behaviour> always_;
  std::vector<Line> lines_;
};

}  // namespace k470::test
