// The gauge sweep played at 20x through the whole program against a trip
// computer on a pseudo-terminal: the live data records it reads follow the
// sweep, and the readings the tab shows are those that the test works out
// from the answers the trip computer received, at the times the session
// record saw them sent.
//
// The player's clock is the test's: it moves on by 50 ms (a second of the
// scenario at 20x) only once the trip computer has read every record after
// the fields took the values of the last step. At 20x a value of the sweep
// lasts 100 ms, and a loaded machine that holds the window thread up longer
// than that would let the player pass a value by before any request saw it;
// paced by the trip computer, every value is read, however slow the machine.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "builtin_scenarios.h"
#include "console_support.h"
#include "numtext.h"
#include "record_decode.h"
#include "scenario_panel.h"
#include "session_record.h"
#include "tester_app.h"
#include "tester_window.h"
#include "trip_model.h"
#include "vacomm.h"

namespace {

// One quantity as variant 1's records carry it: its field, and the step of
// its code, beyond which decoded values differ from the field's value.
struct TCarried {
  TLiveQuantity Quantity;
  TEcuField Field;
  double Resolution;
  double Top;  // the largest value the code holds; beyond it the unit saturates
};
const TCarried Carried[] = {
    {TLiveQuantity::Speed, TEcuField::VSS, 1.25, 255 * 1.25},
    {TLiveQuantity::Coolant, TEcuField::TOG, 0.75, 255 * 0.75 - 48},
    {TLiveQuantity::EngineSpeed, TEcuField::RPM, 0.25, 65535 * 0.25},
    {TLiveQuantity::Throttle, TEcuField::ATP, 100.0 / 255, 100},
    {TLiveQuantity::ManifoldPressure, TEcuField::IMAP, 256.0 / 65535, 256},
    {TLiveQuantity::Injection, TEcuField::Dv, 175.0 / 65535, 175},
    {TLiveQuantity::IntakeAir, TEcuField::IAT, 0.75, 255 * 0.75 - 48},
    {TLiveQuantity::SupplyVoltage, TEcuField::Ubat, 17.9 / 255, 17.9},
};

// A number the tab shows, in the locale's notation.
double Shown(const QLabel* Label) { return static_cast<double>(StrToFloat(Label->text().toStdString())); }

// "h:mm:ss" in seconds.
double ShownSeconds(const QLabel* Label) {
  const QStringList Parts = Label->text().split(QLatin1Char(':'));
  EXPECT_EQ(Parts.size(), 3) << Label->text().toStdString();
  if (Parts.size() != 3) return -1;
  return Parts[0].toInt() * 3600 + Parts[1].toInt() * 60 + Parts[2].toInt();
}

TEST(ScenarioEndToEnd, TheSweepAt20xReachesTheTripComputerAndTheReadingsMatchItsAnswers) {
  TPtyTripComputer Line;
  TReportRecorder Recorder;
  std::unique_ptr<TTesterApplication> App = StartTesterOn(Line);
  TForm1& Form = App->Form1();
  ASSERT_TRUE(Form.VaComm1.Active()) << Recorder.Texts().join('\n').toStdString();
  TScenarioPanel& Panel = *Form.ScenarioPanel;
  Form.PageControl1->setCurrentWidget(Form.TabSheet8);
  ASSERT_EQ(Line.Exchange("81 11 F1 81", 7), "83 F1 11 C1 6B 8F 40");

  int64_t ClockMs = 0;
  Panel.SetClock([&ClockMs] { return ClockMs; });
  // The operator's steps: a calibration factor, the built-in sweep, 20x, Play.
  Panel.RadioFactor->setChecked(true);
  Panel.EditFactor->setText(LocalNumber("0,01"));
  Panel.ButtonConstants->click();
  Panel.ComboBuiltin->setCurrentIndex(Panel.ComboBuiltin->findText(QString::fromUtf8(BuiltinSweepName)));
  Panel.ButtonBuiltin->click();
  Panel.ComboSpeed->setCurrentIndex(Panel.ComboSpeed->findText(QStringLiteral("20x")));
  ASSERT_NE(Panel.Player(), nullptr);
  ASSERT_EQ(Panel.Player()->Speed(), 20);
  // The session record notes when each answer was handed to the port.
  Form.ButtonRecord->click();
  Panel.ButtonPlay->click();
  ASSERT_EQ(Panel.Player()->State(), TPlayState::Playing);

  // The trip computer reads records 06, 03 and 04 (all eight quantities of
  // variant 1) in turn, 10 ms after each answer, until the sweep is over.
  std::vector<TPacedTripComputer::TStep> Cycle;
  for (const char* Record : {"82 11 F1 21 06", "82 11 F1 21 03", "82 11 F1 21 04"})
    Cycle.push_back({Request(Record), true});
  TPacedTripComputer TripComputer(Line.MasterFd(), Cycle, 10, 1'000'000);
  // The clock moves on, and the fields with it, once the exchange that was
  // under way and then a whole cycle have been answered: 186 steps of four
  // exchanges, about 10 s. The bound is for a run that hangs.
  size_t Fresh = 0;
  EXPECT_TRUE(PumpUntil(
      [&] {
        if (Panel.Player()->Finished()) return true;
        if (TripComputer.Completed() >= Fresh) {
          ClockMs += 50;
          Panel.Tick();
          Fresh = TripComputer.Completed() + 1 + Cycle.size();
        }
        return false;
      },
      180000));
  // The last values (the rest after the last sweep) read once more.
  Fresh = TripComputer.Completed() + 1 + Cycle.size();
  EXPECT_TRUE(PumpUntil([&] { return TripComputer.Completed() >= Fresh; }, 30000));
  TripComputer.Stop();
  ASSERT_TRUE(PumpUntil([&] { return TripComputer.Done(); }, 30000));
  const std::vector<TPacedTripComputer::TExchange>& Exchanges = TripComputer.Join();

  // The answers the record saw sent, with their times: the same bytes, in
  // the same order, as the trip computer received.
  std::vector<int64_t> SentUs;
  for (size_t I = 0; I < Form.Record.Count(); ++I) {
    const TRecordEntry E = Form.Record.Entry(I);
    if (E.Kind != TRecordKind::Sent) continue;
    const size_t N = SentUs.size();
    ASSERT_LT(N, Exchanges.size());
    EXPECT_EQ(Hex({E.Bytes.begin(), E.Bytes.end()}), Hex(Exchanges[N].Answer)) << N;
    SentUs.push_back(E.TimeUs);
  }
  ASSERT_EQ(SentUs.size(), Exchanges.size());

  // What the trip computer read, decoded on this side, each answer at the
  // time it was sent.
  const TScenarioLoad Sweep = LoadBuiltinScenario(BuiltinSweepName);
  ASSERT_TRUE(Sweep.Scenario);
  TTripModel Model;
  Model.SetFuelConstants(TFuelConstants::Factor(0.01));
  std::vector<std::vector<double>> Series(LiveQuantityCount);
  size_t Answered = 0;
  for (size_t I = 0; I < Exchanges.size(); ++I) {
    const std::vector<uint8_t>& Answer = Exchanges[I].Answer;
    const std::optional<TLiveRecord> Record = DecodeLiveRecord(1, Answer.data(), Answer.size());
    if (!Record) continue;
    ++Answered;
    for (int Q = 0; Q < LiveQuantityCount; ++Q)
      if (Record->Values[Q]) Series[Q].push_back(*Record->Values[Q]);
    Model.AddSample({SentUs[I], Record->Value(TLiveQuantity::Speed), Record->Value(TLiveQuantity::EngineSpeed),
                     Record->Value(TLiveQuantity::Injection)});
  }
  // Every request was answered with a live data record.
  EXPECT_EQ(Answered, Exchanges.size());
  ASSERT_GT(Answered, 150u);

  // Each quantity, as read with repeats left out: its rest value, every
  // value of its sweep upwards (as far as the code reaches: values beyond
  // it read as the largest), its rest value again; within a step of the
  // code, and nothing else.
  for (const TCarried& C : Carried) {
    const TSweep& S = Sweep.Scenario->Track(C.Field)->Sweep;
    const std::string Name = FieldName(C.Field);
    ASSERT_TRUE(S.Rest) << Name;
    std::vector<double> Expected;
    const auto Add = [&](double Value) {
      Value = std::min(Value, C.Top);
      if (Expected.empty() || std::abs(Expected.back() - Value) > C.Resolution) Expected.push_back(Value);
    };
    Add(*S.Rest);
    for (int64_t I = 0; I < S.ValueCount(); ++I) Add(S.ValueOf(I));
    Add(*S.Rest);
    std::vector<double> Steps;
    std::string Read;
    for (double Value : Series[static_cast<int>(C.Quantity)])
      if (Steps.empty() || Steps.back() != Value) Steps.push_back(Value), Read += " " + std::to_string(Value);
    ASSERT_EQ(Steps.size(), Expected.size()) << Name << " read" << Read;
    for (size_t I = 0; I < Steps.size(); ++I)
      EXPECT_NEAR(Steps[I], Expected[I], C.Resolution) << Name << " value " << I << "; read" << Read;
  }

  // The readings shown, against the test's own from the same answers at
  // the same times (the window's model stamps each answer a few
  // microseconds after the record does). The trip goes on while the window
  // works its readings out (the engine idles on at standstill: fuel and
  // l/100 km rise by the second), so a reading shown lies between the
  // test's just before and just after, within a unit of its last digit;
  // the window's model itself agrees within a part in ten thousand.
  const int64_t BeforeUs = VaMonotonicMicros();
  Panel.Tick();
  const int64_t EndUs = VaMonotonicMicros();
  const TTripReadings Before = Model.Readings(BeforeUs);
  const TTripReadings Expected = Model.Readings(EndUs);
  ASSERT_GT(Expected.DistanceKm, 0.02);
  ASSERT_TRUE(Expected.FuelL && Expected.ConsumptionL100Km && Expected.AverageSpeedKmh);
  ASSERT_TRUE(Before.FuelL && Before.ConsumptionL100Km && Before.AverageSpeedKmh);
  const auto ExpectShown = [](const QLabel* Label, double From, double To, double Unit) {
    const double Value = Shown(Label);
    EXPECT_GE(Value, std::min(From, To) - Unit) << Label->text().toStdString() << " not in " << From << ".." << To;
    EXPECT_LE(Value, std::max(From, To) + Unit) << Label->text().toStdString() << " not in " << From << ".." << To;
  };
  EXPECT_EQ(Panel.LabelMaxSpeed->text(), LocalNumber("250,0"));
  ExpectShown(Panel.LabelDistance, Before.DistanceKm, Expected.DistanceKm, 0.001);
  EXPECT_GE(ShownSeconds(Panel.LabelTripTime), Before.TripTimeS - 1.0);
  EXPECT_LE(ShownSeconds(Panel.LabelTripTime), Expected.TripTimeS);
  ExpectShown(Panel.LabelAverageSpeed, *Before.AverageSpeedKmh, *Expected.AverageSpeedKmh, 0.1);
  ExpectShown(Panel.LabelFuel, *Before.FuelL, *Expected.FuelL, 0.001);
  ExpectShown(Panel.LabelConsumption, *Before.ConsumptionL100Km, *Expected.ConsumptionL100Km, 0.1);
  const TTripReadings Window = Panel.TripFeed().Model().Readings(EndUs);
  EXPECT_NEAR(Window.DistanceKm, Expected.DistanceKm, Expected.DistanceKm * 1e-4);
  EXPECT_NEAR(Window.TripTimeS, Expected.TripTimeS, 0.001);
  EXPECT_NEAR(*Window.FuelL, *Expected.FuelL, *Expected.FuelL * 1e-4);
  EXPECT_EQ(Window.MaxSpeedKmh, Expected.MaxSpeedKmh);

  // The end of the sweep stays in the fields, at rest.
  EXPECT_EQ(Form.EditUbat->text(), LocalNumber("14,00"));
  EXPECT_EQ(Panel.LabelState->text(), QStringLiteral("закончен"));
  EXPECT_EQ(Form.Emulator.AnswerFilter(), nullptr);
  EXPECT_EQ(Recorder.Texts(), QStringList());
}

}  // namespace
