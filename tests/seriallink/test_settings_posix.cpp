// The device paths and error texts of the POSIX half: no device needed.
#include "vadevice.h"

#include <gtest/gtest.h>

using namespace vacomm_detail;

TEST(Settings, PlatformPathsAndShownNames) {
  struct {
    const char* Name;
    const char* Path;
  } const Cases[] = {
      // COM1 .. COM256 are the serial ports /dev/ttyS0 .. /dev/ttyS255.
      {"COM1", "/dev/ttyS0"},
      {"COM9", "/dev/ttyS8"},
      {"com2", "/dev/ttyS1"},
      {"COM256", "/dev/ttyS255"},
      // A path stands as it is; any other name is looked for in /dev.
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"/dev/serial/by-id/usb-FTDI-if00-port0", "/dev/serial/by-id/usb-FTDI-if00-port0"},
      {"ttyACM0", "/dev/ttyACM0"},
      {"COM0", "/dev/COM0"},
      {"COM01", "/dev/COM01"},
      {"COM257", "/dev/COM257"},
      {"COMX", "/dev/COMX"},
  };
  for (const auto& C : Cases) EXPECT_EQ(TVaDevice::PlatformPath(C.Name), C.Path) << C.Name;
  EXPECT_EQ(TVaDevice::ShownName("COM9"), "/dev/ttyS8 (COM9)");
  EXPECT_EQ(TVaDevice::ShownName("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

TEST(Settings, ErrorTextsAreBuiltSafely) {
  EXPECT_EQ(VaCommErrorText("Read error (%d), %s", 5), "Read error (5), Input/output error");
  EXPECT_EQ(VaCommErrorText(" Error setting EventMask (%d), %s", 22),
            " Error setting EventMask (22), Invalid argument");
  // Trailing blanks and full stops of the system text are removed.
  for (int Code = 1; Code < 40; ++Code) {
    const std::string T = VaSystemErrorText(Code);
    ASSERT_FALSE(T.empty());
    EXPECT_NE(T.back(), '.');
    EXPECT_GT(static_cast<unsigned char>(T.back()), 0x20);
  }
}
