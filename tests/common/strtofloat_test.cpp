// Parsing of typed numbers, rounding and hex texts.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "numtext.h"

namespace {

class SeparatorTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetDecimalSeparator(',');
    SetThousandSeparator("\xC2\xA0");
  }
  void TearDown() override {
    SetDecimalSeparator('.');
    SetThousandSeparator(",");
  }
};

// The conversion error's message, or "accepted" when there was none.
template <typename F>
std::string MessageOf(F Convert) {
  try {
    Convert();
  } catch (const EConvertError& E) {
    return E.what();
  }
  return "accepted";
}

std::string FloatMessage(const std::string& S) {
  return MessageOf([&] { StrToFloat(S); });
}

std::string IntMessage(const std::string& S) {
  return MessageOf([&] { StrToInt(S); });
}

using StrToFloatTest = SeparatorTest;

TEST_F(StrToFloatTest, AcceptsBlanksSignDigitsSeparatorAndExponent) {
  EXPECT_EQ(StrToFloat("12,00"), 12.0L);
  EXPECT_EQ(StrToFloat("  2,5  "), 2.5L);
  EXPECT_EQ(StrToFloat("-0,75"), -0.75L);
  EXPECT_EQ(StrToFloat("+3"), 3.0L);
  EXPECT_EQ(StrToFloat(",5"), 0.5L);
  EXPECT_EQ(StrToFloat("5,"), 5.0L);
  EXPECT_EQ(StrToFloat("1,5E3"), 1500.0L);
  EXPECT_EQ(StrToFloat("25e-1"), 2.5L);
  EXPECT_EQ(StrToFloat("1E+2"), 100.0L);
  // The nearest extended-precision value, not the double one.
  EXPECT_EQ(StrToFloat("17,9"), 17.9L);
  EXPECT_NE(StrToFloat("17,9"), static_cast<long double>(17.9));
  EXPECT_EQ(StrToFloat("208,1"), 208.1L);
}

TEST_F(StrToFloatTest, RefusesOtherTextsWithTheExactMessage) {
  for (const char* Text : {"", " ", "abc", "12.5", "1 000", "1,2,3", "1e", "1e+", "-", "+,", ",", "12,5x", "x12",
                           "1e5.5", "--1", "0x10", "nan", "inf", "\t1"}) {
    EXPECT_EQ(FloatMessage(Text), std::string("'") + Text + "' is not a valid floating point value") << Text;
  }
}

TEST_F(StrToFloatTest, RefusesOverflowAndReadsUnderflowAsZero) {
  EXPECT_EQ(FloatMessage("1e5000"), "'1e5000' is not a valid floating point value");
  EXPECT_EQ(FloatMessage("-1e99999999999999999999"), "'-1e99999999999999999999' is not a valid floating point value");
  EXPECT_EQ(StrToFloat("1e-5000"), 0.0L);
  EXPECT_EQ(StrToFloat("0e99999999999"), 0.0L);
  EXPECT_EQ(StrToFloat("1e4000"), 1e4000L);
}

// Texts whose codes fall on an exact half of a count when read in extended
// precision: read through double (0.1 as 0.1000000000000000055511...) they
// round the other way. The same on every platform.
TEST_F(StrToFloatTest, ReadsTheNearestExtendedValueSoHalvesRoundAsOnLinux) {
  EXPECT_EQ(StrToFloat("0,1"), 0.1L);
  EXPECT_NE(StrToFloat("0,1"), static_cast<long double>(0.1));
  EXPECT_EQ(StrToFloat("-0,1e-2"), -0.001L);
  struct {
    const char* Text;
    long double Value;
    long double FullScale;
    long long Code;
  } const Halves[] = {
      {"5,37", 5.37L, 17.9L, 76},        // EditUbat: 76.5 -> 76 (4C)
      {"8,95", 8.95L, 17.9L, 128},       // EditUbat: 127.5 -> 128
      {"16,11", 16.11L, 17.9L, 230},     // EditUbat: just above 229.5 -> 230
      {"104,05", 104.05L, 208.1L, 128},  // EditDv: 127.5 -> 128
  };
  for (const auto& H : Halves) {
    const long double V = StrToFloat(H.Text);
    EXPECT_EQ(V, H.Value) << H.Text;
    EXPECT_EQ(RoundHalfEven(V * 255 / H.FullScale), H.Code) << H.Text;
  }
  // The extended range: accepted as on Linux with its 80-bit long double.
  EXPECT_EQ(StrToFloat("1e4000"), 1e4000L);
  EXPECT_EQ(StrToFloat("-1,5e-4940"), 0.0L);  // below the normal range: zero, as on Linux
  EXPECT_EQ(StrToFloat("123456789012345678901234567890"), 123456789012345678901234567890.0L);
}

