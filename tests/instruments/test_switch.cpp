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

const QColor Lime(0x00, 0xFF, 0x00);
const QColor Red(0xFF, 0x00, 0x00);

// A window holding switches, shown so that mouse events take the real path.
struct TSwitchForm {
  QWidget Window;
  TSwitchForm() { Window.resize(300, 200); }
  TAbToggleSwitch* Add(int X, int Y, int W, int H) {
    auto* S = new TAbToggleSwitch(&Window);
    S->setGeometry(X, Y, W, H);
    S->Loaded();
    return S;
  }
  void Show() {
    Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
  }
};

// The doors switch of the tester: vertical, off at start, red "Открыта" when
// off and lime "Закрыта" when on.
TAbToggleSwitch* AddDoors(TSwitchForm& Form) {
  TAbToggleSwitch* S = Form.Add(48, 136 - 100, 73, 65);
  S->SetOrientation(boVertical);
  S->SetTextOff(QString::fromUtf8("Открыта"));
  S->SetTextOn(QString::fromUtf8("Закрыта"));
  S->SetColorOff(Red);
  S->SetColorOn(Lime);
  return S;
}

void Press(QWidget* W, int X, int Y, Qt::MouseButton B = Qt::LeftButton) { QTest::mousePress(W, B, {}, QPoint(X, Y)); }
void Release(QWidget* W, int X, int Y, Qt::MouseButton B = Qt::LeftButton) {
  QTest::mouseRelease(W, B, {}, QPoint(X, Y));
}
void Click(QWidget* W, int X, int Y) {
  Press(W, X, Y);
  Release(W, X, Y);
}

int CountColour(const QImage& Image, const QRect& Area, const QColor& C) {
  int N = 0;
  for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
    for (int X = Area.left(); X <= Area.right(); ++X) N += Image.pixel(X, Y) == C.rgb();
  return N;
}

int CountDark(const QImage& Image, const QRect& Area) {
  int N = 0;
  for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
    for (int X = Area.left(); X <= Area.right(); ++X) N += qGray(Image.pixel(X, Y)) < 60;
  return N;
}

}  // namespace

TEST(ToggleSwitch, PressOnTheHalfAwayFromTheLeverToggles) {
  TSwitchForm Form;
  TAbToggleSwitch* S = AddDoors(Form);
  Form.Show();
  std::vector<std::string> Events;
  S->SetOnStatusChanged([&](TAbBinGControl*) { Events.push_back("status"); });
  S->SetOnStatusIntChanged([&](TAbBinGControl*) { Events.push_back("word"); });
  int MouseDowns = 0;
  S->SetOnMouseDown([&](TAbSwitch*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++MouseDowns; });
  ASSERT_FALSE(S->Checked());
  ASSERT_FALSE(S->LeverOnCheckedSide());  // off: lever in the lower half

  // On the lever (lower half): nothing, not even the mouse-down handler.
  Click(S, 36, 50);
  EXPECT_FALSE(S->Checked());
  EXPECT_EQ(MouseDowns, 0);
  EXPECT_TRUE(Events.empty());

  // Upper half: on; the word changes first, then the state.
  Click(S, 36, 10);
  EXPECT_TRUE(S->Checked());
  EXPECT_EQ(S->StatusInt(), 1u);
  EXPECT_EQ(MouseDowns, 1);
  EXPECT_EQ(Events, (std::vector<std::string>{"word", "status"}));

  // The lever is now up: the upper half does nothing, the lower turns it off.
  Click(S, 36, 5);
  EXPECT_TRUE(S->Checked());
  Click(S, 36, 60);
  EXPECT_FALSE(S->Checked());
  EXPECT_EQ(S->StatusInt(), 0u);
  EXPECT_EQ(MouseDowns, 2);

  // Only the left button changes the state.
  Click(S, 36, 10);
  ASSERT_TRUE(S->Checked());
  Press(S, 36, 60, Qt::RightButton);
  Release(S, 36, 60, Qt::RightButton);
  EXPECT_TRUE(S->Checked());
  EXPECT_EQ(MouseDowns, 4);
}

TEST(ToggleSwitch, MiddleLineIsNeverAccepted) {
  TSwitchForm Form;
  TAbToggleSwitch* S = AddDoors(Form);  // 73 x 65: middle line y = 32
  TAbToggleSwitch* H = Form.Add(150, 20, 57, 25);
  H->SetOrientation(boHorizontal);  // middle line x = 28
  Form.Show();
  for (bool State : {false, true}) {
    S->SetChecked(State);
    H->SetChecked(State);
    Click(S, 36, 32);
    Click(H, 28, 12);
    EXPECT_EQ(S->Checked(), State);
    EXPECT_EQ(H->Checked(), State);
  }
  // Horizontal: checked means lever left, so only the right half counts.
  ASSERT_TRUE(H->Checked());
  Click(H, 10, 12);
  EXPECT_TRUE(H->Checked());
  Click(H, 29, 12);
  EXPECT_FALSE(H->Checked());
  Click(H, 29, 12);  // lever now right
  EXPECT_FALSE(H->Checked());
  Click(H, 27, 12);
  EXPECT_TRUE(H->Checked());
}

