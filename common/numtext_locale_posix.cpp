// The separators of the user's locale on POSIX systems. The locale is opened
// as a separate locale object, so the process's global locale stays as it is.

#include "numtext.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>

void InitNumberFormatFromLocale() {
  // "" takes the name from LC_ALL, LC_NUMERIC or LANG, in that order.
  locale_t Locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (Locale == static_cast<locale_t>(0)) Locale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  if (Locale == static_cast<locale_t>(0)) return;
  const char* Radix = nl_langinfo_l(RADIXCHAR, Locale);
  // Only a one-byte separator can be typed and read back as one character.
  SetDecimalSeparator(Radix != nullptr && std::strlen(Radix) == 1 ? Radix[0] : '.');
  const char* Thousands = nl_langinfo_l(THOUSEP, Locale);
  SetThousandSeparator(Thousands != nullptr && Thousands[0] != '\0' ? Thousands : ",");
  freelocale(Locale);
}
