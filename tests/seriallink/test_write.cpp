// Sending: the write thread's queue, OnTxEmpty, direct writes.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

namespace {

const uint8_t XON = 0x11, XOFF = 0x13;

class WriteTest : public ::testing::Test {
protected:
  TPtyPair Pty;
  TPort P{Pty.SlavePath()};
  TVaComm& Comm = P.Comm;
  int TxEmpty = 0;
  void SetUp() override {
    Comm.SetOnTxEmpty([this](TVaCustomComm*) { ++TxEmpty; });
  }
  void TearDown() override {
    Comm.Close();
    EXPECT_TRUE(WorkersEnd(*P.Sync));
  }
  // Holds the port's output back: with XonXoffOut on, an XOFF from the trip
  // computer's side stops the terminal until an XON. The terminal takes the
  // bytes from the line in order, so once the mark that follows the XOFF
  // waits in the input queue, the XOFF has been acted on.
  void HoldOutput() {
    const int Before = Pty.InputWaiting();
    Pty.Send(std::vector<uint8_t>{XOFF, '#'});
    ASSERT_TRUE(Pty.WaitInput(Before + 1, WaitBound));
  }
  void ReleaseOutput() { Pty.Send(std::vector<uint8_t>{XON}); }
  std::string Received(size_t Count, TMs Timeout = WaitBound) {
    const auto Bytes = ReceiveRunning(Pty, *P.Sync, Count, Timeout);
    return std::string(Bytes.begin(), Bytes.end());
  }
};

// Threads of the process that were not there before.
std::vector<int> NewThreads(const std::vector<int>& Before) {
  std::vector<int> New;
  for (int Tid : ThreadIds())
    if (std::find(Before.begin(), Before.end(), Tid) == Before.end()) New.push_back(Tid);
  return New;
}

}  // namespace

TEST_F(WriteTest, AnAnswerLeavesAtOnceAndTxEmptyFollows) {
  Comm.FlowControl().SetXonXoffOut(true);
  Comm.Open();
  // WriteBuf only copies: it returns while the line is held.
  HoldOutput();
  EXPECT_EQ(Comm.WriteBuf("\x83\xF1\x11\xC1\xEF\x8F\xC4", 7), 7);
  EXPECT_EQ(Received(1, 20ms), "");
  EXPECT_EQ(TxEmpty, 0);
  ReleaseOutput();
  EXPECT_EQ(Received(7), "\x83\xF1\x11\xC1\xEF\x8F\xC4");
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty == 1; }));
  P.Sync->RunFor(50ms);
  EXPECT_EQ(TxEmpty, 1);
}

TEST_F(WriteTest, TwoQuickWritesLeaveBackToBackAndTxEmptyFiresOnce) {
  Comm.FlowControl().SetXonXoffOut(true);
  Comm.Open();
  HoldOutput();
  EXPECT_EQ(Comm.WriteBuf("ab", 2), 2);
  EXPECT_EQ(Comm.WriteBuf("cd", 2), 2);
  P.Sync->RunFor(100ms);
  EXPECT_EQ(Received(1, 50ms), "");  // still held
  EXPECT_EQ(TxEmpty, 0);
  ReleaseOutput();
  EXPECT_EQ(Received(4), "abcd");
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty > 0; }));
  P.Sync->RunFor(50ms);
  EXPECT_EQ(TxEmpty, 1);
}

TEST_F(WriteTest, ManyAnswersArriveCompleteAndInOrder) {
  Comm.Open();
  std::mt19937 Random(7);
  std::string Sent;
  for (int i = 0; i < 300; ++i) {
    std::string Chunk(size_t(1 + Random() % 60), '\0');
    for (char& c : Chunk) c = char(Random());
    ASSERT_EQ(Comm.WriteBuf(Chunk.data(), int(Chunk.size())), int(Chunk.size()));
    Sent += Chunk;
    if (i % 50 == 0) P.Sync->RunFor(1ms);
  }
  // The master reads while the queue drains; TxEmpty hand-overs run here.
  const std::string Got = Received(Sent.size());
  EXPECT_EQ(Got.size(), Sent.size());
  EXPECT_TRUE(Got == Sent);
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty >= 1; }));
}

TEST_F(WriteTest, AWriteLargerThanTheQueueRaisesOnceTheWriteTimeoutHasPassed) {
  // The write time-out is the window's 5000 ms. The port's clock starts
  // 4096 ms before it wraps, jumps 4990 ms after the wait's first reading
  // and then moves 1 ms at every reading.
  TTestClock Clock(0xFFFFF000u);
  ASSERT_EQ(Comm.Buffers().WriteTimeout(), 5000);
  Comm.Open();
  Clock.SetStep(1);
  Clock.JumpAfterNextReading(4990);
  const std::string Big(3000, 'x');  // more than WriteSize 2048: never fits
  EXPECT_EQ(CommErrorOf([&] { Comm.WriteBuf(Big.data(), int(Big.size())); }),
            "Output buffer is full. Please check comm status.");
  // It gave up at the first reading more than 5000 ms after the start, the
  // time across the wrap counted as now + (0xFFFFFFFF - start), one less
  // than the readings passed: reading k is start + 4990 + k, and k = 12
  // (5002 - 1 > 5000) is the last.
  EXPECT_EQ(Clock.Reads(), 13);
  EXPECT_EQ(Received(1, 50ms), "");  // nothing of it was queued
  // The port goes on working.
  EXPECT_EQ(Comm.WriteBuf("ok", 2), 2);
  EXPECT_EQ(Received(2), "ok");
  EXPECT_THROW(Comm.WriteBuf("ok", -2), EVaCommError);
  EXPECT_EQ(Comm.WriteBuf("ok", 0), 0);
}