TEST(ToggleSwitch, SwapGraphicPutsTheLeverOfAnOffSwitchOnTop) {
  TSwitchForm Form;
  TAbToggleSwitch* S = AddDoors(Form);
  S->SetSwapGraphic(true);
  Form.Show();
  EXPECT_TRUE(S->LeverOnCheckedSide());
  Click(S, 36, 10);
  EXPECT_FALSE(S->Checked());
  Click(S, 36, 50);
  EXPECT_TRUE(S->Checked());
  EXPECT_FALSE(S->LeverOnCheckedSide());
}

TEST(ToggleSwitch, ButtonModeIsOnOnlyWhileHeld) {
  TSwitchForm Form;
  TAbToggleSwitch* S = AddDoors(Form);
  S->SetMode(mButton);
  Form.Show();
  S->SetStatusInt(4);  // another bit of the word is set
  EXPECT_FALSE(S->Checked());
  Press(S, 36, 10);
  EXPECT_TRUE(S->Checked());
  EXPECT_TRUE(S->Pressed());
  EXPECT_EQ(S->StatusInt(), 5u);
  Release(S, 36, 10);
  EXPECT_FALSE(S->Checked());
  EXPECT_FALSE(S->Pressed());
  EXPECT_EQ(S->StatusInt(), 4u);
  EXPECT_EQ(S->LowestBit(), 2);
}

TEST(ToggleSwitch, IndicatorModeIgnoresPressesButNotAssignments) {
  TSwitchForm Form;
  TAbToggleSwitch* S = AddDoors(Form);
  S->SetMode(mIndicator);
  Form.Show();
  Click(S, 36, 10);
  Click(S, 36, 60);
  EXPECT_FALSE(S->Checked());
  EXPECT_FALSE(S->Pressed());
  S->SetChecked(true);
  EXPECT_TRUE(S->Checked());
  EXPECT_EQ(S->StatusInt(), 1u);
}

TEST(ToggleSwitch, RadioGroupOfTwoSharesOneWord) {
  TSwitchForm Form;
  TAbToggleSwitch* First = AddDoors(Form);
  TAbToggleSwitch* Second = Form.Add(150, 20, 73, 65);
  for (TAbToggleSwitch* S : {First, Second}) {
    S->SetMode(mRadioButton);
    S->SetGroupIndex(1);
  }
  Second->SetStatusBit(1);
  Form.Show();
  // Radio mode starts the word at 1: the first switch holds bit 0.
  EXPECT_TRUE(First->Checked());
  EXPECT_FALSE(Second->Checked());

  Click(Second, 36, 10);
  EXPECT_EQ(First->StatusInt(), 2u);
  EXPECT_EQ(Second->StatusInt(), 2u);
  EXPECT_FALSE(First->Checked());
  EXPECT_TRUE(Second->Checked());

  // Back to the first; unchecking in radio mode leaves the word alone.
  Click(First, 36, 10);
  EXPECT_EQ(Second->StatusInt(), 1u);
  EXPECT_TRUE(First->Checked());
  EXPECT_FALSE(Second->Checked());
  First->SetChecked(false);
  EXPECT_EQ(First->StatusInt(), 1u);

  // A third control joining the group takes the group's word.
  TAbToggleSwitch* Third = Form.Add(10, 120, 57, 25);
  Third->SetStatusBit(3);
  Third->SetGroupIndex(1);
  EXPECT_EQ(Third->StatusInt(), 1u);
  Third->SetGroupIndex(-5);  // ignored
  EXPECT_EQ(Third->GroupIndex(), 1u);
}

TEST(ToggleSwitch, StatusBitOutOfRangeIsIgnored) {
  TAbToggleSwitch S;
  S.SetStatusInt(0x80000001u);
  EXPECT_TRUE(S.Checked());
  for (int Bad : {32, -1, 1000, INT32_MIN}) {
    S.SetStatusBit(Bad);
    EXPECT_EQ(S.StatusBit(), 0);
  }
  S.SetStatusBit(31);
  EXPECT_EQ(S.StatusBit(), 31);
  EXPECT_TRUE(S.Checked());
  S.SetStatusBit(5);
  EXPECT_FALSE(S.Checked());
  EXPECT_EQ(S.StatusInt(), 0x80000001u);
}

