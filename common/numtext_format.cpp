// Display patterns and fixed-decimal texts.
//
// Both round the value's decimal digits, not its binary value: the value is
// first written with 18 significant digits (what an extended-precision value
// holds), then rounded at the requested place, halves away from zero. So a
// single-precision 3.275 (3.2750000954) gives 3.3 with one decimal, and 0.125
// gives 0.13 with two.

#include "numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace {

constexpr int MaxSignificant = 18;

// A non-negative decimal number split into its integer digits (no leading
// zeros; empty for zero) and exactly the requested number of fraction digits.
struct TDecimal {
  std::string Int;
  std::string Frac;
  bool IsZero() const {
    return Int.find_first_not_of('0') == std::string::npos && Frac.find_first_not_of('0') == std::string::npos;
  }
};

// The significant digits of a finite |Value| as an extended-precision value
// holds them, and the place of the decimal point: Value = 0.Digits x 10^Point.
struct TDigits {
  std::string Digits;  // the first one non-zero; empty for zero
  int Point = 0;
};

TDigits SignificantDigits(long double Value) {
  TDigits D;
  Value = std::fabs(Value);
  if (Value == 0) return D;
  char Buffer[64];
  const auto Result =
      std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::scientific, MaxSignificant - 1);
  const std::string Text(Buffer, Result.ptr);
  const size_t E = Text.find('e');
  for (size_t I = 0; I < E; ++I)
    if (Text[I] >= '0' && Text[I] <= '9') D.Digits += Text[I];
  D.Point = std::stoi(Text.substr(E + 1)) + 1;
  return D;
}

// Keeps the first Keep digits, rounding halves away from zero; a carry out
// of the first digit moves the point.
void RoundAt(TDigits& D, long long Keep) {
  std::string& Digits = D.Digits;
  if (Keep < 0) {
    Digits.clear();
  } else if (Keep < static_cast<long long>(Digits.size())) {
    const bool Up = Digits[static_cast<size_t>(Keep)] >= '5';
    Digits.resize(static_cast<size_t>(Keep));
    if (Up) {
      int I = static_cast<int>(Keep) - 1;
      while (I >= 0 && Digits[static_cast<size_t>(I)] == '9') Digits[static_cast<size_t>(I--)] = '0';
      if (I >= 0) {
        ++Digits[static_cast<size_t>(I)];
      } else {
        Digits.insert(Digits.begin(), '1');
        ++D.Point;
      }
    }
  }
}

// The digits rounded to Decimals fraction digits and at most Significant
// significant digits, halves away from zero.
TDecimal RoundDigits(TDigits D, int Significant, int Decimals) {
  RoundAt(D, std::min<long long>(Significant, static_cast<long long>(D.Point) + Decimals));
  const std::string& Digits = D.Digits;
  TDecimal R;
  if (Digits.empty()) {
    R.Frac.assign(static_cast<size_t>(Decimals), '0');
    return R;
  }
  if (D.Point > 0) {
    const size_t IntLen = static_cast<size_t>(D.Point);
    R.Int = Digits.substr(0, std::min(IntLen, Digits.size()));
    if (R.Int.size() < IntLen) R.Int.append(IntLen - R.Int.size(), '0');
    R.Frac = Digits.size() > IntLen ? Digits.substr(IntLen) : std::string();
  } else {
    R.Frac = std::string(static_cast<size_t>(-D.Point), '0') + Digits;
  }
  R.Frac.resize(static_cast<size_t>(Decimals), '0');
  return R;
}

TDecimal RoundDecimal(long double Value, int Significant, int Decimals) {
  return RoundDigits(SignificantDigits(Value), Significant, Decimals);
}

std::string NonFinite(long double Value) {
  if (std::isnan(Value)) return "NAN";
  return Value < 0 ? "-INF" : "INF";
}

// Integer digits with the thousands separator between groups of three.
std::string Group(const std::string& Int, const std::string& Separator) {
  std::string Out;
  for (size_t I = 0; I < Int.size(); ++I) {
    if (I > 0 && (Int.size() - I) % 3 == 0) Out += Separator;
    Out += Int[I];
  }
  return Out;
}

// Splits a pattern at the ";" that are not inside quotes.
std::vector<std::string> Sections(const std::string& Pattern) {
  std::vector<std::string> Result(1);
  char Quote = 0;
  for (char C : Pattern) {
    if (Quote) {
      if (C == Quote) Quote = 0;
    } else if (C == '\'' || C == '"') {
      Quote = C;
    } else if (C == ';') {
      Result.emplace_back();
      continue;
    }
    Result.back() += C;
  }
  return Result;
}

