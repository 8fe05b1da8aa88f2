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

constexpr int kMaxBevelValue = 1000;
constexpr int kShadingSize = 30;
// Larger faces are drawn in place instead of through an off-screen image.
constexpr int kMaxComposedSide = 4096;

QColor PaletteColor(QPalette::ColorRole role, QColor fallback)
{
    // Taken to 8 bits per channel: palette colours may carry finer values that
    // would never compare equal to a pixel read back from an image.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QColor(QGuiApplication::palette().color(QPalette::Active, role).rgb());
    return fallback;
}

int Channel(int from, int to, double fraction)
{
    return std::clamp(static_cast<int>(std::lround(from + (to - from) * fraction)), 0, 255);
}

QColor Interpolate(const QColor& from, const QColor& to, double fraction)
{
    return QColor(Channel(from.red(), to.red(), fraction), Channel(from.green(), to.green(), fraction),
                  Channel(from.blue(), to.blue(), fraction));
}

// One-pixel rows and columns are filled rather than stroked, so the frame
// lands on exactly the pixels meant whatever the painter's transformation
// rules for pens are.
void FillRow(QPainter& p, int x0, int x1, int y, const QColor& c)
{
    if (x1 >= x0)
        p.fillRect(QRect(x0, y, x1 - x0 + 1, 1), c);
}

void FillColumn(QPainter& p, int x, int y0, int y1, const QColor& c)
{
    if (y1 >= y0)
        p.fillRect(QRect(x, y0, 1, y1 - y0 + 1), c);
}

void OutlineRect(QPainter& p, const QRect& r, const QColor& c)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    FillRow(p, r.left(), r.right(), r.top(), c);
    FillRow(p, r.left(), r.right(), r.bottom(), c);
    FillColumn(p, r.left(), r.top(), r.bottom(), c);
    FillColumn(p, r.right(), r.top(), r.bottom(), c);
}

// Top and left in one colour, bottom and right (with the two far corners) in
// the other.
void Frame3D(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    FillRow(p, r.left(), r.right() - 1, r.top(), topLeft);
    FillColumn(p, r.left(), r.top(), r.bottom() - 1, topLeft);
    FillRow(p, r.left(), r.right(), r.bottom(), bottomRight);
    FillColumn(p, r.right(), r.top(), r.bottom(), bottomRight);
}

bool HasOuterLine(TBevelLine l) { return l == blOuter || l == blBoth; }
bool HasInnerLine(TBevelLine l) { return l == blInner || l == blBoth; }

} // namespace

QColor AbBtnFaceColor() { return PaletteColor(QPalette::Button, QColor(0xF0, 0xF0, 0xF0)); }
QColor AbBtnShadowColor() { return PaletteColor(QPalette::Dark, QColor(0xA0, 0xA0, 0xA0)); }
QColor AbBtnHighlightColor() { return PaletteColor(QPalette::Light, QColor(0xFF, 0xFF, 0xFF)); }

QColor AbBlendColor(const QColor& from, const QColor& to, int n, int count)
{
    if (count <= 0)
        return QColor(to.red(), to.green(), to.blue());
    return Interpolate(from, to, static_cast<double>(n) / count);
}

QRect AbShrinkRect(const QRect& r, int left, int top, int right, int bottom)
{
    // 64-bit arithmetic: insets and coordinates may be anything.
    auto axis = [](int start, int size, int lo, int hi, int& outStart, int& outSize) {
        const int64_t s = static_cast<int64_t>(start) + lo;
        const int64_t n = static_cast<int64_t>(size) - lo - hi;
        if (n >= 0) {
            outStart = static_cast<int>(std::clamp<int64_t>(s, INT32_MIN / 2, INT32_MAX / 2));
            outSize = static_cast<int>(std::min<int64_t>(n, INT32_MAX / 2));
        } else {
            outStart = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(start) + std::max(size, 0) / 2,
                                                            INT32_MIN / 2, INT32_MAX / 2));
            outSize = 0;
        }
    };
    int x, w, y, h;
    axis(r.x(), r.width(), left, right, x, w);
    axis(r.y(), r.height(), top, bottom, y, h);
    return QRect(x, y, w, h);
}

// --- TAbOffset ---

void TAbOffset::Assign(const TAbPersistent& source)
{
    const auto* o = dynamic_cast<const TAbOffset*>(&source);
    if (!o) {
        TAbPersistent::Assign(source);
        return;
    }
    SetTop(o->top_);
    SetLeft(o->left_);
    SetRight(o->right_);
    SetBottom(o->bottom_);
}

void TAbOffset::Store(int& field, int v)
{
    if (field == v)
        return;
    field = v;
    Changed();
}

void TAbOffset::SetTop(int v) { Store(top_, v); }
void TAbOffset::SetLeft(int v) { Store(left_, v); }
void TAbOffset::SetRight(int v) { Store(right_, v); }
void TAbOffset::SetBottom(int v) { Store(bottom_, v); }

// --- TAbGradSettings ---

TAbGradSettings::TAbGradSettings() : colorFrom_(0xE2, 0xE2, 0xE2), colorTo_(0x8F, 0x8F, 0x8F) {}

