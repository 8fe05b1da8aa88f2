// Scale maths (labels, tick positions, metrics) and scale drawing read back
// from rendered images.
#include "abbevel.h"
#include "abscale.h"
#include "numtext.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <vector>

namespace {

class TDecimalSeparatorScope {
public:
  explicit TDecimalSeparatorScope(char C) : FSaved(DecimalSeparator()) { SetDecimalSeparator(C); }
  ~TDecimalSeparatorScope() { SetDecimalSeparator(FSaved); }

private:
  char FSaved;
};

QImage WhiteImage(int W, int H) {
  QImage Image(W, H, QImage::Format_RGB32);
  Image.fill(Qt::white);
  return Image;
}

bool IsDark(const QImage& Image, int X, int Y) { return qGray(Image.pixel(X, Y)) < 128; }

// Antialiased slanted lines spread over neighbouring pixels: some ink in the
// 3 x 3 block around p.
bool InkNear(const QImage& Image, QPoint P) {
  for (int Dy = -1; Dy <= 1; ++Dy)
    for (int Dx = -1; Dx <= 1; ++Dx)
      if (Image.valid(P.x() + Dx, P.y() + Dy) && qGray(Image.pixel(P.x() + Dx, P.y() + Dy)) < 160) return true;
  return false;
}

}  // namespace

TEST(ScaleLabels, EqualIntervalsFormattedWithThePattern) {
  // 0..255 in 8 steps of 31.875, rounded by the pattern: the linear scale
  // lists them from the top (ValueTo) down.
  EXPECT_EQ(AbScale::Labels(0, 255, 8, "#0", true),
            QStringList({"255", "223", "191", "159", "128", "96", "64", "32", "0"}));
  // The circular scale lists them from the start of the sweep.
  EXPECT_EQ(AbScale::Labels(0, 10000, 10, "##0", false),
            QStringList({"0", "1000", "2000", "3000", "4000", "5000", "6000", "7000", "8000", "9000", "10000"}));
  EXPECT_EQ(AbScale::Labels(-40, 160, 5, "##0", true), QStringList({"160", "120", "80", "40", "0", "-40"}));
  EXPECT_EQ(AbScale::LabelText(AbScale::Labels(0, 20, 2, "##0", false)), "0;10;20;");
  EXPECT_TRUE(AbScale::Labels(0, 20, 0, "##0", false).isEmpty());
}

TEST(ScaleLabels, DecimalSeparatorOfTheLocale) {
  {
    const TDecimalSeparatorScope Comma(',');
    EXPECT_EQ(AbScale::Labels(0, 25, 4, "##0.00", false), QStringList({"0,00", "6,25", "12,50", "18,75", "25,00"}));
  }
  const TDecimalSeparatorScope Point('.');
  EXPECT_EQ(AbScale::Labels(0, 25, 4, "##0.0", false), QStringList({"0.0", "6.3", "12.5", "18.8", "25.0"}));
}

TEST(ScaleTicks, CircularAnglesOfMajorAndMinorTicks) {
  const std::vector<double> Majors = AbScale::CircularMajorAngles(10, 270);
  ASSERT_EQ(Majors.size(), 11u);
  for (size_t I = 0; I < Majors.size(); ++I) EXPECT_DOUBLE_EQ(Majors[I], 27.0 * I);
  // Midpoints 13.5, 40.5, 67.5 ... rounded to whole degrees, halves to even.
  EXPECT_EQ(AbScale::CircularMinorAngles(10, 2, 270), std::vector<int>({14, 40, 68, 94, 122, 148, 176, 202, 230, 256}));
  // The speed dial: 5 steps of 54 degrees, 4 minor ticks each.
  const std::vector<int> Speed = AbScale::CircularMinorAngles(5, 5, 270);
  ASSERT_EQ(Speed.size(), 20u);
  EXPECT_EQ(std::vector<int>(Speed.begin(), Speed.begin() + 5), std::vector<int>({11, 22, 32, 43, 65}));
  EXPECT_TRUE(AbScale::CircularMinorAngles(4, 1, 270).empty());
}

TEST(ScaleTicks, LinearPositionsAlongTheHeight) {
  // 8 intervals over 200 pixels from y = 10: 25 pixels apart.
  const std::vector<int> Majors = AbScale::LinearMajorTicks(10, 200, 8);
  EXPECT_EQ(Majors, std::vector<int>({10, 35, 60, 85, 110, 135, 160, 185, 210}));
  // One minor tick per interval at its middle, 12.5 rounded to even.
  EXPECT_EQ(AbScale::LinearMinorTicks(10, 200, 8, 2), std::vector<int>({22, 48, 72, 98, 122, 148, 172, 198}));
  const std::vector<int> Fifths = AbScale::LinearMinorTicks(0, 100, 5, 5);
  ASSERT_EQ(Fifths.size(), 20u);
  EXPECT_EQ(std::vector<int>(Fifths.begin(), Fifths.begin() + 5), std::vector<int>({4, 8, 12, 16, 24}));
  // A scale of no height puts every tick on its top.
  for (int Y : AbScale::LinearMajorTicks(7, 0, 3)) EXPECT_EQ(Y, 7);
}

