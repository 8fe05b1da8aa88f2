// The value model of the analog instruments: grid mapping, clamping,
// rounding, events, loading, keys, wheel and the linked indicator, driven
// through real key and wheel events on the off-screen platform.
#include "abanalog.h"
#include "abbevel.h"
#include "numtext.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// A bare analog control, loaded and shown, that counts its two events.
struct Control {
    std::unique_ptr<TAbAnalogCControl> c = std::make_unique<TAbAnalogCControl>();
    int changes = 0;
    int released = 0;

    Control(float from, float to, int32_t digit, float value)
    {
        c->SetOnValueChange([this](TAbAnalogCControl* sender) {
            EXPECT_EQ(sender, c.get());
            ++changes;
        });
        c->SetOnValueChanged([this](TAbAnalogCControl*) { ++released; });
        // The stored order of a form: Digit, the settings, then Value.
        c->SetDigit(digit);
        c->SignalSettings().SetValueRange(from, to);
        c->SetValue(value);
        c->Loaded();
        c->resize(100, 100);
        c->show();
        c->setFocus();
        QApplication::processEvents();
        changes = 0;
    }
};

void Wheel(QWidget* w, int delta)
{
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST(SignalSettings, DerivedFactorsAndSizingPattern)
{
    TSignalSettings s;
    // The initial range 0..100 on 0..1000 is usable before any change.
    EXPECT_EQ(s.ValuePerDigit(), 0.1f);
    EXPECT_EQ(s.DigitsPerValue(), 10.0f);
    EXPECT_EQ(s.PerMilleFactor(), 10.0f);
    EXPECT_EQ(s.SizingPattern(), "##0.0");
    EXPECT_EQ(s.DigitOfValue(99.5f), 995);

    s.SetValueRange(-40.0f, 160.0f);
    EXPECT_EQ(s.ValueSpan(), 200.0f);
    EXPECT_EQ(s.DigitalSpan(), 1000);
    EXPECT_EQ(s.ValuePerDigit(), 0.2f);
    EXPECT_EQ(s.DigitsPerValue(), 5.0f);
    EXPECT_EQ(s.PerMilleFactor(), 5.0f);
    EXPECT_EQ(s.ValueToPerMille(-40.0f), 0);
    EXPECT_EQ(s.ValueToPerMille(160.0f), 1000);
    EXPECT_EQ(s.ValueToPerMille(20.0f), 300);

    // Both bounds negative.
    s.SetValueRange(-300.0f, -100.0f);
    EXPECT_EQ(s.ValueFrom(), -300.0f);
    EXPECT_EQ(s.ValueSpan(), 200.0f);

    struct { const char* format; const char* sizing; } cases[] = {
        {"##0.0", "##0.0"},
        {"##0;-##0.00", "-##0.00"},   // three before, six after: the remainder
        {"##0.00;-#0", "##0.00"},     // the longer first section
        {"#0;-0", "-0"},              // equal length: the part after
        {"0;;", ";"},                 // everything after the first separator
    };
    for (const auto& c : cases) {
        s.SetValueFormat(c.format);
        EXPECT_EQ(s.SizingPattern(), c.sizing) << c.format;
    }
}

TEST(SignalSettings, BoundsThatWouldBreakTheRangeAreIgnored)
{
    TSignalSettings s;
    int notices = 0;
    s.SetOnChange([&](TAbPersistent*) { ++notices; });

    s.SetValueTo(0.0f);        // equal to ValueFrom
    s.SetValueFrom(100.0f);    // equal to ValueTo
    s.SetValueFrom(150.0f);    // past ValueTo: reversed
    s.SetValueTo(-5.0f);       // below ValueFrom: reversed
    s.SetValueTo(std::numeric_limits<float>::quiet_NaN());
    s.SetValueTo(std::numeric_limits<float>::infinity());
    s.SetValueRange(-std::numeric_limits<float>::max(), std::numeric_limits<float>::max());  // span overflows
    s.SetDigitalTo(0);         // empty grid
    s.SetDigitalFrom(2000);    // reversed grid
    s.SetDigitalFrom(std::numeric_limits<int32_t>::min());  // span beyond int32
    EXPECT_EQ(notices, 0);
    EXPECT_EQ(s.ValueFrom(), 0.0f);
    EXPECT_EQ(s.ValueTo(), 100.0f);
    EXPECT_EQ(s.DigitalFrom(), 0);
    EXPECT_EQ(s.DigitalTo(), 1000);

    // A range moved past its old bounds in one call keeps both bounds.
    s.SetValueRange(200.0f, 300.0f);
    EXPECT_EQ(s.ValueFrom(), 200.0f);
    EXPECT_EQ(s.ValueTo(), 300.0f);
    s.SetValueRange(-50.0f, -10.0f);
    EXPECT_EQ(s.ValueFrom(), -50.0f);
    EXPECT_EQ(s.ValueTo(), -10.0f);
    EXPECT_EQ(s.ValueSpan(), 40.0f);
    s.SetDigitalRange(5000, 6000);
    EXPECT_EQ(s.DigitalFrom(), 5000);
    EXPECT_EQ(s.DigitalTo(), 6000);
    EXPECT_EQ(s.DigitalSpan(), 1000);
    EXPECT_GT(notices, 0);
}

TEST(SignalSettings, CopyGoesThroughTheSettersAndRefusesOtherClasses)
{
    TSignalSettings a;
    a.SetValueRange(300.0f, 400.0f);
    a.SetDigitalRange(10, 20);
    a.SetName1("Напряжение");
    a.SetName2("борт.сети");
    a.SetValueUnit("В");
    a.SetValueFormat("##0.00");

    TSignalSettings b;
    b.Assign(a);
    EXPECT_EQ(b.ValueFrom(), 300.0f);
    EXPECT_EQ(b.ValueTo(), 400.0f);
    EXPECT_EQ(b.DigitalFrom(), 10);
    EXPECT_EQ(b.DigitalTo(), 20);
    EXPECT_EQ(b.Name1(), "Напряжение");
    EXPECT_EQ(b.Name2(), "борт.сети");
    EXPECT_EQ(b.ValueUnit(), "В");
    EXPECT_EQ(b.ValueFormat(), "##0.00");
    EXPECT_EQ(b.ValuePerDigit(), 10.0f);

    TAbSBevel bevel;
    try {
        b.Assign(bevel);
        FAIL() << "a bevel was copied into signal settings";
    } catch (const EAbAssignError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TAbSBevel to a TSignalSettings");
    }
    EXPECT_EQ(b.ValueFrom(), 300.0f);
}

TEST(AnalogValue, SetValueClampsRoundsHalfToEvenAndQuantises)
{
    {
        // Coolant slider: Digit 300 is 20 degrees; 20.05 lands on the same
        // grid point, so the assigned value stays and nothing fires.
        Control t(-40.0f, 160.0f, 300, 20.0f);
        EXPECT_EQ(t.c->Digit(), 300);
        EXPECT_EQ(t.c->Value(), 20.0f);
        t.c->SetValue(20.05f);
        EXPECT_EQ(t.c->Digit(), 300);
        EXPECT_EQ(t.c->Value(), 20.05f);
        EXPECT_EQ(t.changes, 0);
    }
    {
        // Speed dial at 0: 0.375 is grid 1.5, to even 2, value 0.5.
        Control t(0.0f, 250.0f, 0, 0.0f);
        t.c->SetValue(0.375f);
        EXPECT_EQ(t.c->Digit(), 2);
        EXPECT_EQ(t.c->Value(), 0.5f);
        EXPECT_EQ(t.changes, 1);
        // The same value again fires nothing.
        t.c->SetValue(0.5f);
        EXPECT_EQ(t.changes, 1);
    }
    {
        // 0.125 is grid 0.5, to even 0: position and event unchanged.
        Control t(0.0f, 250.0f, 0, 0.0f);
        t.c->SetValue(0.125f);
        EXPECT_EQ(t.c->Digit(), 0);
        EXPECT_EQ(t.c->Value(), 0.125f);
        EXPECT_EQ(t.changes, 0);
    }
    {
        Control t(0.0f, 20.0f, 600, 12.0f);
        t.c->SetValue(12.345f);
        EXPECT_EQ(t.c->Digit(), 617);
        EXPECT_EQ(t.c->Value(), 12.34f);
    }
    {
        Control t(0.0f, 250.0f, 500, 125.0f);
        t.c->SetValue(300.0f);
        EXPECT_EQ(t.c->Value(), 250.0f);
        EXPECT_EQ(t.c->Digit(), 1000);
        t.c->SetValue(-5.0f);
        EXPECT_EQ(t.c->Value(), 0.0f);
        EXPECT_EQ(t.c->Digit(), 0);
        EXPECT_EQ(t.changes, 2);

        // Non-numbers are no value; infinities clamp like any other number.
        t.c->SetValue(std::numeric_limits<float>::quiet_NaN());
        EXPECT_EQ(t.c->Value(), 0.0f);
        t.c->SetValue(std::numeric_limits<float>::infinity());
        EXPECT_EQ(t.c->Digit(), 1000);
        t.c->SetValue(-std::numeric_limits<float>::max());
        EXPECT_EQ(t.c->Digit(), 0);
        t.c->SetDigit(std::numeric_limits<int32_t>::max());
        EXPECT_EQ(t.c->Digit(), 1000);
        EXPECT_EQ(t.c->Value(), 250.0f);
        t.c->SetDigit(std::numeric_limits<int32_t>::min());
        EXPECT_EQ(t.c->Digit(), 0);
        EXPECT_EQ(t.changes, 6);
    }
}

TEST(AnalogValue, NoEventWhileLoadingButTheChangeIsRemembered)
{
    TAbAnalogCControl c;
    int changes = 0;
    int released = 0;
    c.SetOnValueChange([&](TAbAnalogCControl*) { ++changes; });
    c.SetOnValueChanged([&](TAbAnalogCControl*) { ++released; });
    EXPECT_TRUE(c.IsLoading());
    EXPECT_EQ(c.UpdateLock(), 1);
    c.SetDigit(300);
    c.SignalSettings().SetValueFrom(-40.0f);
    c.SignalSettings().SetValueTo(160.0f);
    c.SetValue(20.0f);
    EXPECT_EQ(c.Digit(), 300);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(c.ChangedSinceRelease());

    c.Loaded();
    EXPECT_FALSE(c.IsLoading());
    EXPECT_EQ(c.UpdateLock(), 0);
    c.EndUpdate();  // never below zero
    EXPECT_EQ(c.UpdateLock(), 0);
    c.SetValue(40.0f);
    EXPECT_EQ(changes, 1);

    // A change of the range after loading redraws but keeps Digit and Value.
    c.SignalSettings().SetValueTo(200.0f);
    EXPECT_EQ(c.Digit(), 400);
    EXPECT_EQ(c.Value(), 40.0f);
    EXPECT_EQ(released, 0);
}

TEST(AnalogKeys, StepsClampAtTheEndsAndReleaseReportsOnce)
{
    Control t(0.0f, 100.0f, 995, 99.5f);
    QWidget* w = t.c.get();
    QTest::keyClick(w, Qt::Key_PageUp);
    EXPECT_EQ(t.c->Digit(), 1000);
    EXPECT_EQ(t.released, 1);
    QTest::keyClick(w, Qt::Key_PageDown);
    EXPECT_EQ(t.c->Digit(), 990);
    QTest::keyClick(w, Qt::Key_Home);
    EXPECT_EQ(t.c->Digit(), 0);
    EXPECT_EQ(t.c->Value(), 0.0f);
    QTest::keyClick(w, Qt::Key_Left);  // already at the bottom
    EXPECT_EQ(t.c->Digit(), 0);
    QTest::keyClick(w, Qt::Key_End);
    EXPECT_EQ(t.c->Digit(), 1000);
    EXPECT_EQ(t.changes, 4);
    EXPECT_EQ(t.released, 4);  // the Left press changed nothing: no report

    t.c->SetChangeSmall(4);
    t.c->SetDigit(500);
    t.released = 0;
    QTest::keyClick(w, Qt::Key_Up);
    EXPECT_EQ(t.c->Digit(), 504);
    QTest::keyClick(w, Qt::Key_Right);
    EXPECT_EQ(t.c->Digit(), 508);
    QTest::keyClick(w, Qt::Key_Down);
    QTest::keyClick(w, Qt::Key_Left);
    EXPECT_EQ(t.c->Digit(), 500);
    EXPECT_EQ(t.released, 4);

    // Huge steps clamp instead of overflowing.
    t.c->SetChangeLarge(std::numeric_limits<int32_t>::max());
    QTest::keyClick(w, Qt::Key_PageUp);
    EXPECT_EQ(t.c->Digit(), 1000);
    QTest::keyClick(w, Qt::Key_PageDown);
    EXPECT_EQ(t.c->Digit(), 0);

    // Keys off: nothing moves; the key-down handler can swallow a key.
    t.c->SetEnableKeyboard(false);
    QTest::keyClick(w, Qt::Key_End);
    EXPECT_EQ(t.c->Digit(), 0);
    t.c->SetEnableKeyboard(true);
    t.c->SetOnKeyDown([](TAbAnalogCControl*, int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_End)
            key = 0;
        else if (key == Qt::Key_Up)
            key = Qt::Key_PageUp;
    });
    t.c->SetChangeLarge(10);
    QTest::keyClick(w, Qt::Key_End);
    EXPECT_EQ(t.c->Digit(), 0);
    QTest::keyClick(w, Qt::Key_Up);
    EXPECT_EQ(t.c->Digit(), 10);
}

