// Bevels and gradients, read back from rendered images.
#include "abbevel.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

const QColor kFace(0, 0, 200);
const QColor kLight(255, 255, 255);
const QColor kShadow(100, 100, 100);
const QColor kPen(0, 0, 0);
const QColor kBackground(255, 0, 255);

void Configure(TAbSBevel& b, int width, int spacing, TBevelLine line)
{
    b.SetWidth(width);
    b.SetSpacing(spacing);
    b.SetBevelLine(line);
    b.SetColor(kFace);
    b.SetColorHighLightFrom(kLight);
    b.SetColorHighLightTo(kLight);
    b.SetColorShadowFrom(kShadow);
    b.SetColorShadowTo(kShadow);
    b.SetPenColor(kPen);
}

QImage Render(const TAbSBevel& b, QSize size, QRect& inner, bool circular = false)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter p(&image);
    inner = QRect(QPoint(0, 0), size);
    if (circular)
        b.PaintCircular(p, inner);
    else
        b.PaintRectangular(p, inner);
    return image;
}

QColor At(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

// The pixels of the middle row from the left edge up to the first face pixel.
int FaceStartInRow(const QImage& image)
{
    const int y = image.height() / 2;
    for (int x = 0; x < image.width(); ++x)
        if (At(image, x, y) == kFace)
            return x;
    return -1;
}

} // namespace

TEST(RectangularBevel, ThicknessReadFromTheImage)
{
    const struct {
        int width, spacing;
        TBevelLine line;
        int thickness;
    } cases[] = {
        {2, 0, blNone, 2}, {2, 0, blBoth, 4}, {2, 0, blOuter, 3}, {2, 0, blInner, 3}, {1, 1, blInner, 3}, {3, 5, blNone, 8},
    };
    for (const auto& c : cases) {
        TAbSBevel b;
        Configure(b, c.width, c.spacing, c.line);
        EXPECT_EQ(b.Thickness(), c.thickness);
        QRect inner;
        const QImage image = Render(b, QSize(40, 30), inner);
        EXPECT_EQ(inner, QRect(c.thickness, c.thickness, 40 - 2 * c.thickness, 30 - 2 * c.thickness));
        // The face starts after the lines and the rings; spacing is face too.
        EXPECT_EQ(FaceStartInRow(image), c.thickness - c.spacing) << c.width << " " << c.line;
    }

    // Width 2, spacing 0, both lines: outer line, two light rings on the top
    // left, two shadow rings on the bottom right, inner line.
    TAbSBevel b;
    Configure(b, 2, 0, blBoth);
    QRect inner;
    const QImage image = Render(b, QSize(40, 30), inner);
    EXPECT_EQ(At(image, 0, 15), kPen);
    EXPECT_EQ(At(image, 1, 15), kLight);
    EXPECT_EQ(At(image, 2, 15), kLight);
    EXPECT_EQ(At(image, 3, 15), kPen);
    EXPECT_EQ(At(image, 4, 15), kFace);
    EXPECT_EQ(At(image, 20, 1), kLight);
    EXPECT_EQ(At(image, 39, 15), kPen);
    EXPECT_EQ(At(image, 38, 15), kShadow);
    EXPECT_EQ(At(image, 37, 15), kShadow);
    EXPECT_EQ(At(image, 36, 15), kPen);
    EXPECT_EQ(At(image, 20, 28), kShadow);
    EXPECT_EQ(At(image, 20, 29), kPen);
}

TEST(RectangularBevel, RingColoursInterpolatedPerChannel)
{
    TAbSBevel b;
    Configure(b, 4, 0, blNone);
    b.SetColorHighLightFrom(QColor(0, 0, 0));
    b.SetColorHighLightTo(QColor(200, 100, 40));
    b.SetColorShadowFrom(QColor(40, 40, 40));
    b.SetColorShadowTo(QColor(0, 80, 240));
    QRect inner;
    QImage raised = Render(b, QSize(30, 30), inner);
    // Ring n (1 = outermost) at the fraction n / 4.
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(At(raised, n - 1, 15), QColor(50 * n, 25 * n, 10 * n)) << n;
        EXPECT_EQ(At(raised, 30 - n, 15), QColor(40 - 10 * n, 40 + 10 * n, 40 + 50 * n)) << n;
    }
    // Lowered: top and left run from ShadowTo towards ShadowFrom, bottom and
    // right from HighLightTo towards HighLightFrom.
    b.SetStyle(bsLowered);
    const QImage lowered = Render(b, QSize(30, 30), inner);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(At(lowered, 15, n - 1), QColor(10 * n, 80 - 10 * n, 240 - 50 * n)) << n;
        EXPECT_EQ(At(lowered, 15, 30 - n), QColor(200 - 50 * n, 100 - 25 * n, 40 - 10 * n)) << n;
    }
    EXPECT_EQ(AbBlendColor(QColor(0, 0, 0), QColor(255, 255, 255), 1, 2), QColor(128, 128, 128));
    EXPECT_EQ(AbBlendColor(QColor(0, 0, 0), QColor(9, 9, 9), 3, 0), QColor(9, 9, 9));
}

