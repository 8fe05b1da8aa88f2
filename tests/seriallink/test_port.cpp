// Open, Close and the property-change rules on a real pseudo-terminal.
#include "environment.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

const std::string SPortOpen = "Can't perform this operation while port is open";

class PortTest : public ::testing::Test {
protected:
  TPtyPair Pty;
  TPort P{Pty.SlavePath()};
  TVaComm& Comm = P.Comm;
  void TearDown() override {
    Comm.Close();
    EXPECT_TRUE(WorkersEnd(*P.Sync));
  }
};

}  // namespace

TEST_F(PortTest, OpensAtTheTesterSettingsAsReadBackFromTheDevice) {
  // The terminal starts out as unlike the K-line as it can be.
  SetTtyCooked(Pty.Slave());
  const TTtySettings Cooked = ReadTtySettings(Pty.Slave());
  ASSERT_EQ(Cooked.OSpeed, 1200u);
  ASSERT_TRUE(Cooked.Icanon && Cooked.Echo && Cooked.Cstopb && Cooked.Crtscts && Cooked.Ixon);
  Comm.Open();
  ASSERT_TRUE(Comm.Active());
  const TTtySettings S = ReadTtySettings(Pty.Slave());
  EXPECT_EQ(S.OSpeed, 10400u);
  EXPECT_EQ(S.ISpeed, 10400u);
  EXPECT_EQ(S.CharSize, 8);
  EXPECT_FALSE(S.Parenb);
  EXPECT_FALSE(S.Cstopb);
  EXPECT_FALSE(S.Crtscts || S.Ixon || S.Ixoff);
  EXPECT_TRUE(S.Ignbrk);
  EXPECT_FALSE(S.Icanon || S.Echo);  // raw
  EXPECT_EQ(S.OFlag, 0u);
  EXPECT_EQ(S.VStart, 0x11);
  EXPECT_EQ(S.VStop, 0x13);
  EXPECT_EQ(Comm.EventMask(), 0x81u);  // EV_RXCHAR | EV_ERR: no EV_TXEMPTY without DirectWrite
  EXPECT_EQ(TVaCustomComm::RunningWorkers(), 2);
}

TEST_F(PortTest, OpenFailuresLeaveThePortClosed) {
  // A device that does not exist, by path and by COM name.
  Comm.SetDeviceName("/dev/no-such-tty");
  EXPECT_EQ(CommErrorOf([&] { Comm.Open(); }), "Specified device not found (/dev/no-such-tty).");
  EXPECT_FALSE(Comm.Active());
  Comm.SetDeviceName("COM99");
  EXPECT_EQ(CommErrorOf([&] { Comm.Open(); }), "Specified device not found (/dev/ttyS98 (COM99)).");
  EXPECT_FALSE(Comm.Active());
  // Not a terminal.
  char File[] = "/tmp/seriallink-test-XXXXXX";
  const int Fd = mkstemp(File);
  ASSERT_GE(Fd, 0);
  close(Fd);
  Comm.SetDeviceName(File);
  EXPECT_EQ(CommErrorOf([&] { Comm.Open(); }),
            "Can't open specified device " + std::string(File) + " (Error 25, Inappropriate ioctl for device)");
  unlink(File);
  EXPECT_FALSE(Comm.Active());
  EXPECT_EQ(TVaCustomComm::RunningWorkers(), 0);
  // Without a hand-over to the window thread the threads could never deliver.
  TVaComm Lone;
  Lone.SetDeviceName(Pty.SlavePath());
  EXPECT_EQ(CommErrorOf([&] { Lone.Open(); }), "Can't open the port: no window thread hand-over is set");
  EXPECT_FALSE(Lone.Active());
  // Settings are unchanged by a failed Open, and a good one then works.
  Comm.SetDeviceName(Pty.SlavePath());
  Comm.Open();
  EXPECT_TRUE(Comm.Active());
}

