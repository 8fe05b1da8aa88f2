#include "trip_window.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "exception_report.h"
#include "fault_codes.h"
#include "numtext.h"
#include "qt_synchronizer.h"
#include "trip_client.h"
#include "vacomm.h"
#include "vakeeper.h"

namespace {

const QString Dash = QStringLiteral("—");
constexpr int RefreshMs = 200;

QString Formatted(const char* Pattern, double Value) { return QString::fromStdString(FormatFloat(Pattern, Value)); }

QString Formatted(const char* Pattern, const std::optional<double>& Value) {
  return Value ? Formatted(Pattern, *Value) : Dash;
}

// The lamp of the link indicator.
const char* LampColour(TKwpLinkState State) {
  switch (State) {
    case TKwpLinkState::Connected: return "#30d030";
    case TKwpLinkState::Init:
    case TKwpLinkState::Retrying: return "#e0c020";
    case TKwpLinkState::NoAnswer: return "#e03030";
    case TKwpLinkState::Stopped: break;
  }
  return "#808080";
}

QElapsedTimer& KeeperClock() {
  static QElapsedTimer Clock;
  if (!Clock.isValid()) Clock.start();
  return Clock;
}

}  // namespace

QString TripTimeText(double Seconds) {
  const long long Whole = std::isfinite(Seconds) && Seconds > 0 ? static_cast<long long>(Seconds) : 0;
  return QStringLiteral("%1:%2:%3")
      .arg(Whole / 3600)
      .arg(Whole / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(Whole % 60, 2, 10, QLatin1Char('0'));
}

QString FaultCodeDescription(uint16_t Code) {
  const std::string Prefix = IntToHex(Code, 4) + " ";
  QStringList Texts;
  for (const char* Item : FaultCodeItems) {
    const std::string Text = Item;
    if (Text.compare(0, Prefix.size(), Prefix) == 0) Texts << QString::fromStdString(Text.substr(5)).trimmed();
  }
  return Texts.isEmpty() ? QStringLiteral("неизвестная ошибка") : Texts.join(QStringLiteral(" / "));
}

QString LinkStateText(TKwpLinkState State) {
  switch (State) {
    case TKwpLinkState::Stopped: return QStringLiteral("Отключено");
    case TKwpLinkState::Init: return QStringLiteral("Инициализация");
    case TKwpLinkState::Connected: return QStringLiteral("Связь есть");
    case TKwpLinkState::Retrying: return QStringLiteral("Повтор запроса");
    case TKwpLinkState::NoAnswer: return QStringLiteral("Нет ответа");
  }
  return Dash;
}

TTripWindow::TTripWindow(const std::vector<std::string>& Ports, int Selected, QWidget* Parent)
    : QWidget(Parent), FSync(std::make_shared<TQtSynchronizer>()), FComm(std::make_unique<TVaComm>()) {
  setWindowTitle(QStringLiteral("Виртуальный маршрутный компьютер"));
  VaSetUpKLinePort(*FComm);
  FComm->SetSynchronizer(FSync);
  FComm->SetExceptionReport([](const std::exception& E) { ReportException(E); });
  FTrip = std::make_unique<TTripClient>(*FComm);
  FKeeper = std::make_unique<TVaPortKeeper>(*FComm);
  FTrip->SetOnUpdate([this] { Schedule(); });

  BuildControls();
  for (const std::string& Name : Ports) FPort->addItem(QString::fromStdString(Name));
  FPort->setCurrentIndex(Selected);

  FDeadline = new QTimer(this);
  FDeadline->setSingleShot(true);
  FDeadline->setTimerType(Qt::PreciseTimer);
  connect(FDeadline, &QTimer::timeout, this, [this] { RunReported([this] { FTrip->Service(); }); });
  FRefresh = new QTimer(this);
  FRefresh->setInterval(RefreshMs);
  connect(FRefresh, &QTimer::timeout, this, [this] { Refresh(); });
  FRefresh->start();
  Refresh();
}

TTripWindow::~TTripWindow() {
  // Workers waiting on the hand-over are let go before the port goes.
  FSync->Shutdown();
  FKeeper.reset();
  FTrip.reset();
}

void TTripWindow::BuildControls() {
  auto* Bar = new QHBoxLayout;
  FPort = new QComboBox(this);
  FPort->setEditable(true);
  FPort->setMinimumContentsLength(16);
  FVariant = new QComboBox(this);
  FVariant->addItems(
      {QStringLiteral("Hyunday Type 1"), QStringLiteral("Hyunday Type 2"), QStringLiteral("Hyunday Type 3")});
  FConnect = new QPushButton(QStringLiteral("Подключить"), this);
  FResetTrip = new QPushButton(QStringLiteral("Сброс поездки"), this);
  Bar->addWidget(new QLabel(QStringLiteral("Порт:"), this));
  Bar->addWidget(FPort, 1);
  Bar->addWidget(new QLabel(QStringLiteral("Вариант ЭБУ:"), this));
  Bar->addWidget(FVariant);
  Bar->addWidget(FConnect);
  Bar->addWidget(FResetTrip);

  connect(FConnect, &QPushButton::clicked, this, [this] {
    if (FTrip->Client().State() == TKwpLinkState::Stopped) {
      Connect();
    } else {
      Disconnect();
    }
  });
  connect(FResetTrip, &QPushButton::clicked, this, [this] {
    FTrip->Client().ResetTrip();
    Refresh();
  });
  connect(FVariant, &QComboBox::currentIndexChanged, this, [this](int Index) {
    FTrip->Client().SetVariant(Index + 1);
    Refresh();
  });

  auto* Faults = new QLabel(QStringLiteral("Ошибки ЭСУД:"), this);
  FFaults = new QListWidget(this);
  FFaults->setMaximumHeight(110);
  FFaults->setStyleSheet(QStringLiteral("QListWidget { background: black; color: #ffb000; }"));

  auto* Status = new QHBoxLayout;
  FLamp = new QLabel(this);
  FLamp->setFixedSize(16, 16);
  FLink = new QLabel(this);
  FCounters = new QLabel(this);
  FPortState = new QLabel(this);
  QFont Bold = FLink->font();
  Bold.setBold(true);
  FLink->setFont(Bold);
  Status->addWidget(FLamp);
  Status->addWidget(FLink);
  Status->addSpacing(16);
  Status->addWidget(FCounters);
  Status->addStretch(1);
  Status->addWidget(FPortState);

  auto* Layout = new QVBoxLayout(this);
  Layout->addLayout(Bar);
  Layout->addWidget(BuildDisplay(), 1);
  Layout->addWidget(Faults);
  Layout->addWidget(FFaults);
  Layout->addLayout(Status);
}

QWidget* TTripWindow::BuildDisplay() {
  auto* Display = new QFrame(this);
  Display->setObjectName(QStringLiteral("Display"));
  Display->setStyleSheet(
      QStringLiteral("#Display { background: black; border: 3px solid #404040; }"
                     "QLabel { color: #ffb000; background: transparent; }"
                     "QLabel[role=\"caption\"] { color: #c0c0c0; }"));
  auto* Grid = new QGridLayout(Display);
  Grid->setSpacing(14);
  const struct {
    TField Field;
    const char* Caption;
  } Cells[] = {
      {TField::Speed, "Скорость, км/ч"},
      {TField::EngineSpeed, "Обороты, об/мин"},
      {TField::Coolant, "Температура ОЖ, °С"},
      {TField::Voltage, "Напряжение, В"},
      {TField::Instant, "Мгновенный расход"},
      {TField::Average, "Средний расход, л/100 км"},
      {TField::Distance, "Пробег, км"},
      {TField::TripTime, "Время в пути"},
      {TField::FuelUsed, "Израсходовано топлива, л"},
  };
  QFont Digits(QStringLiteral("DejaVu Sans Mono"));
  Digits.setStyleHint(QFont::Monospace);
  Digits.setPixelSize(40);
  Digits.setBold(true);
  for (int I = 0; I < static_cast<int>(std::size(Cells)); ++I) {
    auto* Caption = new QLabel(QString::fromUtf8(Cells[I].Caption), Display);
    Caption->setProperty("role", QStringLiteral("caption"));
    auto* Value = new QLabel(Dash, Display);
    Value->setFont(Digits);
    Value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Value->setMinimumWidth(190);
    FFields[static_cast<int>(Cells[I].Field)] = Value;
    auto* Cell = new QVBoxLayout;
    Cell->addWidget(Caption);
    Cell->addWidget(Value);
    if (Cells[I].Field == TField::Instant) {
      FInstantUnit = new QLabel(Display);
      FInstantUnit->setProperty("role", QStringLiteral("caption"));
      FInstantUnit->setAlignment(Qt::AlignRight);
      Cell->addWidget(FInstantUnit);
    }
    Grid->addLayout(Cell, I / 3, I % 3);
  }
  return Display;
}

void TTripWindow::Connect() {
  RunReported([this] {
    FComm->SetDeviceName(FPort->currentText().trimmed().toStdString());
    FTrip->Start();
    FKeeper->Opened();
    FConnect->setText(QStringLiteral("Отключить"));
    FPort->setEnabled(false);
  });
  Refresh();
}

void TTripWindow::Disconnect() {
  FTrip->Stop();
  FDeadline->stop();
  FComm->Close();
  FKeeper->Closed();
  FConnect->setText(QStringLiteral("Подключить"));
  FPort->setEnabled(true);
  Refresh();
}

void TTripWindow::SelectVariant(int Variant) { FVariant->setCurrentIndex(std::clamp(Variant, 1, 3) - 1); }

void TTripWindow::Schedule() {
  const int64_t Due = FTrip->NextDeadlineUs();
  if (Due == TKwpClient::Never) {
    FDeadline->stop();
    return;
  }
  const int64_t LeftUs = std::max<int64_t>(0, Due - FTrip->NowUs());
  FDeadline->start(static_cast<int>(std::min<int64_t>((LeftUs + 999) / 1000, 60000)));
}

void TTripWindow::Refresh() {
  FKeeper->Tick(static_cast<uint32_t>(KeeperClock().elapsed()));
  Display(FTrip->Client(), FTrip->NowUs());
  switch (FKeeper->State()) {
    case TVaKeeperState::Open: FPortState->setText(QStringLiteral("порт открыт")); break;
    case TVaKeeperState::Closed: FPortState->setText(QStringLiteral("порт закрыт")); break;
    case TVaKeeperState::Lost:
      FPortState->setText(QStringLiteral("порт потерян: ") + QString::fromStdString(FKeeper->Reason()));
      break;
    case TVaKeeperState::Reopening: FPortState->setText(QStringLiteral("переоткрытие порта")); break;
  }
}

void TTripWindow::Display(const TKwpClient& Client, int64_t NowUs) {
  auto Set = [this](TField Field, const QString& Text) { FFields[static_cast<int>(Field)]->setText(Text); };
  Set(TField::Speed, Formatted("##0", Client.Value(TLiveQuantity::Speed)));
  Set(TField::EngineSpeed, Formatted("###0", Client.Value(TLiveQuantity::EngineSpeed)));
  Set(TField::Coolant, Formatted("##0", Client.Value(TLiveQuantity::Coolant)));
  Set(TField::Voltage, Formatted("#0.0", Client.Value(TLiveQuantity::SupplyVoltage)));
  const TTripReadings R = Client.TripReadings(NowUs);
  // Moving: litres per 100 km; standing: litres an hour; nothing before the
  // first answer.
  if (!Client.Trip().Started()) {
    Set(TField::Instant, Dash);
    FInstantUnit->clear();
  } else if (R.InstantL100Km) {
    Set(TField::Instant, Formatted("#0.0", *R.InstantL100Km));
    FInstantUnit->setText(QStringLiteral("л/100 км"));
  } else {
    Set(TField::Instant, Formatted("#0.0", R.FuelRateLh));
    FInstantUnit->setText(QStringLiteral("л/ч"));
  }
  Set(TField::Average, Formatted("#0.0", R.ConsumptionL100Km));
  Set(TField::Distance, Client.Trip().Started() ? Formatted("##0.00", R.DistanceKm) : Dash);
  Set(TField::TripTime, Client.Trip().Started() ? TripTimeText(R.TripTimeS) : Dash);
  Set(TField::FuelUsed, Client.Trip().Started() ? Formatted("#0.00", R.FuelL) : Dash);

  FLamp->setStyleSheet(QStringLiteral("background: %1; border-radius: 8px;").arg(LampColour(Client.State())));
  FLink->setText(LinkStateText(Client.State()));
  const TKwpCounters& C = Client.Counters();
  FCounters->setText(
      QStringLiteral("Запросов: %1   Ответов: %2   Повторов: %3").arg(C.Requests).arg(C.Answers).arg(C.Retries));

  QStringList Faults;
  if (!Client.FaultCodesKnown()) {
    Faults << Dash;
  } else if (Client.FaultCodes().empty()) {
    Faults << QStringLiteral("Ошибок нет");
  } else {
    for (const TKwpFaultCode& F : Client.FaultCodes())
      Faults << QString::fromStdString(IntToHex(F.Code, 4)) + QLatin1Char(' ') + FaultCodeDescription(F.Code);
  }
  if (Faults != FaultTexts()) {
    FFaults->clear();
    FFaults->addItems(Faults);
  }
}

QString TTripWindow::FieldText(TField Field) const { return FFields[static_cast<int>(Field)]->text(); }
QString TTripWindow::InstantUnitText() const { return FInstantUnit->text(); }
QString TTripWindow::LinkText() const { return FLink->text(); }
QString TTripWindow::CountersText() const { return FCounters->text(); }

QStringList TTripWindow::FaultTexts() const {
  QStringList Texts;
  for (int I = 0; I < FFaults->count(); ++I) Texts << FFaults->item(I)->text();
  return Texts;
}
