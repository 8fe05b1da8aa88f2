// Received bytes: the event thread, OnRxChar and ReadBuf.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

class ReceiveTest : public ::testing::Test {
protected:
  TPtyPair Pty;
  TPort P{Pty.SlavePath()};
  TVaComm& Comm = P.Comm;
  std::vector<int> Counts;        // Count of every OnRxChar call
  std::vector<uint8_t> Received;  // what the handlers read
  void SetUp() override {
    Comm.SetOnRxChar([this](TVaCustomComm* Sender, int Count) {
      EXPECT_EQ(Sender, &Comm);
      Counts.push_back(Count);
      std::vector<uint8_t> Buf(static_cast<size_t>(Count));
      const int Got = Comm.ReadBuf(Buf.data(), Count);
      Received.insert(Received.end(), Buf.begin(), Buf.begin() + Got);
    });
  }
  void TearDown() override {
    Comm.Close();
    EXPECT_TRUE(WorkersEnd(*P.Sync));
  }
};

const std::vector<uint8_t> Request = {0x82, 0x11, 0xF1, 0x21, 0x06, 0xAB};

}  // namespace

TEST_F(ReceiveTest, ABurstReachesOneHandlerCallWithItsFullCount) {
  Comm.Open();
  Pty.Send(Request);
  ASSERT_TRUE(P.Sync->RunUntil([&] { return !Counts.empty(); }));
  P.Sync->RunFor(100ms);
  EXPECT_EQ(Counts, std::vector<int>{6});
  EXPECT_EQ(Received, Request);

  // The count is taken when the window thread handles the event: bytes that
  // arrive while the event waits are in it. The event of those later bytes
  // then finds nothing and calls nobody: never a call with Count 0.
  Counts.clear();
  Received.clear();
  Pty.Send(std::vector<uint8_t>(Request.begin(), Request.begin() + 3));
  ASSERT_TRUE(P.Sync->WaitPending());
  Pty.Send(std::vector<uint8_t>(Request.begin() + 3, Request.end()));
  ASSERT_TRUE(Pty.WaitInput(6, WaitBound));
  ASSERT_TRUE(P.Sync->RunUntil([&] { return !Counts.empty(); }));
  P.Sync->RunFor(100ms);
  EXPECT_EQ(Counts, std::vector<int>{6});
  EXPECT_EQ(Received, Request);
}

TEST_F(ReceiveTest, BytesLeftUnreadDoNotWakeTheThreadAgain) {
  // Each wake-up of the event thread with bytes waiting is a hand-over to
  // the window thread: counting them shows whether it spins.
  int Calls = 0;
  Comm.SetOnRxChar([&](TVaCustomComm*, int) { ++Calls; });  // reads nothing
  Comm.Open();
  Pty.Send("abcd");
  ASSERT_TRUE(P.Sync->RunUntil([&] { return Calls == 1; }));
  P.Sync->RunFor(300ms);
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(P.Sync->Runs(), 1);
  // New bytes fire again, counting the old ones too.
  int LastCount = 0;
  Comm.SetOnRxChar([&](TVaCustomComm*, int Count) {
    ++Calls;
    LastCount = Count;
  });
  Pty.Send("ef");
  EXPECT_TRUE(P.Sync->RunUntil([&] { return Calls == 2; }));
  EXPECT_EQ(LastCount, 6);
  // Without a handler nothing spins either: one hand-over for the new bytes.
  Comm.SetOnRxChar(nullptr);
  Pty.Send("gh");
  ASSERT_TRUE(P.Sync->RunUntil([&] { return P.Sync->Runs() == 3; }));
  P.Sync->RunFor(300ms);
  EXPECT_EQ(P.Sync->Runs(), 3);
  EXPECT_EQ(Calls, 2);
  EXPECT_EQ(Comm.InQueCount(), 8);
}

TEST_F(ReceiveTest, AnExceptionInTheHandlerIsReportedAndReceptionGoesOn) {
  int Calls = 0;
  Comm.SetOnRxChar([&](TVaCustomComm* Sender, int Count) {
    ++Calls;
    std::vector<uint8_t> Buf(static_cast<size_t>(Count));
    Sender->ReadBuf(Buf.data(), Count);
    if (Calls == 1) throw EVaCommError("Output buffer is full. Please check comm status.");
    if (Calls == 2) throw 42;  // not even a std::exception
  });
  Comm.Open();
  for (int i = 1; i <= 3; ++i) {
    Pty.Send(Request);
    ASSERT_TRUE(P.Sync->RunUntil([&] { return Calls == i; })) << i;
  }
  EXPECT_EQ(P.Reports,
            (std::vector<std::string>{"Output buffer is full. Please check comm status.", "Unknown exception"}));
}