TEST_F(WriteTest, AFullQueueWaitsForRoomByThePortsClock) {
  TTestClock Clock;
  Comm.Buffers().SetWriteSize(16);
  Comm.Buffers().SetWriteTimeout(100);
  Comm.FlowControl().SetXonXoffOut(true);
  Comm.Open();
  HoldOutput();
  EXPECT_EQ(Comm.WriteBuf("0123456789", 10), 10);
  // 10 + 10 > 16: no room while the output is held, whatever the real time.
  Clock.SetStep(60);
  EXPECT_THROW(Comm.WriteBuf("abcdefghij", 10), EVaCommError);
  // With the clock standing still the call waits for room however long the
  // trip computer takes; room comes when it lets the queue drain.
  Clock.SetStep(0);
  {
    TWhileWaiting While(Clock, 3, [&] { ReleaseOutput(); });
    EXPECT_EQ(Comm.WriteBuf("abcdefghij", 10), 10);
    While.Returned();
    EXPECT_TRUE(While.ActedWhileWaiting());
    EXPECT_FALSE(While.Stuck());
  }
  EXPECT_EQ(Received(20), "0123456789abcdefghij");
}

TEST_F(WriteTest, CloseDiscardsQueuedBytesAndAnOutstandingWrite) {
  Comm.FlowControl().SetXonXoffOut(true);
  const std::vector<int> Before = ThreadIds();
  Comm.Open();
  const std::vector<int> Workers = NewThreads(Before);
  HoldOutput();
  EXPECT_EQ(Comm.WriteBuf("lost", 4), 4);
  // Both workers asleep: the write thread waits for the held line to take
  // the bytes.
  ASSERT_TRUE(WaitAsleep(Workers));
  Comm.Close();
  EXPECT_TRUE(WorkersEnd(*P.Sync));
  ReleaseOutput();
  EXPECT_EQ(Received(1, 100ms), "");
  EXPECT_EQ(TxEmpty, 0);
}

TEST_F(WriteTest, DirectWritesGoOutOnTheCallingThread) {
  TTestClock Clock;
  Comm.SetDirectWrite(true);
  Comm.FlowControl().SetXonXoffOut(true);
  Comm.Buffers().SetReadTimeout(100);  // a direct write waits the read time-out
  Comm.Open();
  EXPECT_EQ(TVaCustomComm::RunningWorkers(), 1);  // the event thread only
  EXPECT_EQ(Comm.WriteBuf("direct", 6), 6);
  EXPECT_EQ(Received(6), "direct");
  // With direct writes the device reports the drained queue (EV_TXEMPTY is
  // in the default MonitorEvents and now asked of the device).
  EXPECT_EQ(Comm.EventMask(), 0x85u);
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty == 1; }));
  P.Sync->RunFor(50ms);
  EXPECT_EQ(TxEmpty, 1);
  // Held output: the write waits while the port's clock stands still, and
  // once the read time-out has passed by it, says how much went out.
  HoldOutput();
  const std::string Big(64 * 1024, 'y');
  int Written = -1;
  {
    TWhileWaiting While(Clock, 3, [&] { Clock.Advance(100); });
    Written = Comm.WriteBuf(Big.data(), int(Big.size()));
    While.Returned();
    EXPECT_TRUE(While.ActedWhileWaiting());
    EXPECT_FALSE(While.Stuck());
  }
  EXPECT_GE(Written, 0);
  EXPECT_LT(Written, int(Big.size()));
  ReleaseOutput();
  EXPECT_EQ(Received(size_t(Written) + 1, 500ms).size(), size_t(Written));
}

TEST_F(WriteTest, LastWriteTimeIsWhenTheWriteThreadHandedTheBytesOn) {
  int64_t TxEmptyAt = 0;
  Comm.SetOnTxEmpty([&](TVaCustomComm*) { TxEmptyAt = VaMonotonicMicros(); });
  Comm.Open();
  EXPECT_EQ(Comm.LastWriteTime(), 0);
  const int64_t Before = VaMonotonicMicros();
  Comm.WriteBuf("answer", 6);
  EXPECT_EQ(Received(6), "answer");
  ASSERT_TRUE(P.Sync->RunUntil([&] { return TxEmptyAt != 0; }));
  EXPECT_GE(Comm.LastWriteTime(), Before);
  EXPECT_LE(Comm.LastWriteTime(), TxEmptyAt);
}

TEST_F(WriteTest, WithoutATxEmptyHandlerTheWriteThreadNeverWaitsForTheWindow) {
  // The window thread may be busy queueing many answers of one receive
  // event; a write thread blocked in a hand-over would leave it waiting for
  // room until the write time-out.
  Comm.SetOnTxEmpty(nullptr);
  Comm.Open();
  const std::vector<char> Answer(1500, 'a');
  for (int I = 0; I < 6; ++I) EXPECT_EQ(Comm.WriteBuf(Answer.data(), 1500), 1500) << I;
  EXPECT_EQ(Received(9000).size(), 9000u);
  EXPECT_EQ(P.Sync->Pending(), 0);
  EXPECT_EQ(P.Sync->Runs(), 0);
  // A handler set while the port is open is served again.
  Comm.SetOnTxEmpty([this](TVaCustomComm*) { ++TxEmpty; });
  EXPECT_EQ(Comm.WriteBuf("b", 1), 1);
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty == 1; }));
}
