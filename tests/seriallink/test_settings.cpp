// Settings objects, the settings record and the device path: no device needed.
#include "vacomm.h"

#include <gtest/gtest.h>

namespace {
// Expects F to raise EVaCommError with exactly Message.
template <typename F>
void ExpectCommError(F&& Call, const std::string& Message) {
  try {
    Call();
    ADD_FAILURE() << "no exception, expected: " << Message;
  } catch (const EVaCommError& E) {
    EXPECT_EQ(std::string(E.what()), Message);
  }
}
}  // namespace

TEST(Settings, DefaultsOfAFreshComponent) {
  TVaComm C;
  EXPECT_FALSE(C.Active());
  EXPECT_FALSE(C.AutoOpen());
  EXPECT_EQ(C.Baudrate(), br1200);
  EXPECT_EQ(C.UserBaudrate(), 0);
  EXPECT_EQ(C.Parity(), paNone);
  EXPECT_EQ(C.Databits(), db8);
  EXPECT_EQ(C.Stopbits(), sb1);
  EXPECT_TRUE(C.Options().Empty());
  EXPECT_EQ(C.PortNum(), 0);
  EXPECT_EQ(C.DeviceName(), "COM%d");
  EXPECT_EQ(C.MonitorEvents().ToBits(), 0xC8);
  EXPECT_EQ(C.EventPriority(), tpNormal);
  EXPECT_EQ(C.WritePriority(), tpHighest);
  EXPECT_FALSE(C.DirectWrite());
  EXPECT_TRUE(C.UpdateDCB());
  EXPECT_EQ(C.Buffers().ReadSize(), 4096);
  EXPECT_EQ(C.Buffers().WriteSize(), 2048);
  EXPECT_EQ(C.Buffers().ReadTimeout(), 1000);
  EXPECT_EQ(C.Buffers().WriteTimeout(), 1000);
  EXPECT_EQ(C.Buffers().XonLimit(), 1024);
  EXPECT_EQ(C.Buffers().XoffLimit(), 1024);
  EXPECT_EQ(C.EventChars().XonChar(), 0x11);
  EXPECT_EQ(C.EventChars().XoffChar(), 0x13);
  EXPECT_EQ(C.EventChars().ErrorChar(), 0);
  EXPECT_EQ(C.EventChars().EventChar(), 0);
  EXPECT_EQ(C.EventChars().EofChar(), 0);
  EXPECT_FALSE(C.FlowControl().OutCtsFlow());
  EXPECT_EQ(C.FlowControl().ControlDtr(), dtrDisabled);
  EXPECT_EQ(C.FlowControl().ControlRts(), rtsDisabled);
  // Closed: nothing to read, nothing to write, nothing raised.
  char Buf[4];
  EXPECT_EQ(C.ReadBuf(Buf, 4), 0);
  EXPECT_EQ(C.WriteBuf("ab", 2), 0);
  EXPECT_EQ(C.InQueCount(), 0);
}

TEST(Settings, RecordOfTheTesterWindowsPort) {
  TVaComm C;
  C.SetBaudrate(brUser);  // leaves UserBaudrate alone
  C.SetUserBaudrate(10400);
  const TVaDCB D = C.BuildDCB();
  EXPECT_EQ(D.DCBlength, 28u);
  EXPECT_EQ(D.BaudRate, 10400u);
  EXPECT_TRUE(D.fBinary);
  EXPECT_FALSE(D.fParity || D.fOutxCtsFlow || D.fOutxDsrFlow || D.fDsrSensitivity || D.fTXContinueOnXoff || D.fOutX ||
               D.fInX || D.fErrorChar || D.fNull || D.fAbortOnError);
  EXPECT_EQ(D.fDtrControl, 0);  // DTR_CONTROL_DISABLE
  EXPECT_EQ(D.fRtsControl, 0);  // RTS_CONTROL_DISABLE
  EXPECT_EQ(D.XonLim, 1024);
  EXPECT_EQ(D.XoffLim, 1024);
  EXPECT_EQ(D.ByteSize, 8);
  EXPECT_EQ(D.Parity, 0);
  EXPECT_EQ(D.StopBits, 0);
  EXPECT_EQ(D.XonChar, 0x11);
  EXPECT_EQ(D.XoffChar, 0x13);
  EXPECT_EQ(D.ErrorChar, 0);
  EXPECT_EQ(D.EofChar, 0);
  EXPECT_EQ(D.EvtChar, 0);
}

