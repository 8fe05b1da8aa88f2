#include "scenario_panel.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <utility>

#include "builtin_scenarios.h"
#include "exception_report.h"
#include "fault_codes.h"
#include "line_report.h"
#include "monitor_view.h"
#include "numtext.h"
#include "tester_window.h"
#include "vacomm.h"

namespace {

// Minutes and seconds of a number of milliseconds: "03:06", "125:00".
QString MinutesText(int64_t Ms) {
  const int64_t S = std::max<int64_t>(Ms, 0) / 1000;
  return QStringLiteral("%1:%2").arg(S / 60, 2, 10, QLatin1Char('0')).arg(S % 60, 2, 10, QLatin1Char('0'));
}

// Hours, minutes and seconds: "0:03:06".
QString HoursText(double Seconds) {
  const int64_t S = Seconds > 0 ? static_cast<int64_t>(std::floor(Seconds)) : 0;
  return QStringLiteral("%1:%2:%3")
      .arg(S / 3600)
      .arg(S / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(S % 60, 2, 10, QLatin1Char('0'));
}

// A reading with a fixed number of decimals and the locale's separator.
QString Decimals(double Value, int Digits) { return QString::fromStdString(FormatNumber(Value, 15, Digits)); }

const QString Dash = QStringLiteral("—");

bool SameCode(const std::string& Text, size_t At, const std::string& Code) {
  if (At + Code.size() > Text.size()) return false;
  for (size_t I = 0; I < Code.size(); ++I)
    if (std::toupper(static_cast<unsigned char>(Text[At + I])) != Code[I]) return false;
  return true;
}

// The line of the Occurrence-th (1, 2, ...) string Code in the "faults"
// array of a scenario text that has been read without error; 0 when it
// cannot be found. The reader keeps no lines for codes that are well
// formed, so the text is looked through here: in a valid file the array
// holds only the code strings.
int FaultCodeLine(const std::string& Text, const std::string& Code, int Occurrence) {
  size_t At = 0;
  for (;;) {
    At = Text.find("\"faults\"", At);
    if (At == std::string::npos) return 0;
    At += 8;
    size_t Next = Text.find_first_not_of(" \t\r\n", At);
    if (Next != std::string::npos && Text[Next] == ':') {
      Next = Text.find_first_not_of(" \t\r\n", Next + 1);
      if (Next != std::string::npos && Text[Next] == '[') {
        At = Next + 1;
        break;
      }
    }
  }
  int Seen = 0;
  while (At < Text.size() && Text[At] != ']') {
    if (Text[At] == '"') {
      if (SameCode(Text, At + 1, Code) && At + 1 + Code.size() < Text.size() && Text[At + 1 + Code.size()] == '"' &&
          ++Seen == Occurrence)
        return 1 + static_cast<int>(std::count(Text.begin(), Text.begin() + static_cast<std::ptrdiff_t>(At), '\n'));
      At = Text.find('"', At + 1);
      if (At == std::string::npos) return 0;
    }
    ++At;
  }
  return 0;
}

std::string LinePrefix(int Line) { return Line > 0 ? "строка " + std::to_string(Line) + ": " : std::string(); }

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream File(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

struct TActionItem {
  const char* Caption;
  TFaultAction Action;
};
const TActionItem ActionItems[] = {
    {"нет ответа", TFaultAction::NoAnswer},
    {"задержка", TFaultAction::Late},
    {"неверная контрольная сумма", TFaultAction::BadChecksum},
    {"обрезать ответ", TFaultAction::Cut},
    {"отрицательный ответ", TFaultAction::Negative},
    {"молчание", TFaultAction::Silent},
};
const char* const NegativeCodes[] = {"10", "11", "12", "21", "22", "31", "78"};
const double Speeds[] = {1, 2, 5, 10, 20, 50, 100};

QLabel* Caption(const char* Text, QWidget* Parent) { return new QLabel(QString::fromUtf8(Text), Parent); }

}  // namespace

TScenarioPanel::TScenarioPanel(TForm1& Form, QWidget* Page)
    : QWidget(Page),
      FForm(Form),
      FPort(Form.VaComm1),
      FEngine(FPort),
      FTripFeed([] { return VaMonotonicMicros(); }, [this] { return FForm.ActiveVariant(); }),
      FClockMs(SteadyClockMs) {
  auto* PageLayout = new QVBoxLayout(Page);
  PageLayout->setContentsMargins(0, 0, 0, 0);
  PageLayout->addWidget(this);

  auto* Layout = new QGridLayout(this);
  Layout->setContentsMargins(8, 6, 8, 8);
  Layout->setSpacing(6);
  Layout->addWidget(CreateScenarioGroup(), 0, 0);
  Layout->addWidget(CreateReadingsGroup(), 0, 1);
  Layout->addWidget(CreateRuleGroup(), 1, 0, 1, 2);
  Layout->setColumnStretch(0, 1);
  Layout->setColumnStretch(1, 1);
  Layout->setRowStretch(1, 1);

  FEngine.SetListener(this);
  FEngine.SetScenarioClock(
      [this]() -> std::optional<int64_t> { return FPlayer ? FPlayer->ScenarioTimeMs() : std::nullopt; });
  FTripFeed.Model().SetFuelConstants(TFuelConstants::BenchDefault());

  FTimer = new QTimer(this);
  FTimer->setInterval(IdleIntervalMs);
  connect(FTimer, &QTimer::timeout, this, [this] { RunReported([this] { Tick(); }); });
  FTimer->start();
  FPollTimer = new QTimer(this);
  FPollTimer->setSingleShot(true);
  FPollTimer->setTimerType(Qt::PreciseTimer);
  connect(FPollTimer, &QTimer::timeout, this, [this] { RunReported([this] { PollEngine(); }); });

  ActionChanged();
  Tick();
}

// The engine and its timers go with the panel; the window's emulator and
// port may already be gone then, so nothing of the window is touched here.
TScenarioPanel::~TScenarioPanel() = default;

QWidget* TScenarioPanel::CreateScenarioGroup() {
  auto* Group = new QGroupBox(QStringLiteral("Сценарий"), this);
  auto* Grid = new QGridLayout(Group);
  Grid->setSpacing(4);

  ComboBuiltin = new QComboBox(Group);
  for (const std::string& Name : BuiltinScenarioNames()) ComboBuiltin->addItem(QString::fromStdString(Name));
  ButtonBuiltin = new QPushButton(QStringLiteral("Загрузить"), Group);
  ButtonOpen = new QPushButton(QStringLiteral("Открыть файл..."), Group);
  Grid->addWidget(Caption("Встроенный:", Group), 0, 0);
  auto* BuiltinRow = new QHBoxLayout;
  BuiltinRow->addWidget(ComboBuiltin, 1);
  BuiltinRow->addWidget(ButtonBuiltin);
  Grid->addLayout(BuiltinRow, 0, 1);
  Grid->addWidget(Caption("Файл:", Group), 1, 0);
  auto* FileRow = new QHBoxLayout;
  FileRow->addWidget(ButtonOpen);
  FileRow->addStretch();
  Grid->addLayout(FileRow, 1, 1);

  LabelName = new QLabel(Dash, Group);
  LabelName->setTextFormat(Qt::PlainText);
  // Only the weight is set: family and size stay those of the form.
  QFont Bold;
  Bold.setBold(true);
  LabelName->setFont(Bold);
  Grid->addWidget(Caption("Название:", Group), 2, 0);
  Grid->addWidget(LabelName, 2, 1);

  ButtonPlay = new QPushButton(QStringLiteral("Пуск"), Group);
  ButtonPause = new QPushButton(QStringLiteral("Пауза"), Group);
  ButtonStop = new QPushButton(QStringLiteral("Стоп"), Group);
  ComboSpeed = new QComboBox(Group);
  for (double Factor : Speeds) ComboSpeed->addItem(QStringLiteral("%1x").arg(Factor), Factor);
  auto* PlayRow = new QHBoxLayout;
  PlayRow->addWidget(ButtonPlay);
  PlayRow->addWidget(ButtonPause);
  PlayRow->addWidget(ButtonStop);
  PlayRow->addSpacing(8);
  PlayRow->addWidget(Caption("Скорость:", Group));
  PlayRow->addWidget(ComboSpeed);
  PlayRow->addStretch();
  Grid->addLayout(PlayRow, 3, 0, 1, 2);

  LabelTime = new QLabel(Group);
  LabelPass = new QLabel(Group);
  LabelState = new QLabel(Group);
  Grid->addWidget(Caption("Время:", Group), 4, 0);
  Grid->addWidget(LabelTime, 4, 1);
  Grid->addWidget(Caption("Проход:", Group), 5, 0);
  Grid->addWidget(LabelPass, 5, 1);
  Grid->addWidget(Caption("Состояние:", Group), 6, 0);
  Grid->addWidget(LabelState, 6, 1);

  ListWarnings = new QListWidget(Group);
  ListWarnings->setToolTip(QStringLiteral("Значения вне шкал, заменённые границей шкалы"));
  ListWarnings->setWordWrap(true);
  ListWarnings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // A few lines; the room below goes to the list of rules.
  ListWarnings->setMaximumHeight(4 * fontMetrics().lineSpacing() + 2 * ListWarnings->frameWidth() + 8);
  Grid->addWidget(Caption("Предупреждения при загрузке:", Group), 7, 0, 1, 2);
  Grid->addWidget(ListWarnings, 8, 0, 1, 2);
  Grid->setRowStretch(8, 1);
  Grid->setColumnStretch(1, 1);

  connect(ButtonBuiltin, &QPushButton::clicked, this,
          [this] { RunReported([this] { LoadBuiltin(ComboBuiltin->currentText()); }); });
  connect(ButtonOpen, &QPushButton::clicked, this, [this] {
    RunReported([this] {
      const QString Path = QFileDialog::getOpenFileName(this, QStringLiteral("Открыть сценарий"), QString(),
                                                        QStringLiteral("Сценарии (*.json);;Все файлы (*)"));
      if (!Path.isEmpty()) LoadFile(Path);
    });
  });
  connect(ButtonPlay, &QPushButton::clicked, this, [this] { RunReported([this] { Play(); }); });
  connect(ButtonPause, &QPushButton::clicked, this, [this] { RunReported([this] { Pause(); }); });
  connect(ButtonStop, &QPushButton::clicked, this, [this] { RunReported([this] { Stop(); }); });
  connect(ComboSpeed, &QComboBox::currentIndexChanged, this,
          [this](int Index) { RunReported([this, Index] { SetSpeed(ComboSpeed->itemData(Index).toDouble()); }); });
  return Group;
}

QWidget* TScenarioPanel::CreateRuleGroup() {
  auto* Group = new QGroupBox(QStringLiteral("Неисправность линии вручную"), this);
  auto* Column = new QVBoxLayout(Group);
  Column->setSpacing(4);

  ComboAction = new QComboBox(Group);
  for (const TActionItem& Item : ActionItems)
    ComboAction->addItem(QString::fromUtf8(Item.Caption), static_cast<int>(Item.Action));
  EditParameter = new QLineEdit(Group);
  EditParameter->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("600000")) + 12);
  LabelParameter = new QLabel(Group);
  LabelParameter->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("байт")) + 4);
  ComboCode = new QComboBox(Group);
  for (const char* Code : NegativeCodes) ComboCode->addItem(QString::fromLatin1(Code));
  EditService = new QLineEdit(Group);
  EditService->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("FFF")) + 12);
  EditService->setMaxLength(2);
  EditService->setToolTip(
      QStringLiteral("Байт сервиса запроса, две шестнадцатеричные цифры (21 — данные, "
                     "18 — ошибки); пусто — любой запрос"));
  ButtonApply = new QPushButton(QStringLiteral("Применить"), Group);
  ButtonRemove = new QPushButton(QStringLiteral("Снять"), Group);

  auto* Row = new QHBoxLayout;
  Row->addWidget(Caption("Действие:", Group));
  Row->addWidget(ComboAction);
  Row->addSpacing(6);
  Row->addWidget(Caption("Параметр:", Group));
  Row->addWidget(EditParameter);
  Row->addWidget(LabelParameter);
  Row->addSpacing(6);
  Row->addWidget(Caption("Код:", Group));
  Row->addWidget(ComboCode);
  Row->addSpacing(6);
  Row->addWidget(Caption("Сервис:", Group));
  Row->addWidget(EditService);
  Row->addStretch();
  Column->addLayout(Row);

  ListRules = new QListWidget(Group);
  ListRules->setToolTip(QStringLiteral("Правило, взявшее запрос, и сколько раз оно сработало"));
  auto* ListRow = new QHBoxLayout;
  ListRow->addWidget(Caption("Действующие правила (первое подходящее берёт запрос):", Group));
  ListRow->addStretch();
  ListRow->addWidget(ButtonApply);
  ListRow->addWidget(ButtonRemove);
  Column->addLayout(ListRow);
  Column->addWidget(ListRules, 1);

  connect(ComboAction, &QComboBox::currentIndexChanged, this, [this] { ActionChanged(); });
  connect(ComboCode, &QComboBox::currentIndexChanged, this, [this] { ActionChanged(); });
  connect(ButtonApply, &QPushButton::clicked, this, [this] { RunReported([this] { ApplyRule(); }); });
  connect(ButtonRemove, &QPushButton::clicked, this, [this] { RunReported([this] { RemoveRule(); }); });
  return Group;
}

