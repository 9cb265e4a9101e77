// The command channel at the byte level: what comes back for a line, fed
// whole, split at every byte boundary and byte by byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "configtool/platform/messages.h"
#include "configtool/platform/virtual_host.h"
#include "configtool/protocol/at_channel.h"
#include "configtool/res/string_ids.h"
#include "configtool/serial/com_port.h"
#include "configtool/serial/virtual_port.h"

namespace k470 {
namespace {

// Records what the channel hands to the session.
class FakeSession : public IAtSession {
 public:
  void OnCommandOk(const std::string& text) override {
    calls.push_back("OK:" + text);
    if (onCall) onCall();
  }
  void OnCommandError(uint32_t code) override {
    calls.push_back("ERR:" + std::to_string(code));
    if (onCall) onCall();
  }
  void StartDetection() override { calls.push_back("StartDetection"); }
  void ResetSession() override { calls.push_back("ResetSession"); }
  void OnTraceChar(char c) override { trace += c; }

  std::vector<std::string> calls;
  std::string trace;
  std::function<void()> onCall;
};

struct ChannelRig {
  ChannelRig() : com(system.AddPort("COM1")), probe(com), port(host, system), channel(host, window, &port) {
    channel.SetSession(&session);
    window = sheet.Id();
  }
  struct Sheet : IMessageTarget {
    explicit Sheet(VirtualHost& host) : id(host.RegisterTarget(this)) {}
    intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t) override {
      posts.push_back({message, wParam});
      return 0;
    }
    TargetId Id() const { return id; }
    TargetId id;
    std::vector<std::pair<uint32_t, uintptr_t>> posts;
  };

