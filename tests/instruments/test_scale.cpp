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

class DecimalSeparatorScope {
public:
    explicit DecimalSeparatorScope(char c) : saved_(DecimalSeparator()) { SetDecimalSeparator(c); }
    ~DecimalSeparatorScope() { SetDecimalSeparator(saved_); }

private:
    char saved_;
};

QImage WhiteImage(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

bool IsDark(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 128; }

// Antialiased slanted lines spread over neighbouring pixels: some ink in the
// 3 x 3 block around p.
bool InkNear(const QImage& image, QPoint p)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.valid(p.x() + dx, p.y() + dy) && qGray(image.pixel(p.x() + dx, p.y() + dy)) < 160)
                return true;
    return false;
}

} // namespace

TEST(ScaleLabels, EqualIntervalsFormattedWithThePattern)
{
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

TEST(ScaleLabels, DecimalSeparatorOfTheLocale)
{
    {
        const DecimalSeparatorScope comma(',');
        EXPECT_EQ(AbScale::Labels(0, 25, 4, "##0.00", false),
                  QStringList({"0,00", "6,25", "12,50", "18,75", "25,00"}));
    }
    const DecimalSeparatorScope point('.');
    EXPECT_EQ(AbScale::Labels(0, 25, 4, "##0.0", false), QStringList({"0.0", "6.3", "12.5", "18.8", "25.0"}));
}

TEST(ScaleTicks, CircularAnglesOfMajorAndMinorTicks)
{
    const std::vector<double> majors = AbScale::CircularMajorAngles(10, 270);
    ASSERT_EQ(majors.size(), 11u);
    for (size_t i = 0; i < majors.size(); ++i)
        EXPECT_DOUBLE_EQ(majors[i], 27.0 * i);
    // Midpoints 13.5, 40.5, 67.5 ... rounded to whole degrees, halves to even.
    EXPECT_EQ(AbScale::CircularMinorAngles(10, 2, 270),
              std::vector<int>({14, 40, 68, 94, 122, 148, 176, 202, 230, 256}));
    // The speed dial: 5 steps of 54 degrees, 4 minor ticks each.
    const std::vector<int> speed = AbScale::CircularMinorAngles(5, 5, 270);
    ASSERT_EQ(speed.size(), 20u);
    EXPECT_EQ(std::vector<int>(speed.begin(), speed.begin() + 5), std::vector<int>({11, 22, 32, 43, 65}));
    EXPECT_TRUE(AbScale::CircularMinorAngles(4, 1, 270).empty());
}

TEST(ScaleTicks, LinearPositionsAlongTheHeight)
{
    // 8 intervals over 200 pixels from y = 10: 25 pixels apart.
    const std::vector<int> majors = AbScale::LinearMajorTicks(10, 200, 8);
    EXPECT_EQ(majors, std::vector<int>({10, 35, 60, 85, 110, 135, 160, 185, 210}));
    // One minor tick per interval at its middle, 12.5 rounded to even.
    EXPECT_EQ(AbScale::LinearMinorTicks(10, 200, 8, 2), std::vector<int>({22, 48, 72, 98, 122, 148, 172, 198}));
    const std::vector<int> fifths = AbScale::LinearMinorTicks(0, 100, 5, 5);
    ASSERT_EQ(fifths.size(), 20u);
    EXPECT_EQ(std::vector<int>(fifths.begin(), fifths.begin() + 5), std::vector<int>({4, 8, 12, 16, 24}));
    // A scale of no height puts every tick on its top.
    for (int y : AbScale::LinearMajorTicks(7, 0, 3))
        EXPECT_EQ(y, 7);
}

TEST(ScaleTicks, TurnIsClockwiseOnTheScreen)
{
    const QPoint c(100, 100);
    const QPoint above(100, 60);
    EXPECT_EQ(AbScale::Turn(above, c, 0), above);
    EXPECT_EQ(AbScale::Turn(above, c, 90), QPoint(140, 100));   // three o'clock
    EXPECT_EQ(AbScale::Turn(above, c, 180), QPoint(100, 140));  // six o'clock
    EXPECT_EQ(AbScale::Turn(above, c, 225), QPoint(72, 128));   // half past seven
    EXPECT_EQ(AbScale::Turn(above, c, 495), QPoint(128, 128));  // 225 + 270: half past four
}

TEST(ScaleMetrics, LinearAndCircularFromTheLabelSizes)
{
    AbScale::LinearMetrics m = AbScale::ComputeLinear(20, 14);
    EXPECT_EQ(m.gap, 4);
    EXPECT_EQ(m.majorLength, 10);
    EXPECT_EQ(m.minorLength, 5);  // 14 / 14 rounds to 1: half the major length
    EXPECT_EQ(m.totalWidth, 34);
    m = AbScale::ComputeLinear(20, 30);
    EXPECT_EQ(m.majorLength, 21);
    EXPECT_EQ(m.minorLength, 15);  // 21 / 1.4
    m = AbScale::ComputeLinear(20, 14, false);
    EXPECT_EQ(m.gap, 0);
    EXPECT_EQ(m.majorLength, 10);
    EXPECT_EQ(m.totalWidth, 10);

    const AbScale::CircularGeometry g = AbScale::ComputeCircular(QRect(10, 20, 200, 180), 30, 14);
    EXPECT_EQ(g.radius, 85);
    EXPECT_EQ(g.centre, QPoint(110, 20 + 85 + 7));
    EXPECT_EQ(g.majorLength, 12);
    EXPECT_EQ(g.minorLength, 9);
    EXPECT_EQ(g.labelPad, 16);
    EXPECT_EQ(g.inner, QRect(110 - 70, 112 - 70, 140, 140));
    const AbScale::CircularGeometry bare = AbScale::ComputeCircular(QRect(0, 0, 140, 140), 0, 0);
    EXPECT_EQ(bare.radius, 70);
    EXPECT_EQ(bare.labelPad, 0);
    EXPECT_EQ(bare.centre, QPoint(70, 70));
}

TEST(ScaleSettings, StepsAndSubStepsOnlyWithinTheirRanges)
{
    TScaleSettings s;
    int changes = 0;
    s.SetOnChange([&](TAbPersistent* sender) {
        EXPECT_EQ(sender, &s);
        ++changes;
    });
    for (int bad : {0, 21, -1})
        s.SetSteps(bad);
    EXPECT_EQ(s.Steps(), 5);
    for (int bad : {0, 11})
        s.SetSubSteps(bad);
    EXPECT_EQ(s.SubSteps(), 2);
    EXPECT_EQ(changes, 0);
    s.SetSteps(20);
    s.SetSubSteps(10);
    s.SetSteps(20);  // the same again: no notification
    EXPECT_EQ(s.Steps(), 20);
    EXPECT_EQ(s.SubSteps(), 10);
    EXPECT_EQ(changes, 2);
    s.Font().SetSize(8);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(s.Font().Height(), 11);
}

TEST(ScaleSettings, CopyTakesEveryPropertyAndRefusesOtherClasses)
{
    TScaleSettings source;
    source.SetColor(Qt::red);
    source.SetPointerColor(Qt::blue);
    source.SetDrawLine(false);
    source.Font().SetSize(8);
    source.Font().SetColor(Qt::darkGreen);
    source.SetPosLeftTop(true);
    source.SetSteps(8);
    source.SetSubSteps(3);
    source.SetValueFormat("#0");
    source.SetValueFormatLog("0e+0");

    TScaleSettings copy;
    copy.Assign(source);
    EXPECT_EQ(copy.Color(), QColor(Qt::red));
    EXPECT_EQ(copy.PointerColor(), QColor(Qt::blue));
    EXPECT_FALSE(copy.DrawLine());
    EXPECT_EQ(copy.Font().Height(), 11);
    EXPECT_EQ(copy.Font().Color(), QColor(Qt::darkGreen));
    EXPECT_TRUE(copy.PosLeftTop());
    EXPECT_EQ(copy.Steps(), 8);
    EXPECT_EQ(copy.SubSteps(), 3);
    EXPECT_EQ(copy.ValueFormat(), "#0");
    EXPECT_EQ(copy.ValueFormatLog(), "0e+0");

    TAbSBevel bevel;
    try {
        copy.Assign(bevel);
        FAIL() << "a bevel was copied into scale settings";
    } catch (const EAbAssignError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TAbSBevel to a TScaleSettings");
    }
}

TEST(ScaleDrawing, LinearTicksOnBothSidesOfTheSpine)
{
    // The pressure slider's scale: 0..255, 8 steps, 2 sub-steps, "#0".
    TScaleSettings s;
    s.Font().SetSize(8);
    s.SetSteps(8);
    s.SetSubSteps(2);
    s.SetValueFormat("#0");
    s.SetMajorPenWidth(2);
    s.PrepareLinear(0, 255);
    ASSERT_EQ(s.Labels().size(), 9);
    EXPECT_EQ(s.Labels().front(), "255");
    EXPECT_GT(s.LabelWidth(), 0);
    EXPECT_GT(s.MajorLength(), s.MinorLength());
    EXPECT_EQ(s.TotalWidth(), s.LabelWidth() + s.MajorLength() + s.Gap());

    QImage image = WhiteImage(200, 240);
    const QRect right(100, 20, 60, 200);
    const QRect left(20, 20, 60, 200);  // spine on x = 79
    {
        QPainter p(&image);
        s.DrawLinear(p, right);
        s.SetPosLeftTop(true);
        s.DrawLinear(p, left);
    }
    const int major = s.MajorLength();
    const int minor = s.MinorLength();
    for (int y : AbScale::LinearMajorTicks(20, 200, 8)) {
        // Right scale: the tick runs right from the spine by the major length.
        EXPECT_TRUE(IsDark(image, 100, y)) << y;
        EXPECT_TRUE(IsDark(image, 100 + major - 1, y)) << y;
        EXPECT_FALSE(IsDark(image, 100 + major, y)) << y;
        // Left scale: it runs left from x = 79.
        EXPECT_TRUE(IsDark(image, 79, y)) << y;
        EXPECT_TRUE(IsDark(image, 79 - major + 1, y)) << y;
        EXPECT_FALSE(IsDark(image, 79 - major, y)) << y;
    }
    for (int y : AbScale::LinearMinorTicks(20, 200, 8, 2)) {
        EXPECT_TRUE(IsDark(image, 100 + minor - 1, y)) << y;
        EXPECT_FALSE(IsDark(image, 100 + minor + 1, y)) << y;
        EXPECT_TRUE(IsDark(image, 79 - minor + 1, y)) << y;
    }
    // The spine (DrawLine is on by default) joins the ticks.
    EXPECT_TRUE(IsDark(image, 100, 30));
    // Labels beyond the gap: some ink right of the right ticks near y = 20 and
    // left of the left ticks, none between the two scales.
    auto inkIn = [&](int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                n += IsDark(image, x, y);
        return n;
    };
    const int half = s.LabelHeight() / 2;
    EXPECT_GT(inkIn(100 + major + s.Gap(), 199, 20 - half, 20 + half), 0);
    EXPECT_GT(inkIn(0, 79 - major - s.Gap(), 120 - half, 120 + half), 0);
    EXPECT_EQ(inkIn(81, 99, 0, 239), 0);
}

TEST(ScaleDrawing, CircularTicksFollowTheSweep)
{
    TScaleSettings s;
    s.SetSteps(10);
    s.SetSubSteps(2);
    s.SetMajorPenWidth(2);
    s.PrepareCircular(0, 10000, false);
    EXPECT_TRUE(s.Labels().isEmpty());

    QImage image = WhiteImage(141, 141);
    {
        QPainter p(&image);
        s.DrawCircular(p, QRect(0, 0, 140, 140));
    }
    const QPoint c = s.CircleCentre();
    EXPECT_EQ(c, QPoint(70, 70));
    const int k = s.CircleMajorLength();
    EXPECT_EQ(k, 10);
    // A major tick lies between radius 70 - k and 70 on every 27 degrees
    // from 225; nothing is drawn in the open part of the sweep (six o'clock).
    const QPoint mid(c.x(), c.y() - (70 - k / 2));
    for (double a : AbScale::CircularMajorAngles(10, 270)) {
        EXPECT_TRUE(InkNear(image, AbScale::Turn(mid, c, 225 + a))) << a;
    }
    EXPECT_FALSE(InkNear(image, AbScale::Turn(mid, c, 180)));
    EXPECT_FALSE(InkNear(image, AbScale::Turn(mid, c, 225 + 7)));  // between ticks
    // Minor ticks start at the inner end of the major ticks and point outwards.
    const QPoint minorMid(c.x(), c.y() - (70 - k + s.Circle().minorLength / 2));
    for (int a : AbScale::CircularMinorAngles(10, 2, 270)) {
        EXPECT_TRUE(InkNear(image, AbScale::Turn(minorMid, c, 225 + a))) << a;
    }
    EXPECT_EQ(s.CircleInner(), QRect(0, 0, 140, 140));
}
