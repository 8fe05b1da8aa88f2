#pragma once
// Number texts as the operator sees and types them: parsing with the exact
// conversion messages, display patterns, fixed-decimal texts with thousands
// grouping, rounding in extended precision and upper-case hex.
//
// The decimal and thousands separators are those of the user's locale, read
// once at start (InitNumberFormatFromLocale) and settable by tests. Nothing
// here depends on, or changes, the process's global C locale.

#include <stdexcept>
#include <cstddef>
#include <cstdint>
#include <string>

// A text that is not a number of the required kind. The message is fixed when
// the error is raised, e.g. "'12.5' is not a valid floating point value".
class EConvertError : public std::runtime_error {
public:
  explicit EConvertError(const std::string& Message) : std::runtime_error(Message) {}
};

// The decimal separator used for reading and writing numbers ('.' or ',').
char DecimalSeparator();
void SetDecimalSeparator(char Separator);

// The thousands separator used by FormatNumber, as UTF-8 (one or more bytes).
std::string ThousandSeparator();
void SetThousandSeparator(const std::string& Separator);

// Reads both separators from the user's locale (LC_ALL, LC_NUMERIC, LANG on
// POSIX; the user default locale on Windows). An unknown or missing locale
// leaves '.' and ",". A locale without a thousands separator gets ",".
void InitNumberFormatFromLocale();

// Floating-point text: optional blanks around it, optional sign, decimal
// digits with the current decimal separator (at least one digit), optional
// exponent (E or e, optional sign, digits). Values beyond the extended range
// are refused; values too small for it read as zero.
// Throws EConvertError "'<S>' is not a valid floating point value".
long double StrToFloat(const std::string& S);

// Integer text: optional leading blanks, optional sign, decimal digits, within
// the 32-bit range. A fraction, an exponent or a trailing blank is refused.
// Throws EConvertError "'<S>' is not a valid integer value".
int StrToInt(const std::string& S);

// X rounded to the nearest integer, an exact half going to the even
// neighbour, computed in extended precision. Values beyond the 64-bit range
// saturate at its bounds; NaN gives 0.
long long RoundHalfEven(long double X);

// N / D rounded to the nearest integer, an exact half going to the even
// neighbour, computed exactly in integers (so that a half is recognised as
// one). Any signs; LLONG_MIN / -1 saturates at LLONG_MAX; D = 0 gives 0.
long long DivRoundHalfEven(long long N, long long D);

// X narrowed to 32 bits, saturating at the int32 bounds: for results of
// RoundHalfEven that are used as 32-bit positions.
int32_t SaturateToInt32(long long X);

// Upper-case hexadecimal of at least Digits digits, zero-padded. A negative
// value is written as its 64-bit two's complement (16 digits).
std::string IntToHex(long long Value, int Digits);

// The value of one pair of hexadecimal digits (upper or lower case).
// Throws EConvertError "'<Pair>' is not a valid integer value".
int HexPairToInt(const std::string& Pair);

// Appends " XX" for each byte (two upper-case hex digits after a blank): the
// byte columns of monitor lines and of recorded frames.
void AppendHexBytes(std::string& Text, const uint8_t* Bytes, size_t Count);

// Value formatted with a display pattern: "0" a digit always shown, "#" a
// digit shown only when significant, "." the decimal separator, "," thousands
// grouping, "E+"/"E-" (or "e") an exponent, quoted text literal; up to three
// sections separated by ";" for positive, negative and zero values. Rounded
// to the decimals the pattern shows, halves away from zero.
// Examples with a comma separator: ("##0.00", 12) -> "12,00",
// ("##0", 2.5) -> "3", ("#0", 31.875) -> "32".
std::string FormatFloat(const std::string& Pattern, long double Value);

// Value with exactly Digits decimals and thousands grouping, rounded first to
// Precision significant digits, halves away from zero, with the current
// separators: (3.275, 7, 1) -> "3,3"; (1234.5, 7, 2) -> "1<sep>234,50".
std::string FormatNumber(long double Value, int Precision, int Digits);

// A whole-number edit text: X rounded half to even, in decimal with a leading
// minus sign when negative (2.5 -> "2", 3.5 -> "4", -0.5 -> "0").
std::string RoundToText(long double X);
