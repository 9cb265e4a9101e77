// Speed and memory of the protocol core:
//  - OnReceive on a realistic stream of echoes and replies, fed in the
//    reader's 80-byte blocks: the target is 100 MB/s, 50 000 times the
//    wire rate of 1920 characters per second;
//  - the session's CPU cost from the CR that completes a result word to the
//    next line handed to the port: the target is under 50 us;
//  - a stream of garbage without CR: the reply buffer stays bounded and the
//    resident memory does not grow.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "configtool/platform/messages.h"
#include "configtool/platform/virtual_host.h"
#include "configtool/protocol/at_channel.h"
#include "configtool/protocol/session_sheet.h"
#include "configtool/protocol/station_session.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/virtual_port.h"

namespace k470 {
namespace {

// The replies of one detection and poll cycle, as the adapter sends them.
struct Exchange {
  std::string line;
  std::string reply;
};

std::vector<Exchange> RealisticExchanges() {
  auto answer = [](const std::string& info) {
    return (info.empty() ? std::string() : "\r\n" + info + "\r\n") + "\r\nOK\r\n";
  };
  const std::vector<std::pair<std::string, std::string>> commands = {
      {"AT^GETPRE\r", "+KDV24"},
      {"AT+KDV24C\r", "1"},
      {"AT+KDV24#R0\r", "0=Basis Eins\r\n1=Werkstatt Nord\r\n2=\r\n3=\r\n4=\r\n5="},
      {"AT+KDV24#T\r", "1"},
      {"AT+KDV24I2,0\r", "_V_2_4_"},
      {"AT+KDV24I4,0\r", "Mein Teilnehmer"},
      {"AT+KDV24&V\r", "B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0"},
      {"AT+KDV24#P0\r", "0=60\r\n1=120\r\n2=\r\n3=\r\n4=\r\n5="},
      {"AT+KDV24I1,0\r", "02.14"},
      {"AT+KDV24I6,0\r", "HW 2.1"},
      {"AT+KDV24#C\r", "1"},
      {"AT+KDV24#W0\r", "0=0\r\n1=1\r\n2=\r\n3=\r\n4=\r\n5="},
      {"AT+KDV24#I0\r", "72"},
      {"AT+KDV24#I1\r", "88"},
      {"AT+KDV24\\R7\r", ""},
  };
  std::vector<Exchange> out;
  for (const auto& [line, info] : commands) out.push_back({line, line + answer(info)});
  return out;
}

// Sends the next line of the cycle from inside each completion, as the
// session does.
class ChainingSession : public IAtSession {
 public:
  ChainingSession(CAtChannel& channel, const std::vector<Exchange>& exchanges)
      : channel_(channel), exchanges_(exchanges) {}
  void Start() { Next(); }
  void OnCommandOk(const std::string& text) override {
    benchmark::DoNotOptimize(text.data());
    ++completed;
    Next();
  }
  void OnCommandError(uint32_t) override {
    ++errors;
    Next();
  }
  void StartDetection() override {}
  void ResetSession() override {}
  void OnTraceChar(char) override {}

  size_t completed = 0;
  size_t errors = 0;

 private:
  void Next() {
    channel_.SendCommand(this, exchanges_[index_].line);
    index_ = (index_ + 1) % exchanges_.size();
  }
  CAtChannel& channel_;
  const std::vector<Exchange>& exchanges_;
  size_t index_ = 0;
};

struct ChannelRig {
  ChannelRig() : com(system.AddPort("COM1")), probe(com), port(host, system), channel(host, window, &port) {
    port.Open("COM1");
  }
  VirtualHost host;
  VirtualSerialSystem system{&host.Clock()};
  VirtualPort& com;
  ProbeAnsweringFarEnd probe;
  CComPort port;
  TargetId window = kNoTarget;
  CAtChannel channel;
};

void FeedInBlocks(CAtChannel& channel, const std::string& bytes) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); i += 80) {
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(80, bytes.size() - i));
    channel.OnReceive(data + i, n);
  }
}

