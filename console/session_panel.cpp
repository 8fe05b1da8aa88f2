// The session record in the tester window: the commands on the tab
// "Контроль KWP" that start and stop a record and save it, the timing table,
// and the operator's changes that the record notes.
//
// Saving and judging read the record on a thread of their own (the record is
// built so that its first entries can be read while it grows), so the line
// is answered throughout, however long the record.

#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include <thread>

#include "exception_report.h"
#include "line_report.h"
#include "monitor_view.h"
#include "numtext.h"
#include "record_file.h"
#include "tester_window.h"
#include "timing_verdict.h"

namespace {

// A number of milliseconds as the operator reads it: the locale's separator.
QString MsText(double Ms) { return QString::fromStdString(FormatFloat("0.000", Ms)); }

}  // namespace

void TForm1::CreateSessionControls() {
  // Right of "Pause" and "Нет ответа".
  ButtonRecord = new QPushButton(QStringLiteral("Записать сеанс..."), TabSheet3);
  ButtonRecord->setGeometry(128, 470, 129, 23);
  ButtonSave = new QPushButton(QStringLiteral("Сохранить сеанс..."), TabSheet3);
  ButtonSave->setGeometry(264, 470, 129, 23);
  ButtonTiming = new QPushButton(QStringLiteral("Временные параметры..."), TabSheet3);
  ButtonTiming->setGeometry(400, 470, 153, 23);
  CheckBoxAnswers = new QCheckBox(QStringLiteral("Показывать ответы"), TabSheet3);
  CheckBoxAnswers->setGeometry(128, 498, 145, 21);
  LabelRecord = new QLabel(TabSheet3);
  LabelRecord->setGeometry(280, 498, 400, 21);
  connect(ButtonRecord, &QPushButton::clicked, this, [this] { RunReported([this] { ButtonRecordClick(); }); });
  connect(ButtonSave, &QPushButton::clicked, this, [this] { RunReported([this] { ButtonSaveClick(); }); });
  connect(ButtonTiming, &QPushButton::clicked, this, [this] { RunReported([this] { ButtonTimingClick(); }); });
  connect(CheckBoxAnswers, &QCheckBox::toggled, this, [this](bool Shown) { Memo1->SetAnnotated(Shown); });
  // Emitted by the record's worker thread, handled on the window thread.
  connect(this, &TForm1::RecordWorkDone, this, &TForm1::RecordWorkFinished, Qt::QueuedConnection);
  UpdateRecordControls();
}

void TForm1::WatchOperatorChanges() {
  // What alters the answers, as the record notes it: the edit field's name
  // and its text, a tick, the variant, the two check boxes.
  const std::pair<TEcuField, const char*> Fields[] = {{TEcuField::VSS, "EditVSS"},   {TEcuField::TOG, "EditTOG"},
                                                      {TEcuField::RPM, "EditRPM"},   {TEcuField::ATP, "EditATP"},
                                                      {TEcuField::IMAP, "EditIMAP"}, {TEcuField::Dv, "EditDv"},
                                                      {TEcuField::IAT, "EditIAT"},   {TEcuField::Ubat, "EditUbat"}};
  for (const auto& [Field, Name] : Fields) {
    connect(ParameterEdit(Field), &QLineEdit::textChanged, this,
            [this, Name = Name](const QString& Text) { Record.Change(std::string(Name) + "=" + Text.toStdString()); });
  }
  connect(CheckListBox1, &QListWidget::itemChanged, this, [this](QListWidgetItem* Item) {
    const bool Ticked = Item->checkState() == Qt::Checked;
    Record.Change(("Tick " + Item->text().left(4) + (Ticked ? "=1" : "=0")).toStdString());
  });
  connect(CheckBox1, &QCheckBox::toggled, this, [this](bool On) { Record.Change(On ? "Pause=1" : "Pause=0"); });
  connect(CheckBox3, &QCheckBox::toggled, this, [this](bool On) { Record.Change(On ? "NoAnswer=1" : "NoAnswer=0"); });
  for (TToolButton* Button : {HyundayType1, HyundayType2, HyundayType3}) {
    connect(Button, &TToolButton::IndeterminateChanged, this, [this](bool Set) {
      if (Set) Record.Change("Variant=" + std::to_string(ActiveVariant()));
    });
  }
}

void TForm1::ButtonRecordClick() {
  if (Record.Recording()) {
    Record.Stop();
  } else {
    // A new record; the one before goes (it can be saved first).
    Record.Clear();
    Record.Start();
  }
  UpdateRecordControls();
}

void TForm1::ButtonSaveClick() {
  const QString Path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить сеанс"), QString(),
                                                    QStringLiteral("CSV (*.csv);;JSON Lines (*.jsonl)"));
  if (!Path.isEmpty()) SaveSession(Path);
}

