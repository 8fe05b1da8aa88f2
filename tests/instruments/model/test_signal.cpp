// The value model of the analog instruments without any widget: the derived
// factors of the signal settings, the bounds they refuse, copying, and the
// mapping between values and grid positions with its rounding and single
// precision. Linked against the Qt-free model only; no QApplication.
#include "absignal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

// A settings object of another class, for the refused copies.
class TOtherSettings : public TAbPersistent {
public:
  const char* ClassName() const override { return "TOtherSettings"; }
};

// The ranges of the tester's eight instruments, all on the grid 0..1000.
struct TRange {
  const char* Name;
  float From;
  float To;
};
const TRange TesterRanges[] = {
    {"VSS", 0.0f, 250.0f},  {"RPM", 0.0f, 10000.0f}, {"TOG", -40.0f, 160.0f}, {"ATP", 0.0f, 100.0f},
    {"IMAP", 0.0f, 255.0f}, {"Dv", 0.0f, 25.0f},     {"Ubat", 0.0f, 20.0f},   {"IAT", -40.0f, 160.0f},
};

}  // namespace

TEST(SignalSettings, DerivedFactorsAndSizingPattern) {
  TSignalSettings S;
  // The initial range 0..100 on 0..1000 is usable before any change.
  EXPECT_EQ(S.ValuePerDigit(), 0.1f);
  EXPECT_EQ(S.DigitsPerValue(), 10.0f);
  EXPECT_EQ(S.PerMilleFactor(), 10.0f);
  EXPECT_EQ(S.SizingPattern(), "##0.0");
  EXPECT_EQ(S.DigitOfValue(99.5f), 995);

  S.SetValueRange(-40.0f, 160.0f);
  EXPECT_EQ(S.ValueSpan(), 200.0f);
  EXPECT_EQ(S.DigitalSpan(), 1000);
  EXPECT_EQ(S.ValuePerDigit(), 0.2f);
  EXPECT_EQ(S.DigitsPerValue(), 5.0f);
  EXPECT_EQ(S.PerMilleFactor(), 5.0f);
  EXPECT_EQ(S.ValueToPerMille(-40.0f), 0);
  EXPECT_EQ(S.ValueToPerMille(160.0f), 1000);
  EXPECT_EQ(S.ValueToPerMille(20.0f), 300);

  // Both bounds negative.
  S.SetValueRange(-300.0f, -100.0f);
  EXPECT_EQ(S.ValueFrom(), -300.0f);
  EXPECT_EQ(S.ValueSpan(), 200.0f);

  struct {
    const char* Format;
    const char* Sizing;
  } Cases[] = {
      {"##0.0", "##0.0"},
      {"##0;-##0.00", "-##0.00"},  // three before, six after: the remainder
      {"##0.00;-#0", "##0.00"},    // the longer first section
      {"#0;-0", "-0"},             // equal length: the part after
      {"0;;", ";"},                // everything after the first separator
  };
  for (const auto& C : Cases) {
    S.SetValueFormat(C.Format);
    EXPECT_EQ(S.SizingPattern(), C.Sizing) << C.Format;
  }
}