QWidget* TScenarioPanel::CreateReadingsGroup() {
  auto* Group = new QGroupBox(QStringLiteral("Что должен показать маршрутный компьютер"), this);
  auto* Grid = new QGridLayout(Group);
  Grid->setSpacing(4);

  const QString Number = QString(QLatin1Char(DecimalSeparator()));
  RadioInjector = new QRadioButton(QStringLiteral("Форсунка:"), Group);
  RadioFactor = new QRadioButton(QStringLiteral("Коэффициент K:"), Group);
  auto* Methods = new QButtonGroup(Group);
  Methods->addButton(RadioInjector);
  Methods->addButton(RadioFactor);
  RadioInjector->setChecked(true);
  EditFlow = new QLineEdit(QStringLiteral("200"), Group);
  EditCylinders = new QLineEdit(QStringLiteral("4"), Group);
  EditFactor = new QLineEdit(QStringLiteral("0") + Number + QStringLiteral("0004"), Group);
  const int Narrow = fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12;
  EditFlow->setFixedWidth(Narrow);
  EditCylinders->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
  EditFactor->setFixedWidth(Narrow + 16);
  EditFlow->setToolTip(QStringLiteral("Производительность одной форсунки, см³/мин"));
  EditCylinders->setToolTip(QStringLiteral("Число цилиндров, 1..64"));
  EditFactor->setToolTip(QStringLiteral("Расход, л/ч, на 1 об/мин и 1 мс впрыска"));
  ButtonConstants = new QPushButton(QStringLiteral("Принять"), Group);

  auto* InjectorRow = new QHBoxLayout;
  InjectorRow->addWidget(RadioInjector);
  InjectorRow->addWidget(EditFlow);
  InjectorRow->addWidget(Caption("см³/мин,", Group));
  InjectorRow->addWidget(EditCylinders);
  InjectorRow->addWidget(Caption("цил.", Group));
  InjectorRow->addStretch();
  Grid->addLayout(InjectorRow, 0, 0, 1, 2);
  auto* FactorRow = new QHBoxLayout;
  FactorRow->addWidget(RadioFactor);
  FactorRow->addWidget(EditFactor);
  FactorRow->addWidget(Caption("л/(ч·об/мин·мс)", Group));
  FactorRow->addStretch();
  Grid->addLayout(FactorRow, 1, 0, 1, 2);
  auto* ApplyRow = new QHBoxLayout;
  ApplyRow->addStretch();
  ApplyRow->addWidget(ButtonConstants);
  Grid->addLayout(ApplyRow, 2, 0, 1, 2);

  const std::pair<QLabel**, const char*> Readings[] = {
      {&LabelDistance, "Пробег, км:"},
      {&LabelTripTime, "Время в пути:"},
      {&LabelAverageSpeed, "Средняя скорость, км/ч:"},
      {&LabelMaxSpeed, "Максимальная скорость, км/ч:"},
      {&LabelFuel, "Израсходовано топлива, л:"},
      {&LabelConsumption, "Средний расход, л/100 км:"},
  };
  int Row = 3;
  for (const auto& [Label, Text] : Readings) {
    *Label = new QLabel(Dash, Group);
    (*Label)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    (*Label)->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Grid->addWidget(Caption(Text, Group), Row, 0);
    Grid->addWidget(*Label, Row, 1);
    ++Row;
  }
  LabelSamples = new QLabel(Group);
  LabelSamples->setWordWrap(true);
  LabelSamples->setEnabled(false);  // drawn greyed: a note, not a reading
  Grid->addWidget(LabelSamples, Row++, 0, 1, 2);
  Grid->setRowStretch(Row, 1);
  Grid->setColumnStretch(0, 1);

  connect(ButtonConstants, &QPushButton::clicked, this, [this] { RunReported([this] { ApplyFuelConstants(); }); });
  for (QLineEdit* Edit : {EditFlow, EditCylinders, EditFactor})
    connect(Edit, &QLineEdit::returnPressed, this, [this] { RunReported([this] { ApplyFuelConstants(); }); });
  return Group;
}