TEST_F(PortTest, ASecondOpenerIsRefusedUntilTheFirstCloses) {
  Comm.Open();
  TPort Second(Pty.SlavePath());
  EXPECT_EQ(CommErrorOf([&] { Second.Comm.Open(); }),
            "Can't open specified device " + Pty.SlavePath() + " (Error 16, Device or resource busy)");
  EXPECT_FALSE(Second.Comm.Active());
  // Open on an open port refuses, and the port stays as it was.
  EXPECT_EQ(CommErrorOf([&] { Comm.Open(); }), SPortOpen);
  EXPECT_TRUE(Comm.Active());
  Pty.Send("x");
  EXPECT_EQ(P.Sync->RunUntil([&] { return Comm.InQueCount() == 1; }), true);

  // Close pauses 300 ms by the port's clock.
  TTestClock Clock;
  Comm.Close();
  EXPECT_EQ(Clock.Slept(), 300);
  EXPECT_FALSE(Comm.Active());
  // The device is free at once for another opener.
  Second.Comm.Open();
  EXPECT_TRUE(Second.Comm.Active());
  Second.Comm.Close();
  EXPECT_TRUE(WorkersEnd(*P.Sync, *Second.Sync));
  // Close on a closed port returns at once, without the pause.
  const int64_t Slept = Clock.Slept();
  Comm.Close();
  EXPECT_EQ(Clock.Slept(), Slept);
}

TEST_F(PortTest, OpenAndCloseNotifications) {
  int Opened = 0, Closed = 0;
  Comm.SetOnOpen([&](TVaCustomComm* Sender) {
    EXPECT_EQ(Sender, &Comm);
    EXPECT_TRUE(Sender->Active());
    ++Opened;
    throw EVaCommError("open handler failed");
  });
  Comm.SetOnClose([&](TVaCustomComm* Sender) {
    EXPECT_FALSE(Sender->Active());
    ++Closed;
  });
  Comm.Open();  // the handler's exception goes to the report; the port stays open
  EXPECT_TRUE(Comm.Active());
  EXPECT_EQ(Opened, 1);
  EXPECT_EQ(P.Reports, std::vector<std::string>{"open handler failed"});
  Comm.Close();
  EXPECT_EQ(Closed, 1);
  // Reopening creates new threads; destruction closes without OnClose.
  {
    auto Other = std::make_unique<TVaComm>();
    Other->SetDeviceName(Pty.SlavePath());
    Other->SetSynchronizer(P.Sync);
    int OtherClosed = 0;
    Other->SetOnClose([&](TVaCustomComm*) { ++OtherClosed; });
    Other->Open();
    EXPECT_EQ(TVaCustomComm::RunningWorkers(), 2);
    const auto Start = std::chrono::steady_clock::now();
    Other.reset();
    EXPECT_GE(Since(Start), 300ms);
    EXPECT_EQ(OtherClosed, 0);
    EXPECT_TRUE(WorkersEnd(*P.Sync));
  }
  // AutoOpen: the after-loading step opens the port.
  Comm.Loaded();
  EXPECT_FALSE(Comm.Active());
  Comm.SetAutoOpen(true);
  Comm.SetOnOpen(nullptr);
  Comm.Loaded();
  EXPECT_TRUE(Comm.Active());
  // The fixture closes the port after this body has returned: the handler
  // must not refer to this body's counters then.
  Comm.SetOnClose(nullptr);
}

