// Bevels and gradients, read back from rendered images.
#include "abbevel.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

const QColor Face(0, 0, 200);
const QColor Light(255, 255, 255);
const QColor Shadow(100, 100, 100);
const QColor Pen(0, 0, 0);
const QColor Background(255, 0, 255);

void Configure(TAbSBevel& B, int Width, int Spacing, TBevelLine Line) {
  B.SetWidth(Width);
  B.SetSpacing(Spacing);
  B.SetBevelLine(Line);
  B.SetColor(Face);
  B.SetColorHighLightFrom(Light);
  B.SetColorHighLightTo(Light);
  B.SetColorShadowFrom(Shadow);
  B.SetColorShadowTo(Shadow);
  B.SetPenColor(Pen);
}

QImage Render(const TAbSBevel& B, QSize Size, QRect& Inner, bool Circular = false) {
  QImage Image(Size, QImage::Format_RGB32);
  Image.fill(Background);
  QPainter P(&Image);
  Inner = QRect(QPoint(0, 0), Size);
  if (Circular) B.PaintCircular(P, Inner);
  else B.PaintRectangular(P, Inner);
  return Image;
}

QColor At(const QImage& Image, int X, int Y) { return QColor(Image.pixel(X, Y)); }

// The pixels of the middle row from the left edge up to the first face pixel.
int FaceStartInRow(const QImage& Image) {
  const int Y = Image.height() / 2;
  for (int X = 0; X < Image.width(); ++X)
    if (At(Image, X, Y) == Face) return X;
  return -1;
}

}  // namespace

TEST(RectangularBevel, ThicknessReadFromTheImage) {
  const struct {
    int Width, Spacing;
    TBevelLine Line;
    int Thickness;
  } Cases[] = {
      {2, 0, blNone, 2},  {2, 0, blBoth, 4},  {2, 0, blOuter, 3},
      {2, 0, blInner, 3}, {1, 1, blInner, 3}, {3, 5, blNone, 8},
  };
  for (const auto& C : Cases) {
    TAbSBevel B;
    Configure(B, C.Width, C.Spacing, C.Line);
    EXPECT_EQ(B.Thickness(), C.Thickness);
    QRect Inner;
    const QImage Image = Render(B, QSize(40, 30), Inner);
    EXPECT_EQ(Inner, QRect(C.Thickness, C.Thickness, 40 - 2 * C.Thickness, 30 - 2 * C.Thickness));
    // The face starts after the lines and the rings; spacing is face too.
    EXPECT_EQ(FaceStartInRow(Image), C.Thickness - C.Spacing) << C.Width << " " << C.Line;
  }

  // Width 2, spacing 0, both lines: outer line, two light rings on the top
  // left, two shadow rings on the bottom right, inner line.
  TAbSBevel B;
  Configure(B, 2, 0, blBoth);
  QRect Inner;
  const QImage Image = Render(B, QSize(40, 30), Inner);
  EXPECT_EQ(At(Image, 0, 15), Pen);
  EXPECT_EQ(At(Image, 1, 15), Light);
  EXPECT_EQ(At(Image, 2, 15), Light);
  EXPECT_EQ(At(Image, 3, 15), Pen);
  EXPECT_EQ(At(Image, 4, 15), Face);
  EXPECT_EQ(At(Image, 20, 1), Light);
  EXPECT_EQ(At(Image, 39, 15), Pen);
  EXPECT_EQ(At(Image, 38, 15), Shadow);
  EXPECT_EQ(At(Image, 37, 15), Shadow);
  EXPECT_EQ(At(Image, 36, 15), Pen);
  EXPECT_EQ(At(Image, 20, 28), Shadow);
  EXPECT_EQ(At(Image, 20, 29), Pen);
}

TEST(RectangularBevel, RingColoursInterpolatedPerChannel) {
  TAbSBevel B;
  Configure(B, 4, 0, blNone);
  B.SetColorHighLightFrom(QColor(0, 0, 0));
  B.SetColorHighLightTo(QColor(200, 100, 40));
  B.SetColorShadowFrom(QColor(40, 40, 40));
  B.SetColorShadowTo(QColor(0, 80, 240));
  QRect Inner;
  QImage Raised = Render(B, QSize(30, 30), Inner);
  // Ring n (1 = outermost) at the fraction n / 4.
  for (int N = 1; N <= 4; ++N) {
    EXPECT_EQ(At(Raised, N - 1, 15), QColor(50 * N, 25 * N, 10 * N)) << N;
    EXPECT_EQ(At(Raised, 30 - N, 15), QColor(40 - 10 * N, 40 + 10 * N, 40 + 50 * N)) << N;
  }
  // Lowered: top and left run from ShadowTo towards ShadowFrom, bottom and
  // right from HighLightTo towards HighLightFrom.
  B.SetStyle(bsLowered);
  const QImage Lowered = Render(B, QSize(30, 30), Inner);
  for (int N = 1; N <= 4; ++N) {
    EXPECT_EQ(At(Lowered, 15, N - 1), QColor(10 * N, 80 - 10 * N, 240 - 50 * N)) << N;
    EXPECT_EQ(At(Lowered, 15, 30 - N), QColor(200 - 50 * N, 100 - 25 * N, 40 - 10 * N)) << N;
  }
  EXPECT_EQ(AbBlendColor(QColor(0, 0, 0), QColor(255, 255, 255), 1, 2), QColor(128, 128, 128));
  EXPECT_EQ(AbBlendColor(QColor(0, 0, 0), QColor(9, 9, 9), 3, 0), QColor(9, 9, 9));
}

