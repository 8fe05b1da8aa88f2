// The settings as the Linux record, without a device: settings, through the
// settings record, to the termios2 that the terminal is given and the
// states of its DTR and RTS lines. (termios2 comes from the kernel's header,
// which clashes with <termios.h>: this file includes nothing that brings it.)
#include "tty_linux.h"

#include <asm/termbits.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

using namespace vacomm_detail;

namespace {

struct TSettings {
  TVaLineSettings Line;
  TVaFlowControl Flow;
  TVaEventChars Chars;
  TVaBuffers Buffers;
  // The tester window's port.
  TSettings() {
    Line.Baudrate = brUser;
    Line.UserBaudrate = 10400;
  }
};

// The flags that the settings decide; the rest of c_cflag is the same for
// every record (CREAD, CLOCAL, BOTHER for both directions).
constexpr tcflag_t FormatBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

}  // namespace

TEST(TtyRecord, TheKLinePortIsRaw10400Baud8N1WithDtrAndRtsOff) {
  TSettings S;
  struct termios2 T;
  TVaModemLines Lines;
  Lines.Dtr = Lines.Rts = true;
  ASSERT_EQ(VaTtyRecord(VaBuildDCB(S.Line, S.Flow, S.Chars, S.Buffers), T, Lines), 0);
  EXPECT_EQ(T.c_cflag, tcflag_t(CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT)));
  EXPECT_EQ(T.c_ispeed, 10400u);
  EXPECT_EQ(T.c_ospeed, 10400u);
  // Raw: no input processing but IGNBRK (a fast-init break puts nothing
  // into the queue), no output processing, no echo, no line editing.
  EXPECT_EQ(T.c_iflag, tcflag_t(IGNBRK));
  EXPECT_EQ(T.c_oflag, 0u);
  EXPECT_EQ(T.c_lflag, 0u);
  EXPECT_EQ(T.c_cc[VSTART], 0x11);
  EXPECT_EQ(T.c_cc[VSTOP], 0x13);
  EXPECT_EQ(T.c_cc[VMIN], 0);
  EXPECT_EQ(T.c_cc[VTIME], 0);
  EXPECT_FALSE(Lines.Dtr);
  EXPECT_FALSE(Lines.Rts);
}

