// The vertical slider: presses along the trench, the mouse jump and the knob
// drag without it, the ButtonSize clamp, the knob read back from the rendered
// image, partial redraw on key steps, and the too-small case.
#include "abvslider.h"
#include "numtext.h"
#include "test_analog_support.h"

#include <QApplication>
#include <QFontMetrics>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor Magenta(255, 0, 255);

// A slider configured like the tester's supply voltage slider, loaded and
// shown, with a knob colour that appears nowhere else.
std::unique_ptr<TAbVSlider> VoltageSlider(int W = 121, int H = 257) {
  auto S = std::make_unique<TAbVSlider>();
  S->setGeometry(552, 280, W, H);
  TSignalSettings& T = S->SignalSettings();
  T.SetName1("Напряжение");
  T.SetName2("борт.сети");
  T.SetValueUnit("В");
  T.SetValueRange(0.0f, 20.0f);
  T.SetValueFormat("##0.0");
  S->SetDigit(600);
  S->SetValue(12.0f);
  S->SetColorNonFocus(Magenta);
  S->SetColorFocus(Magenta);
  S->Loaded();
  S->show();
  QApplication::processEvents();
  return S;
}

void Press(QWidget* W, QPoint P) {
  QTest::mousePress(W, Qt::LeftButton, Qt::NoModifier, P);
  QTest::mouseRelease(W, Qt::LeftButton, Qt::NoModifier, P);
}

}  // namespace

TEST(SliderMouse, PressesAlongTheTrenchJumpTheKnob) {
  auto S = VoltageSlider();
  ASSERT_TRUE(S->Ready());
  const QRect T = S->Trench();
  const int Top = T.top();
  const int Bottom = T.top() + T.height() - 1;
  const int X = T.left() + 2;
  int Released = 0;
  S->SetOnValueChanged([&](TAbAnalogCControl*) { ++Released; });

  struct {
    QPoint P;
    int Digit;
  } Presses[] = {
      {{X, Top}, 1000},
      {{X, Bottom}, 0},
      {{X, Top - 3}, 1000},                   // above the trench, still on the travel area
      {{X, Bottom + 3}, 0},                   // below it
      {{X, (Top + Bottom) / 2}, -1},          // the middle: checked below
      {{S->TravelArea().left(), Top}, 1000},  // x does not matter within the area
  };
  for (const auto& K : Presses) {
    Press(S.get(), K.P);
    if (K.Digit >= 0) {
      EXPECT_EQ(S->Digit(), K.Digit) << K.P.y();
    } else {
      EXPECT_NEAR(S->Digit(), 500, 1000.0 / (Bottom - Top));
    }
  }
  EXPECT_EQ(Released, 6);

  // A press beside the travel area does nothing.
  S->SetDigit(600);
  Press(S.get(), QPoint(S->TravelArea().left() - 3, Top + 10));
  EXPECT_EQ(S->Digit(), 600);

  // The drag continues from the jump and clamps beyond the trench.
  QTest::mousePress(S.get(), Qt::LeftButton, Qt::NoModifier, QPoint(X, Bottom));
  QTest::mouseMove(S.get(), QPoint(X + 40, Top - 100));
  EXPECT_EQ(S->Digit(), 1000);
  QTest::mouseMove(S.get(), QPoint(X, Bottom + 100));
  EXPECT_EQ(S->Digit(), 0);
  QTest::mouseRelease(S.get(), Qt::LeftButton, Qt::NoModifier, QPoint(X, Bottom + 100));
}

TEST(SliderMouse, WithoutTheJumpOnlyTheKnobDrags) {
  auto S = VoltageSlider();
  S->SetEnableMouseJump(false);
  QApplication::processEvents();
  const QRect T = S->Trench();
  const int X = T.left() + 2;
  const QPoint Knob = S->KnobPoint();

  Press(S.get(), QPoint(X, T.top()));  // beside the knob: nothing
  EXPECT_EQ(S->Digit(), 600);
  EXPECT_FALSE(S->Dragging());

  QTest::mousePress(S.get(), Qt::LeftButton, Qt::NoModifier, Knob);
  EXPECT_TRUE(S->Dragging());
  // Pressed on its centre: stays, within the grid steps of one pixel row.
  EXPECT_NEAR(S->Digit(), 600, 1000.0 / (T.height() - 1));
  QTest::mouseMove(S.get(), Knob - QPoint(0, 20));
  EXPECT_GT(S->Digit(), 600);
  QTest::mouseRelease(S.get(), Qt::LeftButton, Qt::NoModifier, Knob - QPoint(0, 20));
  // The hot area went with the knob.
  EXPECT_TRUE(S->InHotArea(S->KnobPoint()));
  EXPECT_FALSE(S->InHotArea(Knob + QPoint(0, 20)));
}

TEST(SliderSettings, ButtonSizeIsClampedToWidthAndMinimum) {
  auto S = VoltageSlider();
  struct {
    int Width;
    int Assigned;
    int Result;
  } Cases[] = {
      {121, 10, 18}, {121, 40, 40}, {121, 500, 121}, {25, 30, 25}, {15, 30, 18}, {121, -7, 18},
  };
  for (const auto& C : Cases) {
    S->resize(C.Width, S->height());
    S->SetButtonSize(C.Assigned);
    EXPECT_EQ(S->ButtonSize(), C.Result) << C.Width << " " << C.Assigned;
  }
}

