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
const QColor kLime(0x00, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);

// The look all gauges of the tester share: raised outer bevel, black scale,
// scale numbers in Arial of 11 pixels, captions in MS Sans Serif of 13
// pixels, the value in lime on a black lowered window in the System font.
template <typename Gauge> void ApplyGaugeLook(Gauge& g)
{
    g.BevelOuter().SetStyle(bsRaised);
    g.ScaleSettings().SetColor(kBlack);
    g.ScaleSettings().Font().SetName("Arial");
    g.ScaleSettings().Font().SetHeight(11);
    g.ScaleSettings().Font().SetColor(kBlack);
    g.Font().SetName("MS Sans Serif");
    g.Font().SetHeight(13);
    g.FontValue().SetName("System");
    g.FontValue().SetColor(kLime);
    g.BevelValue().SetColor(kBlack);
    g.BevelValue().SetStyle(bsLowered);
}

// Range, captions and pattern in the order the form stores them.
void ApplySignal(TAbAnalogCControl& g, const char* name1, const char* name2, const char* unit, float from,
                 float to, const char* format)
{
    TSignalSettings& s = g.SignalSettings();
    s.SetValueRange(from, to);
    s.SetValueFormat(format);
    s.SetValueUnit(unit);
    s.SetName1(name1);
    s.SetName2(name2);
}

QString ValueText(const TAbAnalogCControl& g, int decimals)
{
    return QString::fromStdString(decimals == 0 ? RoundToText(g.Value()) : FormatNumber(g.Value(), 7, decimals));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InitNumberFormatFromLocale();

    QWidget window;
    window.setWindowTitle(QString::fromUtf8("Приборы тестера"));
    window.resize(560, 320);

    // Speed: a dial of 0..250 km/h, 5 major steps with 5 sub-steps.
    auto* dial = new TAbDial(&window);
    dial->setGeometry(8, 8, 257, 257);
    dial->SetDigit(0);
    ApplySignal(*dial, " ", "Скорость", "км/ч", 0, 250, "##0");
    dial->SetValue(0);
    ApplyGaugeLook(*dial);
    dial->ScaleSettings().SetSteps(5);
    dial->ScaleSettings().SetSubSteps(5);
    dial->ScaleSettings().SetValueFormat("##0");
    dial->ScaleSettings().SetDrawLine(true);
    dial->Loaded();

    // Supply voltage: a slider of 0..20 V starting at 12 V (grid position 600).
    auto* slider = new TAbVSlider(&window);
    slider->setGeometry(272, 8, 121, 257);
    slider->SetDigit(600);
    ApplySignal(*slider, "Напряжение", "борт.сети", "В", 0, 20, "##0.0");
    slider->SetValue(12);
    ApplyGaugeLook(*slider);
    slider->ScaleSettings().SetSteps(5);
    slider->ScaleSettings().SetSubSteps(5);
    slider->ScaleSettings().SetValueFormat("##0");
    slider->Loaded();

    // Passenger doors: a vertical switch, off at start.
    auto* doorsLabel = new QLabel(QString::fromUtf8("Состояние пассажирских дверей"), &window);
    doorsLabel->setGeometry(404, 8, 150, 40);
    doorsLabel->setWordWrap(true);
    auto* doors = new TAbToggleSwitch(&window);
    doors->setGeometry(440, 52, 73, 65);
    doors->SetMode(mSwitch);
    doors->SetStatusInt(0);
    doors->SetStatusBit(0);
    doors->SetGroupIndex(0);
    doors->SetChecked(false);
    doors->SetOrientation(boVertical);
    doors->SetSwapGraphic(false);
    doors->SetTextOff(QString::fromUtf8("Открыта"));
    doors->SetTextOn(QString::fromUtf8("Закрыта"));
    doors->SetColorOn(kLime);
    doors->SetColorOff(kRed);
    doors->Loaded();

    // What the tester window would copy into its edit fields.
    auto* report = new QLabel(&window);
    report->setGeometry(8, 276, 544, 36);
    auto show = [=] {
        report->setText(QString::fromUtf8("Скорость: %1 км/ч    Напряжение: %2 В    Двери: %3")
                            .arg(ValueText(*dial, 0), ValueText(*slider, 2),
                                 doors->Checked() ? doors->TextOn() : doors->TextOff()));
    };
    dial->SetOnValueChange([=](TAbAnalogCControl*) { show(); });
    slider->SetOnValueChange([=](TAbAnalogCControl*) { show(); });
    doors->SetOnStatusChanged([=](TAbBinGControl*) { show(); });
    show();

    window.show();
    return app.exec();
}
