#pragma once
// The trip model: what a trip computer should display, computed from the
// values that the unit actually sent during a run. It is the yardstick for
// the trip computer under test and the arithmetic of the virtual one.
//
// Input is a series of samples: a time in microseconds and whichever of
// vehicle speed (km/h), engine speed (rpm) and injection duration (ms) one
// decoded answer carried. A value holds from its sample until the next
// sample of the same quantity (zero-order hold, which is what a trip
// computer that polls the unit sees); before its first sample a quantity
// counts as 0. The trip runs from the first sample to the end time given to
// Readings.
//
//   distance          s = integral of v dt                      [km]
//                     = sum over held intervals of v [km/h] x dt [h]
//   trip time         T = end - first sample                    [s]
//   average speed     s / T x 3600                              [km/h]; none when T = 0
//   maximum speed     the largest speed sample                  [km/h]
//   fuel used         F = integral of q dt                      [l]
//   consumption       F / s x 100                               [l/100 km]; none when s = 0
//   fuel rate now     q of the values held at the end           [l/h]
//   consumption now   q / v x 100 of the values held            [l/100 km]; none when v = 0
//
// The fuel rate q comes from engine speed n [rpm] and injection duration
// Dv [ms], with the trip computer's constants in one of two forms:
//
//   injector flow Qi [cm3/min] and cylinders z, a four-stroke engine with one
//   injection per cylinder per cycle (n/2 injections a minute per cylinder):
//     q [l/s] = z x (n / 120) [1/s] x (Dv / 1000) [s] x (Qi / 60) [cm3/s] / 1000
//             = z x Qi x n x Dv / 7.2e9
//   one calibration factor K [l/(h x rpm x ms)]:
//     q [l/h] = K x n x Dv,   q [l/s] = K x n x Dv / 3600
//
// Both are proportional to n x Dv, so the model keeps the integral of n x Dv
// over time and applies the constants when readings are asked for: the
// technician may enter or change them at any time during or after a run.
//
// Worked by hand: 60 km/h held for 60 s is 60 x 60/3600 = 1.000 km. 2000 rpm
// and 3 ms held for 60 s, 4 cylinders, 200 cm3/min: 4 x 2000/120 = 66.67
// injections a second, open 66.67 x 0.003 = 0.2 s each second, at
// 200/60 = 3.333 cm3/s: 0.6667 cm3/s, 40 cm3 in 60 s = 0.0400 l (2.4 l/h);
// with the 1.000 km above, 4.00 l/100 km. The same with K = 0.0004:
// 0.0004 x 2000 x 3 = 2.4 l/h, 0.0400 l in 60 s.
//
// Samples are taken in time order; one that is dated before the latest
// sample is counted at the latest sample's time. Values that are not finite
// are ignored, negative ones count as 0. Not thread-safe: one thread feeds
// and reads it. No Qt.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "ecu_interfaces.h"

// One decoded answer's contribution.
struct TTripSample {
  int64_t TimeUs = 0;
  std::optional<double> SpeedKmh;
  std::optional<double> EngineRpm;
  std::optional<double> InjectionMs;
};

struct TLiveRecord;
// The sample that one decoded live data answer gives at TimeUs: its vehicle
// speed, engine speed and injection duration, where it carries them.
TTripSample TripSampleOf(int64_t TimeUs, const TLiveRecord& Record);

// The trip computer's fuel constants as the technician enters them.
struct TFuelConstants {
  enum class TMethod : uint8_t {
    None,          // not entered: no fuel readings
    InjectorFlow,  // injector flow and number of cylinders
    Factor,        // one calibration factor K
  };
  TMethod Method = TMethod::None;
  double InjectorFlowCcMin = 0;  // cm3/min of one injector held open
  int Cylinders = 0;
  double FactorK = 0;  // l/h per rpm per ms of injection

  static TFuelConstants Injector(double FlowCcMin, int Cylinders);
  static TFuelConstants Factor(double K);
  // What the bench assumes until the technician enters others: injectors of
  // 200 cm3/min on four cylinders. The scenario oracle and the virtual trip
  // computer both start from it, so that their readings agree.
  static TFuelConstants BenchDefault() { return Injector(200, 4); }

