// The window thread of the programs without a window: hand-overs and posts
// run in order on the loop's thread, timers wake it, Done and a time-out end
// a run, and once ended nothing runs any more.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "valoop.h"

namespace {

using namespace std::chrono_literals;

TEST(VaLoop, RunsHandOversAndPostsInOrderAndWakesForTimers) {
  auto Loop = std::make_shared<TVaLoop>();
  const std::thread::id Main = std::this_thread::get_id();
  std::vector<int> Order;
  std::atomic<bool> RanOnLoop{true};
  int Wakes = 0;
  // The loop ends once both the worker's calls and the timer have run,
  // whichever comes last (all on the loop's thread).
  const auto EndWhenDone = [&] {
    if (Order.size() == 2 && Wakes > 0) Loop->End();
  };
  std::thread Worker([&] {
    Loop->Synchronize([&] {
      RanOnLoop = RanOnLoop && std::this_thread::get_id() == Main;
      Order.push_back(1);
    });
    // The hand-over returned only after its call ran.
    Loop->Post([&] {
      RanOnLoop = RanOnLoop && std::this_thread::get_id() == Main;
      Order.push_back(Order.size() == 1 ? 2 : -2);
      EndWhenDone();
    });
  });
  std::optional<int64_t> WakeAt = VaMonotonicMicros() + 30'000;
  Loop->Run([&] { return WakeAt; },
            [&] {
              EXPECT_GE(VaMonotonicMicros(), *WakeAt);
              ++Wakes;
              WakeAt.reset();
              EndWhenDone();
            });
  Worker.join();
  EXPECT_TRUE(RanOnLoop);
  EXPECT_EQ(Order, (std::vector<int>{1, 2}));
  EXPECT_EQ(Wakes, 1);
  // Once ended, a hand-over returns without running and posts are dropped.
  bool Ran = false;
  std::thread([&] { Loop->Synchronize([&] { Ran = true; }); }).join();
  Loop->Post([&] { Ran = true; });
  EXPECT_FALSE(Ran);
  EXPECT_TRUE(Loop->Ended());
}

TEST(VaLoop, ARunEndsWhenDoneHoldsOrItsTimeIsUpAndMayRunAgain) {
  TVaLoop Loop;
  int Posted = 0;
  // Done is looked at after every call: the run ends with the second post
  // and leaves the third queued for the next run.
  for (int I = 0; I < 3; ++I) Loop.Post([&] { ++Posted; });
  EXPECT_TRUE(Loop.Run(
      nullptr, nullptr, [&] { return Posted == 2; }, 10s));
  EXPECT_EQ(Posted, 2);
  // A timer that keeps coming due does not keep the run from timing out.
  int Dues = 0;
  const int64_t Start = VaMonotonicMicros();
  EXPECT_FALSE(Loop.Run([] { return std::optional<int64_t>(VaMonotonicMicros() + 5'000); }, [&] { ++Dues; },
                        [] { return false; }, 100ms));
  const int64_t Took = VaMonotonicMicros() - Start;
  EXPECT_GE(Took, 100'000);
  EXPECT_EQ(Posted, 3);
  EXPECT_GE(Dues, 1);
  // Without a timer or a Done, the time-out alone ends it.
  EXPECT_FALSE(Loop.Run(nullptr, nullptr, nullptr, 20ms));
  EXPECT_FALSE(Loop.Ended());
}

}  // namespace
