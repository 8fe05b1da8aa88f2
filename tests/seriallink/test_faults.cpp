// Faults: the peer hangs up, the device vanishes, the port is closed or
// destroyed while a worker waits in a hand-over, handlers that throw.
#include "environment.h"
#include "test_support.h"
#include "vathreads.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class FaultTest : public ::testing::Test {
protected:
  TPtyPair Pty;
  std::unique_ptr<TPort> P = std::make_unique<TPort>(Pty.SlavePath());
  std::shared_ptr<TTestSynchronizer> Sync = P->Sync;
  int Calls = 0;
  void SetUp() override {
    P->Comm.SetOnRxChar([this](TVaCustomComm* Sender, int Count) {
      ++Calls;
      std::vector<uint8_t> Buf(static_cast<size_t>(Count));
      Sender->ReadBuf(Buf.data(), Count);
    });
  }
  void TearDown() override {
    P.reset();
    EXPECT_TRUE(WorkersEnd(*Sync));
  }
};

// The most hand-overs that the two workers of a port whose device has
// failed may make in Elapsed: each worker at most one (and the event
// thread one more for the loss) per pause between its attempts. A worker
// that spins on the failure makes hundreds.
int PacedHandOvers(TMs Elapsed) { return 3 + 2 * int(Elapsed.count() / vacomm_detail::VA_RETRY_PAUSE_MS + 1); }

}  // namespace

TEST_F(FaultTest, ThePeerHangsUp) {
  TVaComm& Comm = P->Comm;
  Comm.Open();
  Pty.Send("ab");
  ASSERT_TRUE(Sync->RunUntil([&] { return Calls == 1; }));
  Pty.CloseMaster();
  Pty.CloseSlave();
  // Answers keep being queued; the workers try again at a bounded rate.
  const int RunsBefore = Sync->Runs();
  const auto Start = std::chrono::steady_clock::now();
  Comm.WriteBuf("answer", 6);
  Sync->RunFor(1000ms);
  const TMs Elapsed = Since(Start);
  EXPECT_LE(Sync->Runs() - RunsBefore, PacedHandOvers(Elapsed));
  EXPECT_LE(P->Reports.size(), 2u);
  EXPECT_TRUE(Comm.Active());
  // Close does not wait for the workers, whatever they are doing.
  const auto Closing = std::chrono::steady_clock::now();
  Comm.Close();
  EXPECT_LT(Since(Closing), WaitBound);
  EXPECT_FALSE(Comm.Active());
}

