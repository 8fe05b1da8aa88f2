// The device control block: the one record of a port's settings that is
// written to the device, built from the settings by a pure function. The
// platform halves turn it into their native records (dcb_win32.h: the Win32
// DCB; tty_linux.h: the Linux termios2 and the DTR and RTS lines).
#pragma once

#include "vasettings.h"

#include <cstdint>

// The fields and values of the Win32 DCB, as plain members.
struct TVaDCB {
  uint32_t DCBlength = 0;
  uint32_t BaudRate = 0;
  bool fBinary = false, fParity = false, fOutxCtsFlow = false, fOutxDsrFlow = false;
  uint8_t fDtrControl = 0;
  bool fDsrSensitivity = false, fTXContinueOnXoff = false, fOutX = false, fInX = false;
  bool fErrorChar = false, fNull = false;
  uint8_t fRtsControl = 0;
  bool fAbortOnError = false;
  uint16_t XonLim = 0, XoffLim = 0;
  uint8_t ByteSize = 0, Parity = 0, StopBits = 0;
  char XonChar = 0, XoffChar = 0, ErrorChar = 0, EofChar = 0, EvtChar = 0;
  friend bool operator==(const TVaDCB&, const TVaDCB&) = default;
};
constexpr uint32_t VA_DCB_LENGTH = 28;  // sizeof(DCB) on Windows

// The line settings of a port that its settings objects do not hold.
struct TVaLineSettings {
  TVaBaudrate Baudrate = br1200;
  int UserBaudrate = 0;  // the rate when Baudrate is brUser
  TVaParity Parity = paNone;
  TVaDatabits Databits = db8;
  TVaStopbits Stopbits = sb1;
  TVaCommOptions Options;
};

// The record that WriteDCB writes: every field zero, then DCBlength 28,
// the rate, binary mode, the options, the handshakes of Flow, the limits of
// Buffers (their low 16 bits), the character format and the characters of
// Chars. Never read back from the device.
TVaDCB VaBuildDCB(const TVaLineSettings& Line, const TVaFlowControl& Flow, const TVaEventChars& Chars,
                  const TVaBuffers& Buffers);
