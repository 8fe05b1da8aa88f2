#pragma once
// The tab "Сценарий" of the tester window: a scenario (a file or one of the
// built-ins) played into the parameter edit fields, faults on cue through
// the fault engine, a fault rule applied by hand, and the readings a trip
// computer should show, computed from the answers actually sent.
//
// Playing writes each tracked quantity's text into its edit field, as the
// gauge's handler would write it, and hands the text to the gauge the way
// the field's own Enter or focus handler does, 20 times a second. The
// emulator reads the fields as always; the operator may type into them while
// the scenario is paused.
//
// The fault engine is the emulator's answer filter only while it holds a
// rule (the scenario's or one applied by hand); without any rule the
// emulator has no filter and answers exactly as without this tab.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ecu_interfaces.h"
#include "ecu_port_adapter.h"
#include "fault_engine.h"
#include "scenario.h"
#include "scenario_player.h"
#include "trip_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimer;
class TForm1;
class TVaComm;

class TScenarioPanel : public QWidget, private TFaultListener {
  Q_OBJECT
public:
  // Updates a second while playing, and while not (readings, hit counts).
  static constexpr int PlayIntervalMs = 50;
  static constexpr int IdleIntervalMs = 250;

  // Fills Page (the tab) for the window Form.
  TScenarioPanel(TForm1& Form, QWidget* Page);
  ~TScenarioPanel() override;

  // Loads a scenario file or a built-in. Every error (with its line) is
  // shown in one message and nothing is loaded then: a scenario already
  // loaded stays as it was. A scenario that loads stops the one before.
  bool LoadFile(const QString& Path);
  bool LoadBuiltin(const QString& Name);

  // The play buttons. Play starts from the beginning (selecting the
  // scenario's variant and ticking its fault codes, restarting its rules'
  // counts and the trip) or resumes after Pause; while playing it does
  // nothing. Stop leaves the last values in the fields.
  void Play();
  void Pause();
  void Stop();
  // Factor of scenario time to real time, as the speed box offers it.
  bool SetSpeed(double Factor);

  // The rule that the hand controls describe: applied before the
  // scenario's rules, or the selected (else the latest) hand rule removed.
  // A control that does not make a rule is reported and nothing changes.
  bool ApplyRule();
  bool RemoveRule();
  // The fuel constants from their edit fields; bad input is reported and
  // the constants in use stay.
  bool ApplyFuelConstants();

  // What the timer does: the fields from the tracks while playing, then the
  // position, the readings and the rules' hits.
  void Tick();

  // Every answer the emulator hands to the port (the window's observer).
  void AnswerSent(const uint8_t* Bytes, int Count);

  // The clock of the players made from now on (milliseconds); tests give
  // one they move by hand.
  void SetClock(TScenarioPlayer::TClock ClockMs) { FClockMs = std::move(ClockMs); }

  const TScenarioPlayer* Player() const { return FPlayer.get(); }
  TFaultEngine& Engine() { return FEngine; }
  TTripFeed& TripFeed() { return FTripFeed; }
  // Hand rules in the engine, oldest first.
  size_t HandRuleCount() const { return FHandRuleIds.size(); }

  // Scenario controls.
  QComboBox* ComboBuiltin;     // the built-in scenarios
  QPushButton* ButtonBuiltin;  // "Загрузить"
  QPushButton* ButtonOpen;     // "Открыть файл..."
  QLabel* LabelName;
  QPushButton* ButtonPlay;
  QPushButton* ButtonPause;
  QPushButton* ButtonStop;
  QComboBox* ComboSpeed;
  QLabel* LabelTime;   // "mm:ss из mm:ss"
  QLabel* LabelPass;   // "1 из 3"
  QLabel* LabelState;  // "идёт", "пауза", ...
  QListWidget* ListWarnings;

  // A fault rule by hand.
  QComboBox* ComboAction;
  QLineEdit* EditParameter;
  QLabel* LabelParameter;  // the parameter's unit
  QComboBox* ComboCode;
  QLineEdit* EditService;
  QPushButton* ButtonApply;   // "Применить"
  QPushButton* ButtonRemove;  // "Снять"
  QListWidget* ListRules;     // every rule in the engine with its hits

  // The trip computer's constants and the expected readings.
  QRadioButton* RadioInjector;
  QRadioButton* RadioFactor;
  QLineEdit* EditFlow;
  QLineEdit* EditCylinders;
  QLineEdit* EditFactor;
  QPushButton* ButtonConstants;  // "Принять"
  QLabel* LabelDistance;
  QLabel* LabelTripTime;
  QLabel* LabelAverageSpeed;
  QLabel* LabelMaxSpeed;
  QLabel* LabelFuel;
  QLabel* LabelConsumption;
  QLabel* LabelSamples;  // how many answers the readings come from

private:
  QWidget* CreateScenarioGroup();
  QWidget* CreateRuleGroup();
  QWidget* CreateReadingsGroup();
  // A load that read without error is checked against the window (fault
  // codes in the list) and taken; the errors of one that is not are shown.
  bool Accept(TScenarioLoad Load, const QString& Source, const std::string& Text);
  void ShowLoadErrors(const QString& Source, const std::vector<TScenarioMessage>& Errors);
  void SelectVariantAndFaults(const TScenario& Scenario);
  // The scenario's rules put in the engine again (last), counting anew.
  void SetScenarioRules();
  // The engine is the filter while it holds a rule; none otherwise.
  void UpdateFilter();
  void WriteFields(const TFieldValues& Values);
  void ApplyToGauge(TEcuField Field);
  void ShowPosition();
  void ShowReadings();
  void ShowRules();
  void UpdateButtons();
  void ActionChanged();
  // Writes the held frames that are due and sets the timer for the next.
  void PollEngine();
  void SchedulePoll();

  // TFaultListener: to the session record, the monitor and the trip.
  void FaultHit(const TFaultRule& Rule, size_t Index, uint64_t Hits, int64_t NowUs) override;
  void FaultFrameSent(const uint8_t* Bytes, int Count, int64_t NowUs) override;

  TForm1& FForm;
  TEcuPortAdapter FPort;  // the port as the fault engine writes to it
  TFaultEngine FEngine;
  TTripFeed FTripFeed;
  TScenarioPlayer::TClock FClockMs;
  std::unique_ptr<TScenarioPlayer> FPlayer;
  double FSpeed = 1;
  uint64_t FSamplesAtStart = 0;  // the trip feed's count at the last start
  std::vector<uint64_t> FScenarioRuleIds;
  std::vector<uint64_t> FHandRuleIds;
  // The final values of a finished run are written once.
  bool FFinalWritten = false;
  QTimer* FTimer;
  QTimer* FPollTimer;
};
