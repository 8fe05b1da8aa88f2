// The gauge panel on the real tester window: the eight instruments and the
// doors switch as they come up, and the two directions between instrument
// and edit field driven by real key, mouse, wheel and focus events.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <string>

#include "abdial.h"
#include "abswitch.h"
#include "abvslider.h"
#include "console_support.h"
#include "numtext.h"
#include "tester_window.h"

namespace {

class GaugePanel : public testing::Test {
protected:
  void SetUp() override {
    Form.show();
    Form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    QCoreApplication::processEvents();
  }

  void TearDown() override { EXPECT_TRUE(Recorder.Reports.empty()) << Recorder.Texts().join('\n').toStdString(); }

  // Shows the tab of a widget and gives the widget the focus by a click on
  // its lowest rows (the captions of a gauge: focus without a move).
  void Focus(QWidget* Widget) {
    Form.PageControl1->setCurrentWidget(Widget->parentWidget());
    QCoreApplication::processEvents();
    QTest::mouseClick(Widget, Qt::LeftButton, {}, QPoint(Widget->width() / 2, Widget->height() - 3));
    ASSERT_TRUE(Widget->hasFocus());
  }

  void Keys(QWidget* Widget, Qt::Key Key, int Count) {
    for (int I = 0; I < Count; ++I) QTest::keyClick(Widget, Key);
  }

  // Types a text into a field (comma as the locale's separator) and presses Enter.
  void Enter(QLineEdit* Edit, const std::string& Text) {
    Form.PageControl1->setCurrentWidget(Form.TabSheet4);
    TypeInto(Edit, LocalNumber(Text));
    QTest::keyClick(Edit, Qt::Key_Return);
  }