TEST_F(FaultTest, TheDeviceVanishesWhileOpen) {
  TVaComm& Comm = P->Comm;
  Comm.Open();
  // A hang-up of the terminal is what the system does to a USB adapter that
  // is pulled out: every later call on the open descriptor fails.
  const int Fd = open(Pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (Fd < 0 || ioctl(Fd, TIOCVHANGUP) != 0) {
    if (Fd >= 0) close(Fd);
    SKIP_OR_FAIL_IN_CI("hanging up a terminal needs CAP_SYS_ADMIN");
  }
  close(Fd);
  const int RunsBefore = Sync->Runs();
  const auto Start = std::chrono::steady_clock::now();
  // An answer now fails on the device; the write thread ends and says so
  // once; WriteBuf then refuses instead of queueing into nothing.
  EXPECT_EQ(Comm.WriteBuf("answer", 6), 6);
  std::string Refusal;
  Sync->RunUntil([&] {
    Refusal = CommErrorOf([&] { Comm.WriteBuf("x", 1); });
    return Refusal.rfind("The port's write thread has stopped", 0) == 0 && !P->Reports.empty();
  });
  EXPECT_EQ(Refusal,
            "The port's write thread has stopped (Error retrieving statistics (5), "
            "Input/output error). Close and open the port again.");
  Sync->RunFor(500ms);
  EXPECT_LE(Sync->Runs() - RunsBefore, PacedHandOvers(Since(Start)));
  // One report from the receive side (the queue can no longer be read), one
  // from the write thread; nothing repeated.
  EXPECT_GE(P->Reports.size(), 1u);
  EXPECT_LE(P->Reports.size(), 2u);
  for (const std::string& R : P->Reports) EXPECT_EQ(R, "Error retrieving statistics (5), Input/output error");
  // Reading fails plainly, closing works.
  char Buf[4];
  EXPECT_EQ(Comm.ReadBuf(Buf, 4), 0);
  Comm.Close();
  EXPECT_FALSE(Comm.Active());
}

TEST_F(FaultTest, CloseWhileAWorkerWaitsInAHandOver) {
  TVaComm& Comm = P->Comm;
  Comm.SetOnTxEmpty([&](TVaCustomComm*) { ++Calls; });
  Comm.Open();
  Pty.Send("abc");
  Comm.WriteBuf("xyz", 3);
  ASSERT_TRUE(Sync->WaitPending());
  EXPECT_EQ(Pty.Receive(3, WaitBound).size(), 3u);
  // Both workers may now be blocked in their hand-overs, which only this
  // thread runs: Close does not wait for them (else it would never return).
  const auto Start = std::chrono::steady_clock::now();
  Comm.Close();
  EXPECT_LT(Since(Start), WaitBound);
  EXPECT_FALSE(Comm.Active());
  // The delayed hand-overs run into a closed port and do nothing.
  EXPECT_TRUE(WorkersEnd(*Sync));
  EXPECT_EQ(Calls, 0);
  // The port opens again with new threads.
  Comm.Open();
  Pty.Send("d");
  EXPECT_TRUE(Sync->RunUntil([&] { return Calls == 1; }));
}

TEST_F(FaultTest, DestructionWhileAWorkerWaitsInAHandOver) {
  P->Comm.SetOnTxEmpty([&](TVaCustomComm*) { ++Calls; });
  P->Comm.Open();
  Pty.Send("abc");
  P->Comm.WriteBuf("xyz", 3);
  ASSERT_TRUE(Sync->WaitPending());
  P.reset();  // the component and everything it owns are gone
  EXPECT_TRUE(WorkersEnd(*Sync));
  EXPECT_EQ(Calls, 0);
  // The device is free again.
  TPort Again(Pty.SlavePath());
  Again.Comm.SetSynchronizer(Sync);  // the unread "abc" is delivered through it
  Again.Comm.Open();
  EXPECT_TRUE(Again.Comm.Active());
}

TEST_F(FaultTest, TheHandlerDestroysOrReopensThePort) {
  // Destroyed inside its own receive handler: delivery stops there.
  P->Comm.SetOnRxChar([&](TVaCustomComm*, int) {
    ++Calls;
    P.reset();
  });
  P->Comm.Open();
  Pty.Send("abc");
  ASSERT_TRUE(Sync->RunUntil([&] { return Calls == 1; }));
  EXPECT_TRUE(WorkersEnd(*Sync));

  // Closed and opened again inside the handler: the new threads deliver.
  ASSERT_EQ(ioctl(Pty.Slave(), TCFLSH, 0), 0);  // drop the unread "abc"
  P = std::make_unique<TPort>(Pty.SlavePath());
  Sync = P->Sync;
  std::vector<int> Counts;
  P->Comm.SetOnRxChar([&](TVaCustomComm* Sender, int Count) {
    Counts.push_back(Count);
    std::vector<uint8_t> Buf(static_cast<size_t>(Count));
    Sender->ReadBuf(Buf.data(), Count);
    if (Counts.size() == 1) {
      Sender->Close();
      Sender->Open();
    }
  });
  P->Comm.Open();
  Pty.Send("abcd");
  ASSERT_TRUE(Sync->RunUntil([&] { return Counts.size() == 1; }));
  Pty.Send("ef");
  ASSERT_TRUE(Sync->RunUntil([&] { return Counts.size() == 2; }));
  EXPECT_EQ(Counts, (std::vector<int>{4, 2}));
}

TEST_F(FaultTest, AHandOverThatTheApplicationCanNoLongerRun) {
  TVaComm& Comm = P->Comm;
  Comm.Open();
  Pty.Send("abc");
  ASSERT_TRUE(Sync->WaitPending());
  Sync->Shutdown();  // the worker returns without its call having run
  Pty.Send("def");
  Comm.WriteBuf("x", 1);
  // The event of "def" is handed over too, and refused in its turn.
  ASSERT_TRUE(Sync->WaitRefused(2));
  EXPECT_EQ(Calls, 0);
  Comm.Close();
  EXPECT_TRUE(WorkersEnd(*Sync));
}

TEST_F(FaultTest, AnExceptionFromOnTxEmptyEndsTheWriteThreadOnce) {
  TVaComm& Comm = P->Comm;
  int TxEmpty = 0;
  Comm.SetOnTxEmpty([&](TVaCustomComm*) {
    ++TxEmpty;
    throw EVaCommError("tx handler failed");
  });
  Comm.Open();
  Comm.WriteBuf("one", 3);
  // The write thread ends; the event thread goes on.
  ASSERT_TRUE(Sync->RunUntil([&] { return TVaCustomComm::RunningWorkers() == 1; }));
  Sync->RunFor(100ms);
  EXPECT_EQ(P->Reports, std::vector<std::string>{"tx handler failed"});
  EXPECT_EQ(TxEmpty, 1);
  EXPECT_EQ(TVaCustomComm::RunningWorkers(), 1);
  EXPECT_EQ(CommErrorOf([&] { Comm.WriteBuf("two", 3); }),
            "The port's write thread has stopped (tx handler failed). Close and open the port "
            "again.");
  // Reception is unaffected; reopening brings a new write thread.
  Pty.Send("in");
  EXPECT_TRUE(Sync->RunUntil([&] { return Calls == 1; }));
  Comm.Close();
  Comm.SetOnTxEmpty(nullptr);
  Comm.Open();
  EXPECT_EQ(Comm.WriteBuf("two", 3), 3);
  EXPECT_EQ(ReceiveRunning(Pty, *Sync, 6).size(), 6u);  // "one" then "two"
}
