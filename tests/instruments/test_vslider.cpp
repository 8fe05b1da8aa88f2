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
std::unique_ptr<TAbVSlider> VoltageSlider(int w = 121, int h = 257)
{
    auto s = std::make_unique<TAbVSlider>();
    s->setGeometry(552, 280, w, h);
    TSignalSettings& t = s->SignalSettings();
    t.SetName1("Напряжение");
    t.SetName2("борт.сети");
    t.SetValueUnit("В");
    t.SetValueRange(0.0f, 20.0f);
    t.SetValueFormat("##0.0");
    s->SetDigit(600);
    s->SetValue(12.0f);
    s->SetColorNonFocus(Magenta);
    s->SetColorFocus(Magenta);
    s->Loaded();
    s->show();
    QApplication::processEvents();
    return s;
}

void Press(QWidget* w, QPoint p)
{
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, p);
}

} // namespace

TEST(SliderMouse, PressesAlongTheTrenchJumpTheKnob)
{
    auto s = VoltageSlider();
    ASSERT_TRUE(s->Ready());
    const QRect t = s->Trench();
    const int top = t.top();
    const int bottom = t.top() + t.height() - 1;
    const int x = t.left() + 2;
    int released = 0;
    s->SetOnValueChanged([&](TAbAnalogCControl*) { ++released; });

    struct { QPoint p; int digit; } presses[] = {
        {{x, top}, 1000},
        {{x, bottom}, 0},
        {{x, top - 3}, 1000},           // above the trench, still on the travel area
        {{x, bottom + 3}, 0},           // below it
        {{x, (top + bottom) / 2}, -1},  // the middle: checked below
        {{s->TravelArea().left(), top}, 1000},  // x does not matter within the area
    };
    for (const auto& k : presses) {
        Press(s.get(), k.p);
        if (k.digit >= 0) {
            EXPECT_EQ(s->Digit(), k.digit) << k.p.y();
        } else {
            EXPECT_NEAR(s->Digit(), 500, 1000.0 / (bottom - top));
        }
    }
    EXPECT_EQ(released, 6);

    // A press beside the travel area does nothing.
    s->SetDigit(600);
    Press(s.get(), QPoint(s->TravelArea().left() - 3, top + 10));
    EXPECT_EQ(s->Digit(), 600);

    // The drag continues from the jump and clamps beyond the trench.
    QTest::mousePress(s.get(), Qt::LeftButton, Qt::NoModifier, QPoint(x, bottom));
    QTest::mouseMove(s.get(), QPoint(x + 40, top - 100));
    EXPECT_EQ(s->Digit(), 1000);
    QTest::mouseMove(s.get(), QPoint(x, bottom + 100));
    EXPECT_EQ(s->Digit(), 0);
    QTest::mouseRelease(s.get(), Qt::LeftButton, Qt::NoModifier, QPoint(x, bottom + 100));
}

TEST(SliderMouse, WithoutTheJumpOnlyTheKnobDrags)
{
    auto s = VoltageSlider();
    s->SetEnableMouseJump(false);
    QApplication::processEvents();
    const QRect t = s->Trench();
    const int x = t.left() + 2;
    const QPoint knob = s->KnobPoint();

    Press(s.get(), QPoint(x, t.top()));  // beside the knob: nothing
    EXPECT_EQ(s->Digit(), 600);
    EXPECT_FALSE(s->Dragging());

    QTest::mousePress(s.get(), Qt::LeftButton, Qt::NoModifier, knob);
    EXPECT_TRUE(s->Dragging());
    // Pressed on its centre: stays, within the grid steps of one pixel row.
    EXPECT_NEAR(s->Digit(), 600, 1000.0 / (t.height() - 1));
    QTest::mouseMove(s.get(), knob - QPoint(0, 20));
    EXPECT_GT(s->Digit(), 600);
    QTest::mouseRelease(s.get(), Qt::LeftButton, Qt::NoModifier, knob - QPoint(0, 20));
    // The hot area went with the knob.
    EXPECT_TRUE(s->InHotArea(s->KnobPoint()));
    EXPECT_FALSE(s->InHotArea(knob + QPoint(0, 20)));
}

TEST(SliderSettings, ButtonSizeIsClampedToWidthAndMinimum)
{
    auto s = VoltageSlider();
    struct { int width; int assigned; int result; } cases[] = {
        {121, 10, 18}, {121, 40, 40}, {121, 500, 121}, {25, 30, 25}, {15, 30, 18}, {121, -7, 18},
    };
    for (const auto& c : cases) {
        s->resize(c.width, s->height());
        s->SetButtonSize(c.assigned);
        EXPECT_EQ(s->ButtonSize(), c.result) << c.width << " " << c.assigned;
    }
}