TEST(SignalSettings, BoundsThatWouldBreakTheRangeAreIgnored) {
  TSignalSettings S;
  int Notices = 0;
  S.SetOnChange([&](TAbPersistent*) { ++Notices; });

  S.SetValueTo(0.0f);      // equal to ValueFrom
  S.SetValueFrom(100.0f);  // equal to ValueTo
  S.SetValueFrom(150.0f);  // past ValueTo: reversed
  S.SetValueTo(-5.0f);     // below ValueFrom: reversed
  S.SetValueTo(std::numeric_limits<float>::quiet_NaN());
  S.SetValueTo(std::numeric_limits<float>::infinity());
  S.SetValueRange(-std::numeric_limits<float>::max(), std::numeric_limits<float>::max());  // span overflows
  S.SetDigitalTo(0);                                                                       // empty grid
  S.SetDigitalFrom(2000);                                                                  // reversed grid
  S.SetDigitalFrom(std::numeric_limits<int32_t>::min());                                   // span beyond int32
  EXPECT_EQ(Notices, 0);
  EXPECT_EQ(S.ValueFrom(), 0.0f);
  EXPECT_EQ(S.ValueTo(), 100.0f);
  EXPECT_EQ(S.DigitalFrom(), 0);
  EXPECT_EQ(S.DigitalTo(), 1000);

  // A range moved past its old bounds in one call keeps both bounds.
  S.SetValueRange(200.0f, 300.0f);
  EXPECT_EQ(S.ValueFrom(), 200.0f);
  EXPECT_EQ(S.ValueTo(), 300.0f);
  S.SetValueRange(-50.0f, -10.0f);
  EXPECT_EQ(S.ValueFrom(), -50.0f);
  EXPECT_EQ(S.ValueTo(), -10.0f);
  EXPECT_EQ(S.ValueSpan(), 40.0f);
  S.SetDigitalRange(5000, 6000);
  EXPECT_EQ(S.DigitalFrom(), 5000);
  EXPECT_EQ(S.DigitalTo(), 6000);
  EXPECT_EQ(S.DigitalSpan(), 1000);
  EXPECT_GT(Notices, 0);
}

TEST(SignalSettings, RangesRefusedInOneCallLeaveEverythingAsItWas) {
  TSignalSettings S;
  S.SetValueRange(-40.0f, 160.0f);
  int Notices = 0;
  S.SetOnChange([&](TAbPersistent*) { ++Notices; });
  const float Nan = std::numeric_limits<float>::quiet_NaN();
  const float Inf = std::numeric_limits<float>::infinity();
  const float Refused[][2] = {{5.0f, 5.0f}, {10.0f, -10.0f}, {Nan, 1.0f}, {0.0f, Nan}, {-Inf, 0.0f}, {0.0f, Inf}};
  for (const auto& R : Refused) S.SetValueRange(R[0], R[1]);
  const int32_t Max = std::numeric_limits<int32_t>::max();
  const int32_t Min = std::numeric_limits<int32_t>::min();
  const int32_t RefusedGrids[][2] = {{7, 7}, {1000, 0}, {Min, Max}, {-1, Max}, {Min, 1}};
  for (const auto& G : RefusedGrids) S.SetDigitalRange(G[0], G[1]);
  EXPECT_EQ(Notices, 0);
  EXPECT_EQ(S.ValueFrom(), -40.0f);
  EXPECT_EQ(S.ValueTo(), 160.0f);
  EXPECT_EQ(S.DigitalFrom(), 0);
  EXPECT_EQ(S.DigitalTo(), 1000);
  EXPECT_EQ(S.ValuePerDigit(), 0.2f);

  // The widest grids that still have an int32 span are taken.
  S.SetDigitalRange(-1, Max - 1);
  EXPECT_EQ(S.DigitalFrom(), -1);
  EXPECT_EQ(S.DigitalSpan(), Max);
  S.SetDigitalRange(0, Max);
  EXPECT_EQ(S.DigitalFrom(), 0);
  EXPECT_EQ(S.DigitalSpan(), Max);
}

TEST(SignalSettings, CopyGoesThroughTheSettersAndRefusesOtherClasses) {
  TSignalSettings A;
  A.SetValueRange(300.0f, 400.0f);
  A.SetDigitalRange(10, 20);
  A.SetName1("Напряжение");
  A.SetName2("борт.сети");
  A.SetValueUnit("В");
  A.SetValueFormat("##0.00");

  TSignalSettings B;
  B.Assign(A);
  EXPECT_EQ(B.ValueFrom(), 300.0f);
  EXPECT_EQ(B.ValueTo(), 400.0f);
  EXPECT_EQ(B.DigitalFrom(), 10);
  EXPECT_EQ(B.DigitalTo(), 20);
  EXPECT_EQ(B.Name1(), "Напряжение");
  EXPECT_EQ(B.Name2(), "борт.сети");
  EXPECT_EQ(B.ValueUnit(), "В");
  EXPECT_EQ(B.ValueFormat(), "##0.00");
  EXPECT_EQ(B.ValuePerDigit(), 10.0f);

  TOtherSettings Other;
  try {
    B.Assign(Other);
    FAIL() << "settings of another class were copied into signal settings";
  } catch (const EAbAssignError& E) {
    EXPECT_STREQ(E.what(), "Cannot assign a TOtherSettings to a TSignalSettings");
  }
  EXPECT_EQ(B.ValueFrom(), 300.0f);
}

