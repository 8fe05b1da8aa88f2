#pragma once
// Plays a scenario on a clock that the caller gives (milliseconds of a
// monotonic clock), so that the window plays it in real time and tests play
// it without waiting. The player only says where the scenario stands and
// which values its tracks give there; the window writes them into the edit
// fields (GaugeFieldText gives the texts) at least 20 times a second. No Qt.
//
// Time runs Speed times as fast as the clock (1: real time). A scenario of
// Repeat passes runs through its pass Repeat times, then is finished and
// stands at the end of the last pass.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "scenario.h"

// A value for each quantity that has a track, by FieldIndex.
using TFieldValues = std::array<std::optional<double>, EcuFieldCount>;

enum class TPlayState : uint8_t { Stopped, Playing, Paused, Finished };

class TScenarioPlayer {
public:
  using TClock = std::function<int64_t()>;
  static constexpr double MinSpeed = 0.01;
  static constexpr double MaxSpeed = 1000;

  TScenarioPlayer(TScenario Scenario, TClock ClockMs);

  const TScenario& Scenario() const { return FScenario; }

  // Stopped or finished: plays from the start. Paused: resumes. Playing:
  // does nothing.
  void Play();
  // Playing: holds the position. Otherwise does nothing.
  void Pause();
  // Paused: plays on from the position held. Otherwise does nothing.
  void Resume();
  // Back to the start of the first pass, not playing.
  void Stop();
  // Factor MinSpeed..MaxSpeed (1: real time); another factor is refused
  // (false). Time played so far stays as it is.
  bool SetSpeed(double Factor);
  double Speed() const { return FSpeed; }

  TPlayState State() const;
  bool Finished() const { return State() == TPlayState::Finished; }
  // Milliseconds of scenario time played, all passes (0 .. TotalMs).
  int64_t ElapsedMs() const;
  int64_t TotalMs() const { return FTotalMs; }
  int64_t PassMs() const { return FPassMs; }
  // Milliseconds within the current pass (PassMs when finished).
  int64_t PositionMs() const;
  // The current pass, 1 .. Repeat.
  int Pass() const;
  // The time that the rules' windows are measured in: the position within
  // the current pass; none when stopped (no scenario time runs).
  std::optional<int64_t> ScenarioTimeMs() const;

  // The tracks' values at a position within a pass.
  TFieldValues ValuesAt(int64_t PositionMs) const;
  TFieldValues Values() const { return ValuesAt(PositionMs()); }

private:
  double PlayedMs() const;  // scenario time, not yet limited to TotalMs

  TScenario FScenario;
  TClock FClock;
  int64_t FPassMs;
  int64_t FTotalMs;
  double FSpeed = 1;
  TPlayState FState = TPlayState::Stopped;  // Finished is never stored
  double FDoneMs = 0;                       // scenario time played up to FAnchorMs
  int64_t FAnchorMs = 0;                    // clock time of the last start, resume or speed change
};

// Milliseconds of the steady clock: the clock for real-time play.
int64_t SteadyClockMs();

// Value as the gauge of Field holds it after moving there: clamped to the
// gauge's range and put on its grid of 1001 positions (a single-precision
// value).
float GaugeGridValue(TEcuField Field, double Value);

// The text that the gauge's handler writes into the edit field when the
// gauge moves to Value: the grid value as a whole number (rounded half to
// even) for VSS TOG RPM ATP IMAP IAT, with one decimal for Dv and two for
// Ubat, with the locale's decimal separator.
std::string GaugeFieldText(TEcuField Field, double Value);
