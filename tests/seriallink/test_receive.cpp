// Received bytes: the event thread, OnRxChar and ReadBuf.
#include "test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class ReceiveTest : public ::testing::Test {
protected:
  TPtyPair Pty;
  TPort P{Pty.SlavePath()};
  TVaComm& Comm = P.Comm;
  std::vector<int> Counts;           // Count of every OnRxChar call
  std::vector<uint8_t> Received;     // what the handlers read
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
  ASSERT_TRUE(P.Sync->RunUntil([&] { return !Counts.empty(); }, 1000ms));
  P.Sync->RunFor(100ms);
  EXPECT_EQ(Counts, std::vector<int>{6});
  EXPECT_EQ(Received, Request);

  // The count is taken when the window thread handles the event: bytes that
  // arrive while the event waits are in it. The event of those later bytes
  // then finds nothing and calls nobody: never a call with Count 0.
  Counts.clear();
  Received.clear();
  Pty.Send(std::vector<uint8_t>(Request.begin(), Request.begin() + 3));
  ASSERT_TRUE(P.Sync->WaitPending(1000ms));
  Pty.Send(std::vector<uint8_t>(Request.begin() + 3, Request.end()));
  ASSERT_TRUE(Pty.WaitInput(6));
  P.Sync->RunFor(200ms);
  EXPECT_EQ(Counts, std::vector<int>{6});
  EXPECT_EQ(Received, Request);
}

TEST_F(ReceiveTest, BytesLeftUnreadDoNotWakeTheThreadAgain) {
  int Calls = 0;
  Comm.SetOnRxChar([&](TVaCustomComm*, int) { ++Calls; });  // reads nothing
  Comm.Open();
  const TMs CpuBefore = ProcessCpuTime();
  Pty.Send("abcd");
  P.Sync->RunFor(300ms);
  EXPECT_EQ(Calls, 1);
  EXPECT_LT((ProcessCpuTime() - CpuBefore).count(), 60);
  // New bytes fire again, counting the old ones too.
  int LastCount = 0;
  Comm.SetOnRxChar([&](TVaCustomComm*, int Count) { ++Calls; LastCount = Count; });
  Pty.Send("ef");
  EXPECT_TRUE(P.Sync->RunUntil([&] { return Calls == 2; }, 1000ms));
  EXPECT_EQ(LastCount, 6);
  // Without a handler nothing spins either.
  Comm.SetOnRxChar(nullptr);
  const TMs CpuIdle = ProcessCpuTime();
  Pty.Send("gh");
  P.Sync->RunFor(300ms);
  EXPECT_EQ(Calls, 2);
  EXPECT_EQ(Comm.InQueCount(), 8);
  EXPECT_LT((ProcessCpuTime() - CpuIdle).count(), 60);
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
    ASSERT_TRUE(P.Sync->RunUntil([&] { return Calls == i; }, 1000ms)) << i;
  }
  EXPECT_EQ(P.Reports, (std::vector<std::string>{"Output buffer is full. Please check comm status.",
                                                 "Unknown exception"}));
}

TEST_F(ReceiveTest, ReadBufReturnsWhatIsWaitingAndNothingAfterTheTimeoutOnSilence) {
  Comm.SetOnRxChar(nullptr);
  Comm.Buffers().SetReadTimeout(200);
  Comm.Open();
  uint8_t Buf[64];
  // Silence: 0 after ReadTimeout.
  auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(Comm.ReadBuf(Buf, sizeof Buf), 0);
  EXPECT_GE(Since(Start), 200ms);
  EXPECT_LT(Since(Start), 400ms);
  // Bytes waiting, fewer than asked: they come back once the line has been
  // silent for the read interval, long before the time-out.
  Pty.Send(Request);
  P.Sync->RunUntil([&] { return Comm.InQueCount() == 6; }, 1000ms);
  Start = std::chrono::steady_clock::now();
  ASSERT_EQ(Comm.ReadBuf(Buf, sizeof Buf), 6);
  EXPECT_LT(Since(Start), 100ms);
  EXPECT_EQ(std::vector<uint8_t>(Buf, Buf + 6), Request);
  // Exactly as many as asked: at once, the rest stays queued.
  Pty.Send("0123456789");
  P.Sync->RunUntil([&] { return Comm.InQueCount() == 10; }, 1000ms);
  ASSERT_EQ(Comm.ReadBuf(Buf, 4), 4);
  EXPECT_EQ(std::string(Buf, Buf + 4), "0123");
  EXPECT_EQ(Comm.InQueCount(), 6);
  ASSERT_EQ(Comm.ReadBuf(Buf, 6), 6);
  EXPECT_EQ(std::string(Buf, Buf + 6), "456789");
  // A byte that arrives during the wait is returned.
  std::thread Late([&] {
    std::this_thread::sleep_for(50ms);
    Pty.Send("z");
  });
  Start = std::chrono::steady_clock::now();
  EXPECT_EQ(Comm.ReadBuf(Buf, 8), 1);
  Late.join();
  EXPECT_EQ(Buf[0], 'z');
  EXPECT_LT(Since(Start), 190ms);
  // Bad arguments are refused plainly.
  EXPECT_THROW(Comm.ReadBuf(Buf, -1), EVaCommError);
  EXPECT_THROW(Comm.ReadBuf(nullptr, 4), EVaCommError);
  EXPECT_EQ(Comm.ReadBuf(Buf, 0), 0);
}

TEST_F(ReceiveTest, BytesThatArrivedBeforeOpenAreReportedOnce) {
  Pty.Send("early");
  Comm.Open();
  EXPECT_TRUE(P.Sync->RunUntil([&] { return !Counts.empty(); }, 1000ms));
  P.Sync->RunFor(100ms);
  EXPECT_EQ(Counts, std::vector<int>{5});
  EXPECT_EQ(std::string(Received.begin(), Received.end()), "early");
}

TEST_F(ReceiveTest, IdlePortCostsNoCpu) {
  Comm.Open();
  // Let the threads settle, then measure one second of idle time.
  P.Sync->RunFor(50ms);
  const TMs Before = ProcessCpuTime();
  P.Sync->RunFor(1000ms);
  const TMs Used = ProcessCpuTime() - Before;
  RecordProperty("IdleCpuMsPerSecond", int(Used.count()));
  EXPECT_LT(Used.count(), 30);
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
    ASSERT_TRUE(P.Sync->WaitPending(1000ms));
    const int64_t Queued = VaMonotonicMicros();
    // The window thread is busy elsewhere before it runs the hand-over.
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(P.Sync->RunUntil([&] { return Stamp >= 0; }, 1000ms)) << Round;
    EXPECT_GE(Stamp, Sent) << Round;
    EXPECT_LE(Stamp, Queued) << Round;
    EXPECT_GE(HandledAt - Stamp, 100000) << Round;
  }
}