  static void Wheel(QWidget* Widget, int Delta) {
    const QPointF At = QRectF(Widget->rect()).center();
    QWheelEvent Event(At, Widget->mapToGlobal(At), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(Widget, &Event);
  }

  TReportRecorder Recorder;
  TForm1 Form;
};

// The separator the locale does not use.
std::string OtherSeparator() { return DecimalSeparator() == ',' ? "." : ","; }

}  // namespace

TEST_F(GaugePanel, GaugesComeUpWithTheirRangesStartValuesAndLook) {
  struct TExpected {
    TAbAnalogFaceControl* Gauge;
    QRect Geometry;
    const char *Name1, *Name2, *Unit;
    float From, To;
    int Digit;
    float Value;
    const char* Format;
    int Steps, SubSteps;
    const char* ScaleFormat;
  };
  const TExpected Table[] = {
      {Form.AbDialVSS, {8, 8, 257, 257}, " ", "Скорость", "км/ч", 0, 250, 0, 0, "##0", 5, 5, "##0"},
      {Form.AbVSliderTOG,
       {272, 8, 121, 257},
       "Температура",
       "охл.жидкости",
       "°С",
       -40,
       160,
       300,
       20,
       "##0",
       5,
       5,
       "##0"},
      {Form.AbDialRPM, {400, 8, 273, 257}, " ", "Обороты ДВС", "об/мин", 0, 10000, 0, 0, "####0", 10, 2, "##0"},
      {Form.AbVSliderATP, {8, 280, 113, 257}, "Положение", "дроселя", "%", 0, 100, 0, 0, "##0", 5, 5, "##0"},
      {Form.AbVSliderDv, {128, 280, 121, 257}, "Длительность", "впрыска", "мс", 0, 25, 0, 0, "##0.00", 5, 5, "##0.00"},
      {Form.AbVSliderIMAP,
       {264, 280, 137, 257},
       "Давление",
       "воздуха на впуске",
       "кПа",
       0,
       255,
       0,
       0,
       "##0",
       8,
       2,
       "#0"},
      {Form.AbVSliderIAT,
       {416, 280, 129, 257},
       "Температура",
       "возд. на впуске",
       "°С",
       -40,
       160,
       300,
       20,
       "##0",
       5,
       5,
       "##0"},
      {Form.AbVSliderUbat, {552, 280, 121, 257}, "Напряжение", "борт.сети", "В", 0, 20, 600, 12, "##0.0", 5, 5, "##0"},
  };
  const QRect Tab = Form.TabSheet1->rect();
  for (const TExpected& E : Table) {
    SCOPED_TRACE(E.Name2);
    TAbAnalogFaceControl& G = *E.Gauge;
    EXPECT_EQ(G.parentWidget(), Form.TabSheet1);
    EXPECT_EQ(G.geometry(), E.Geometry);
    EXPECT_TRUE(Tab.contains(G.geometry())) << Tab.width() << "x" << Tab.height();
    for (const TExpected& Other : Table) {
      if (Other.Gauge == E.Gauge) continue;
      EXPECT_FALSE(G.geometry().intersects(Other.Gauge->geometry())) << Other.Name2;
    }
    const TSignalSettings& S = G.SignalSettings();
    EXPECT_EQ(S.Name1(), E.Name1);
    EXPECT_EQ(S.Name2(), E.Name2);
    EXPECT_EQ(S.ValueUnit(), E.Unit);
    EXPECT_EQ(S.ValueFrom(), E.From);
    EXPECT_EQ(S.ValueTo(), E.To);
    EXPECT_EQ(S.DigitalFrom(), 0);
    EXPECT_EQ(S.DigitalTo(), 1000);
    EXPECT_EQ(S.ValueFormat(), E.Format);
    // Loaded: the start position and value as stored, the factors of the range.
    EXPECT_FALSE(G.IsLoading());
    EXPECT_EQ(G.Digit(), E.Digit);
    EXPECT_EQ(G.Value(), E.Value);
    EXPECT_FLOAT_EQ(S.ValuePerDigit(), (E.To - E.From) / 1000);
    EXPECT_EQ(G.ScaleSettings().Steps(), E.Steps);
    EXPECT_EQ(G.ScaleSettings().SubSteps(), E.SubSteps);
    EXPECT_EQ(G.ScaleSettings().ValueFormat(), QString::fromUtf8(E.ScaleFormat));
    EXPECT_EQ(G.ChangeSmall(), E.Gauge == Form.AbDialRPM ? 4 : 1);
    // The shared look, as far as the drawing below does not show it.
    EXPECT_EQ(G.BevelOuter().Style(), bsRaised);
    EXPECT_EQ(G.ScaleSettings().Font().Height(), 11);
    EXPECT_EQ(G.Font().Height(), 13);
    EXPECT_EQ(G.ValueText(), FormatFloat(E.Format, E.Value));
  }
  EXPECT_TRUE(Form.AbDialVSS->ScaleSettings().DrawLine());
  EXPECT_TRUE(Form.AbDialRPM->ScaleSettings().DrawLine());

  // Drawn: each gauge's value window and captions carry text on their
  // backgrounds (lime on black above, dark text on the face below).
  const QImage Shot = Form.TabSheet1->grab().toImage();
  for (const TExpected& E : Table) {
    SCOPED_TRACE(E.Name2);
    const QRect Window = E.Gauge->ValueWindow().translated(E.Geometry.topLeft());
    int Lime = 0, Black = 0, Dark = 0;
    for (int Y = Window.top(); Y <= Window.bottom(); ++Y)
      for (int X = Window.left(); X <= Window.right(); ++X) {
        const QColor C = Shot.pixelColor(X, Y);
        Lime += C.green() > 200 && C.red() < 100;
        Black += C.value() < 40;
      }
    for (int Y = E.Geometry.bottom() - 34; Y < E.Geometry.bottom() - 4; ++Y)
      for (int X = E.Geometry.left() + 4; X < E.Geometry.right() - 4; ++X) Dark += Shot.pixelColor(X, Y).value() < 80;
    EXPECT_GT(Lime, 10);
    EXPECT_GT(Black, Window.width() * Window.height() / 3);
    EXPECT_GT(Dark, 40);
  }
}

TEST_F(GaugePanel, DoorsSwitchLiesUnderThePageControlOffAtStart) {
  TAbToggleSwitch& Switch = *Form.AbToggleSwitch6;
  EXPECT_EQ(Switch.parentWidget(), &Form);
  EXPECT_EQ(Switch.geometry(), QRect(48, 136, 73, 65));
  EXPECT_EQ(Form.LabelDoors->text(), QStringLiteral("Состояние пассажирских дверей"));
  EXPECT_EQ(Form.LabelDoors->pos(), QPoint(8, 112));
  EXPECT_EQ(Switch.Orientation(), boVertical);
  EXPECT_EQ(Switch.Mode(), mSwitch);
  EXPECT_FALSE(Switch.Checked());
  EXPECT_EQ(Switch.TextOff(), QStringLiteral("Открыта"));
  EXPECT_EQ(Switch.TextOn(), QStringLiteral("Закрыта"));
  // Created before the page control, which covers both.
  const QObjectList Children = Form.children();
  EXPECT_LT(Children.indexOf(Form.LabelDoors), Children.indexOf(Form.PageControl1));
  EXPECT_LT(Children.indexOf(&Switch), Children.indexOf(Form.PageControl1));
  EXPECT_TRUE(Form.PageControl1->geometry().contains(Switch.geometry()));
  EXPECT_TRUE(Form.PageControl1->geometry().contains(Form.LabelDoors->geometry()));
  EXPECT_NE(Form.childAt(Switch.geometry().center()), &Switch);
}

TEST_F(GaugePanel, SlidersWriteTheirDecimalsWhenMovedByKeysAndWheel) {
  const char Sep = DecimalSeparator();
  EXPECT_EQ(Form.EditDv->text(), QString("0") + Sep + "00");
  // 13 pages and one step: grid position 131 of 0..25 ms is 3.275 ms.
  Focus(Form.AbVSliderDv);
  Keys(Form.AbVSliderDv, Qt::Key_PageUp, 13);
  QTest::keyClick(Form.AbVSliderDv, Qt::Key_Up);
  EXPECT_EQ(Form.AbVSliderDv->Digit(), 131);
  EXPECT_FLOAT_EQ(Form.AbVSliderDv->Value(), 3.275f);
  EXPECT_EQ(Form.EditDv->text(), LocalNumber("3,3"));
  QTest::keyClick(Form.AbVSliderDv, Qt::Key_End);
  EXPECT_EQ(Form.EditDv->text(), LocalNumber("25,0"));

  // Supply voltage, two decimals: 12 V +- one step of 0.02 V.
  Focus(Form.AbVSliderUbat);
  QTest::keyClick(Form.AbVSliderUbat, Qt::Key_Up);
  EXPECT_EQ(Form.EditUbat->text(), LocalNumber("12,02"));
  Keys(Form.AbVSliderUbat, Qt::Key_Down, 2);
  EXPECT_EQ(Form.EditUbat->text(), LocalNumber("11,98"));

  // Whole numbers, negative ones with their sign: -40 .. 160 in 0.2 steps.
  Focus(Form.AbVSliderTOG);
  QTest::keyClick(Form.AbVSliderTOG, Qt::Key_Home);
  EXPECT_EQ(Form.EditTOG->text(), QStringLiteral("-40"));
  Keys(Form.AbVSliderTOG, Qt::Key_PageUp, 3);  // -34
  Keys(Form.AbVSliderTOG, Qt::Key_Up, 3);      // -33.4
  EXPECT_EQ(Form.EditTOG->text(), QStringLiteral("-33"));

  // The wheel moves the throttle one grid step a notch (0.1 %); half a
  // percent rounds to the even neighbour.
  Wheel(Form.AbVSliderATP, 120);
  EXPECT_EQ(Form.AbVSliderATP->Digit(), 1);
  for (int I = 0; I < 4; ++I) Wheel(Form.AbVSliderATP, 120);
  EXPECT_FLOAT_EQ(Form.AbVSliderATP->Value(), 0.5f);
  EXPECT_EQ(Form.EditATP->text(), QStringLiteral("0"));
  // A position that does not change writes nothing: the operator's text stays.
  TypeInto(Form.EditATP, QStringLiteral("kept"));
  Wheel(Form.AbVSliderATP, 240);  // not a notch
  Wheel(Form.AbVSliderATP, -120);
  EXPECT_EQ(Form.EditATP->text(), QStringLiteral("0"));
  TypeInto(Form.EditATP, QStringLiteral("kept"));
  Wheel(Form.AbVSliderATP, 240);
  EXPECT_EQ(Form.EditATP->text(), QStringLiteral("kept"));
}

TEST_F(GaugePanel, DialsWriteWholeNumbersHalvesToEven) {
  // The speed dial moves 0.25 km/h a step: 2.5 is written 2, 3.5 is 4.
  Focus(Form.AbDialVSS);
  Keys(Form.AbDialVSS, Qt::Key_Up, 10);
  EXPECT_FLOAT_EQ(Form.AbDialVSS->Value(), 2.5f);
  EXPECT_EQ(Form.EditVSS->text(), QStringLiteral("2"));
  Keys(Form.AbDialVSS, Qt::Key_Right, 4);
  EXPECT_FLOAT_EQ(Form.AbDialVSS->Value(), 3.5f);
  EXPECT_EQ(Form.EditVSS->text(), QStringLiteral("4"));
  QTest::keyClick(Form.AbDialVSS, Qt::Key_Left);
  EXPECT_EQ(Form.EditVSS->text(), QStringLiteral("3"));  // 3.25

  // The engine speed dial moves 4 grid steps (40 rpm) a key or notch.
  Focus(Form.AbDialRPM);
  QTest::keyClick(Form.AbDialRPM, Qt::Key_Up);
  EXPECT_EQ(Form.EditRPM->text(), QStringLiteral("40"));
  Wheel(Form.AbDialRPM, 120);
  EXPECT_EQ(Form.EditRPM->text(), QStringLiteral("80"));
  QTest::keyClick(Form.AbDialRPM, Qt::Key_PageUp);
  EXPECT_EQ(Form.EditRPM->text(), QStringLiteral("180"));
}

TEST_F(GaugePanel, EnterAppliesTheTextAndTheGaugeRewritesItWhenItMoves) {
  // Typing alone moves nothing.
  Form.PageControl1->setCurrentWidget(Form.TabSheet4);
  TypeInto(Form.EditVSS, QStringLiteral("300"));
  EXPECT_EQ(Form.AbDialVSS->Digit(), 0);
  // Enter: clamped to 250, the field rewritten.
  QTest::keyClick(Form.EditVSS, Qt::Key_Return);
  EXPECT_EQ(Form.AbDialVSS->Digit(), 1000);
  EXPECT_EQ(Form.AbDialVSS->Value(), 250.0f);
  EXPECT_EQ(Form.EditVSS->text(), QStringLiteral("250"));
  // Already at 250: the position stays, so the operator's 300 stays too
  // (and is what the emulator reads).
  Enter(Form.EditVSS, "300");
  EXPECT_EQ(Form.EditVSS->text(), QStringLiteral("300"));
  EXPECT_EQ(Form.FieldText(TEcuField::VSS), "300");
  EXPECT_EQ(Form.AbDialVSS->Value(), 250.0f);
  // The keypad's Enter works the same; 2.5 rounds to 2.
  TypeInto(Form.EditVSS, LocalNumber("2,5"));
  QTest::keyClick(Form.EditVSS, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(Form.EditVSS->text(), QStringLiteral("2"));

  struct TCase {
    QLineEdit* Edit;
    TAbAnalogCControl* Gauge;
    const char* Typed;
    int Digit;
    const char* Shown;
  };
  const TCase Cases[] = {
      {Form.EditATP, Form.AbVSliderATP, "150", 1000, "100"},
      {Form.EditATP, Form.AbVSliderATP, "-5", 0, "0"},
      {Form.EditATP, Form.AbVSliderATP, " +4,2E1 ", 420, "42"},
      {Form.EditDv, Form.AbVSliderDv, "3,275", 131, "3,3"},
      {Form.EditDv, Form.AbVSliderDv, "1e9", 1000, "25,0"},
      {Form.EditUbat, Form.AbVSliderUbat, "12,345", 617, "12,34"},
      {Form.EditUbat, Form.AbVSliderUbat, "-1e400", 0, "0,00"},
      {Form.EditIMAP, Form.AbVSliderIMAP, "100", 392, "100"},
      {Form.EditIMAP, Form.AbVSliderIMAP, "  +255", 1000, "255"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Typed);
    Enter(C.Edit, C.Typed);
    EXPECT_EQ(C.Gauge->Digit(), C.Digit);
    EXPECT_EQ(C.Edit->text(), LocalNumber(C.Shown));
  }
  // Other keys do nothing to the gauge and still reach the field.
  Form.EditIMAP->setFocus();
  QTest::keyClick(Form.EditIMAP, Qt::Key_Backspace);
  QTest::keyClick(Form.EditIMAP, Qt::Key_Escape);
  QTest::keyClick(Form.EditIMAP, Qt::Key_Tab);
  EXPECT_EQ(Form.EditIMAP->text(), QStringLiteral("25"));
  EXPECT_EQ(Form.AbVSliderIMAP->Digit(), 1000);
}

TEST_F(GaugePanel, UnreadableTextsAreReportedAndChangeNothing) {
  struct TCase {
    QLineEdit* Edit;
    TAbAnalogCControl* Gauge;
    std::string Typed;
    const char* Kind;
  };
  const TCase Cases[] = {
      {Form.EditIMAP, Form.AbVSliderIMAP, "12.7", "integer"},
      {Form.EditIMAP, Form.AbVSliderIMAP, "12,7", "integer"},
      {Form.EditIMAP, Form.AbVSliderIMAP, "7 ", "integer"},
      {Form.EditIMAP, Form.AbVSliderIMAP, "1e2", "integer"},
      {Form.EditVSS, Form.AbDialVSS, "abc", "floating point"},
      {Form.EditVSS, Form.AbDialVSS, "12" + OtherSeparator() + "5", "floating point"},
      {Form.EditUbat, Form.AbVSliderUbat, "", "floating point"},
      {Form.EditDv, Form.AbVSliderDv, "1e99999", "floating point"},
      {Form.EditATP, Form.AbVSliderATP, "5 %", "floating point"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Typed);
    const int Digit = C.Gauge->Digit();
    Form.PageControl1->setCurrentWidget(Form.TabSheet4);
    TypeInto(C.Edit, QString::fromStdString(C.Typed));
    QTest::keyClick(C.Edit, Qt::Key_Return);
    ASSERT_EQ(Recorder.Reports.size(), 1u);
    EXPECT_EQ(Recorder.Reports[0].Text.toStdString(), "'" + C.Typed + "' is not a valid " + C.Kind + " value.");
    Recorder.Reports.clear();
    EXPECT_EQ(C.Gauge->Digit(), Digit);
    EXPECT_EQ(C.Edit->text().toStdString(), C.Typed);
  }
  // The window goes on working: the next good text is applied.
  Enter(Form.EditIMAP, "50");
  EXPECT_EQ(Form.AbVSliderIMAP->Digit(), 196);
}

TEST_F(GaugePanel, ThreeFieldsApplyTheirTextWhenEnteredNotWhenTyped) {
  // Coolant: 90 typed does not move the slider, nor does leaving the field.
  Form.PageControl1->setCurrentWidget(Form.TabSheet4);
  TypeInto(Form.EditTOG, QStringLiteral("90"));
  QTest::keyClick(Form.EditTOG, Qt::Key_Return);
  QTest::keyClick(Form.EditTOG, Qt::Key_Tab);
  EXPECT_TRUE(Form.EditRPM->hasFocus());
  EXPECT_EQ(Form.AbVSliderTOG->Digit(), 300);
  EXPECT_EQ(Form.FieldText(TEcuField::TOG), "90");
  // Entered again by Tab from EditVSS: the slider moves to 90.
  Form.EditVSS->setFocus();
  QTest::keyClick(Form.EditVSS, Qt::Key_Tab);
  ASSERT_TRUE(Form.EditTOG->hasFocus());
  EXPECT_EQ(Form.AbVSliderTOG->Digit(), 650);
  EXPECT_EQ(Form.AbVSliderTOG->Value(), 90.0f);
  EXPECT_EQ(Form.EditTOG->text(), QStringLiteral("90"));

  // Engine speed, entered by a click; intake air, by Shift+Tab from EditUbat.
  TypeInto(Form.EditRPM, QStringLiteral("20000"));
  TypeInto(Form.EditIAT, LocalNumber("-20,5"));
  EXPECT_EQ(Form.AbDialRPM->Digit(), 0);
  QTest::mouseClick(Form.EditRPM, Qt::LeftButton);
  EXPECT_EQ(Form.AbDialRPM->Digit(), 1000);
  EXPECT_EQ(Form.EditRPM->text(), QStringLiteral("10000"));
  Form.EditUbat->setFocus();
  QTest::keyClick(Form.EditUbat, Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_TRUE(Form.EditIAT->hasFocus());
  EXPECT_EQ(Form.AbVSliderIAT->Digit(), 98);               // 97.5 to even
  EXPECT_EQ(Form.EditIAT->text(), QStringLiteral("-20"));  // -20.4
}

TEST_F(GaugePanel, AnUnreadableFieldIsReportedWhenEnteredAndOnlyThen) {
  Form.PageControl1->setCurrentWidget(Form.TabSheet4);
  TypeInto(Form.EditIAT, QStringLiteral("x"));
  EXPECT_TRUE(Recorder.Reports.empty());
  Form.EditIMAP->setFocus();
  QTest::keyClick(Form.EditIMAP, Qt::Key_Tab);
  ASSERT_TRUE(Form.EditIAT->hasFocus());
  EXPECT_EQ(Recorder.Texts(), QStringList{"'x' is not a valid floating point value."});
  Recorder.Reports.clear();
  EXPECT_EQ(Form.AbVSliderIAT->Digit(), 300);
  EXPECT_EQ(Form.EditIAT->text(), QStringLiteral("x"));
  // Typing a number and leaving reports nothing either.
  TypeInto(Form.EditIAT, QStringLiteral("30"));
  QTest::keyClick(Form.EditIAT, Qt::Key_Tab);
  EXPECT_TRUE(Recorder.Reports.empty());
  EXPECT_EQ(Form.AbVSliderIAT->Digit(), 300);
}

TEST_F(GaugePanel, AReportBoxClosingOrATabChangeIsNoNewEntry) {
  // A real message box in place of the recorder, closed a moment after it
  // comes up, as the operator closes it.
  int Shown = 0;
  struct TSinkGuard {
    TExceptionReportSink Previous;
    ~TSinkGuard() { SetExceptionReportSink(Previous); }
  } Guard{SetExceptionReportSink([&](const QString& Title, const QString& Text) {
    ++Shown;
    QMessageBox Box(QMessageBox::Critical, Title, Text, QMessageBox::Ok, &Form);
    QTimer::singleShot(50, &Box, &QMessageBox::accept);
    Box.exec();
  })};
  Form.PageControl1->setCurrentWidget(Form.TabSheet4);
  TypeInto(Form.EditIAT, QStringLiteral("x"));
  Form.EditIMAP->setFocus();
  QTest::keyClick(Form.EditIMAP, Qt::Key_Tab);
  // The box closed, the window manager gives the window back its activation
  // and the focus comes back to the field: no second report.
  ASSERT_TRUE(PumpUntil([&] { return Shown == 1 && QApplication::activeModalWidget() == nullptr; }));
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  EXPECT_TRUE(Form.EditIAT->hasFocus());
  ASSERT_TRUE(RunQueuedEvents());
  EXPECT_EQ(Shown, 1);
  EXPECT_EQ(Form.AbVSliderIAT->Digit(), 300);

  // Changing tabs hands the focus back to the field last used on the tab;
  // that is no entry by the operator either.
  TypeInto(Form.EditTOG, QStringLiteral("90"));
  Focus(Form.AbVSliderTOG);
  QTabBar* Tabs = Form.PageControl1->tabBar();
  QTest::mouseClick(Tabs, Qt::LeftButton, {}, Tabs->tabRect(2).center());
  ASSERT_EQ(Form.PageControl1->currentWidget(), Form.TabSheet4);
  EXPECT_EQ(QApplication::focusWidget(), Form.EditTOG);
  EXPECT_EQ(Form.AbVSliderTOG->Digit(), 300);
  EXPECT_EQ(Shown, 1);
}
