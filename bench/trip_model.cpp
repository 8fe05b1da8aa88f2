#include "trip_model.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "record_decode.h"

namespace {

constexpr long double UsPerHour = 3600e6L;
constexpr long double UsPerSecond = 1e6L;

// A sample's value as the model holds it: not finite is no value, below 0 is 0.
std::optional<double> Held(const std::optional<double>& Value) {
  if (!Value || !std::isfinite(*Value)) return std::nullopt;
  return std::max(*Value, 0.0);
}

}  // namespace

TTripSample TripSampleOf(int64_t TimeUs, const TLiveRecord& Record) {
  TTripSample Sample;
  Sample.TimeUs = TimeUs;
  Sample.SpeedKmh = Record.Value(TLiveQuantity::Speed);
  Sample.EngineRpm = Record.Value(TLiveQuantity::EngineSpeed);
  Sample.InjectionMs = Record.Value(TLiveQuantity::Injection);
  return Sample;
}

TFuelConstants TFuelConstants::Injector(double FlowCcMin, int Cylinders) {
  TFuelConstants C;
  C.Method = TMethod::InjectorFlow;
  C.InjectorFlowCcMin = FlowCcMin;
  C.Cylinders = Cylinders;
  return C;
}

TFuelConstants TFuelConstants::Factor(double K) {
  TFuelConstants C;
  C.Method = TMethod::Factor;
  C.FactorK = K;
  return C;
}

bool TFuelConstants::Valid() const {
  switch (Method) {
    case TMethod::InjectorFlow:
      return std::isfinite(InjectorFlowCcMin) && InjectorFlowCcMin > 0 && Cylinders >= 1 && Cylinders <= 64;
    case TMethod::Factor: return std::isfinite(FactorK) && FactorK > 0;
    case TMethod::None: break;
  }
  return false;
}

std::optional<double> TFuelConstants::Litres(long double RpmMsSeconds) const {
  if (!Valid()) return std::nullopt;
  if (Method == TMethod::InjectorFlow) {
    // z x (n/120) x (Dv/1000) x (Qi/60) / 1000 litres a second.
    return static_cast<double>(Cylinders * static_cast<long double>(InjectorFlowCcMin) * RpmMsSeconds / 7.2e9L);
  }
  // K x n x Dv litres an hour.
  return static_cast<double>(static_cast<long double>(FactorK) * RpmMsSeconds / 3600);
}

void TTripModel::Reset() {
  const TFuelConstants Fuel = FFuel;
  *this = TTripModel();
  FFuel = Fuel;
}

void TTripModel::AddSample(const TTripSample& Sample) {
  const std::optional<double> Speed = Held(Sample.SpeedKmh);
  const std::optional<double> Rpm = Held(Sample.EngineRpm);
  const std::optional<double> Injection = Held(Sample.InjectionMs);
  if (!Speed && !Rpm && !Injection) return;
  if (!FStarted) {
    FStarted = true;
    FFirstUs = FLastUs = Sample.TimeUs;
  }
  // The held values up to this sample, then the new ones from it on.
  const int64_t Time = std::max(Sample.TimeUs, FLastUs);
  const auto Dt = static_cast<long double>(Time - FLastUs);
  FSpeedUs += FSpeed * Dt;
  FRpmMsUs += static_cast<long double>(FRpm) * FInjection * Dt;
  FLastUs = Time;
  if (Speed) {
    FSpeed = *Speed;
    FMaxSpeed = std::max(FMaxSpeed, FSpeed);
  }
  if (Rpm) FRpm = *Rpm;
  if (Injection) FInjection = *Injection;
}

TTripReadings TTripModel::Readings(int64_t EndUs) const {
  TTripReadings R;
  long double SpeedUs = FSpeedUs, RpmMsUs = FRpmMsUs, TripUs = 0;
  if (FStarted) {
    const int64_t End = std::max(EndUs, FLastUs);
    const auto Dt = static_cast<long double>(End - FLastUs);
    SpeedUs += FSpeed * Dt;
    RpmMsUs += static_cast<long double>(FRpm) * FInjection * Dt;
    TripUs = static_cast<long double>(End - FFirstUs);
    R.TripTimeS = static_cast<double>(TripUs / UsPerSecond);
  }
  R.DistanceKm = static_cast<double>(SpeedUs / UsPerHour);
  R.MaxSpeedKmh = FMaxSpeed;
  if (TripUs > 0) R.AverageSpeedKmh = static_cast<double>(SpeedUs / TripUs);
  R.FuelL = FFuel.Litres(RpmMsUs / UsPerSecond);
  if (R.FuelL && R.DistanceKm > 0) R.ConsumptionL100Km = *R.FuelL / R.DistanceKm * 100;
  // The held values for an hour: litres an hour.
  R.FuelRateLh = FFuel.Litres(static_cast<long double>(FRpm) * FInjection * 3600);
  if (R.FuelRateLh && FSpeed > 0) R.InstantL100Km = *R.FuelRateLh / FSpeed * 100;
  return R;
}

TTripFeed::TTripFeed(TClock Clock, TVariant Variant) : FClock(std::move(Clock)), FVariant(std::move(Variant)) {}

bool TTripFeed::AddAnswer(int64_t TimeUs, int Variant, const uint8_t* Bytes, size_t Count) {
  const std::optional<TLiveRecord> Record = DecodeLiveRecord(Variant, Bytes, Count);
  TTripSample Sample;
  Sample.TimeUs = TimeUs;
  if (Record) Sample = TripSampleOf(TimeUs, *Record);
  if (!Sample.SpeedKmh && !Sample.EngineRpm && !Sample.InjectionMs) {
    ++FIgnored;
    return false;
  }
  FModel.AddSample(Sample);
  ++FSamples;
  return true;
}

void TTripFeed::AnswerSent(const uint8_t* Bytes, int Count) {
  AddAnswer(FClock(), FVariant(), Bytes, Count > 0 ? static_cast<size_t>(Count) : 0);
}