TEST_F(ReceiveTest, ReadBufReturnsWhatIsWaitingAndNothingOnceTheTimeoutHasPassed) {
  // The read time-out is measured by the port's clock, which the test moves;
  // the read interval (5 ms of silence after a byte) is real time.
  TTestClock Clock;
  Comm.SetOnRxChar(nullptr);
  Comm.Buffers().SetReadTimeout(200);
  Comm.Open();
  uint8_t Buf[64];
  // Silence: the read waits as long as its clock stands still, whatever the
  // real time, and returns 0 once 200 ms have passed by it.
  {
    TWhileWaiting While(Clock, 3, [&] { Clock.Advance(200); });
    EXPECT_EQ(Comm.ReadBuf(Buf, sizeof Buf), 0);
    While.Returned();
    EXPECT_TRUE(While.ActedWhileWaiting());
    EXPECT_FALSE(While.Stuck());
  }
  // Bytes waiting, fewer than asked: they come back once the line has been
  // silent for the read interval, with the clock standing still.
  Pty.Send(Request);
  ASSERT_TRUE(Pty.WaitInput(6, WaitBound));
  {
    TWhileWaiting Watchdog(Clock);
    ASSERT_EQ(Comm.ReadBuf(Buf, sizeof Buf), 6);
    Watchdog.Returned();
    EXPECT_FALSE(Watchdog.Stuck());
  }
  EXPECT_EQ(std::vector<uint8_t>(Buf, Buf + 6), Request);
  // Exactly as many as asked: at once, the rest stays queued.
  Pty.Send("0123456789");
  ASSERT_TRUE(Pty.WaitInput(10, WaitBound));
  ASSERT_EQ(Comm.ReadBuf(Buf, 4), 4);
  EXPECT_EQ(std::string(Buf, Buf + 4), "0123");
  EXPECT_EQ(Comm.InQueCount(), 6);
  ASSERT_EQ(Comm.ReadBuf(Buf, 6), 6);
  EXPECT_EQ(std::string(Buf, Buf + 6), "456789");
  // A byte that arrives during the wait is returned, however late it comes.
  {
    TWhileWaiting While(Clock, 3, [&] { Pty.Send("z"); });
    EXPECT_EQ(Comm.ReadBuf(Buf, 8), 1);
    While.Returned();
    EXPECT_TRUE(While.ActedWhileWaiting());
    EXPECT_FALSE(While.Stuck());
  }
  EXPECT_EQ(Buf[0], 'z');
  // Bad arguments are refused plainly.
  EXPECT_THROW(Comm.ReadBuf(Buf, -1), EVaCommError);
  EXPECT_THROW(Comm.ReadBuf(nullptr, 4), EVaCommError);
  EXPECT_EQ(Comm.ReadBuf(Buf, 0), 0);
}

TEST_F(ReceiveTest, ReadBufOnSilenceWaitsTheReadTimeoutInRealTime) {
  // The system's clock: the window's 500 ms, not less. The port counts in
  // whole milliseconds of the system tick, so a wait that starts late in one
  // tick and is woken once on the way may end up to one tick short of 500 ms
  // of real time; any more would be a time-out cut short.
  Comm.SetOnRxChar(nullptr);
  Comm.Open();
  uint8_t Buf[8];
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(Comm.ReadBuf(Buf, sizeof Buf), 0);
  EXPECT_GE(Since(Start), 499ms);
}

TEST_F(ReceiveTest, BytesThatArrivedBeforeOpenAreReportedOnce) {
  Pty.Send("early");
  ASSERT_TRUE(Pty.WaitInput(5, WaitBound));
  Comm.Open();
  EXPECT_TRUE(P.Sync->RunUntil([&] { return !Counts.empty(); }));
  P.Sync->RunFor(100ms);
  EXPECT_EQ(Counts, std::vector<int>{5});
  EXPECT_EQ(std::string(Received.begin(), Received.end()), "early");
}

TEST_F(ReceiveTest, AnIdlePortsThreadsSleepWithoutWakingUp) {
  const std::vector<int> Before = ThreadIds();
  Comm.Open();
  std::vector<int> Workers;
  for (int Tid : ThreadIds())
    if (std::find(Before.begin(), Before.end(), Tid) == Before.end()) Workers.push_back(Tid);
  ASSERT_EQ(Workers.size(), 2u);
  ASSERT_TRUE(WaitAsleep(Workers));
  std::vector<long> Switches;
  for (int Tid : Workers) Switches.push_back(ThreadSwitches(Tid));
  // Half a second of idleness: no timer, no polling, no hand-over.
  P.Sync->RunFor(500ms);
  for (size_t i = 0; i < Workers.size(); ++i)
    EXPECT_EQ(ThreadSwitches(Workers[i]), Switches[i]) << "worker " << i << " woke up";
  EXPECT_EQ(P.Sync->Runs(), 0);
}

TEST_F(ReceiveTest, EachBatchCarriesTheTimeItsBytesArrivedHoweverLateTheWindowThread) {
  int64_t Stamp = -1, HandledAt = 0;
  Comm.SetOnRxChar([&](TVaCustomComm* Sender, int Count) {
    Stamp = Sender->RxEventTime();
    HandledAt = VaMonotonicMicros();
    std::vector<uint8_t> Buf(static_cast<size_t>(Count));
    Sender->ReadBuf(Buf.data(), Count);
  });
  Comm.Open();
  EXPECT_EQ(Comm.RxEventTime(), 0);
  for (int Round = 0; Round < 2; ++Round) {
    Stamp = -1;
    const int64_t Sent = VaMonotonicMicros();
    Pty.Send(Request);
    ASSERT_TRUE(P.Sync->WaitPending());
    const int64_t Queued = VaMonotonicMicros();
    // The window thread is busy elsewhere for a while before it runs the
    // hand-over (the stamp must not move with it).
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(P.Sync->RunUntil([&] { return Stamp >= 0; })) << Round;
    EXPECT_GE(Stamp, Sent) << Round;
    EXPECT_LE(Stamp, Queued) << Round;
    EXPECT_GE(HandledAt - Stamp, 100000) << Round;
  }
}
