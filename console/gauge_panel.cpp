// The gauge panel of the tester window: the eight instruments on the first
// tab, the passenger doors switch under the page control, and the handlers
// that keep each instrument and its parameter edit field in step.
//
// The emulator never reads an instrument; it encodes the edit field texts.
// An instrument acts on the answers only through the text its OnValueChange
// handler writes, and a text reaches an instrument only when the operator
// presses Enter in the field (or, for three fields, enters it).
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <functional>
#include <limits>
#include <utility>

#include "abdial.h"
#include "abswitch.h"
#include "abvslider.h"
#include "exception_report.h"
#include "numtext.h"
#include "tester_window.h"

namespace {

const QColor kBlack(0x00, 0x00, 0x00);
const QColor kLime(0x00, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);

// What the form stores for one gauge, in the order it assigns it.
struct TGaugeForm {
  QRect Geometry;
  int Digit;  // grid position at start
  const char* Name1;
  const char* Name2;
  const char* Unit;
  float From, To;
  float Value;  // value at start
  const char* Format;
  int Steps, SubSteps;
  const char* ScaleFormat;
};

void AssignGauge(TAbAnalogFaceControl& Gauge, const TGaugeForm& Form) {
  Gauge.setGeometry(Form.Geometry);
  Gauge.SetDigit(Form.Digit);
  TSignalSettings& Signal = Gauge.SignalSettings();
  Signal.SetValueRange(Form.From, Form.To);
  Signal.SetValueFormat(Form.Format);
  Signal.SetValueUnit(Form.Unit);
  Signal.SetName1(Form.Name1);
  Signal.SetName2(Form.Name2);
  Gauge.SetValue(Form.Value);
  // The look all eight share: raised outer bevel, black scale with a lime
  // pointer, scale numbers in Arial of 11 px, captions in MS Sans Serif of
  // 13 px, the value in lime on a black lowered window in the System font.
  Gauge.BevelOuter().SetStyle(bsRaised);
  TScaleSettings& Scale = Gauge.ScaleSettings();
  Scale.SetColor(kBlack);
  Scale.SetPointerColor(kLime);
  Scale.Font().SetName(QStringLiteral("Arial"));
  Scale.Font().SetHeight(11);
  Scale.Font().SetColor(kBlack);
  Scale.SetSteps(Form.Steps);
  Scale.SetSubSteps(Form.SubSteps);
  Scale.SetValueFormat(QString::fromUtf8(Form.ScaleFormat));
  Gauge.Font().SetName(QStringLiteral("MS Sans Serif"));
  Gauge.Font().SetHeight(13);
  Gauge.FontValue().SetName(QStringLiteral("System"));
  Gauge.FontValue().SetColor(kLime);
  Gauge.BevelValue().SetColor(kBlack);
  Gauge.BevelValue().SetStyle(bsLowered);
}

// A gauge's value as its edit field shows it: a whole number rounded half to
// even, or a fixed number of decimals (7 significant digits, grouped).
QString GaugeText(const TAbAnalogCControl* Gauge, int Decimals) {
  const long double Value = Gauge->Value();
  return QString::fromStdString(Decimals == 0 ? RoundToText(Value) : FormatNumber(Value, 7, Decimals));
}

// A parsed number narrowed to single precision. Beyond the single range the
// conversion would be undefined; the gauge clamps to its range anyway, so the
// number is first held to the largest finite single.
float Single(long double Value) {
  constexpr long double Largest = std::numeric_limits<float>::max();
  return static_cast<float>(std::clamp(Value, -Largest, Largest));
}

void ApplyFloatText(const QLineEdit* Edit, TAbAnalogCControl* Gauge) {
  Gauge->SetValue(Single(StrToFloat(Edit->text().toStdString())));
}

void ApplyIntegerText(const QLineEdit* Edit, TAbAnalogCControl* Gauge) {
  Gauge->SetValue(Single(StrToInt(Edit->text().toStdString())));
}

// The key-press and focus-entry events of one edit field, as the window's
// handlers expect them. A key press hands the character to the handler
// before the field sees it (a handler that clears it to 0 swallows the key);
// the field then handles the key as usual. An entry into the field by the
// operator (a click, Tab, Shift+Tab or a shortcut) runs its handler with the
// text the field holds at that moment. The focus coming back with the window
// (after a message box, say) or after a pop-up menu is no entry, so a report
// shown by the handler does not bring itself back when the box closes; nor is
// the focus that the page control hands on when the operator changes tabs.
class TEditEvents : public QObject {
public:
  using TKeyPress = std::function<void(QLineEdit*, QChar&)>;
  using TEnter = std::function<void(QLineEdit*)>;

