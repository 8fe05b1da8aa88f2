// The analog control: grid mapping, clamping, rounding, events, loading,
// keys, wheel and the linked indicator, driven through real key and wheel
// events on the off-screen platform. The settings and the mapping alone are
// tested without Qt in model/.
#include "abanalog.h"
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
struct TControl {
  std::unique_ptr<TAbAnalogCControl> C = std::make_unique<TAbAnalogCControl>();
  int Changes = 0;
  int Released = 0;

  TControl(float From, float To, int32_t Digit, float Value) {
    C->SetOnValueChange([this](TAbAnalogCControl* Sender) {
      EXPECT_EQ(Sender, C.get());
      ++Changes;
    });
    C->SetOnValueChanged([this](TAbAnalogCControl*) { ++Released; });
    // The stored order of a form: Digit, the settings, then Value.
    C->SetDigit(Digit);
    C->SignalSettings().SetValueRange(From, To);
    C->SetValue(Value);
    C->Loaded();
    C->resize(100, 100);
    C->show();
    C->setFocus();
    QApplication::processEvents();
    Changes = 0;
  }
};

void Wheel(QWidget* W, int Delta) {
  const QPointF Pos(W->width() / 2.0, W->height() / 2.0);
  QWheelEvent E(Pos, W->mapToGlobal(Pos), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                false);
  QApplication::sendEvent(W, &E);
}

}  // namespace

TEST(AnalogValue, SetValueClampsRoundsHalfToEvenAndQuantises) {
  {
    // Coolant slider: Digit 300 is 20 degrees; 20.05 lands on the same
    // grid point, so the assigned value stays and nothing fires.
    TControl T(-40.0f, 160.0f, 300, 20.0f);
    EXPECT_EQ(T.C->Digit(), 300);
    EXPECT_EQ(T.C->Value(), 20.0f);
    T.C->SetValue(20.05f);
    EXPECT_EQ(T.C->Digit(), 300);
    EXPECT_EQ(T.C->Value(), 20.05f);
    EXPECT_EQ(T.Changes, 0);
  }
  {
    // Speed dial at 0: 0.375 is grid 1.5, to even 2, value 0.5.
    TControl T(0.0f, 250.0f, 0, 0.0f);
    T.C->SetValue(0.375f);
    EXPECT_EQ(T.C->Digit(), 2);
    EXPECT_EQ(T.C->Value(), 0.5f);
    EXPECT_EQ(T.Changes, 1);
    // The same value again fires nothing.
    T.C->SetValue(0.5f);
    EXPECT_EQ(T.Changes, 1);
  }
  {
    // 0.125 is grid 0.5, to even 0: position and event unchanged.
    TControl T(0.0f, 250.0f, 0, 0.0f);
    T.C->SetValue(0.125f);
    EXPECT_EQ(T.C->Digit(), 0);
    EXPECT_EQ(T.C->Value(), 0.125f);
    EXPECT_EQ(T.Changes, 0);
  }
  {
    TControl T(0.0f, 20.0f, 600, 12.0f);
    T.C->SetValue(12.345f);
    EXPECT_EQ(T.C->Digit(), 617);
    EXPECT_EQ(T.C->Value(), 12.34f);
  }
  {
    TControl T(0.0f, 250.0f, 500, 125.0f);
    T.C->SetValue(300.0f);
    EXPECT_EQ(T.C->Value(), 250.0f);
    EXPECT_EQ(T.C->Digit(), 1000);
    T.C->SetValue(-5.0f);
    EXPECT_EQ(T.C->Value(), 0.0f);
    EXPECT_EQ(T.C->Digit(), 0);
    EXPECT_EQ(T.Changes, 2);

    // Non-numbers are no value; infinities clamp like any other number.
    T.C->SetValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(T.C->Value(), 0.0f);
    T.C->SetValue(std::numeric_limits<float>::infinity());
    EXPECT_EQ(T.C->Digit(), 1000);
    T.C->SetValue(-std::numeric_limits<float>::max());
    EXPECT_EQ(T.C->Digit(), 0);
    T.C->SetDigit(std::numeric_limits<int32_t>::max());
    EXPECT_EQ(T.C->Digit(), 1000);
    EXPECT_EQ(T.C->Value(), 250.0f);
    T.C->SetDigit(std::numeric_limits<int32_t>::min());
    EXPECT_EQ(T.C->Digit(), 0);
    EXPECT_EQ(T.Changes, 6);
  }
}

