// The separators of the user's default locale on Windows.

#include "numtext.h"

#include <windows.h>

namespace {

std::string Utf8(const wchar_t* Text) {
  const int Size = WideCharToMultiByte(CP_UTF8, 0, Text, -1, nullptr, 0, nullptr, nullptr);
  if (Size <= 1) return {};
  std::string Out(static_cast<size_t>(Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text, -1, Out.data(), Size, nullptr, nullptr);
  Out.resize(static_cast<size_t>(Size - 1));
  return Out;
}

}  // namespace

void InitNumberFormatFromLocale() {
  wchar_t Buffer[16];
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, Buffer, 16) > 0) {
    const std::string Decimal = Utf8(Buffer);
    SetDecimalSeparator(Decimal.size() == 1 ? Decimal[0] : '.');
  }
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, Buffer, 16) > 0) {
    const std::string Thousands = Utf8(Buffer);
    SetThousandSeparator(Thousands.empty() ? "," : Thousands);
  }
}
