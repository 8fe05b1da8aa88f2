#pragma once
// Decoding of live data answers: an answer frame of ReadDataByLocalIdentifier
// (service 0x21), as it went over the line, turned back into the engineering
// values it carries. A trip computer does this with every answer it reads;
// the trip model and the virtual trip computer use it to see what the unit
// actually sent. No Qt, no emulator state: only the bytes and the variant.
//
// A frame is taken when it is exactly one well-formed answer: format byte
// 0x81..0xBF with target and source (the data length in its low six bits),
// or 0x80 with a length byte after the addresses; the data begin with 0x61
// and a local identifier that the variant knows, the data length is that
// record's length, and the checksum (sum of all bytes before it, modulo 256)
// holds. Addresses are not examined. Anything else (a negative response
// 7F 21 <code>, another service's answer, a wrong checksum, a cut or
// over-long frame, an identifier or length the variant does not have) gives
// nothing; decoding never throws.
//
// Records and the resolution of their codes (data byte 0 is 0x61, byte 1 the
// local identifier; two-byte values low byte first):
//
//   variant 1
//     0x01 (9 bytes), 0x02 (12), 0x05 (13): fixed patterns, no values
//     0x03 (11 bytes): 4 supply voltage        17.9/255 V a count (0.0702 V)
//                      5 coolant temperature   0.75 degC a count, 0 = -48 degC
//                      6 intake air temperature 0.75 degC a count, 0 = -48 degC
//                      7 throttle position     100/255 % a count (0.392 %)
//     0x04 (14 bytes): 2-3 manifold pressure   256/65535 kPa a count (0.0039 kPa)
//                      6-7 injection duration  175/65535 ms a count (0.00267 ms);
//                          repeated in 8-9, 10-11, 12-13 (the first is taken)
//     0x06 (14 bytes): 2 vehicle speed         1.25 km/h a count
//                      5-6 engine speed        0.25 rpm a count
//   variants 2 and 3
//     0x02 (32 bytes): 13 manifold pressure    1 kPa a count
//                      22 throttle position    100/255 % a count
//                      25 engine speed         40 rpm a count (variant 3 only;
//                                              variant 2 sends 0 there)
//                      27 supply voltage       17.9/255 V a count
//                      29 coolant temperature  0.75 degC a count, 0 = -48 degC
//                      31 intake air temperature, as coolant
//     0x03 (20 bytes): 10 injection duration   208.1/255 ms a count (0.816 ms);
//                          repeated in 11, 12, 13 (the first is taken)
//     0x05 (11 bytes, variant 2 only): 9-10 engine speed  0.25 rpm a count
//     0x06 (11 bytes): 10 vehicle speed        1.25 km/h a count
//
// A value is the code times its resolution (plus the offset of the
// temperatures), computed in double: the exact middle of the code's step.
// The unit saturates values that do not fit at the top code, so a top code
// may stand for any value above it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// The eight quantities that live data records carry.
enum class TLiveQuantity : uint8_t {
  Speed,             // vehicle speed, km/h
  EngineSpeed,       // engine speed, rpm
  Injection,         // injection duration, ms
  Coolant,           // coolant temperature, degC
  Throttle,          // throttle position, %
  ManifoldPressure,  // intake manifold pressure, kPa
  IntakeAir,         // intake air temperature, degC
  SupplyVoltage,     // supply voltage, V
};
constexpr int LiveQuantityCount = 8;

// What one live data answer carries.
struct TLiveRecord {
  int Variant = 0;
  uint8_t LocalId = 0;
  // Indexed by TLiveQuantity; empty where this record carries no such value.
  std::array<std::optional<double>, LiveQuantityCount> Values{};

  const std::optional<double>& Value(TLiveQuantity Quantity) const { return Values[static_cast<size_t>(Quantity)]; }
  bool Carries(TLiveQuantity Quantity) const { return Value(Quantity).has_value(); }
};

// Decodes the frame Bytes[0 .. Count-1] as a live data answer of Variant
// (1, 2 or 3). Nothing when it is not one (see above). A fixed record is
// decoded as a record without values.
std::optional<TLiveRecord> DecodeLiveRecord(int Variant, const uint8_t* Bytes, size_t Count);

// The data length of a variant's record, 0 when the variant has no such
// local identifier.
size_t LiveRecordLength(int Variant, uint8_t LocalId);

// "speed", "engine speed", ...: for messages.
const char* LiveQuantityName(TLiveQuantity Quantity);
