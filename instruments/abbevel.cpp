#include "abbevel.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int MaxBevelValue = 1000;
constexpr int ShadingSize = 30;
// Larger faces are drawn in place instead of through an off-screen image.
constexpr int MaxComposedSide = 4096;

QColor PaletteColor(QPalette::ColorRole Role, QColor Fallback) {
  // Taken to 8 bits per channel: palette colours may carry finer values that
  // would never compare equal to a pixel read back from an image.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return QColor(QGuiApplication::palette().color(QPalette::Active, Role).rgb());
  return Fallback;
}

int Channel(int From, int To, double Fraction) {
  return std::clamp(static_cast<int>(std::lround(From + (To - From) * Fraction)), 0, 255);
}

QColor Interpolate(const QColor& From, const QColor& To, double Fraction) {
  return QColor(Channel(From.red(), To.red(), Fraction), Channel(From.green(), To.green(), Fraction),
                Channel(From.blue(), To.blue(), Fraction));
}

// One-pixel rows and columns are filled rather than stroked, so the frame
// lands on exactly the pixels meant whatever the painter's transformation
// rules for pens are.
void FillRow(QPainter& P, int X0, int X1, int Y, const QColor& C) {
  if (X1 >= X0) P.fillRect(QRect(X0, Y, X1 - X0 + 1, 1), C);
}

void FillColumn(QPainter& P, int X, int Y0, int Y1, const QColor& C) {
  if (Y1 >= Y0) P.fillRect(QRect(X, Y0, 1, Y1 - Y0 + 1), C);
}

void OutlineRect(QPainter& P, const QRect& R, const QColor& C) {
  if (R.width() <= 0 || R.height() <= 0) return;
  FillRow(P, R.left(), R.right(), R.top(), C);
  FillRow(P, R.left(), R.right(), R.bottom(), C);
  FillColumn(P, R.left(), R.top(), R.bottom(), C);
  FillColumn(P, R.right(), R.top(), R.bottom(), C);
}

// Top and left in one colour, bottom and right (with the two far corners) in
// the other.
void Frame3D(QPainter& P, const QRect& R, const QColor& TopLeft, const QColor& BottomRight) {
  FillRow(P, R.left(), R.right() - 1, R.top(), TopLeft);
  FillColumn(P, R.left(), R.top(), R.bottom() - 1, TopLeft);
  FillRow(P, R.left(), R.right(), R.bottom(), BottomRight);
  FillColumn(P, R.right(), R.top(), R.bottom(), BottomRight);
}

bool HasOuterLine(TBevelLine L) { return L == blOuter || L == blBoth; }
bool HasInnerLine(TBevelLine L) { return L == blInner || L == blBoth; }

}  // namespace

QColor AbBtnFaceColor() { return PaletteColor(QPalette::Button, QColor(0xF0, 0xF0, 0xF0)); }
QColor AbBtnShadowColor() { return PaletteColor(QPalette::Dark, QColor(0xA0, 0xA0, 0xA0)); }
QColor AbBtnHighlightColor() { return PaletteColor(QPalette::Light, QColor(0xFF, 0xFF, 0xFF)); }

QColor AbBlendColor(const QColor& From, const QColor& To, int N, int Count) {
  if (Count <= 0) return QColor(To.red(), To.green(), To.blue());
  return Interpolate(From, To, static_cast<double>(N) / Count);
}

QRect AbShrinkRect(const QRect& R, int Left, int Top, int Right, int Bottom) {
  // 64-bit arithmetic: insets and coordinates may be anything.
  auto Axis = [](int Start, int Size, int Lo, int Hi, int& OutStart, int& OutSize) {
    const int64_t S = static_cast<int64_t>(Start) + Lo;
    const int64_t N = static_cast<int64_t>(Size) - Lo - Hi;
    if (N >= 0) {
      OutStart = static_cast<int>(std::clamp<int64_t>(S, INT32_MIN / 2, INT32_MAX / 2));
      OutSize = static_cast<int>(std::min<int64_t>(N, INT32_MAX / 2));
    } else {
      OutStart = static_cast<int>(
          std::clamp<int64_t>(static_cast<int64_t>(Start) + std::max(Size, 0) / 2, INT32_MIN / 2, INT32_MAX / 2));
      OutSize = 0;
    }
  };
  int X, W, Y, H;
  Axis(R.x(), R.width(), Left, Right, X, W);
  Axis(R.y(), R.height(), Top, Bottom, Y, H);
  return QRect(X, Y, W, H);
}

