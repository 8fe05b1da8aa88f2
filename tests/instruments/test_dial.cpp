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
std::unique_ptr<TAbDial> SpeedDial(int w = 257, int h = 257)
{
    auto d = std::make_unique<TAbDial>();
    d->setGeometry(8, 8, w, h);
    TSignalSettings& s = d->SignalSettings();
    s.SetName1(" ");
    s.SetName2("Скорость");
    s.SetValueUnit("км/ч");
    s.SetValueRange(0.0f, 250.0f);
    s.SetValueFormat("##0");
    d->ScaleSettings().SetSteps(5);
    d->ScaleSettings().SetSubSteps(5);
    d->SetValue(0.0f);
    d->Loaded();
    d->show();
    d->setFocus();
    QApplication::processEvents();
    return d;
}

// A point at `radius` from the centre at dial angle `a` (0 below the centre,
// 90 left, 180 above, 270 right).
QPoint AtAngle(QPoint c, double a, double radius)
{
    const double r = a * Pi / 180.0;
    return QPoint(static_cast<int>(std::lround(c.x() - radius * std::sin(r))),
                  static_cast<int>(std::lround(c.y() + radius * std::cos(r))));
}

void Move(QWidget* w, QPoint p)
{
    QTest::mouseMove(w, p);
    QApplication::processEvents();
}

} // namespace

TEST(DialGeometry, AngleOfPointRunsClockwiseFromBelow)
{
    const QPointF c(100, 100);
    struct { QPointF p; float angle; } cases[] = {
        {{100, 150}, 0.0f},   {{50, 100}, 90.0f},  {{100, 50}, 180.0f}, {{150, 100}, 270.0f},
        {{50, 150}, 45.0f},   {{50, 50}, 135.0f},  {{150, 50}, 225.0f}, {{150, 150}, 315.0f},
        {{100, 100}, 90.0f},  // the centre itself: on the level, not right of it
    };
    for (const auto& k : cases)
        EXPECT_NEAR(TAbDial::AngleOfPoint(k.p, c), k.angle, 0.01) << k.p.x() << "," << k.p.y();
}

TEST(DialDrag, OnceAroundStopsAtTheEndAndTurnsBackAtOnce)
{
    auto d = SpeedDial();
    ASSERT_TRUE(d->Ready());
    const QPoint c = d->FaceCentre();
    const double r = d->FaceRect().width() / 3.0;
    ASSERT_EQ(d->Digit(), 0);

    double a = 100.0;
    QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(c, a, r));
    EXPECT_TRUE(d->Dragging());
    EXPECT_EQ(d->Digit(), 0);  // the press itself moves nothing
    int reachedEnd = 0;
    for (int i = 0; i < 45; ++i) {  // 450 degrees clockwise
        a += 10.0;
        Move(d.get(), AtAngle(c, a, r));
        if (d->Digit() == 1000)
            ++reachedEnd;
        EXPECT_GE(d->PointerAngle(), 0.0f);
        EXPECT_LE(d->PointerAngle(), 270.0f);
    }
    EXPECT_EQ(d->Digit(), 1000);
    EXPECT_FLOAT_EQ(d->PointerAngle(), 270.0f);
    EXPECT_GE(reachedEnd, 17);  // stopped at the end for the last 180 degrees
    // One step back moves the pointer back by the same angle at once.
    Move(d.get(), AtAngle(c, a - 10.0, r));
    EXPECT_NEAR(d->Digit(), 963, 3);  // 260 degrees, within the pixel rounding of the mouse
    QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(c, a - 10.0, r));
    EXPECT_FALSE(d->Dragging());
}

