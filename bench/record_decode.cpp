#include "record_decode.h"

namespace {

// How one value sits in a record: one byte, or two bytes low byte first, and
// value = code x Scale + Offset.
struct TField {
  TLiveQuantity Quantity;
  uint8_t Index;  // data byte of the (low) code byte
  bool TwoBytes;
  double Scale;
  double Offset;
};

struct TLayout {
  uint8_t Variants;  // bit v set: variant v has this record
  uint8_t LocalId;
  uint8_t Length;  // data bytes, 0x61 and the identifier included
  uint8_t FieldCount;
  TField Fields[6];
};

constexpr uint8_t V1 = 1 << 1, V2 = 1 << 2, V3 = 1 << 3;

constexpr double Volt = 17.9 / 255;
constexpr double Percent = 100.0 / 255;
constexpr double Degree = 0.75, Zero = -48;
constexpr double Kmh = 1.25, QuarterRpm = 0.25;

using Q = TLiveQuantity;

constexpr TLayout Layouts[] = {
    {V1, 0x01, 9, 0, {}},
    {V1, 0x02, 12, 0, {}},
    {V1, 0x05, 13, 0, {}},
    {V1,
     0x03,
     11,
     4,
     {{Q::SupplyVoltage, 4, false, Volt, 0},
      {Q::Coolant, 5, false, Degree, Zero},
      {Q::IntakeAir, 6, false, Degree, Zero},
      {Q::Throttle, 7, false, Percent, 0}}},
    {V1, 0x04, 14, 2, {{Q::ManifoldPressure, 2, true, 256.0 / 65535, 0}, {Q::Injection, 6, true, 175.0 / 65535, 0}}},
    {V1, 0x06, 14, 2, {{Q::Speed, 2, false, Kmh, 0}, {Q::EngineSpeed, 5, true, QuarterRpm, 0}}},
    {V2,
     0x02,
     32,
     5,
     {{Q::ManifoldPressure, 13, false, 1, 0},
      {Q::Throttle, 22, false, Percent, 0},
      {Q::SupplyVoltage, 27, false, Volt, 0},
      {Q::Coolant, 29, false, Degree, Zero},
      {Q::IntakeAir, 31, false, Degree, Zero}}},
    {V3,
     0x02,
     32,
     6,
     {{Q::ManifoldPressure, 13, false, 1, 0},
      {Q::Throttle, 22, false, Percent, 0},
      {Q::EngineSpeed, 25, false, 40, 0},
      {Q::SupplyVoltage, 27, false, Volt, 0},
      {Q::Coolant, 29, false, Degree, Zero},
      {Q::IntakeAir, 31, false, Degree, Zero}}},
    {V2 | V3, 0x03, 20, 1, {{Q::Injection, 10, false, 208.1 / 255, 0}}},
    {V2, 0x05, 11, 1, {{Q::EngineSpeed, 9, true, QuarterRpm, 0}}},
    {V2 | V3, 0x06, 11, 1, {{Q::Speed, 10, false, Kmh, 0}}},
};

const TLayout* FindLayout(int Variant, uint8_t LocalId) {
  if (Variant < 1 || Variant > 3) return nullptr;
  for (const TLayout& L : Layouts) {
    if ((L.Variants & (1 << Variant)) != 0 && L.LocalId == LocalId) return &L;
  }
  return nullptr;
}

}  // namespace

size_t LiveRecordLength(int Variant, uint8_t LocalId) {
  const TLayout* L = FindLayout(Variant, LocalId);
  return L == nullptr ? 0 : L->Length;
}

std::optional<TLiveRecord> DecodeLiveRecord(int Variant, const uint8_t* Bytes, size_t Count) {
  if (Bytes == nullptr || Count < 4) return std::nullopt;
  // The header: short (length in the format byte) or long (length byte).
  const uint8_t Format = Bytes[0];
  size_t Header = 3, Length = 0;
  if (Format == 0x80) {
    Header = 4;
    Length = Bytes[3];
  } else if (Format > 0x80 && Format < 0xC0) {
    Length = Format - 0x80u;
  } else {
    return std::nullopt;
  }
  if (Count != Header + Length + 1 || Length < 2) return std::nullopt;
  unsigned Sum = 0;
  for (size_t I = 0; I + 1 < Count; ++I) Sum += Bytes[I];
  if (static_cast<uint8_t>(Sum) != Bytes[Count - 1]) return std::nullopt;

  const uint8_t* Data = Bytes + Header;
  if (Data[0] != 0x61) return std::nullopt;
  const TLayout* L = FindLayout(Variant, Data[1]);
  if (L == nullptr || L->Length != Length) return std::nullopt;

  TLiveRecord Record;
  Record.Variant = Variant;
  Record.LocalId = Data[1];
  for (int I = 0; I < L->FieldCount; ++I) {
    const TField& F = L->Fields[I];
    unsigned Code = Data[F.Index];
    if (F.TwoBytes) Code += 256u * Data[F.Index + 1];
    Record.Values[static_cast<size_t>(F.Quantity)] = Code * F.Scale + F.Offset;
  }
  return Record;
}

const char* LiveQuantityName(TLiveQuantity Quantity) {
  switch (Quantity) {
    case Q::Speed: return "speed";
    case Q::EngineSpeed: return "engine speed";
    case Q::Injection: return "injection duration";
    case Q::Coolant: return "coolant temperature";
    case Q::Throttle: return "throttle position";
    case Q::ManifoldPressure: return "manifold pressure";
    case Q::IntakeAir: return "intake air temperature";
    case Q::SupplyVoltage: return "supply voltage";
  }
  return "?";
}