TEST(Settings, RecordFollowsEverySetting) {
  TVaComm C;
  C.SetBaudrate(br57600);
  C.SetParity(paMark);
  C.SetDatabits(db5);
  C.SetStopbits(sb15);
  C.SetOptions({coErrorChar, coNullStrip, coParityCheck});
  C.FlowControl().SetOutCtsFlow(true);
  C.FlowControl().SetOutDsrFlow(true);
  C.FlowControl().SetControlDtr(dtrHandshake);
  C.FlowControl().SetControlRts(rtsToggle);
  C.FlowControl().SetXonXoffOut(true);
  C.FlowControl().SetXonXoffIn(true);
  C.FlowControl().SetDsrSensitivity(true);
  C.FlowControl().SetTxContinueOnXoff(true);
  C.Buffers().SetXonLimit(0x12345);  // only the low 16 bits go into the record
  C.Buffers().SetXoffLimit(77);
  for (int i = 1; i <= 5; ++i) C.EventChars().SetChar(i, char(0x40 + i));
  const TVaDCB D = C.BuildDCB();
  EXPECT_EQ(D.BaudRate, 57600u);
  EXPECT_EQ(D.Parity, 3);
  EXPECT_EQ(D.ByteSize, 5);
  EXPECT_EQ(D.StopBits, 1);
  EXPECT_TRUE(D.fParity && D.fErrorChar && D.fNull && D.fOutxCtsFlow && D.fOutxDsrFlow && D.fOutX && D.fInX &&
              D.fDsrSensitivity && D.fTXContinueOnXoff);
  EXPECT_EQ(D.fDtrControl, 2);
  EXPECT_EQ(D.fRtsControl, 3);
  EXPECT_EQ(D.XonLim, 0x2345);
  EXPECT_EQ(D.XoffLim, 77);
  EXPECT_EQ(D.XonChar, 0x41);
  EXPECT_EQ(D.XoffChar, 0x42);
  EXPECT_EQ(D.ErrorChar, 0x43);
  EXPECT_EQ(D.EvtChar, 0x44);
  EXPECT_EQ(D.EofChar, 0x45);
  // Every named rate.
  const int Rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                       19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int i = 0; i < 15; ++i) {
    C.SetBaudrate(TVaBaudrate(br110 + i));
    EXPECT_EQ(C.BuildDCB().BaudRate, uint32_t(Rates[i]));
  }
}

TEST(Settings, BaudrateAndUserBaudrateAreCoupled) {
  TVaComm C;
  C.SetUserBaudrate(10400);
  EXPECT_EQ(C.Baudrate(), brUser);
  C.SetBaudrate(br9600);
  EXPECT_EQ(C.UserBaudrate(), 0);
  EXPECT_EQ(C.BuildDCB().BaudRate, 9600u);
  C.SetBaudrate(brUser);  // UserBaudrate stays 0
  EXPECT_EQ(C.UserBaudrate(), 0);
  EXPECT_EQ(C.BuildDCB().BaudRate, 0u);
  C.SetUserBaudrate(10400);
  EXPECT_EQ(C.BuildDCB().BaudRate, 10400u);
  // Setting the same user rate after a named rate was chosen does nothing at all.
  C.SetBaudrate(br19200);
  C.SetUserBaudrate(0);  // 0 is what is stored: no change, Baudrate stays
  EXPECT_EQ(C.Baudrate(), br19200);
  ExpectCommError([&] { C.SetUserBaudrate(-1); }, "Property value out of range (-1)");
  EXPECT_EQ(C.UserBaudrate(), 0);
}