  void Open() {
    ASSERT_TRUE(port.Open("COM1"));
    session.calls.clear();
    com.ClearWritten();
  }
  void Feed(const std::string& bytes) {
    channel.OnReceive(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
  }
  int Writes(const std::string& line) const {
    int n = 0;
    for (size_t pos = com.Written().find(line); pos != std::string::npos; pos = com.Written().find(line, pos + 1)) ++n;
    return n;
  }

  VirtualHost host;
  VirtualSerialSystem system{&host.Clock()};
  VirtualPort& com;
  ProbeAnsweringFarEnd probe;
  CComPort port;
  TargetId window = kNoTarget;
  CAtChannel channel;
  FakeSession session;
  Sheet sheet{host};
};

constexpr char kLine[] = "AT+KDV24#R0\r";
const std::string kOk = std::to_string(IDS_RESULT_OK);

struct ByteCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> calls;
  int writes;  // times the line went out, the first send included
};

std::vector<ByteCase> ByteCases() {
  const std::string echo = kLine;
  return {
      {"empty reply", echo + "\r\nOK\r\n", {"OK:"}, 1},
      {"two list lines", echo + "\r\n0=Name\r\n1=\r\n\r\nOK\r\n", {"OK:0=Name\r1=\r\r"}, 1},
      {"list value OK is no result", echo + "\r\n0=OK\r\n\r\nOK\r\n", {"OK:0=OK\r\r"}, 1},
      {"quoted name", echo + "\r\n0=\"OK\"\r\n\r\nOK\r\n", {"OK:0=\"OK\"\r\r"}, 1},
      {"backspace", echo + "\r\nAB\bC\r\nOK\r\n", {"OK:AC\r"}, 1},
      {"backspace on empty buffer", std::string("\b\b") + echo + "\r\nOK\r\n", {"OK:"}, 1},
      {"NUL and LF never reach the text", echo + std::string("\r\n\0X\0\n\r\nOK\r\n", 12), {"OK:X\r"}, 1},
      {"result word without its own CR", echo + "OK\r\n", {"OK:"}, 1},
      {"CR before the echo", "\r" + echo + "\r\nOK\r\n", {"OK:"}, 1},
      {"noise before the echo", "xx\x7f" + echo + "\r\n7\r\n\r\nOK\r\n", {"OK:7\r\r"}, 1},
      {"ERROR", echo + "\r\nERROR\r\n", {"ERR:" + std::to_string(IDS_RESULT_ERROR)}, 1},
      {"FAILURE", echo + "\r\nFAILURE\r\n", {"ERR:" + std::to_string(IDS_RESULT_FAILURE)}, 1},
      {"INVALID_PIN", echo + "\r\nINVALID_PIN\r\n", {"ERR:" + std::to_string(IDS_RESULT_INVALID_PIN)}, 1},
      {"BASE_FULL", echo + "\r\nBASE_FULL\r\n", {"ERR:" + std::to_string(IDS_RESULT_BASE_FULL)}, 1},
      {"REMOTE_CONFIG", echo + "\r\nREMOTE_CONFIG\r\n", {"ERR:" + std::to_string(IDS_RESULT_REMOTE_CONFIG)}, 1},
      {"unfinished reply", echo + "\r\n0=Name\r\n", {}, 1},
      // Without the echo the line goes out again, twice; the third answer
      // without echo is no valid answer, whatever word it carried.
      {"no echo once", "\r\nERROR\r\n" + echo + "\r\nOK\r\n", {"OK:"}, 2},
      {"no echo three times", "\r\nERROR\r\n\r\nERROR\r\n\r\nERROR\r\n", {"ERR:0"}, 3},
      {"garbled echo", "AT+KDV24#X0\r\r\nOK\r\n" + echo + "\r\nOK\r\n", {"OK:"}, 2},
      {"answers after completion are ignored", echo + "\r\nOK\r\n\r\nERROR\r\n", {"OK:"}, 1},
  };
}

// Feeds bytes in blocks cut at the given positions.
void FeedSplit(ChannelRig& rig, const std::string& bytes, const std::vector<size_t>& cuts) {
  size_t from = 0;
  for (size_t cut : cuts) {
    rig.Feed(bytes.substr(from, cut - from));
    from = cut;
  }
  rig.Feed(bytes.substr(from));
}

void CheckCase(const ByteCase& c, const std::vector<size_t>& cuts, const std::string& how) {
  ChannelRig rig;
  rig.Open();
  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, kLine));
  FeedSplit(rig, c.bytes, cuts);
  EXPECT_EQ(rig.session.calls, c.calls) << c.name << " " << how;
  EXPECT_EQ(rig.Writes(kLine), c.writes) << c.name << " " << how;
}

TEST(ChannelBytesTest, WholeBlock) {
  for (const auto& c : ByteCases()) CheckCase(c, {}, "whole");
}

TEST(ChannelBytesTest, SplitAtEveryByteBoundary) {
  for (const auto& c : ByteCases()) {
    for (size_t cut = 1; cut < c.bytes.size(); ++cut) CheckCase(c, {cut}, "cut at " + std::to_string(cut));
  }
}

TEST(ChannelBytesTest, OneByteAtATime) {
  for (const auto& c : ByteCases()) {
    std::vector<size_t> cuts;
    for (size_t i = 1; i < c.bytes.size(); ++i) cuts.push_back(i);
    CheckCase(c, cuts, "byte by byte");
  }
}

TEST(ChannelTest, SendCommandRefusesWhileBusyAndWithoutPort) {
  ChannelRig rig;
  rig.Open();
  FakeSession other;
  EXPECT_FALSE(rig.channel.SendCommand(&rig.session, ""));
  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, kLine));
  EXPECT_EQ(rig.channel.SendLine(&other, "AT+KDV24#C\r"), CAtChannel::SendStatus::Refused);
  EXPECT_EQ(rig.channel.GetRequester(), &rig.session);
  EXPECT_EQ(rig.Writes("#C"), 0);

  VirtualHost host;
  CAtChannel portless(host, rig.window, nullptr);
  EXPECT_EQ(portless.SendLine(&rig.session, kLine), CAtChannel::SendStatus::Refused);
}