TEST(AnalogKeys, WindowShortcutsDoNotTakeTheControlsKeys)
{
    QWidget window;
    int triggered = 0;
    QAction home(&window);
    home.setShortcut(QKeySequence(Qt::Key_Home));
    QObject::connect(&home, &QAction::triggered, [&] { ++triggered; });
    window.addAction(&home);
    auto* c = new TAbAnalogCControl(&window);
    c->SetDigit(500);
    c->Loaded();
    window.show();
    c->setFocus();
    QApplication::processEvents();
    QTest::keyClick(c, Qt::Key_Home);
    EXPECT_EQ(c->Digit(), 0);
    EXPECT_EQ(triggered, 0);
    // With the keys switched off the window's shortcut works again.
    c->SetEnableKeyboard(false);
    QTest::keyClick(c, Qt::Key_Home);
    EXPECT_EQ(triggered, 1);
}

TEST(AnalogKeys, ProgramChangeIsReportedAtTheNextKeyRelease)
{
    Control t(0.0f, 100.0f, 0, 0.0f);
    t.c->SetValue(50.0f);
    EXPECT_TRUE(t.c->ChangedSinceRelease());
    QTest::keyRelease(t.c.get(), Qt::Key_Shift);
    EXPECT_EQ(t.released, 1);
    EXPECT_FALSE(t.c->ChangedSinceRelease());
    QTest::keyRelease(t.c.get(), Qt::Key_Shift);
    EXPECT_EQ(t.released, 1);
}

