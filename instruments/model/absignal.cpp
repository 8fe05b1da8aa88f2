#include "absignal.h"

#include "numtext.h"

#include <cmath>
#include <limits>

namespace {

bool FiniteSpan(float From, float To) { return std::isfinite(From) && std::isfinite(To) && std::isfinite(To - From); }

bool Int32Span(int32_t From, int32_t To) {
  return static_cast<int64_t>(To) - From <= std::numeric_limits<int32_t>::max();
}

}  // namespace

TSignalSettings::TSignalSettings() {
  // The factors describe the initial range from the start, so a value
  // assigned before the first change of the range maps onto the grid
  // instead of through zero factors onto position 0.
  Recompute();
}

void TSignalSettings::Assign(const TAbPersistent& Source) {
  const auto* Other = dynamic_cast<const TSignalSettings*>(&Source);
  if (Other == nullptr) {
    TAbPersistent::Assign(Source);
    return;
  }
  SetDigitalRange(Other->DigitalFrom(), Other->DigitalTo());
  SetValueFormat(Other->ValueFormat());
  SetValueRange(Other->ValueFrom(), Other->ValueTo());
  SetValueUnit(Other->ValueUnit());
  SetName1(Other->Name1());
  SetName2(Other->Name2());
}

void TSignalSettings::Changed() {
  Recompute();
  TAbPersistent::Changed();
}

void TSignalSettings::Recompute() {
  // The spans by sign case of the bounds; the case of a lower bound at or
  // above zero with an upper bound at or below zero keeps the old span.
  const float Vf = FValueFrom;
  const float Vt = FValueTo;
  if (Vf < 0 && Vt < 0) FValueSpan = std::fabs(Vf) - std::fabs(Vt);
  else if (Vf < 0 && Vt >= 0) FValueSpan = std::fabs(Vt) + std::fabs(Vf);
  else if (Vf >= 0 && Vt > 0) FValueSpan = std::fabs(Vt) - std::fabs(Vf);

  const int64_t Df = FDigitalFrom;
  const int64_t Dt = FDigitalTo;
  if (Df < 0 && Dt < 0) FDigitalSpan = static_cast<int32_t>(-Df - -Dt);
  else if (Df < 0 && Dt >= 0) FDigitalSpan = static_cast<int32_t>(Dt + -Df);
  else if (Df >= 0 && Dt > 0) FDigitalSpan = static_cast<int32_t>(Dt - Df);

  if (FDigitalSpan > 0) FValuePerDigit = FValueSpan / static_cast<float>(FDigitalSpan);
  if (FValueSpan > 0) {
    FDigitsPerValue = static_cast<float>(FDigitalSpan) / FValueSpan;
    FPerMilleFactor = 1000.0f / FValueSpan;
    const auto Sep = FValueFormat.find(';');
    if (Sep == std::string::npos) {
      FSizingPattern = FValueFormat;
    } else {
      std::string Before = FValueFormat.substr(0, Sep);
      std::string After = FValueFormat.substr(Sep + 1);
      FSizingPattern = Before.size() > After.size() ? Before : After;
    }
  }
}

void TSignalSettings::SetDigitalFrom(int32_t V) {
  if (V == FDigitalFrom || V >= FDigitalTo || !Int32Span(V, FDigitalTo)) return;
  FDigitalFrom = V;
  Changed();
}

void TSignalSettings::SetDigitalTo(int32_t V) {
  if (V == FDigitalTo || V <= FDigitalFrom || !Int32Span(FDigitalFrom, V)) return;
  FDigitalTo = V;
  Changed();
}

void TSignalSettings::SetDigitalRange(int32_t From, int32_t To) {
  if (From >= To || !Int32Span(From, To)) return;
  if (From >= FDigitalTo) {
    SetDigitalTo(To);
    SetDigitalFrom(From);
  } else {
    SetDigitalFrom(From);
    SetDigitalTo(To);
  }
}

void TSignalSettings::StoreText(std::string& Field, const std::string& V) {
  if (V == Field) return;
  Field = V;
  Changed();
}

void TSignalSettings::SetName1(const std::string& V) { StoreText(FName1, V); }

void TSignalSettings::SetName2(const std::string& V) { StoreText(FName2, V); }

void TSignalSettings::SetValueFormat(const std::string& V) { StoreText(FValueFormat, V); }

void TSignalSettings::SetValueUnit(const std::string& V) { StoreText(FValueUnit, V); }

void TSignalSettings::SetValueFrom(float V) {
  // Equal to either bound: ignored, so the bounds can never become equal.
  if (V == FValueFrom || V == FValueTo || V > FValueTo || !FiniteSpan(V, FValueTo)) return;
  FValueFrom = V;
  Changed();
}

void TSignalSettings::SetValueTo(float V) {
  if (V == FValueFrom || V == FValueTo || V < FValueFrom || !FiniteSpan(FValueFrom, V)) return;
  FValueTo = V;
  Changed();
}

void TSignalSettings::SetValueRange(float From, float To) {
  if (!(From < To) || !FiniteSpan(From, To)) return;
  if (From >= FValueTo) {
    SetValueTo(To);
    SetValueFrom(From);
  } else {
    SetValueFrom(From);
    SetValueTo(To);
  }
}

int32_t TSignalSettings::ValueToPerMille(float V) const {
  return SaturateToInt32(
      RoundHalfEven(static_cast<long double>(FPerMilleFactor) * (static_cast<long double>(V) - FValueFrom)));
}

float TSignalSettings::ClampValue(float V) const {
  if (V > FValueTo) V = FValueTo;
  if (V < FValueFrom) V = FValueFrom;
  return V;
}

int32_t TSignalSettings::ClampDigit(int64_t D) const {
  if (D > FDigitalTo) D = FDigitalTo;
  if (D < FDigitalFrom) D = FDigitalFrom;
  return static_cast<int32_t>(D);
}

int32_t TSignalSettings::DigitOfValue(float V) const {
  return SaturateToInt32(RoundHalfEven((static_cast<long double>(V) - FValueFrom) * FDigitsPerValue + FDigitalFrom));
}

float TSignalSettings::ValueOfDigit(int32_t D) const {
  return static_cast<float>((static_cast<long double>(D) - FDigitalFrom) * FValuePerDigit + FValueFrom);
}