TEST(StrToFloatPoint, FollowsThePointSeparator) {
  SetDecimalSeparator('.');
  EXPECT_EQ(StrToFloat("12.5"), 12.5L);
  EXPECT_EQ(FloatMessage("12,5"), "'12,5' is not a valid floating point value");
}

TEST(StrToInt, AcceptsLeadingBlanksSignAndDigitsOnly) {
  EXPECT_EQ(StrToInt("20"), 20);
  EXPECT_EQ(StrToInt("  -40"), -40);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("2147483647"), INT_MAX);
  EXPECT_EQ(StrToInt("-2147483648"), INT_MIN);
  for (const char* Text : {"", " ", "-", "20,5", "20.5", "1e2", "20 ", "2 0", "abc", "2147483648", "-2147483649",
                           "99999999999999999999", "$1F", "0x1F"}) {
    EXPECT_EQ(IntMessage(Text), std::string("'") + Text + "' is not a valid integer value") << Text;
  }
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(2.5L), 2);
  EXPECT_EQ(RoundHalfEven(3.5L), 4);
  EXPECT_EQ(RoundHalfEven(-2.5L), -2);
  EXPECT_EQ(RoundHalfEven(-3.5L), -4);
  EXPECT_EQ(RoundHalfEven(0.5L), 0);
  EXPECT_EQ(RoundHalfEven(-0.5L), 0);
  EXPECT_EQ(RoundHalfEven(25.5L), 26);
  EXPECT_EQ(RoundHalfEven(76.5L), 76);
  EXPECT_EQ(RoundHalfEven(2.5000000001L), 3);
  EXPECT_EQ(RoundHalfEven(-1.4L), -1);
  EXPECT_EQ(RoundHalfEven(170.949L), 171);
  // In extended precision 12 * 255 / 17.9 is not a tie and 32767.5 is one.
  EXPECT_EQ(RoundHalfEven(200 * 65535.0L / 256), 51199);
  EXPECT_EQ(RoundHalfEven(128 * 65535.0L / 256), 32768);
}

TEST(RoundHalfEven, SaturatesBeyondThe64BitRange) {
  EXPECT_EQ(RoundHalfEven(1e30L), LLONG_MAX);
  EXPECT_EQ(RoundHalfEven(-1e30L), LLONG_MIN);
  EXPECT_EQ(RoundHalfEven(std::numeric_limits<long double>::infinity()), LLONG_MAX);
  EXPECT_EQ(RoundHalfEven(-std::numeric_limits<long double>::infinity()), LLONG_MIN);
  EXPECT_EQ(RoundHalfEven(std::numeric_limits<long double>::quiet_NaN()), 0);
  // 2^63 - 1 is exact in extended precision and still fits.
  EXPECT_EQ(RoundHalfEven(9223372036854775807.0L), LLONG_MAX);
  EXPECT_EQ(RoundHalfEven(-9223372036854775807.0L), -LLONG_MAX);
  EXPECT_EQ(RoundHalfEven(9223372036854775808.0L), LLONG_MAX);
  EXPECT_EQ(RoundHalfEven(-9223372036854775808.0L), LLONG_MIN);
  EXPECT_EQ(RoundHalfEven(4611686018427387904.5L), 4611686018427387904LL);
}

TEST(IntToHex, UpperCaseZeroPaddedAndTwosComplementForNegatives) {
  EXPECT_EQ(IntToHex(0, 2), "00");
  EXPECT_EQ(IntToHex(0xAB, 2), "AB");
  EXPECT_EQ(IntToHex(5, 2), "05");
  EXPECT_EQ(IntToHex(256, 2), "100");
  EXPECT_EQ(IntToHex(0x1F, 4), "001F");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(LLONG_MIN, 2), "8000000000000000");
}

TEST(HexPairToInt, ReadsBothCasesAndRefusesOthers) {
  EXPECT_EQ(HexPairToInt("8f"), 0x8F);
  EXPECT_EQ(HexPairToInt("C1"), 0xC1);
  EXPECT_EQ(HexPairToInt("00"), 0);
  for (const char* Pair : {"G1", "1-", " 1", "", "123", "x"})
    EXPECT_EQ(MessageOf([&] { HexPairToInt(Pair); }), std::string("'") + Pair + "' is not a valid integer value");
}

}  // namespace
