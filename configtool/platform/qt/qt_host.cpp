#include "configtool/platform/qt/qt_host.h"

#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimerEvent>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "configtool/platform/exit_hooks.h"
#include "configtool/platform/messages.h"
#include "configtool/platform/qt/qt_window_target.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {

QEvent::Type MessageEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class MessageEvent : public QEvent {
 public:
  MessageEvent(uint32_t message, uintptr_t wParam, intptr_t lParam)
      : QEvent(MessageEventType()), message(message), wParam(wParam), lParam(lParam) {}
  const uint32_t message;
  const uintptr_t wParam;
  const intptr_t lParam;
};

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

// Shell-style results of OpenDocument.
constexpr int kShellOk = 42;
constexpr int kShellFileNotFound = 2;
constexpr int kShellNoAssociation = 31;

}  // namespace

// Stands for one target. It outlives its target's registration only until
// Qt gets round to deleting it; by then it has no target and no events.
class QtHost::TargetObject : public QObject {
 public:
  TargetObject(QtHost& host, TargetId id, IMessageTarget* target) : host_(host), id_(id), target_(target) {}
  IMessageTarget* Target() const { return target_; }
  void Forget() { target_ = nullptr; }

 protected:
  bool event(QEvent* e) override {
    if (e->type() == MessageEventType()) {
      auto* m = static_cast<MessageEvent*>(e);
      if (target_ != nullptr) target_->OnMessage(m->message, m->wParam, m->lParam);
      return true;
    }
    return QObject::event(e);
  }
  void timerEvent(QTimerEvent* e) override {
    if (target_ != nullptr) host_.OnQtTimer(id_, e->timerId());
  }

 private:
  QtHost& host_;
  TargetId id_;
  IMessageTarget* target_;
};

class QtHost::ThreadObject : public QObject {
 public:
  explicit ThreadObject(QtHost& host) : host_(host) {}

 protected:
  bool event(QEvent* e) override {
    if (e->type() == MessageEventType()) {
      auto* m = static_cast<MessageEvent*>(e);
      host_.OnThreadMessage(m->message, m->wParam, m->lParam);
      return true;
    }
    return QObject::event(e);
  }

 private:
  QtHost& host_;
};

QtHost::QtHost(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {
  if (arguments_.empty()) {
    for (const QString& argument : QCoreApplication::arguments()) arguments_.push_back(argument.toStdString());
  }
  clock_.start();
  threadObject_ = std::make_unique<ThreadObject>(*this);
}

QtHost::~QtHost() {
  for (auto& [id, object] : targets_) {
    object->Forget();
    QCoreApplication::removePostedEvents(object);
    delete object;
  }
  targets_.clear();
  QCoreApplication::removePostedEvents(threadObject_.get());
}

TargetId QtHost::RegisterTarget(IMessageTarget* target) {
  TargetId id = nextTarget_++;
  targets_[id] = new TargetObject(*this, id, target);
  return id;
}

void QtHost::UnregisterTarget(TargetId id) {
  auto it = targets_.find(id);
  if (it == targets_.end()) return;
  TargetObject* object = it->second;
  targets_.erase(it);
  for (auto timer = timers_.begin(); timer != timers_.end();) {
    if (timer->first.first == id) {
      object->killTimer(timer->second.qtTimerId);
      timer = timers_.erase(timer);
    } else {
      ++timer;
    }
  }
  object->Forget();
  QCoreApplication::removePostedEvents(object, MessageEventType());
  // The target may be going away from inside one of its own messages, which
  // runs in this object's event(): it must not be deleted under it.
  object->deleteLater();
}

bool QtHost::IsTarget(TargetId id) const { return targets_.count(id) != 0; }

QWidget* QtHost::WidgetOf(TargetId id) const {
  auto it = targets_.find(id);
  if (it == targets_.end() || it->second->Target() == nullptr) return nullptr;
  auto* window = dynamic_cast<IQtWindowTarget*>(it->second->Target());
  return window != nullptr ? window->TargetWidget() : nullptr;
}

bool QtHost::Post(TargetId target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto it = targets_.find(target);
  if (it == targets_.end()) return false;
  QCoreApplication::postEvent(it->second, new MessageEvent(message, wParam, lParam));
  return true;
}

intptr_t QtHost::Send(TargetId target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto it = targets_.find(target);
  if (it == targets_.end() || it->second->Target() == nullptr) return 0;
  return it->second->Target()->OnMessage(message, wParam, lParam);
}

void QtHost::PostThreadMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  QCoreApplication::postEvent(threadObject_.get(), new MessageEvent(message, wParam, lParam));
}

void QtHost::SetThreadMessageHandler(ThreadMessageHandler handler) { threadHandler_ = std::move(handler); }

void QtHost::OnThreadMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (threadHandler_) threadHandler_(message, wParam, lParam);
}

bool QtHost::SetTimer(TargetId target, uint32_t timerId, uint32_t periodMs, TimerProc proc) {
  auto it = targets_.find(target);
  if (it == targets_.end()) return false;
  // As on the window system the program was made for, a period below 10 ms
  // counts as 10 ms, and setting a running timer starts it afresh.
  periodMs = std::max<uint32_t>(periodMs, 10);
  TimerKey key{target, timerId};
  auto old = timers_.find(key);
  if (old != timers_.end()) {
    it->second->killTimer(old->second.qtTimerId);
    timers_.erase(old);
  }
  int qtId = it->second->startTimer(std::chrono::milliseconds(periodMs), Qt::PreciseTimer);
  if (qtId == 0) return false;
  timers_[key] = Timer{qtId, std::move(proc)};
  return true;
}