TEST(AnalogWheel, OnlyOneNotchEitherWayMoves)
{
    Control t(0.0f, 10000.0f, 500, 5000.0f);
    t.c->SetChangeSmall(4);
    struct { int delta; int32_t digit; } steps[] = {
        {120, 504},
        {-120, 500},
        {240, 500},   // two notches at once: not a notch
        {-240, 500},
        {15, 500},    // a fine-grained step
        {0, 500},
        {-392, 500},  // low byte 0x78 but downwards: not an upward notch
        {392, 500},   // low byte 0x88 but upwards
    };
    for (const auto& s : steps) {
        Wheel(t.c.get(), s.delta);
        EXPECT_EQ(t.c->Digit(), s.digit) << "delta " << s.delta;
    }
    // The wheel works with the keys switched off.
    t.c->SetEnableKeyboard(false);
    Wheel(t.c.get(), 120);
    EXPECT_EQ(t.c->Digit(), 504);
    EXPECT_EQ(t.changes, 3);
}

TEST(AnalogText, ValueTextFollowsPatternAndDecimalSeparator)
{
    const char saved = DecimalSeparator();
    Control t(0.0f, 20.0f, 0, 0.0f);
    struct { char sep; const char* format; float value; const char* text; } cases[] = {
        {',', "##0.0", 12.0f, "12,0"},
        {'.', "##0.0", 12.0f, "12.0"},
        {',', "##0.00", 3.26f, "3,26"},
        {',', "##0", 12.5f, "13"},  // halves away from zero
        {'.', "####0", 7.0f, "7"},
    };
    for (const auto& c : cases) {
        SetDecimalSeparator(c.sep);
        t.c->SignalSettings().SetValueFormat(c.format);
        t.c->SetValue(c.value);
        t.c->setFocus();
        t.c->clearFocus();  // focus changes renew the text
        EXPECT_EQ(t.c->ValueText(), c.text) << c.format << " " << c.value;
    }
    SetDecimalSeparator(saved);
}