TEST(RectangularBevel, OffsetAndNestedChangesNotifyTheBevel)
{
    TAbSBevel b;
    Configure(b, 2, 1, blNone);
    int changes = 0;
    b.SetOnChange([&](TAbPersistent* sender) {
        EXPECT_EQ(sender, &b);
        ++changes;
    });
    b.Offset().SetLeft(2);
    b.Offset().SetBottom(3);
    b.SurfaceGrad().SetVisible(true);
    b.SetWidth(2);  // unchanged
    EXPECT_EQ(changes, 3);
    QRect inner;
    Render(b, QSize(40, 30), inner);
    EXPECT_EQ(inner, QRect(3 + 2, 3, 40 - 6 - 2, 30 - 6 - 3));
}

TEST(RectangularBevel, GradientSurfaceInsideTheRings)
{
    TAbSBevel b;
    Configure(b, 1, 3, blNone);
    b.SurfaceGrad().SetStyle(gsHorizontal1);
    b.SurfaceGrad().SetColorFrom(QColor(0, 0, 0));
    b.SurfaceGrad().SetColorTo(QColor(0, 255, 0));
    b.SurfaceGrad().SetVisible(true);
    QRect inner;
    const QImage image = Render(b, QSize(52, 20), inner);
    EXPECT_EQ(At(image, 1, 10), QColor(0, 0, 0));     // first pixel inside the ring
    EXPECT_EQ(At(image, 50, 10), QColor(0, 255, 0));  // last one
    EXPECT_GT(At(image, 30, 10).green(), At(image, 20, 10).green());
}

TEST(RectangularBevel, DegenerateSizesAndValuesStayInside)
{
    TAbSBevel b;
    Configure(b, 5, 5, blBoth);
    QRect inner;
    Render(b, QSize(3, 3), inner);
    EXPECT_EQ(inner.width(), 0);
    EXPECT_EQ(inner.height(), 0);
    EXPECT_TRUE(QRect(0, 0, 3, 3).contains(inner.topLeft()));

    b.SetWidth(1 << 30);
    b.SetSpacing(-7);
    EXPECT_EQ(b.Width(), 1000);
    EXPECT_EQ(b.Spacing(), 0);
    EXPECT_EQ(b.Thickness(), 1002);
    const QImage image = Render(b, QSize(50, 50), inner);  // finishes at once
    EXPECT_EQ(inner.width(), 0);
    EXPECT_EQ(At(image, 0, 0), kPen);

    QImage empty(1, 1, QImage::Format_RGB32);
    QPainter p(&empty);
    QRect none(10, 10, 0, 0);
    b.PaintRectangular(p, none);
    EXPECT_EQ(none.width(), 0);
    b.Offset().SetLeft(INT32_MAX);
    QRect huge(INT32_MIN / 4, 0, INT32_MAX / 2, 10);
    b.PaintRectangular(p, huge);
    EXPECT_EQ(huge.width(), 0);
}

TEST(Gradient, StylesRunFromColorFromToColorTo)
{
    const QColor from(0, 0, 0), to(255, 255, 255);
    const QImage tl = TAbGradSettings::Render(gsTopLeft, from, to, QSize(30, 30));
    EXPECT_EQ(QColor(tl.pixel(0, 0)), from);
    EXPECT_EQ(QColor(tl.pixel(29, 29)), to);
    EXPECT_NEAR(QColor(tl.pixel(29, 0)).red(), 128, 1);
    const QImage tr = TAbGradSettings::Render(gsTopRight, from, to, QSize(30, 30));
    EXPECT_EQ(QColor(tr.pixel(29, 0)), from);
    EXPECT_EQ(QColor(tr.pixel(0, 29)), to);

    EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsHorizontal2, 0, 3, 11, 7), 0.0);
    EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsHorizontal2, 5, 3, 11, 7), 1.0);
    EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsVertical1, 4, 6, 11, 7), 1.0);
    EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsElliptic1, 5, 3, 11, 7), 0.0);
    EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsElliptic2, 5, 3, 11, 7), 1.0);
    EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsRectangle, 10, 3, 11, 7), 1.0);
    EXPECT_DOUBLE_EQ(TAbGradSettings::Fraction(gsDiamond2, 5, 3, 11, 7), 1.0);
    for (int s = gsHorizontal1; s <= gsTopRight; ++s)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 11; ++x) {
                const double f = TAbGradSettings::Fraction(static_cast<TGradientStyle>(s), x, y, 11, 7);
                EXPECT_GE(f, 0.0);
                EXPECT_LE(f, 1.0);
            }
    EXPECT_TRUE(TAbGradSettings::Render(gsTopLeft, from, to, QSize(0, 5)).isNull());
    EXPECT_EQ(QColor(TAbGradSettings::Render(gsTopLeft, from, to, QSize(1, 1)).pixel(0, 0)), QColor(128, 128, 128));
}