TEST(TtyRecord, EverySettingByTable) {
  struct {
    const char* What;
    std::function<void(TSettings&)> Set;
    int Error;
    tcflag_t Format;  // c_cflag & FormatBits
    tcflag_t Input;   // c_iflag
    unsigned Speed;
    bool Dtr, Rts;
  } const Cases[] = {
      {"K-line", [](TSettings&) {}, 0, CS8, IGNBRK, 10400, false, false},
      {"br9600", [](TSettings& S) { S.Line.Baudrate = br9600; }, 0, CS8, IGNBRK, 9600, false, false},
      {"br256000", [](TSettings& S) { S.Line.Baudrate = br256000; }, 0, CS8, IGNBRK, 256000, false, false},
      {"db5", [](TSettings& S) { S.Line.Databits = db5; }, 0, CS5, IGNBRK, 10400, false, false},
      {"db6", [](TSettings& S) { S.Line.Databits = db6; }, 0, CS6, IGNBRK, 10400, false, false},
      {"db7", [](TSettings& S) { S.Line.Databits = db7; }, 0, CS7, IGNBRK, 10400, false, false},
      {"paOdd", [](TSettings& S) { S.Line.Parity = paOdd; }, 0, CS8 | PARENB | PARODD, IGNBRK, 10400, false, false},
      {"paEven", [](TSettings& S) { S.Line.Parity = paEven; }, 0, CS8 | PARENB, IGNBRK, 10400, false, false},
      {"paMark", [](TSettings& S) { S.Line.Parity = paMark; }, 0, CS8 | PARENB | CMSPAR | PARODD, IGNBRK, 10400, false,
       false},
      {"paSpace", [](TSettings& S) { S.Line.Parity = paSpace; }, 0, CS8 | PARENB | CMSPAR, IGNBRK, 10400, false, false},
      {"sb2", [](TSettings& S) { S.Line.Stopbits = sb2; }, 0, CS8 | CSTOPB, IGNBRK, 10400, false, false},
      // 1.5 stop bits: what a UART sends for CSTOPB with 5 data bits only.
      {"sb15 db5",
       [](TSettings& S) {
         S.Line.Stopbits = sb15;
         S.Line.Databits = db5;
       },
       0, CS5 | CSTOPB, IGNBRK, 10400, false, false},
      {"coParityCheck", [](TSettings& S) { S.Line.Options = {coParityCheck}; }, 0, CS8, IGNBRK | INPCK, 10400, false,
       false},
      {"XonXoffOut", [](TSettings& S) { S.Flow.SetXonXoffOut(true); }, 0, CS8, IGNBRK | IXON, 10400, false, false},
      {"XonXoffIn", [](TSettings& S) { S.Flow.SetXonXoffIn(true); }, 0, CS8, IGNBRK | IXOFF, 10400, false, false},
      {"OutCtsFlow", [](TSettings& S) { S.Flow.SetOutCtsFlow(true); }, 0, CS8 | CRTSCTS, IGNBRK, 10400, false, false},
      // DTR: on unless disabled.
      {"dtrEnabled", [](TSettings& S) { S.Flow.SetControlDtr(dtrEnabled); }, 0, CS8, IGNBRK, 10400, true, false},
      {"dtrHandshake", [](TSettings& S) { S.Flow.SetControlDtr(dtrHandshake); }, 0, CS8, IGNBRK, 10400, true, false},
      // RTS: on when enabled or for the handshake (which is CRTSCTS); off
      // when disabled, and idle off in toggle mode.
      {"rtsEnabled", [](TSettings& S) { S.Flow.SetControlRts(rtsEnabled); }, 0, CS8, IGNBRK, 10400, false, true},
      {"rtsHandshake", [](TSettings& S) { S.Flow.SetControlRts(rtsHandshake); }, 0, CS8 | CRTSCTS, IGNBRK, 10400, false,
       true},
      {"rtsToggle", [](TSettings& S) { S.Flow.SetControlRts(rtsToggle); }, 0, CS8, IGNBRK, 10400, false, false},
      {"both lines",
       [](TSettings& S) {
         S.Flow.SetControlDtr(dtrEnabled);
         S.Flow.SetControlRts(rtsEnabled);
       },
       0, CS8, IGNBRK, 10400, true, true},
      // What Linux cannot express.
      {"db4", [](TSettings& S) { S.Line.Databits = db4; }, EINVAL, 0, 0, 0, false, false},
      {"sb15 db8", [](TSettings& S) { S.Line.Stopbits = sb15; }, EINVAL, 0, 0, 0, false, false},
      {"rate 0", [](TSettings& S) { S.Line.UserBaudrate = 0; }, EINVAL, 0, 0, 0, false, false},
  };
  for (const auto& C : Cases) {
    TSettings S;
    C.Set(S);
    struct termios2 T;
    TVaModemLines Lines;
    const int Error = VaTtyRecord(VaBuildDCB(S.Line, S.Flow, S.Chars, S.Buffers), T, Lines);
    EXPECT_EQ(Error, C.Error) << C.What;
    if (Error != 0 || C.Error != 0) continue;
    EXPECT_EQ(T.c_cflag & FormatBits, C.Format) << C.What;
    EXPECT_EQ(T.c_cflag & ~FormatBits, tcflag_t(CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT))) << C.What;
    EXPECT_EQ(T.c_iflag, C.Input) << C.What;
    EXPECT_EQ(T.c_ispeed, C.Speed) << C.What;
    EXPECT_EQ(T.c_ospeed, C.Speed) << C.What;
    EXPECT_EQ(Lines.Dtr, C.Dtr) << C.What;
    EXPECT_EQ(Lines.Rts, C.Rts) << C.What;
  }
}

TEST(TtyRecord, TheXonAndXoffCharactersAreTheSettings) {
  TSettings S;
  S.Chars.SetXonChar(0x01);
  S.Chars.SetXoffChar(char(0xFE));
  struct termios2 T;
  TVaModemLines Lines;
  ASSERT_EQ(VaTtyRecord(VaBuildDCB(S.Line, S.Flow, S.Chars, S.Buffers), T, Lines), 0);
  EXPECT_EQ(T.c_cc[VSTART], 0x01);
  EXPECT_EQ(T.c_cc[VSTOP], 0xFE);
}