// --- TAbOffset ---

void TAbOffset::Assign(const TAbPersistent& Source) {
  const auto* O = dynamic_cast<const TAbOffset*>(&Source);
  if (!O) {
    TAbPersistent::Assign(Source);
    return;
  }
  SetTop(O->FTop);
  SetLeft(O->FLeft);
  SetRight(O->FRight);
  SetBottom(O->FBottom);
}

void TAbOffset::Store(int& Field, int V) {
  if (Field == V) return;
  Field = V;
  Changed();
}

void TAbOffset::SetTop(int V) { Store(FTop, V); }
void TAbOffset::SetLeft(int V) { Store(FLeft, V); }
void TAbOffset::SetRight(int V) { Store(FRight, V); }
void TAbOffset::SetBottom(int V) { Store(FBottom, V); }

// --- TAbGradSettings ---

TAbGradSettings::TAbGradSettings() : FColorFrom(0xE2, 0xE2, 0xE2), FColorTo(0x8F, 0x8F, 0x8F) {}

void TAbGradSettings::Assign(const TAbPersistent& Source) {
  const auto* G = dynamic_cast<const TAbGradSettings*>(&Source);
  if (!G) {
    TAbPersistent::Assign(Source);
    return;
  }
  SetColorFrom(G->FColorFrom);
  SetColorTo(G->FColorTo);
  SetVisible(G->FVisible);
  SetStyle(G->FStyle);
}

void TAbGradSettings::SetColorFrom(const QColor& C) {
  if (C == FColorFrom) return;
  FColorFrom = C;
  Changed();
}

void TAbGradSettings::SetColorTo(const QColor& C) {
  if (C == FColorTo) return;
  FColorTo = C;
  Changed();
}

void TAbGradSettings::SetVisible(bool V) {
  if (V == FVisible) return;
  FVisible = V;
  Changed();
}

void TAbGradSettings::SetStyle(TGradientStyle S) {
  if (S == FStyle || S < gsHorizontal1 || S > gsTopRight) return;
  FStyle = S;
  Changed();
}

double TAbGradSettings::Fraction(TGradientStyle GradientStyle, int X, int Y, int W, int H) {
  // u, v run from 0 at the first pixel to 1 at the last one.
  const double U = W > 1 ? std::clamp(static_cast<double>(X) / (W - 1), 0.0, 1.0) : 0.5;
  const double V = H > 1 ? std::clamp(static_cast<double>(Y) / (H - 1), 0.0, 1.0) : 0.5;
  const double Du = std::abs(2 * U - 1);  // 0 in the middle, 1 at the edges
  const double Dv = std::abs(2 * V - 1);
  const double Radial = std::min(1.0, std::sqrt(Du * Du + Dv * Dv));
  switch (GradientStyle) {
    case gsHorizontal1: return U;
    case gsHorizontal2: return 1 - Du;
    case gsHorizontal3: return Du;
    case gsVertical1: return V;
    case gsVertical2: return 1 - Dv;
    case gsVertical3: return Dv;
    case gsElliptic1: return Radial;
    case gsElliptic2: return 1 - Radial;
    case gsElliptic3: return 1 - std::abs(2 * Radial - 1);
    case gsRectangle: return std::max(Du, Dv);
    case gsDiamond1: return (Du + Dv) / 2;
    case gsDiamond2: return 1 - (Du + Dv) / 2;
    case gsTopLeft: return (U + V) / 2;
    case gsTopRight: return ((1 - U) + V) / 2;
  }
  return 0;
}

QImage TAbGradSettings::Render(TGradientStyle GradientStyle, const QColor& From, const QColor& To, QSize Size) {
  if (Size.width() <= 0 || Size.height() <= 0) return {};
  QImage Image(Size, QImage::Format_RGB32);
  for (int Y = 0; Y < Size.height(); ++Y) {
    auto* Line = reinterpret_cast<QRgb*>(Image.scanLine(Y));
    for (int X = 0; X < Size.width(); ++X)
      Line[X] = Interpolate(From, To, Fraction(GradientStyle, X, Y, Size.width(), Size.height())).rgb();
  }
  return Image;
}