// ---------------------------------------------------------------------------
// Loading

bool TScenarioPanel::LoadFile(const QString& Path) {
  const std::string File = Path.toStdString();
  TScenarioLoad Load = LoadScenarioFile(File);
  // The text is wanted only to find the line of a fault code that is not in
  // the list; a file that loaded is within the size limit.
  std::string Text;
  if (Load.Scenario && !Load.Scenario->FaultCodes.empty()) Text = ReadWholeFile(File);
  return Accept(std::move(Load), QFileInfo(Path).fileName(), Text);
}

bool TScenarioPanel::LoadBuiltin(const QString& Name) {
  const std::string Key = Name.toStdString();
  return Accept(LoadBuiltinScenario(Key), Name, BuiltinScenarioText(Key).value_or(std::string()));
}

bool TScenarioPanel::Accept(TScenarioLoad Load, const QString& Source, const std::string& Text) {
  if (Load.Scenario) {
    // Each code ticks an item of the fault list with that code: the second
    // "0601" the second such item, and so on.
    std::map<std::string, int> Available, Used;
    for (int I = 0; I < FForm.FaultCodeCount(); ++I) ++Available[FaultItemCode(FForm.FaultCodeText(I))];
    for (const std::string& Code : Load.Scenario->FaultCodes) {
      const int N = ++Used[Code];
      const int Have = Available[Code];
      if (N <= Have) continue;
      const int Line = FaultCodeLine(Text, Code, N);
      Load.Errors.push_back({Line, LinePrefix(Line) + "\"faults\": " +
                                       (Have == 0 ? "кода " + Code + " нет в списке \"Ошибки ЭСУД\""
                                                  : "код " + Code + " указан в " + std::to_string(N) +
                                                        "-й раз, а в списке \"Ошибки ЭСУД\" таких пунктов только " +
                                                        std::to_string(Have))});
    }
    for (const TFaultRule& Rule : Load.Scenario->Rules) {
      const std::string Problem = CheckFaultRule(Rule);
      if (!Problem.empty()) Load.Errors.push_back({0, Problem});
    }
    std::stable_sort(Load.Errors.begin(), Load.Errors.end(),
                     [](const TScenarioMessage& A, const TScenarioMessage& B) { return A.Line < B.Line; });
  }
  if (!Load.Errors.empty() || !Load.Scenario) {
    ShowLoadErrors(Source, Load.Errors);
    return false;
  }

  // The scenario playing before ends here; its last values stay in the fields.
  if (FPlayer) FPlayer->Stop();
  FPlayer = std::make_unique<TScenarioPlayer>(std::move(*Load.Scenario), FClockMs);
  FPlayer->SetSpeed(FSpeed);
  FFinalWritten = false;
  FTimer->setInterval(IdleIntervalMs);
  SetScenarioRules();
  UpdateFilter();

  LabelName->setText(QString::fromStdString(FPlayer->Scenario().Name));
  LabelName->setToolTip(Source);
  ListWarnings->clear();
  for (const TScenarioMessage& Warning : Load.Warnings) {
    auto* Item = new QListWidgetItem(QString::fromStdString(Warning.Text), ListWarnings);
    Item->setToolTip(Item->text());
  }
  Tick();
  return true;
}

