#include "configtool/platform/virtual_host.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "configtool/platform/messages.h"

namespace k470 {
namespace {

// Records every message it gets as "target:message:wParam@time".
class Recorder : public IMessageTarget {
 public:
  Recorder(VirtualHost& host, std::vector<std::string>& log, std::string name)
      : host_(host), log_(log), name_(std::move(name)), id_(host.RegisterTarget(this)) {}
  intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t) override {
    log_.push_back(name_ + ":" + std::to_string(message) + ":" + std::to_string(wParam) + "@" +
                   std::to_string(host_.NowMs()));
    if (onMessage) onMessage(message, wParam);
    return 7;
  }
  TargetId id() const { return id_; }
  std::function<void(uint32_t, uintptr_t)> onMessage;

 private:
  VirtualHost& host_;
  std::vector<std::string>& log_;
  std::string name_;
  TargetId id_;
};

class VirtualHostTest : public ::testing::Test {
 protected:
  VirtualHost host;
  std::vector<std::string> log;
};

TEST_F(VirtualHostTest, PostedMessagesRunInPostingOrderBeforeTimers) {
  Recorder a(host, log, "a"), b(host, log, "b");
  // A period of 0 counts as 10 ms.
  host.SetTimer(a.id(), 9, 0, [&](uint32_t id) {
    log.push_back("timer" + std::to_string(id) + "@" + std::to_string(host.NowMs()));
    host.KillTimer(a.id(), id);
  });
  host.Post(b.id(), 1);
  host.Post(a.id(), 2);
  host.Post(b.id(), 3);
  host.RunFor(100);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], "b:1:0@0");
  EXPECT_EQ(log[1], "a:2:0@0");
  EXPECT_EQ(log[2], "b:3:0@0");
  EXPECT_EQ(log[3], "timer9@10");
}

TEST_F(VirtualHostTest, PostToAGoneTargetIsDroppedWithItsPendingMessagesAndTimers) {
  Recorder a(host, log, "a");
  TargetId id = a.id();
  host.Post(id, 1);
  host.SetTimer(id, 1, 100);
  host.UnregisterTarget(id);
  EXPECT_FALSE(host.Post(id, 2));
  host.RunFor(1000);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(host.Send(id, 3), 0);
}

TEST_F(VirtualHostTest, TimersRepeatUntilKilledAndFireInOrderOfDueTime) {
  Recorder a(host, log, "a");
  std::vector<std::string> fired;
  host.SetTimer(a.id(), 1, 3000, [&](uint32_t) { fired.push_back("poll@" + std::to_string(host.NowMs())); });
  host.SetTimer(a.id(), 2, 5000, [&](uint32_t id) {
    fired.push_back("quality@" + std::to_string(host.NowMs()));
    host.KillTimer(a.id(), id);
  });
  host.RunFor(9000);
  EXPECT_EQ(fired, (std::vector<std::string>{"poll@3000", "quality@5000", "poll@6000", "poll@9000"}));
  EXPECT_TRUE(host.IsTimerRunning(a.id(), 1));
  EXPECT_FALSE(host.IsTimerRunning(a.id(), 2));
  EXPECT_EQ(host.NowMs(), 9000u);
}

TEST_F(VirtualHostTest, TimerWithoutProcedureSendsWmTimer) {
  Recorder a(host, log, "a");
  host.SetTimer(a.id(), 0, 500);
  host.RunFor(999);
  EXPECT_EQ(log, (std::vector<std::string>{"a:" + std::to_string(WM_TIMER) + ":0@500"}));
}

TEST_F(VirtualHostTest, SleepMovesTheWorldButDispatchesNothing) {
  Recorder a(host, log, "a");
  std::vector<uint64_t> world;
  host.Clock().Schedule(100, [&] {
    world.push_back(host.NowMs());
    host.Post(a.id(), 5);
  });
  host.SetTimer(a.id(), 1, 50);
  host.Sleep(200);
  EXPECT_EQ(world, (std::vector<uint64_t>{100}));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(host.NowMs(), 200u);
  // Afterwards the posted message goes first, then the overdue timer once.
  host.RunPending();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "a:5:0@200");
  EXPECT_EQ(log[1], "a:" + std::to_string(WM_TIMER) + ":1@200");
  ASSERT_EQ(host.Sleeps().size(), 1u);
  EXPECT_EQ(host.Sleeps()[0].ms, 200u);
}