  TEditEvents(QLineEdit* Edit, TKeyPress KeyPress, TEnter Enter)
      : QObject(Edit), Edit(Edit), KeyPress(std::move(KeyPress)), Enter(std::move(Enter)) {
    Edit->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched != Edit) return false;
    if (Event->type() == QEvent::KeyPress && KeyPress) {
      QChar Key = CharacterOf(*static_cast<QKeyEvent*>(Event));
      if (Key.isNull()) return false;
      RunReported([&] { KeyPress(Edit, Key); });
      return Key.isNull();
    }
    if (Event->type() == QEvent::FocusIn && Enter) {
      switch (static_cast<QFocusEvent*>(Event)->reason()) {
        case Qt::MouseFocusReason:
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason: RunReported([this] { Enter(Edit); }); break;
        default: break;
      }
    }
    return false;
  }

private:
  // The character a key press types; Enter on either key is character 13.
  static QChar CharacterOf(const QKeyEvent& Key) {
    if (Key.key() == Qt::Key_Return || Key.key() == Qt::Key_Enter) return QChar(TForm1::kEnter);
    const QString Text = Key.text();
    return Text.size() == 1 ? Text.front() : QChar();
  }

  QLineEdit* Edit;
  TKeyPress KeyPress;
  TEnter Enter;
};

}  // namespace

void TForm1::CreateDoorsSwitch() {
  LabelDoors = new QLabel(QStringLiteral("Состояние пассажирских дверей"), this);
  LabelDoors->adjustSize();
  LabelDoors->move(8, 112);
  AbToggleSwitch6 = new TAbToggleSwitch(this);
  AbToggleSwitch6->setGeometry(48, 136, 73, 65);
  AbToggleSwitch6->SetMode(mSwitch);
  AbToggleSwitch6->SetChecked(false);
  AbToggleSwitch6->SetOrientation(boVertical);
  AbToggleSwitch6->SetTextOff(QStringLiteral("Открыта"));
  AbToggleSwitch6->SetTextOn(QStringLiteral("Закрыта"));
  AbToggleSwitch6->SetColorOff(kRed);
  AbToggleSwitch6->SetColorOn(kLime);
}