void TScenarioPanel::ShowLoadErrors(const QString& Source, const std::vector<TScenarioMessage>& Errors) {
  QString Text = QStringLiteral("Сценарий \"%1\" не загружен").arg(Source);
  if (Errors.empty()) {
    Text += QStringLiteral(": файл не прочитан");
  } else {
    Text += QStringLiteral(", ошибок: %1").arg(Errors.size());
    for (const TScenarioMessage& Error : Errors) Text += QLatin1Char('\n') + QString::fromStdString(Error.Text);
  }
  ReportExceptionMessage(Text);
}

void TScenarioPanel::SetScenarioRules() {
  for (uint64_t Id : FScenarioRuleIds) FEngine.RemoveRule(Id);
  FScenarioRuleIds.clear();
  if (!FPlayer) return;
  // Checked at loading; after the rules applied by hand, which come first.
  for (const TFaultRule& Rule : FPlayer->Scenario().Rules) FScenarioRuleIds.push_back(FEngine.AddRule(Rule, false));
}

void TScenarioPanel::UpdateFilter() {
  if (FEngine.RuleCount() > 0) {
    FForm.Emulator.SetAnswerFilter(&FEngine);
    return;
  }
  // No rule: the emulator answers as it does without this tab, and nothing
  // held back or a silence outlives the last rule.
  FForm.Emulator.SetAnswerFilter(nullptr);
  FEngine.Reset();
  FPollTimer->stop();
}