TEST_F(VirtualHostTest, WorldEventsGoBeforeTimersDueAtTheSameTime) {
  Recorder a(host, log, "a");
  host.SetTimer(a.id(), 1, 100, [&](uint32_t) { log.push_back("timer"); });
  host.Clock().Schedule(100, [&] { log.push_back("world"); });
  host.RunFor(100);
  EXPECT_EQ(log, (std::vector<std::string>{"world", "timer"}));
}

TEST_F(VirtualHostTest, ScriptedMessageBoxKeepsTheLoopRunningWhileOpen) {
  Recorder a(host, log, "a");
  host.SetTimer(a.id(), 1, 1000, [&](uint32_t) { log.push_back("tick@" + std::to_string(host.NowMs())); });
  host.ScriptMessageBox(IDNO, 2500);
  int answer = host.MessageBox(a.id(), "Text", "Caption", MB_YESNO | MB_ICONWARNING);
  EXPECT_EQ(answer, IDNO);
  EXPECT_EQ(log, (std::vector<std::string>{"tick@1000", "tick@2000"}));
  ASSERT_EQ(host.MessageBoxes().size(), 1u);
  const auto& box = host.MessageBoxes()[0];
  EXPECT_EQ(box.text, "Text");
  EXPECT_EQ(box.caption, "Caption");
  EXPECT_EQ(box.flags, MB_YESNO | MB_ICONWARNING);
  EXPECT_EQ(box.answer, IDNO);
  EXPECT_TRUE(box.scripted);
}

TEST_F(VirtualHostTest, UnscriptedMessageBoxAnswersWithItsFirstButton) {
  EXPECT_EQ(host.MessageBox(0, "t", "c", MB_OK), IDOK);
  EXPECT_EQ(host.MessageBox(0, "t", "c", MB_OKCANCEL), IDOK);
  EXPECT_EQ(host.MessageBox(0, "t", "c", MB_YESNO), IDYES);
  EXPECT_EQ(host.MessageBox(0, "t", "c", MB_RETRYCANCEL), IDRETRY);
  EXPECT_FALSE(host.MessageBoxes()[0].scripted);
}

TEST_F(VirtualHostTest, WaitCursorCountNeverGoesBelowZero) {
  host.BeginWaitCursor();
  host.BeginWaitCursor();
  host.EndWaitCursor();
  host.RestoreWaitCursor();
  host.EndWaitCursor();
  host.EndWaitCursor();
  EXPECT_EQ(host.WaitCursorCount(), 0);
  EXPECT_EQ(host.WaitCursorLog(), "BBEREE");
}

TEST_F(VirtualHostTest, ExitStopsTheLoop) {
  Recorder a(host, log, "a");
  a.onMessage = [&](uint32_t message, uintptr_t) {
    if (message == 1) host.Exit(0);
  };
  host.Post(a.id(), 1);
  host.Post(a.id(), 2);
  host.RunFor(10000);
  EXPECT_TRUE(host.Exited());
  EXPECT_EQ(host.ExitCode(), 0);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(VirtualHostTest, ThreadMessagesFromAnotherThreadReachTheHandlerInOrder) {
  std::vector<uintptr_t> got;
  host.SetThreadMessageHandler([&](uint32_t message, uintptr_t wParam, intptr_t) {
    EXPECT_EQ(message, WM_SERIAL_RECEIVED);
    got.push_back(wParam);
  });
  std::thread reader([&] {
    for (uintptr_t i = 0; i < 100; ++i) host.PostThreadMessage(WM_SERIAL_RECEIVED, i);
  });
  EXPECT_TRUE(host.RunUntilReal([&] { return got.size() == 100; }, 5000));
  reader.join();
  for (uintptr_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], i);
}

TEST_F(VirtualHostTest, RunUntilStopsAtThePredicateOrTheLimit) {
  Recorder a(host, log, "a");
  int ticks = 0;
  host.SetTimer(a.id(), 1, 100, [&](uint32_t) { ++ticks; });
  EXPECT_TRUE(host.RunUntil([&] { return ticks == 3; }, 10000));
  EXPECT_EQ(host.NowMs(), 300u);
  EXPECT_FALSE(host.RunUntil([&] { return ticks == 100; }, 250));
  EXPECT_EQ(host.NowMs(), 550u);
  EXPECT_EQ(ticks, 5);
}

}  // namespace
}  // namespace k470
