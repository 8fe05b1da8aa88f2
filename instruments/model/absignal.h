#pragma once

// The value model of the analog instruments (dial, vertical slider and the
// linked indicator): an integer grid position (Digit) between two integer
// bounds, mapped linearly onto an engineering value (Value) between two
// single-precision bounds, with the names, unit and display pattern of one
// instrument. No widget and no Qt: it builds and is tested on its own.

#include "abpersistent.h"

#include <cstdint>
#include <string>

// Range, grid, names, unit and display pattern of one instrument. The derived
// factors are computed at construction, recomputed by Changed() and kept in
// single precision, because every later computation reads them back in that
// precision.
class TSignalSettings : public TAbPersistent {
public:
  TSignalSettings();

  // Copies from another TSignalSettings through the setters; any other
  // class raises EAbAssignError.
  void Assign(const TAbPersistent& Source) override;
  // Recomputes the derived fields, then notifies.
  void Changed() override;
  const char* ClassName() const override { return "TSignalSettings"; }

  int32_t DigitalFrom() const { return FDigitalFrom; }
  int32_t DigitalTo() const { return FDigitalTo; }
  const std::string& Name1() const { return FName1; }
  const std::string& Name2() const { return FName2; }
  const std::string& ValueFormat() const { return FValueFormat; }
  float ValueFrom() const { return FValueFrom; }
  float ValueTo() const { return FValueTo; }
  const std::string& ValueUnit() const { return FValueUnit; }

  // A bound that would make its range empty or reversed (or a value bound
  // that is not a finite number, or a span that does not fit) is ignored,
  // so the factors always describe the stored range. SetValueRange and
  // SetDigitalRange assign both bounds in the order that keeps the range
  // valid in between; use them to move a range past its current bounds.
  void SetDigitalFrom(int32_t V);
  void SetDigitalTo(int32_t V);
  void SetDigitalRange(int32_t From, int32_t To);
  void SetName1(const std::string& V);
  void SetName2(const std::string& V);
  void SetValueFormat(const std::string& V);
  void SetValueFrom(float V);
  void SetValueTo(float V);
  void SetValueRange(float From, float To);
  void SetValueUnit(const std::string& V);

  float ValueSpan() const { return FValueSpan; }
  int32_t DigitalSpan() const { return FDigitalSpan; }
  float ValuePerDigit() const { return FValuePerDigit; }
  const std::string& SizingPattern() const { return FSizingPattern; }
  float DigitsPerValue() const { return FDigitsPerValue; }
  float PerMilleFactor() const { return FPerMilleFactor; }

  // PerMilleFactor x (v - ValueFrom), rounded half to even: 0 at ValueFrom,
  // 1000 at ValueTo. Not clamped; NaN gives 0.
  int32_t ValueToPerMille(float V) const;

  // The mapping between values and grid positions, shared by the analog
  // controls and the linked indicator.
  float ClampValue(float V) const;      // ValueTo first, then ValueFrom
  int32_t ClampDigit(int64_t D) const;  // DigitalTo first, then DigitalFrom
  int32_t DigitOfValue(float V) const;  // grid position nearest to v, halves to even
  float ValueOfDigit(int32_t D) const;  // value of grid point d, single precision

private:
  void Recompute();
  void StoreText(std::string& Field, const std::string& V);

  int32_t FDigitalFrom = 0;
  int32_t FDigitalTo = 1000;
  std::string FName1 = "SignalName1";
  std::string FName2 = "SignalName2";
  std::string FValueFormat = "##0.0";
  float FValueFrom = 0.0f;
  float FValueTo = 100.0f;
  std::string FValueUnit = "%";
  float FValueSpan = 100.0f;
  int32_t FDigitalSpan = 1000;
  float FValuePerDigit = 0.0f;
  std::string FSizingPattern;
  float FDigitsPerValue = 0.0f;
  float FPerMilleFactor = 0.0f;
};