void BM_OnReceiveRealisticStream(benchmark::State& state) {
  ChannelRig rig;
  std::vector<Exchange> exchanges = RealisticExchanges();
  ChainingSession session(rig.channel, exchanges);
  rig.channel.SetSession(&session);
  // Many cycles in one stream, so the blocks fall across the replies in
  // every way.
  std::string stream;
  for (int cycle = 0; cycle < 64; ++cycle) {
    for (const auto& exchange : exchanges) stream += exchange.reply;
  }
  session.Start();
  for (auto _ : state) {
    FeedInBlocks(rig.channel, stream);
    rig.com.ClearWritten();
  }
  if (session.errors != 0 || session.completed == 0) state.SkipWithError("the stream was not understood");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
  state.counters["replies"] = benchmark::Counter(static_cast<double>(session.completed), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OnReceiveRealisticStream);

// The sheet as the session needs it, doing nothing.
class QuietSheet : public ISessionSheet, public IMessageTarget {
 public:
  explicit QuietSheet(VirtualHost& host) : window_(host.RegisterTarget(this)) {}
  intptr_t OnMessage(uint32_t, uintptr_t, intptr_t) override { return 0; }
  TargetId GetSheetWindow() const override { return window_; }
  OperationCode GetOperation() const override { return OP_IDLE; }
  bool BeginOperation(OperationCode) override { return true; }
  void EndOperation() override {}
  int ShowMessage(const std::string&, unsigned) override { return IDOK; }
  void ShowWaitDialog(bool) override {}
  void EnableWaitCancel(bool) override {}
  void SetModeTabEnabled(bool) override {}
  void SetReportOccupied(int) override {}
  void AppendTraceChar(char) override {}
  void HideApplication() override {}
  void EndSheet(int) override {}
  const TargetId& WindowRef() const { return window_; }

 private:
  TargetId window_;
};

void BM_ResultWordToNextLine(benchmark::State& state) {
  VirtualHost host;
  VirtualSerialSystem system(&host.Clock());
  VirtualPort& com = system.AddPort("COM1");
  ProbeAnsweringFarEnd probe(com);
  CComPort port(host, system);
  QuietSheet sheet(host);
  CAtChannel channel(host, sheet.WindowRef(), &port);
  CStationSession session(host, sheet, channel, port);
  // The port opens and the detection starts; its first line is out.
  port.Open("COM1");

  // The information of each command of the detection and the status poll.
  auto infoFor = [](const std::string& line) -> std::string {
    if (line.find("^GETPRE") != std::string::npos) return "+KDV24";
    if (line.find("#R0") != std::string::npos) return "0=Basis Eins\r\n1=\r\n2=";
    if (line.find("#W0") != std::string::npos) return "0=0\r\n1=\r\n2=";
    if (line.find("#P0") != std::string::npos) return "0=60\r\n1=\r\n2=";
    if (line.find("&V") != std::string::npos) return "B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0";
    if (line.find("I2") != std::string::npos) return "_V_2_4_";
    if (line.find("I4") != std::string::npos) return "Mein Teilnehmer";
    if (line.find("#C") != std::string::npos) return "0";
    return "1";
  };

  size_t lines = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (session.GetQueue().size() < 2) session.PollStatus();
    host.RunPending();
    std::string line = channel.LastLine();
    std::string reply = line + "\r\n" + infoFor(line) + "\r\n\r\nOK";
    channel.OnReceive(reinterpret_cast<const uint8_t*>(reply.data()), static_cast<uint32_t>(reply.size()));
    com.ClearWritten();
    state.ResumeTiming();
    // The CR that completes the word: the reply action runs and the next
    // line goes to the port.
    static const uint8_t kCr = '\r';
    channel.OnReceive(&kCr, 1);
    state.PauseTiming();
    if (com.Written().empty()) state.SkipWithError("no next line");
    lines += 1;
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_ResultWordToNextLine)->MeasureProcessCPUTime()->UseRealTime();

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * 4;
}

void BM_GarbageWithoutCr(benchmark::State& state) {
  ChannelRig rig;
  std::vector<Exchange> exchanges = RealisticExchanges();
  ChainingSession session(rig.channel, exchanges);
  rig.channel.SetSession(&session);
  session.Start();
  std::string block(80, 'x');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(0x20 + (i * 37) % 0x5F);
  const auto* data = reinterpret_cast<const uint8_t*>(block.data());
  // 16 MB before measuring, so the buffer has reached its bound.
  for (int i = 0; i < 200000; ++i) rig.channel.OnReceive(data, 80);
  long residentBefore = ResidentKiB();
  size_t maxBuffer = 0;
  for (auto _ : state) {
    for (int i = 0; i < 12500; ++i) rig.channel.OnReceive(data, 80);  // 1 MB
    maxBuffer = std::max(maxBuffer, rig.channel.Buffer().capacity());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1000000);
  state.counters["buffer_capacity_bytes"] = static_cast<double>(maxBuffer);
  state.counters["resident_growth_kib"] = static_cast<double>(ResidentKiB() - residentBefore);
}
BENCHMARK(BM_GarbageWithoutCr);

}  // namespace
}  // namespace k470

BENCHMARK_MAIN();