TEST(Settings, ChangeNotificationsOfTheSettingsObjects) {
  int Notes = 0;
  TVaBuffers B;
  B.SetOnChange([&] { ++Notes; });
  B.SetReadSize(4096);  // same value: nothing
  EXPECT_EQ(Notes, 0);
  B.SetReadSize(100);
  B.SetWriteSize(200);
  B.SetXonLimit(5);
  B.SetXoffLimit(6);
  EXPECT_EQ(Notes, 4);
  B.SetReadTimeout(1);
  B.SetWriteTimeout(2);  // time-outs notify nobody
  EXPECT_EQ(Notes, 4);
  ExpectCommError([&] { B.SetWriteSize(-5); }, "Property value out of range (-5)");
  EXPECT_EQ(B.WriteSize(), 200);

  // BeginUpdate holds notifications back; EndUpdate gives one.
  B.BeginUpdate();
  B.BeginUpdate();
  B.SetReadSize(1);
  B.EndUpdate();
  EXPECT_EQ(Notes, 4);
  B.EndUpdate();
  EXPECT_EQ(Notes, 5);
  B.EndUpdate();  // not below 0; still notifies
  EXPECT_EQ(B.UpdateCount(), 0);
  EXPECT_EQ(Notes, 6);

  // Assigning a whole object copies every field and notifies once.
  TVaBuffers Other;
  Other.SetReadTimeout(321);
  B.Assign(Other);
  EXPECT_EQ(Notes, 7);
  EXPECT_EQ(B.ReadSize(), 4096);
  EXPECT_EQ(B.ReadTimeout(), 321);

  int FlowNotes = 0;
  TVaFlowControl F;
  F.SetOnChange([&] { ++FlowNotes; });
  F.SetXonXoffIn(false);  // unchanged
  F.SetXonXoffIn(true);
  F.SetControlRts(rtsHandshake);
  EXPECT_EQ(FlowNotes, 2);

  int CharNotes = 0;
  TVaEventChars E;
  E.SetOnChange([&] { ++CharNotes; });
  E.SetXonChar(0x11);  // equal, notifies all the same
  E.SetEofChar(0x1A);
  EXPECT_EQ(CharNotes, 2);
  EXPECT_EQ(E.Char(5), 0x1A);
  ExpectCommError([&] { E.SetChar(6, 'x'); }, "Invalid character index (6)");
  ExpectCommError([&] { E.SetChar(0, 'x'); }, "Invalid character index (0)");
}

TEST(Settings, DevicePathFromNameAndPortNumber) {
  TVaComm C;
  C.SetPortNum(3);
  EXPECT_EQ(C.DevicePath(), "COM3");  // "COM%d"
  C.SetDeviceName("COM1");
  EXPECT_EQ(C.DevicePath(), "COM1");  // no placeholder: PortNum plays no part
  C.SetDeviceName("/dev/ttyUSB%d");
  EXPECT_EQ(C.DevicePath(), "/dev/ttyUSB3");
  // Only one integer argument; other % sequences are taken literally and
  // never read as format directives.
  C.SetDeviceName("a%db%dc%s%%");
  EXPECT_EQ(C.DevicePath(), "a3b%dc%s%");
}

TEST(Settings, EventMaskOfMonitoredEvents) {
  EXPECT_EQ(VaEventMask({ceError, ceRxChar, ceTxEmpty}), VA_EV_ERR | VA_EV_RXCHAR | VA_EV_TXEMPTY);
  EXPECT_EQ(VaEventMask({}), 0u);
  EXPECT_EQ(VaEventMask({ceBreak, ceCts, ceDsr, ceRing, ceRlsd, ceRxFlag, cePErr, ceRx80Full, ceEvent1, ceEvent2}),
            0x1F7Au);
}
