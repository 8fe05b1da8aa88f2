// Parsing, rounding and hex texts, and the separators they use.

#include "numtext.h"

#include <atomic>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

// Set once at start (and by tests) on the window thread, read there; the
// worker threads of the program never format numbers.
std::atomic<char> TheDecimalSeparator{'.'};
std::string TheThousandSeparator = ",";

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

std::string FloatError(const std::string& S) { return "'" + S + "' is not a valid floating point value"; }

std::string IntegerError(const std::string& S) { return "'" + S + "' is not a valid integer value"; }

// Reads the checked text Plain ("-123.45e-6") in extended precision:
// std::errc::result_out_of_range when the value is beyond the extended range
// either way (overflow or underflow to zero), like std::from_chars.
std::errc ReadExtended(const std::string& Plain, long double& Value) {
#if defined(__MINGW32__)
  // MinGW's library computes std::from_chars for long double through double
  // ("0.1" gets the double's error, "1e4000" is refused); its strtold is
  // exact in the 80-bit format. The decimal point would be read in the C
  // locale's form, so the text goes as digits and an exponent only:
  // "-123.45e-6" as "-12345e-8".
  std::string Digits;
  long long Exponent = 0;
  size_t I = 0;
  if (Plain[0] == '-') Digits += Plain[I++];
  for (; I < Plain.size() && Plain[I] != 'e'; ++I) {
    if (Plain[I] == '.') continue;
    Digits += Plain[I];
  }
  const size_t Point = Plain.find('.');
  if (Point != std::string::npos) {
    const size_t FracEnd = Plain.find('e');
    Exponent -= static_cast<long long>((FracEnd == std::string::npos ? Plain.size() : FracEnd) - Point - 1);
  }
  if (I < Plain.size()) {
    // An exponent beyond 9 digits is out of range whatever the digits are:
    // clamped, it still reads as infinity or zero.
    const bool Negative = Plain[I + 1] == '-';
    std::string ExpDigits = Plain.substr(I + (Negative ? 2 : 1));
    const size_t First = ExpDigits.find_first_not_of('0');
    ExpDigits = First == std::string::npos ? "0" : ExpDigits.substr(First);
    const long long E = ExpDigits.size() > 9 ? 1000000000LL : std::stoll(ExpDigits);
    Exponent += Negative ? -E : E;
  }
  Digits += 'e';
  Digits += std::to_string(Exponent);
  errno = 0;
  char* End = nullptr;
  const long double Read = std::strtold(Digits.c_str(), &End);
  if (End != Digits.c_str() + Digits.size()) return std::errc::invalid_argument;
  // As libstdc++'s std::from_chars on Linux: overflow, underflow and an
  // inexact denormal result are all out of range.
  if (errno == ERANGE) return std::errc::result_out_of_range;
  Value = Read;
  return std::errc();
#else
  const auto Result = std::from_chars(Plain.data(), Plain.data() + Plain.size(), Value);
  if (Result.ec == std::errc() && Result.ptr != Plain.data() + Plain.size()) return std::errc::invalid_argument;
  return Result.ec;
#endif
}

}  // namespace

char DecimalSeparator() { return TheDecimalSeparator.load(); }

void SetDecimalSeparator(char Separator) { TheDecimalSeparator.store(Separator); }

std::string ThousandSeparator() { return TheThousandSeparator; }

void SetThousandSeparator(const std::string& Separator) { TheThousandSeparator = Separator; }

long double StrToFloat(const std::string& S) {
  const char Separator = DecimalSeparator();
  const size_t End = S.size();
  size_t I = 0;
  while (I < End && S[I] == ' ') ++I;

  // The text is checked here and rewritten in the fixed form that
  // ReadExtended reads ("-123.45e-6"), independent of any C locale.
  std::string Plain;
  if (I < End && (S[I] == '+' || S[I] == '-')) {
    if (S[I] == '-') Plain += '-';
    ++I;
  }
  const size_t IntStart = I;
  while (I < End && IsDigit(S[I])) ++I;
  std::string IntDigits = S.substr(IntStart, I - IntStart);
  std::string FracDigits;
  if (I < End && S[I] == Separator) {
    ++I;
    const size_t FracStart = I;
    while (I < End && IsDigit(S[I])) ++I;
    FracDigits = S.substr(FracStart, I - FracStart);
  }
  if (IntDigits.empty() && FracDigits.empty()) throw EConvertError(FloatError(S));

  std::string ExpText;
  bool ExpNegative = false;
  if (I < End && (S[I] == 'e' || S[I] == 'E')) {
    ++I;
    if (I < End && (S[I] == '+' || S[I] == '-')) {
      ExpNegative = S[I] == '-';
      ++I;
    }
    const size_t ExpStart = I;
    while (I < End && IsDigit(S[I])) ++I;
    if (I == ExpStart) throw EConvertError(FloatError(S));
    ExpText = S.substr(ExpStart, I - ExpStart);
  }
  while (I < End && S[I] == ' ') ++I;
  if (I != End) throw EConvertError(FloatError(S));

  Plain += IntDigits.empty() ? "0" : IntDigits;
  if (!FracDigits.empty()) Plain += "." + FracDigits;
  if (!ExpText.empty()) Plain += (ExpNegative ? "e-" : "e") + ExpText;

  long double Value = 0;
  const std::errc Read = ReadExtended(Plain, Value);
  if (Read == std::errc::result_out_of_range) {
    // Out of range either way: a value too small for the extended format
    // reads as zero, one too large is refused. The decimal exponent of the
    // first significant digit tells which.
    const std::string Digits = IntDigits + FracDigits;
    const size_t First = Digits.find_first_not_of('0');
    if (First == std::string::npos) return 0;
    long long Exponent = static_cast<long long>(IntDigits.size()) - static_cast<long long>(First);
    // The exponent text may be arbitrarily long: only its sign and whether it
    // is large matter here.
    const size_t ExpFirst = ExpText.find_first_not_of('0');
    if (ExpFirst != std::string::npos) {
      const std::string Significant = ExpText.substr(ExpFirst);
      const long long ExpValue = Significant.size() > 9 ? 1000000000LL : std::stoll(Significant);
      Exponent += ExpNegative ? -ExpValue : ExpValue;
    }
    if (Exponent <= 0) return Plain[0] == '-' ? -0.0L : 0.0L;
    throw EConvertError(FloatError(S));
  }
  if (Read != std::errc() || !std::isfinite(Value)) throw EConvertError(FloatError(S));
  return Value;
}