TEST(ChannelTest, UnwritableLineKeepsTheRequester) {
  ChannelRig rig;
  rig.Open();
  rig.com.FailWrites(WriteResult::Failed);
  EXPECT_EQ(rig.channel.SendLine(&rig.session, kLine), CAtChannel::SendStatus::WriteFailed);
  EXPECT_EQ(rig.channel.GetRequester(), &rig.session);
  // The channel takes no other line until the requester lets go.
  EXPECT_EQ(rig.channel.SendLine(&rig.session, kLine), CAtChannel::SendStatus::Refused);
  rig.channel.Abandon(&rig.session);
  EXPECT_TRUE(rig.channel.IsIdle());
}

TEST(ChannelTest, InterruptSendsABareCrAndWaitsForItsAnswer) {
  ChannelRig rig;
  rig.Open();
  FakeSession other;
  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, "AT+KDV24^KOAC1234,0\r"));
  EXPECT_FALSE(rig.channel.Interrupt(&other));
  EXPECT_TRUE(rig.channel.Interrupt(&rig.session));
  EXPECT_EQ(rig.com.Written(), "AT+KDV24^KOAC1234,0\r\r");
  EXPECT_EQ(rig.channel.GetRequester(), &rig.session);
  // The procedure's own echo is old news; the CR's echo and word end it.
  rig.Feed("AT+KDV24^KOAC1234,0\r\r\r\nFAILURE\r\n");
  EXPECT_EQ(rig.session.calls, (std::vector<std::string>{"ERR:" + std::to_string(IDS_RESULT_FAILURE)}));
}

TEST(ChannelTest, AbandonedRequesterHearsNothing) {
  ChannelRig rig;
  rig.Open();
  FakeSession other;
  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, kLine));
  rig.channel.Abandon(&other);
  EXPECT_EQ(rig.channel.GetRequester(), &rig.session);
  rig.channel.Abandon(&rig.session);
  rig.Feed(std::string(kLine) + "\r\nOK\r\n");
  EXPECT_TRUE(rig.session.calls.empty());
  // The buffer was still cut at the word.
  EXPECT_EQ(rig.channel.Buffer(), "");
}

TEST(ChannelTest, PortNoticesReachSheetAndSession) {
  ChannelRig rig;
  ASSERT_TRUE(rig.port.Open("COM1"));
  EXPECT_EQ(rig.session.calls, (std::vector<std::string>{"StartDetection"}));
  rig.host.RunPending();
  ASSERT_EQ(rig.sheet.posts.size(), 1u);
  EXPECT_EQ(rig.sheet.posts[0], std::make_pair(WM_REFRESH_VIEWS, uintptr_t{REFRESH_PORT}));

  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, kLine));
  rig.port.Close(false);
  rig.host.RunPending();
  EXPECT_EQ(rig.session.calls, (std::vector<std::string>{"StartDetection", "ResetSession"}));
  EXPECT_EQ(rig.sheet.posts.size(), 2u);
  // Opening again frees the channel from a requester that waited in vain.
  EXPECT_FALSE(rig.channel.IsIdle());
  ASSERT_TRUE(rig.port.Open("COM1"));
  EXPECT_TRUE(rig.channel.IsIdle());
}

TEST(ChannelTest, SheetWindowIsReadAtEachPost) {
  VirtualHost host;
  VirtualSerialSystem system(&host.Clock());
  VirtualPort& com = system.AddPort("COM1");
  ProbeAnsweringFarEnd probe(com);
  CComPort port(host, system);
  TargetId window = kNoTarget;
  CAtChannel channel(host, window, &port);
  ChannelRig::Sheet sheet(host);
  // The window comes into being after the channel.
  window = sheet.Id();
  ASSERT_TRUE(port.Open("COM1"));
  host.RunPending();
  EXPECT_EQ(sheet.posts.size(), 1u);
}