TEST(AnalogLink, IndicatorFollowsValueAndSettingsUntilDestroyed)
{
    Control t(-40.0f, 160.0f, 300, 20.0f);
    auto indicator = std::make_unique<TAbAnalogGControl>();
    t.c->SetValueIndicator(indicator.get());
    EXPECT_EQ(indicator->SignalSettings().ValueFrom(), -40.0f);
    EXPECT_EQ(indicator->SignalSettings().ValueTo(), 160.0f);
    EXPECT_EQ(indicator->Value(), 20.0f);
    EXPECT_EQ(indicator->Digit(), 300);

    t.c->SetValue(60.0f);
    EXPECT_EQ(indicator->Value(), 60.0f);
    EXPECT_EQ(indicator->Digit(), 500);
    t.c->SignalSettings().SetValueTo(460.0f);
    EXPECT_EQ(indicator->SignalSettings().ValueTo(), 460.0f);

    indicator.reset();
    EXPECT_EQ(t.c->ValueIndicator(), nullptr);
    t.c->SetValue(100.0f);  // no indicator to reach any more
    EXPECT_EQ(t.c->Digit(), 280);
}

namespace {

// Exposes the hooks of the base so that the lock and the hit test can be
// watched from outside.
class Probe : public TAbAnalogCControl {
public:
    int settingsChanged = 0;
    void Request() { RequestSettingsChanged(); }
    void Area(const QRect& r, bool round)
    {
        SetHotArea(r);
        SetRoundHotArea(round);
    }

protected:
    void SettingsChanged() override
    {
        TAbAnalogCControl::SettingsChanged();
        ++settingsChanged;
    }
};

} // namespace