void TForm1::CreateGaugePanel() {
  // Left, top, width x height; grid position and value at start; captions,
  // unit, range and pattern; scale steps, sub-steps and pattern.
  AbDialVSS = new TAbDial(TabSheet1);
  AssignGauge(*AbDialVSS, {{8, 8, 257, 257}, 0, " ", "Скорость", "км/ч", 0, 250, 0, "##0", 5, 5, "##0"});
  AbDialVSS->ScaleSettings().SetDrawLine(true);

  AbVSliderTOG = new TAbVSlider(TabSheet1);
  AssignGauge(*AbVSliderTOG,
              {{272, 8, 121, 257}, 300, "Температура", "охл.жидкости", "°С", -40, 160, 20, "##0", 5, 5, "##0"});

  AbDialRPM = new TAbDial(TabSheet1);
  AssignGauge(*AbDialRPM, {{400, 8, 273, 257}, 0, " ", "Обороты ДВС", "об/мин", 0, 10000, 0, "####0", 10, 2, "##0"});
  AbDialRPM->ScaleSettings().SetDrawLine(true);
  AbDialRPM->SetChangeSmall(4);

  AbVSliderATP = new TAbVSlider(TabSheet1);
  AssignGauge(*AbVSliderATP, {{8, 280, 113, 257}, 0, "Положение", "дроселя", "%", 0, 100, 0, "##0", 5, 5, "##0"});

  AbVSliderDv = new TAbVSlider(TabSheet1);
  AssignGauge(*AbVSliderDv,
              {{128, 280, 121, 257}, 0, "Длительность", "впрыска", "мс", 0, 25, 0, "##0.00", 5, 5, "##0.00"});

  AbVSliderIMAP = new TAbVSlider(TabSheet1);
  AssignGauge(*AbVSliderIMAP,
              {{264, 280, 137, 257}, 0, "Давление", "воздуха на впуске", "кПа", 0, 255, 0, "##0", 8, 2, "#0"});

  AbVSliderIAT = new TAbVSlider(TabSheet1);
  AssignGauge(*AbVSliderIAT,
              {{416, 280, 129, 257}, 300, "Температура", "возд. на впуске", "°С", -40, 160, 20, "##0", 5, 5, "##0"});

  AbVSliderUbat = new TAbVSlider(TabSheet1);
  AssignGauge(*AbVSliderUbat,
              {{552, 280, 121, 257}, 600, "Напряжение", "борт.сети", "В", 0, 20, 12, "##0.0", 5, 5, "##0"});

  // The handlers are bound like the other stored properties; none of them
  // runs before the loading step has ended.
  const std::pair<TAbAnalogCControl*, void (TForm1::*)(TAbAnalogCControl*)> ValueChange[] = {
      {AbDialVSS, &TForm1::AbDialVSSValueChange},       {AbVSliderTOG, &TForm1::AbVSliderTOGValueChange},
      {AbDialRPM, &TForm1::AbDialRPMValueChange},       {AbVSliderATP, &TForm1::AbVSliderATPValueChange},
      {AbVSliderDv, &TForm1::AbVSliderDvValueChange},   {AbVSliderIMAP, &TForm1::AbVSliderIMAPValueChange},
      {AbVSliderIAT, &TForm1::AbVSliderIATValueChange}, {AbVSliderUbat, &TForm1::AbVSliderUbatValueChange},
  };
  for (const auto& [Gauge, Handler] : ValueChange)
    Gauge->SetOnValueChange([this, Handler](TAbAnalogCControl* Sender) { (this->*Handler)(Sender); });

  using TKeyPressHandler = void (TForm1::*)(QLineEdit*, QChar&);
  const std::pair<QLineEdit*, TKeyPressHandler> KeyPress[] = {
      {EditVSS, &TForm1::EditVSSKeyPress},   {EditATP, &TForm1::EditATPKeyPress},   {EditDv, &TForm1::EditDvKeyPress},
      {EditUbat, &TForm1::EditUbatKeyPress}, {EditIMAP, &TForm1::EditIMAPKeyPress},
  };
  for (const auto& [Edit, Handler] : KeyPress)
    new TEditEvents(
        Edit, [this, Handler](QLineEdit* Sender, QChar& Key) { (this->*Handler)(Sender, Key); }, nullptr);

  const std::pair<QLineEdit*, void (TForm1::*)(QLineEdit*)> Enter[] = {
      {EditTOG, &TForm1::Edit10Change}, {EditRPM, &TForm1::Edit11Change}, {EditIAT, &TForm1::EditIATEnter}};
  for (const auto& [Edit, Handler] : Enter)
    new TEditEvents(Edit, nullptr, [this, Handler](QLineEdit* Sender) { (this->*Handler)(Sender); });
}