void TAbGradSettings::Assign(const TAbPersistent& source)
{
    const auto* g = dynamic_cast<const TAbGradSettings*>(&source);
    if (!g) {
        TAbPersistent::Assign(source);
        return;
    }
    SetColorFrom(g->colorFrom_);
    SetColorTo(g->colorTo_);
    SetVisible(g->visible_);
    SetStyle(g->style_);
}

void TAbGradSettings::SetColorFrom(const QColor& c)
{
    if (c == colorFrom_)
        return;
    colorFrom_ = c;
    Changed();
}

void TAbGradSettings::SetColorTo(const QColor& c)
{
    if (c == colorTo_)
        return;
    colorTo_ = c;
    Changed();
}

void TAbGradSettings::SetVisible(bool v)
{
    if (v == visible_)
        return;
    visible_ = v;
    Changed();
}

void TAbGradSettings::SetStyle(TGradientStyle s)
{
    if (s == style_ || s < gsHorizontal1 || s > gsTopRight)
        return;
    style_ = s;
    Changed();
}

double TAbGradSettings::Fraction(TGradientStyle style, int x, int y, int w, int h)
{
    // u, v run from 0 at the first pixel to 1 at the last one.
    const double u = w > 1 ? std::clamp(static_cast<double>(x) / (w - 1), 0.0, 1.0) : 0.5;
    const double v = h > 1 ? std::clamp(static_cast<double>(y) / (h - 1), 0.0, 1.0) : 0.5;
    const double du = std::abs(2 * u - 1);  // 0 in the middle, 1 at the edges
    const double dv = std::abs(2 * v - 1);
    const double radial = std::min(1.0, std::sqrt(du * du + dv * dv));
    switch (style) {
    case gsHorizontal1: return u;
    case gsHorizontal2: return 1 - du;
    case gsHorizontal3: return du;
    case gsVertical1: return v;
    case gsVertical2: return 1 - dv;
    case gsVertical3: return dv;
    case gsElliptic1: return radial;
    case gsElliptic2: return 1 - radial;
    case gsElliptic3: return 1 - std::abs(2 * radial - 1);
    case gsRectangle: return std::max(du, dv);
    case gsDiamond1: return (du + dv) / 2;
    case gsDiamond2: return 1 - (du + dv) / 2;
    case gsTopLeft: return (u + v) / 2;
    case gsTopRight: return ((1 - u) + v) / 2;
    }
    return 0;
}

QImage TAbGradSettings::Render(TGradientStyle style, const QColor& from, const QColor& to, QSize size)
{
    if (size.width() <= 0 || size.height() <= 0)
        return {};
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = Interpolate(from, to, Fraction(style, x, y, size.width(), size.height())).rgb();
    }
    return image;
}

void TAbGradSettings::Paint(QPainter& canvas, const QRect& rect) const
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    canvas.drawImage(rect.topLeft(), Render(rect.size()));
}

// --- TAbSBevel ---

TAbSBevel::TAbSBevel()
    : color_(AbBtnFaceColor()),
      colorShadowFrom_(AbBtnShadowColor()),
      colorShadowTo_(AbBtnShadowColor()),
      colorHighLightFrom_(AbBtnHighlightColor()),
      colorHighLightTo_(AbBtnHighlightColor())
{
    offset_.SetOnChange([this](TAbPersistent*) { Changed(); });
    surfaceGrad_.SetOnChange([this](TAbPersistent*) { Changed(); });
    thickness_ = spacing_ + width_;
}

void TAbSBevel::Assign(const TAbPersistent& source)
{
    const auto* b = dynamic_cast<const TAbSBevel*>(&source);
    if (!b) {
        TAbPersistent::Assign(source);
        return;
    }
    offset_.Assign(b->offset_);
    SetStyle(b->style_);
    SetSpacing(b->spacing_);
    SetBevelLine(b->bevelLine_);
    SetWidth(b->width_);
    SetColor(b->color_);
    SetColorShadowFrom(b->colorShadowFrom_);
    SetColorShadowTo(b->colorShadowTo_);
    SetColorHighLightFrom(b->colorHighLightFrom_);
    SetColorHighLightTo(b->colorHighLightTo_);
    SetPenColor(b->penColor_);
    surfaceGrad_.Assign(b->surfaceGrad_);
    SetCircularShading(b->circularShading_);
}

void TAbSBevel::Changed()
{
    thickness_ = spacing_ + width_ + (bevelLine_ == blBoth ? 2 : bevelLine_ == blNone ? 0 : 1);
    if (circularShading_)
        shading_ = TAbGradSettings::Render(gsTopLeft, colorShadowFrom_, colorShadowTo_,
                                           QSize(kShadingSize, kShadingSize));
    else
        shading_ = QImage();
    TAbPersistent::Changed();
}

template <typename T> void TAbSBevel::Store(T& field, const T& v)
{
    if (field == v)
        return;
    field = v;
    Changed();
}

void TAbSBevel::SetStyle(TBevelStyle v)
{
    if (v == bsLowered || v == bsRaised)
        Store(style_, v);
}