TEST(SignalSettings, ChangeNoticeComesOnceAndAfterTheFactors) {
  TSignalSettings S;
  std::vector<float> SeenPerDigit;
  S.SetOnChange([&](TAbPersistent* Sender) {
    EXPECT_EQ(Sender, &S);
    SeenPerDigit.push_back(S.ValuePerDigit());
  });
  S.SetValueTo(200.0f);
  ASSERT_EQ(SeenPerDigit.size(), 1u);
  EXPECT_EQ(SeenPerDigit[0], 0.2f);  // the handler already sees the new factors

  // Storing what is already there notifies nobody.
  S.SetValueTo(200.0f);
  S.SetName1("SignalName1");
  S.SetValueUnit("%");
  S.SetDigitalRange(0, 1000);
  EXPECT_EQ(SeenPerDigit.size(), 1u);
  S.SetName2("x");
  EXPECT_EQ(SeenPerDigit.size(), 2u);
}

TEST(ValueMapping, EndsOfTheTesterRangesMapOntoEachOther) {
  for (const TRange& R : TesterRanges) {
    TSignalSettings S;
    S.SetValueRange(R.From, R.To);
    EXPECT_EQ(S.DigitOfValue(R.From), 0) << R.Name;
    EXPECT_EQ(S.DigitOfValue(R.To), 1000) << R.Name;
    EXPECT_EQ(S.ValueOfDigit(0), R.From) << R.Name;
    EXPECT_EQ(S.ValueOfDigit(1000), R.To) << R.Name;
    EXPECT_EQ(S.ValueToPerMille(R.From), 0) << R.Name;
    EXPECT_EQ(S.ValueToPerMille(R.To), 1000) << R.Name;
    // Values past the ends are clamped, the upper bound first.
    EXPECT_EQ(S.ClampValue(R.To + 1000.0f), R.To) << R.Name;
    EXPECT_EQ(S.ClampValue(R.From - 1000.0f), R.From) << R.Name;
    EXPECT_EQ(S.ClampValue(std::numeric_limits<float>::infinity()), R.To) << R.Name;
    EXPECT_EQ(S.ClampValue(-std::numeric_limits<float>::infinity()), R.From) << R.Name;
  }

  // A grid that does not start at zero: the ends move with it.
  TSignalSettings S;
  S.SetValueRange(-40.0f, 160.0f);
  S.SetDigitalRange(-500, 500);
  EXPECT_EQ(S.DigitOfValue(-40.0f), -500);
  EXPECT_EQ(S.DigitOfValue(160.0f), 500);
  EXPECT_EQ(S.DigitOfValue(20.0f), -200);
  EXPECT_EQ(S.ValueOfDigit(-500), -40.0f);
  EXPECT_EQ(S.ValueOfDigit(500), 160.0f);
  const int64_t Huge = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(S.ClampDigit(Huge), 500);
  EXPECT_EQ(S.ClampDigit(-Huge - 1), -500);
  EXPECT_EQ(S.ClampDigit(501), 500);
  EXPECT_EQ(S.ClampDigit(-501), -500);
  EXPECT_EQ(S.ClampDigit(0), 0);
}

