// The Qt host on Qt's own event loop: posting order, targets that go away,
// thread messages, window timers, message boxes in nested loops, the wait
// cursor and the program's command line. These run in real time, with
// short periods and generous limits.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "configtool/platform/messages.h"
#include "configtool/platform/qt/qt_host.h"

namespace k470 {
namespace {

class Recorder : public IMessageTarget {
 public:
  Recorder(QtHost& host, std::vector<std::string>& log, std::string name)
      : host_(host), log_(log), name_(std::move(name)), id_(host.RegisterTarget(this)) {}
  intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t) override {
    log_.push_back(name_ + ":" + std::to_string(message) + ":" + std::to_string(wParam));
    if (onMessage) onMessage(message, wParam);
    return 0;
  }
  TargetId id() const { return id_; }
  void Unregister() { host_.UnregisterTarget(id_); }
  std::function<void(uint32_t, uintptr_t)> onMessage;

 private:
  QtHost& host_;
  std::vector<std::string>& log_;
  std::string name_;
  TargetId id_;
};

// Runs Qt's loop until pred holds or limitMs pass.
bool SpinUntil(const std::function<bool()>& pred, int limitMs = 3000) {
  QElapsedTimer timer;
  timer.start();
  while (!pred() && timer.elapsed() < limitMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return pred();
}

class QtHostTest : public ::testing::Test {
 protected:
  QtHost host{{"K470prop"}};
  std::vector<std::string> log;
};

TEST_F(QtHostTest, PostsArriveInPostingOrderAcrossTargetsAndPostsToAGoneTargetAreDropped) {
  Recorder a(host, log, "a"), b(host, log, "b"), c(host, log, "c");
  EXPECT_TRUE(host.Post(a.id(), 1));
  EXPECT_TRUE(host.Post(b.id(), 2));
  EXPECT_TRUE(host.Post(a.id(), 3, 7));
  EXPECT_TRUE(host.Post(c.id(), 4));
  b.Unregister();
  EXPECT_FALSE(host.Post(b.id(), 5));
  EXPECT_FALSE(host.IsTarget(b.id()));
  EXPECT_EQ(host.Send(b.id(), 6), 0);
  ASSERT_TRUE(SpinUntil([&] { return log.size() >= 3; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(log, (std::vector<std::string>{"a:1:0", "a:3:7", "c:4:0"}));
}

TEST_F(QtHostTest, ATargetMayUnregisterItselfInsideItsOwnMessage) {
  Recorder a(host, log, "a");
  a.onMessage = [&](uint32_t message, uintptr_t) {
    if (message == 1) a.Unregister();
  };
  host.Post(a.id(), 1);
  host.Post(a.id(), 2);
  SpinUntil([&] { return !log.empty(); });
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(log, (std::vector<std::string>{"a:1:0"}));
}

TEST_F(QtHostTest, ThreadMessagesReachTheHandlerOnTheUserInterfaceThreadInOrder) {
  const auto uiThread = std::this_thread::get_id();
  std::vector<uintptr_t> received;
  bool wrongThread = false;
  host.SetThreadMessageHandler([&](uint32_t message, uintptr_t wParam, intptr_t) {
    if (std::this_thread::get_id() != uiThread) wrongThread = true;
    if (message == WM_SERIAL_RECEIVED) received.push_back(wParam);
  });
  std::thread reader([&] {
    for (uintptr_t i = 0; i < 200; ++i) host.PostThreadMessage(WM_SERIAL_RECEIVED, i);
  });
  reader.join();
  ASSERT_TRUE(SpinUntil([&] { return received.size() == 200; }));
  EXPECT_FALSE(wrongThread);
  for (uintptr_t i = 0; i < 200; ++i) EXPECT_EQ(received[i], i);
}

TEST_F(QtHostTest, TimersRepeatRestartWhenSetAgainAndDieWithTheirTarget) {
  Recorder a(host, log, "a");
  int fired = 0;
  ASSERT_TRUE(host.SetTimer(a.id(), 5, 20, [&](uint32_t id) {
    EXPECT_EQ(id, 5u);
    ++fired;
  }));
  ASSERT_TRUE(SpinUntil([&] { return fired >= 3; }));
  // Set again with a long period: the old one is gone.
  ASSERT_TRUE(host.SetTimer(a.id(), 5, 100000, [&](uint32_t) { ++fired; }));
  const int before = fired;
  SpinUntil([] { return false; }, 100);
  EXPECT_EQ(fired, before);
  EXPECT_TRUE(host.KillTimer(a.id(), 5));
  EXPECT_FALSE(host.KillTimer(a.id(), 5));

  // Without a procedure the target gets WM_TIMER with the id.
  ASSERT_TRUE(host.SetTimer(a.id(), 9, 10));
  ASSERT_TRUE(SpinUntil([&] { return !log.empty(); }));
  EXPECT_EQ(log[0], "a:" + std::to_string(WM_TIMER) + ":9");
  a.Unregister();
  log.clear();
  SpinUntil([] { return false; }, 60);
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(host.SetTimer(a.id(), 9, 10));
}

TEST_F(QtHostTest, SleepDispatchesNothing) {
  Recorder a(host, log, "a");
  host.Post(a.id(), 1);
  const uint64_t before = host.NowMs();
  host.Sleep(30);
  EXPECT_GE(host.NowMs() - before, 30u);
  EXPECT_TRUE(log.empty());
  SpinUntil([&] { return !log.empty(); });
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(QtHostTest, MessagesAndTimersKeepArrivingWhileAMessageBoxIsOpen) {
  Recorder a(host, log, "a");
  int answer = 0;
  bool timerDuringBox = false;
  bool postDuringBox = false;
  a.onMessage = [&](uint32_t message, uintptr_t) {
    if (message == 1) {
      host.SetTimer(a.id(), 3, 10, [&](uint32_t) {
        timerDuringBox = true;
        host.KillTimer(a.id(), 3);
      });
      host.Post(a.id(), 2);
      answer = host.MessageBox(a.id(), "Text", "Titel", MB_OKCANCEL | MB_ICONWARNING);
    } else if (message == 2) {
      postDuringBox = true;
    }
  };
  host.SetMessageBoxObserver([&](QWidget* box) {
    // Answer only once the nested loop has delivered both.
    auto* poll = new QTimer(box);
    QObject::connect(poll, &QTimer::timeout, box, [&, box] {
      if (!timerDuringBox || !postDuringBox) return;
      for (QAbstractButton* button : static_cast<QMessageBox*>(box)->buttons()) {
        if (button->text() == "Abbrechen") button->click();
      }
    });
    poll->start(5);
  });
  host.Post(a.id(), 1);
  ASSERT_TRUE(SpinUntil([&] { return answer != 0; }));
  EXPECT_TRUE(timerDuringBox);
  EXPECT_TRUE(postDuringBox);
  EXPECT_EQ(answer, IDCANCEL);
}

TEST_F(QtHostTest, MessageBoxButtonsIconsAndAnswersFollowTheFlags) {
  struct Case {
    unsigned flags;
    std::vector<std::string> buttons;
    QMessageBox::Icon icon;
    int press;  // index of the button pressed
    int answer;
  };
  const Case cases[] = {
      {MB_OK, {"OK"}, QMessageBox::NoIcon, 0, IDOK},
      {MB_OKCANCEL | MB_ICONWARNING, {"OK", "Abbrechen"}, QMessageBox::Warning, 1, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, {"&Ja", "&Nein"}, QMessageBox::Question, 0, IDYES},
      {MB_YESNO | MB_ICONWARNING, {"&Ja", "&Nein"}, QMessageBox::Warning, 1, IDNO},
      {MB_RETRYCANCEL | MB_ICONSTOP, {"&Wiederholen", "Abbrechen"}, QMessageBox::Critical, 0, IDRETRY},
      {MB_OK | MB_ICONINFORMATION, {"OK"}, QMessageBox::Information, 0, IDOK},
  };
  for (const Case& c : cases) {
    std::vector<std::string> seen;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::string title, text, defaultButton;
    host.SetMessageBoxObserver([&](QWidget* widget) {
      auto* box = static_cast<QMessageBox*>(widget);
      QTimer::singleShot(0, box, [&, box] {
        title = box->windowTitle().toStdString();
        text = box->text().toStdString();
        icon = box->icon();
        std::vector<QAbstractButton*> ordered;
        for (const std::string& label : c.buttons) {
          for (QAbstractButton* b : box->buttons()) {
            if (b->text().toStdString() == label) ordered.push_back(b);
          }
        }
        for (QAbstractButton* b : box->buttons()) seen.push_back(b->text().toStdString());
        if (box->defaultButton() != nullptr) defaultButton = box->defaultButton()->text().toStdString();
        ASSERT_EQ(ordered.size(), c.buttons.size());
        ordered[static_cast<size_t>(c.press)]->click();
      });
    });
    EXPECT_EQ(host.MessageBox(kNoTarget, "Der Text <b>bleibt</b>", "Eigenschaften des Lumora Data", c.flags),
              c.answer)
        << c.flags;
    std::sort(seen.begin(), seen.end());
    std::vector<std::string> expected = c.buttons;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected) << c.flags;
    EXPECT_EQ(icon, c.icon) << c.flags;
    EXPECT_EQ(title, "Eigenschaften des Lumora Data");
    EXPECT_EQ(text, "Der Text <b>bleibt</b>");
    EXPECT_EQ(defaultButton, c.buttons.front()) << c.flags;
  }
}

TEST_F(QtHostTest, TheWaitCursorFollowsItsCountAndGivesWayToAMessageBox) {
  auto shape = [] {
    QCursor* cursor = QApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::BitmapCursor;
  };
  host.BeginWaitCursor();
  host.BeginWaitCursor();
  EXPECT_EQ(host.WaitCursorCount(), 2);
  EXPECT_EQ(shape(), Qt::WaitCursor);
  host.EndWaitCursor();
  EXPECT_EQ(shape(), Qt::WaitCursor);

  Qt::CursorShape duringBox = Qt::BitmapCursor;
  host.SetMessageBoxObserver([&](QWidget* box) {
    QTimer::singleShot(0, box, [&, box] {
      duringBox = shape();
      static_cast<QMessageBox*>(box)->buttons().front()->click();
    });
  });
  host.MessageBox(kNoTarget, "x", "y", MB_OK);
  EXPECT_EQ(duringBox, Qt::ArrowCursor);
  EXPECT_EQ(shape(), Qt::WaitCursor);

  QApplication::changeOverrideCursor(Qt::ArrowCursor);
  host.RestoreWaitCursor();
  EXPECT_EQ(shape(), Qt::WaitCursor);
  host.EndWaitCursor();
  host.EndWaitCursor();
  EXPECT_EQ(host.WaitCursorCount(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  host.RestoreWaitCursor();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Messages and notices keep arriving while a box is open, so the count may
// change under it (a failed re-open's box, and the refresh that ends the
// re-open): the box keeps the arrow, and afterwards the count alone decides.
TEST_F(QtHostTest, TheWaitCursorCountMayChangeWhileABoxIsOpen) {
  auto shape = [] {
    QCursor* cursor = QApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::ArrowCursor;
  };
  struct Case {
    const char* name;
    int before;
    int change;  // +1 Begin, -1 End, while the box is open
  };
  const Case cases[] = {{"EndedDuringTheBox", 1, -1}, {"BegunDuringTheBox", 0, +1}, {"OneOfTwoEnded", 2, -1}};
  for (const Case& c : cases) {
    for (int i = 0; i < c.before; ++i) host.BeginWaitCursor();
    Qt::CursorShape duringBox = Qt::BitmapCursor;
    host.SetMessageBoxObserver([&](QWidget* box) {
      QTimer::singleShot(0, box, [&, box] {
        if (c.change > 0) {
          host.BeginWaitCursor();
        } else {
          host.EndWaitCursor();
        }
        duringBox = shape();
        static_cast<QMessageBox*>(box)->buttons().front()->click();
      });
    });
    host.MessageBox(kNoTarget, "x", "y", MB_OK);
    EXPECT_EQ(duringBox, Qt::ArrowCursor) << c.name;
    const int after = c.before + c.change;
    EXPECT_EQ(host.WaitCursorCount(), after) << c.name;
    EXPECT_EQ(shape(), after > 0 ? Qt::WaitCursor : Qt::ArrowCursor) << c.name;
    for (int i = 0; i < after; ++i) host.EndWaitCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << c.name;
  }
}

TEST(QtHostProgramTest, TheCommandLineIsTheArgumentsAfterTheProgramName) {
  EXPECT_EQ(QtHost({"/usr/bin/K470prop", "-v24trace", "noconfig", "com3"}).CommandLine(), "-v24trace noconfig com3");
  EXPECT_EQ(QtHost({"K470prop"}).CommandLine(), "");
  QtHost host({"x"});
  EXPECT_FALSE(host.ProgramName().empty());
  EXPECT_EQ(host.ProgramDirectory().back() == '/', host.ProgramDirectory() == "/");
}

TEST(QtHostServicesTest, ClipboardAndDocuments) {
  QtHost host({"K470prop"});
  ASSERT_TRUE(host.SetClipboardText("Version 1.000a ÄÖÜß"));
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "Version 1.000a ÄÖÜß");
  EXPECT_EQ(host.OpenDocument("/nonexistent/handbuch.pdf"), 2);
}

}  // namespace
}  // namespace k470