TEST_F(PortTest, PropertiesThatAnOpenPortRefuses) {
  Comm.Open();
  const std::string Path = Pty.SlavePath();
  EXPECT_EQ(CommErrorOf([&] { Comm.SetDeviceName("COM2"); }), SPortOpen);
  EXPECT_EQ(Comm.DeviceName(), Path);
  Comm.SetDeviceName(Path);  // the same name is no change
  EXPECT_EQ(CommErrorOf([&] { Comm.SetPortNum(4); }), SPortOpen);
  EXPECT_EQ(Comm.PortNum(), 0);
  EXPECT_EQ(CommErrorOf([&] { Comm.SetMonitorEvents({ceRxChar}); }), SPortOpen);
  EXPECT_EQ(Comm.MonitorEvents().ToBits(), 0xC8);
  EXPECT_EQ(CommErrorOf([&] { Comm.SetDirectWrite(true); }), SPortOpen);
  EXPECT_FALSE(Comm.DirectWrite());
  EXPECT_EQ(CommErrorOf([&] { Comm.SetUpdateDCB(false); }), SPortOpen);
  EXPECT_TRUE(Comm.UpdateDCB());
  TVaBuffers Other;
  Other.SetReadTimeout(77);
  EXPECT_EQ(CommErrorOf([&] { Comm.SetBuffers(Other); }), SPortOpen);
  EXPECT_EQ(Comm.Buffers().ReadTimeout(), 500);
  // Queue sizes and limits: stored, then refused; they apply at the next Open.
  EXPECT_EQ(CommErrorOf([&] { Comm.Buffers().SetReadSize(8192); }), SPortOpen);
  EXPECT_EQ(Comm.Buffers().ReadSize(), 8192);
  EXPECT_EQ(CommErrorOf([&] { Comm.Buffers().SetWriteSize(16); }), SPortOpen);
  EXPECT_EQ(Comm.Buffers().WriteSize(), 16);
  EXPECT_EQ(CommErrorOf([&] { Comm.Buffers().SetXonLimit(1); }), SPortOpen);
  EXPECT_EQ(CommErrorOf([&] { Comm.Buffers().SetXoffLimit(2); }), SPortOpen);
  EXPECT_EQ(Comm.Buffers().XoffLimit(), 2);
  // Time-outs: stored, used by the next read: it is over once 50 ms have
  // passed by the port's clock (the old 500 would keep it waiting).
  Comm.Buffers().SetReadTimeout(50);
  char Buf[4];
  {
    TTestClock Clock;
    TWhileWaiting While(Clock, 2, [&] { Clock.Advance(50); });
    EXPECT_EQ(Comm.ReadBuf(Buf, 4), 0);
    While.Returned();
    EXPECT_TRUE(While.ActedWhileWaiting());
    EXPECT_FALSE(While.Stuck());
  }
  EXPECT_TRUE(Comm.Active());

  // Closed, everything is stored.
  Comm.Close();
  Comm.SetPortNum(4);
  Comm.SetMonitorEvents({ceRxChar});
  Comm.SetUpdateDCB(false);
  Comm.SetBuffers(Other);
  Comm.SetDirectWrite(true);
  Comm.SetDeviceName("COM%d");
  EXPECT_EQ(Comm.DevicePath(), "COM4");
  EXPECT_EQ(Comm.Buffers().ReadTimeout(), 77);
  EXPECT_EQ(Comm.Buffers().WriteSize(), 2048);
  EXPECT_FALSE(Comm.UpdateDCB());
  EXPECT_TRUE(Comm.DirectWrite());
  EXPECT_EQ(Comm.MonitorEvents().ToBits(), 1u << ceRxChar);
}

TEST_F(PortTest, LineSettingsChangedWhileOpenReachTheDeviceAtOnce) {
  Comm.Open();
  const int Fd = Pty.Slave();
  Comm.SetBaudrate(br9600);
  EXPECT_EQ(ReadTtySettings(Fd).OSpeed, 9600u);
  EXPECT_EQ(Comm.UserBaudrate(), 0);
  // A pseudo-terminal keeps 8 data bits without parity whatever it is told
  // (the record itself is checked in the settings tests); the rest it keeps.
  Comm.SetParity(paEven);
  Comm.SetDatabits(db7);
  EXPECT_EQ(Comm.Parity(), paEven);
  EXPECT_EQ(Comm.Databits(), db7);
  Comm.SetStopbits(sb2);
  EXPECT_TRUE(ReadTtySettings(Fd).Cstopb);
  Comm.FlowControl().SetXonXoffOut(true);
  EXPECT_TRUE(ReadTtySettings(Fd).Ixon);
  Comm.FlowControl().SetOutCtsFlow(true);
  EXPECT_TRUE(ReadTtySettings(Fd).Crtscts);
  TVaFlowControl Plain;
  Comm.SetFlowControl(Plain);  // whole object: one write
  EXPECT_FALSE(ReadTtySettings(Fd).Ixon || ReadTtySettings(Fd).Crtscts);
  Comm.EventChars().SetXonChar(0x01);
  EXPECT_EQ(ReadTtySettings(Fd).VStart, 0x01);
  TVaEventChars Chars;
  Comm.SetEventChars(Chars);
  EXPECT_EQ(ReadTtySettings(Fd).VStart, 0x11);

  // The same user rate writes nothing: the rate set behind the component's
  // back stays. A different one is written at once.
  Comm.SetUserBaudrate(10400);
  EXPECT_EQ(ReadTtySettings(Fd).OSpeed, 10400u);
  SetTtySpeed(Fd, 1200);
  Comm.SetUserBaudrate(10400);
  EXPECT_EQ(ReadTtySettings(Fd).OSpeed, 1200u);
  Comm.SetUserBaudrate(4800);
  EXPECT_EQ(ReadTtySettings(Fd).OSpeed, 4800u);

  // A setting the device refuses raises; the value stays stored and the port
  // open with its previous state.
  Comm.SetBaudrate(br9600);
  EXPECT_EQ(CommErrorOf([&] { Comm.SetBaudrate(brUser); }), "Error writing dcb (22), Invalid argument");
  EXPECT_EQ(Comm.Baudrate(), brUser);
  EXPECT_EQ(Comm.BuildDCB().BaudRate, 0u);
  EXPECT_TRUE(Comm.Active());
  EXPECT_EQ(ReadTtySettings(Fd).OSpeed, 9600u);
  EXPECT_EQ(CommErrorOf([&] { Comm.SetDatabits(db4); }), "Error writing dcb (22), Invalid argument");
}

