// The dial: angle of a point, the relative drag with its end stops and the
// seam below the centre, the hot circle, the pointer read back from the
// rendered image, partial redraw while dragging, and odd sizes.
#include "abdial.h"
#include "numtext.h"
#include "test_analog_support.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr double Pi = 3.14159265358979323846;

// A dial configured like the tester's speed dial, loaded and shown.
std::unique_ptr<TAbDial> SpeedDial(int W = 257, int H = 257) {
  auto D = std::make_unique<TAbDial>();
  D->setGeometry(8, 8, W, H);
  TSignalSettings& S = D->SignalSettings();
  S.SetName1(" ");
  S.SetName2("Скорость");
  S.SetValueUnit("км/ч");
  S.SetValueRange(0.0f, 250.0f);
  S.SetValueFormat("##0");
  D->ScaleSettings().SetSteps(5);
  D->ScaleSettings().SetSubSteps(5);
  D->SetValue(0.0f);
  D->Loaded();
  D->show();
  D->setFocus();
  QApplication::processEvents();
  return D;
}

// A point at `Radius` from the centre at dial angle `A` (0 below the centre,
// 90 left, 180 above, 270 right).
QPoint AtAngle(QPoint C, double A, double Radius) {
  const double R = A * Pi / 180.0;
  return QPoint(static_cast<int>(std::lround(C.x() - Radius * std::sin(R))),
                static_cast<int>(std::lround(C.y() + Radius * std::cos(R))));
}

void Move(QWidget* W, QPoint P) {
  QTest::mouseMove(W, P);
  QApplication::processEvents();
}

}  // namespace

TEST(DialGeometry, AngleOfPointRunsClockwiseFromBelow) {
  const QPointF C(100, 100);
  struct {
    QPointF P;
    float Angle;
  } Cases[] = {
      {{100, 150}, 0.0f}, {{50, 100}, 90.0f},  {{100, 50}, 180.0f},  {{150, 100}, 270.0f}, {{50, 150}, 45.0f},
      {{50, 50}, 135.0f}, {{150, 50}, 225.0f}, {{150, 150}, 315.0f}, {{100, 100}, 90.0f},  // the centre itself: on the level, not right of it
  };
  for (const auto& K : Cases) EXPECT_NEAR(TAbDial::AngleOfPoint(K.P, C), K.Angle, 0.01) << K.P.x() << "," << K.P.y();
}

TEST(DialDrag, OnceAroundStopsAtTheEndAndTurnsBackAtOnce) {
  auto D = SpeedDial();
  ASSERT_TRUE(D->Ready());
  const QPoint C = D->FaceCentre();
  const double R = D->FaceRect().width() / 3.0;
  ASSERT_EQ(D->Digit(), 0);

  double A = 100.0;
  QTest::mousePress(D.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(C, A, R));
  EXPECT_TRUE(D->Dragging());
  EXPECT_EQ(D->Digit(), 0);  // the press itself moves nothing
  int ReachedEnd = 0;
  for (int I = 0; I < 45; ++I) {  // 450 degrees clockwise
    A += 10.0;
    Move(D.get(), AtAngle(C, A, R));
    if (D->Digit() == 1000) ++ReachedEnd;
    EXPECT_GE(D->PointerAngle(), 0.0f);
    EXPECT_LE(D->PointerAngle(), 270.0f);
  }
  EXPECT_EQ(D->Digit(), 1000);
  EXPECT_FLOAT_EQ(D->PointerAngle(), 270.0f);
  EXPECT_GE(ReachedEnd, 17);  // stopped at the end for the last 180 degrees
  // One step back moves the pointer back by the same angle at once.
  Move(D.get(), AtAngle(C, A - 10.0, R));
  EXPECT_NEAR(D->Digit(), 963, 3);  // 260 degrees, within the pixel rounding of the mouse
  QTest::mouseRelease(D.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(C, A - 10.0, R));
  EXPECT_FALSE(D->Dragging());
}