TEST(CircularBevel, ShadedRingAroundTheFaceDisc)
{
    // The dial face: shading from highlight (top left) to shadow (bottom right).
    TAbSBevel b;
    Configure(b, 4, 1, blOuter);
    b.SetColorShadowFrom(QColor(250, 250, 250));
    b.SetColorShadowTo(QColor(60, 60, 60));
    b.SetCircularShading(true);
    ASSERT_EQ(b.ShadingImage().size(), QSize(30, 30));
    QRect inner;
    const QImage image = Render(b, QSize(100, 100), inner, true);
    EXPECT_EQ(inner, QRect(6, 6, 88, 88));  // Width 4 + Spacing 1 + outer line
    EXPECT_EQ(At(image, 50, 50), kFace);
    EXPECT_EQ(At(image, 0, 0), kBackground);    // outside the circle: untouched
    EXPECT_EQ(At(image, 99, 99), kBackground);
    // The ring: light on the upper left, dark on the lower right.
    const QColor upperLeft = At(image, 17, 17);
    const QColor lowerRight = At(image, 82, 82);
    EXPECT_GT(upperLeft.red(), 150);
    EXPECT_LT(lowerRight.red(), 110);
    EXPECT_LT(At(image, 50, 0).red(), 60);  // the black outer line on the edge

    // Lowered turns the shading by half a circle.
    b.SetStyle(bsLowered);
    const QImage lowered = Render(b, QSize(100, 100), inner, true);
    EXPECT_LT(At(lowered, 17, 17).red(), 110);
    EXPECT_GT(At(lowered, 82, 82).red(), 150);
}

TEST(CircularBevel, NothingDrawnWhenTooSmallOrUnmarked)
{
    TAbSBevel b;
    Configure(b, 1, 0, blNone);
    b.SetCircularShading(true);
    QRect inner;
    const QImage tiny = Render(b, QSize(4, 4), inner, true);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(At(tiny, x, y), kBackground);
    b.SetCircularShading(false);
    EXPECT_TRUE(b.ShadingImage().isNull());
    const QImage unmarked = Render(b, QSize(40, 40), inner, true);
    EXPECT_EQ(At(unmarked, 20, 20), kBackground);
    EXPECT_EQ(inner, QRect(1, 1, 38, 38));
}

TEST(Bevel, CopyTakesEveryPropertyAndRefusesOtherClasses)
{
    TAbSBevel source;
    Configure(source, 3, 2, blBoth);
    source.SetStyle(bsLowered);
    source.Offset().SetTop(4);
    source.SurfaceGrad().SetStyle(gsDiamond1);
    source.SetCircularShading(true);
    TAbSBevel copy;
    copy.Assign(source);
    EXPECT_EQ(copy.Width(), 3);
    EXPECT_EQ(copy.Spacing(), 2);
    EXPECT_EQ(copy.BevelLine(), blBoth);
    EXPECT_EQ(copy.Style(), bsLowered);
    EXPECT_EQ(copy.Color(), kFace);
    EXPECT_EQ(copy.ColorShadowTo(), kShadow);
    EXPECT_EQ(copy.PenColor(), kPen);
    EXPECT_EQ(copy.Offset().Top(), 4);
    EXPECT_EQ(copy.SurfaceGrad().Style(), gsDiamond1);
    EXPECT_TRUE(copy.CircularShading());
    EXPECT_EQ(copy.Thickness(), 7);
    TAbGradSettings grad;
    EXPECT_THROW(copy.Assign(grad), EAbAssignError);
}

TEST(CircularBevel, HugeFaceIsDrawnInPlace)
{
    TAbSBevel b;
    Configure(b, 2, 0, blNone);
    b.SetCircularShading(true);
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(kBackground);
    QRect square(-4900, -4900, 10000, 10000);  // centred on (100, 100)
    {
        QPainter p(&image);
        b.PaintCircular(p, square);
    }
    EXPECT_EQ(square, QRect(-4898, -4898, 9996, 9996));
    EXPECT_EQ(At(image, 100, 100), kFace);
    EXPECT_EQ(At(image, 0, 0), kFace);
}