void TForm1::SaveSession(const QString& Path) {
  if (RecordWorker.joinable()) RecordWorker.join();
  const size_t Count = Record.Count();
  const std::string File = Path.toStdString();
  Busy = true;
  UpdateRecordControls();
  RecordWorker = std::thread([this, File, Count] {
    const std::string Error = SaveRecordFile(File, RecordFormatOf(File), Record, Count);
    FinishRecordWork([this, File, Error] {
      if (!Error.empty())
        LineReport->Report(QStringLiteral("Сеанс не сохранён в файл %1: %2. Запись сеанса в памяти сохранена")
                               .arg(QString::fromStdString(File), QString::fromStdString(Error)));
      emit SessionSaved(QString::fromStdString(File), Error.empty());
    });
  });
}

void TForm1::ButtonTimingClick() {
  if (RecordWorker.joinable()) RecordWorker.join();
  const size_t Count = Record.Count();
  Busy = true;
  UpdateRecordControls();
  RecordWorker = std::thread([this, Count] {
    auto Verdict = std::make_shared<TTimingVerdict>(JudgeTiming(Record, Count));
    FinishRecordWork([this, Verdict] { ShowTiming(*Verdict); });
  });
}

void TForm1::FinishRecordWork(std::function<void()> Result) {
  {
    const std::lock_guard<std::mutex> Guard(RecordResultLock);
    RecordResult = std::move(Result);
  }
  emit RecordWorkDone();
}

void TForm1::RecordWorkFinished() {
  std::function<void()> Result;
  {
    const std::lock_guard<std::mutex> Guard(RecordResultLock);
    Result = std::move(RecordResult);
    RecordResult = nullptr;
  }
  Busy = false;
  UpdateRecordControls();
  if (Result) Result();
}

void TForm1::ShowTiming(const TTimingVerdict& Verdict) {
  if (TimingDialog == nullptr) {
    TimingDialog = new QDialog(this);
    TimingDialog->setWindowTitle(QStringLiteral("Временные параметры сеанса"));
    auto* Layout = new QVBoxLayout(TimingDialog);
    TimingTable = new QTableWidget(TimingDialog);
    TimingTable->setColumnCount(8);
    TimingTable->setHorizontalHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Замеров"),
                                            QStringLiteral("Мин., мс"), QStringLiteral("Медиана, мс"),
                                            QStringLiteral("Макс., мс"), QStringLiteral("Норма ISO, мс"),
                                            QStringLiteral("Итог"), QStringLiteral("Примечание")});
    TimingTable->verticalHeader()->hide();
    TimingTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Layout->addWidget(TimingTable);
    TimingDialog->resize(900, 260);
  }
  TimingTable->setRowCount(static_cast<int>(Verdict.Measures.size()));
  int Row = 0;
  for (const TTimingMeasure& M : Verdict.Measures) {
    const bool Any = M.Samples > 0;
    const QString Cells[] = {QString::fromStdString(M.Caption),
                             QString::number(M.Samples),
                             Any ? MsText(M.MinMs) : QStringLiteral("—"),
                             Any ? MsText(M.MedianMs) : QStringLiteral("—"),
                             Any ? MsText(M.MaxMs) : QStringLiteral("—"),
                             QStringLiteral("%1..%2").arg(M.RangeMinMs).arg(M.RangeMaxMs),
                             !Any       ? QStringLiteral("нет данных")
                             : M.Pass() ? QStringLiteral("норма")
                                        : QStringLiteral("нарушение"),
                             QString::fromStdString(M.Note)};
    for (int Column = 0; Column < 8; ++Column) {
      auto* Item = new QTableWidgetItem(Cells[Column]);
      if (Column == 6 && Any) Item->setForeground(M.Pass() ? QColor(0, 128, 0) : QColor(192, 0, 0));
      TimingTable->setItem(Row, Column, Item);
    }
    ++Row;
  }
  TimingTable->resizeColumnsToContents();
  // Wide enough for every column, notes included, as far as the screen goes.
  int Width = 2 * TimingTable->frameWidth() + 24;
  for (int Column = 0; Column < TimingTable->columnCount(); ++Column) Width += TimingTable->columnWidth(Column);
  const QRect Screen = screen() != nullptr ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
  TimingDialog->resize(std::min(Width, Screen.width() - 40), TimingDialog->height());
  TimingDialog->show();
  TimingDialog->raise();
}

void TForm1::UpdateRecordControls() {
  ButtonRecord->setText(Record.Recording() ? QStringLiteral("Остановить запись") : QStringLiteral("Записать сеанс..."));
  // A record that is being read is neither cleared nor read twice.
  ButtonRecord->setEnabled(!Busy);
  ButtonSave->setEnabled(!Busy);
  ButtonTiming->setEnabled(!Busy);
  QString Text;
  if (Record.Recording()) Text = QStringLiteral("Идёт запись: событий %1").arg(Record.Count());
  else if (Record.Count() > 0) Text = QStringLiteral("Записано событий: %1").arg(Record.Count());
  if (Record.LeftOut() > 0) Text += QStringLiteral(", не поместилось: %1").arg(Record.LeftOut());
  if (Busy) Text += QStringLiteral(" (сохранение...)");
  LabelRecord->setText(Text);
}