TEST(DialDrag, CrossingTheSeamBelowTheCentreIsASmallStep) {
  auto D = SpeedDial();
  D->SetValue(125.0f);  // pointer straight up, 135 degrees into the sweep
  const QPoint C = D->FaceCentre();
  const double R = D->FaceRect().width() / 3.0;
  int Fired = 0;
  D->SetOnValueChanged([&](TAbAnalogCControl*) { ++Fired; });

  QTest::mousePress(D.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(C, 350, R));
  for (double A : {355.0, 365.0, 375.0})  // 5 and 15 degrees past the seam
    Move(D.get(), AtAngle(C, A, R));
  // 25 degrees clockwise in all: 160 degrees, not an end stop.
  EXPECT_NEAR(D->Digit(), 593, 1);
  for (double A : {365.0, 355.0, 345.0})  // and back across it
    Move(D.get(), AtAngle(C, A, R));
  EXPECT_NEAR(D->Digit(), 482, 2);  // 30 degrees back: 130 degrees
  QTest::mouseRelease(D.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(C, 345, R));
  EXPECT_EQ(Fired, 1);
}

TEST(DialDrag, PressOutsideTheCircleStartsNothing) {
  auto D = SpeedDial();
  const QRect F = D->FaceRect();
  int Changes = 0;
  D->SetOnValueChange([&](TAbAnalogCControl*) { ++Changes; });
  for (QPoint Corner : {F.topLeft() + QPoint(2, 2), F.bottomRight() - QPoint(2, 2)}) {
    QTest::mousePress(D.get(), Qt::LeftButton, Qt::NoModifier, Corner);
    EXPECT_FALSE(D->Dragging());
    Move(D.get(), D->FaceCentre() + QPoint(30, -30));
    Move(D.get(), D->FaceCentre() + QPoint(-30, -30));
    QTest::mouseRelease(D.get(), Qt::LeftButton, Qt::NoModifier, D->FaceCentre());
  }
  // A right-button press inside the circle starts no drag either.
  QTest::mousePress(D.get(), Qt::RightButton, Qt::NoModifier, D->FaceCentre() + QPoint(0, 20));
  EXPECT_FALSE(D->Dragging());
  QTest::mouseRelease(D.get(), Qt::RightButton, Qt::NoModifier, D->FaceCentre() + QPoint(0, 20));
  EXPECT_EQ(Changes, 0);
  EXPECT_EQ(D->Digit(), 0);
}

TEST(DialPicture, PointerStandsWhereTheValueSays) {
  auto D = SpeedDial();
  const QRect F = D->FaceRect();
  ASSERT_GE(F.width(), 100);
  // The face lies inside the control, centred across it.
  EXPECT_TRUE(D->rect().contains(F));
  EXPECT_NEAR(F.center().x(), D->width() / 2, 2);

  const int Dot = std::clamp(F.width() / 13, 2, 6);
  const double Radius = F.width() / 2.0 - Dot;
  const QPointF C(F.left() + F.width() / 2, F.top() + F.height() / 2);
  for (float Value : {0.0f, 62.5f, 125.0f, 200.0f, 250.0f}) {
    D->SetValue(Value);
    QApplication::processEvents();
    const QImage Img = D->grab().toImage();
    int N = 0;
    const QPointF Found = Centroid(Img, F, Near(QColor(0, 255, 0)), &N);
    // Clockwise from half past seven: 225 degrees past twelve o'clock at
    // the lowest value, 270 degrees more at the highest.
    const double Theta = (225.0 + 270.0 * Value / 250.0) * Pi / 180.0;
    const QPointF Expected(C.x() + Radius * std::sin(Theta), C.y() - Radius * std::cos(Theta));
    EXPECT_GT(N, 3 * Dot) << Value;
    // Within the rounding of the two turns and the shaded rim of the dot.
    EXPECT_NEAR(Found.x(), Expected.x(), 2.0) << Value;
    EXPECT_NEAR(Found.y(), Expected.y(), 2.0) << Value;
  }

  // Without the focus the pointer takes the other colour.
  D->clearFocus();
  QApplication::processEvents();
  const QImage Img = D->grab().toImage();
  int Lime = 0;
  int Green = 0;
  Centroid(Img, F, Near(QColor(0, 255, 0), 20), &Lime);
  Centroid(Img, F, Near(QColor(0, 128, 0), 20), &Green);
  EXPECT_EQ(Lime, 0);
  EXPECT_GT(Green, 3 * Dot);
}