TEST(AnalogValue, NoEventWhileLoadingButTheChangeIsRemembered) {
  TAbAnalogCControl C;
  int Changes = 0;
  int Released = 0;
  C.SetOnValueChange([&](TAbAnalogCControl*) { ++Changes; });
  C.SetOnValueChanged([&](TAbAnalogCControl*) { ++Released; });
  EXPECT_TRUE(C.IsLoading());
  EXPECT_EQ(C.UpdateLock(), 1);
  C.SetDigit(300);
  C.SignalSettings().SetValueFrom(-40.0f);
  C.SignalSettings().SetValueTo(160.0f);
  C.SetValue(20.0f);
  EXPECT_EQ(C.Digit(), 300);
  EXPECT_EQ(Changes, 0);
  EXPECT_TRUE(C.ChangedSinceRelease());

  C.Loaded();
  EXPECT_FALSE(C.IsLoading());
  EXPECT_EQ(C.UpdateLock(), 0);
  C.EndUpdate();  // never below zero
  EXPECT_EQ(C.UpdateLock(), 0);
  C.SetValue(40.0f);
  EXPECT_EQ(Changes, 1);

  // A change of the range after loading redraws but keeps Digit and Value.
  C.SignalSettings().SetValueTo(200.0f);
  EXPECT_EQ(C.Digit(), 400);
  EXPECT_EQ(C.Value(), 40.0f);
  EXPECT_EQ(Released, 0);
}

TEST(AnalogKeys, StepsClampAtTheEndsAndReleaseReportsOnce) {
  TControl T(0.0f, 100.0f, 995, 99.5f);
  QWidget* W = T.C.get();
  QTest::keyClick(W, Qt::Key_PageUp);
  EXPECT_EQ(T.C->Digit(), 1000);
  EXPECT_EQ(T.Released, 1);
  QTest::keyClick(W, Qt::Key_PageDown);
  EXPECT_EQ(T.C->Digit(), 990);
  QTest::keyClick(W, Qt::Key_Home);
  EXPECT_EQ(T.C->Digit(), 0);
  EXPECT_EQ(T.C->Value(), 0.0f);
  QTest::keyClick(W, Qt::Key_Left);  // already at the bottom
  EXPECT_EQ(T.C->Digit(), 0);
  QTest::keyClick(W, Qt::Key_End);
  EXPECT_EQ(T.C->Digit(), 1000);
  EXPECT_EQ(T.Changes, 4);
  EXPECT_EQ(T.Released, 4);  // the Left press changed nothing: no report

  T.C->SetChangeSmall(4);
  T.C->SetDigit(500);
  T.Released = 0;
  QTest::keyClick(W, Qt::Key_Up);
  EXPECT_EQ(T.C->Digit(), 504);
  QTest::keyClick(W, Qt::Key_Right);
  EXPECT_EQ(T.C->Digit(), 508);
  QTest::keyClick(W, Qt::Key_Down);
  QTest::keyClick(W, Qt::Key_Left);
  EXPECT_EQ(T.C->Digit(), 500);
  EXPECT_EQ(T.Released, 4);

  // Huge steps clamp instead of overflowing.
  T.C->SetChangeLarge(std::numeric_limits<int32_t>::max());
  QTest::keyClick(W, Qt::Key_PageUp);
  EXPECT_EQ(T.C->Digit(), 1000);
  QTest::keyClick(W, Qt::Key_PageDown);
  EXPECT_EQ(T.C->Digit(), 0);

  // Keys off: nothing moves; the key-down handler can swallow a key.
  T.C->SetEnableKeyboard(false);
  QTest::keyClick(W, Qt::Key_End);
  EXPECT_EQ(T.C->Digit(), 0);
  T.C->SetEnableKeyboard(true);
  T.C->SetOnKeyDown([](TAbAnalogCControl*, int& Key, Qt::KeyboardModifiers) {
    if (Key == Qt::Key_End) Key = 0;
    else if (Key == Qt::Key_Up) Key = Qt::Key_PageUp;
  });
  T.C->SetChangeLarge(10);
  QTest::keyClick(W, Qt::Key_End);
  EXPECT_EQ(T.C->Digit(), 0);
  QTest::keyClick(W, Qt::Key_Up);
  EXPECT_EQ(T.C->Digit(), 10);
}

