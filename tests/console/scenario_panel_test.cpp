// The tab "Сценарий": files refused with every error and its line, a
// built-in played into the edit fields and gauges on a clock the test moves,
// pause and typing, the variant and fault ticks of a scenario, the fault
// rule applied by hand on a pseudo-terminal, the emulator left without a
// filter while there is no rule, and the fuel constants typed in.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>

#include "abdial.h"
#include "abvslider.h"
#include "builtin_scenarios.h"
#include "console_support.h"
#include "numtext.h"
#include "scenario_panel.h"
#include "session_record.h"
#include "tester_app.h"
#include "tester_window.h"

namespace {

class ScenarioTab : public testing::Test {
protected:
  void SetUp() override {
    Panel = Form.ScenarioPanel;
    ASSERT_NE(Panel, nullptr);
    Panel->SetClock([this] { return NowMs; });
  }

  // A scenario file with this text in the test's own folder.
  QString File(const std::string& Name, const std::string& Text) {
    const QString Path = Folder.filePath(QString::fromStdString(Name));
    QFile Out(Path);
    EXPECT_TRUE(Out.open(QIODevice::WriteOnly));
    Out.write(Text.data(), static_cast<qint64>(Text.size()));
    return Path;
  }

  // Scenario time at the given speed: real milliseconds on the test's clock.
  void Advance(int64_t ScenarioMs, int Speed) {
    NowMs += ScenarioMs / Speed;
    Panel->Tick();
  }

  QString Field(TEcuField F) const { return Form.ParameterEdit(F)->text(); }