TEST(AnalogBase, UpdateLockHoldsBackSettingsRequests)
{
    Probe p;
    p.Request();  // locked from construction until loaded
    EXPECT_EQ(p.settingsChanged, 0);
    p.Loaded();
    p.Request();
    EXPECT_EQ(p.settingsChanged, 1);
    p.BeginUpdate();
    p.Request();
    p.SetColorFocus(Qt::red);  // colours go straight through
    EXPECT_EQ(p.settingsChanged, 2);
    p.EndUpdate();
    p.SignalSettings().SetName1("x");  // connected after loading
    EXPECT_EQ(p.settingsChanged, 3);
}

TEST(AnalogBase, HotAreaRectangleAndCircle)
{
    Probe p;
    p.Area(QRect(10, 20, 30, 40), false);
    struct { QPoint pt; bool in; } rect[] = {
        {{10, 20}, true}, {{39, 60}, true},   // bottom edge included
        {{40, 30}, false},                    // right edge excluded
        {{9, 30}, false}, {{20, 19}, false}, {{20, 61}, false},
    };
    for (const auto& c : rect)
        EXPECT_EQ(p.InHotArea(c.pt), c.in) << c.pt.x() << "," << c.pt.y();

    p.Area(QRect(0, 0, 40, 40), true);
    struct { QPoint pt; bool in; } circle[] = {
        {{20, 20}, true}, {{0, 20}, true}, {{40, 20}, true}, {{20, 0}, true},
        {{3, 3}, false}, {{37, 37}, false},   // corners of the square
        {{6, 6}, true},
    };
    for (const auto& c : circle)
        EXPECT_EQ(p.InHotArea(c.pt), c.in) << c.pt.x() << "," << c.pt.y();

    // Before any layout there is no hot area at all, not even a point.
    for (bool round : {false, true}) {
        p.Area(QRect(), round);
        EXPECT_FALSE(p.InHotArea(QPoint(0, 0)));
    }
}