TEST(AnalogKeys, WindowShortcutsDoNotTakeTheControlsKeys) {
  QWidget Window;
  int Triggered = 0;
  QAction Home(&Window);
  Home.setShortcut(QKeySequence(Qt::Key_Home));
  QObject::connect(&Home, &QAction::triggered, [&] { ++Triggered; });
  Window.addAction(&Home);
  auto* C = new TAbAnalogCControl(&Window);
  C->SetDigit(500);
  C->Loaded();
  Window.show();
  C->setFocus();
  QApplication::processEvents();
  QTest::keyClick(C, Qt::Key_Home);
  EXPECT_EQ(C->Digit(), 0);
  EXPECT_EQ(Triggered, 0);
  // With the keys switched off the window's shortcut works again.
  C->SetEnableKeyboard(false);
  QTest::keyClick(C, Qt::Key_Home);
  EXPECT_EQ(Triggered, 1);
}

TEST(AnalogKeys, ProgramChangeIsReportedAtTheNextKeyRelease) {
  TControl T(0.0f, 100.0f, 0, 0.0f);
  T.C->SetValue(50.0f);
  EXPECT_TRUE(T.C->ChangedSinceRelease());
  QTest::keyRelease(T.C.get(), Qt::Key_Shift);
  EXPECT_EQ(T.Released, 1);
  EXPECT_FALSE(T.C->ChangedSinceRelease());
  QTest::keyRelease(T.C.get(), Qt::Key_Shift);
  EXPECT_EQ(T.Released, 1);
}

TEST(AnalogWheel, OnlyOneNotchEitherWayMoves) {
  TControl T(0.0f, 10000.0f, 500, 5000.0f);
  T.C->SetChangeSmall(4);
  struct {
    int Delta;
    int32_t Digit;
  } Steps[] = {
      {120, 504},  {-120, 500}, {240, 500},  // two notches at once: not a notch
      {-240, 500}, {15, 500},                // a fine-grained step
      {0, 500},    {-392, 500},              // low byte 0x78 but downwards: not an upward notch
      {392, 500},                            // low byte 0x88 but upwards
  };
  for (const auto& S : Steps) {
    Wheel(T.C.get(), S.Delta);
    EXPECT_EQ(T.C->Digit(), S.Digit) << "delta " << S.Delta;
  }
  // The wheel works with the keys switched off.
  T.C->SetEnableKeyboard(false);
  Wheel(T.C.get(), 120);
  EXPECT_EQ(T.C->Digit(), 504);
  EXPECT_EQ(T.Changes, 3);
}

TEST(AnalogText, ValueTextFollowsPatternAndDecimalSeparator) {
  const char Saved = DecimalSeparator();
  TControl T(0.0f, 20.0f, 0, 0.0f);
  struct {
    char Sep;
    const char* Format;
    float Value;
    const char* Text;
  } Cases[] = {
      {',', "##0.0", 12.0f, "12,0"},  {'.', "##0.0", 12.0f, "12.0"},
      {',', "##0.00", 3.26f, "3,26"}, {',', "##0", 12.5f, "13"},  // halves away from zero
      {'.', "####0", 7.0f, "7"},
  };
  for (const auto& C : Cases) {
    SetDecimalSeparator(C.Sep);
    T.C->SignalSettings().SetValueFormat(C.Format);
    T.C->SetValue(C.Value);
    T.C->setFocus();
    T.C->clearFocus();  // focus changes renew the text
    EXPECT_EQ(T.C->ValueText(), C.Text) << C.Format << " " << C.Value;
  }
  SetDecimalSeparator(Saved);
}