  TReportRecorder Recorder;
  TForm1 Form;
  TScenarioPanel* Panel = nullptr;
  int64_t NowMs = 100000;
  QTemporaryDir Folder;
};

TEST_F(ScenarioTab, BadFilesAreRefusedWithEveryErrorAndItsLineAndLoadNothing) {
  // Two errors of the reader, on lines 3 and 6: one message lists both.
  const QString Bad = File("bad.json",
                           "{\n"
                           "  \"name\": \"Проба\",\n"
                           "  \"variant\": 5,\n"
                           "  \"tracks\": {\n"
                           "    \"RPM\": {\"points\": [[0, 800]]},\n"
                           "    \"VSS\": {\"points\": [[0, 0], [\"abc\", 50]]}\n"
                           "  }\n"
                           "}\n");
  EXPECT_FALSE(Panel->LoadFile(Bad));
  ASSERT_EQ(Recorder.Reports.size(), 1u);
  const QString Text = Recorder.Reports[0].Text;
  EXPECT_TRUE(Text.contains(QStringLiteral("\"bad.json\" не загружен, ошибок: 2"))) << Text.toStdString();
  EXPECT_TRUE(Text.contains(QStringLiteral("строка 3: \"variant\""))) << Text.toStdString();
  EXPECT_TRUE(Text.contains(QStringLiteral("строка 6: "))) << Text.toStdString();
  EXPECT_EQ(Panel->Player(), nullptr);
  EXPECT_EQ(Panel->LabelName->text(), QStringLiteral("—"));
  EXPECT_FALSE(Panel->ButtonPlay->isEnabled());

  // A fault code the list does not have is an error with its line, and so
  // is a third 0601 where the list has three items of that code but not
  // four: everything else in the file is right.
  Recorder.Reports.clear();
  const QString Codes = File("codes.json",
                             "{\"name\": \"Коды\",\n"
                             " \"faults\": [\"0300\",\n"
                             "            \"0999\",\n"
                             "            \"0601\", \"0601\", \"0601\",\n"
                             "            \"0601\"],\n"
                             " \"tracks\": {\"VSS\": {\"points\": [[0, 10]]}}}\n");
  EXPECT_FALSE(Panel->LoadFile(Codes));
  ASSERT_EQ(Recorder.Reports.size(), 1u);
  EXPECT_TRUE(Recorder.Reports[0].Text.contains(QStringLiteral("ошибок: 2")));
  EXPECT_TRUE(Recorder.Reports[0].Text.contains(QStringLiteral("строка 3: \"faults\": кода 0999 нет")))
      << Recorder.Reports[0].Text.toStdString();
  EXPECT_TRUE(Recorder.Reports[0].Text.contains(QStringLiteral("строка 5: \"faults\": код 0601 указан в 4-й раз")))
      << Recorder.Reports[0].Text.toStdString();
  EXPECT_EQ(Panel->Player(), nullptr);

  // A file cut short: the line where the parser stopped.
  Recorder.Reports.clear();
  EXPECT_FALSE(Panel->LoadFile(File("cut.json", "{\"name\": \"x\",\n \"tracks\": {\n  \"VSS\": ")));
  ASSERT_EQ(Recorder.Reports.size(), 1u);
  EXPECT_TRUE(Recorder.Reports[0].Text.contains(QStringLiteral("строка 3"))) << Recorder.Reports[0].Text.toStdString();

  // A huge file is refused by its size; a missing one cannot be read.
  Recorder.Reports.clear();
  EXPECT_FALSE(Panel->LoadFile(File("huge.json", std::string(MaxScenarioBytes + 1, ' '))));
  EXPECT_FALSE(Panel->LoadFile(Folder.filePath(QStringLiteral("missing.json"))));
  ASSERT_EQ(Recorder.Reports.size(), 2u);
  EXPECT_TRUE(Recorder.Reports[0].Text.contains(QStringLiteral("больше 16 МиБ")))
      << Recorder.Reports[0].Text.toStdString();
  EXPECT_TRUE(Recorder.Reports[1].Text.contains(QStringLiteral("\"missing.json\" не загружен")));
  EXPECT_EQ(Panel->Player(), nullptr);

  // A scenario that plays goes on playing through a load that fails.
  Recorder.Reports.clear();
  ASSERT_TRUE(Panel->LoadBuiltin(QString::fromUtf8(BuiltinSweepName)));
  Panel->Play();
  EXPECT_FALSE(Panel->LoadFile(Bad));
  ASSERT_NE(Panel->Player(), nullptr);
  EXPECT_EQ(Panel->Player()->Scenario().Name, BuiltinSweepName);
  EXPECT_EQ(Panel->Player()->State(), TPlayState::Playing);
}

TEST_F(ScenarioTab, ClampedValuesAreListedAsWarningsAndTheScenarioLoads) {
  const QString Path = File("clamped.json",
                            "{\"name\": \"Вне шкалы\",\n"
                            " \"tracks\": {\n"
                            "  \"VSS\": {\"points\": [[0, 300]]},\n"
                            "  \"TOG\": {\"points\": [[0, -60]]}}}\n");
  ASSERT_TRUE(Panel->LoadFile(Path));
  EXPECT_TRUE(Recorder.Reports.empty());
  ASSERT_EQ(Panel->ListWarnings->count(), 2);
  EXPECT_TRUE(Panel->ListWarnings->item(0)->text().startsWith(QStringLiteral("строка 3: значение 300")));
  EXPECT_TRUE(Panel->ListWarnings->item(1)->text().startsWith(QStringLiteral("строка 4: значение -60")));
  EXPECT_EQ(Panel->LabelName->text(), QStringLiteral("Вне шкалы"));
  Panel->Play();
  EXPECT_EQ(Field(TEcuField::VSS), QStringLiteral("250"));
  EXPECT_EQ(Field(TEcuField::TOG), QStringLiteral("-40"));

  // A scenario without warnings clears the list.
  ASSERT_TRUE(Panel->LoadBuiltin(QString::fromUtf8(BuiltinSweepName)));
  EXPECT_EQ(Panel->ListWarnings->count(), 0);
}

TEST_F(ScenarioTab, TheSweepDrivesFieldsAndGaugesPausesForTypingAndStops) {
  ASSERT_TRUE(Panel->LoadBuiltin(QString::fromUtf8(BuiltinSweepName)));
  ASSERT_TRUE(Panel->SetSpeed(20));
  EXPECT_EQ(Panel->ComboSpeed->currentText(), QStringLiteral("20x"));
  EXPECT_EQ(Panel->LabelName->text(), QString::fromUtf8(BuiltinSweepName));
  EXPECT_EQ(Panel->LabelTime->text(), QStringLiteral("00:00 из 03:06"));
  EXPECT_EQ(Panel->LabelState->text(), QStringLiteral("остановлен"));
  // Loading alone writes nothing.
  EXPECT_EQ(Field(TEcuField::RPM), QStringLiteral("0"));

  // At rest before the first sweep: every field, in the gauges' texts, and
  // every gauge moved to it.
  Panel->Play();
  EXPECT_EQ(Panel->LabelState->text(), QStringLiteral("идёт"));
  EXPECT_EQ(Field(TEcuField::VSS), QStringLiteral("0"));
  EXPECT_EQ(Field(TEcuField::TOG), QStringLiteral("90"));
  EXPECT_EQ(Field(TEcuField::RPM), QStringLiteral("800"));
  EXPECT_EQ(Field(TEcuField::IMAP), QStringLiteral("30"));
  EXPECT_EQ(Field(TEcuField::Dv), LocalNumber("2,5"));
  EXPECT_EQ(Field(TEcuField::IAT), QStringLiteral("25"));
  EXPECT_EQ(Field(TEcuField::Ubat), LocalNumber("14,00"));
  EXPECT_FLOAT_EQ(Form.AbVSliderTOG->Value(), 90);
  EXPECT_FLOAT_EQ(Form.AbDialRPM->Value(), 800);
  EXPECT_FLOAT_EQ(Form.AbVSliderDv->Value(), 2.5f);
  EXPECT_FLOAT_EQ(Form.AbVSliderUbat->Value(), 14);

  // 5.5 s of scenario time at 20x: the speed's third step.
  Advance(5500, 20);
  EXPECT_EQ(Field(TEcuField::VSS), QStringLiteral("50"));
  EXPECT_FLOAT_EQ(Form.AbDialVSS->Value(), 50);
  EXPECT_EQ(Panel->LabelTime->text(), QStringLiteral("00:05 из 03:06"));
  EXPECT_EQ(Panel->LabelPass->text(), QStringLiteral("1 из 1"));
  // Play pressed again changes nothing: the time runs on.
  Panel->Play();
  EXPECT_EQ(Panel->Player()->ElapsedMs(), 5500);

  Advance(25500, 20);  // 31 s: coolant at its fourth step, speed at rest
  EXPECT_EQ(Field(TEcuField::TOG), QStringLiteral("20"));
  EXPECT_FLOAT_EQ(Form.AbVSliderTOG->Value(), 20);
  EXPECT_EQ(Field(TEcuField::VSS), QStringLiteral("0"));
  Advance(85500, 20);  // 116.5 s: manifold pressure on its last, shorter step
  EXPECT_EQ(Field(TEcuField::IMAP), QStringLiteral("255"));
  EXPECT_FLOAT_EQ(Form.AbVSliderIMAP->Value(), 255);
  Advance(8500, 20);  // 125 s: injection at 7.5 ms, one decimal as its gauge writes it
  EXPECT_EQ(Field(TEcuField::Dv), LocalNumber("7,5"));
  EXPECT_FLOAT_EQ(Form.AbVSliderDv->Value(), 7.5f);

  // Paused: the time stands, and what the operator types stays and is what
  // the emulator reads.
  Panel->Pause();
  EXPECT_EQ(Panel->LabelState->text(), QStringLiteral("пауза, поля можно править"));
  TypeInto(Form.EditVSS, QStringLiteral("123"));
  Advance(20000, 20);
  EXPECT_EQ(Form.FieldText(TEcuField::VSS), "123");
  EXPECT_EQ(Panel->Player()->ElapsedMs(), 125000);
  EXPECT_EQ(Panel->LabelTime->text(), QStringLiteral("02:05 из 03:06"));
  // Play resumes where it stood and the scenario takes the field back.
  Panel->Play();
  EXPECT_EQ(Field(TEcuField::VSS), QStringLiteral("0"));
  Advance(41500, 20);  // 166.5 s: supply voltage at 2 V, two decimals
  EXPECT_EQ(Field(TEcuField::Ubat), LocalNumber("2,00"));
  EXPECT_FLOAT_EQ(Form.AbVSliderUbat->Value(), 2);

  // Stop leaves the last values, and nothing moves them any more.
  Panel->Stop();
  EXPECT_EQ(Panel->LabelState->text(), QStringLiteral("остановлен"));
  Advance(10000, 20);
  EXPECT_EQ(Field(TEcuField::Ubat), LocalNumber("2,00"));
  EXPECT_EQ(Panel->Player()->ElapsedMs(), 0);

  // Played again from the start to its end: the values at its end stay.
  Panel->Play();
  Advance(190000, 20);
  EXPECT_EQ(Panel->LabelState->text(), QStringLiteral("закончен"));
  EXPECT_EQ(Panel->LabelTime->text(), QStringLiteral("03:06 из 03:06"));
  EXPECT_EQ(Field(TEcuField::Ubat), LocalNumber("14,00"));
  EXPECT_TRUE(Panel->ButtonPlay->isEnabled());
  EXPECT_FALSE(Panel->ButtonPause->isEnabled());
  EXPECT_TRUE(Recorder.Reports.empty()) << Recorder.Texts().join('\n').toStdString();
}

TEST_F(ScenarioTab, PlaySelectsTheVariantAndTicksExactlyTheScenariosCodes) {
  const QString Path = File("variant.json",
                            "{\"name\": \"Вариант 2\", \"variant\": 2,\n"
                            " \"faults\": [\"0300\", \"0601\", \"0601\"],\n"
                            " \"tracks\": {\"VSS\": {\"points\": [[0, 10]]}}}\n");
  Form.CheckListBox1->item(0)->setCheckState(Qt::Checked);  // 0102, ticked by the operator
  ASSERT_TRUE(Panel->LoadFile(Path));
  // Loading changes neither.
  EXPECT_EQ(Form.ActiveVariant(), 1);
  EXPECT_TRUE(Form.FaultCodeChecked(0));

  Panel->Play();
  EXPECT_TRUE(Form.HyundayType2->Indeterminate());
  EXPECT_FALSE(Form.HyundayType1->Indeterminate());
  EXPECT_FALSE(Form.HyundayType3->Indeterminate());
  std::vector<std::string> Ticked;
  for (int I = 0; I < Form.FaultCodeCount(); ++I)
    if (Form.FaultCodeChecked(I)) Ticked.push_back(std::to_string(I) + ":" + Form.FaultCodeText(I).substr(0, 4));
  // Items 36 (0300) and the first two of the three 0601 items (67, 68).
  EXPECT_EQ(Ticked, (std::vector<std::string>{"35:0300", "66:0601", "67:0601"}));
}

TEST_F(ScenarioTab, NoRuleMeansNoFilterAtAll) {
  EXPECT_EQ(Form.Emulator.AnswerFilter(), nullptr);
  ASSERT_TRUE(Panel->LoadBuiltin(QString::fromUtf8(BuiltinSweepName)));
  Panel->Play();
  EXPECT_EQ(Form.Emulator.AnswerFilter(), nullptr);

  // A scenario with rules: the engine filters while it is loaded. Loading
  // it stopped the sweep, whose last values stay until Play.
  ASSERT_TRUE(Panel->LoadBuiltin(QString::fromUtf8(BuiltinBadLineName)));
  EXPECT_EQ(Panel->Player()->State(), TPlayState::Stopped);
  NowMs += 5000;
  Panel->Tick();
  EXPECT_EQ(Field(TEcuField::RPM), QStringLiteral("800"));
  EXPECT_EQ(Form.Emulator.AnswerFilter(), &Panel->Engine());
  EXPECT_EQ(Panel->Engine().RuleCount(), 12u);
  Panel->Tick();
  EXPECT_EQ(Panel->ListRules->count(), 12);
  EXPECT_TRUE(Panel->ListRules->item(0)->text().startsWith(QStringLiteral("сценарий: нет ответа")));

  // A rule by hand comes first and outlives the scenario's rules.
  Form.ScenarioPanel->ComboAction->setCurrentIndex(0);  // нет ответа
  ASSERT_TRUE(Panel->ApplyRule());
  ASSERT_TRUE(Panel->LoadBuiltin(QString::fromUtf8(BuiltinSweepName)));
  EXPECT_EQ(Panel->Engine().RuleCount(), 1u);
  EXPECT_EQ(Form.Emulator.AnswerFilter(), &Panel->Engine());
  Panel->Tick();
  ASSERT_EQ(Panel->ListRules->count(), 1);
  EXPECT_TRUE(Panel->ListRules->item(0)->text().startsWith(QStringLiteral("вручную: все запросы: нет ответа")));
  Panel->ButtonRemove->click();
  EXPECT_EQ(Panel->Engine().RuleCount(), 0u);
  EXPECT_EQ(Form.Emulator.AnswerFilter(), nullptr);
  EXPECT_FALSE(Panel->ButtonRemove->isEnabled());
  EXPECT_TRUE(Recorder.Reports.empty()) << Recorder.Texts().join('\n').toStdString();
}

TEST_F(ScenarioTab, HandControlsThatMakeNoRuleAreRefused) {
  const auto Select = [&](QComboBox* Combo, const char* Text) {
    Combo->setCurrentIndex(Combo->findText(QString::fromUtf8(Text)));
    ASSERT_GE(Combo->currentIndex(), 0) << Text;
  };
  Select(Panel->ComboAction, "задержка");
  EXPECT_EQ(Panel->EditParameter->text(), QStringLiteral("300"));
  EXPECT_EQ(Panel->LabelParameter->text(), QStringLiteral("мс"));
  EXPECT_FALSE(Panel->ComboCode->isEnabled());
  Panel->EditParameter->setText(QStringLiteral("0"));
  EXPECT_FALSE(Panel->ApplyRule());
  Panel->EditParameter->setText(QStringLiteral("2,5"));
  EXPECT_FALSE(Panel->ApplyRule());
  Panel->EditParameter->setText(QStringLiteral("200"));
  Panel->EditService->setText(QStringLiteral("2G"));
  EXPECT_FALSE(Panel->ApplyRule());
  ASSERT_EQ(Recorder.Reports.size(), 3u);
  EXPECT_TRUE(Recorder.Reports[0].Text.contains(QStringLiteral("задержка должна быть от 1 до 60000 мс")));
  EXPECT_TRUE(Recorder.Reports[1].Text.startsWith(QStringLiteral("Параметр \"2,5\" не принят")));
  EXPECT_TRUE(Recorder.Reports[2].Text.startsWith(QStringLiteral("Сервис \"2G\" не принят")));
  EXPECT_EQ(Panel->Engine().RuleCount(), 0u);
  EXPECT_EQ(Form.Emulator.AnswerFilter(), nullptr);

  // The parameter follows the action: none for a wrong checksum, the time
  // of the real answer only for code 78.
  Select(Panel->ComboAction, "неверная контрольная сумма");
  EXPECT_FALSE(Panel->EditParameter->isEnabled());
  Select(Panel->ComboAction, "отрицательный ответ");
  EXPECT_TRUE(Panel->ComboCode->isEnabled());
  Select(Panel->ComboCode, "22");
  EXPECT_FALSE(Panel->EditParameter->isEnabled());
  Select(Panel->ComboCode, "78");
  EXPECT_TRUE(Panel->EditParameter->isEnabled());
  EXPECT_EQ(Panel->EditParameter->text(), QStringLiteral("1000"));
  Select(Panel->ComboAction, "задержка");
  Select(Panel->ComboAction, "молчание");
  EXPECT_EQ(Panel->EditParameter->text(), QStringLiteral("3000"));
}

TEST_F(ScenarioTab, FuelConstantsInTheLocalesNotationAndBadOnesRefused) {
  // Before any answer: no distance, so no consumption.
  EXPECT_EQ(Panel->LabelDistance->text(), LocalNumber("0,000"));
  EXPECT_EQ(Panel->LabelConsumption->text(), QStringLiteral("—"));
  EXPECT_EQ(Panel->LabelTripTime->text(), QStringLiteral("0:00:00"));

  Panel->EditFlow->setText(LocalNumber("187,5"));
  Panel->EditCylinders->setText(QStringLiteral("6"));
  ASSERT_TRUE(Panel->ApplyFuelConstants());
  TFuelConstants C = Panel->TripFeed().Model().FuelConstants();
  EXPECT_EQ(C.Method, TFuelConstants::TMethod::InjectorFlow);
  EXPECT_DOUBLE_EQ(C.InjectorFlowCcMin, 187.5);
  EXPECT_EQ(C.Cylinders, 6);

  const std::pair<QLineEdit*, const char*> Bad[] = {
      {Panel->EditFlow, "abc"}, {Panel->EditFlow, "-5"}, {Panel->EditCylinders, "0"}, {Panel->EditCylinders, "4,5"}};
  for (const auto& [Edit, Text] : Bad) {
    const QString Before = Edit->text();
    Edit->setText(QString::fromUtf8(Text));
    EXPECT_FALSE(Panel->ApplyFuelConstants()) << Text;
    Edit->setText(Before);
  }
  ASSERT_EQ(Recorder.Reports.size(), 4u);
  EXPECT_TRUE(Recorder.Reports[0].Text.startsWith(QStringLiteral("Производительность форсунки \"abc\" не принята")));
  EXPECT_TRUE(Recorder.Reports[0].Text.contains(LocalNumber("например 187,5")));
  EXPECT_TRUE(Recorder.Reports[2].Text.startsWith(QStringLiteral("Число цилиндров \"0\" не принято")));
  C = Panel->TripFeed().Model().FuelConstants();
  EXPECT_DOUBLE_EQ(C.InjectorFlowCcMin, 187.5);
  EXPECT_EQ(C.Cylinders, 6);

  // One factor instead, taken with Enter in its field.
  Panel->RadioFactor->setChecked(true);
  Panel->EditFactor->setText(LocalNumber("0,0005"));
  Panel->EditFactor->setFocus();
  emit Panel->EditFactor->returnPressed();
  C = Panel->TripFeed().Model().FuelConstants();
  EXPECT_EQ(C.Method, TFuelConstants::TMethod::Factor);
  EXPECT_DOUBLE_EQ(C.FactorK, 0.0005);
  EXPECT_EQ(Recorder.Reports.size(), 4u);
}

// The whole program on a pseudo-terminal, the rule applied with the tab's
// controls, the answers read from the line.
class ScenarioTabOnTheLine : public testing::Test {
protected:
  void SetUp() override {
    App = StartTesterOn(Line);
    Form = &App->Form1();
    ASSERT_TRUE(Form->VaComm1.Active()) << Recorder.Texts().join('\n').toStdString();
    Panel = Form->ScenarioPanel;
    ASSERT_EQ(Line.Exchange("81 11 F1 81", 7), "83 F1 11 C1 6B 8F 40");
  }
  void TearDown() override { EXPECT_EQ(Recorder.Texts(), QStringList()); }

