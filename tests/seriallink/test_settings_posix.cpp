// The device paths and error texts of the POSIX half: no device needed.
#include "vadevice.h"

#include <gtest/gtest.h>

using namespace vacomm_detail;

TEST(Settings, PlatformPathsAndShownNames) {
  EXPECT_EQ(TVaDevice::PlatformPath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(TVaDevice::PlatformPath("COM9"), "/dev/ttyS8");
  EXPECT_EQ(TVaDevice::PlatformPath("com2"), "/dev/ttyS1");
  EXPECT_EQ(TVaDevice::PlatformPath("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(TVaDevice::PlatformPath("ttyACM0"), "/dev/ttyACM0");
  EXPECT_EQ(TVaDevice::PlatformPath("COM0"), "/dev/COM0");
  EXPECT_EQ(TVaDevice::PlatformPath("COMX"), "/dev/COMX");
  EXPECT_EQ(TVaDevice::ShownName("COM9"), "/dev/ttyS8 (COM9)");
  EXPECT_EQ(TVaDevice::ShownName("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

TEST(Settings, ErrorTextsAreBuiltSafely) {
  EXPECT_EQ(VaCommErrorText("Read error (%d), %s", 5), "Read error (5), Input/output error");
  EXPECT_EQ(VaCommErrorText(" Error setting EventMask (%d), %s", 22),
            " Error setting EventMask (22), Invalid argument");
  // A substituted text that itself holds % directives stays as it is.
  EXPECT_EQ(VaSubstitute("Specified device not found (%s).", {"/dev/%s%d%n"}),
            "Specified device not found (/dev/%s%d%n).");
  // Trailing blanks and full stops of the system text are removed.
  for (int Code = 1; Code < 40; ++Code) {
    const std::string T = VaSystemErrorText(Code);
    ASSERT_FALSE(T.empty());
    EXPECT_NE(T.back(), '.');
    EXPECT_GT(static_cast<unsigned char>(T.back()), 0x20);
  }
}
