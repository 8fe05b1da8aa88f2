// The device paths and error texts of the Win32 half: no device needed.
#include "dcb_win32.h"
#include "vadevice.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

using namespace vacomm_detail;

namespace {

// True when Text is well-formed UTF-8, as the system's own decoder sees it.
bool IsUtf8(const std::string& Text) {
  return Text.empty() ||
         MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), int(Text.size()), nullptr, 0) > 0;
}

std::string OpenError(const std::string& Path) {
  try {
    TVaDevice::Open(TVaDevice::PlatformPath(Path), TVaDevice::ShownName(Path));
  } catch (const EVaCommError& E) {
    return E.what();
  }
  return "(opened)";
}

}  // namespace

TEST(Win32Settings, PlatformPathsAndShownNames) {
  // COM names go through the device namespace (COM10 and above need it).
  EXPECT_EQ(TVaDevice::PlatformPath("COM1"), "\\\\.\\COM1");
  EXPECT_EQ(TVaDevice::PlatformPath("COM12"), "\\\\.\\COM12");
  EXPECT_EQ(TVaDevice::PlatformPath("com3"), "\\\\.\\com3");
  EXPECT_EQ(TVaDevice::PlatformPath("COM256"), "\\\\.\\COM256");
  // Other names, COM0 and COM257 among them, are used as they stand.
  for (const char* AsItStands :
       {"COM", "COMX", "COM1:", "COM0", "COM01", "COM257", "\\\\.\\COM5", "\\\\.\\pipe\\p", "LPT1"})
    EXPECT_EQ(TVaDevice::PlatformPath(AsItStands), AsItStands);
  EXPECT_EQ(TVaDevice::ShownName("COM9"), "COM9");
}

// The lane runs this under a Russian and an English user locale: the texts
// are the system's, in the user's language, as UTF-8.
TEST(Win32Settings, SystemErrorTextsAreUtf8WithoutTrailingBlanksOrFullStops) {
  bool NonAscii = false;
  // Codes that the serial link meets: file and device errors, parameter
  // errors, and those of overlapped transfers.
  for (int Code : {1, 2, 3, 5, 6, 21, 22, 31, 87, 121, 995, 996, 997, 1117, 1167}) {
    const std::string T = VaSystemErrorText(Code);
    ASSERT_FALSE(T.empty()) << Code;
    EXPECT_TRUE(IsUtf8(T)) << Code << ": " << T;
    EXPECT_NE(T.back(), '.') << Code;
    EXPECT_GT(static_cast<unsigned char>(T.back()), 0x20) << Code;
    for (char C : T) NonAscii |= static_cast<unsigned char>(C) >= 0x80;
  }
  if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_RUSSIAN) {
    EXPECT_TRUE(NonAscii) << "a Russian user locale gives Russian texts";
  }
  // The text is the whole of the system's message, not cut at a buffer.
  EXPECT_EQ(VaCommErrorText("Read error (%d), %s", 5), "Read error (5), " + VaSystemErrorText(5));
  EXPECT_EQ(VaCommErrorText(" Error setting EventMask (%d), %s", 87),
            " Error setting EventMask (87), " + VaSystemErrorText(87));
}

TEST(Win32Settings, OpenFailuresNameTheDeviceAndTheSystemError) {
  EXPECT_EQ(OpenError("COM9"), "Specified device not found (COM9).");
  EXPECT_EQ(OpenError("COM123"), "Specified device not found (COM123).");
  // A folder exists but is no device: "(Error %d, %s)" with the code and the
  // system's text for it.
  char Windows[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryA(Windows, MAX_PATH), 0u);
  const std::string Message = OpenError(Windows);
  const std::string Expected =
      std::string("Can't open specified device ") + Windows + " (Error 5, " + VaSystemErrorText(5) + ")";
  EXPECT_EQ(Message, Expected);
  EXPECT_TRUE(IsUtf8(Message));
}

// The record that SetCommState is given is the DCB of <windows.h>, field for
// field: our declaration of its layout is the system's.
TEST(Win32Settings, TheDcbRecordIsTheSystemsDcb) {
  static_assert(sizeof(DCB) == sizeof(TVaWin32Dcb));
  TVaDCB R;
  R.DCBlength = 28;
  R.BaudRate = 10400;
  R.fBinary = true;
  R.fOutxDsrFlow = true;
  R.fDtrControl = 2;
  R.fTXContinueOnXoff = true;
  R.fInX = true;
  R.fNull = true;
  R.fRtsControl = 3;
  R.XonLim = 0x1234;
  R.XoffLim = 0x5678;
  R.ByteSize = 7;
  R.Parity = 2;
  R.StopBits = 2;
  R.XonChar = 0x11;
  R.XoffChar = 0x13;
  R.ErrorChar = '?';
  R.EofChar = 0x1A;
  R.EvtChar = '\r';
  const TVaWin32Dcb Record = VaWin32Dcb(R);
  DCB D;
  std::memcpy(&D, &Record, sizeof D);
  EXPECT_EQ(D.DCBlength, 28u);
  EXPECT_EQ(D.BaudRate, 10400u);
  EXPECT_EQ(D.fBinary, 1u);
  EXPECT_EQ(D.fParity, 0u);
  EXPECT_EQ(D.fOutxCtsFlow, 0u);
  EXPECT_EQ(D.fOutxDsrFlow, 1u);
  EXPECT_EQ(D.fDtrControl, DWORD(DTR_CONTROL_HANDSHAKE));
  EXPECT_EQ(D.fDsrSensitivity, 0u);
  EXPECT_EQ(D.fTXContinueOnXoff, 1u);
  EXPECT_EQ(D.fOutX, 0u);
  EXPECT_EQ(D.fInX, 1u);
  EXPECT_EQ(D.fErrorChar, 0u);
  EXPECT_EQ(D.fNull, 1u);
  EXPECT_EQ(D.fRtsControl, DWORD(RTS_CONTROL_TOGGLE));
  EXPECT_EQ(D.fAbortOnError, 0u);
  EXPECT_EQ(D.XonLim, 0x1234);
  EXPECT_EQ(D.XoffLim, 0x5678);
  EXPECT_EQ(D.ByteSize, 7);
  EXPECT_EQ(D.Parity, EVENPARITY);
  EXPECT_EQ(D.StopBits, TWOSTOPBITS);
  EXPECT_EQ(D.XonChar, 0x11);
  EXPECT_EQ(D.XoffChar, 0x13);
  EXPECT_EQ(D.ErrorChar, '?');
  EXPECT_EQ(D.EofChar, 0x1A);
  EXPECT_EQ(D.EvtChar, '\r');
}
