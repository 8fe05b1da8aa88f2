// Sending: the write thread's queue, OnTxEmpty, direct writes.
#include "test_support.h"

#include <gtest/gtest.h>

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
  // computer's side stops the terminal until an XON.
  void HoldOutput() {
    Pty.Send(std::vector<uint8_t>{XOFF});
    std::this_thread::sleep_for(50ms);  // the line discipline takes it in
  }
  void ReleaseOutput() { Pty.Send(std::vector<uint8_t>{XON}); }
  std::string Received(size_t Count, TMs Timeout = 1000ms) {
    const auto Bytes = ReceiveRunning(Pty, *P.Sync, Count, Timeout);
    return std::string(Bytes.begin(), Bytes.end());
  }
};

}  // namespace

TEST_F(WriteTest, AnAnswerLeavesAtOnceAndTxEmptyFollows) {
  Comm.Open();
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(Comm.WriteBuf("\x83\xF1\x11\xC1\xEF\x8F\xC4", 7), 7);
  EXPECT_LT(Since(Start), 100ms);  // WriteBuf only copies
  EXPECT_EQ(Received(7), "\x83\xF1\x11\xC1\xEF\x8F\xC4");
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty == 1; }, 1000ms));
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
  P.Sync->RunUntil([&] { return TxEmpty > 0; }, 1000ms);
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
  std::string Got;
  const auto Deadline = std::chrono::steady_clock::now() + 3s;
  while (Got.size() < Sent.size() && std::chrono::steady_clock::now() < Deadline) {
    Got += Received(Sent.size() - Got.size(), 10ms);
    P.Sync->RunFor(1ms);
  }
  EXPECT_EQ(Got.size(), Sent.size());
  EXPECT_TRUE(Got == Sent);
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty >= 1; }, 1000ms));
}

TEST_F(WriteTest, AWriteLargerThanTheQueueRaisesAfterTheWriteTimeout) {
  Comm.Buffers().SetWriteTimeout(100);
  Comm.Open();
  const std::string Big(3000, 'x');  // more than WriteSize 2048: never fits
  const auto Start = std::chrono::steady_clock::now();
  try {
    Comm.WriteBuf(Big.data(), int(Big.size()));
    ADD_FAILURE() << "no exception";
  } catch (const EVaCommError& E) {
    EXPECT_STREQ(E.what(), "Output buffer is full. Please check comm status.");
  }
  EXPECT_GE(Since(Start), 100ms);
  EXPECT_LT(Since(Start), 1000ms);
  EXPECT_EQ(Received(1, 50ms), "");  // nothing of it was queued
  // The port goes on working.
  EXPECT_EQ(Comm.WriteBuf("ok", 2), 2);
  EXPECT_EQ(Received(2), "ok");
  EXPECT_THROW(Comm.WriteBuf("ok", -2), EVaCommError);
  EXPECT_EQ(Comm.WriteBuf("ok", 0), 0);
}

TEST_F(WriteTest, AFullQueueWaitsForRoom) {
  Comm.Buffers().SetWriteSize(16);
  Comm.Buffers().SetWriteTimeout(100);
  Comm.FlowControl().SetXonXoffOut(true);
  Comm.Open();
  HoldOutput();
  EXPECT_EQ(Comm.WriteBuf("0123456789", 10), 10);
  // 10 + 10 > 16: no room while the output is held.
  EXPECT_THROW(Comm.WriteBuf("abcdefghij", 10), EVaCommError);
  // Room comes when the trip computer lets the queue drain.
  Comm.Buffers().SetWriteTimeout(2000);
  std::thread Release([&] {
    std::this_thread::sleep_for(100ms);
    ReleaseOutput();
  });
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(Comm.WriteBuf("abcdefghij", 10), 10);
  EXPECT_GE(Since(Start), 80ms);
  Release.join();
  EXPECT_EQ(Received(20), "0123456789abcdefghij");
}

TEST_F(WriteTest, CloseDiscardsQueuedBytes) {
  Comm.FlowControl().SetXonXoffOut(true);
  Comm.Open();
  HoldOutput();
  EXPECT_EQ(Comm.WriteBuf("lost", 4), 4);
  P.Sync->RunFor(50ms);
  Comm.Close();
  EXPECT_TRUE(WorkersEnd(*P.Sync));
  ReleaseOutput();
  EXPECT_EQ(Received(1, 100ms), "");
  EXPECT_EQ(TxEmpty, 0);
}

TEST_F(WriteTest, DirectWritesGoOutOnTheCallingThread) {
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
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty == 1; }, 1000ms));
  P.Sync->RunFor(50ms);
  EXPECT_EQ(TxEmpty, 1);
  // Held output: the write times out and says how much went out.
  HoldOutput();
  const std::string Big(64 * 1024, 'y');
  const auto Start = std::chrono::steady_clock::now();
  const int Written = Comm.WriteBuf(Big.data(), int(Big.size()));
  // The time-out counts whole ticks of the millisecond counter, which may
  // have been most of a millisecond old at the start.
  EXPECT_GE(Since(Start), 99ms);
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
  ASSERT_TRUE(P.Sync->RunUntil([&] { return TxEmptyAt != 0; }, 1000ms));
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
  EXPECT_EQ(Received(9000, 3000ms).size(), 9000u);
  EXPECT_EQ(P.Sync->Pending(), 0);
  // A handler set while the port is open is served again.
  Comm.SetOnTxEmpty([this](TVaCustomComm*) { ++TxEmpty; });
  EXPECT_EQ(Comm.WriteBuf("b", 1), 1);
  EXPECT_TRUE(P.Sync->RunUntil([&] { return TxEmpty == 1; }, 1000ms));
}