void TAbSBevel::SetSpacing(int v) { Store(spacing_, std::clamp(v, 0, kMaxBevelValue)); }

void TAbSBevel::SetBevelLine(TBevelLine v)
{
    if (v >= blNone && v <= blBoth)
        Store(bevelLine_, v);
}

void TAbSBevel::SetWidth(int v) { Store(width_, std::clamp(v, 0, kMaxBevelValue)); }
void TAbSBevel::SetColor(const QColor& v) { Store(color_, v); }
void TAbSBevel::SetColorShadowFrom(const QColor& v) { Store(colorShadowFrom_, v); }
void TAbSBevel::SetColorShadowTo(const QColor& v) { Store(colorShadowTo_, v); }
void TAbSBevel::SetColorHighLightFrom(const QColor& v) { Store(colorHighLightFrom_, v); }
void TAbSBevel::SetColorHighLightTo(const QColor& v) { Store(colorHighLightTo_, v); }
void TAbSBevel::SetPenColor(const QColor& v) { Store(penColor_, v); }
void TAbSBevel::SetCircularShading(bool on) { Store(circularShading_, on); }

QRect TAbSBevel::InnerRect(const QRect& rect) const
{
    const QRect r = AbShrinkRect(rect, thickness_, thickness_, thickness_, thickness_);
    return AbShrinkRect(r, offset_.Left(), offset_.Top(), offset_.Right(), offset_.Bottom());
}

void TAbSBevel::PaintRectangular(QPainter& canvas, QRect& rect) const
{
    const QRect outer = rect;
    rect = InnerRect(outer);
    if (outer.width() <= 0 || outer.height() <= 0)
        return;

    canvas.save();
    canvas.fillRect(outer, color_);

    const int lineInset = HasOuterLine(bevelLine_) ? 1 : 0;
    QRect ring = AbShrinkRect(outer, lineInset, lineInset, lineInset, lineInset);
    for (int n = 1; n <= width_ && ring.width() > 0 && ring.height() > 0; ++n) {
        QColor topLeft, bottomRight;
        if (style_ == bsRaised) {
            topLeft = AbBlendColor(colorHighLightFrom_, colorHighLightTo_, n, width_);
            bottomRight = AbBlendColor(colorShadowFrom_, colorShadowTo_, n, width_);
        } else {
            topLeft = AbBlendColor(colorShadowTo_, colorShadowFrom_, n, width_);
            bottomRight = AbBlendColor(colorHighLightTo_, colorHighLightFrom_, n, width_);
        }
        Frame3D(canvas, ring, topLeft, bottomRight);
        ring = AbShrinkRect(ring, 1, 1, 1, 1);
    }
    // `ring` is now the area just inside the rings.
    if (surfaceGrad_.Visible())
        surfaceGrad_.Paint(canvas, ring);
    if (HasInnerLine(bevelLine_))
        OutlineRect(canvas, ring, penColor_);
    if (HasOuterLine(bevelLine_))
        OutlineRect(canvas, outer, penColor_);
    canvas.restore();
}

void TAbSBevel::PaintFace(QPainter& p, int side) const
{
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    const QImage shading = style_ == bsLowered ? shading_.mirrored(true, true) : shading_;
    p.drawImage(QRect(0, 0, side, side), shading);

    const bool outer = HasOuterLine(bevelLine_);
    if (outer) {
        p.setPen(QPen(penColor_, 1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(0.5, 0.5, side - 1, side - 1));
    }
    const double inset = width_ + (outer ? 1 : 0);
    const double disc = side - 2 * inset;
    if (disc > 0) {
        p.setPen(QPen(HasInnerLine(bevelLine_) ? penColor_ : color_, 1));
        p.setBrush(color_);
        p.drawEllipse(QRectF(inset + 0.5, inset + 0.5, disc - 1, disc - 1));
    }
}

void TAbSBevel::PaintCircular(QPainter& canvas, QRect& rect) const
{
    const int side = std::min(rect.width(), rect.height());
    const QRect square(rect.topLeft(), QSize(std::max(side, 0), std::max(side, 0)));
    rect = InnerRect(square);
    if (!circularShading_ || side <= 4 || shading_.isNull())
        return;

    if (side > kMaxComposedSide) {
        // Too big to compose off-screen: drawn in place, cut by a clip region.
        canvas.save();
        canvas.translate(square.topLeft());
        canvas.setClipRegion(QRegion(0, 0, side, side, QRegion::Ellipse), Qt::IntersectClip);
        PaintFace(canvas, side);
        canvas.restore();
        return;
    }

    // The face is composed in its own transparent image and then cut to the
    // circle, so the rim is smooth and nothing outside it is touched.
    QImage face(side, side, QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    {
        QPainter p(&face);
        PaintFace(p, side);
        // Keep only what lies inside the circle on the square's edge.
        QImage mask(side, side, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter m(&mask);
            m.setRenderHint(QPainter::Antialiasing);
            m.setPen(Qt::NoPen);
            m.setBrush(Qt::black);
            m.drawEllipse(QRectF(0, 0, side, side));
        }
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, mask);
    }
    canvas.drawImage(square.topLeft(), face);
}