TEST(RectangularBevel, OffsetAndNestedChangesNotifyTheBevel) {
  TAbSBevel B;
  Configure(B, 2, 1, blNone);
  int Changes = 0;
  B.SetOnChange([&](TAbPersistent* Sender) {
    EXPECT_EQ(Sender, &B);
    ++Changes;
  });
  B.Offset().SetLeft(2);
  B.Offset().SetBottom(3);
  B.SurfaceGrad().SetVisible(true);
  B.SetWidth(2);  // unchanged
  EXPECT_EQ(Changes, 3);
  QRect Inner;
  Render(B, QSize(40, 30), Inner);
  EXPECT_EQ(Inner, QRect(3 + 2, 3, 40 - 6 - 2, 30 - 6 - 3));
}

TEST(RectangularBevel, GradientSurfaceInsideTheRings) {
  TAbSBevel B;
  Configure(B, 1, 3, blNone);
  B.SurfaceGrad().SetStyle(gsHorizontal1);
  B.SurfaceGrad().SetColorFrom(QColor(0, 0, 0));
  B.SurfaceGrad().SetColorTo(QColor(0, 255, 0));
  B.SurfaceGrad().SetVisible(true);
  QRect Inner;
  const QImage Image = Render(B, QSize(52, 20), Inner);
  EXPECT_EQ(At(Image, 1, 10), QColor(0, 0, 0));     // first pixel inside the ring
  EXPECT_EQ(At(Image, 50, 10), QColor(0, 255, 0));  // last one
  EXPECT_GT(At(Image, 30, 10).green(), At(Image, 20, 10).green());
}

TEST(RectangularBevel, DegenerateSizesAndValuesStayInside) {
  TAbSBevel B;
  Configure(B, 5, 5, blBoth);
  QRect Inner;
  Render(B, QSize(3, 3), Inner);
  EXPECT_EQ(Inner.width(), 0);
  EXPECT_EQ(Inner.height(), 0);
  EXPECT_TRUE(QRect(0, 0, 3, 3).contains(Inner.topLeft()));

  B.SetWidth(1 << 30);
  B.SetSpacing(-7);
  EXPECT_EQ(B.Width(), 1000);
  EXPECT_EQ(B.Spacing(), 0);
  EXPECT_EQ(B.Thickness(), 1002);
  const QImage Image = Render(B, QSize(50, 50), Inner);  // finishes at once
  EXPECT_EQ(Inner.width(), 0);
  EXPECT_EQ(At(Image, 0, 0), Pen);

  QImage Empty(1, 1, QImage::Format_RGB32);
  QPainter P(&Empty);
  QRect None(10, 10, 0, 0);
  B.PaintRectangular(P, None);
  EXPECT_EQ(None.width(), 0);
  B.Offset().SetLeft(INT32_MAX);
  QRect Huge(INT32_MIN / 4, 0, INT32_MAX / 2, 10);
  B.PaintRectangular(P, Huge);
  EXPECT_EQ(Huge.width(), 0);
}

TEST(Gradient, StylesRunFromColorFromToColorTo) {
  const QColor From(0, 0, 0), To(255, 255, 255);
  const QImage Tl = TAbGradSettings::Render(gsTopLeft, From, To, QSize(30, 30));
  EXPECT_EQ(QColor(Tl.pixel(0, 0)), From);
  EXPECT_EQ(QColor(Tl.pixel(29, 29)), To);
  EXPECT_NEAR(QColor(Tl.pixel(29, 0)).red(), 128, 1);
  const QImage Tr = TAbGradSettings::Render(gsTopRight, From, To, QSize(30, 30));
  EXPECT_EQ(QColor(Tr.pixel(29, 0)), From);
  EXPECT_EQ(QColor(Tr.pixel(0, 29)), To);

  EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsHorizontal2, 0, 3, 11, 7), 0.0);
  EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsHorizontal2, 5, 3, 11, 7), 1.0);
  EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsVertical1, 4, 6, 11, 7), 1.0);
  EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsElliptic1, 5, 3, 11, 7), 0.0);
  EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsElliptic2, 5, 3, 11, 7), 1.0);
  EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsRectangle, 10, 3, 11, 7), 1.0);
  EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsDiamond2, 5, 3, 11, 7), 1.0);
  for (int S = gsHorizontal1; S <= gsTopRight; ++S)
    for (int Y = 0; Y < 7; ++Y)
      for (int X = 0; X < 11; ++X) {
        const double F = TAbGradSettings::Fraction(static_cast<TGradientStyle>(S), X, Y, 11, 7);
        EXPECT_GE(F, 0.0);
        EXPECT_LE(F, 1.0);
      }
  EXPECT_TRUE(TAbGradSettings::Render(gsTopLeft, From, To, QSize(0, 5)).isNull());
  EXPECT_EQ(QColor(TAbGradSettings::Render(gsTopLeft, From, To, QSize(1, 1)).pixel(0, 0)), QColor(128, 128, 128));
}