TEST(ValueMapping, HalvesOfAGridStepGoToTheEvenPosition) {
  // The speed dial, 0..250 on 0..1000: a grid step is exactly 0.25 km/h, so
  // these values fall exactly on halves of a step.
  TSignalSettings S;
  S.SetValueRange(0.0f, 250.0f);
  struct {
    float Value;
    int32_t Digit;
  } Cases[] = {
      {0.125f, 0},  // 0.5
      {0.375f, 2},  // 1.5
      {0.625f, 2},  // 2.5
      {0.875f, 4},  // 3.5
      {249.875f, 1000}, {249.625f, 998}, {0.1f, 0}, {0.13f, 1},
  };
  for (const auto& C : Cases) EXPECT_EQ(S.DigitOfValue(C.Value), C.Digit) << C.Value;
  // Halves to even on the per-mille scale of the pointer as well.
  EXPECT_EQ(S.ValueToPerMille(0.125f), 0);
  EXPECT_EQ(S.ValueToPerMille(0.375f), 2);

  // Negative grid positions: -999.5 and -998.5 go to the even neighbours.
  S.SetDigitalRange(-1000, 0);
  EXPECT_EQ(S.DigitOfValue(0.125f), -1000);
  EXPECT_EQ(S.DigitOfValue(0.375f), -998);
  EXPECT_EQ(S.DigitOfValue(0.625f), -998);

  // 0..20 V: 12.345 is 617.25 grid steps; the grid point reads back as 12.34.
  S.SetDigitalRange(0, 1000);
  S.SetValueRange(0.0f, 20.0f);
  EXPECT_EQ(S.DigitOfValue(12.345f), 617);
  EXPECT_EQ(S.ValueOfDigit(617), 12.34f);
}

TEST(ValueMapping, FactorsAreReadBackInSinglePrecision) {
  // Engine speed, 0..10000: DigitsPerValue is the single 0.1f, a little more
  // than 0.1, so 5 rpm lies just above half a step and rounds up to 1 (the
  // exact half would go to even 0); 25 rpm likewise to 3, not 2.
  TSignalSettings Rpm;
  Rpm.SetValueRange(0.0f, 10000.0f);
  EXPECT_EQ(Rpm.DigitsPerValue(), 0.1f);
  EXPECT_EQ(Rpm.DigitOfValue(5.0f), 1);
  EXPECT_EQ(Rpm.DigitOfValue(25.0f), 3);
  EXPECT_EQ(Rpm.DigitOfValue(15.0f), 2);

  // Manifold pressure, 0..255: 3.1875 kPa is 12.5 steps exactly, but the
  // single DigitsPerValue (3.9215686) makes it 12.5000000149: 13, not 12.
  TSignalSettings Imap;
  Imap.SetValueRange(0.0f, 255.0f);
  EXPECT_EQ(Imap.DigitOfValue(3.1875f), 13);

  // Coolant, -40..160: ValuePerDigit is the single 0.2f (0.200000003), so
  // grid point 69 is -26.1999989, one single step above -26.2f.
  TSignalSettings Tog;
  Tog.SetValueRange(-40.0f, 160.0f);
  EXPECT_EQ(Tog.ValueOfDigit(69), std::nextafter(-26.2f, 0.0f));
  EXPECT_EQ(Tog.ValueOfDigit(300), 20.0f);
}

TEST(ValueMapping, NumbersBeyondTheGridSaturateInsteadOfOverflowing) {
  TSignalSettings S;
  S.SetValueRange(0.0f, 10000.0f);
  const float Max = std::numeric_limits<float>::max();
  const float Nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(S.DigitOfValue(Max), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(S.DigitOfValue(-Max), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(S.DigitOfValue(Nan), 0);
  EXPECT_EQ(S.ValueToPerMille(Max), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(S.ValueToPerMille(-Max), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(S.ValueToPerMille(Nan), 0);
  // Clamped first, as the controls do, the same numbers land on the ends.
  EXPECT_EQ(S.DigitOfValue(S.ClampValue(Max)), 1000);
  EXPECT_EQ(S.DigitOfValue(S.ClampValue(-Max)), 0);
}