// One section of a display pattern, taken apart.
struct TSection {
  std::string Text;
  int IntPlaces = 0;        // "0" and "#" before the decimal point
  int MinInt = 0;           // places from the first "0" to the decimal point
  int FracPlaces = 0;       // places after the decimal point
  int MinFrac = 0;          // places up to the last "0" after it
  bool Thousands = false;   // a "," among the integer places
  bool Scientific = false;  // "E+", "E-", "e+" or "e-"
  int ExpDigits = 0;        // "0" after the exponent sign
  bool ExpPlus = false;     // "+": the exponent sign is always written
};

TSection Analyse(const std::string& Text) {
  TSection S;
  S.Text = Text;
  bool InFraction = false;
  int FirstZero = -1;
  char Quote = 0;
  for (size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (Quote) {
      if (C == Quote) Quote = 0;
      continue;
    }
    if (C == '\'' || C == '"') {
      Quote = C;
    } else if (C == '0' || C == '#') {
      if (InFraction) {
        ++S.FracPlaces;
        if (C == '0') S.MinFrac = S.FracPlaces;
      } else {
        if (C == '0' && FirstZero < 0) FirstZero = S.IntPlaces;
        ++S.IntPlaces;
      }
    } else if (C == '.') {
      InFraction = true;
    } else if (C == ',') {
      if (!InFraction) S.Thousands = true;
    } else if ((C == 'E' || C == 'e') && I + 1 < Text.size() && (Text[I + 1] == '+' || Text[I + 1] == '-')) {
      S.Scientific = true;
      S.ExpPlus = Text[I + 1] == '+';
      size_t J = I + 2;
      while (J < Text.size() && Text[J] == '0') ++J;
      S.ExpDigits = static_cast<int>(J - (I + 2));
      break;  // what follows the exponent is written after it (see Render)
    }
  }
  if (FirstZero >= 0) S.MinInt = S.IntPlaces - FirstZero;
  return S;
}

// Writes the section with the given (already rounded) digits.
std::string Render(const TSection& S, const TDecimal& D, int Exponent) {
  const std::string Separator = ThousandSeparator();
  std::string Int = D.Int;
  if (static_cast<int>(Int.size()) < S.MinInt) Int.insert(0, static_cast<size_t>(S.MinInt - Int.size()), '0');
  std::string Frac = D.Frac;
  while (static_cast<int>(Frac.size()) > S.MinFrac && Frac.back() == '0') Frac.pop_back();

  const int IntLen = static_cast<int>(Int.size());
  std::string Out;
  int IntPlace = 0;   // integer places seen so far
  int FracPlace = 0;  // fraction places seen so far
  bool InFraction = false;
  char Quote = 0;
  auto WriteIntDigit = [&](int Index) {
    Out += Int[static_cast<size_t>(Index)];
    const int After = IntLen - 1 - Index;
    if (S.Thousands && After > 0 && After % 3 == 0) Out += Separator;
  };
  for (size_t I = 0; I < S.Text.size(); ++I) {
    const char C = S.Text[I];
    if (Quote) {
      if (C == Quote) Quote = 0;
      else Out += C;
      continue;
    }
    if (C == '\'' || C == '"') {
      Quote = C;
    } else if (C == '0' || C == '#') {
      if (InFraction) {
        if (FracPlace < static_cast<int>(Frac.size())) Out += Frac[static_cast<size_t>(FracPlace)];
        ++FracPlace;
      } else {
        // Digits beyond the pattern's places all go at its first place.
        const int Offset = IntLen - S.IntPlaces;
        if (IntPlace == 0)
          for (int K = 0; K < Offset; ++K) WriteIntDigit(K);
        const int Index = IntPlace + Offset;
        if (Index >= 0) WriteIntDigit(Index);
        ++IntPlace;
      }
    } else if (C == '.') {
      if (!InFraction && !Frac.empty()) Out += DecimalSeparator();
      InFraction = true;
    } else if (C == ',') {
      // grouping is written with the digits
    } else if (S.Scientific && (C == 'E' || C == 'e') && I + 1 < S.Text.size() &&
               (S.Text[I + 1] == '+' || S.Text[I + 1] == '-')) {
      Out += C;
      if (Exponent < 0) Out += '-';
      else if (S.ExpPlus) Out += '+';
      std::string ExpText = std::to_string(Exponent < 0 ? -Exponent : Exponent);
      if (static_cast<int>(ExpText.size()) < S.ExpDigits)
        ExpText.insert(0, static_cast<size_t>(S.ExpDigits) - ExpText.size(), '0');
      Out += ExpText;
      I += 1 + static_cast<size_t>(S.ExpDigits);
      InFraction = true;  // later places have nothing to show
    } else {
      Out += C;
    }
  }
  return Out;
}

