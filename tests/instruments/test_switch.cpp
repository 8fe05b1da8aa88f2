// The toggle switch driven by real mouse events on the off-screen platform.
#include "abswitch.h"

#include <QImage>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const QColor kLime(0x00, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);

// A window holding switches, shown so that mouse events take the real path.
struct Form {
    QWidget window;
    Form() { window.resize(300, 200); }
    TAbToggleSwitch* Add(int x, int y, int w, int h)
    {
        auto* s = new TAbToggleSwitch(&window);
        s->setGeometry(x, y, w, h);
        s->Loaded();
        return s;
    }
    void Show()
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
};

// The doors switch of the tester: vertical, off at start, red "Открыта" when
// off and lime "Закрыта" when on.
TAbToggleSwitch* AddDoors(Form& form)
{
    TAbToggleSwitch* s = form.Add(48, 136 - 100, 73, 65);
    s->SetOrientation(boVertical);
    s->SetTextOff(QString::fromUtf8("Открыта"));
    s->SetTextOn(QString::fromUtf8("Закрыта"));
    s->SetColorOff(kRed);
    s->SetColorOn(kLime);
    return s;
}

void Press(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(w, b, {}, QPoint(x, y)); }
void Release(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(w, b, {}, QPoint(x, y)); }
void Click(QWidget* w, int x, int y)
{
    Press(w, x, y);
    Release(w, x, y);
}

int CountColour(const QImage& image, const QRect& area, const QColor& c)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixel(x, y) == c.rgb();
    return n;
}

int CountDark(const QImage& image, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(image.pixel(x, y)) < 60;
    return n;
}

} // namespace

TEST(ToggleSwitch, PressOnTheHalfAwayFromTheLeverToggles)
{
    Form form;
    TAbToggleSwitch* s = AddDoors(form);
    form.Show();
    std::vector<std::string> events;
    s->SetOnStatusChanged([&](TAbBinGControl*) { events.push_back("status"); });
    s->SetOnStatusIntChanged([&](TAbBinGControl*) { events.push_back("word"); });
    int mouseDowns = 0;
    s->SetOnMouseDown([&](TAbSwitch*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++mouseDowns; });
    ASSERT_FALSE(s->Checked());
    ASSERT_FALSE(s->LeverOnCheckedSide());  // off: lever in the lower half

    // On the lever (lower half): nothing, not even the mouse-down handler.
    Click(s, 36, 50);
    EXPECT_FALSE(s->Checked());
    EXPECT_EQ(mouseDowns, 0);
    EXPECT_TRUE(events.empty());

    // Upper half: on; the word changes first, then the state.
    Click(s, 36, 10);
    EXPECT_TRUE(s->Checked());
    EXPECT_EQ(s->StatusInt(), 1u);
    EXPECT_EQ(mouseDowns, 1);
    EXPECT_EQ(events, (std::vector<std::string>{"word", "status"}));

    // The lever is now up: the upper half does nothing, the lower turns it off.
    Click(s, 36, 5);
    EXPECT_TRUE(s->Checked());
    Click(s, 36, 60);
    EXPECT_FALSE(s->Checked());
    EXPECT_EQ(s->StatusInt(), 0u);
    EXPECT_EQ(mouseDowns, 2);

    // Only the left button changes the state.
    Click(s, 36, 10);
    ASSERT_TRUE(s->Checked());
    Press(s, 36, 60, Qt::RightButton);
    Release(s, 36, 60, Qt::RightButton);
    EXPECT_TRUE(s->Checked());
    EXPECT_EQ(mouseDowns, 4);
}

TEST(ToggleSwitch, MiddleLineIsNeverAccepted)
{
    Form form;
    TAbToggleSwitch* s = AddDoors(form);  // 73 x 65: middle line y = 32
    TAbToggleSwitch* h = form.Add(150, 20, 57, 25);
    h->SetOrientation(boHorizontal);    // middle line x = 28
    form.Show();
    for (bool state : {false, true}) {
        s->SetChecked(state);
        h->SetChecked(state);
        Click(s, 36, 32);
        Click(h, 28, 12);
        EXPECT_EQ(s->Checked(), state);
        EXPECT_EQ(h->Checked(), state);
    }
    // Horizontal: checked means lever left, so only the right half counts.
    ASSERT_TRUE(h->Checked());
    Click(h, 10, 12);
    EXPECT_TRUE(h->Checked());
    Click(h, 29, 12);
    EXPECT_FALSE(h->Checked());
    Click(h, 29, 12);  // lever now right
    EXPECT_FALSE(h->Checked());
    Click(h, 27, 12);
    EXPECT_TRUE(h->Checked());
}