TEST_F(PortTest, WithoutUpdateDcbOpenLeavesTheDeviceStateAlone) {
  SetTtySpeed(Pty.Slave(), 1200);
  Comm.SetUpdateDCB(false);
  Comm.Open();
  EXPECT_EQ(ReadTtySettings(Pty.Slave()).OSpeed, 1200u);
  Comm.SetUserBaudrate(9600);  // nothing written either
  EXPECT_EQ(ReadTtySettings(Pty.Slave()).OSpeed, 1200u);
}

TEST_F(PortTest, ThreadPrioritiesAreGivenAndChangedWhileRunning) {
  if (geteuid() != 0) SKIP_OR_FAIL_IN_CI("raising a thread's priority needs CAP_SYS_NICE");
  const auto Count = [](int Nice) {
    int n = 0;
    for (int v : ThreadNiceValues()) n += v == Nice;
    return n;
  };
  const auto Becomes = [&](int Nice, int N) { return P.Sync->RunUntil([&] { return Count(Nice) == N; }); };
  Comm.Open();
  // The threads apply their priority as they start.
  EXPECT_TRUE(Becomes(-10, 1));  // the write thread at highest
  Comm.SetEventPriority(tpLower);
  EXPECT_TRUE(Becomes(5, 1));
  Comm.SetWritePriority(tpTimeCritical);
  EXPECT_TRUE(Becomes(-20, 1));
  EXPECT_EQ(Count(-10), 0);
}

TEST_F(PortTest, WithoutMonitoredEventsNoEventThreadRuns) {
  Comm.SetMonitorEvents({});
  int Calls = 0;
  Comm.SetOnRxChar([&](TVaCustomComm*, int) { ++Calls; });
  Comm.Open();
  EXPECT_EQ(Comm.EventMask(), 0u);
  EXPECT_EQ(TVaCustomComm::RunningWorkers(), 1);  // the write thread only
  Pty.Send("abc");
  ASSERT_TRUE(Pty.WaitInput(3, WaitBound));
  P.Sync->RunFor(150ms);
  EXPECT_EQ(Calls, 0);
  EXPECT_EQ(P.Sync->Pending() + P.Sync->Runs(), 0);
  EXPECT_EQ(Comm.InQueCount(), 3);
  Comm.Close();
  EXPECT_TRUE(WorkersEnd(*P.Sync));
  // With direct writes too, no thread at all, and no hand-over is needed.
  TVaComm Bare;
  Bare.SetDeviceName(Pty.SlavePath());
  Bare.SetMonitorEvents({});
  Bare.SetDirectWrite(true);
  Bare.Open();
  EXPECT_EQ(TVaCustomComm::RunningWorkers(), 0);
  char Buf[8];
  EXPECT_EQ(Bare.ReadBuf(Buf, 8), 3);
}

TEST_F(PortTest, BreakOnAPseudoTerminalIsAcceptedAndSendsNothing) {
  Comm.SetBreak(true);  // closed: nothing to do
  Comm.Open();
  Comm.SetBreak(true);
  Comm.SetBreak(false);
  const uint8_t Byte = 0x81;
  Comm.WriteBuf(&Byte, 1);
  // Only the byte written reaches the other end: no break character.
  EXPECT_EQ(ReceiveRunning(Pty, *P.Sync, 2, 300ms), std::vector<uint8_t>{0x81});
  Comm.Close();
  Comm.SetBreak(false);
}