TEST(DialPicture, ValueSetWhileHiddenIsShownWhenTheDialComesBack) {
  // The gauges sit on a tab page that is hidden while the operator types
  // into the edit fields on another page.
  QWidget Page;
  Page.resize(300, 300);
  auto* D = new TAbDial(&Page);
  D->setGeometry(8, 8, 257, 257);
  D->SignalSettings().SetValueRange(0.0f, 250.0f);
  D->SetValue(0.0f);
  D->Loaded();
  Page.show();
  D->setFocus();
  QApplication::processEvents();
  const QRect F = D->FaceRect();
  // Either pointer colour: the focus may or may not come back with the page.
  const auto Pointer = Near(QColor(0, 192, 0), 64);
  const QPointF Low = Centroid(D->grab().toImage(), F, Pointer);

  Page.hide();
  D->SetValue(125.0f);
  Page.show();
  D->setFocus();
  QApplication::processEvents();
  const QImage Img = D->grab().toImage();
  const QPointF High = Centroid(Img, F, Pointer);
  EXPECT_NEAR(High.x(), F.left() + F.width() / 2, 2.0);  // straight up now
  EXPECT_LT(High.y(), F.top() + F.height() / 4);
  EXPECT_GT(Low.y(), F.top() + F.height() / 2);
}

TEST(DialPicture, ProgramValueBetweenGridPointsPlacesThePointerByPerMille) {
  auto D = SpeedDial();
  D->SignalSettings().SetDigitalTo(10);  // a coarse grid: 25 km/h per step
  D->SetValue(75.0f);
  ASSERT_EQ(D->Digit(), 3);
  D->SetValue(80.0f);  // still grid point 3: the value stays 80
  EXPECT_EQ(D->Digit(), 3);
  D->clearFocus();  // a focus change redraws from the value
  QApplication::processEvents();
  EXPECT_FLOAT_EQ(D->PointerAngle(), 320 * 270.0f / 1000.0f);
}

TEST(DialPicture, DraggingRedrawsOnlyTheFaceAndTheValueWindow) {
  auto D = SpeedDial();
  QApplication::processEvents();
  TPaintRecorder Rec(D.get());
  const int Passes = D->PaintPasses();
  const QPoint C = D->FaceCentre();
  const double R = D->FaceRect().width() / 3.0;
  QTest::mousePress(D.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(C, 60, R));
  for (double A = 70; A <= 200; A += 10) Move(D.get(), AtAngle(C, A, R));
  QTest::mouseRelease(D.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(C, 200, R));
  QApplication::processEvents();

  EXPECT_GT(D->Digit(), 400);
  EXPECT_EQ(D->PaintPasses(), Passes);  // no full pass while dragging
  EXPECT_GE(Rec.Events, 5);
  const QRegion Allowed = QRegion(D->FaceRect()) + QRegion(D->ValueWindow());
  EXPECT_TRUE(Rec.Painted.subtracted(Allowed).isEmpty());
  EXPECT_FALSE(Rec.Painted.contains(QPoint(2, 2)));  // the outer bevel stays

  // A change of the settings is a full pass again.
  D->SetOptions(D->Options().Without(TAbDial::opUnit));
  QApplication::processEvents();
  EXPECT_EQ(D->PaintPasses(), Passes + 1);
}

TEST(DialRobustness, AnySizeAndAnyInputIsSafe) {
  for (QSize Size :
       {QSize(0, 0), QSize(1, 1), QSize(12, 12), QSize(40, 30), QSize(60, 200), QSize(1500, 120), QSize(1200, 1200)}) {
    auto D = SpeedDial(Size.width(), Size.height());
    const QImage Img = D->grab().toImage();
    EXPECT_EQ(Img.size(), Size.isEmpty() ? QSize(0, 0) : Size);
    if (D->FaceRect().width() < 11) {
      EXPECT_FALSE(D->Ready()) << Size.width() << "x" << Size.height();
    }
    for (QPoint P : {QPoint(0, 0), QPoint(Size.width() / 2, Size.height() / 2), QPoint(-50, 9999)}) {
      QTest::mousePress(D.get(), Qt::LeftButton, Qt::NoModifier, P);
      Move(D.get(), P + QPoint(7, 3));
      QTest::mouseRelease(D.get(), Qt::LeftButton, Qt::NoModifier, P);
    }
    QTest::keyClick(D.get(), Qt::Key_PageUp);
    D->SetOptions({});
    QApplication::processEvents();
    EXPECT_GE(D->Digit(), 0);
    EXPECT_LE(D->Digit(), 1000);
  }
}
