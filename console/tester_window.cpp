#include "tester_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

#include "exception_report.h"
#include "fault_codes.h"
#include "line_report.h"
#include "monitor_view.h"
#include "numtext.h"
#include "qt_synchronizer.h"
#include "scenario_panel.h"
#include "window_look.h"

// ---------------------------------------------------------------------------
// TToolButton

TToolButton::TToolButton(const QString& Caption, QWidget* Parent) : QToolButton(Parent) {
  setText(Caption);
  setToolButtonStyle(Qt::ToolButtonTextOnly);
  setAutoRaise(true);
  // Tool bar buttons take no keyboard focus; the edit fields keep it.
  setFocusPolicy(Qt::NoFocus);
}

void TToolButton::SetIndeterminate(bool Value) {
  if (Value) setDown(false);
  if (FIndeterminate == Value) return;
  FIndeterminate = Value;
  update();
  emit IndeterminateChanged(Value);
}

void TToolButton::paintEvent(QPaintEvent*) {
  QStylePainter Painter(this);
  QStyleOptionToolButton Option;
  initStyleOption(&Option);
  if (FIndeterminate) {
    Option.palette.setColor(QPalette::ButtonText, palette().color(QPalette::Disabled, QPalette::ButtonText));
    Option.state &= ~(QStyle::State_Sunken | QStyle::State_On);
  }
  Painter.drawComplexControl(QStyle::CC_ToolButton, Option);
}

// ---------------------------------------------------------------------------
// TForm1

namespace {

// A flat tool bar: an etched line along its top edge, the buttons below it.
class TToolBarPanel : public QWidget {
public:
  using QWidget::QWidget;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter Painter(this);
    Painter.setPen(palette().color(QPalette::Dark));
    Painter.drawLine(0, 0, width() - 1, 0);
    Painter.setPen(palette().color(QPalette::Light));
    Painter.drawLine(0, 1, width() - 1, 1);
  }
};

QLabel* NewLabel(const QString& Caption, QWidget* Parent, int Left, int Top) {
  auto* Label = new QLabel(Caption, Parent);
  Label->adjustSize();
  Label->move(Left, Top);
  return Label;
}

QLineEdit* NewEdit(const QString& Text, QWidget* Parent, QRect Geometry) {
  auto* Edit = new QLineEdit(Text, Parent);
  Edit->setGeometry(Geometry);
  return Edit;
}

}  // namespace

