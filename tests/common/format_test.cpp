// Display patterns, fixed-decimal texts and whole-number texts.

#include <gtest/gtest.h>

#include <limits>

#include "numtext.h"

namespace {

const std::string Nbsp = "\xC2\xA0";

class CommaFormat : public ::testing::Test {
protected:
  void SetUp() override {
    SetDecimalSeparator(',');
    SetThousandSeparator(Nbsp);
  }
  void TearDown() override {
    SetDecimalSeparator('.');
    SetThousandSeparator(",");
  }
};

TEST_F(CommaFormat, GaugePatternsRoundHalvesAwayFromZero) {
  EXPECT_EQ(FormatFloat("##0", 0), "0");
  EXPECT_EQ(FormatFloat("##0", 2.5L), "3");
  EXPECT_EQ(FormatFloat("##0", 3.5L), "4");
  EXPECT_EQ(FormatFloat("##0", 249.4L), "249");
  EXPECT_EQ(FormatFloat("##0", 1234), "1234");  // more digits than places
  EXPECT_EQ(FormatFloat("##0", -40), "-40");
  EXPECT_EQ(FormatFloat("##0", -2.5L), "-3");
  EXPECT_EQ(FormatFloat("##0", -0.4L), "0");  // no "-0"
  EXPECT_EQ(FormatFloat("####0", 10000), "10000");
  EXPECT_EQ(FormatFloat("####0", 7.5L), "8");
  EXPECT_EQ(FormatFloat("##0.0", 12), "12,0");
  EXPECT_EQ(FormatFloat("##0.0", 0.05L), "0,1");
  EXPECT_EQ(FormatFloat("##0.00", 0), "0,00");
  EXPECT_EQ(FormatFloat("##0.00", 0.125L), "0,13");
  EXPECT_EQ(FormatFloat("##0.00", 3.275f), "3,28");
  EXPECT_EQ(FormatFloat("##0.00", 24.999L), "25,00");
  EXPECT_EQ(FormatFloat("##0.00", 99.995L), "100,00");
  // Scale labels of a 0..255 slider in steps of 31.875.
  EXPECT_EQ(FormatFloat("#0", 31.875L), "32");
  EXPECT_EQ(FormatFloat("#0", 223.125L), "223");
  EXPECT_EQ(FormatFloat("#0", 127.5L), "128");
  EXPECT_EQ(FormatFloat("#0", 0), "0");
}

TEST_F(CommaFormat, OptionalPlacesLiteralsAndGrouping) {
  EXPECT_EQ(FormatFloat("#", 0), "");
  EXPECT_EQ(FormatFloat("#.##", 0.5L), ",5");
  EXPECT_EQ(FormatFloat("0.0#", 1.5L), "1,5");
  EXPECT_EQ(FormatFloat("0.0#", 1.256L), "1,26");
  EXPECT_EQ(FormatFloat("0.#", 1), "1");
  EXPECT_EQ(FormatFloat("000", 7), "007");
  EXPECT_EQ(FormatFloat("#,##0", 1234567), "1" + Nbsp + "234" + Nbsp + "567");
  EXPECT_EQ(FormatFloat("#,##0", 999), "999");
  EXPECT_EQ(FormatFloat("0 'km/h'", 12), "12 km/h");
  EXPECT_EQ(FormatFloat("\"#\"0", 5), "#5");
  EXPECT_EQ(FormatFloat("'0;'0", 5), "0;5");
}

TEST_F(CommaFormat, SectionsForNegativeAndZeroValues) {
  EXPECT_EQ(FormatFloat("0.0;(0.0)", -1.25L), "(1,3)");
  EXPECT_EQ(FormatFloat("0.0;(0.0)", 1.25L), "1,3");
  EXPECT_EQ(FormatFloat("0;-0;'zero'", 0), "zero");
  EXPECT_EQ(FormatFloat("0;-0;'zero'", 0.2L), "zero");  // rounds to zero
  EXPECT_EQ(FormatFloat("0;;'zero'", -3), "-3");        // empty negative section
  EXPECT_EQ(FormatFloat("0;", -3), "-3");
}

TEST_F(CommaFormat, ExponentPatterns) {
  EXPECT_EQ(FormatFloat("0e-0", 1000), "1e3");
  EXPECT_EQ(FormatFloat("0e-0", 0.01L), "1e-2");
  EXPECT_EQ(FormatFloat("0.0E+00", 12345), "1,2E+04");
  EXPECT_EQ(FormatFloat("0e-0", 9.7L), "1e1");
  EXPECT_EQ(FormatFloat("0e-0", 1e-4940L), "1e-4940");
  EXPECT_EQ(FormatFloat("0e-0", 1e4000L), "1e4000");
}

TEST_F(CommaFormat, EmptyPatternGivesTheGeneralForm) {
  EXPECT_EQ(FormatFloat("", 0), "0");
  EXPECT_EQ(FormatFloat("", 12.5L), "12,5");
  EXPECT_EQ(FormatFloat("", -3), "-3");
  EXPECT_EQ(FormatFloat("", 1200), "1200");
  EXPECT_EQ(FormatFloat("", 0.001L), "0,001");
  EXPECT_EQ(FormatFloat("", 1e20L), "1E+20");
  EXPECT_EQ(FormatFloat("", 1.5e-7L), "1,5E-7");
  EXPECT_EQ(FormatFloat("", 123456789012345678.0L), "1,23456789012346E+17");
  EXPECT_EQ(FormatFloat("", 0.1f), "0,100000001490116");
}

TEST_F(CommaFormat, NonFiniteValues) {
  EXPECT_EQ(FormatFloat("##0", std::numeric_limits<long double>::infinity()), "INF");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<long double>::infinity(), 7, 2), "-INF");
  EXPECT_EQ(FormatNumber(std::numeric_limits<long double>::quiet_NaN(), 7, 2), "NAN");
}