TEST(ToggleSwitch, OrientationResizesWithinTheBounds) {
  TAbToggleSwitch S;
  ASSERT_EQ(S.size(), QSize(57, 25));
  ASSERT_EQ(S.Orientation(), boVertical);
  S.SetOrientation(boHorizontal);
  EXPECT_EQ(S.size(), QSize(57, 25));
  EXPECT_FALSE(S.Vertical());
  S.SetOrientation(boVertical);
  EXPECT_EQ(S.size(), QSize(25, 57));
  EXPECT_TRUE(S.Vertical());
  S.move(10, 20);
  S.SetOrientation(boHorizontal);
  EXPECT_EQ(S.geometry(), QRect(10, 20, 57, 25));
}

TEST(ToggleSwitch, DrawnWithLeverOnOneHalfAndTextOnTheOther) {
  TSwitchForm Form;
  TAbToggleSwitch* S = AddDoors(Form);
  Form.Show();
  QImage Off = S->grab().toImage();
  ASSERT_EQ(Off.size(), QSize(73, 65));
  // Frame: Width 1 + Spacing 1 + inner line.
  const QRect Inner(3, 3, 67, 59);
  const QRect Upper(Inner.left(), Inner.top(), Inner.width(), Inner.height() / 2);
  const QRect Lower(Inner.left(), Inner.top() + Inner.height() / 2, Inner.width(), Inner.height() - Inner.height() / 2);
  // Off: red in the upper half around the text, the lever fills the lower half.
  EXPECT_GT(CountColour(Off, Upper, Red), Upper.width() * Upper.height() / 2);
  EXPECT_EQ(CountColour(Off, Lower, Red), 0);
  EXPECT_GT(CountDark(Off, Upper), 10);                                        // the text "Открыта"
  EXPECT_EQ(QColor(Off.pixel(Inner.left(), Lower.top())), QColor(Qt::black));  // the lever's outline

  S->SetChecked(true);
  QImage On = S->grab().toImage();
  EXPECT_GT(CountColour(On, Lower, Lime), Lower.width() * Lower.height() / 2);
  EXPECT_EQ(CountColour(On, Upper, Lime), 0);
  EXPECT_GT(CountDark(On, Lower), 10);  // the text "Закрыта"
  // The lever face with its grip ridges.
  EXPECT_GT(CountColour(On, Upper, S->BtnColorHighlight()), 20);
  EXPECT_GT(CountColour(On, Upper, S->BtnColorShadow()), 20);
}

TEST(ToggleSwitch, TinyAndEmptySizesDrawAndClickWithoutHarm) {
  TSwitchForm Form;
  TAbToggleSwitch* Zero = Form.Add(0, 0, 0, 0);
  TAbToggleSwitch* One = Form.Add(10, 10, 1, 1);
  TAbToggleSwitch* Thin = Form.Add(20, 10, 3, 100);
  Form.Show();
  for (TAbToggleSwitch* S : {Zero, One, Thin}) {
    S->SetChecked(true);
    S->SetBtnBevelWidth(50);
    S->SetBtnBevelWidth(-1);  // ignored
    EXPECT_EQ(S->BtnBevelWidth(), 50);
    (void)S->grab();
    S->SetOrientation(boHorizontal);
    (void)S->grab();
  }
  ASSERT_EQ(Thin->size(), QSize(100, 3));
  Click(Thin, 50, 1);  // the middle line of a 100 x 3 switch
  EXPECT_TRUE(Thin->Checked());
  Click(Thin, 51, 1);  // right of it, away from the lever on the left
  EXPECT_FALSE(Thin->Checked());
  Click(One, 0, 0);  // 1 x 1: the middle line is 0, nothing is accepted
  EXPECT_TRUE(One->Checked());
}

TEST(ToggleSwitch, HugeSwitchPaintsOnlyWhatIsAskedFor) {
  TAbToggleSwitch S;
  S.resize(5000, 20000);
  S.Loaded();
  S.SetChecked(true);  // lever in the upper half, lime below
  QImage Top(100, 100, QImage::Format_RGB32);
  Top.fill(Qt::white);
  S.render(&Top, QPoint(), QRegion(0, 0, 100, 100));
  EXPECT_GT(CountColour(Top, QRect(10, 10, 80, 80), S.BtnColorFace()), 1000);
  QImage Below(100, 100, QImage::Format_RGB32);
  S.render(&Below, QPoint(), QRegion(2000, 15000, 100, 100));
  EXPECT_EQ(CountColour(Below, QRect(0, 0, 100, 100), Lime), 100 * 100);
}