  // Flow and K finite and above 0, cylinders 1..64.
  bool Valid() const;
  // Litres used while n x Dv = RpmMsSeconds (rpm x ms x s); none when not
  // valid.
  std::optional<double> Litres(long double RpmMsSeconds) const;
};

// What the trip computer should display.
struct TTripReadings {
  double DistanceKm = 0;
  double TripTimeS = 0;
  std::optional<double> AverageSpeedKmh;  // none when the trip time is 0
  double MaxSpeedKmh = 0;
  std::optional<double> FuelL;              // none without valid fuel constants
  std::optional<double> ConsumptionL100Km;  // none without fuel or when the distance is 0
  std::optional<double> FuelRateLh;         // now; none without valid fuel constants
  std::optional<double> InstantL100Km;      // now; none without fuel rate or at standstill
};

class TTripModel {
public:
  // Forgets every sample: a new trip. The fuel constants stay.
  void Reset();
  void AddSample(const TTripSample& Sample);

  void SetFuelConstants(const TFuelConstants& Value) { FFuel = Value; }
  const TFuelConstants& FuelConstants() const { return FFuel; }

  // A sample has been taken since the start or Reset.
  bool Started() const { return FStarted; }
  int64_t FirstUs() const { return FFirstUs; }
  int64_t LastUs() const { return FLastUs; }

  // The readings of a trip that ends at EndUs (an end before the latest
  // sample counts as that sample's time). Nothing changes: it may be asked
  // for as often as wanted while samples keep coming.
  TTripReadings Readings(int64_t EndUs) const;

private:
  TFuelConstants FFuel;
  bool FStarted = false;
  int64_t FFirstUs = 0, FLastUs = 0;
  // The values held since the latest sample.
  double FSpeed = 0, FRpm = 0, FInjection = 0;
  double FMaxSpeed = 0;
  // Up to FLastUs: integral of speed (km/h x us) and of n x Dv (rpm x ms x us).
  long double FSpeedUs = 0, FRpmMsUs = 0;
};

// Feeds a trip model from the answers that the unit sends: every live data
// answer is decoded as the variant selected at that moment and its speed,
// engine speed and injection duration become a sample. Other answers, and
// answers that a trip computer could not read (a wrong checksum, a cut
// frame, a negative response), leave the held values as they are.
//
// The window's observer tee (or the command-line program) calls AddAnswer
// for each frame it hands to the port; as a TEcuObserver it takes the time
// from Clock and the variant from Variant when the emulator reports an
// answer. An answer that goes out later than its request (held back by a
// fault rule) is given to AddAnswer by whoever sends it, with its time.
class TTripFeed : public TEcuObserver {
public:
  using TClock = std::function<int64_t()>;
  using TVariant = std::function<int()>;

  // Clock: microseconds of a monotonic clock; Variant: 1, 2 or 3.
  TTripFeed(TClock Clock, TVariant Variant);

  // One answer frame as sent at TimeUs. True when it gave the model a sample.
  bool AddAnswer(int64_t TimeUs, int Variant, const uint8_t* Bytes, size_t Count);
  // The readings of the trip so far, ending now by the clock.
  TTripReadings Readings() const { return FModel.Readings(FClock()); }

  TTripModel& Model() { return FModel; }
  const TTripModel& Model() const { return FModel; }
  // Answers that gave a sample, and answers that did not.
  uint64_t Samples() const { return FSamples; }
  uint64_t Ignored() const { return FIgnored; }

  // TEcuObserver: only the answers count.
  void FrameReceived(const uint8_t*, int, const int64_t*, int) override {}
  void FrameOutcome(TEcuOutcome) override {}
  void AnswerSent(const uint8_t* Bytes, int Count) override;
  void BytesDropped(const uint8_t*, int, int64_t, TEcuOutcome) override {}

private:
  TClock FClock;
  TVariant FVariant;
  TTripModel FModel;
  uint64_t FSamples = 0, FIgnored = 0;
};