void TAbGradSettings::Paint(QPainter& Canvas, const QRect& Rect) const {
  if (Rect.width() <= 0 || Rect.height() <= 0) return;
  Canvas.drawImage(Rect.topLeft(), Render(Rect.size()));
}

// --- TAbSBevel ---

TAbSBevel::TAbSBevel()
    : FColor(AbBtnFaceColor()),
      FColorShadowFrom(AbBtnShadowColor()),
      FColorShadowTo(AbBtnShadowColor()),
      FColorHighLightFrom(AbBtnHighlightColor()),
      FColorHighLightTo(AbBtnHighlightColor()) {
  FOffset.SetOnChange([this](TAbPersistent*) { Changed(); });
  FSurfaceGrad.SetOnChange([this](TAbPersistent*) { Changed(); });
  FThickness = FSpacing + FWidth;
}

void TAbSBevel::Assign(const TAbPersistent& Source) {
  const auto* B = dynamic_cast<const TAbSBevel*>(&Source);
  if (!B) {
    TAbPersistent::Assign(Source);
    return;
  }
  FOffset.Assign(B->FOffset);
  SetStyle(B->FStyle);
  SetSpacing(B->FSpacing);
  SetBevelLine(B->FBevelLine);
  SetWidth(B->FWidth);
  SetColor(B->FColor);
  SetColorShadowFrom(B->FColorShadowFrom);
  SetColorShadowTo(B->FColorShadowTo);
  SetColorHighLightFrom(B->FColorHighLightFrom);
  SetColorHighLightTo(B->FColorHighLightTo);
  SetPenColor(B->FPenColor);
  FSurfaceGrad.Assign(B->FSurfaceGrad);
  SetCircularShading(B->FCircularShading);
}

void TAbSBevel::Changed() {
  FThickness = FSpacing + FWidth + (FBevelLine == blBoth ? 2 : FBevelLine == blNone ? 0 : 1);
  if (FCircularShading)
    FShading = TAbGradSettings::Render(gsTopLeft, FColorShadowFrom, FColorShadowTo, QSize(ShadingSize, ShadingSize));
  else FShading = QImage();
  TAbPersistent::Changed();
}

template <typename T>
void TAbSBevel::Store(T& Field, const T& V) {
  if (Field == V) return;
  Field = V;
  Changed();
}

void TAbSBevel::SetStyle(TBevelStyle V) {
  if (V == bsLowered || V == bsRaised) Store(FStyle, V);
}

void TAbSBevel::SetSpacing(int V) { Store(FSpacing, std::clamp(V, 0, MaxBevelValue)); }

void TAbSBevel::SetBevelLine(TBevelLine V) {
  if (V >= blNone && V <= blBoth) Store(FBevelLine, V);
}

void TAbSBevel::SetWidth(int V) { Store(FWidth, std::clamp(V, 0, MaxBevelValue)); }
void TAbSBevel::SetColor(const QColor& V) { Store(FColor, V); }
void TAbSBevel::SetColorShadowFrom(const QColor& V) { Store(FColorShadowFrom, V); }
void TAbSBevel::SetColorShadowTo(const QColor& V) { Store(FColorShadowTo, V); }
void TAbSBevel::SetColorHighLightFrom(const QColor& V) { Store(FColorHighLightFrom, V); }
void TAbSBevel::SetColorHighLightTo(const QColor& V) { Store(FColorHighLightTo, V); }
void TAbSBevel::SetPenColor(const QColor& V) { Store(FPenColor, V); }
void TAbSBevel::SetCircularShading(bool On) { Store(FCircularShading, On); }

QRect TAbSBevel::InnerRect(const QRect& Rect) const {
  const QRect R = AbShrinkRect(Rect, FThickness, FThickness, FThickness, FThickness);
  return AbShrinkRect(R, FOffset.Left(), FOffset.Top(), FOffset.Right(), FOffset.Bottom());
}