// ---------------------------------------------------------------------------
// Playing

void TScenarioPanel::SelectVariantAndFaults(const TScenario& Scenario) {
  if (Scenario.Variant) {
    switch (*Scenario.Variant) {
      case 1: FForm.HyundayType1Click(); break;
      case 2: FForm.HyundayType2Click(); break;
      case 3: FForm.HyundayType3Click(); break;
      default: break;
    }
  }
  // A scenario that names fault codes ticks exactly those items.
  if (Scenario.FaultCodes.empty()) return;
  std::vector<std::string> ItemCodes;
  for (int I = 0; I < FForm.CheckListBox1->count(); ++I)
    ItemCodes.push_back(FaultItemCode(FForm.CheckListBox1->item(I)->text().toStdString()));
  const std::vector<bool> Ticks = TicksForCodes(ItemCodes, Scenario.FaultCodes);
  for (int I = 0; I < FForm.CheckListBox1->count(); ++I) {
    QListWidgetItem* Item = FForm.CheckListBox1->item(I);
    const Qt::CheckState State = Ticks[static_cast<size_t>(I)] ? Qt::Checked : Qt::Unchecked;
    if (Item->checkState() != State) Item->setCheckState(State);
  }
}

void TScenarioPanel::Play() {
  if (!FPlayer) return;
  switch (FPlayer->State()) {
    case TPlayState::Playing: return;
    case TPlayState::Paused: FPlayer->Resume(); break;
    case TPlayState::Stopped:
    case TPlayState::Finished:
      SelectVariantAndFaults(FPlayer->Scenario());
      SetScenarioRules();
      UpdateFilter();
      FTripFeed.Model().Reset();
      FSamplesAtStart = FTripFeed.Samples();
      FFinalWritten = false;
      FPlayer->Play();
      break;
  }
  FTimer->start(PlayIntervalMs);
  Tick();
}

void TScenarioPanel::Pause() {
  if (!FPlayer || FPlayer->State() != TPlayState::Playing) return;
  FPlayer->Pause();
  FTimer->start(IdleIntervalMs);
  Tick();
}

void TScenarioPanel::Stop() {
  if (!FPlayer) return;
  FPlayer->Stop();
  FTimer->start(IdleIntervalMs);
  Tick();
}

