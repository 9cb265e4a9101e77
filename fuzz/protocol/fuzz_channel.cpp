// Feeds arbitrary bytes to the command channel, in blocks of varying size,
// while a session-like requester keeps sending lines. Beside the channel
// runs a plain reference: the interpretation written out byte by byte with
// a search of the whole buffer at every CR, exactly as the rules are stated.
// The channel looks only at the end of the buffer (a pattern can only end at
// the CR just taken); both must report the same outcomes and writes, and
// the channel's buffer must stay bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "configtool/platform/virtual_host.h"
#include "configtool/platform/text.h"
#include "configtool/protocol/at_channel.h"
#include "configtool/res/string_ids.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/virtual_port.h"

namespace {

using namespace k470;

const char* const kLines[] = {"AT+KDV24#R0\r", "AT^GETPRE\r", "\r", "AT+KDV24N\"OK\",0\r", "AT+KDV24C\r"};

struct Word {
  const char* word;
  uint32_t code;
};
const Word kWords[] = {{"OK", IDS_RESULT_OK},
                       {"ERROR", IDS_RESULT_ERROR},
                       {"FAILURE", IDS_RESULT_FAILURE},
                       {"INVALID_PIN", IDS_RESULT_INVALID_PIN},
                       {"BASE_FULL", IDS_RESULT_BASE_FULL},
                       {"REMOTE_CONFIG", IDS_RESULT_REMOTE_CONFIG}};

// The rules as written: every CR searches the whole buffer.
class Reference {
 public:
  void Send(const std::string& line) {
    requester_ = true;
    lastLine_ = line;
    buffer_.clear();
    awaitingEcho_ = true;
    echoSeen_ = false;
    retries_ = 2;
    events.push_back("W" + line);
  }
  void Abandon() { requester_ = false; }
  bool Busy() const { return requester_; }

  void Byte(char c) {
    if (c == 0 || c == 10) return;
    if (c == 8) {
      if (!buffer_.empty()) buffer_.pop_back();
      return;
    }
    buffer_ += c;
    if (buffer_.size() > CAtChannel::kBufferLimit) buffer_.erase(0, buffer_.size() - CAtChannel::kBufferKeep);
    if (c != 13 || buffer_.size() == 1) return;
    if (awaitingEcho_) {
      echoSeen_ = buffer_.find(lastLine_) != std::string::npos;
      if (echoSeen_) {
        awaitingEcho_ = false;
        buffer_ = "\r";
        return;
      }
    }
    for (const auto& w : kWords) {
      size_t pos = buffer_.find(std::string("\r") + w.word + "\r");
      if (pos == std::string::npos) continue;
      buffer_.resize(pos + 1);
      buffer_ = TrimLeft(buffer_);
      Complete(w.code);
      return;
    }
  }

  std::vector<std::string> events;
  std::function<void()> onComplete;

 private:
  void Complete(uint32_t code) {
    if (!requester_) return;
    if (echoSeen_) {
      requester_ = false;
      events.push_back(code == IDS_RESULT_OK ? "OK:" + buffer_ : "ERR:" + std::to_string(code));
      if (onComplete) onComplete();
    } else if (retries_ > 0) {
      --retries_;
      events.push_back("W" + lastLine_);
    } else {
      requester_ = false;
      events.push_back("ERR:0");
      if (onComplete) onComplete();
    }
  }

  bool requester_ = false;
  std::string lastLine_;
  std::string buffer_;
  bool awaitingEcho_ = false;
  bool echoSeen_ = false;
  int retries_ = 2;
};

// Records what the channel writes, and answers the probe.
class Wire : public IVirtualFarEnd {
 public:
  explicit Wire(VirtualPort& port) : port_(port) { port.AttachFarEnd(this); }
  void OnHostBytes(const uint8_t* data, size_t length) override {
    if (recording) events->push_back("W" + std::string(reinterpret_cast<const char*>(data), length));
  }
  void OnHostLines(bool dtr, bool) override {
    port_.SetDsr(dtr);
    port_.SetCts(dtr);
  }
  std::vector<std::string>* events = nullptr;
  bool recording = false;

 private:
  VirtualPort& port_;
};

class Session : public IAtSession {
 public:
  void OnCommandOk(const std::string& text) override {
    // What the session is given never holds the bytes the channel drops,
    // and never starts with white space.
    for (char c : text) {
      if (c == 0 || c == 10) std::abort();
    }
    if (!text.empty() && IsSpace(text.front())) std::abort();
    events->push_back("OK:" + text);
    if (onComplete) onComplete();
  }
  void OnCommandError(uint32_t code) override {
    events->push_back("ERR:" + std::to_string(code));
    if (onComplete) onComplete();
  }
  void StartDetection() override {}
  void ResetSession() override {}
  void OnTraceChar(char) override { ++traced; }

  std::vector<std::string>* events = nullptr;
  std::function<void()> onComplete;
  size_t traced = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  VirtualHost host;
  host.SetCommandLine((data[0] & 0x80) ? "v24trace" : "");
  VirtualSerialSystem system(&host.Clock());
  VirtualPort& com = system.AddPort("COM1");
  Wire wire(com);
  CComPort port(host, system);
  TargetId window = kNoTarget;
  CAtChannel channel(host, window, &port);
  Session session;
  std::vector<std::string> channelEvents;
  session.events = &channelEvents;
  wire.events = &channelEvents;
  channel.SetSession(&session);
  if (!port.Open("COM1")) std::abort();
  wire.recording = true;

  // Both sides send the same lines in the same order, each from inside its
  // own completion, as the session does.
  constexpr size_t kLineCount = sizeof(kLines) / sizeof(kLines[0]);
  Reference reference;
  size_t channelLine = data[0] % kLineCount;
  size_t referenceLine = channelLine;
  bool chain = (data[0] & 0x40) != 0;
  session.onComplete = [&] {
    if (!chain) return;
    if (!channel.SendCommand(&session, kLines[channelLine])) std::abort();
    channelLine = (channelLine + 1) % kLineCount;
  };
  reference.onComplete = [&] {
    if (!chain) return;
    reference.Send(kLines[referenceLine]);
    referenceLine = (referenceLine + 1) % kLineCount;
  };
  auto sendBoth = [&] {
    if (!channel.SendCommand(&session, kLines[channelLine])) std::abort();
    channelLine = (channelLine + 1) % kLineCount;
    reference.Send(kLines[referenceLine]);
    referenceLine = (referenceLine + 1) % kLineCount;
  };
  sendBoth();

  uint32_t split = data[1];
  size_t i = 2;
  while (i < size) {
    split = split * 1103515245u + 12345u;
    size_t block = 1 + (split >> 16) % 97;
    if (block > size - i) block = size - i;
    channel.OnReceive(data + i, static_cast<uint32_t>(block));
    for (size_t k = 0; k < block; ++k) reference.Byte(static_cast<char>(data[i + k]));
    i += block;
    if (channel.Buffer().size() > CAtChannel::kBufferLimit) std::abort();
    if ((channel.GetRequester() != nullptr) != reference.Busy()) std::abort();
    // Between blocks the requester may give up, or start the next line.
    uint32_t choice = (split >> 8) & 0xF;
    if (choice == 0 && reference.Busy()) {
      channel.Abandon(&session);
      reference.Abandon();
    } else if (choice < 4 && !reference.Busy()) {
      sendBoth();
    }
  }
  if (channelEvents != reference.events) std::abort();
  if ((data[0] & 0x80) && session.traced != size - 2) std::abort();
  return 0;
}