void TAbSBevel::PaintRectangular(QPainter& Canvas, QRect& Rect) const {
  const QRect Outer = Rect;
  Rect = InnerRect(Outer);
  if (Outer.width() <= 0 || Outer.height() <= 0) return;

  Canvas.save();
  Canvas.fillRect(Outer, FColor);

  const int LineInset = HasOuterLine(FBevelLine) ? 1 : 0;
  QRect Ring = AbShrinkRect(Outer, LineInset, LineInset, LineInset, LineInset);
  for (int N = 1; N <= FWidth && Ring.width() > 0 && Ring.height() > 0; ++N) {
    QColor TopLeft, BottomRight;
    if (FStyle == bsRaised) {
      TopLeft = AbBlendColor(FColorHighLightFrom, FColorHighLightTo, N, FWidth);
      BottomRight = AbBlendColor(FColorShadowFrom, FColorShadowTo, N, FWidth);
    } else {
      TopLeft = AbBlendColor(FColorShadowTo, FColorShadowFrom, N, FWidth);
      BottomRight = AbBlendColor(FColorHighLightTo, FColorHighLightFrom, N, FWidth);
    }
    Frame3D(Canvas, Ring, TopLeft, BottomRight);
    Ring = AbShrinkRect(Ring, 1, 1, 1, 1);
  }
  // `Ring` is now the area just inside the rings.
  if (FSurfaceGrad.Visible()) FSurfaceGrad.Paint(Canvas, Ring);
  if (HasInnerLine(FBevelLine)) OutlineRect(Canvas, Ring, FPenColor);
  if (HasOuterLine(FBevelLine)) OutlineRect(Canvas, Outer, FPenColor);
  Canvas.restore();
}

void TAbSBevel::PaintFace(QPainter& P, int Side) const {
  P.setRenderHint(QPainter::SmoothPixmapTransform);
  P.setRenderHint(QPainter::Antialiasing);
  const QImage Shading = FStyle == bsLowered ? FShading.mirrored(true, true) : FShading;
  P.drawImage(QRect(0, 0, Side, Side), Shading);

  const bool Outer = HasOuterLine(FBevelLine);
  if (Outer) {
    P.setPen(QPen(FPenColor, 1));
    P.setBrush(Qt::NoBrush);
    P.drawEllipse(QRectF(0.5, 0.5, Side - 1, Side - 1));
  }
  const double Inset = FWidth + (Outer ? 1 : 0);
  const double Disc = Side - 2 * Inset;
  if (Disc > 0) {
    P.setPen(QPen(HasInnerLine(FBevelLine) ? FPenColor : FColor, 1));
    P.setBrush(FColor);
    P.drawEllipse(QRectF(Inset + 0.5, Inset + 0.5, Disc - 1, Disc - 1));
  }
}

void TAbSBevel::PaintCircular(QPainter& Canvas, QRect& Rect) const {
  const int Side = std::min(Rect.width(), Rect.height());
  const QRect Square(Rect.topLeft(), QSize(std::max(Side, 0), std::max(Side, 0)));
  Rect = InnerRect(Square);
  if (!FCircularShading || Side <= 4 || FShading.isNull()) return;

  if (Side > MaxComposedSide) {
    // Too big to compose off-screen: drawn in place, cut by a clip region.
    Canvas.save();
    Canvas.translate(Square.topLeft());
    Canvas.setClipRegion(QRegion(0, 0, Side, Side, QRegion::Ellipse), Qt::IntersectClip);
    PaintFace(Canvas, Side);
    Canvas.restore();
    return;
  }

  // The face is composed in its own transparent image and then cut to the
  // circle, so the rim is smooth and nothing outside it is touched.
  QImage Face(Side, Side, QImage::Format_ARGB32_Premultiplied);
  Face.fill(Qt::transparent);
  {
    QPainter P(&Face);
    PaintFace(P, Side);
    // Keep only what lies inside the circle on the square's edge.
    QImage Mask(Side, Side, QImage::Format_ARGB32_Premultiplied);
    Mask.fill(Qt::transparent);
    {
      QPainter M(&Mask);
      M.setRenderHint(QPainter::Antialiasing);
      M.setPen(Qt::NoPen);
      M.setBrush(Qt::black);
      M.drawEllipse(QRectF(0, 0, Side, Side));
    }
    P.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    P.drawImage(0, 0, Mask);
  }
  Canvas.drawImage(Square.topLeft(), Face);
}
