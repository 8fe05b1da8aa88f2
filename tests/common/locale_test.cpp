// Reading the separators from the locale without touching the global one.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "numtext.h"

namespace {

// Sets LC_ALL for one initialisation and restores the environment after.
class LocaleInit : public ::testing::Test {
protected:
  void SetUp() override {
    const char* Old = std::getenv("LC_ALL");
    HadOld = Old != nullptr;
    if (HadOld) OldValue = Old;
  }
  void TearDown() override {
    if (HadOld) setenv("LC_ALL", OldValue.c_str(), 1);
    else unsetenv("LC_ALL");
    SetDecimalSeparator('.');
    SetThousandSeparator(",");
  }
  void InitFrom(const char* Name) {
    setenv("LC_ALL", Name, 1);
    InitNumberFormatFromLocale();
  }
  bool HadOld = false;
  std::string OldValue;
};

TEST_F(LocaleInit, RussianGivesCommaAndANoBreakSpace) {
  const std::string GlobalBefore = std::setlocale(LC_NUMERIC, nullptr);
  InitFrom("ru_RU.UTF-8");
  EXPECT_EQ(DecimalSeparator(), ',');
  // glibc writes a (narrow) no-break space: U+00A0 or U+202F, never ASCII.
  const std::string Thousands = ThousandSeparator();
  EXPECT_TRUE(Thousands == "\xC2\xA0" || Thousands == "\xE2\x80\xAF") << Thousands;
  EXPECT_EQ(StrToFloat("12,5"), 12.5L);
  EXPECT_EQ(FormatNumber(12, 7, 2), "12,00");
  EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), GlobalBefore);
}

TEST_F(LocaleInit, EnglishAndCGiveThePoint) {
  for (const char* Name : {"C.UTF-8", "en_US.UTF-8", "C"}) {
    SetDecimalSeparator(',');
    SetThousandSeparator(" ");
    InitFrom(Name);
    EXPECT_EQ(DecimalSeparator(), '.') << Name;
    EXPECT_EQ(ThousandSeparator(), ",") << Name;
    EXPECT_EQ(FormatNumber(1234.5L, 7, 2), "1,234.50") << Name;
  }
}

TEST_F(LocaleInit, UnknownLocaleFallsBackToThePoint) {
  SetDecimalSeparator(',');
  InitFrom("xx_NOWHERE.UTF-8");
  EXPECT_EQ(DecimalSeparator(), '.');
  EXPECT_EQ(ThousandSeparator(), ",");
}

}  // namespace
