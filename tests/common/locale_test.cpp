// Reading the separators from the locale without touching the global one.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "numtext.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifndef _WIN32

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

#else

// On Windows the separators come from the user's default locale, which the
// Windows lane sets through the locale that Wine starts in (LC_ALL), running
// these tests once under ru_RU.UTF-8 and once under en_US.UTF-8.
TEST(LocaleInit, TheUserLocaleGivesItsSeparatorsAsUtf8) {
  struct {
    const wchar_t* Name;
    char Decimal;
    const char* Thousands;
  } const Known[] = {
      {L"ru-RU", ',', "\xC2\xA0"},  // a no-break space, converted from UTF-16
      {L"en-US", '.', ","},
      {L"de-DE", ',', "."},
  };
  wchar_t Name[LOCALE_NAME_MAX_LENGTH] = {};
  ASSERT_GT(GetUserDefaultLocaleName(Name, LOCALE_NAME_MAX_LENGTH), 0);
  for (const auto& K : Known) {
    if (std::wstring(Name) != K.Name) continue;
    const std::string GlobalBefore = std::setlocale(LC_NUMERIC, nullptr);
    SetDecimalSeparator('#');
    SetThousandSeparator("#");
    InitNumberFormatFromLocale();
    EXPECT_EQ(DecimalSeparator(), K.Decimal);
    EXPECT_EQ(ThousandSeparator(), K.Thousands);
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), GlobalBefore);
    SetDecimalSeparator('.');
    SetThousandSeparator(",");
    return;
  }
  GTEST_SKIP() << "no expectations for this user locale; the Windows lane runs ru-RU and en-US";
}

#endif

}  // namespace