TEST(ScaleTicks, TurnIsClockwiseOnTheScreen) {
  const QPoint C(100, 100);
  const QPoint Above(100, 60);
  EXPECT_EQ(AbScale::Turn(Above, C, 0), Above);
  EXPECT_EQ(AbScale::Turn(Above, C, 90), QPoint(140, 100));   // three o'clock
  EXPECT_EQ(AbScale::Turn(Above, C, 180), QPoint(100, 140));  // six o'clock
  EXPECT_EQ(AbScale::Turn(Above, C, 225), QPoint(72, 128));   // half past seven
  EXPECT_EQ(AbScale::Turn(Above, C, 495), QPoint(128, 128));  // 225 + 270: half past four
}

TEST(ScaleMetrics, LinearAndCircularFromTheLabelSizes) {
  AbScale::TLinearMetrics M = AbScale::ComputeLinear(20, 14);
  EXPECT_EQ(M.Gap, 4);
  EXPECT_EQ(M.MajorLength, 10);
  EXPECT_EQ(M.MinorLength, 5);  // 14 / 14 rounds to 1: half the major length
  EXPECT_EQ(M.TotalWidth, 34);
  M = AbScale::ComputeLinear(20, 30);
  EXPECT_EQ(M.MajorLength, 21);
  EXPECT_EQ(M.MinorLength, 15);  // 21 / 1.4
  M = AbScale::ComputeLinear(20, 14, false);
  EXPECT_EQ(M.Gap, 0);
  EXPECT_EQ(M.MajorLength, 10);
  EXPECT_EQ(M.TotalWidth, 10);

  const AbScale::TCircularGeometry G = AbScale::ComputeCircular(QRect(10, 20, 200, 180), 30, 14);
  EXPECT_EQ(G.Radius, 85);
  EXPECT_EQ(G.Centre, QPoint(110, 20 + 85 + 7));
  EXPECT_EQ(G.MajorLength, 12);
  EXPECT_EQ(G.MinorLength, 9);
  EXPECT_EQ(G.LabelPad, 16);
  EXPECT_EQ(G.Inner, QRect(110 - 70, 112 - 70, 140, 140));
  const AbScale::TCircularGeometry Bare = AbScale::ComputeCircular(QRect(0, 0, 140, 140), 0, 0);
  EXPECT_EQ(Bare.Radius, 70);
  EXPECT_EQ(Bare.LabelPad, 0);
  EXPECT_EQ(Bare.Centre, QPoint(70, 70));
}

TEST(ScaleSettings, StepsAndSubStepsOnlyWithinTheirRanges) {
  TScaleSettings S;
  int Changes = 0;
  S.SetOnChange([&](TAbPersistent* Sender) {
    EXPECT_EQ(Sender, &S);
    ++Changes;
  });
  for (int Bad : {0, 21, -1}) S.SetSteps(Bad);
  EXPECT_EQ(S.Steps(), 5);
  for (int Bad : {0, 11}) S.SetSubSteps(Bad);
  EXPECT_EQ(S.SubSteps(), 2);
  EXPECT_EQ(Changes, 0);
  S.SetSteps(20);
  S.SetSubSteps(10);
  S.SetSteps(20);  // the same again: no notification
  EXPECT_EQ(S.Steps(), 20);
  EXPECT_EQ(S.SubSteps(), 10);
  EXPECT_EQ(Changes, 2);
  S.Font().SetSize(8);
  EXPECT_EQ(Changes, 3);
  EXPECT_EQ(S.Font().Height(), 11);
}

TEST(ScaleSettings, CopyTakesEveryPropertyAndRefusesOtherClasses) {
  TScaleSettings Source;
  Source.SetColor(Qt::red);
  Source.SetPointerColor(Qt::blue);
  Source.SetDrawLine(false);
  Source.Font().SetSize(8);
  Source.Font().SetColor(Qt::darkGreen);
  Source.SetPosLeftTop(true);
  Source.SetSteps(8);
  Source.SetSubSteps(3);
  Source.SetValueFormat("#0");
  Source.SetValueFormatLog("0e+0");

  TScaleSettings Copy;
  Copy.Assign(Source);
  EXPECT_EQ(Copy.Color(), QColor(Qt::red));
  EXPECT_EQ(Copy.PointerColor(), QColor(Qt::blue));
  EXPECT_FALSE(Copy.DrawLine());
  EXPECT_EQ(Copy.Font().Height(), 11);
  EXPECT_EQ(Copy.Font().Color(), QColor(Qt::darkGreen));
  EXPECT_TRUE(Copy.PosLeftTop());
  EXPECT_EQ(Copy.Steps(), 8);
  EXPECT_EQ(Copy.SubSteps(), 3);
  EXPECT_EQ(Copy.ValueFormat(), "#0");
  EXPECT_EQ(Copy.ValueFormatLog(), "0e+0");

  TAbSBevel Bevel;
  try {
    Copy.Assign(Bevel);
    FAIL() << "a bevel was copied into scale settings";
  } catch (const EAbAssignError& E) {
    EXPECT_STREQ(E.what(), "Cannot assign a TAbSBevel to a TScaleSettings");
  }
}