TEST(CircularBevel, ShadedRingAroundTheFaceDisc) {
  // The dial face: shading from highlight (top left) to shadow (bottom right).
  TAbSBevel B;
  Configure(B, 4, 1, blOuter);
  B.SetColorShadowFrom(QColor(250, 250, 250));
  B.SetColorShadowTo(QColor(60, 60, 60));
  B.SetCircularShading(true);
  ASSERT_EQ(B.ShadingImage().size(), QSize(30, 30));
  QRect Inner;
  const QImage Image = Render(B, QSize(100, 100), Inner, true);
  EXPECT_EQ(Inner, QRect(6, 6, 88, 88));  // Width 4 + Spacing 1 + outer line
  EXPECT_EQ(At(Image, 50, 50), Face);
  EXPECT_EQ(At(Image, 0, 0), Background);  // outside the circle: untouched
  EXPECT_EQ(At(Image, 99, 99), Background);
  // The ring: light on the upper left, dark on the lower right.
  const QColor UpperLeft = At(Image, 17, 17);
  const QColor LowerRight = At(Image, 82, 82);
  EXPECT_GT(UpperLeft.red(), 150);
  EXPECT_LT(LowerRight.red(), 110);
  EXPECT_LT(At(Image, 50, 0).red(), 60);  // the black outer line on the edge

  // Lowered turns the shading by half a circle.
  B.SetStyle(bsLowered);
  const QImage Lowered = Render(B, QSize(100, 100), Inner, true);
  EXPECT_LT(At(Lowered, 17, 17).red(), 110);
  EXPECT_GT(At(Lowered, 82, 82).red(), 150);
}

TEST(CircularBevel, NothingDrawnWhenTooSmallOrUnmarked) {
  TAbSBevel B;
  Configure(B, 1, 0, blNone);
  B.SetCircularShading(true);
  QRect Inner;
  const QImage Tiny = Render(B, QSize(4, 4), Inner, true);
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X) EXPECT_EQ(At(Tiny, X, Y), Background);
  B.SetCircularShading(false);
  EXPECT_TRUE(B.ShadingImage().isNull());
  const QImage Unmarked = Render(B, QSize(40, 40), Inner, true);
  EXPECT_EQ(At(Unmarked, 20, 20), Background);
  EXPECT_EQ(Inner, QRect(1, 1, 38, 38));
}

TEST(Bevel, CopyTakesEveryPropertyAndRefusesOtherClasses) {
  TAbSBevel Source;
  Configure(Source, 3, 2, blBoth);
  Source.SetStyle(bsLowered);
  Source.Offset().SetTop(4);
  Source.SurfaceGrad().SetStyle(gsDiamond1);
  Source.SetCircularShading(true);
  TAbSBevel Copy;
  Copy.Assign(Source);
  EXPECT_EQ(Copy.Width(), 3);
  EXPECT_EQ(Copy.Spacing(), 2);
  EXPECT_EQ(Copy.BevelLine(), blBoth);
  EXPECT_EQ(Copy.Style(), bsLowered);
  EXPECT_EQ(Copy.Color(), Face);
  EXPECT_EQ(Copy.ColorShadowTo(), Shadow);
  EXPECT_EQ(Copy.PenColor(), Pen);
  EXPECT_EQ(Copy.Offset().Top(), 4);
  EXPECT_EQ(Copy.SurfaceGrad().Style(), gsDiamond1);
  EXPECT_TRUE(Copy.CircularShading());
  EXPECT_EQ(Copy.Thickness(), 7);
  TAbGradSettings Grad;
  EXPECT_THROW(Copy.Assign(Grad), EAbAssignError);
}

TEST(CircularBevel, HugeFaceIsDrawnInPlace) {
  TAbSBevel B;
  Configure(B, 2, 0, blNone);
  B.SetCircularShading(true);
  QImage Image(200, 200, QImage::Format_RGB32);
  Image.fill(Background);
  QRect Square(-4900, -4900, 10000, 10000);  // centred on (100, 100)
  {
    QPainter P(&Image);
    B.PaintCircular(P, Square);
  }
  EXPECT_EQ(Square, QRect(-4898, -4898, 9996, 9996));
  EXPECT_EQ(At(Image, 100, 100), Face);
  EXPECT_EQ(At(Image, 0, 0), Face);
}
