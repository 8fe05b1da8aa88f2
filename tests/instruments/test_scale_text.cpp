// Aligned text with its nine anchors, and the fonts of the instruments.
#include "abtext.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

TEST(AlignedText, NineAnchorsAroundThePoint)
{
    // A 21 x 11 box on (100, 50): half sizes by integer division, 10 and 5.
    const QSize box(21, 11);
    const struct {
        int anchor;
        QPoint origin;
    } cases[] = {
        {0, {100, 50}}, {1, {90, 50}}, {2, {79, 50}},
        {3, {100, 45}}, {4, {90, 45}}, {5, {79, 45}},
        {6, {100, 39}}, {7, {90, 39}}, {8, {79, 39}},
        {-1, {100, 50}}, {9, {100, 50}},  // unknown codes: top left
    };
    for (const auto& c : cases)
        EXPECT_EQ(AbTextOrigin(100, 50, c.anchor, box), c.origin) << c.anchor;
}

TEST(AlignedText, DrawnInkLiesInTheAnchoredBox)
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QRect box;
    {
        QPainter p(&image);
        p.setFont(TAbFont("Arial", 14).Font());
        p.setPen(Qt::black);
        box = AbTextOut(p, 150, 50, 5, "8888");
    }
    EXPECT_EQ(box.right(), 149);  // right edge on the point
    EXPECT_EQ(box.top(), 50 - box.height() / 2);
    int inside = 0, outside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                (box.contains(x, y) ? inside : outside)++;
    EXPECT_GT(inside, 20);
    EXPECT_EQ(outside, 0);
}

TEST(AbFont, SizesInPointsAtNinetySixDpiAndChangeNotices)
{
    TAbFont font("Arial", 8);
    EXPECT_EQ(font.Height(), 11);
    EXPECT_EQ(font.Font().pixelSize(), 11);
    EXPECT_EQ(TAbFont("MS Sans Serif", 10).Height(), 13);
    EXPECT_TRUE(TAbFont("System", 10).Bold());
    EXPECT_FALSE(font.Bold());

    int changes = 0;
    font.SetOnChange([&](TAbPersistent*) { ++changes; });
    font.SetSize(8);  // same height
    font.SetColor(Qt::black);
    EXPECT_EQ(changes, 0);
    font.SetHeight(0);  // clamped to 1
    EXPECT_EQ(font.Height(), 1);
    font.SetHeight(1 << 30);
    EXPECT_EQ(font.Height(), 1000);
    font.SetColor(Qt::green);
    EXPECT_EQ(changes, 3);

    // A copy takes the properties but not the handler; Assign notifies once.
    const TAbFont copy(font);
    EXPECT_EQ(copy.Height(), 1000);
    EXPECT_FALSE(copy.OnChange());
    font.Assign(TAbFont("System", 10, Qt::red));
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(font.Name(), "System");
    EXPECT_EQ(font.Color(), QColor(Qt::red));
}
