// Line errors on the way to OnError: the driver's error counters are played
// by the test (a pseudo-terminal keeps none), the rest is the real port on a
// pseudo-terminal. A spoilt byte arrives with its error: the event thread
// sees the counters move, and OnError gets the flags of what moved.
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

class LineErrorTest : public ::testing::Test {
protected:
  TTestLineCounters Counters;  // before the port: it looks for counters at Open
  TPtyPair Pty;
  TPort P{Pty.SlavePath()};
  TVaComm& Comm = P.Comm;
  std::vector<int> Errors;
  std::string Received;
  void SetUp() override {
    Comm.SetOnError([this](TVaCustomComm* Sender, int Flags) {
      EXPECT_EQ(Sender, &Comm);
      Errors.push_back(Flags);
    });
    Comm.SetOnRxChar([this](TVaCustomComm* Sender, int Count) {
      std::vector<uint8_t> Buf(static_cast<size_t>(Count));
      const int Got = Sender->ReadBuf(Buf.data(), Count);
      Received.append(Buf.begin(), Buf.begin() + Got);
    });
  }
  void TearDown() override {
    Comm.Close();
    EXPECT_TRUE(WorkersEnd(*P.Sync));
  }
  // One byte spoilt as More says; returns once the port has handled it.
  void Spoil(const vacomm_detail::TVaLineCounters& More, char Byte) {
    const size_t Before = Received.size();
    Counters.Add(More);
    Pty.Send(std::string(1, Byte));
    ASSERT_TRUE(P.Sync->RunUntil([&] { return Received.size() == Before + 1; }));
    // The error event is handled with the byte, in the same hand-over.
    EXPECT_EQ(P.Sync->Pending(), 0);
  }
};

vacomm_detail::TVaLineCounters Counts(int Frame, int Overrun, int Parity, int Brk, int BufOverrun) {
  vacomm_detail::TVaLineCounters C;
  C.Frame = Frame;
  C.Overrun = Overrun;
  C.Parity = Parity;
  C.Brk = Brk;
  C.BufOverrun = BufOverrun;
  return C;
}

}  // namespace

TEST_F(LineErrorTest, EachErrorReachesOnErrorWithItsFlag) {
  Comm.Open();
  EXPECT_EQ(Comm.EventMask(), VA_EV_RXCHAR | VA_EV_ERR);
  struct {
    const char* What;
    vacomm_detail::TVaLineCounters More;
    int Flags;
  } const Cases[] = {
      {"framing", Counts(1, 0, 0, 0, 0), VA_CE_FRAME},
      {"overrun", Counts(0, 1, 0, 0, 0), VA_CE_OVERRUN},
      {"parity", Counts(0, 0, 1, 0, 0), VA_CE_RXPARITY},
      {"input buffer overflow", Counts(0, 0, 0, 0, 1), VA_CE_RXOVER},
      // Several at once, and several of one kind, are one call.
      {"framing and parity", Counts(2, 0, 1, 0, 0), VA_CE_FRAME | VA_CE_RXPARITY},
      // A break shows with the error it came with.
      {"break and framing", Counts(1, 0, 0, 1, 0), VA_CE_BREAK | VA_CE_FRAME},
      {"all", Counts(1, 1, 1, 1, 1), 0x1F},
  };
  char Byte = 'a';
  for (const auto& C : Cases) {
    Errors.clear();
    Spoil(C.More, Byte++);
    EXPECT_EQ(Errors, std::vector<int>{C.Flags}) << C.What;
  }
  // A good byte afterwards: the errors were cleared when reported.
  Errors.clear();
  Spoil(Counts(0, 0, 0, 0, 0), 'z');
  EXPECT_EQ(Errors, std::vector<int>{});
  EXPECT_EQ(Received, "abcdefgz");
  EXPECT_EQ(P.Reports, std::vector<std::string>{});
}

TEST_F(LineErrorTest, WithoutReceiveEventsTheErrorEventAloneReportsThem) {
  Comm.SetMonitorEvents({ceError});
  Comm.SetOnRxChar(nullptr);
  Comm.Open();
  Counters.Add(Counts(0, 1, 0, 0, 0));
  Pty.Send("x");
  ASSERT_TRUE(P.Sync->RunUntil([&] { return !Errors.empty(); }));
  P.Sync->RunFor(50ms);
  EXPECT_EQ(Errors, std::vector<int>{VA_CE_OVERRUN});
  // The byte is still there to be read.
  EXPECT_EQ(Comm.InQueCount(), 1);
}

TEST_F(LineErrorTest, WithoutOnErrorReceptionGoesOnAndAFailingOnErrorIsReported) {
  // The tester window's port has no OnError: errors are cleared unseen.
  Comm.SetOnError(nullptr);
  Comm.Open();
  Spoil(Counts(1, 0, 1, 0, 0), 'a');
  Spoil(Counts(0, 0, 0, 0, 0), 'b');
  EXPECT_EQ(Received, "ab");
  EXPECT_EQ(P.Reports, std::vector<std::string>{});
  // A handler that raises goes to the exception report; reception goes on.
  Comm.SetOnError([&](TVaCustomComm*, int Flags) {
    Errors.push_back(Flags);
    throw EVaCommError("error handler failed");
  });
  Spoil(Counts(1, 0, 0, 0, 0), 'c');
  Spoil(Counts(0, 0, 0, 0, 0), 'd');
  EXPECT_EQ(Errors, std::vector<int>{VA_CE_FRAME});
  EXPECT_EQ(Received, "abcd");
  EXPECT_EQ(P.Reports, std::vector<std::string>{"error handler failed"});
}