bool QtHost::KillTimer(TargetId target, uint32_t timerId) {
  auto it = timers_.find({target, timerId});
  if (it == timers_.end()) return false;
  auto object = targets_.find(target);
  if (object != targets_.end()) object->second->killTimer(it->second.qtTimerId);
  timers_.erase(it);
  return true;
}

void QtHost::OnQtTimer(TargetId target, int qtTimerId) {
  for (auto& [key, timer] : timers_) {
    if (key.first != target || timer.qtTimerId != qtTimerId) continue;
    // Copies: the procedure may kill or reset its own timer.
    uint32_t timerId = key.second;
    TimerProc proc = timer.proc;
    if (proc) {
      proc(timerId);
    } else {
      Send(target, WM_TIMER, timerId, 0);
    }
    return;
  }
}

uint64_t QtHost::NowMs() const { return static_cast<uint64_t>(clock_.elapsed()); }

void QtHost::Sleep(uint32_t ms) {
  // Deliberately blocks the event loop: the callers rely on nothing being
  // dispatched while they wait for the adapter.
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int QtHost::MessageBox(TargetId owner, const std::string& text, const std::string& caption, unsigned flags) {
  QMessageBox box(WidgetOf(owner));
  box.setWindowTitle(FromUtf8(caption));
  box.setText(FromUtf8(text));
  box.setTextFormat(Qt::PlainText);
  switch (flags & MB_ICONMASK) {
    case MB_ICONSTOP:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }

  struct Choice {
    uint32_t textId;
    QMessageBox::ButtonRole role;
    int answer;
  };
  std::vector<Choice> choices;
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
      choices = {{IDS_MB_OK, QMessageBox::AcceptRole, IDOK}, {IDS_MB_CANCEL, QMessageBox::RejectRole, IDCANCEL}};
      break;
    case MB_YESNO:
      choices = {{IDS_MB_YES, QMessageBox::YesRole, IDYES}, {IDS_MB_NO, QMessageBox::NoRole, IDNO}};
      break;
    case MB_RETRYCANCEL:
      choices = {{IDS_MB_RETRY, QMessageBox::AcceptRole, IDRETRY},
                 {IDS_MB_CANCEL, QMessageBox::RejectRole, IDCANCEL}};
      break;
    default:
      choices = {{IDS_MB_OK, QMessageBox::AcceptRole, IDOK}};
      break;
  }
  std::vector<std::pair<QAbstractButton*, int>> buttons;
  for (const Choice& choice : choices) {
    QPushButton* button = box.addButton(FromUtf8(LoadString(choice.textId)), choice.role);
    buttons.emplace_back(button, choice.answer);
  }
  // Enter presses the first button; Escape the Cancel button, or the only
  // one of an OK box. A Yes/No box answers Escape with No.
  box.setDefaultButton(static_cast<QPushButton*>(buttons.front().first));
  if (buttons.size() == 1) box.setEscapeButton(buttons.front().first);

  // The wait cursor must not hide the arrow over a question, also when the
  // count changes while the box is open (notices keep arriving); afterwards
  // the count alone decides again.
  ++openBoxes_;
  ApplyWaitCursor();
  if (boxObserver_) boxObserver_(&box);
  box.exec();
  --openBoxes_;
  ApplyWaitCursor();

  QAbstractButton* clicked = box.clickedButton();
  for (const auto& [button, answer] : buttons) {
    if (button == clicked) return answer;
  }
  // Closed without a button (the window manager's close): the way out.
  return buttons.size() == 1 ? buttons.front().second : buttons.back().second;
}

void QtHost::Beep(unsigned) { QApplication::beep(); }

void QtHost::ApplyWaitCursor() {
  // One override cursor of ours at most, so that taking it away can never
  // take away another one instead.
  const bool want = waitCursorCount_ > 0;
  const Qt::CursorShape shape = openBoxes_ > 0 ? Qt::ArrowCursor : Qt::WaitCursor;
  if (want && !waitCursorShown_) {
    QApplication::setOverrideCursor(shape);
    waitCursorShown_ = true;
  } else if (want) {
    QApplication::changeOverrideCursor(shape);
  } else if (waitCursorShown_) {
    QApplication::restoreOverrideCursor();
    waitCursorShown_ = false;
  }
}

void QtHost::BeginWaitCursor() {
  ++waitCursorCount_;
  ApplyWaitCursor();
}

void QtHost::EndWaitCursor() {
  if (waitCursorCount_ > 0) --waitCursorCount_;
  ApplyWaitCursor();
}

void QtHost::RestoreWaitCursor() { ApplyWaitCursor(); }

void QtHost::RefreshCursor() { QCursor::setPos(QCursor::pos()); }

bool QtHost::SetClipboardText(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(FromUtf8(text));
  return true;
}

int QtHost::OpenDocument(const std::string& path) {
  QFileInfo file(FromUtf8(path));
  if (!file.exists()) return kShellFileNotFound;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath())) ? kShellOk : kShellNoAssociation;
}

void QtHost::Exit(int code) {
  RunExitHooks();
  std::fflush(nullptr);
  _exit(code);
}

std::string QtHost::CommandLine() const {
  std::string line;
  for (size_t i = 1; i < arguments_.size(); ++i) {
    if (i > 1) line += ' ';
    line += arguments_[i];
  }
  return line;
}

std::string QtHost::ProgramName() const {
  QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty() && !arguments_.empty()) path = FromUtf8(arguments_.front());
  return QFileInfo(path).fileName().toStdString();
}

std::string QtHost::ProgramDirectory() const {
  QString dir = QCoreApplication::applicationDirPath();
  if (dir.isEmpty() && !arguments_.empty()) dir = QFileInfo(FromUtf8(arguments_.front())).absolutePath();
  while (dir.size() > 1 && dir.endsWith('/')) dir.chop(1);
  return dir.toStdString();
}

}  // namespace k470
