// What the port costs in processor time where it must cost next to nothing:
// idle, with bytes left unread, and with its device gone. Process CPU time
// depends on the machine and on sanitizers, so these run on their own, one
// at a time, outside the sanitizer builds (ctest label "perf"); the suites
// check the same situations by their wake-ups and hand-overs.
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

class PerfTest : public ::testing::Test {
protected:
  TPtyPair Pty;
  TPort P{Pty.SlavePath()};
  TVaComm& Comm = P.Comm;
  void TearDown() override {
    Comm.Close();
    EXPECT_TRUE(WorkersEnd(*P.Sync));
  }
  // Process CPU time over Duration of running hand-overs.
  TMs CpuOver(TMs Duration) {
    const TMs Before = ProcessCpuTime();
    P.Sync->RunFor(Duration);
    return ProcessCpuTime() - Before;
  }
};

}  // namespace

TEST_F(PerfTest, AnIdlePortCostsNoCpu) {
  Comm.Open();
  P.Sync->RunFor(50ms);  // the threads settle
  const TMs Used = CpuOver(1000ms);
  RecordProperty("IdleCpuMsPerSecond", int(Used.count()));
  EXPECT_LT(Used.count(), 30);
}

TEST_F(PerfTest, BytesLeftUnreadCostNoCpu) {
  int Calls = 0;
  Comm.SetOnRxChar([&](TVaCustomComm*, int) { ++Calls; });  // reads nothing
  Comm.Open();
  Pty.Send("abcd");
  ASSERT_TRUE(P.Sync->RunUntil([&] { return Calls == 1; }));
  const TMs WithHandler = CpuOver(300ms);
  RecordProperty("UnreadCpuMs", int(WithHandler.count()));
  EXPECT_LT(WithHandler.count(), 60);
  Comm.SetOnRxChar(nullptr);
  Pty.Send("ef");
  ASSERT_TRUE(P.Sync->RunUntil([&] { return P.Sync->Runs() == 2; }));
  const TMs WithoutHandler = CpuOver(300ms);
  RecordProperty("UnreadWithoutHandlerCpuMs", int(WithoutHandler.count()));
  EXPECT_LT(WithoutHandler.count(), 60);
}

TEST_F(PerfTest, AHungUpLineCostsLittleCpu) {
  Comm.Open();
  Pty.CloseMaster();
  Pty.CloseSlave();
  Comm.WriteBuf("answer", 6);
  const TMs Used = CpuOver(1000ms);
  RecordProperty("HungUpCpuMsPerSecond", int(Used.count()));
  EXPECT_LT(Used.count(), 60);
}

TEST_F(PerfTest, ALostDeviceThatIsKeptOpenCostsLittleCpu) {
  // With OnDeviceLost set the workers keep trying the device while the
  // owner keeps the port open.
  int Losses = 0;
  Comm.SetOnDeviceLost([&](TVaCustomComm*, const std::string&) { ++Losses; });
  Comm.Open();
  Pty.CloseMaster();
  Pty.CloseSlave();
  ASSERT_TRUE(P.Sync->RunUntil([&] { return Losses == 1; }));
  Comm.WriteBuf("answer", 6);
  const TMs Used = CpuOver(1000ms);
  RecordProperty("LostCpuMsPerSecond", int(Used.count()));
  EXPECT_LT(Used.count(), 100);
  EXPECT_EQ(Losses, 1);
}