TForm1::TForm1()
    : Record(VaMonotonicMicros),
      Synchronizer(std::make_shared<TQtSynchronizer>()),
      Port(VaComm1),
      Emulator(Port, *this) {
  setWindowTitle(QStringLiteral("Тестер маршрутного компьютера"));
  ApplyFormLook(this);
  KeepOuterSize(this, QSize(708, 633));

  // The doors switch and its caption come first (under the page control).
  CreateDoorsSwitch();
  PageControl1 = new QTabWidget(this);
  PageControl1->setGeometry(8, 24, 689, 569);
  auto* TabStyle = new TCompactTabStyle;
  TabStyle->setParent(PageControl1);
  PageControl1->tabBar()->setStyle(TabStyle);
  TabSheet1 = new QWidget;
  TabSheet2 = new QWidget;
  TabSheet4 = new QWidget;
  TabSheet6 = new QWidget;
  TabSheet3 = new QWidget;
  TabSheet7 = new QWidget;
  TabSheet8 = new QWidget;
  PageControl1->addTab(TabSheet1, QStringLiteral("Параметры ЭСУД"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Ошибки ЭСУД"));
  PageControl1->addTab(TabSheet4, QStringLiteral("Расширенные параметры ЭСУД"));
  PageControl1->addTab(TabSheet6, QStringLiteral("Идентификация ЭСУД"));
  PageControl1->addTab(TabSheet3, QStringLiteral("Контроль KWP"));
  PageControl1->addTab(TabSheet7, QStringLiteral("О программе"));
  PageControl1->addTab(TabSheet8, QStringLiteral("Сценарий"));
  // Seven captions fill the width: in a wider font they take a smaller one.
  FitTabCaptions(PageControl1);
  // The pages have the window's button face colour, not the style's lighter
  // pane colour.
  for (QWidget* Page : {TabSheet1, TabSheet2, TabSheet4, TabSheet6, TabSheet3, TabSheet7, TabSheet8})
    Page->setAutoFillBackground(true);
  CreateFaultCodeTab();
  CreateParameterTab();
  CreateGaugePanel();
  CreateIdentificationTab();
  CreateMonitorTab();
  CreateAboutTab();
  ScenarioPanel = new TScenarioPanel(*this, TabSheet8);
  PageControl1->setCurrentIndex(0);

  CreateToolBar();
  LineReport = new TLineReport(this);
  SetUpVaComm1();
  CreateSessionControls();
  CreateStatusLine();
  WatchOperatorChanges();
  Emulator.SetObserver(&Tee);
  GaugePanelLoaded();
  FormCreate();
}

TForm1::~TForm1() {
  // A save or a verdict still reading the record ends first.
  if (RecordWorker.joinable()) RecordWorker.join();
  // No hand-over runs into a window that is going away; the workers waiting
  // for one are released. VaComm1 is destroyed next and closes the device.
  Synchronizer->Shutdown();
}

void TForm1::CreateToolBar() {
  ToolBar1 = new TToolBarPanel(this);
  ToolBar1->setGeometry(0, 0, 700, 25);
  WhenFontChanges(ToolBar1, [this] { LayOutToolBar(); });
  HyundayType1 = new TToolButton(QStringLiteral("Hyunday Type 1"), ToolBar1);
  HyundayType2 = new TToolButton(QStringLiteral("Hyunday Type 2"), ToolBar1);
  HyundayType3 = new TToolButton(QStringLiteral("Hyunday Type 3"), ToolBar1);
  connect(HyundayType1, &QToolButton::clicked, this, [this] { RunReported([this] { HyundayType1Click(); }); });
  connect(HyundayType2, &QToolButton::clicked, this, [this] { RunReported([this] { HyundayType2Click(); }); });
  connect(HyundayType3, &QToolButton::clicked, this, [this] { RunReported([this] { HyundayType3Click(); }); });
}

int TToolButton::CaptionWidth() const {
  // The style draws the caption inside the frame and cuts what does not fit;
  // one pixel more either side keeps the outer letters clear of the frame.
  const int Frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  return fontMetrics().horizontalAdvance(text()) + 2 * Frame + 2;
}

void TForm1::LayOutToolBar() {
  // 85 x 21 buttons with separators of 31 and 35 pixels between them, and
  // the status line from 10 pixels right of the third to the bar's right
  // end. A button whose caption is wider in the font at hand (another
  // platform's stand-in face) is made as wide as the caption, the ones after
  // it move along.
  constexpr int Top = 2, ButtonWidth = 85, ButtonHeight = 21, StatusGap = 10, Right = 695;
  if (HyundayType3 == nullptr) return;  // the bar is still being made
  const std::pair<TToolButton*, int> Buttons[] = {{HyundayType1, 29}, {HyundayType2, 31}, {HyundayType3, 35}};
  int Left = 0;
  for (const auto& [Button, Gap] : Buttons) {
    Left += Gap;
    const int Width = std::max(ButtonWidth, Button->CaptionWidth());
    Button->setGeometry(Left, Top, Width, ButtonHeight);
    Left += Width;
  }
  if (StatusLine) {
    const int StatusLeft = Left + StatusGap;
    StatusLine->setGeometry(StatusLeft, Top, std::max(0, Right - StatusLeft), ButtonHeight);
    StatusText.clear();
  }
}

void TForm1::CreateStatusLine() {
  // Right of the third variant button, to the tool bar's right end.
  StatusLine = new QLabel(ToolBar1);
  StatusLine->setTextFormat(Qt::PlainText);
  LayOutToolBar();
  // A few times a second is enough for a person, and keeps the drawing off
  // the answers' path.
  StatusTimer = new QTimer(this);
  StatusTimer->setInterval(200);
  connect(StatusTimer, &QTimer::timeout, this, [this] { UpdateStatusLine(); });
  StatusTimer->start();
  UpdateStatusLine();
}

void TForm1::UpdateStatusLine() {
  // The port dialog opens the port the first time; from then on the keeper
  // watches it.
  if (Keeper->State() == TVaKeeperState::Closed && VaComm1.Active()) Keeper->Opened();
  Keeper->Tick(static_cast<uint32_t>(KeeperClock.elapsed()));
  QString State;
  switch (Keeper->State()) {
    case TVaKeeperState::Open: State = QStringLiteral("открыт"); break;
    case TVaKeeperState::Lost: State = QStringLiteral("потерян"); break;
    case TVaKeeperState::Reopening: State = QStringLiteral("переоткрытие"); break;
    case TVaKeeperState::Closed: State = QStringLiteral("закрыт"); break;
  }
  QString Text = QStringLiteral("%1: %2 · принято: %3 · отвечено: %4")
                     .arg(QString::fromStdString(VaComm1.DeviceName()), State)
                     .arg(Emulator.FramesReceived)
                     .arg(Emulator.AnswersSent);
  if (LineReport->Recurrences() > 0) Text += QStringLiteral(" · повторов сообщения: %1").arg(LineReport->Recurrences());
  UpdateRecordControls();
  if (Text == StatusText) return;
  StatusText = Text;
  StatusLine->setToolTip(Text);
  StatusLine->setText(StatusLine->fontMetrics().elidedText(Text, Qt::ElideMiddle, StatusLine->width()));
}

void TForm1::PortStateChanged(TVaKeeperState State, const std::string& Text) {
  // One message for a loss, naming the device and the cause; the attempts
  // to open it again show in the status line only.
  if (State == TVaKeeperState::Lost)
    LineReport->Report(QStringLiteral("Порт %1 потерян: %2. Программа пытается открыть его снова каждую секунду")
                           .arg(QString::fromStdString(VaComm1.DeviceName()), QString::fromStdString(Text)));
  StatusText.clear();
}

void TForm1::CreateFaultCodeTab() {
  CheckListBox1 = new QListWidget(TabSheet2);
  CheckListBox1->setUniformItemSizes(true);
  CheckListBox1->setItemDelegate(new TFixedHeightDelegate(13, CheckListBox1));
  // The rows are 13 px high; the style's own check boxes would overlap them.
  auto* CheckStyle = new TSmallCheckStyle(11);
  CheckStyle->setParent(CheckListBox1);
  CheckListBox1->setStyle(CheckStyle);
  for (const char* Text : FaultCodeItems) {
    auto* Item = new QListWidgetItem(QString::fromUtf8(Text), CheckListBox1);
    Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    Item->setCheckState(Qt::Unchecked);
    // The longest descriptions do not fit the list's width.
    Item->setToolTip(Item->text().trimmed());
  }
  auto* Layout = new QVBoxLayout(TabSheet2);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(CheckListBox1);
}

void TForm1::CreateParameterTab() {
  // In tab order, which is not the vertical order (EditDv is lowest).
  struct TRow {
    QLineEdit** Edit;
    int Top;
    const char* Caption;
  };
  const TRow Rows[] = {
      {&EditVSS, 8, "Скорость, км/ч"},
      {&EditTOG, 32, "Температура охлаждающей жидкости, °С"},
      {&EditRPM, 56, "Обороты ДВС, об/мин"},
      {&EditATP, 80, "Положение дросселя, %"},
      {&EditDv, 176, "Длительность впрыска, мс"},
      {&EditIMAP, 104, "Давление воздуха на впуске, кПа"},
      {&EditIAT, 128, "Температура воздуна на впуске, °С"},
      {&EditUbat, 152, "Напряжение борт.сети, В"},
  };
  QWidget* Previous = nullptr;
  std::vector<std::pair<QLabel*, QLineEdit*>> Pairs;
  for (const TRow& Row : Rows) {
    QLabel* Label = NewLabel(QString::fromUtf8(Row.Caption), TabSheet4, 8, Row.Top + 8);
    *Row.Edit = NewEdit(QString(), TabSheet4, QRect(232, Row.Top, 57, 21));
    Pairs.emplace_back(Label, *Row.Edit);
    if (Previous) setTabOrder(Previous, *Row.Edit);
    Previous = *Row.Edit;
  }
  // The fields stand at 232, or eight pixels right of the longest caption
  // where the font at hand is wider than the one the tab was laid out for.
  const auto LayOut = [Pairs] {
    int Widest = 0;
    for (const auto& [Label, Edit] : Pairs) {
      Label->adjustSize();
      Widest = std::max(Widest, Label->x() + Label->width());
    }
    const int Left = std::max(232, Widest + 8);
    for (const auto& [Label, Edit] : Pairs) Edit->move(Left, Edit->y());
  };
  LayOut();
  WhenFontChanges(TabSheet4, LayOut);
}

void TForm1::CreateIdentificationTab() {
  struct TRow {
    QLineEdit** Edit;
    QRect Geometry;
    const char* Caption;
    const char* Text;
  };
  const TRow Rows[] = {
      {&Edit2, {168, 24, 113, 21}, "Версия ПЗУ:", "V5V13J02"},
      {&Edit3, {168, 56, 113, 21}, "Заводской номер ЭБУ:", "2112 -1411020-60"},
      {&Edit4, {168, 88, 113, 21}, "Идентификатор двигателя:", "SAMARA-1.5L, 8V"},
      {&Edit5, {168, 120, 113, 21}, "Дата программирования:", "05-07-1996"},
      {&Edit6, {504, 24, 113, 21}, "systemSupplierECUHardwareNumber:", "0261123456"},
      {&Edit7, {504, 56, 113, 21}, "systemSupplierECUSoftwareNumber:", "1411000-00"},
      {&Edit37, {168, 152, 145, 21}, "VIN номер автомобиля:", "XTA2110498765432109"},
  };
  for (const TRow& Row : Rows) {
    // The caption ends eight pixels left of its field, centred on it.
    QLabel* Label = NewLabel(QString::fromUtf8(Row.Caption), TabSheet6, 0, 0);
    Label->move(Row.Geometry.left() - 8 - Label->width(),
                Row.Geometry.top() + (Row.Geometry.height() - Label->height()) / 2);
    *Row.Edit = NewEdit(QString::fromUtf8(Row.Text), TabSheet6, Row.Geometry);
  }
}

void TForm1::CreateMonitorTab() {
  Memo1 = new TMonitorView(TabSheet3);
  Memo1->setFixedHeight(465);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* Layout = new QVBoxLayout(TabSheet3);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(Memo1);
  Layout->addStretch();
  CheckBox1 = new QCheckBox(QStringLiteral("Pause"), TabSheet3);
  CheckBox1->setGeometry(0, 472, 121, 17);
  CheckBox3 = new QCheckBox(QStringLiteral("Нет ответа"), TabSheet3);
  CheckBox3->setGeometry(0, 496, 113, 25);
}

void TForm1::CreateAboutTab() {
  Memo2 = new QPlainTextEdit(TabSheet7);
  Memo2->setGeometry(8, 8, 1225, 113);
  Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo2->setPlainText(
      QStringLiteral("Программа предназначена для тестирования маршрутных компьютеров.\n"
                     "Программа эмулирует диагностический протокол контроллеров ЭСУД автомобилей марки Hyudai.\n"
                     "\n"
                     "Версия 1.0 от 30.11.09\n"
                     "\n"
                     "Посвящается испытательной лаборатории, для которой написана эта программа.\n"
                     "\n"
                     "Автор: разработчик испытательной лаборатории"));
}

void TForm1::SetUpVaComm1() {
  // The settings the window stores for its port; the port stays closed until
  // the COM port dialog opens it.
  VaSetUpKLinePort(VaComm1);
  VaComm1.SetOnRxChar([this](TVaCustomComm* Sender, int Count) { VaComm1RxChar(Sender, Count); });
  VaComm1.SetSynchronizer(Synchronizer);
  // Failures met while handling received bytes are shown once the receive
  // event is over, so that the line is served while the box is open.
  VaComm1.SetExceptionReport([this](const std::exception& E) { LineReport->Report(QString::fromUtf8(E.what())); });
  VaComm1.Loaded();
  Keeper = std::make_unique<TVaPortKeeper>(VaComm1);
  Keeper->SetOnStateChange([this](TVaKeeperState State, const std::string& Text) { PortStateChanged(State, Text); });
  KeeperClock.start();
}

void TForm1::FormCreate() {
  // The start values of the gauges, written as the gauges write them: whole
  // numbers, and two decimals for the injection duration and the voltage.
  WriteGaugeStartTexts();
  Emulator.FormCreate();
  HyundayType1->SetIndeterminate(true);
  HyundayType2->SetIndeterminate(false);
  HyundayType3->SetIndeterminate(false);
  Edit2->setText(QStringLiteral("111111"));
}

void TForm1::FormClose() {
  if (PortDialog) PortDialog->close();
}

void TForm1::closeEvent(QCloseEvent* Event) {
  RunReported([this] { FormClose(); });
  Event->accept();
}

void TForm1::SelectVariant(TToolButton* Clicked, TToolButton* Other1, TToolButton* Other2) {
  Clicked->SetIndeterminate(true);
  Other1->SetIndeterminate(false);
  Other2->SetIndeterminate(false);
}

void TForm1::HyundayType1Click() { SelectVariant(HyundayType1, HyundayType2, HyundayType3); }
void TForm1::HyundayType2Click() { SelectVariant(HyundayType2, HyundayType1, HyundayType3); }
void TForm1::HyundayType3Click() { SelectVariant(HyundayType3, HyundayType2, HyundayType1); }

void TForm1::VaComm1RxChar(TVaCustomComm*, int Count) { Emulator.RxChar(Count); }

QLineEdit* TForm1::ParameterEdit(TEcuField Field) const {
  switch (Field) {
    case TEcuField::VSS: return EditVSS;
    case TEcuField::TOG: return EditTOG;
    case TEcuField::RPM: return EditRPM;
    case TEcuField::ATP: return EditATP;
    case TEcuField::IMAP: return EditIMAP;
    case TEcuField::Dv: return EditDv;
    case TEcuField::IAT: return EditIAT;
    case TEcuField::Ubat: return EditUbat;
  }
  return EditVSS;
}

std::string TForm1::FieldText(TEcuField Field) const { return ParameterEdit(Field)->text().toStdString(); }

int TForm1::FaultCodeCount() const { return CheckListBox1->count(); }

std::string TForm1::FaultCodeText(int Index) const { return CheckListBox1->item(Index)->text().toStdString(); }

bool TForm1::FaultCodeChecked(int Index) const { return CheckListBox1->item(Index)->checkState() == Qt::Checked; }

int TForm1::ActiveVariant() const {
  if (HyundayType1->Indeterminate()) return 1;
  if (HyundayType2->Indeterminate()) return 2;
  if (HyundayType3->Indeterminate()) return 3;
  return 0;
}

bool TForm1::PauseChecked() const { return CheckBox1->isChecked(); }
bool TForm1::NoAnswerChecked() const { return CheckBox3->isChecked(); }

void TForm1::AppendMonitorLine(const std::string& Line) { Memo1->AppendLine(Line, MonitorLineTime); }

void TForm1::TEcuTee::FrameReceived(const uint8_t* Bytes, int Count, const int64_t* PieceTimes, int Pieces) {
  // The monitor line that follows is timed by the frame's arrival.
  Form.MonitorLineTime = Pieces > 0 ? PieceTimes[0] : VaMonotonicMicros();
  Form.Record.FrameReceived(Bytes, Count, PieceTimes, Pieces);
}

void TForm1::TEcuTee::AnswerSent(const uint8_t* Bytes, int Count) {
  Form.Record.AnswerSent(Bytes, Count);
  Form.Memo1->AppendAnswer(Bytes, Count, VaMonotonicMicros());
  // The expected trip readings count what was actually sent.
  if (Form.ScenarioPanel != nullptr) Form.ScenarioPanel->AnswerSent(Bytes, Count);
}