TEST(ToggleSwitch, SwapGraphicPutsTheLeverOfAnOffSwitchOnTop)
{
    Form form;
    TAbToggleSwitch* s = AddDoors(form);
    s->SetSwapGraphic(true);
    form.Show();
    EXPECT_TRUE(s->LeverOnCheckedSide());
    Click(s, 36, 10);
    EXPECT_FALSE(s->Checked());
    Click(s, 36, 50);
    EXPECT_TRUE(s->Checked());
    EXPECT_FALSE(s->LeverOnCheckedSide());
}

TEST(ToggleSwitch, ButtonModeIsOnOnlyWhileHeld)
{
    Form form;
    TAbToggleSwitch* s = AddDoors(form);
    s->SetMode(mButton);
    form.Show();
    s->SetStatusInt(4);  // another bit of the word is set
    EXPECT_FALSE(s->Checked());
    Press(s, 36, 10);
    EXPECT_TRUE(s->Checked());
    EXPECT_TRUE(s->Pressed());
    EXPECT_EQ(s->StatusInt(), 5u);
    Release(s, 36, 10);
    EXPECT_FALSE(s->Checked());
    EXPECT_FALSE(s->Pressed());
    EXPECT_EQ(s->StatusInt(), 4u);
    EXPECT_EQ(s->LowestBit(), 2);
}

TEST(ToggleSwitch, IndicatorModeIgnoresPressesButNotAssignments)
{
    Form form;
    TAbToggleSwitch* s = AddDoors(form);
    s->SetMode(mIndicator);
    form.Show();
    Click(s, 36, 10);
    Click(s, 36, 60);
    EXPECT_FALSE(s->Checked());
    EXPECT_FALSE(s->Pressed());
    s->SetChecked(true);
    EXPECT_TRUE(s->Checked());
    EXPECT_EQ(s->StatusInt(), 1u);
}

TEST(ToggleSwitch, RadioGroupOfTwoSharesOneWord)
{
    Form form;
    TAbToggleSwitch* first = AddDoors(form);
    TAbToggleSwitch* second = form.Add(150, 20, 73, 65);
    for (TAbToggleSwitch* s : {first, second}) {
        s->SetMode(mRadioButton);
        s->SetGroupIndex(1);
    }
    second->SetStatusBit(1);
    form.Show();
    // Radio mode starts the word at 1: the first switch holds bit 0.
    EXPECT_TRUE(first->Checked());
    EXPECT_FALSE(second->Checked());

    Click(second, 36, 10);
    EXPECT_EQ(first->StatusInt(), 2u);
    EXPECT_EQ(second->StatusInt(), 2u);
    EXPECT_FALSE(first->Checked());
    EXPECT_TRUE(second->Checked());

    // Back to the first; unchecking in radio mode leaves the word alone.
    Click(first, 36, 10);
    EXPECT_EQ(second->StatusInt(), 1u);
    EXPECT_TRUE(first->Checked());
    EXPECT_FALSE(second->Checked());
    first->SetChecked(false);
    EXPECT_EQ(first->StatusInt(), 1u);

    // A third control joining the group takes the group's word.
    TAbToggleSwitch* third = form.Add(10, 120, 57, 25);
    third->SetStatusBit(3);
    third->SetGroupIndex(1);
    EXPECT_EQ(third->StatusInt(), 1u);
    third->SetGroupIndex(-5);  // ignored
    EXPECT_EQ(third->GroupIndex(), 1u);
}

TEST(ToggleSwitch, StatusBitOutOfRangeIsIgnored)
{
    TAbToggleSwitch s;
    s.SetStatusInt(0x80000001u);
    EXPECT_TRUE(s.Checked());
    for (int bad : {32, -1, 1000, INT32_MIN}) {
        s.SetStatusBit(bad);
        EXPECT_EQ(s.StatusBit(), 0);
    }
    s.SetStatusBit(31);
    EXPECT_EQ(s.StatusBit(), 31);
    EXPECT_TRUE(s.Checked());
    s.SetStatusBit(5);
    EXPECT_FALSE(s.Checked());
    EXPECT_EQ(s.StatusInt(), 0x80000001u);
}

