#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include "abpersistent.h"

class QPainter;

// The three-dimensional colours of the desktop (button face, its shadow and
// its highlight), read from the application palette when there is one.
QColor AbBtnFaceColor();
QColor AbBtnShadowColor();
QColor AbBtnHighlightColor();

// Per-channel interpolation: each of red, green and blue moves from `From`
// towards `To` by (To - From) / Count * N, rounded. Count <= 0 gives `To`.
QColor AbBlendColor(const QColor& From, const QColor& To, int N, int Count);

// Extra insets of a bevel's inner rectangle.
class TAbOffset : public TAbPersistent {
public:
  void Assign(const TAbPersistent& Source) override;
  const char* ClassName() const override { return "TAbOffset"; }

  int Top() const { return FTop; }
  int Left() const { return FLeft; }
  int Right() const { return FRight; }
  int Bottom() const { return FBottom; }
  void SetTop(int V);
  void SetLeft(int V);
  void SetRight(int V);
  void SetBottom(int V);

private:
  void Store(int& Field, int V);
  int FTop = 0, FLeft = 0, FRight = 0, FBottom = 0;
};

enum TGradientStyle {
  gsHorizontal1,
  gsHorizontal2,
  gsHorizontal3,
  gsVertical1,
  gsVertical2,
  gsVertical3,
  gsElliptic1,
  gsElliptic2,
  gsElliptic3,
  gsRectangle,
  gsDiamond1,
  gsDiamond2,
  gsTopLeft,
  gsTopRight
};

// A two-colour gradient. Every style maps a pixel to a fraction 0..1 (0 is
// ColorFrom, 1 is ColorTo):
//   Horizontal1 left to right, Horizontal2 from the edges to the middle,
//   Horizontal3 from the middle to the edges; Vertical1..3 likewise top to
//   bottom; Elliptic1 from the centre outwards, Elliptic2 from the rim
//   inwards, Elliptic3 a ring (ColorTo halfway out); Rectangle concentric
//   rectangles from the centre; Diamond1 concentric diamonds from the centre,
//   Diamond2 from the corners; TopLeft from the top left corner to the bottom
//   right one, TopRight from the top right to the bottom left.
class TAbGradSettings : public TAbPersistent {
public:
  TAbGradSettings();
  void Assign(const TAbPersistent& Source) override;
  const char* ClassName() const override { return "TAbGradSettings"; }

  const QColor& ColorFrom() const { return FColorFrom; }
  const QColor& ColorTo() const { return FColorTo; }
  bool Visible() const { return FVisible; }
  TGradientStyle Style() const { return FStyle; }
  void SetColorFrom(const QColor& C);
  void SetColorTo(const QColor& C);
  void SetVisible(bool V);
  void SetStyle(TGradientStyle S);

  // Fraction 0..1 of pixel (X, Y) in a W x H area for a style.
  static double Fraction(TGradientStyle GradientStyle, int X, int Y, int W, int H);
  // An image of the gradient (empty for an empty size).
  static QImage Render(TGradientStyle GradientStyle, const QColor& From, const QColor& To, QSize Size);
  QImage Render(QSize Size) const { return Render(FStyle, FColorFrom, FColorTo, Size); }
  // Paints the gradient over Rect (nothing when Rect is empty).
  void Paint(QPainter& Canvas, const QRect& Rect) const;

private:
  QColor FColorFrom;
  QColor FColorTo;
  bool FVisible = false;
  TGradientStyle FStyle = gsHorizontal1;
};

enum TBevelStyle { bsLowered, bsRaised };
enum TBevelLine { blNone, blOuter, blInner, blBoth };

// A framed area: a surface, Width one-pixel 3-D rings and optional one-pixel
// lines, with Spacing free pixels inside. Drawing gives back the inner
// rectangle. Spacing and Width are kept within 0..1000 so that a frame can
// never turn inside out or loop for long.
class TAbSBevel : public TAbPersistent {
public:
  TAbSBevel();
  void Assign(const TAbPersistent& Source) override;
  const char* ClassName() const override { return "TAbSBevel"; }
  // Recomputes the thickness and the circular shading image, then notifies.
  void Changed() override;

  TAbOffset& Offset() { return FOffset; }
  const TAbOffset& Offset() const { return FOffset; }
  TBevelStyle Style() const { return FStyle; }
  int Spacing() const { return FSpacing; }
  TBevelLine BevelLine() const { return FBevelLine; }
  int Width() const { return FWidth; }
  const QColor& Color() const { return FColor; }
  const QColor& ColorShadowFrom() const { return FColorShadowFrom; }
  const QColor& ColorShadowTo() const { return FColorShadowTo; }
  const QColor& ColorHighLightFrom() const { return FColorHighLightFrom; }
  const QColor& ColorHighLightTo() const { return FColorHighLightTo; }
  const QColor& PenColor() const { return FPenColor; }
  TAbGradSettings& SurfaceGrad() { return FSurfaceGrad; }
  const TAbGradSettings& SurfaceGrad() const { return FSurfaceGrad; }

  void SetStyle(TBevelStyle V);
  void SetSpacing(int V);
  void SetBevelLine(TBevelLine V);
  void SetWidth(int V);
  void SetColor(const QColor& V);
  void SetColorShadowFrom(const QColor& V);
  void SetColorShadowTo(const QColor& V);
  void SetColorHighLightFrom(const QColor& V);
  void SetColorHighLightTo(const QColor& V);
  void SetPenColor(const QColor& V);

  // The dial face is marked for circular shading: it keeps a 30 x 30
  // gsTopLeft image from ColorShadowFrom to ColorShadowTo.
  bool CircularShading() const { return FCircularShading; }
  void SetCircularShading(bool On);
  const QImage& ShadingImage() const { return FShading; }

  // Spacing + Width, plus 1 for blOuter or blInner, plus 2 for blBoth.
  int Thickness() const { return FThickness; }

  // Draws the rectangular bevel over Rect and replaces Rect by the inner
  // rectangle (never of negative size).
  void PaintRectangular(QPainter& Canvas, QRect& Rect) const;
  // Draws the circular bevel in the square Rect (needs the circular
  // shading mark and a size over 4 pixels, else draws nothing) and
  // replaces Rect by the inner rectangle.
  void PaintCircular(QPainter& Canvas, QRect& Rect) const;
  // The inner rectangle either bevel leaves in Rect, without drawing:
  // Rect shrunk by the thickness, then by Offset.
  QRect InnerRect(const QRect& Rect) const;

private:
  template <typename T>
  void Store(T& Field, const T& V);
  // The shading, lines and disc of the circular bevel in a square of
  // `Side` pixels at the painter's origin.
  void PaintFace(QPainter& P, int Side) const;

  TAbOffset FOffset;
  TBevelStyle FStyle = bsRaised;
  int FSpacing = 5;
  TBevelLine FBevelLine = blNone;
  int FWidth = 2;
  QColor FColor;
  QColor FColorShadowFrom, FColorShadowTo;
  QColor FColorHighLightFrom, FColorHighLightTo;
  QColor FPenColor = Qt::black;
  TAbGradSettings FSurfaceGrad;
  bool FCircularShading = false;
  QImage FShading;
  int FThickness = 0;
};

// A rectangle shrunk by the given insets, kept at zero size (around the
// middle of what is left) instead of turning inside out.
QRect AbShrinkRect(const QRect& R, int Left, int Top, int Right, int Bottom);