TEST(ChannelTest, TraceGetsEveryByteBeforeItIsInterpreted) {
  ChannelRig rig;
  rig.host.SetCommandLine("com2 v24trace");
  rig.Open();
  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, kLine));
  std::string traceAtCompletion;
  rig.session.onCall = [&] { traceAtCompletion = rig.session.trace; };
  const std::string bytes = std::string(kLine) + std::string("\r\n\0A\bB\r\nOK\r\n", 12);
  rig.Feed(bytes);
  EXPECT_EQ(rig.session.trace, bytes);
  // The CR that completed the word was traced before the session heard of it.
  EXPECT_EQ(traceAtCompletion, bytes.substr(0, bytes.size() - 1));
  EXPECT_EQ(rig.channel.TraceDecision(), 1);
}

TEST(ChannelTest, TraceIsDecidedOnceAtTheFirstByte) {
  ChannelRig rig;
  rig.host.SetCommandLine("noconfig");
  rig.Open();
  EXPECT_EQ(rig.channel.TraceDecision(), -1);
  rig.Feed("x");
  EXPECT_EQ(rig.channel.TraceDecision(), 0);
  rig.host.SetCommandLine("v24trace");
  rig.Feed("y");
  EXPECT_EQ(rig.session.trace, "");
  // The switch is case-sensitive.
  rig.host.SetCommandLine("V24TRACE");
  rig.channel.ResetTraceDecision();
  rig.Feed("z");
  EXPECT_EQ(rig.channel.TraceDecision(), 0);
}

TEST(ChannelTest, GarbageWithoutCrKeepsTheBufferBounded) {
  ChannelRig rig;
  rig.Open();
  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, kLine));
  // Characters without a line end, and line ends that end nothing.
  for (const std::string& garbage : {std::string(80, 'g'), std::string(80, '\r'), std::string("g\r", 2)}) {
    for (int i = 0; i < 20000; ++i) {
      rig.Feed(garbage);
      ASSERT_LE(rig.channel.Buffer().size(), CAtChannel::kBufferLimit);
    }
  }
  // The line's echo and answer are still understood after the flood.
  rig.Feed(std::string(kLine) + "\r\n0=A\r\n\r\nOK\r\n");
  EXPECT_EQ(rig.session.calls, (std::vector<std::string>{"OK:0=A\r\r"}));
}

TEST(ChannelTest, LongRealReplyIsNotCut) {
  ChannelRig rig;
  rig.Open();
  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, kLine));
  std::string lines;
  for (int i = 0; i < 2000; ++i) lines += std::to_string(i) + "=Station " + std::to_string(i) + "\r\n";
  ASSERT_LT(lines.size(), CAtChannel::kBufferLimit);
  ASSERT_GT(lines.size(), CAtChannel::kBufferKeep);
  rig.Feed(std::string(kLine) + "\r\n" + lines + "\r\nOK\r\n");
  ASSERT_EQ(rig.session.calls.size(), 1u);
  std::string expected;
  for (char c : lines) {
    if (c != '\n') expected += c;
  }
  EXPECT_EQ(rig.session.calls[0], "OK:" + expected + "\r");
}

TEST(ChannelTest, BytesDeliveredDuringAReplyHandlerKeepTheirOrder) {
  ChannelRig rig;
  rig.Open();
  ASSERT_TRUE(rig.channel.SendCommand(&rig.session, kLine));
  // The session opens a message box from its handler; the box's loop
  // delivers the next block while the current one is not finished.
  rig.session.onCall = [&] {
    rig.session.onCall = nullptr;
    rig.Feed("CD");
  };
  rig.Feed(std::string(kLine) + "\r\nERROR\r\nAB");
  EXPECT_EQ(rig.channel.Buffer(), "ABCD");
}

}  // namespace
}  // namespace k470