bool TScenarioPanel::SetSpeed(double Factor) {
  if (!(Factor >= TScenarioPlayer::MinSpeed && Factor <= TScenarioPlayer::MaxSpeed)) return false;
  FSpeed = Factor;
  if (FPlayer) FPlayer->SetSpeed(Factor);
  int Index = ComboSpeed->findData(Factor);
  if (Index < 0) {
    ComboSpeed->addItem(QStringLiteral("%1x").arg(Factor), Factor);
    Index = ComboSpeed->count() - 1;
  }
  if (ComboSpeed->currentIndex() != Index) ComboSpeed->setCurrentIndex(Index);
  return true;
}

void TScenarioPanel::Tick() {
  if (FPlayer) {
    const TPlayState State = FPlayer->State();
    if (State == TPlayState::Playing || (State == TPlayState::Finished && !FFinalWritten)) {
      WriteFields(FPlayer->Values());
      if (State == TPlayState::Finished) {
        FFinalWritten = true;
        FTimer->setInterval(IdleIntervalMs);
      }
    }
  }
  ShowPosition();
  ShowReadings();
  ShowRules();
  UpdateButtons();
}

void TScenarioPanel::WriteFields(const TFieldValues& Values) {
  for (int I = 0; I < EcuFieldCount; ++I) {
    if (!Values[I]) continue;
    const auto Field = static_cast<TEcuField>(I);
    QLineEdit* Edit = FForm.ParameterEdit(Field);
    const QString Text = QString::fromStdString(GaugeFieldText(Field, *Values[I]));
    if (Edit->text() != Text) Edit->setText(Text);
    ApplyToGauge(Field);
  }
}

void TScenarioPanel::ApplyToGauge(TEcuField Field) {
  // What the operator's Enter (or entering the field) does with the text.
  QLineEdit* Edit = FForm.ParameterEdit(Field);
  QChar Enter(TForm1::kEnter);
  switch (Field) {
    case TEcuField::VSS: FForm.EditVSSKeyPress(Edit, Enter); break;
    case TEcuField::TOG: FForm.Edit10Change(Edit); break;
    case TEcuField::RPM: FForm.Edit11Change(Edit); break;
    case TEcuField::ATP: FForm.EditATPKeyPress(Edit, Enter); break;
    case TEcuField::IMAP: FForm.EditIMAPKeyPress(Edit, Enter); break;
    case TEcuField::Dv: FForm.EditDvKeyPress(Edit, Enter); break;
    case TEcuField::IAT: FForm.EditIATEnter(Edit); break;
    case TEcuField::Ubat: FForm.EditUbatKeyPress(Edit, Enter); break;
  }
}

void TScenarioPanel::ShowPosition() {
  QString Time = Dash, Pass = Dash, State = QStringLiteral("не загружен");
  if (FPlayer) {
    Time = MinutesText(FPlayer->ElapsedMs()) + QStringLiteral(" из ") + MinutesText(FPlayer->TotalMs());
    Pass = QStringLiteral("%1 из %2").arg(FPlayer->Pass()).arg(FPlayer->Scenario().Repeat);
    switch (FPlayer->State()) {
      case TPlayState::Stopped: State = QStringLiteral("остановлен"); break;
      case TPlayState::Playing: State = QStringLiteral("идёт"); break;
      case TPlayState::Paused: State = QStringLiteral("пауза, поля можно править"); break;
      case TPlayState::Finished: State = QStringLiteral("закончен"); break;
    }
  }
  if (LabelTime->text() != Time) LabelTime->setText(Time);
  if (LabelPass->text() != Pass) LabelPass->setText(Pass);
  if (LabelState->text() != State) LabelState->setText(State);
}

void TScenarioPanel::ShowReadings() {
  const TTripReadings R = FTripFeed.Readings();
  const std::pair<QLabel*, QString> Texts[] = {
      {LabelDistance, Decimals(R.DistanceKm, 3)},
      {LabelTripTime, HoursText(R.TripTimeS)},
      {LabelAverageSpeed, R.AverageSpeedKmh ? Decimals(*R.AverageSpeedKmh, 1) : Dash},
      {LabelMaxSpeed, Decimals(R.MaxSpeedKmh, 1)},
      {LabelFuel, R.FuelL ? Decimals(*R.FuelL, 3) : Dash},
      {LabelConsumption, R.ConsumptionL100Km ? Decimals(*R.ConsumptionL100Km, 1) : Dash},
  };
  for (const auto& [Label, Text] : Texts)
    if (Label->text() != Text) Label->setText(Text);
  const QString Note = QStringLiteral("По ответам с данными, ушедшим в линию с последнего пуска: %1")
                           .arg(FTripFeed.Model().Started() ? FTripFeed.Samples() - FSamplesAtStart : 0);
  if (LabelSamples->text() != Note) LabelSamples->setText(Note);
}

