#pragma once
// TForm1, the tester window: the eight parameter edit fields whose texts the
// emulated control unit reports, the fault code list, the identification
// fields, the traffic monitor, the About text, the three variant buttons and
// the serial port VaComm1, whose receive events run the emulator.
//
// The window is the emulator's panel: the emulator reads the field texts,
// ticks, variant and monitor switches through TEcuPanel at the moment it
// answers, and appends the monitor lines.

#include <QElapsedTimer>
#include <QPointer>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "ecu_emulator.h"
#include "ecu_interfaces.h"
#include "ecu_port_adapter.h"
#include "session_record.h"
#include "vacomm.h"
#include "vakeeper.h"

class QCheckBox;
class QDialog;
class QPushButton;
class QTableWidget;
struct TTimingVerdict;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTimer;
class TLineReport;
class TMonitorView;
class QTabWidget;
class TQtSynchronizer;
class TScenarioPanel;
class TAbAnalogCControl;
class TAbDial;
class TAbToggleSwitch;
class TAbVSlider;

// A flat tool bar button with an Indeterminate state, drawn greyed while set.
// Clicks still arrive while it is set.
class TToolButton : public QToolButton {
  Q_OBJECT
public:
  explicit TToolButton(const QString& Caption, QWidget* Parent);
  bool Indeterminate() const { return FIndeterminate; }
  // Setting it releases the pressed state.
  void SetIndeterminate(bool Value);
  // The width that shows the whole caption in the button's font and style.
  int CaptionWidth() const;

signals:
  void IndeterminateChanged(bool Value);

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  bool FIndeterminate = false;
};

class TForm1 : public QWidget, public TEcuPanel {
  Q_OBJECT
public:
  // Creates the window hidden, with VaComm1 closed, and runs FormCreate.
  TForm1();
  ~TForm1() override;

  // The window that FormClose closes (the COM port dialog, the program's
  // main window).
  void SetPortDialog(QWidget* Dialog) { PortDialog = Dialog; }

  // Event handlers.
  void FormCreate();
  // The session record's commands on the tab "Контроль KWP".
  void ButtonRecordClick();
  void ButtonSaveClick();
  void ButtonTimingClick();
  // Saves the record so far to Path (CSV, or JSON Lines for ".jsonl") on a
  // thread of its own; SessionSaved follows. ButtonSaveClick asks for Path.
  void SaveSession(const QString& Path);
  void FormClose();
  void HyundayType1Click();
  void HyundayType2Click();
  void HyundayType3Click();
  void VaComm1RxChar(TVaCustomComm* Sender, int Count);

  // Gauge panel handlers (gauge_panel.cpp): gauge to edit field, edit field
  // to gauge on Enter (the key character kEnter), and on focus entry for
  // EditTOG, EditRPM and EditIAT.
  static constexpr char16_t kEnter = 13;
  void AbDialVSSValueChange(TAbAnalogCControl* Sender);
  void AbVSliderTOGValueChange(TAbAnalogCControl* Sender);
  void AbDialRPMValueChange(TAbAnalogCControl* Sender);
  void AbVSliderATPValueChange(TAbAnalogCControl* Sender);
  void AbVSliderDvValueChange(TAbAnalogCControl* Sender);
  void AbVSliderIMAPValueChange(TAbAnalogCControl* Sender);
  void AbVSliderIATValueChange(TAbAnalogCControl* Sender);
  void AbVSliderUbatValueChange(TAbAnalogCControl* Sender);
  void EditVSSKeyPress(QLineEdit* Sender, QChar& Key);
  void EditATPKeyPress(QLineEdit* Sender, QChar& Key);
  void EditDvKeyPress(QLineEdit* Sender, QChar& Key);
  void EditUbatKeyPress(QLineEdit* Sender, QChar& Key);
  void EditIMAPKeyPress(QLineEdit* Sender, QChar& Key);
  void Edit10Change(QLineEdit* Sender);
  void Edit11Change(QLineEdit* Sender);
  void EditIATEnter(QLineEdit* Sender);

  // The edit field of a quantity.
  QLineEdit* ParameterEdit(TEcuField Field) const;

  // TEcuPanel
  std::string FieldText(TEcuField Field) const override;
  int FaultCodeCount() const override;
  std::string FaultCodeText(int Index) const override;
  bool FaultCodeChecked(int Index) const override;
  int ActiveVariant() const override;
  bool PauseChecked() const override;
  bool NoAnswerChecked() const override;
  void AppendMonitorLine(const std::string& Line) override;

  // Direct children, in creation order.
  QLabel* LabelDoors;  // "Состояние пассажирских дверей"
  TAbToggleSwitch* AbToggleSwitch6;
  QTabWidget* PageControl1;
  QWidget* ToolBar1;
  TToolButton* HyundayType1 = nullptr;
  TToolButton* HyundayType2 = nullptr;
  TToolButton* HyundayType3 = nullptr;

  // The tabs, in their order.
  QWidget* TabSheet1;  // "Параметры ЭСУД": the gauges
  QWidget* TabSheet2;  // "Ошибки ЭСУД"
  QWidget* TabSheet4;  // "Расширенные параметры ЭСУД"
  QWidget* TabSheet6;  // "Идентификация ЭСУД"
  QWidget* TabSheet3;  // "Контроль KWP"
  QWidget* TabSheet7;  // "О программе"
  QWidget* TabSheet8;  // "Сценарий"