void TForm1::GaugePanelLoaded() {
  AbToggleSwitch6->Loaded();
  TAbAnalogCControl* const Gauges[] = {AbDialVSS,   AbVSliderTOG,  AbDialRPM,    AbVSliderATP,
                                       AbVSliderDv, AbVSliderIMAP, AbVSliderIAT, AbVSliderUbat};
  for (TAbAnalogCControl* Gauge : Gauges) Gauge->Loaded();
}

void TForm1::WriteGaugeStartTexts() {
  // As the OnValueChange handlers write them, except that the injection
  // duration starts with two decimals.
  AbDialVSSValueChange(AbDialVSS);
  AbVSliderTOGValueChange(AbVSliderTOG);
  AbDialRPMValueChange(AbDialRPM);
  AbVSliderATPValueChange(AbVSliderATP);
  AbVSliderIMAPValueChange(AbVSliderIMAP);
  EditDv->setText(GaugeText(AbVSliderDv, 2));
  AbVSliderIATValueChange(AbVSliderIAT);
  AbVSliderUbatValueChange(AbVSliderUbat);
}

// Gauge to edit field: whole numbers, one decimal for the injection duration,
// two for the supply voltage.
void TForm1::AbDialVSSValueChange(TAbAnalogCControl*) { EditVSS->setText(GaugeText(AbDialVSS, 0)); }
void TForm1::AbVSliderTOGValueChange(TAbAnalogCControl*) { EditTOG->setText(GaugeText(AbVSliderTOG, 0)); }
void TForm1::AbDialRPMValueChange(TAbAnalogCControl*) { EditRPM->setText(GaugeText(AbDialRPM, 0)); }
void TForm1::AbVSliderATPValueChange(TAbAnalogCControl*) { EditATP->setText(GaugeText(AbVSliderATP, 0)); }
void TForm1::AbVSliderDvValueChange(TAbAnalogCControl*) { EditDv->setText(GaugeText(AbVSliderDv, 1)); }
void TForm1::AbVSliderIMAPValueChange(TAbAnalogCControl*) { EditIMAP->setText(GaugeText(AbVSliderIMAP, 0)); }
void TForm1::AbVSliderIATValueChange(TAbAnalogCControl*) { EditIAT->setText(GaugeText(AbVSliderIAT, 0)); }
void TForm1::AbVSliderUbatValueChange(TAbAnalogCControl*) { EditUbat->setText(GaugeText(AbVSliderUbat, 2)); }

// Edit field to gauge on the Enter key; the key goes on to the field.
void TForm1::EditVSSKeyPress(QLineEdit*, QChar& Key) {
  if (Key == TForm1::kEnter) ApplyFloatText(EditVSS, AbDialVSS);
}
void TForm1::EditATPKeyPress(QLineEdit*, QChar& Key) {
  if (Key == TForm1::kEnter) ApplyFloatText(EditATP, AbVSliderATP);
}
void TForm1::EditDvKeyPress(QLineEdit*, QChar& Key) {
  if (Key == TForm1::kEnter) ApplyFloatText(EditDv, AbVSliderDv);
}
void TForm1::EditUbatKeyPress(QLineEdit*, QChar& Key) {
  if (Key == TForm1::kEnter) ApplyFloatText(EditUbat, AbVSliderUbat);
}
void TForm1::EditIMAPKeyPress(QLineEdit*, QChar& Key) {
  if (Key == TForm1::kEnter) ApplyIntegerText(EditIMAP, AbVSliderIMAP);
}

// Edit field to gauge when the field is entered, with the text it holds then.
void TForm1::Edit10Change(QLineEdit*) { ApplyFloatText(EditTOG, AbVSliderTOG); }
void TForm1::Edit11Change(QLineEdit*) { ApplyFloatText(EditRPM, AbDialRPM); }
void TForm1::EditIATEnter(QLineEdit*) { ApplyFloatText(EditIAT, AbVSliderIAT); }
