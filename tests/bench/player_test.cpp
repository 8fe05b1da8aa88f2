// The scenario player on a clock the test moves, and the edit field texts
// it gives for the values.

#include <gtest/gtest.h>

#include "numtext.h"
#include "scenario_player.h"

namespace {

// VSS from 0 to 100 km/h in 10 s, linearly; RPM held at 1000 then 3000
// from 4 s; a pass of 10 s.
TScenario RampScenario(int Repeat) {
  TScenario S;
  S.Name = "ramp";
  S.Repeat = Repeat;
  TTrack Vss;
  Vss.Points = {{0, 0}, {10, 100}};
  S.Tracks[FieldIndex(TEcuField::VSS)] = Vss;
  TTrack Rpm;
  Rpm.Interpolation = TInterpolation::Hold;
  Rpm.Points = {{0, 1000}, {4, 3000}};
  S.Tracks[FieldIndex(TEcuField::RPM)] = Rpm;
  return S;
}

class ScenarioPlayer : public ::testing::Test {
protected:
  int64_t NowMs = 5'000'000;  // any start
  TScenarioPlayer Make(int Repeat) {
    return TScenarioPlayer(RampScenario(Repeat), [this] { return NowMs; });
  }
};

TEST_F(ScenarioPlayer, PlaysPausesResumesAndStops) {
  TScenarioPlayer P = Make(1);
  EXPECT_EQ(P.State(), TPlayState::Stopped);
  EXPECT_EQ(P.TotalMs(), 10000);
  EXPECT_FALSE(P.ScenarioTimeMs()) << "no scenario time before playing";
  NowMs += 1000;
  EXPECT_EQ(P.PositionMs(), 0) << "the clock alone moves nothing";

  P.Play();
  NowMs += 2500;
  EXPECT_EQ(P.State(), TPlayState::Playing);
  EXPECT_EQ(P.PositionMs(), 2500);
  EXPECT_EQ(P.ScenarioTimeMs(), 2500);
  EXPECT_DOUBLE_EQ(P.Values()[FieldIndex(TEcuField::VSS)].value(), 25);

  P.Play();  // pressed again while playing: nothing changes
  NowMs += 500;
  EXPECT_EQ(P.PositionMs(), 3000);

  P.Pause();
  NowMs += 60'000;
  EXPECT_EQ(P.State(), TPlayState::Paused);
  EXPECT_EQ(P.PositionMs(), 3000) << "paused: the position holds";
  EXPECT_EQ(P.ScenarioTimeMs(), 3000);
  P.Pause();  // twice: still paused
  P.Resume();
  NowMs += 1000;
  EXPECT_EQ(P.PositionMs(), 4000);
  P.Resume();  // while playing: nothing
  NowMs += 1000;
  EXPECT_EQ(P.PositionMs(), 5000);

  P.Pause();
  NowMs += 100;
  P.Play();  // play while paused resumes, it does not start over
  NowMs += 1000;
  EXPECT_EQ(P.PositionMs(), 6000);

  P.Stop();
  EXPECT_EQ(P.State(), TPlayState::Stopped);
  EXPECT_EQ(P.PositionMs(), 0);
  EXPECT_FALSE(P.ScenarioTimeMs());
  P.Resume();  // stopped: resume does not start
  NowMs += 1000;
  EXPECT_EQ(P.State(), TPlayState::Stopped);
  EXPECT_EQ(P.PositionMs(), 0);
  P.Play();
  NowMs += 1500;
  EXPECT_EQ(P.PositionMs(), 1500) << "from the start again";
}

TEST_F(ScenarioPlayer, SpeedFactorScalesTimeFromWhenItIsSet) {
  TScenarioPlayer P = Make(1);
  ASSERT_TRUE(P.SetSpeed(20));
  P.Play();
  NowMs += 100;
  EXPECT_EQ(P.PositionMs(), 2000);
  // Changed while playing: what was played stays, the rest runs at 1x.
  ASSERT_TRUE(P.SetSpeed(1));
  NowMs += 100;
  EXPECT_EQ(P.PositionMs(), 2100);
  ASSERT_TRUE(P.SetSpeed(0.5));
  NowMs += 1000;
  EXPECT_EQ(P.PositionMs(), 2600);
  for (double Bad : {0.0, -1.0, 0.001, 1001.0, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_FALSE(P.SetSpeed(Bad)) << Bad;
  }
  EXPECT_EQ(P.Speed(), 0.5);
  // Changed while paused: takes effect on resuming.
  P.Pause();
  ASSERT_TRUE(P.SetSpeed(10));
  NowMs += 1000;
  EXPECT_EQ(P.PositionMs(), 2600);
  P.Resume();
  NowMs += 100;
  EXPECT_EQ(P.PositionMs(), 3600);
  // At 20x the whole pass takes half a second of the clock.
  P.Stop();
  P.SetSpeed(20);
  P.Play();
  NowMs += 499;
  EXPECT_FALSE(P.Finished());
  NowMs += 1;
  EXPECT_TRUE(P.Finished());
}

TEST_F(ScenarioPlayer, RepeatsPassesAndFinishesAtTheEndOfTheLast) {
  TScenarioPlayer P = Make(3);
  EXPECT_EQ(P.PassMs(), 10000);
  EXPECT_EQ(P.TotalMs(), 30000);
  P.Play();
  EXPECT_EQ(P.Pass(), 1);
  NowMs += 9999;
  EXPECT_EQ(P.Pass(), 1);
  EXPECT_EQ(P.PositionMs(), 9999);
  NowMs += 1;
  EXPECT_EQ(P.Pass(), 2) << "exactly at the end of a pass the next one begins";
  EXPECT_EQ(P.PositionMs(), 0);
  EXPECT_DOUBLE_EQ(P.Values()[FieldIndex(TEcuField::VSS)].value(), 0);
  EXPECT_DOUBLE_EQ(P.Values()[FieldIndex(TEcuField::RPM)].value(), 1000);
  NowMs += 15000;
  EXPECT_EQ(P.Pass(), 3);
  EXPECT_EQ(P.PositionMs(), 5000);
  EXPECT_EQ(P.ElapsedMs(), 25000);
  EXPECT_EQ(P.ScenarioTimeMs(), 5000) << "the rules' windows count within the pass";
  EXPECT_DOUBLE_EQ(P.Values()[FieldIndex(TEcuField::RPM)].value(), 3000);

  NowMs += 5000;
  EXPECT_TRUE(P.Finished());
  EXPECT_EQ(P.State(), TPlayState::Finished);
  NowMs += 60'000;
  EXPECT_EQ(P.ElapsedMs(), 30000);
  EXPECT_EQ(P.Pass(), 3);
  EXPECT_EQ(P.PositionMs(), 10000) << "finished: at the end of the last pass";
  EXPECT_DOUBLE_EQ(P.Values()[FieldIndex(TEcuField::VSS)].value(), 100);
  P.Pause();
  EXPECT_EQ(P.State(), TPlayState::Finished) << "nothing to pause";

  P.Play();  // after the end: from the start
  EXPECT_EQ(P.State(), TPlayState::Playing);
  EXPECT_EQ(P.Pass(), 1);
  NowMs += 1000;
  EXPECT_EQ(P.PositionMs(), 1000);
}

TEST_F(ScenarioPlayer, ValuesOnlyForQuantitiesWithATrack) {
  TScenarioPlayer P = Make(1);
  const TFieldValues V = P.ValuesAt(7500);
  for (int I = 0; I < EcuFieldCount; ++I) {
    const auto F = static_cast<TEcuField>(I);
    EXPECT_EQ(V[I].has_value(), F == TEcuField::VSS || F == TEcuField::RPM) << FieldName(F);
  }
  EXPECT_DOUBLE_EQ(*V[FieldIndex(TEcuField::VSS)], 75);
  EXPECT_DOUBLE_EQ(*V[FieldIndex(TEcuField::RPM)], 3000);
}

TEST_F(ScenarioPlayer, AnEmptyPassFinishesAtOnce) {
  TScenario S = RampScenario(5);
  S.Tracks[FieldIndex(TEcuField::VSS)]->Points = {{0, 40}};
  S.Tracks[FieldIndex(TEcuField::RPM)]->Points = {{0, 900}};
  TScenarioPlayer P(S, [this] { return NowMs; });
  EXPECT_EQ(P.TotalMs(), 0);
  P.Play();
  EXPECT_TRUE(P.Finished());
  EXPECT_EQ(P.PositionMs(), 0);
  EXPECT_EQ(P.Pass(), 5);
  EXPECT_DOUBLE_EQ(P.Values()[FieldIndex(TEcuField::VSS)].value(), 40);
}

class GaugeText : public ::testing::Test {
protected:
  void SetUp() override { FSeparator = DecimalSeparator(); }
  void TearDown() override { SetDecimalSeparator(FSeparator); }
  char FSeparator = '.';
};

TEST_F(GaugeText, AsTheGaugeHandlersWriteThem) {
  SetDecimalSeparator(',');
  struct TCase {
    TEcuField Field;
    double Value;
    const char* Text;
  };
  for (const TCase& C : std::vector<TCase>{
           {TEcuField::Dv, 3.275, "3,3"},       // one decimal
           {TEcuField::Dv, 0, "0,0"},           //
           {TEcuField::Ubat, 12, "12,00"},      // two decimals
           {TEcuField::Ubat, 12.345, "12,34"},  // grid position 617.25 -> 617: 12.34
           {TEcuField::VSS, 2.5, "2"},          // whole numbers: halves to even
           {TEcuField::VSS, 3.5, "4"},          //
           {TEcuField::VSS, 300, "250"},        // clamped as the gauge clamps
           {TEcuField::TOG, -45, "-40"},        //
           {TEcuField::IAT, -12.4, "-12"},      //
           {TEcuField::RPM, 1234, "1230"},      // the gauge's grid: 10 rpm a position
           {TEcuField::RPM, 10000, "10000"},    // no thousands separator
           {TEcuField::IMAP, 127.3, "127"},     // grid 0.255: 127.29 -> 127
           {TEcuField::ATP, 99.96, "100"},      //
       }) {
    EXPECT_EQ(GaugeFieldText(C.Field, C.Value), C.Text) << FieldName(C.Field) << " " << C.Value;
  }
  SetDecimalSeparator('.');
  EXPECT_EQ(GaugeFieldText(TEcuField::Ubat, 13.8), "13.80");
  EXPECT_EQ(GaugeFieldText(TEcuField::Dv, 2.5), "2.5");
  EXPECT_FLOAT_EQ(GaugeGridValue(TEcuField::Ubat, 12.345), 12.34f);
  EXPECT_FLOAT_EQ(GaugeGridValue(TEcuField::VSS, 0.375), 0.5f);  // 1.5 positions -> 2
  EXPECT_FLOAT_EQ(GaugeGridValue(TEcuField::VSS, 0.125), 0.0f);  // 0.5 positions -> 0
}

}  // namespace
