// The trip model against values worked out by hand, and fed through the
// emulator's own answers.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../emulator/fakes.h"
#include "numtext.h"
#include "trip_model.h"

namespace {

constexpr int64_t Second = 1000000;
const std::optional<double> None;

TTripSample At(double Seconds, std::optional<double> Speed, std::optional<double> Rpm = None,
               std::optional<double> Injection = None) {
  return {static_cast<int64_t>(std::llround(Seconds * Second)), Speed, Rpm, Injection};
}

TEST(TripModel, ConstantDrivesWorkedByHand) {
  // 60 km/h for 60 s: 60 x 60 / 3600 = 1.000 km, whether sent once or polled
  // every 100 ms.
  TTripModel Once, Polled;
  Once.AddSample(At(5, 60));
  for (int I = 0; I < 600; ++I) Polled.AddSample(At(5 + I * 0.1, 60));
  for (const TTripModel* M : {&Once, &Polled}) {
    const TTripReadings R = M->Readings(65 * Second);
    EXPECT_NEAR(R.DistanceKm, 1.0, 1e-12);
    EXPECT_DOUBLE_EQ(R.TripTimeS, 60);
    EXPECT_NEAR(R.AverageSpeedKmh.value(), 60, 1e-9);
    EXPECT_EQ(R.MaxSpeedKmh, 60);
    EXPECT_FALSE(R.FuelL) << "no fuel constants entered";
    EXPECT_FALSE(R.ConsumptionL100Km);
  }

  // 60 km/h, 2000 rpm and 3 ms for 60 s, 4 cylinders of 200 cm3/min:
  // 2000/120 = 16.67 injections a second per cylinder, x 4 = 66.67 a second,
  // each open 0.003 s: 0.2 s open per second; 200/60 = 3.333 cm3/s while
  // open, so 0.6667 cm3/s, 40 cm3 = 0.0400 l in 60 s; over 1.000 km that is
  // 4.00 l/100 km. The factor K = 0.0004 l/(h rpm ms) gives 0.0004 x 2000 x 3
  // = 2.4 l/h, the same 0.0400 l in 60 s.
  TTripModel M;
  M.AddSample(At(0, 60, 2000, 3));
  for (const TFuelConstants& C : {TFuelConstants::Injector(200, 4), TFuelConstants::Factor(0.0004)}) {
    M.SetFuelConstants(C);
    const TTripReadings R = M.Readings(60 * Second);
    EXPECT_NEAR(R.FuelL.value(), 0.0400, 1e-12);
    EXPECT_NEAR(R.ConsumptionL100Km.value(), 4.00, 1e-9);
  }
}

TEST(TripModel, ValuesHoldUntilTheirNextSampleAtUnevenTimes) {
  // Speed 36 km/h from 0 s, 72 from 10 s, 0 from 25 s, end at 40 s:
  // 36 x 10/3600 + 72 x 15/3600 + 0 = 0.1 + 0.3 = 0.4 km, average 0.4 km /
  // 40 s = 36 km/h. Engine speed and injection come in their own samples:
  // n x Dv is 0 until 5 s (no injection yet), 1200 x 2 x 15 s from 5 to
  // 20 s, 2400 x 2 x 10 s to 30 s, 2400 x 4 x 10 s to 40 s: 36000 + 48000 +
  // 96000 = 180000 rpm ms s; with K = 0.001 that is 180000 x 0.001 / 3600 =
  // 0.05 l, 12.5 l/100 km.
  TTripModel M;
  M.SetFuelConstants(TFuelConstants::Factor(0.001));
  const std::vector<TTripSample> Samples = {At(0, 36),          At(2, None, 1200), At(5, None, None, 2), At(10, 72),
                                            At(20, None, 2400), At(25, 0),         At(30, None, None, 4)};
  for (const TTripSample& S : Samples) M.AddSample(S);
  TTripReadings R = M.Readings(40 * Second);
  EXPECT_NEAR(R.DistanceKm, 0.4, 1e-12);
  EXPECT_NEAR(R.AverageSpeedKmh.value(), 36, 1e-9);
  EXPECT_EQ(R.MaxSpeedKmh, 72);
  EXPECT_NEAR(R.FuelL.value(), 0.05, 1e-12);
  EXPECT_NEAR(R.ConsumptionL100Km.value(), 12.5, 1e-9);

  // Readings in between change nothing and count the held values to then:
  // at 15 s, 0.1 + 72 x 5/3600 = 0.2 km; 1200 x 2 x 10 s = 24000 rpm ms s.
  TTripModel Half;
  Half.SetFuelConstants(TFuelConstants::Factor(0.001));
  for (const TTripSample& S : Samples) {
    if (S.TimeUs > 15 * Second) break;
    Half.AddSample(S);
  }
  R = Half.Readings(15 * Second);
  EXPECT_NEAR(R.DistanceKm, 0.2, 1e-12);
  EXPECT_DOUBLE_EQ(R.TripTimeS, 15);
  EXPECT_NEAR(R.FuelL.value(), 24000 * 0.001 / 3600, 1e-15);
  for (const TTripSample& S : Samples) {
    if (S.TimeUs > 15 * Second) Half.AddSample(S);
  }
  EXPECT_NEAR(Half.Readings(40 * Second).DistanceKm, 0.4, 1e-12);
  // An end before the latest sample counts as that sample's time (30 s):
  // 0.4 km, as nothing is driven after 25 s.
  EXPECT_DOUBLE_EQ(Half.Readings(12 * Second).TripTimeS, 30);

  // A sample dated before the latest one counts at the latest time; not
  // finite values are no values; a negative speed counts as 0.
  TTripModel Odd;
  Odd.AddSample(At(10, 36));
  Odd.AddSample(At(5, 72));  // taken at 10 s
  Odd.AddSample(At(20, std::numeric_limits<double>::quiet_NaN()));
  Odd.AddSample(At(30, -5));
  EXPECT_NEAR(Odd.Readings(40 * Second).DistanceKm, 72 * 20 / 3600.0, 1e-12);
}

TEST(TripModel, MaximumSpeedAndTripsThatGoNowhere) {
  // A peak sent once and replaced 100 ms later is still the maximum.
  TTripModel M;
  M.AddSample(At(0, 50));
  M.AddSample(At(1, 130));
  M.AddSample(At(1.1, 80));
  M.AddSample(At(2, None, 900, 2));
  EXPECT_EQ(M.Readings(10 * Second).MaxSpeedKmh, 130);

  // Idling in place: fuel but no distance, so no consumption; the average
  // speed over a trip time above 0 is 0. 900 rpm x 2 ms x 60 s = 108000,
  // 4 cylinders of 200 cm3/min: 4 x 200 x 108000 / 7.2e9 = 0.012 l.
  TTripModel Idle;
  Idle.SetFuelConstants(TFuelConstants::Injector(200, 4));
  Idle.AddSample(At(0, 0, 900, 2));
  TTripReadings R = Idle.Readings(60 * Second);
  EXPECT_EQ(R.DistanceKm, 0);
  EXPECT_EQ(R.AverageSpeedKmh.value(), 0);
  EXPECT_NEAR(R.FuelL.value(), 0.012, 1e-12);
  EXPECT_FALSE(R.ConsumptionL100Km);

  // No sample yet: no trip time, no average; a sample without values does not
  // start the trip. Reset forgets the trip and keeps the constants.
  TTripModel Empty;
  Empty.SetFuelConstants(TFuelConstants::Factor(0.001));
  Empty.AddSample(At(3, None));
  EXPECT_FALSE(Empty.Started());
  R = Empty.Readings(60 * Second);
  EXPECT_EQ(R.TripTimeS, 0);
  EXPECT_FALSE(R.AverageSpeedKmh);
  EXPECT_EQ(R.FuelL.value(), 0);
  Idle.Reset();
  EXPECT_FALSE(Idle.Started());
  EXPECT_EQ(Idle.Readings(60 * Second).FuelL.value(), 0);
  EXPECT_EQ(Idle.FuelConstants().Cylinders, 4);

  // Constants that a trip computer cannot use give no fuel reading.
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  for (const TFuelConstants& C : {TFuelConstants(), TFuelConstants::Injector(200, 0), TFuelConstants::Injector(0, 4),
                                  TFuelConstants::Injector(NaN, 4), TFuelConstants::Factor(-1),
                                  TFuelConstants::Factor(std::numeric_limits<double>::infinity())}) {
    EXPECT_FALSE(C.Valid());
    M.SetFuelConstants(C);
    EXPECT_FALSE(M.Readings(10 * Second).FuelL);
  }
}

// The feed listening to the real emulator: variant 1 polled for 60 s at
// 60 km/h, 2000 rpm, 3 ms. The unit sends 3 ms as D = Round(3 x 65535/175)
// = 1123, which reads back as 1123 x 175/65535 ms; speed 60 and 2000 rpm
// are exact codes.
TEST(TripFeed, ReadsTheAnswersTheUnitSent) {
  // The panel's texts are those of a comma locale.
  struct TComma {
    TComma() { SetDecimalSeparator(','); }
    ~TComma() { SetDecimalSeparator('.'); }
  } Comma;
  TEcuBench B;
  int64_t Now = 0;
  TTripFeed Feed([&] { return Now; }, [&] { return B.Panel.ActiveVariant(); });
  Feed.Model().SetFuelConstants(TFuelConstants::Injector(200, 4));
  B.Ecu.SetObserver(&Feed);
  B.Start();
  B.Panel.Fields[TEcuField::VSS] = "60";
  B.Panel.Fields[TEcuField::RPM] = "2000";
  B.Panel.Fields[TEcuField::Dv] = "3";
  for (Now = 0; Now < 60 * Second; Now += Second / 10) {
    B.Answer(WithChecksum({0x82, 0x11, 0xF1, 0x21, 0x06}));
    B.Answer(WithChecksum({0x82, 0x11, 0xF1, 0x21, 0x04}));
    B.Answer(WithChecksum({0x82, 0x11, 0xF1, 0x21, 0x03}));  // no trip values
  }
  EXPECT_EQ(Feed.Samples(), 1200u);
  EXPECT_EQ(Feed.Ignored(), 601u);  // 600 x 0x03 and the StartCommunication answer
  const double Dv = 1123 * 175.0 / 65535;
  TTripReadings R = Feed.Readings();
  EXPECT_NEAR(R.DistanceKm, 1.0, 1e-12);
  EXPECT_NEAR(R.FuelL.value(), 4 * 200 * 2000 * Dv * 60 / 7.2e9, 1e-12);

  // What a trip computer cannot read changes nothing: a wrong checksum, a cut
  // answer, a negative response. Then variant 2 at 100 km/h for 36 s adds
  // 1.000 km; its records are read as variant 2's.
  const TBytes Fast = WithChecksum({0x8E, 0xF1, 0x11, 0x61, 0x06, 0xC8, 0x00, 0x00, 0x80, 0x0C, 0, 0, 0, 0, 0, 0, 0});
  TBytes Bad = Fast;
  Bad.back() ^= 0x01;
  EXPECT_FALSE(Feed.AddAnswer(Now, 1, Bad.data(), Bad.size()));
  EXPECT_FALSE(Feed.AddAnswer(Now, 1, Fast.data(), Fast.size() - 1));
  const TBytes Refused = WithChecksum({0x83, 0xF1, 0x11, 0x7F, 0x21, 0x21});
  EXPECT_FALSE(Feed.AddAnswer(Now, 1, Refused.data(), Refused.size()));
  B.Panel.Variant = 2;
  B.Panel.Fields[TEcuField::VSS] = "100";
  B.Answer(WithChecksum({0x82, 0x11, 0xF1, 0x21, 0x06}));
  Now += 36 * Second;
  R = Feed.Readings();
  EXPECT_NEAR(R.DistanceKm, 2.0, 1e-12);
  EXPECT_EQ(R.MaxSpeedKmh, 100);
  EXPECT_DOUBLE_EQ(R.TripTimeS, 96);
}

}  // namespace
