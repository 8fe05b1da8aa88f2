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

// Per-channel interpolation: each of red, green and blue moves from `from`
// towards `to` by (to - from) / count * n, rounded. count <= 0 gives `to`.
QColor AbBlendColor(const QColor& from, const QColor& to, int n, int count);

// Extra insets of a bevel's inner rectangle.
class TAbOffset : public TAbPersistent {
public:
    void Assign(const TAbPersistent& source) override;
    const char* ClassName() const override { return "TAbOffset"; }

    int Top() const { return top_; }
    int Left() const { return left_; }
    int Right() const { return right_; }
    int Bottom() const { return bottom_; }
    void SetTop(int v);
    void SetLeft(int v);
    void SetRight(int v);
    void SetBottom(int v);

private:
    void Store(int& field, int v);
    int top_ = 0, left_ = 0, right_ = 0, bottom_ = 0;
};

enum TGradientStyle {
    gsHorizontal1, gsHorizontal2, gsHorizontal3,
    gsVertical1, gsVertical2, gsVertical3,
    gsElliptic1, gsElliptic2, gsElliptic3,
    gsRectangle, gsDiamond1, gsDiamond2,
    gsTopLeft, gsTopRight
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
    void Assign(const TAbPersistent& source) override;
    const char* ClassName() const override { return "TAbGradSettings"; }

    const QColor& ColorFrom() const { return colorFrom_; }
    const QColor& ColorTo() const { return colorTo_; }
    bool Visible() const { return visible_; }
    TGradientStyle Style() const { return style_; }
    void SetColorFrom(const QColor& c);
    void SetColorTo(const QColor& c);
    void SetVisible(bool v);
    void SetStyle(TGradientStyle s);

    // Fraction 0..1 of pixel (x, y) in a w x h area for a style.
    static double Fraction(TGradientStyle style, int x, int y, int w, int h);
    // An image of the gradient (empty for an empty size).
    static QImage Render(TGradientStyle style, const QColor& from, const QColor& to, QSize size);
    QImage Render(QSize size) const { return Render(style_, colorFrom_, colorTo_, size); }
    // Paints the gradient over rect (nothing when rect is empty).
    void Paint(QPainter& canvas, const QRect& rect) const;

private:
    QColor colorFrom_;
    QColor colorTo_;
    bool visible_ = false;
    TGradientStyle style_ = gsHorizontal1;
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
    void Assign(const TAbPersistent& source) override;
    const char* ClassName() const override { return "TAbSBevel"; }
    // Recomputes the thickness and the circular shading image, then notifies.
    void Changed() override;

    TAbOffset& Offset() { return offset_; }
    const TAbOffset& Offset() const { return offset_; }
    TBevelStyle Style() const { return style_; }
    int Spacing() const { return spacing_; }
    TBevelLine BevelLine() const { return bevelLine_; }
    int Width() const { return width_; }
    const QColor& Color() const { return color_; }
    const QColor& ColorShadowFrom() const { return colorShadowFrom_; }
    const QColor& ColorShadowTo() const { return colorShadowTo_; }
    const QColor& ColorHighLightFrom() const { return colorHighLightFrom_; }
    const QColor& ColorHighLightTo() const { return colorHighLightTo_; }
    const QColor& PenColor() const { return penColor_; }
    TAbGradSettings& SurfaceGrad() { return surfaceGrad_; }
    const TAbGradSettings& SurfaceGrad() const { return surfaceGrad_; }

    void SetStyle(TBevelStyle v);
    void SetSpacing(int v);
    void SetBevelLine(TBevelLine v);
    void SetWidth(int v);
    void SetColor(const QColor& v);
    void SetColorShadowFrom(const QColor& v);
    void SetColorShadowTo(const QColor& v);
    void SetColorHighLightFrom(const QColor& v);
    void SetColorHighLightTo(const QColor& v);
    void SetPenColor(const QColor& v);

    // The dial face is marked for circular shading: it keeps a 30 x 30
    // gsTopLeft image from ColorShadowFrom to ColorShadowTo.
    bool CircularShading() const { return circularShading_; }
    void SetCircularShading(bool on);
    const QImage& ShadingImage() const { return shading_; }

    // Spacing + Width, plus 1 for blOuter or blInner, plus 2 for blBoth.
    int Thickness() const { return thickness_; }

    // Draws the rectangular bevel over rect and replaces rect by the inner
    // rectangle (never of negative size).
    void PaintRectangular(QPainter& canvas, QRect& rect) const;
    // Draws the circular bevel in the square rect (needs the circular
    // shading mark and a size over 4 pixels, else draws nothing) and
    // replaces rect by the inner rectangle.
    void PaintCircular(QPainter& canvas, QRect& rect) const;
    // The inner rectangle either bevel leaves in rect, without drawing:
    // rect shrunk by the thickness, then by Offset.
    QRect InnerRect(const QRect& rect) const;

private:
    template <typename T> void Store(T& field, const T& v);
    // The shading, lines and disc of the circular bevel in a square of
    // `side` pixels at the painter's origin.
    void PaintFace(QPainter& p, int side) const;

    TAbOffset offset_;
    TBevelStyle style_ = bsRaised;
    int spacing_ = 5;
    TBevelLine bevelLine_ = blNone;
    int width_ = 2;
    QColor color_;
    QColor colorShadowFrom_, colorShadowTo_;
    QColor colorHighLightFrom_, colorHighLightTo_;
    QColor penColor_ = Qt::black;
    TAbGradSettings surfaceGrad_;
    bool circularShading_ = false;
    QImage shading_;
    int thickness_ = 0;
};

// A rectangle shrunk by the given insets, kept at zero size (around the
// middle of what is left) instead of turning inside out.
QRect AbShrinkRect(const QRect& r, int left, int top, int right, int bottom);