int StrToInt(const std::string& S) {
  const size_t End = S.size();
  size_t I = 0;
  while (I < End && S[I] == ' ') ++I;
  bool Negative = false;
  if (I < End && (S[I] == '+' || S[I] == '-')) {
    Negative = S[I] == '-';
    ++I;
  }
  if (I == End) throw EConvertError(IntegerError(S));
  // Accumulated as a negative number so that the most negative int fits.
  long long Value = 0;
  for (; I < End; ++I) {
    if (!IsDigit(S[I])) throw EConvertError(IntegerError(S));
    Value = Value * 10 - (S[I] - '0');
    if (Value < static_cast<long long>(std::numeric_limits<int>::min())) throw EConvertError(IntegerError(S));
  }
  if (!Negative) {
    Value = -Value;
    if (Value > std::numeric_limits<int>::max()) throw EConvertError(IntegerError(S));
  }
  return static_cast<int>(Value);
}

long long RoundHalfEven(long double X) {
  if (std::isnan(X)) return 0;
  // 2^63 is exact in extended precision; every value below it in magnitude
  // converts to long long without overflow once rounded.
  constexpr long double Limit = 9223372036854775808.0L;
  if (X >= Limit) return std::numeric_limits<long long>::max();
  if (X <= -Limit) return std::numeric_limits<long long>::min();
  const long double Floor = std::floor(X);
  const long double Fraction = X - Floor;  // exact: both share the exponent range
  long double Result = Floor;
  if (Fraction > 0.5L) {
    Result = Floor + 1;
  } else if (Fraction == 0.5L) {
    if (std::fmod(Floor, 2.0L) != 0) Result = Floor + 1;
  }
  if (Result >= Limit) return std::numeric_limits<long long>::max();
  return static_cast<long long>(Result);
}

long long DivRoundHalfEven(long long N, long long D) {
  if (D == 0) return 0;
  if (D == -1 && N == std::numeric_limits<long long>::min()) return std::numeric_limits<long long>::max();
  long long Quotient = N / D;
  const long long Remainder = N % D;
  // Magnitudes as unsigned, so that LLONG_MIN has one; the remainder is
  // compared with what is left of the divisor instead of being doubled.
  const auto Magnitude = [](long long V) {
    return V < 0 ? 0ULL - static_cast<unsigned long long>(V) : static_cast<unsigned long long>(V);
  };
  const unsigned long long Rest = Magnitude(Remainder);
  const unsigned long long Left = Magnitude(D) - Rest;
  if (Rest > Left || (Rest == Left && Quotient % 2 != 0)) Quotient += (N < 0) == (D < 0) ? 1 : -1;
  return Quotient;
}

int32_t SaturateToInt32(long long X) {
  if (X > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (X < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(X);
}

std::string IntToHex(long long Value, int Digits) {
  static const char HexDigits[] = "0123456789ABCDEF";
  uint64_t Bits = static_cast<uint64_t>(Value);
  std::string Text;
  do {
    Text.insert(Text.begin(), HexDigits[Bits & 0xF]);
    Bits >>= 4;
  } while (Bits != 0);
  if (static_cast<int>(Text.size()) < Digits) Text.insert(0, static_cast<size_t>(Digits) - Text.size(), '0');
  return Text;
}

int HexPairToInt(const std::string& Pair) {
  int Value = 0;
  if (Pair.size() != 2) throw EConvertError(IntegerError(Pair));
  for (char C : Pair) {
    int Digit;
    if (C >= '0' && C <= '9') Digit = C - '0';
    else if (C >= 'A' && C <= 'F') Digit = C - 'A' + 10;
    else if (C >= 'a' && C <= 'f') Digit = C - 'a' + 10;
    else throw EConvertError(IntegerError(Pair));
    Value = Value * 16 + Digit;
  }
  return Value;
}

std::string RoundToText(long double X) { return std::to_string(RoundHalfEven(X)); }

void AppendHexBytes(std::string& Text, const uint8_t* Bytes, size_t Count) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  Text.reserve(Text.size() + 3 * Count);
  for (size_t I = 0; I < Count; ++I) {
    Text += ' ';
    Text += Digits[Bytes[I] >> 4];
    Text += Digits[Bytes[I] & 0x0F];
  }
}