void TScenarioPanel::ShowRules() {
  const int Count = static_cast<int>(FEngine.RuleCount());
  bool Same = ListRules->count() == Count;
  for (int I = 0; Same && I < Count; ++I)
    Same = ListRules->item(I)->data(Qt::UserRole).toULongLong() == FEngine.RuleId(static_cast<size_t>(I));
  if (!Same) {
    ListRules->clear();
    for (int I = 0; I < Count; ++I) {
      auto* Item = new QListWidgetItem(ListRules);
      Item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(FEngine.RuleId(static_cast<size_t>(I))));
    }
  }
  for (int I = 0; I < Count; ++I) {
    const auto Index = static_cast<size_t>(I);
    const uint64_t Id = FEngine.RuleId(Index);
    const bool ByHand = std::find(FHandRuleIds.begin(), FHandRuleIds.end(), Id) != FHandRuleIds.end();
    const QString Text = QStringLiteral("%1: %2 — срабатываний: %3")
                             .arg(ByHand ? QStringLiteral("вручную") : QStringLiteral("сценарий"),
                                  QString::fromStdString(DescribeFaultRule(FEngine.Rule(Index))))
                             .arg(FEngine.Hits(Index));
    QListWidgetItem* Item = ListRules->item(I);
    if (Item->text() != Text) Item->setText(Text);
  }
}

void TScenarioPanel::UpdateButtons() {
  const TPlayState State = FPlayer ? FPlayer->State() : TPlayState::Stopped;
  ButtonPlay->setEnabled(FPlayer && State != TPlayState::Playing);
  ButtonPause->setEnabled(FPlayer && State == TPlayState::Playing);
  ButtonStop->setEnabled(FPlayer && State != TPlayState::Stopped);
  ButtonRemove->setEnabled(!FHandRuleIds.empty());
}

// ---------------------------------------------------------------------------
// Faults

void TScenarioPanel::ActionChanged() {
  // The parameter the action takes, its unit and a value to start from.
  const auto Action = static_cast<TFaultAction>(ComboAction->currentData().toInt());
  const bool Pending = Action == TFaultAction::Negative && ComboCode->currentText() == QLatin1String("78");
  QString Unit, Default, Tip;
  switch (Action) {
    case TFaultAction::Late:
      Unit = QStringLiteral("мс"), Default = QStringLiteral("300");
      Tip = QStringLiteral("Задержка ответа, 1..60000 мс");
      break;
    case TFaultAction::Cut:
      Unit = QStringLiteral("байт"), Default = QStringLiteral("3");
      Tip = QStringLiteral("Сколько первых байт ответа отправить (0 — ничего)");
      break;
    case TFaultAction::Silent:
      Unit = QStringLiteral("мс"), Default = QStringLiteral("3000");
      Tip = QStringLiteral("Сколько блок молчит после запроса, 1..600000 мс");
      break;
    case TFaultAction::Negative:
      if (Pending) {
        Unit = QStringLiteral("мс"), Default = QStringLiteral("1000");
        Tip = QStringLiteral("Через сколько мс после 78 придёт сам ответ, 1..5000");
      }
      break;
    default: break;
  }
  EditParameter->setText(Default);
  EditParameter->setEnabled(!Unit.isEmpty());
  EditParameter->setToolTip(Tip);
  LabelParameter->setText(Unit);
  ComboCode->setEnabled(Action == TFaultAction::Negative);
}

bool TScenarioPanel::ApplyRule() {
  TFaultRule Rule;
  Rule.Action = static_cast<TFaultAction>(ComboAction->currentData().toInt());
  const QString Service = EditService->text().trimmed();
  if (!Service.isEmpty()) {
    bool Hex = Service.size() <= 2;
    for (QChar C : Service) Hex = Hex && std::isxdigit(C.toLatin1()) != 0;
    if (!Hex) {
      ReportExceptionMessage(QStringLiteral("Сервис \"%1\" не принят: нужен байт из двух шестнадцатеричных цифр, "
                                            "например 21, или пустое поле для любого запроса")
                                 .arg(Service));
      return false;
    }
    Rule.Service = static_cast<uint8_t>(Service.toUInt(nullptr, 16));
  }
  int Parameter = 0;
  if (EditParameter->isEnabled()) {
    try {
      Parameter = StrToInt(EditParameter->text().toStdString());
    } catch (const EConvertError&) {
      ReportExceptionMessage(QStringLiteral("Параметр \"%1\" не принят: нужно целое число (%2)")
                                 .arg(EditParameter->text(), EditParameter->toolTip()));
      return false;
    }
  }
  switch (Rule.Action) {
    case TFaultAction::Late: Rule.DelayMs = Parameter; break;
    case TFaultAction::Cut: Rule.CutBytes = Parameter; break;
    case TFaultAction::Silent: Rule.SilentMs = Parameter; break;
    case TFaultAction::Negative:
      Rule.NegativeCode = static_cast<uint8_t>(ComboCode->currentText().toUInt(nullptr, 16));
      if (Rule.NegativeCode == 0x78) Rule.PendingMs = Parameter;
      break;
    default: break;
  }
  uint64_t Id = 0;
  try {
    // Before the scenario's rules: what the operator applies takes the
    // request first.
    Id = FEngine.AddRule(Rule, true);
  } catch (const std::invalid_argument& E) {
    ReportExceptionMessage(QStringLiteral("Правило не применено: ") + QString::fromUtf8(E.what()));
    return false;
  }
  FHandRuleIds.push_back(Id);
  UpdateFilter();
  ShowRules();
  UpdateButtons();
  return true;
}