TEST(SliderPicture, KnobStandsWhereTheGridPositionSays) {
  auto S = VoltageSlider();
  const QRect T = S->Trench();
  const int Bottom = T.top() + T.height() - 1;
  const int Rows = T.height() - 1;
  EXPECT_EQ(S->KnobHeight(), 12);  // 0.4 x 30
  for (int Digit : {0, 250, 600, 1000}) {
    S->SetDigit(Digit);
    QApplication::processEvents();
    const QImage Img = S->grab().toImage();
    int N = 0;
    const QPointF Found = Centroid(Img, S->rect(), Near(Magenta, 10), &N);
    EXPECT_GT(N, 60) << Digit;  // the inner rectangle of the knob
    EXPECT_NEAR(Found.y(), Bottom - Rows * Digit / 1000.0, 1.0) << Digit;
    EXPECT_NEAR(Found.x(), T.left() + 2, 1.0) << Digit;
  }

  // The trench is green inside and the knob colour changes with the focus.
  const QImage Img = S->grab().toImage();
  EXPECT_EQ(Img.pixelColor(T.left() + 2, T.top() + T.height() / 2 + 20), QColor(0x00, 0x80, 0x00));
  const QColor Blue(0, 0, 255);
  S->SetColorFocus(Blue);
  S->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(S->hasFocus());
  int MagentaPixels = 0;
  int BluePixels = 0;
  Centroid(S->grab().toImage(), S->rect(), Near(Magenta, 10), &MagentaPixels);
  Centroid(S->grab().toImage(), S->rect(), Near(Blue, 10), &BluePixels);
  EXPECT_EQ(MagentaPixels, 0);
  EXPECT_GT(BluePixels, 60);
}

TEST(SliderPicture, KeyStepsRedrawOnlyTheTravelAreaAndTheValueWindow) {
  const char Saved = DecimalSeparator();
  SetDecimalSeparator(',');
  auto S = VoltageSlider();
  S->setFocus();
  QApplication::processEvents();
  TPaintRecorder Rec(S.get());
  const int Passes = S->PaintPasses();
  for (int I = 0; I < 10; ++I) {
    QTest::keyClick(S.get(), Qt::Key_PageUp);
    QApplication::processEvents();
  }
  EXPECT_EQ(S->Digit(), 700);
  EXPECT_EQ(S->ValueText(), "14,0");
  SetDecimalSeparator(Saved);
  EXPECT_EQ(S->PaintPasses(), Passes);
  EXPECT_GE(Rec.Events, 5);
  const QRegion Allowed = QRegion(S->TravelArea()) + QRegion(S->ValueWindow());
  EXPECT_TRUE(Rec.Painted.subtracted(Allowed).isEmpty());
  EXPECT_LT(Rec.Painted.boundingRect().width(), S->width() / 2);
}

TEST(SliderRobustness, TooSmallAndOddSizesAreSafe) {
  // Captions and value window leave no room: only those are drawn.
  auto Small = VoltageSlider(105, 60);
  EXPECT_TRUE(Small->TooSmall());
  EXPECT_FALSE(Small->Ready());
  Press(Small.get(), QPoint(50, 30));
  EXPECT_EQ(Small->Digit(), 600);

  for (QSize Size : {QSize(0, 0), QSize(1, 1), QSize(10, 300), QSize(300, 10), QSize(40, 90), QSize(900, 1400)}) {
    auto S = VoltageSlider(Size.width(), Size.height());
    S->grab();
    for (QPoint P : {QPoint(0, 0), QPoint(Size.width() / 2, Size.height() / 2), QPoint(9999, -9999)}) {
      QTest::mousePress(S.get(), Qt::LeftButton, Qt::NoModifier, P);
      QTest::mouseMove(S.get(), P + QPoint(3, 50));
      QTest::mouseRelease(S.get(), Qt::LeftButton, Qt::NoModifier, P);
    }
    QTest::keyClick(S.get(), Qt::Key_End);
    S->SetOptions({});
    S->SetButtonSize(1000);
    QApplication::processEvents();
    EXPECT_GE(S->Digit(), 0);
    EXPECT_LE(S->Digit(), 1000);
  }
}

TEST(SliderPicture, ValueWindowOnTopAndCaptionsAtTheBottom) {
  auto S = VoltageSlider();
  const QRect V = S->ValueWindow();
  const int Frame = S->BevelOuter().Thickness();
  EXPECT_EQ(V.top(), Frame);
  EXPECT_LT(V.top() + V.height(), S->Trench().top());
  // Lime digits on the black window.
  const QImage Img = S->grab().toImage();
  int Lime = 0;
  int Black = 0;
  Centroid(Img, V, Near(QColor(0, 255, 0), 60), &Lime);
  Centroid(Img, V.adjusted(2, 2, -2, -2), Near(Qt::black, 10), &Black);
  EXPECT_GT(Lime, 20);
  EXPECT_GT(Black, Lime);

  // The caption lines are the slider's names, the second one lowest.
  const int Line = QFontMetrics(S->Font().Font()).height();
  const QRect BottomLine(Frame, S->height() - Frame - Line, S->width() - 2 * Frame, Line);
  const QRect UpperLine = BottomLine.translated(0, -Line);
  const auto Ink = [&](const QRect& R) {
    int N = 0;
    Centroid(S->grab().toImage(), R, Near(Qt::black, 90), &N);
    return N;
  };
  S->SignalSettings().SetName1("");
  S->SignalSettings().SetName2("");
  QApplication::processEvents();
  EXPECT_EQ(Ink(BottomLine), 0);
  EXPECT_EQ(Ink(UpperLine), 0);
  S->SignalSettings().SetName2("ШШШШ");
  QApplication::processEvents();
  EXPECT_GT(Ink(BottomLine), 30);
  EXPECT_EQ(Ink(UpperLine), 0);
  S->SignalSettings().SetName1("ШШШШ");
  QApplication::processEvents();
  EXPECT_GT(Ink(UpperLine), 30);
}