TEST(DialDrag, CrossingTheSeamBelowTheCentreIsASmallStep)
{
    auto d = SpeedDial();
    d->SetValue(125.0f);  // pointer straight up, 135 degrees into the sweep
    const QPoint c = d->FaceCentre();
    const double r = d->FaceRect().width() / 3.0;
    int fired = 0;
    d->SetOnValueChanged([&](TAbAnalogCControl*) { ++fired; });

    QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(c, 350, r));
    for (double a : {355.0, 365.0, 375.0})  // 5 and 15 degrees past the seam
        Move(d.get(), AtAngle(c, a, r));
    // 25 degrees clockwise in all: 160 degrees, not an end stop.
    EXPECT_NEAR(d->Digit(), 593, 1);
    for (double a : {365.0, 355.0, 345.0})  // and back across it
        Move(d.get(), AtAngle(c, a, r));
    EXPECT_NEAR(d->Digit(), 482, 2);  // 30 degrees back: 130 degrees
    QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(c, 345, r));
    EXPECT_EQ(fired, 1);
}

TEST(DialDrag, PressOutsideTheCircleStartsNothing)
{
    auto d = SpeedDial();
    const QRect f = d->FaceRect();
    int changes = 0;
    d->SetOnValueChange([&](TAbAnalogCControl*) { ++changes; });
    for (QPoint corner : {f.topLeft() + QPoint(2, 2), f.bottomRight() - QPoint(2, 2)}) {
        QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, corner);
        EXPECT_FALSE(d->Dragging());
        Move(d.get(), d->FaceCentre() + QPoint(30, -30));
        Move(d.get(), d->FaceCentre() + QPoint(-30, -30));
        QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, d->FaceCentre());
    }
    // A right-button press inside the circle starts no drag either.
    QTest::mousePress(d.get(), Qt::RightButton, Qt::NoModifier, d->FaceCentre() + QPoint(0, 20));
    EXPECT_FALSE(d->Dragging());
    QTest::mouseRelease(d.get(), Qt::RightButton, Qt::NoModifier, d->FaceCentre() + QPoint(0, 20));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(d->Digit(), 0);
}

TEST(DialPicture, PointerStandsWhereTheValueSays)
{
    auto d = SpeedDial();
    const QRect f = d->FaceRect();
    ASSERT_GE(f.width(), 100);
    // The face lies inside the control, centred across it.
    EXPECT_TRUE(d->rect().contains(f));
    EXPECT_NEAR(f.center().x(), d->width() / 2, 2);

    const int dot = std::clamp(f.width() / 13, 2, 6);
    const double radius = f.width() / 2.0 - dot;
    const QPointF c(f.left() + f.width() / 2, f.top() + f.height() / 2);
    for (float value : {0.0f, 62.5f, 125.0f, 200.0f, 250.0f}) {
        d->SetValue(value);
        QApplication::processEvents();
        const QImage img = d->grab().toImage();
        int n = 0;
        const QPointF found = Centroid(img, f, Near(QColor(0, 255, 0)), &n);
        // Clockwise from half past seven: 225 degrees past twelve o'clock at
        // the lowest value, 270 degrees more at the highest.
        const double theta = (225.0 + 270.0 * value / 250.0) * Pi / 180.0;
        const QPointF expected(c.x() + radius * std::sin(theta), c.y() - radius * std::cos(theta));
        EXPECT_GT(n, 3 * dot) << value;
        // Within the rounding of the two turns and the shaded rim of the dot.
        EXPECT_NEAR(found.x(), expected.x(), 2.0) << value;
        EXPECT_NEAR(found.y(), expected.y(), 2.0) << value;
    }

    // Without the focus the pointer takes the other colour.
    d->clearFocus();
    QApplication::processEvents();
    const QImage img = d->grab().toImage();
    int lime = 0;
    int green = 0;
    Centroid(img, f, Near(QColor(0, 255, 0), 20), &lime);
    Centroid(img, f, Near(QColor(0, 128, 0), 20), &green);
    EXPECT_EQ(lime, 0);
    EXPECT_GT(green, 3 * dot);
}