  void Apply(const char* Action, const QString& Parameter, const QString& Code, const QString& Service) {
    Panel->ComboAction->setCurrentIndex(Panel->ComboAction->findText(QString::fromUtf8(Action)));
    if (!Code.isEmpty()) Panel->ComboCode->setCurrentIndex(Panel->ComboCode->findText(Code));
    if (!Parameter.isEmpty()) Panel->EditParameter->setText(Parameter);
    Panel->EditService->setText(Service);
    Panel->ButtonApply->click();
  }

  TPtyTripComputer Line;
  TReportRecorder Recorder;
  std::unique_ptr<TTesterApplication> App;
  TForm1* Form = nullptr;
  TScenarioPanel* Panel = nullptr;
};

TEST_F(ScenarioTabOnTheLine, ARuleByHandChangesTheAnswerBytesUntilItIsRemoved) {
  const std::string Normal = Line.Exchange("82 11 F1 21 06", 18);
  ASSERT_EQ(Normal.substr(0, 14), "8E F1 11 61 06");
  EXPECT_EQ(Form->Emulator.AnswerFilter(), nullptr);

  // A refusal of live data: 7F 21 22 from the unit; other services as usual.
  Apply("отрицательный ответ", QString(), QStringLiteral("22"), QStringLiteral("21"));
  EXPECT_EQ(Form->Emulator.AnswerFilter(), &Panel->Engine());
  EXPECT_EQ(Line.Exchange("82 11 F1 21 06", 7), "83 F1 11 7F 21 22 47");
  EXPECT_EQ(Line.Exchange("81 11 F1 3E", 5), "81 F1 11 7E 01");
  EXPECT_EQ(Line.Exchange("82 11 F1 21 06", 7), "83 F1 11 7F 21 22 47");
  Panel->Tick();
  ASSERT_EQ(Panel->ListRules->count(), 1);
  EXPECT_EQ(Panel->ListRules->item(0)->text(), QStringLiteral("вручную: 21: отрицательный ответ 22 — срабатываний: 2"));
  Panel->ButtonRemove->click();
  EXPECT_EQ(Form->Emulator.AnswerFilter(), nullptr);
  EXPECT_EQ(Line.Exchange("82 11 F1 21 06", 18), Normal);

  // A wrong checksum: the same bytes, the last one inverted.
  Apply("неверная контрольная сумма", QString(), QString(), QString());
  std::string Inverted = Normal;
  const int Last = std::stoi(Normal.substr(Normal.size() - 2), nullptr, 16) ^ 0xFF;
  char Hex2[3];
  std::snprintf(Hex2, sizeof Hex2, "%02X", Last);
  Inverted.replace(Inverted.size() - 2, 2, Hex2);
  EXPECT_EQ(Line.Exchange("82 11 F1 21 06", 18), Inverted);
  Panel->ButtonRemove->click();

  // Late by 200 ms: the same answer, written by the poll timer no sooner,
  // and in the session record the rule's hit and then the answer.
  Form->ButtonRecord->click();
  ASSERT_TRUE(Form->Record.Recording());
  Apply("задержка", QStringLiteral("200"), QString(), QString());
  QElapsedTimer Clock;
  Clock.start();
  Line.Send(Request("82 11 F1 21 06"));
  EXPECT_EQ(Hex(Line.Receive(18)), Normal);
  EXPECT_GE(Clock.elapsed(), 200);
  std::vector<std::string> Entries;
  for (size_t I = 0; I < Form->Record.Count(); ++I) {
    const TRecordEntry E = Form->Record.Entry(I);
    if (E.Kind == TRecordKind::FaultHit) Entries.push_back(std::string("hit ") + FaultActionName(E.Action));
    if (E.Kind == TRecordKind::Sent) Entries.push_back("sent " + Hex({E.Bytes.begin(), E.Bytes.end()}));
  }
  EXPECT_EQ(Entries, (std::vector<std::string>{"hit late", "sent " + Normal}));
  Panel->ButtonRemove->click();
  EXPECT_EQ(Panel->Engine().RuleCount(), 0u);
  EXPECT_EQ(Form->Emulator.AnswerFilter(), nullptr);
  EXPECT_EQ(Line.Exchange("82 11 F1 21 06", 18), Normal);
}

TEST(ScenarioTabPortLost, TheScenarioPlaysOnAndTheLineIsAnsweredOnceThePortIsBack) {
  // The adapter's device is a link, as /dev/serial/by-id/ names are: the
  // pseudo-terminal behind it goes away while a scenario plays and an answer
  // is held back by a rule, and a new one appears at the path.
  TReportRecorder Recorder;
  TLinkedTripComputer Line("tester-scenario");
  const std::string& Link = Line.Path();
  auto App = StartTesterOn(Link);
  TForm1& Form = App->Form1();
  ASSERT_TRUE(Form.VaComm1.Active()) << Recorder.Texts().join('\n').toStdString();
  TScenarioPanel& Panel = *Form.ScenarioPanel;
  ASSERT_EQ(Line->Exchange("81 11 F1 81", 7), "83 F1 11 C1 6B 8F 40");
  ASSERT_TRUE(Panel.LoadBuiltin(QString::fromUtf8(BuiltinSweepName)));
  Panel.ButtonPlay->click();
  Panel.ComboAction->setCurrentIndex(Panel.ComboAction->findText(QStringLiteral("задержка")));
  Panel.EditParameter->setText(QStringLiteral("300"));
  Panel.ButtonApply->click();
  Line->Send(Request("82 11 F1 21 06"));
  ASSERT_TRUE(PumpUntil([&] { return Panel.Engine().PendingCount() == 1; }));

  Line.Unplug();
  ASSERT_TRUE(PumpUntil([&] { return !Recorder.Reports.empty(); }));
  EXPECT_FALSE(Form.VaComm1.Active());
  // The held answer falls due with no port to take it: it is dropped
  // without a word, and the scenario plays on.
  ASSERT_TRUE(PumpUntil([&] { return Panel.Engine().PendingCount() == 0; }));
  const int64_t Elapsed = Panel.Player()->ElapsedMs();
  ASSERT_TRUE(PumpUntil([&] { return Panel.Player()->ElapsedMs() > Elapsed + 200; }));
  EXPECT_EQ(Panel.Player()->State(), TPlayState::Playing);

  Line.PlugIn();
  ASSERT_TRUE(PumpUntil([&] { return Form.VaComm1.Active(); }, 20000));
  Panel.ButtonRemove->click();
  EXPECT_EQ(Line->Exchange("82 11 F1 21 06", 18).substr(0, 14), "8E F1 11 61 06");
  EXPECT_EQ(Panel.Player()->State(), TPlayState::Playing);
  ASSERT_EQ(Recorder.Reports.size(), 1u) << Recorder.Texts().join('\n').toStdString();
  EXPECT_TRUE(Recorder.Reports[0].Text.startsWith(QString::fromStdString("Порт " + Link + " потерян: ")));
}

}  // namespace