TEST(AnalogLink, IndicatorFollowsValueAndSettingsUntilDestroyed) {
  TControl T(-40.0f, 160.0f, 300, 20.0f);
  auto Indicator = std::make_unique<TAbAnalogGControl>();
  T.C->SetValueIndicator(Indicator.get());
  EXPECT_EQ(Indicator->SignalSettings().ValueFrom(), -40.0f);
  EXPECT_EQ(Indicator->SignalSettings().ValueTo(), 160.0f);
  EXPECT_EQ(Indicator->Value(), 20.0f);
  EXPECT_EQ(Indicator->Digit(), 300);

  T.C->SetValue(60.0f);
  EXPECT_EQ(Indicator->Value(), 60.0f);
  EXPECT_EQ(Indicator->Digit(), 500);
  T.C->SignalSettings().SetValueTo(460.0f);
  EXPECT_EQ(Indicator->SignalSettings().ValueTo(), 460.0f);

  Indicator.reset();
  EXPECT_EQ(T.C->ValueIndicator(), nullptr);
  T.C->SetValue(100.0f);  // no indicator to reach any more
  EXPECT_EQ(T.C->Digit(), 280);
}

namespace {

// Exposes the hooks of the base so that the lock and the hit test can be
// watched from outside.
class TProbe : public TAbAnalogCControl {
public:
  int SettingsChanges = 0;
  void Request() { RequestSettingsChanged(); }
  void Area(const QRect& R, bool Round) {
    SetHotArea(R);
    SetRoundHotArea(Round);
  }

protected:
  void SettingsChanged() override {
    TAbAnalogCControl::SettingsChanged();
    ++SettingsChanges;
  }
};

}  // namespace

TEST(AnalogBase, UpdateLockHoldsBackSettingsRequests) {
  TProbe P;
  P.Request();  // locked from construction until loaded
  EXPECT_EQ(P.SettingsChanges, 0);
  P.Loaded();
  P.Request();
  EXPECT_EQ(P.SettingsChanges, 1);
  P.BeginUpdate();
  P.Request();
  P.SetColorFocus(Qt::red);  // colours go straight through
  EXPECT_EQ(P.SettingsChanges, 2);
  P.EndUpdate();
  P.SignalSettings().SetName1("x");  // connected after loading
  EXPECT_EQ(P.SettingsChanges, 3);
}

TEST(AnalogBase, HotAreaRectangleAndCircle) {
  TProbe P;
  P.Area(QRect(10, 20, 30, 40), false);
  struct {
    QPoint Pt;
    bool In;
  } Rect[] = {
      {{10, 20}, true},  {{39, 60}, true},  // bottom edge included
      {{40, 30}, false},                    // right edge excluded
      {{9, 30}, false},  {{20, 19}, false}, {{20, 61}, false},
  };
  for (const auto& C : Rect) EXPECT_EQ(P.InHotArea(C.Pt), C.In) << C.Pt.x() << "," << C.Pt.y();

  P.Area(QRect(0, 0, 40, 40), true);
  struct {
    QPoint Pt;
    bool In;
  } Circle[] = {
      {{20, 20}, true}, {{0, 20}, true}, {{40, 20}, true},
      {{20, 0}, true},  {{3, 3}, false}, {{37, 37}, false},  // corners of the square
      {{6, 6}, true},
  };
  for (const auto& C : Circle) EXPECT_EQ(P.InHotArea(C.Pt), C.In) << C.Pt.x() << "," << C.Pt.y();

  // Before any layout there is no hot area at all, not even a point.
  for (bool Round : {false, true}) {
    P.Area(QRect(), Round);
    EXPECT_FALSE(P.InHotArea(QPoint(0, 0)));
  }
}
