#include "qt_synchronizer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

class TCallReceiver;

// What the synchronizer shares with the calls it has posted.
struct THandOver {
  // Held while a call is posted and while the receiver is deleted, so that
  // Shutdown and a posting worker never cross. The receiver takes it once
  // before it reads an event: that orders the worker's writes to the event
  // before the window thread's reads where a thread sanitizer can see it
  // (Qt's own event queue orders them too, with a lock inside Qt).
  std::mutex Lock;
  TCallReceiver* Receiver = nullptr;
  QThread* WindowThread = nullptr;
  std::atomic<int> Pending{0};
};

// The wait of one worker for its call. Done is set when the call has run or
// when its event was dropped without running.
struct TCallWait {
  std::mutex Lock;
  std::condition_variable Finished;
  bool Done = false;

  void Finish() {
    std::lock_guard<std::mutex> Guard(Lock);
    Done = true;
    Finished.notify_all();
  }
};

const QEvent::Type CallEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TCallEvent : public QEvent {
public:
  TCallEvent(const std::function<void()>& Call, std::shared_ptr<TCallWait> Wait, std::shared_ptr<THandOver> Shared)
      : QEvent(CallEventType), Call(Call), Wait(std::move(Wait)), Shared(std::move(Shared)) {
    ++this->Shared->Pending;
  }
  // Runs also when Qt deletes the event unprocessed (its receiver is deleted
  // or the application ends), so a worker never waits for a call that
  // cannot run any more.
  ~TCallEvent() override {
    if (!Started) --Shared->Pending;
    Wait->Finish();
  }

  // Window thread: the call is about to run and waits no more.
  void Start() {
    Started = true;
    --Shared->Pending;
  }

  std::function<void()> Call;
  std::shared_ptr<TCallWait> Wait;
  std::shared_ptr<THandOver> Shared;

private:
  bool Started = false;
};

class TCallReceiver : public QObject {
public:
  explicit TCallReceiver(std::shared_ptr<THandOver> Shared) : Shared(std::move(Shared)) {}

  bool event(QEvent* E) override {
    // Before anything of the event is read (see THandOver::Lock).
    { std::lock_guard<std::mutex> Guard(Shared->Lock); }
    if (E->type() != CallEventType) return QObject::event(E);
    auto* Event = static_cast<TCallEvent*>(E);
    Event->Start();
    // The call may shut the hand-over down and so delete this receiver
    // (Qt deletes objects inside their own event handler the same way):
    // nothing of the receiver is touched after it.
    Event->Call();
    return true;
  }

private:
  const std::shared_ptr<THandOver> Shared;
};

}  // namespace

struct TQtSynchronizer::TState : THandOver {};

TQtSynchronizer::TQtSynchronizer() : State(std::make_shared<TState>()) {
  State->Receiver = new TCallReceiver(State);
  State->WindowThread = State->Receiver->thread();
}

TQtSynchronizer::~TQtSynchronizer() {
  if (QThread::currentThread() == State->WindowThread) {
    Shutdown();
    return;
  }
  // The last owner is a worker thread that outlived a window which never
  // shut the hand-over down: the receiver lives on the window thread and is
  // deleted there. No call can be waiting, since a waiting worker is still
  // an owner.
  std::lock_guard<std::mutex> Guard(State->Lock);
  if (State->Receiver != nullptr) State->Receiver->deleteLater();
  State->Receiver = nullptr;
}

void TQtSynchronizer::Synchronize(const std::function<void()>& Call) {
  if (QThread::currentThread() == State->WindowThread) {
    std::unique_lock<std::mutex> Guard(State->Lock);
    const bool Running = State->Receiver != nullptr;
    Guard.unlock();
    if (Running) Call();
    return;
  }
  auto Wait = std::make_shared<TCallWait>();
  {
    std::lock_guard<std::mutex> Guard(State->Lock);
    if (State->Receiver == nullptr) return;
    QCoreApplication::postEvent(State->Receiver, new TCallEvent(Call, Wait, State));
  }
  std::unique_lock<std::mutex> Guard(Wait->Lock);
  Wait->Finished.wait(Guard, [&] { return Wait->Done; });
}

void TQtSynchronizer::Shutdown() {
  std::lock_guard<std::mutex> Guard(State->Lock);
  if (State->Receiver == nullptr) return;
  // Deleting the receiver deletes its unprocessed events, which releases
  // their workers without running the calls.
  delete State->Receiver;
  State->Receiver = nullptr;
}

int TQtSynchronizer::PendingCalls() const { return State->Pending.load(); }
