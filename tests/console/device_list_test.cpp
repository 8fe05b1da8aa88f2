// The COM port dialog's entries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "device_list.h"

namespace {

class TempDev {
public:
  TempDev() {
    char Template[] = "/tmp/console-dev-XXXXXX";
    Root = mkdtemp(Template);
  }
  ~TempDev() { std::filesystem::remove_all(Root); }
  void Touch(const std::string& Name) {
    std::filesystem::create_directories((Root / Name).parent_path());
    std::ofstream(Root / Name).put('\n');
  }
  std::string operator/(const std::string& Name) const { return (Root / Name).string(); }
  std::filesystem::path Root;
};

const std::vector<std::string> ComPorts = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};

std::vector<std::string> Concat(std::vector<std::string> A, const std::vector<std::string>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

}  // namespace

TEST(DeviceList, ListsUsbAdaptersInNumericOrderAfterTheComPorts) {
  TempDev Dev;
  for (const char* Name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "tty", "null",
                           "serial/by-id/usb-FTDI_B-if00-port0", "serial/by-id/usb-FTDI_A-if00-port0"})
    Dev.Touch(Name);
  const std::vector<std::string> Adapters = SerialAdapterNames(Dev.Root);
  const std::vector<std::string> Expected = {Dev / "ttyUSB2", Dev / "ttyUSB10", Dev / "ttyACM0",
                                             Dev / "serial/by-id/usb-FTDI_A-if00-port0",
                                             Dev / "serial/by-id/usb-FTDI_B-if00-port0"};
  EXPECT_EQ(Adapters, Expected);

  const TPortChoice Choice = ComPortChoice(Adapters, std::nullopt);
  EXPECT_EQ(Choice.Names, Concat(ComPorts, Expected));
  EXPECT_EQ(Choice.Selected, 0);

  // No adapters, no by-id folder: only the COM ports.
  TempDev Empty;
  EXPECT_TRUE(SerialAdapterNames(Empty.Root).empty());
  EXPECT_TRUE(SerialAdapterNames(Empty.Root / "missing").empty());
}

TEST(DeviceList, TheDeviceArgumentIsAddedOnceAndSelected) {
  const std::vector<std::string> Adapters = {"/dev/ttyUSB0"};
  struct TCase {
    const char* Argument;
    int Count, Selected;
  } Cases[] = {
      {"/dev/pts/7", 10, 9},   // new: added at the end
      {"/dev/ttyUSB0", 9, 8},  // already listed: selected, not repeated
      {"COM3", 9, 2},          // a COM port of the list
      {"COM12", 10, 9},        // a COM port beyond the list
  };
  for (const TCase& C : Cases) {
    const TPortChoice Choice = ComPortChoice(Adapters, std::string(C.Argument));
    EXPECT_EQ(static_cast<int>(Choice.Names.size()), C.Count) << C.Argument;
    EXPECT_EQ(Choice.Selected, C.Selected) << C.Argument;
    EXPECT_EQ(Choice.Names[Choice.Selected], C.Argument);
    EXPECT_EQ(Choice.Names.front(), "COM1");
  }
}