// Formats |Value| with one section; IsZero tells whether it rounded to zero.
std::string FormatSection(const TSection& S, long double Value, bool& IsZero) {
  int Exponent = 0;
  TDecimal D;
  if (S.Scientific && Value != 0) {
    // The integer places hold the leading digits; the exponent the rest.
    const int Places = std::max(S.IntPlaces, 1);
    TDigits Digits = SignificantDigits(Value);
    Exponent = Digits.Point - Places;
    Digits.Point = Places;
    D = RoundDigits(Digits, MaxSignificant, S.FracPlaces);
    if (static_cast<int>(D.Int.size()) > Places) {  // rounding carried into a new digit
      ++Exponent;
      Digits.Point = Places - 1;
      D = RoundDigits(Digits, MaxSignificant, S.FracPlaces);
    }
  } else {
    D = RoundDecimal(Value, MaxSignificant, S.FracPlaces);
  }
  IsZero = D.IsZero();
  return Render(S, D, Exponent);
}

// Without a pattern: up to 15 significant digits, no trailing zeros, plain
// for moderate magnitudes and with an exponent otherwise ("1,5E+20").
std::string GeneralFormat(long double Value) {
  constexpr int Precision = 15;
  TDigits D = SignificantDigits(Value);
  RoundAt(D, Precision);
  while (!D.Digits.empty() && D.Digits.back() == '0') D.Digits.pop_back();
  if (D.Digits.empty()) return "0";
  std::string Text = Value < 0 ? "-" : "";
  const std::string& Digits = D.Digits;
  const int Count = static_cast<int>(Digits.size());
  if (D.Point > -4 && D.Point <= Precision) {
    if (D.Point <= 0) return Text + "0" + DecimalSeparator() + std::string(static_cast<size_t>(-D.Point), '0') + Digits;
    Text += Digits.substr(0, static_cast<size_t>(std::min(D.Point, Count)));
    if (D.Point > Count) return Text + std::string(static_cast<size_t>(D.Point - Count), '0');
    if (D.Point < Count) Text += DecimalSeparator() + Digits.substr(static_cast<size_t>(D.Point));
    return Text;
  }
  Text += Digits[0];
  if (Count > 1) Text += DecimalSeparator() + Digits.substr(1);
  const int Exponent = D.Point - 1;
  return Text + (Exponent < 0 ? "E-" : "E+") + std::to_string(Exponent < 0 ? -Exponent : Exponent);
}

bool HasPlaces(const TSection& S) { return S.IntPlaces + S.FracPlaces > 0; }

}  // namespace

std::string FormatFloat(const std::string& Pattern, long double Value) {
  if (!std::isfinite(Value)) return NonFinite(Value);
  if (Pattern.empty()) return GeneralFormat(Value);
  const std::vector<std::string> Parts = Sections(Pattern);
  const TSection Positive = Analyse(Parts[0]);
  const bool HasNegative = Parts.size() > 1 && !Parts[1].empty();
  const bool HasZero = Parts.size() > 2 && !Parts[2].empty();

  const bool Negative = Value < 0;
  const TSection Chosen = Negative && HasNegative ? Analyse(Parts[1]) : Positive;
  bool IsZero = false;
  std::string Text = HasPlaces(Chosen) ? FormatSection(Chosen, Value, IsZero) : Render(Chosen, {}, 0);
  if (HasPlaces(Chosen) && IsZero && HasZero) {
    const TSection Zero = Analyse(Parts[2]);
    bool Unused = false;
    return HasPlaces(Zero) ? FormatSection(Zero, 0, Unused) : Render(Zero, {}, 0);
  }
  // The negative section carries its own signs; the positive one gets a
  // minus sign, except when the value rounds to zero.
  if (Negative && !HasNegative && !(HasPlaces(Chosen) && IsZero)) return "-" + Text;
  return Text;
}

std::string FormatNumber(long double Value, int Precision, int Digits) {
  if (!std::isfinite(Value)) return NonFinite(Value);
  Precision = std::clamp(Precision, 1, MaxSignificant);
  Digits = std::clamp(Digits, 0, MaxSignificant);
  const TDecimal D = RoundDecimal(Value, Precision, Digits);
  std::string Text = D.IsZero() || Value >= 0 ? "" : "-";
  Text += Group(D.Int.empty() ? "0" : D.Int, ThousandSeparator());
  if (Digits > 0) Text += DecimalSeparator() + D.Frac;
  return Text;
}
