// The serial port's hand-over to the window thread (TQtSynchronizer) with
// real worker threads: the order of the calls, a call made on the window
// thread, and the way out when the window goes away while a worker waits in
// a hand-over, also while a report box is open.
//
// Nothing here waits for a time: a worker's call is known to be posted by
// PendingCalls, a release by the worker's future, the window thread's queue
// by a marker queued after it. The bounds only end a test that hangs.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "console_support.h"
#include "exception_report.h"
#include "line_report.h"
#include "qt_synchronizer.h"
#include "tester_window.h"

namespace {

constexpr std::chrono::seconds Bound{20};
constexpr int BoundMs = 20000;

bool OnWindowThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

// A worker thread that hands one call over, as the port's event thread does,
// and notes whether the call ran and whether it had run when the worker was
// released.
class TWorker {
public:
  TWorker(
      std::shared_ptr<TVaSynchronizer> Sync, std::function<void()> Call = [] {})
      : FReleased(FPromise.get_future()), FThread([this, Sync = std::move(Sync), Call = std::move(Call)] {
          Sync->Synchronize([&] {
            FRanOnWindowThread = OnWindowThread();
            Call();
            FRan = true;
          });
          FRanAtRelease = FRan.load();
          FPromise.set_value();
        }) {}
  ~TWorker() { FThread.join(); }
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  bool Ran() const { return FRan; }
  bool RanOnWindowThread() const { return FRanOnWindowThread; }
  // Read once released.
  bool RanAtRelease() const { return FRanAtRelease; }
  // Whether Synchronize has returned.
  bool Released() const { return FReleased.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
  // Waits for Synchronize to return, without handling events.
  bool ReleasedWithin(std::chrono::seconds Limit) const {
    return FReleased.wait_for(Limit) == std::future_status::ready;
  }

private:
  std::atomic<bool> FRan{false};
  std::atomic<bool> FRanOnWindowThread{false};
  bool FRanAtRelease = false;
  std::promise<void> FPromise;
  std::future<void> FReleased;
  std::thread FThread;
};

// Waits, without handling events (so that nothing posted can run), until
// Count calls are posted and waiting.
bool WaitPending(const TQtSynchronizer& Sync, int Count) {
  const auto Deadline = std::chrono::steady_clock::now() + Bound;
  while (Sync.PendingCalls() != Count) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

std::shared_ptr<TQtSynchronizer> SynchronizerOf(TForm1& Form) {
  return std::dynamic_pointer_cast<TQtSynchronizer>(Form.VaComm1.Synchronizer());
}

// The real message box in place of any recorder, for a test's lifetime.
struct TRealReportBox {
  TExceptionReportSink Previous = SetExceptionReportSink({});
  ~TRealReportBox() { SetExceptionReportSink(Previous); }
};

}  // namespace

TEST(QtHandOver, CallsRunOnTheWindowThreadInTheOrderTheyWerePosted) {
  auto Sync = std::make_shared<TQtSynchronizer>();
  constexpr int Workers = 6;
  std::vector<int> Order;
  std::vector<std::unique_ptr<TWorker>> Pool;
  for (int I = 0; I < Workers; ++I) {
    Pool.push_back(std::make_unique<TWorker>(Sync, [&Order, I] { Order.push_back(I); }));
    // Each call is posted before the next worker starts: that is the order.
    ASSERT_TRUE(WaitPending(*Sync, I + 1)) << I;
  }
  // Nothing runs and nobody is released until the window thread gets to it.
  for (const auto& W : Pool) EXPECT_FALSE(W->Released());
  ASSERT_TRUE(PumpUntil([&] { return Pool.back()->Released(); }, BoundMs));
  for (const auto& W : Pool) ASSERT_TRUE(W->ReleasedWithin(Bound));
  EXPECT_EQ(Order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  for (const auto& W : Pool) {
    EXPECT_TRUE(W->RanOnWindowThread());
    EXPECT_TRUE(W->RanAtRelease());
  }
  EXPECT_EQ(Sync->PendingCalls(), 0);
}

TEST(QtHandOver, ACallOnTheWindowThreadRunsDirectly) {
  auto Sync = std::make_shared<TQtSynchronizer>();
  bool Ran = false;
  Sync->Synchronize([&] { Ran = true; });
  EXPECT_TRUE(Ran);
  EXPECT_EQ(Sync->PendingCalls(), 0);

  // A worker's call that hands over again from the window thread runs the
  // inner call at once instead of waiting for itself.
  bool Inner = false;
  TWorker Worker(Sync, [&] { Sync->Synchronize([&] { Inner = true; }); });
  ASSERT_TRUE(PumpUntil([&] { return Worker.Released(); }, BoundMs));
  EXPECT_TRUE(Worker.RanAtRelease());
  EXPECT_TRUE(Inner);

  // Shut down, not even the window thread's own calls run.
  Sync->Shutdown();
  Ran = false;
  Sync->Synchronize([&] { Ran = true; });
  EXPECT_FALSE(Ran);
}

TEST(QtHandOver, ACallAfterShutdownReturnsAtOnceAndNeverRuns) {
  auto Sync = std::make_shared<TQtSynchronizer>();
  Sync->Shutdown();
  Sync->Shutdown();  // twice does no harm
  // Released without any help of the window thread.
  TWorker Worker(Sync);
  ASSERT_TRUE(Worker.ReleasedWithin(Bound));
  EXPECT_EQ(Sync->PendingCalls(), 0);
  ASSERT_TRUE(RunQueuedEvents());
  EXPECT_FALSE(Worker.Ran());
}

TEST(QtHandOver, DestroyingTheWindowReleasesAWorkerWaitingInAHandOver) {
  auto Form = std::make_unique<TForm1>();
  // The port's threads keep the hand-over alive past the window.
  const std::shared_ptr<TQtSynchronizer> Sync = SynchronizerOf(*Form);
  ASSERT_NE(Sync, nullptr);
  TWorker First(Sync), Second(Sync);
  ASSERT_TRUE(WaitPending(*Sync, 2));

  Form.reset();
  // The window thread has not handled a single event since: the workers are
  // released by the window's end alone, their calls dropped.
  ASSERT_TRUE(First.ReleasedWithin(Bound));
  ASSERT_TRUE(Second.ReleasedWithin(Bound));
  EXPECT_EQ(Sync->PendingCalls(), 0);
  ASSERT_TRUE(RunQueuedEvents());
  EXPECT_FALSE(First.Ran());
  EXPECT_FALSE(Second.Ran());

  // A worker that comes later is not held either.
  TWorker Late(Sync);
  ASSERT_TRUE(Late.ReleasedWithin(Bound));
  ASSERT_TRUE(RunQueuedEvents());
  EXPECT_FALSE(Late.Ran());
}

TEST(QtHandOver, AHandOverLeftToAWorkerGoesWithTheLastReference) {
  // A window thread owner that never shut the hand-over down, and a worker
  // that drops the last reference: the receiver on the window thread is
  // freed there (the leak check of the sanitizer build sees it otherwise).
  auto Sync = std::make_shared<TQtSynchronizer>();
  std::promise<void> Dropped;
  std::thread Worker([Sync = std::move(Sync), &Dropped]() mutable {
    bool RanOnWindowThread = false;
    Sync->Synchronize([&] { RanOnWindowThread = OnWindowThread(); });
    EXPECT_TRUE(RanOnWindowThread);
    Sync.reset();
    Dropped.set_value();
  });
  std::future<void> Done = Dropped.get_future();
  ASSERT_TRUE(PumpUntil([&] { return Done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, BoundMs));
  Worker.join();
  // What the end of the window thread's event loop does.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(QtHandOver, AWindowDestroyedUnderItsOpenReportBoxReleasesTheWaitingWorker) {
  // The window's line report shows a real box; while it is open the box's
  // loop serves the port's hand-overs. The window then goes away under the
  // box with a worker waiting: the worker is released, its call never runs,
  // the box goes with its window and the report's loop ends cleanly.
  TRealReportBox RealBox;
  auto Form = std::make_unique<TForm1>();
  Form->show();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  const std::shared_ptr<TQtSynchronizer> Sync = SynchronizerOf(*Form);
  ASSERT_NE(Sync, nullptr);
  Form->LineReport->Report(QStringLiteral("Write error (5), Input/output error"));

  QPointer<QMessageBox> Box;
  bool BoxOfTheWindow = false, SecondPosted = false, SecondReleased = false;
  std::unique_ptr<TWorker> First, Second;
  int Step = 0;
  QTimer Script;
  Script.setInterval(1);
  Script.callOnTimeout([&] {
    if (Step == 0) {
      // The box is up.
      Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (Box.isNull()) return;
      BoxOfTheWindow = Box->parentWidget() == Form.get();
      First = std::make_unique<TWorker>(Sync);
      Step = 1;
    } else if (Step == 1) {
      // The first hand-over ran from the box's loop.
      if (!First->Released()) return;
      Second = std::make_unique<TWorker>(Sync);
      SecondPosted = WaitPending(*Sync, 1);
      Form.reset();
      SecondReleased = Second->ReleasedWithin(Bound);
      Script.stop();
      Step = 2;
    }
  });
  Script.start();
  ASSERT_TRUE(PumpUntil([&] { return Step == 2 && QApplication::activeModalWidget() == nullptr; }, BoundMs));
  EXPECT_TRUE(BoxOfTheWindow);
  EXPECT_TRUE(First->RanAtRelease());
  EXPECT_TRUE(SecondPosted);
  EXPECT_TRUE(SecondReleased);
  EXPECT_TRUE(Box.isNull());
  ASSERT_TRUE(RunQueuedEvents());
  EXPECT_FALSE(Second->Ran());
  EXPECT_EQ(Sync->PendingCalls(), 0);
}

TEST(QtHandOver, AWindowDestroyedInsideAHandOverThatShowsAReportBox) {
  // A hand-over's call opens a report box (the report of the port's event
  // dispatch can be one); the box's loop serves the next worker while the
  // first still waits. The window is destroyed from inside that call with a
  // third worker waiting; a timer then closes the box. The first worker is
  // released once its call has returned, the third at once, without its
  // call.
  TRealReportBox RealBox;
  auto Form = std::make_unique<TForm1>();
  const std::shared_ptr<TQtSynchronizer> Sync = SynchronizerOf(*Form);
  ASSERT_NE(Sync, nullptr);

  std::unique_ptr<TWorker> First, Second, Third;
  bool BoxOpenForSecond = false, ThirdPosted = false, ThirdReleased = false, FirstHeld = false;
  bool FirstCallReturned = false;
  int Step = 0;
  QTimer Script;
  Script.setInterval(1);
  Script.callOnTimeout([&] {
    if (Step == 0) {
      if (QApplication::activeModalWidget() == nullptr || !Second->Released()) return;
      Third = std::make_unique<TWorker>(Sync);
      ThirdPosted = WaitPending(*Sync, 1);
      Form.reset();
      ThirdReleased = Third->ReleasedWithin(Bound);
      // The first call is still running: the box is open inside it.
      FirstHeld = !First->Released();
      Step = 1;
    } else if (Step == 1) {
      // The operator closes the box.
      if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) Box->accept();
      Script.stop();
      Step = 2;
    }
  });
  First = std::make_unique<TWorker>(Sync, [&] {
    Second = std::make_unique<TWorker>(Sync, [&] { BoxOpenForSecond = QApplication::activeModalWidget() != nullptr; });
    Script.start();
    ShowExceptionReport(QStringLiteral("Read error (5), Input/output error"));
    FirstCallReturned = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return Step == 2 && First->Released(); }, BoundMs));
  EXPECT_TRUE(Second->RanAtRelease());
  EXPECT_TRUE(BoxOpenForSecond);
  EXPECT_TRUE(ThirdPosted);
  EXPECT_TRUE(ThirdReleased);
  EXPECT_TRUE(FirstHeld);
  EXPECT_TRUE(FirstCallReturned);
  EXPECT_TRUE(First->RanAtRelease());
  ASSERT_TRUE(RunQueuedEvents());
  EXPECT_FALSE(Third->Ran());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
