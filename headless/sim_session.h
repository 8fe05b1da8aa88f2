#pragma once
// The emulated unit without a window: the emulator with its panel state, the
// session record, the fault engine and a scenario player, driven by control
// lines and timers and reporting through lines of text. The program
// (main.cpp) puts a real port and its threads around it; tests drive it with
// a fake port and a clock of their own. No Qt.
//
// Output lines: the answer to each control line ("OK ..." or "ERROR ..."),
// and JSON objects, one a line, for what happens meanwhile: with events on,
// every frame received (after it has been handled, with its outcome), every
// answer sent, bytes dropped, fault rule hits and conversion errors; always
// the port's state changes and the end of a scenario. A line that begins
// with "{" is such an object, any other is an answer.
//
// Two records listen: the run's record, kept from start to end for the
// timing verdict of the summary, and the record that a command or an option
// starts and that is written to a file when it stops.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ecu_emulator.h"
#include "fault_engine.h"
#include "scenario_player.h"
#include "session_record.h"
#include "sim_commands.h"
#include "sim_panel.h"

// Counts since the start of the run.
struct TSimCounters {
  uint64_t FramesReceived = 0;    // physical frames (monitor lines)
  uint64_t AnswersSent = 0;       // frames handed to the port, held ones included
  uint64_t ConversionErrors = 0;  // requests left unanswered for a bad field text
  uint64_t PortErrors = 0;        // failures the port reported
  uint64_t FragmentsDropped = 0;  // requests broken off by a silence
  uint64_t FaultHits = 0;         // requests a fault rule took
};

// Checks asked for on the command line; a failed one makes the exit status 1.
struct TSimChecks {
  bool NoTimingViolations = false;
  bool NoConversionErrors = false;
  std::optional<uint64_t> MinAnswers;
};

struct TSimEnd {
  std::string SummaryLine;  // "SUMMARY {...}"
  int ExitStatus = 0;       // 0, or 1 when a check failed or a record was not written
};

class TSimSession : private TEcuObserver, private TFaultListener {
public:
  using TOutput = std::function<void(const std::string& Line)>;
  using TClock = std::function<int64_t()>;
  // How often the fields follow a playing scenario.
  static constexpr int64_t ScenarioTickUs = 50'000;

  // Clock: microseconds of the port's clock (VaMonotonicMicros).
  TSimSession(TEcuPort& Port, TOutput Output, TClock ClockUs);
  ~TSimSession() override;
  TSimSession(const TSimSession&) = delete;
  TSimSession& operator=(const TSimSession&) = delete;

  TSimPanel& Panel() { return FPanel; }
  TEcuEmulator& Emulator() { return FEmulator; }
  const TSessionRecord& RunRecord() const { return FRunRecord; }
  TSimCounters Counters() const;

  // One receive event of the port. A conversion error is counted and
  // reported here; a port error leaves as the exception it is.
  void RxChar(int Count);
  // A failure the port reported outside the emulator.
  void PortError(const std::string& Message);
  // The port's state changed ("open", "lost", "reopening", "closed").
  void PortState(const std::string& State, const std::string& Text);

  // A control line: its answer goes to Output.
  void HandleLine(const std::string& Line);
  // A parsed command; returns its answer line.
  std::string Execute(const TSimCommand& Command);
  bool QuitAsked() const { return FQuit; }
  void SetEvents(bool On) { FEvents = On; }

  // A scenario file, or "builtin:NAME"; returns what is wrong (empty: it is
  // loaded, not yet playing). Codes the list lacks and rules the engine
  // cannot apply are errors, as in the window.
  std::string LoadScenario(const std::string& Source);
  bool SetScenarioSpeed(double Factor);
  const TScenarioPlayer* Player() const { return FPlayer.get(); }

  // Starts a record to be written to Path when it stops (CSV, or JSON Lines
  // for .jsonl); returns what is wrong, empty on success.
  std::string StartRecord(const std::string& Path);
  bool Recording() const { return FFileRecord.Recording(); }

  // Timers: the fields of a playing scenario, held answers that are due.
  void Tick();
  // When Tick has something to do next; none when nothing waits.
  std::optional<int64_t> NextWakeUs() const;

  // The end of the run: the scenario stops, a running record is written,
  // the run is judged. Reason: "quit", "end of input", "SIGTERM", ...
  TSimEnd Finish(const std::string& Reason, const TSimChecks& Checks);

private:
  // TEcuObserver
  void FrameReceived(const uint8_t* Bytes, int Count, const int64_t* PieceTimes, int Pieces) override;
  void FrameOutcome(TEcuOutcome Outcome) override;
  void AnswerSent(const uint8_t* Bytes, int Count) override;
  void BytesDropped(const uint8_t* Bytes, int Count, int64_t Arrival, TEcuOutcome Why) override;
  // TFaultListener
  void FaultHit(const TFaultRule& Rule, size_t Index, uint64_t Hits, int64_t NowUs) override;
  void FaultFrameSent(const uint8_t* Bytes, int Count, int64_t NowUs) override;

  void Event(const std::string& Json);
  void Change(const std::string& What);
  std::string TxEvent(const uint8_t* Bytes, int Count, int64_t TimeUs) const;
  double Ms(int64_t TimeUs) const { return static_cast<double>(TimeUs - FStartUs) / 1000.0; }
  void SetField(TEcuField Field, const std::string& Text);
  void SetVariant(int Variant);
  std::string Tick(const TSimCommand& Command, bool Ticked);
  std::string AddRule(const TFaultRule& Rule);
  std::string RemoveRule(uint64_t Id);
  void UpdateFilter();
  std::string PlayScenario();
  std::string StopRecord();
  std::string SaveRecord(const std::string& Path, const TSessionRecord& Record, std::string& Verdict);
  std::string CountersJson() const;
  std::string ValuesJson() const;

  TClock FClock;
  TOutput FOutput;
  TSimPanel FPanel;
  TEcuEmulator FEmulator;
  TFaultEngine FEngine;
  TSessionRecord FRunRecord;
  TSessionRecord FFileRecord;
  std::string FRecordPath;
  std::unique_ptr<TScenarioPlayer> FPlayer;
  double FSpeed = 1;
  bool FFinalWritten = true;
  int64_t FNextTickUs = 0;
  std::vector<uint64_t> FScenarioRuleIds;
  std::vector<uint64_t> FHandRuleIds;
  int64_t FStartUs = 0;
  bool FEvents = false;
  bool FQuit = false;
  TSimCounters FCounts;
  // The frame being handled: its event line waits for the outcome, and the
  // answers sent meanwhile follow it.
  bool FFramePending = false;
  int64_t FFrameTime = 0;
  std::string FFrameBytes;
  std::vector<std::string> FPendingTx;
};