  QListWidget* CheckListBox1;
  QLineEdit* EditVSS;
  QLineEdit* EditTOG;
  QLineEdit* EditRPM;
  QLineEdit* EditATP;
  QLineEdit* EditDv;
  QLineEdit* EditIMAP;
  QLineEdit* EditIAT;
  QLineEdit* EditUbat;
  QLineEdit* Edit2;
  QLineEdit* Edit3;
  QLineEdit* Edit4;
  QLineEdit* Edit5;
  QLineEdit* Edit6;
  QLineEdit* Edit7;
  QLineEdit* Edit37;
  TMonitorView* Memo1;   // the traffic monitor
  QCheckBox* CheckBox1;  // "Pause"
  QCheckBox* CheckBox3;  // "Нет ответа"
  // On the tool bar right of the variant buttons: the port, its state and the
  // counts of frames received and answers sent.
  QLabel* StatusLine = nullptr;
  // The session record and its commands, right of the two check boxes.
  TSessionRecord Record;
  QPushButton* ButtonRecord;   // "Записать сеанс..." / "Остановить запись"
  QPushButton* ButtonSave;     // "Сохранить сеанс..."
  QPushButton* ButtonTiming;   // "Временные параметры..."
  QCheckBox* CheckBoxAnswers;  // "Показывать ответы"
  QLabel* LabelRecord;
  QDialog* TimingDialog = nullptr;
  QTableWidget* TimingTable = nullptr;
  // Reports from the receive path (conversion and port errors, a lost
  // device): shown without holding up the line, each message once.
  TLineReport* LineReport;
  QPlainTextEdit* Memo2;
  // The tab "Сценарий": scenarios, faults on cue, expected readings.
  TScenarioPanel* ScenarioPanel = nullptr;

  // The gauges on TabSheet1.
  TAbDial* AbDialVSS;
  TAbVSlider* AbVSliderTOG;
  TAbDial* AbDialRPM;
  TAbVSlider* AbVSliderATP;
  TAbVSlider* AbVSliderDv;
  TAbVSlider* AbVSliderIMAP;
  TAbVSlider* AbVSliderIAT;
  TAbVSlider* AbVSliderUbat;

signals:
  // A save has ended, written or not (the reason was reported then).
  void SessionSaved(const QString& Path, bool Written);
  // The record's worker thread is done with the record; queued to the
  // window thread, which runs what the worker left in RecordResult.
  void RecordWorkDone();

protected:
  void closeEvent(QCloseEvent* Event) override;

private:
  void CreateToolBar();
  void CreateDoorsSwitch();
  void CreateGaugePanel();
  // The loading step of the doors switch and the gauges, once every stored
  // property is assigned.
  void GaugePanelLoaded();
  // The edit field texts of the gauges' start values.
  void WriteGaugeStartTexts();
  void CreateFaultCodeTab();
  void CreateParameterTab();
  void CreateIdentificationTab();
  void CreateMonitorTab();
  void CreateAboutTab();
  void SetUpVaComm1();
  void SelectVariant(TToolButton* Clicked, TToolButton* Other1, TToolButton* Other2);
  void CreateStatusLine();
  // Places the variant buttons and the status line along the tool bar, the
  // buttons as wide as their captions need; again when its font changes.
  void LayOutToolBar();
  void CreateSessionControls();
  void WatchOperatorChanges();
  void UpdateRecordControls();
  void ShowTiming(const TTimingVerdict& Verdict);
  // Runs the port keeper and brings the status line up to date; called by
  // StatusTimer.
  void UpdateStatusLine();
  void PortStateChanged(TVaKeeperState State, const std::string& Text);

  std::shared_ptr<TQtSynchronizer> Synchronizer;
  // The port as the emulator sees it.
  TEcuPortAdapter Port;
  // What the emulator does, to the session record and to the monitor's
  // shown answers.
  class TEcuTee : public TEcuObserver {
  public:
    explicit TEcuTee(TForm1& Form) : Form(Form) {}
    void FrameReceived(const uint8_t* Bytes, int Count, const int64_t* PieceTimes, int Pieces) override;
    void FrameOutcome(TEcuOutcome Outcome) override { Form.Record.FrameOutcome(Outcome); }
    void AnswerSent(const uint8_t* Bytes, int Count) override;
    void BytesDropped(const uint8_t* Bytes, int Count, int64_t Arrival, TEcuOutcome Why) override {
      Form.Record.BytesDropped(Bytes, Count, Arrival, Why);
    }

  private:
    TForm1& Form;
  };
  TEcuTee Tee{*this};
  // Saves and judges the record off the window thread. The worker leaves
  // what the window does with its result in RecordResult and emits
  // RecordWorkDone; the lock hands the result over and orders the worker's
  // reads of the record before what the window thread does next, in a way
  // that a thread sanitizer sees (Qt's queue orders them too, inside Qt).
  std::thread RecordWorker;
  bool Busy = false;
  std::mutex RecordResultLock;
  std::function<void()> RecordResult;
  // Worker thread: hands Result over and signals the window thread.
  void FinishRecordWork(std::function<void()> Result);
  // Window thread: runs the result handed over.
  void RecordWorkFinished();
  // The arrival time of the frame whose monitor line comes next.
  int64_t MonitorLineTime = 0;
  QTimer* StatusTimer = nullptr;
  QElapsedTimer KeeperClock;
  QString StatusText;
  QPointer<QWidget> PortDialog;

public:
  // The emulator and the port: the port is destroyed first (closing the
  // device), while the emulator its receive handler calls still exists.
  TEcuEmulator Emulator;
  TVaComm VaComm1;
  // Opens VaComm1 again when its device comes back after a loss; destroyed
  // before the port.
  std::unique_ptr<TVaPortKeeper> Keeper;
};