TEST(ScaleDrawing, LinearTicksOnBothSidesOfTheSpine) {
  // The pressure slider's scale: 0..255, 8 steps, 2 sub-steps, "#0".
  TScaleSettings S;
  S.Font().SetSize(8);
  S.SetSteps(8);
  S.SetSubSteps(2);
  S.SetValueFormat("#0");
  S.SetMajorPenWidth(2);
  S.PrepareLinear(0, 255);
  ASSERT_EQ(S.Labels().size(), 9);
  EXPECT_EQ(S.Labels().front(), "255");
  EXPECT_GT(S.LabelWidth(), 0);
  EXPECT_GT(S.MajorLength(), S.MinorLength());
  EXPECT_EQ(S.TotalWidth(), S.LabelWidth() + S.MajorLength() + S.Gap());

  QImage Image = WhiteImage(200, 240);
  const QRect Right(100, 20, 60, 200);
  const QRect Left(20, 20, 60, 200);  // spine on x = 79
  {
    QPainter P(&Image);
    S.DrawLinear(P, Right);
    S.SetPosLeftTop(true);
    S.DrawLinear(P, Left);
  }
  const int Major = S.MajorLength();
  const int Minor = S.MinorLength();
  for (int Y : AbScale::LinearMajorTicks(20, 200, 8)) {
    // Right scale: the tick runs right from the spine by the major length.
    EXPECT_TRUE(IsDark(Image, 100, Y)) << Y;
    EXPECT_TRUE(IsDark(Image, 100 + Major - 1, Y)) << Y;
    EXPECT_FALSE(IsDark(Image, 100 + Major, Y)) << Y;
    // Left scale: it runs left from x = 79.
    EXPECT_TRUE(IsDark(Image, 79, Y)) << Y;
    EXPECT_TRUE(IsDark(Image, 79 - Major + 1, Y)) << Y;
    EXPECT_FALSE(IsDark(Image, 79 - Major, Y)) << Y;
  }
  for (int Y : AbScale::LinearMinorTicks(20, 200, 8, 2)) {
    EXPECT_TRUE(IsDark(Image, 100 + Minor - 1, Y)) << Y;
    EXPECT_FALSE(IsDark(Image, 100 + Minor + 1, Y)) << Y;
    EXPECT_TRUE(IsDark(Image, 79 - Minor + 1, Y)) << Y;
  }
  // The spine (DrawLine is on by default) joins the ticks.
  EXPECT_TRUE(IsDark(Image, 100, 30));
  // Labels beyond the gap: some ink right of the right ticks near y = 20 and
  // left of the left ticks, none between the two scales.
  auto InkIn = [&](int X0, int X1, int Y0, int Y1) {
    int N = 0;
    for (int Y = Y0; Y <= Y1; ++Y)
      for (int X = X0; X <= X1; ++X) N += IsDark(Image, X, Y);
    return N;
  };
  const int Half = S.LabelHeight() / 2;
  EXPECT_GT(InkIn(100 + Major + S.Gap(), 199, 20 - Half, 20 + Half), 0);
  EXPECT_GT(InkIn(0, 79 - Major - S.Gap(), 120 - Half, 120 + Half), 0);
  EXPECT_EQ(InkIn(81, 99, 0, 239), 0);
}

TEST(ScaleDrawing, CircularTicksFollowTheSweep) {
  TScaleSettings S;
  S.SetSteps(10);
  S.SetSubSteps(2);
  S.SetMajorPenWidth(2);
  S.PrepareCircular(0, 10000, false);
  EXPECT_TRUE(S.Labels().isEmpty());

  QImage Image = WhiteImage(141, 141);
  {
    QPainter P(&Image);
    S.DrawCircular(P, QRect(0, 0, 140, 140));
  }
  const QPoint C = S.CircleCentre();
  EXPECT_EQ(C, QPoint(70, 70));
  const int K = S.CircleMajorLength();
  EXPECT_EQ(K, 10);
  // A major tick lies between radius 70 - k and 70 on every 27 degrees
  // from 225; nothing is drawn in the open part of the sweep (six o'clock).
  const QPoint Mid(C.x(), C.y() - (70 - K / 2));
  for (double A : AbScale::CircularMajorAngles(10, 270)) {
    EXPECT_TRUE(InkNear(Image, AbScale::Turn(Mid, C, 225 + A))) << A;
  }
  EXPECT_FALSE(InkNear(Image, AbScale::Turn(Mid, C, 180)));
  EXPECT_FALSE(InkNear(Image, AbScale::Turn(Mid, C, 225 + 7)));  // between ticks
  // Minor ticks start at the inner end of the major ticks and point outwards.
  const QPoint MinorMid(C.x(), C.y() - (70 - K + S.Circle().MinorLength / 2));
  for (int A : AbScale::CircularMinorAngles(10, 2, 270)) {
    EXPECT_TRUE(InkNear(Image, AbScale::Turn(MinorMid, C, 225 + A))) << A;
  }
  EXPECT_EQ(S.CircleInner(), QRect(0, 0, 140, 140));
}