TEST_F(CommaFormat, FixedDecimalsWithGroupingAndPrecision) {
  EXPECT_EQ(FormatNumber(3.275f, 7, 1), "3,3");
  EXPECT_EQ(FormatNumber(0, 7, 2), "0,00");
  EXPECT_EQ(FormatNumber(12, 7, 2), "12,00");
  EXPECT_EQ(FormatNumber(12.0f, 7, 2), "12,00");
  EXPECT_EQ(FormatNumber(19.98f, 7, 2), "19,98");
  EXPECT_EQ(FormatNumber(1234.5L, 7, 2), "1" + Nbsp + "234,50");
  EXPECT_EQ(FormatNumber(-1234567.891L, 7, 2), "-1" + Nbsp + "234" + Nbsp + "568,00");
  EXPECT_EQ(FormatNumber(0.005L, 7, 2), "0,01");
  EXPECT_EQ(FormatNumber(-0.001L, 7, 2), "0,00");
  EXPECT_EQ(FormatNumber(0.05L, 7, 1), "0,1");
  EXPECT_EQ(FormatNumber(9.96L, 7, 1), "10,0");
  EXPECT_EQ(FormatNumber(25, 7, 0), "25");
}

TEST(PointFormat, UsesThePointAndCommaSeparators) {
  SetDecimalSeparator('.');
  SetThousandSeparator(",");
  EXPECT_EQ(FormatFloat("##0.00", 12), "12.00");
  EXPECT_EQ(FormatNumber(1234.5L, 7, 2), "1,234.50");
  EXPECT_EQ(FormatNumber(3.275f, 7, 1), "3.3");
}

TEST(RoundToText, WholeNumbersHalfToEven) {
  EXPECT_EQ(RoundToText(2.5L), "2");
  EXPECT_EQ(RoundToText(3.5L), "4");
  EXPECT_EQ(RoundToText(-0.5L), "0");
  EXPECT_EQ(RoundToText(-40.2f), "-40");
  EXPECT_EQ(RoundToText(9999.75f), "10000");
}

}  // namespace
