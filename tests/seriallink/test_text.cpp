// The rules of texts and names that both platform halves share: the one
// "%" substitution of messages and device names, the trimming of system
// error texts, and which names are numbered COM ports.
#include "vaportname.h"
#include "vatext.h"

#include <gtest/gtest.h>

using namespace vacomm_detail;

TEST(Texts, SubstitutionOfMessagesAndDeviceNames) {
  struct {
    const char* Format;
    std::initializer_list<TVaFormatArg> Args;
    const char* Expected;
  } const Cases[] = {
      // Messages: the code, then the system's text.
      {"Read error (%d), %s", {VaIntArg(5), VaTextArg("Input/output error")}, "Read error (5), Input/output error"},
      {" Error setting EventMask (%d), %s", {VaIntArg(-22), VaTextArg("x")}, " Error setting EventMask (-22), x"},
      {"Specified device not found (%s).", {VaTextArg("COM9")}, "Specified device not found (COM9)."},
      // An argument is inserted as it stands, never read as a format text.
      {"Specified device not found (%s).", {VaTextArg("/dev/%s%d%n%%")}, "Specified device not found (/dev/%s%d%n%%)."},
      // Device names: the port number is the one integer argument.
      {"COM%d", {VaIntArg(2)}, "COM2"},
      {"COM1", {VaIntArg(2)}, "COM1"},
      {"/dev/ttyUSB%d", {VaIntArg(0)}, "/dev/ttyUSB0"},
      // Only one argument: a second %d stays; a %s does not take a number.
      {"a%db%dc%s%%", {VaIntArg(3)}, "a3b%dc%s%"},
      {"a%sb%d", {VaIntArg(3)}, "a%sb3"},
      // "%%" is one "%", and what it is followed by is plain text.
      {"%%d", {VaIntArg(7)}, "%d"},
      {"100%", {}, "100%"},
      {"%x%", {VaIntArg(1)}, "%x%"},
      {"%d %d", {}, "%d %d"},
      // Arguments beyond the directives are left out.
      {"%s", {VaTextArg("one"), VaTextArg("two")}, "one"},
      {"", {VaTextArg("one")}, ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(VaSubstitute(C.Format, C.Args), C.Expected) << C.Format;
}

TEST(Texts, SystemErrorTextsLoseTrailingBlanksLineEndsAndFullStops) {
  struct {
    std::string Text, Expected;
  } const Cases[] = {
      {"Input/output error", "Input/output error"},
      // FormatMessage ends its texts with a full stop and CR LF.
      {"Access is denied.\r\n", "Access is denied"},
      {"The parameter is incorrect. \r\n", "The parameter is incorrect"},
      {"Wait...\t\n", "Wait"},
      {std::string("Nul\0", 4), "Nul"},
      // Only the end: dots and blanks inside stay.
      {"A. B\r\nC", "A. B\r\nC"},
      // A Russian text in UTF-8 keeps its last letter (bytes above 0x7F).
      {"\xD0\x9E\xD1\x82\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xB0\xD0\xBD\xD0\xBE \xD0\xB2 "
       "\xD0\xB4\xD0\xBE\xD1\x81\xD1\x82\xD1\x83\xD0\xBF\xD0\xB5.\r\n",
       "\xD0\x9E\xD1\x82\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xB0\xD0\xBD\xD0\xBE \xD0\xB2 "
       "\xD0\xB4\xD0\xBE\xD1\x81\xD1\x82\xD1\x83\xD0\xBF\xD0\xB5"},
      {". \r\n", ""},
      {"", ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(VaTrimSystemText(C.Text), C.Expected) << C.Text;
}

TEST(Names, NumberedComPortsAreCom1ToCom256) {
  struct {
    const char* Name;
    int Number;  // 0: not a numbered COM port
  } const Cases[] = {
      {"COM1", 1},  {"COM9", 9},        {"COM10", 10},     {"COM99", 99}, {"COM256", 256}, {"com2", 2},  {"Com3", 3},
      {"cOM4", 4},  {"COM0", 0},        {"COM257", 0},     {"COM999", 0}, {"COM1000", 0},  {"COM01", 0}, {"COM007", 0},
      {"COM", 0},   {"COMX", 0},        {"COM1:", 0},      {"COM 1", 0},  {"COM-1", 0},    {"COM+1", 0}, {"LPT1", 0},
      {"XCOM1", 0}, {"\\\\.\\COM5", 0}, {"/dev/ttyS0", 0}, {"", 0},
  };
  for (const auto& C : Cases) {
    int Number = -1;
    EXPECT_EQ(VaComPortNumber(C.Name, Number), C.Number != 0) << C.Name;
    if (C.Number != 0) {
      EXPECT_EQ(Number, C.Number) << C.Name;
    }
  }
}
