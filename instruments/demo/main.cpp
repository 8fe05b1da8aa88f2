// Demonstration of the instrument controls: the speed dial, the supply
// voltage slider and the doors switch as the tester window sets them up, and
// a line that shows what the controls report.
#include "abdial.h"
#include "abswitch.h"
#include "abvslider.h"
#include "numtext.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

namespace {

const QColor kBlack(0, 0, 0);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Red(0xFF, 0x00, 0x00);

// The look all gauges of the tester share: raised outer bevel, black scale,
// scale numbers in Arial of 11 pixels, captions in MS Sans Serif of 13
// pixels, the value in lime on a black lowered window in the System font.
template <typename Gauge>
void ApplyGaugeLook(Gauge& G) {
  G.BevelOuter().SetStyle(bsRaised);
  G.ScaleSettings().SetColor(kBlack);
  G.ScaleSettings().Font().SetName("Arial");
  G.ScaleSettings().Font().SetHeight(11);
  G.ScaleSettings().Font().SetColor(kBlack);
  G.Font().SetName("MS Sans Serif");
  G.Font().SetHeight(13);
  G.FontValue().SetName("System");
  G.FontValue().SetColor(Lime);
  G.BevelValue().SetColor(kBlack);
  G.BevelValue().SetStyle(bsLowered);
}

// Range, captions and pattern in the order the form stores them.
void ApplySignal(TAbAnalogCControl& G, const char* Name1, const char* Name2, const char* Unit, float From, float To,
                 const char* Format) {
  TSignalSettings& S = G.SignalSettings();
  S.SetValueRange(From, To);
  S.SetValueFormat(Format);
  S.SetValueUnit(Unit);
  S.SetName1(Name1);
  S.SetName2(Name2);
}

QString ValueText(const TAbAnalogCControl& G, int Decimals) {
  return QString::fromStdString(Decimals == 0 ? RoundToText(G.Value()) : FormatNumber(G.Value(), 7, Decimals));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  InitNumberFormatFromLocale();

  QWidget Window;
  Window.setWindowTitle(QString::fromUtf8("Приборы тестера"));
  Window.resize(560, 320);

  // Speed: a dial of 0..250 km/h, 5 major steps with 5 sub-steps.
  auto* Dial = new TAbDial(&Window);
  Dial->setGeometry(8, 8, 257, 257);
  Dial->SetDigit(0);
  ApplySignal(*Dial, " ", "Скорость", "км/ч", 0, 250, "##0");
  Dial->SetValue(0);
  ApplyGaugeLook(*Dial);
  Dial->ScaleSettings().SetSteps(5);
  Dial->ScaleSettings().SetSubSteps(5);
  Dial->ScaleSettings().SetValueFormat("##0");
  Dial->ScaleSettings().SetDrawLine(true);
  Dial->Loaded();

  // Supply voltage: a slider of 0..20 V starting at 12 V (grid position 600).
  auto* Slider = new TAbVSlider(&Window);
  Slider->setGeometry(272, 8, 121, 257);
  Slider->SetDigit(600);
  ApplySignal(*Slider, "Напряжение", "борт.сети", "В", 0, 20, "##0.0");
  Slider->SetValue(12);
  ApplyGaugeLook(*Slider);
  Slider->ScaleSettings().SetSteps(5);
  Slider->ScaleSettings().SetSubSteps(5);
  Slider->ScaleSettings().SetValueFormat("##0");
  Slider->Loaded();

  // Passenger doors: a vertical switch, off at start.
  auto* DoorsLabel = new QLabel(QString::fromUtf8("Состояние пассажирских дверей"), &Window);
  DoorsLabel->setGeometry(404, 8, 150, 40);
  DoorsLabel->setWordWrap(true);
  auto* Doors = new TAbToggleSwitch(&Window);
  Doors->setGeometry(440, 52, 73, 65);
  Doors->SetMode(mSwitch);
  Doors->SetStatusInt(0);
  Doors->SetStatusBit(0);
  Doors->SetGroupIndex(0);
  Doors->SetChecked(false);
  Doors->SetOrientation(boVertical);
  Doors->SetSwapGraphic(false);
  Doors->SetTextOff(QString::fromUtf8("Открыта"));
  Doors->SetTextOn(QString::fromUtf8("Закрыта"));
  Doors->SetColorOn(Lime);
  Doors->SetColorOff(Red);
  Doors->Loaded();

  // What the tester window would copy into its edit fields.
  auto* Report = new QLabel(&Window);
  Report->setGeometry(8, 276, 544, 36);
  auto Show = [=] {
    Report->setText(
        QString::fromUtf8("Скорость: %1 км/ч    Напряжение: %2 В    Двери: %3")
            .arg(ValueText(*Dial, 0), ValueText(*Slider, 2), Doors->Checked() ? Doors->TextOn() : Doors->TextOff()));
  };
  Dial->SetOnValueChange([=](TAbAnalogCControl*) { Show(); });
  Slider->SetOnValueChange([=](TAbAnalogCControl*) { Show(); });
  Doors->SetOnStatusChanged([=](TAbBinGControl*) { Show(); });
  Show();

  Window.show();
  return App.exec();
}
