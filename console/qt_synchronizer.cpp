#include "qt_synchronizer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

namespace {

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
  TCallEvent(const std::function<void()>& Call, std::shared_ptr<TCallWait> Wait)
      : QEvent(CallEventType), Call(Call), Wait(std::move(Wait)) {}
  // Runs also when Qt deletes the event unprocessed (its receiver is deleted
  // or the application ends), so a worker never waits for a call that
  // cannot run any more.
  ~TCallEvent() override { Wait->Finish(); }

  std::function<void()> Call;
  std::shared_ptr<TCallWait> Wait;
};

class TCallReceiver : public QObject {
public:
  bool event(QEvent* E) override {
    if (E->type() != CallEventType) return QObject::event(E);
    static_cast<TCallEvent*>(E)->Call();
    return true;
  }
};

}  // namespace

struct TQtSynchronizer::TState {
  std::mutex Lock;  // guards Receiver against Shutdown while a call is posted
  TCallReceiver* Receiver = nullptr;
  QThread* WindowThread = nullptr;
};

TQtSynchronizer::TQtSynchronizer() : State(std::make_shared<TState>()) {
  State->Receiver = new TCallReceiver;
  State->WindowThread = State->Receiver->thread();
}

TQtSynchronizer::~TQtSynchronizer() {
  // The last owner may be a worker thread that outlived the window; the
  // receiver was deleted by Shutdown then. Without Shutdown (a window thread
  // owner), clean up here.
  if (State->Receiver != nullptr && QThread::currentThread() == State->WindowThread) Shutdown();
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
    QCoreApplication::postEvent(State->Receiver, new TCallEvent(Call, Wait));
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