TEST(ToggleSwitch, OrientationResizesWithinTheBounds)
{
    TAbToggleSwitch s;
    ASSERT_EQ(s.size(), QSize(57, 25));
    ASSERT_EQ(s.Orientation(), boVertical);
    s.SetOrientation(boHorizontal);
    EXPECT_EQ(s.size(), QSize(57, 25));
    EXPECT_FALSE(s.Vertical());
    s.SetOrientation(boVertical);
    EXPECT_EQ(s.size(), QSize(25, 57));
    EXPECT_TRUE(s.Vertical());
    s.move(10, 20);
    s.SetOrientation(boHorizontal);
    EXPECT_EQ(s.geometry(), QRect(10, 20, 57, 25));
}

TEST(ToggleSwitch, DrawnWithLeverOnOneHalfAndTextOnTheOther)
{
    Form form;
    TAbToggleSwitch* s = AddDoors(form);
    form.Show();
    QImage off = s->grab().toImage();
    ASSERT_EQ(off.size(), QSize(73, 65));
    // Frame: Width 1 + Spacing 1 + inner line.
    const QRect inner(3, 3, 67, 59);
    const QRect upper(inner.left(), inner.top(), inner.width(), inner.height() / 2);
    const QRect lower(inner.left(), inner.top() + inner.height() / 2, inner.width(), inner.height() - inner.height() / 2);
    // Off: red in the upper half around the text, the lever fills the lower half.
    EXPECT_GT(CountColour(off, upper, kRed), upper.width() * upper.height() / 2);
    EXPECT_EQ(CountColour(off, lower, kRed), 0);
    EXPECT_GT(CountDark(off, upper), 10);  // the text "Открыта"
    EXPECT_EQ(QColor(off.pixel(inner.left(), lower.top())), QColor(Qt::black));  // the lever's outline

    s->SetChecked(true);
    QImage on = s->grab().toImage();
    EXPECT_GT(CountColour(on, lower, kLime), lower.width() * lower.height() / 2);
    EXPECT_EQ(CountColour(on, upper, kLime), 0);
    EXPECT_GT(CountDark(on, lower), 10);  // the text "Закрыта"
    // The lever face with its grip ridges.
    EXPECT_GT(CountColour(on, upper, s->BtnColorHighlight()), 20);
    EXPECT_GT(CountColour(on, upper, s->BtnColorShadow()), 20);
}

TEST(ToggleSwitch, TinyAndEmptySizesDrawAndClickWithoutHarm)
{
    Form form;
    TAbToggleSwitch* zero = form.Add(0, 0, 0, 0);
    TAbToggleSwitch* one = form.Add(10, 10, 1, 1);
    TAbToggleSwitch* thin = form.Add(20, 10, 3, 100);
    form.Show();
    for (TAbToggleSwitch* s : {zero, one, thin}) {
        s->SetChecked(true);
        s->SetBtnBevelWidth(50);
        s->SetBtnBevelWidth(-1);  // ignored
        EXPECT_EQ(s->BtnBevelWidth(), 50);
        (void)s->grab();
        s->SetOrientation(boHorizontal);
        (void)s->grab();
    }
    ASSERT_EQ(thin->size(), QSize(100, 3));
    Click(thin, 50, 1);  // the middle line of a 100 x 3 switch
    EXPECT_TRUE(thin->Checked());
    Click(thin, 51, 1);  // right of it, away from the lever on the left
    EXPECT_FALSE(thin->Checked());
    Click(one, 0, 0);    // 1 x 1: the middle line is 0, nothing is accepted
    EXPECT_TRUE(one->Checked());
}

TEST(ToggleSwitch, HugeSwitchPaintsOnlyWhatIsAskedFor)
{
    TAbToggleSwitch s;
    s.resize(5000, 20000);
    s.Loaded();
    s.SetChecked(true);  // lever in the upper half, lime below
    QImage top(100, 100, QImage::Format_RGB32);
    top.fill(Qt::white);
    s.render(&top, QPoint(), QRegion(0, 0, 100, 100));
    EXPECT_GT(CountColour(top, QRect(10, 10, 80, 80), s.BtnColorFace()), 1000);
    QImage below(100, 100, QImage::Format_RGB32);
    s.render(&below, QPoint(), QRegion(2000, 15000, 100, 100));
    EXPECT_EQ(CountColour(below, QRect(0, 0, 100, 100), kLime), 100 * 100);
}