TEST(SliderPicture, KnobStandsWhereTheGridPositionSays)
{
    auto s = VoltageSlider();
    const QRect t = s->Trench();
    const int bottom = t.top() + t.height() - 1;
    const int rows = t.height() - 1;
    EXPECT_EQ(s->KnobHeight(), 12);  // 0.4 x 30
    for (int digit : {0, 250, 600, 1000}) {
        s->SetDigit(digit);
        QApplication::processEvents();
        const QImage img = s->grab().toImage();
        int n = 0;
        const QPointF found = Centroid(img, s->rect(), Near(Magenta, 10), &n);
        EXPECT_GT(n, 60) << digit;  // the inner rectangle of the knob
        EXPECT_NEAR(found.y(), bottom - rows * digit / 1000.0, 1.0) << digit;
        EXPECT_NEAR(found.x(), t.left() + 2, 1.0) << digit;
    }

    // The trench is green inside and the knob colour changes with the focus.
    const QImage img = s->grab().toImage();
    EXPECT_EQ(img.pixelColor(t.left() + 2, t.top() + t.height() / 2 + 20), QColor(0x00, 0x80, 0x00));
    const QColor blue(0, 0, 255);
    s->SetColorFocus(blue);
    s->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(s->hasFocus());
    int magenta = 0;
    int focused = 0;
    Centroid(s->grab().toImage(), s->rect(), Near(Magenta, 10), &magenta);
    Centroid(s->grab().toImage(), s->rect(), Near(blue, 10), &focused);
    EXPECT_EQ(magenta, 0);
    EXPECT_GT(focused, 60);
}

TEST(SliderPicture, KeyStepsRedrawOnlyTheTravelAreaAndTheValueWindow)
{
    const char saved = DecimalSeparator();
    SetDecimalSeparator(',');
    auto s = VoltageSlider();
    s->setFocus();
    QApplication::processEvents();
    PaintRecorder rec(s.get());
    const int passes = s->PaintPasses();
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(s.get(), Qt::Key_PageUp);
        QApplication::processEvents();
    }
    EXPECT_EQ(s->Digit(), 700);
    EXPECT_EQ(s->ValueText(), "14,0");
    SetDecimalSeparator(saved);
    EXPECT_EQ(s->PaintPasses(), passes);
    EXPECT_GE(rec.events, 5);
    const QRegion allowed = QRegion(s->TravelArea()) + QRegion(s->ValueWindow());
    EXPECT_TRUE(rec.painted.subtracted(allowed).isEmpty());
    EXPECT_LT(rec.painted.boundingRect().width(), s->width() / 2);
}

TEST(SliderRobustness, TooSmallAndOddSizesAreSafe)
{
    // Captions and value window leave no room: only those are drawn.
    auto small = VoltageSlider(105, 60);
    EXPECT_TRUE(small->TooSmall());
    EXPECT_FALSE(small->Ready());
    Press(small.get(), QPoint(50, 30));
    EXPECT_EQ(small->Digit(), 600);

    for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(10, 300), QSize(300, 10), QSize(40, 90),
                       QSize(900, 1400)}) {
        auto s = VoltageSlider(size.width(), size.height());
        s->grab();
        for (QPoint p : {QPoint(0, 0), QPoint(size.width() / 2, size.height() / 2), QPoint(9999, -9999)}) {
            QTest::mousePress(s.get(), Qt::LeftButton, Qt::NoModifier, p);
            QTest::mouseMove(s.get(), p + QPoint(3, 50));
            QTest::mouseRelease(s.get(), Qt::LeftButton, Qt::NoModifier, p);
        }
        QTest::keyClick(s.get(), Qt::Key_End);
        s->SetOptions({});
        s->SetButtonSize(1000);
        QApplication::processEvents();
        EXPECT_GE(s->Digit(), 0);
        EXPECT_LE(s->Digit(), 1000);
    }
}

TEST(SliderPicture, ValueWindowOnTopAndCaptionsAtTheBottom)
{
    auto s = VoltageSlider();
    const QRect v = s->ValueWindow();
    const int frame = s->BevelOuter().Thickness();
    EXPECT_EQ(v.top(), frame);
    EXPECT_LT(v.top() + v.height(), s->Trench().top());
    // Lime digits on the black window.
    const QImage img = s->grab().toImage();
    int lime = 0;
    int black = 0;
    Centroid(img, v, Near(QColor(0, 255, 0), 60), &lime);
    Centroid(img, v.adjusted(2, 2, -2, -2), Near(Qt::black, 10), &black);
    EXPECT_GT(lime, 20);
    EXPECT_GT(black, lime);

    // The caption lines are the slider's names, the second one lowest.
    const int line = QFontMetrics(s->Font().Font()).height();
    const QRect bottomLine(frame, s->height() - frame - line, s->width() - 2 * frame, line);
    const QRect upperLine = bottomLine.translated(0, -line);
    const auto ink = [&](const QRect& r) {
        int n = 0;
        Centroid(s->grab().toImage(), r, Near(Qt::black, 90), &n);
        return n;
    };
    s->SignalSettings().SetName1("");
    s->SignalSettings().SetName2("");
    QApplication::processEvents();
    EXPECT_EQ(ink(bottomLine), 0);
    EXPECT_EQ(ink(upperLine), 0);
    s->SignalSettings().SetName2("ШШШШ");
    QApplication::processEvents();
    EXPECT_GT(ink(bottomLine), 30);
    EXPECT_EQ(ink(upperLine), 0);
    s->SignalSettings().SetName1("ШШШШ");
    QApplication::processEvents();
    EXPECT_GT(ink(upperLine), 30);
}