TEST(DialPicture, ValueSetWhileHiddenIsShownWhenTheDialComesBack)
{
    // The gauges sit on a tab page that is hidden while the operator types
    // into the edit fields on another page.
    QWidget page;
    page.resize(300, 300);
    auto* d = new TAbDial(&page);
    d->setGeometry(8, 8, 257, 257);
    d->SignalSettings().SetValueRange(0.0f, 250.0f);
    d->SetValue(0.0f);
    d->Loaded();
    page.show();
    d->setFocus();
    QApplication::processEvents();
    const QRect f = d->FaceRect();
    // Either pointer colour: the focus may or may not come back with the page.
    const auto pointer = Near(QColor(0, 192, 0), 64);
    const QPointF low = Centroid(d->grab().toImage(), f, pointer);

    page.hide();
    d->SetValue(125.0f);
    page.show();
    d->setFocus();
    QApplication::processEvents();
    const QImage img = d->grab().toImage();
    const QPointF high = Centroid(img, f, pointer);
    EXPECT_NEAR(high.x(), f.left() + f.width() / 2, 2.0);  // straight up now
    EXPECT_LT(high.y(), f.top() + f.height() / 4);
    EXPECT_GT(low.y(), f.top() + f.height() / 2);
}

TEST(DialPicture, ProgramValueBetweenGridPointsPlacesThePointerByPerMille)
{
    auto d = SpeedDial();
    d->SignalSettings().SetDigitalTo(10);  // a coarse grid: 25 km/h per step
    d->SetValue(75.0f);
    ASSERT_EQ(d->Digit(), 3);
    d->SetValue(80.0f);  // still grid point 3: the value stays 80
    EXPECT_EQ(d->Digit(), 3);
    d->clearFocus();     // a focus change redraws from the value
    QApplication::processEvents();
    EXPECT_FLOAT_EQ(d->PointerAngle(), 320 * 270.0f / 1000.0f);
}

TEST(DialPicture, DraggingRedrawsOnlyTheFaceAndTheValueWindow)
{
    auto d = SpeedDial();
    QApplication::processEvents();
    PaintRecorder rec(d.get());
    const int passes = d->PaintPasses();
    const QPoint c = d->FaceCentre();
    const double r = d->FaceRect().width() / 3.0;
    QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(c, 60, r));
    for (double a = 70; a <= 200; a += 10)
        Move(d.get(), AtAngle(c, a, r));
    QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, AtAngle(c, 200, r));
    QApplication::processEvents();

    EXPECT_GT(d->Digit(), 400);
    EXPECT_EQ(d->PaintPasses(), passes);  // no full pass while dragging
    EXPECT_GE(rec.events, 5);
    const QRegion allowed = QRegion(d->FaceRect()) + QRegion(d->ValueWindow());
    EXPECT_TRUE(rec.painted.subtracted(allowed).isEmpty());
    EXPECT_FALSE(rec.painted.contains(QPoint(2, 2)));  // the outer bevel stays

    // A change of the settings is a full pass again.
    d->SetOptions(d->Options().Without(TAbDial::opUnit));
    QApplication::processEvents();
    EXPECT_EQ(d->PaintPasses(), passes + 1);
}

TEST(DialRobustness, AnySizeAndAnyInputIsSafe)
{
    for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(12, 12), QSize(40, 30), QSize(60, 200),
                       QSize(1500, 120), QSize(1200, 1200)}) {
        auto d = SpeedDial(size.width(), size.height());
        const QImage img = d->grab().toImage();
        EXPECT_EQ(img.size(), size.isEmpty() ? QSize(0, 0) : size);
        if (d->FaceRect().width() < 11) {
            EXPECT_FALSE(d->Ready()) << size.width() << "x" << size.height();
        }
        for (QPoint p : {QPoint(0, 0), QPoint(size.width() / 2, size.height() / 2), QPoint(-50, 9999)}) {
            QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, p);
            Move(d.get(), p + QPoint(7, 3));
            QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, p);
        }
        QTest::keyClick(d.get(), Qt::Key_PageUp);
        d->SetOptions({});
        QApplication::processEvents();
        EXPECT_GE(d->Digit(), 0);
        EXPECT_LE(d->Digit(), 1000);
    }
}