bool TScenarioPanel::RemoveRule() {
  if (FHandRuleIds.empty()) return false;
  uint64_t Id = FHandRuleIds.back();
  if (QListWidgetItem* Item = ListRules->currentItem(); Item != nullptr && Item->isSelected()) {
    const uint64_t Selected = Item->data(Qt::UserRole).toULongLong();
    if (std::find(FHandRuleIds.begin(), FHandRuleIds.end(), Selected) != FHandRuleIds.end()) Id = Selected;
  }
  FEngine.RemoveRule(Id);
  FHandRuleIds.erase(std::find(FHandRuleIds.begin(), FHandRuleIds.end(), Id));
  UpdateFilter();
  ShowRules();
  UpdateButtons();
  return true;
}

void TScenarioPanel::PollEngine() {
  try {
    FEngine.Poll(VaMonotonicMicros());
  } catch (const std::exception& E) {
    // A held frame that could not be written is dropped; a lost port has
    // been reported already and is being opened again.
    if (FForm.VaComm1.Active()) FForm.LineReport->Report(QString::fromUtf8(E.what()));
  }
  SchedulePoll();
}

void TScenarioPanel::SchedulePoll() {
  const std::optional<int64_t> Due = FEngine.NextDueUs();
  if (!Due) {
    FPollTimer->stop();
    return;
  }
  const int64_t LeftUs = *Due - VaMonotonicMicros();
  const int64_t Ms = LeftUs <= 0 ? 0 : (LeftUs + 999) / 1000;
  FPollTimer->start(static_cast<int>(std::min<int64_t>(Ms, INT_MAX)));
}

void TScenarioPanel::FaultHit(const TFaultRule& Rule, size_t Index, uint64_t Hits, int64_t NowUs) {
  FForm.Record.FaultHit(Rule, Index, Hits, NowUs);
  // The rule may have held a frame back or begun a silence: the poll timer
  // is set again once the engine is done with the request.
  FPollTimer->start(0);
}

void TScenarioPanel::FaultFrameSent(const uint8_t* Bytes, int Count, int64_t NowUs) {
  FForm.Record.FaultFrameSent(Bytes, Count, NowUs);
  FForm.Memo1->AppendAnswer(Bytes, Count, NowUs);
  FTripFeed.AddAnswer(NowUs, FForm.ActiveVariant(), Bytes, static_cast<size_t>(std::max(Count, 0)));
}

void TScenarioPanel::AnswerSent(const uint8_t* Bytes, int Count) { FTripFeed.AnswerSent(Bytes, Count); }

// ---------------------------------------------------------------------------
// The trip computer's constants

bool TScenarioPanel::ApplyFuelConstants() {
  const char Separator = DecimalSeparator();
  const auto Refuse = [](const QString& Text) {
    ReportExceptionMessage(Text);
    return false;
  };
  // A positive number in the locale's notation, or none.
  const auto Positive = [](const QLineEdit* Edit) -> std::optional<double> {
    try {
      const long double Value = StrToFloat(Edit->text().toStdString());
      if (std::isfinite(static_cast<double>(Value)) && Value > 0) return static_cast<double>(Value);
    } catch (const EConvertError&) {}
    return std::nullopt;
  };
  TFuelConstants Constants;
  if (RadioInjector->isChecked()) {
    const std::optional<double> Flow = Positive(EditFlow);
    if (!Flow)
      return Refuse(QStringLiteral("Производительность форсунки \"%1\" не принята: нужно число больше нуля, "
                                   "см³/мин, например %2")
                        .arg(EditFlow->text(), QStringLiteral("187") + QLatin1Char(Separator) + QStringLiteral("5")));
    int Cylinders = 0;
    try {
      Cylinders = StrToInt(EditCylinders->text().toStdString());
    } catch (const EConvertError&) {}
    if (Cylinders < 1 || Cylinders > 64)
      return Refuse(
          QStringLiteral("Число цилиндров \"%1\" не принято: нужно целое число от 1 до 64").arg(EditCylinders->text()));
    Constants = TFuelConstants::Injector(*Flow, Cylinders);
  } else {
    const std::optional<double> K = Positive(EditFactor);
    if (!K)
      return Refuse(
          QStringLiteral("Коэффициент K \"%1\" не принят: нужно число больше нуля, "
                         "л/ч на 1 об/мин и 1 мс впрыска, например %2")
              .arg(EditFactor->text(), QStringLiteral("0") + QLatin1Char(Separator) + QStringLiteral("0004")));
    Constants = TFuelConstants::Factor(*K);
  }
  FTripFeed.Model().SetFuelConstants(Constants);
  ShowReadings();
  return true;
}
