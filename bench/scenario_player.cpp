#include "scenario_player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "numtext.h"

TScenarioPlayer::TScenarioPlayer(TScenario Scenario, TClock ClockMs)
    : FScenario(std::move(Scenario)),
      FClock(std::move(ClockMs)),
      FPassMs(FScenario.PassMs()),
      FTotalMs(FPassMs * FScenario.Repeat) {}

double TScenarioPlayer::PlayedMs() const {
  if (FState != TPlayState::Playing) return FDoneMs;
  const int64_t Now = FClock();
  const double Delta = Now > FAnchorMs ? static_cast<double>(Now - FAnchorMs) : 0.0;
  return FDoneMs + Delta * FSpeed;
}

void TScenarioPlayer::Play() {
  switch (State()) {
    case TPlayState::Playing: return;
    case TPlayState::Paused: Resume(); return;
    case TPlayState::Stopped:
    case TPlayState::Finished:
      FDoneMs = 0;
      FAnchorMs = FClock();
      FState = TPlayState::Playing;
      return;
  }
}

void TScenarioPlayer::Pause() {
  if (State() != TPlayState::Playing) return;
  FDoneMs = PlayedMs();
  FState = TPlayState::Paused;
}

void TScenarioPlayer::Resume() {
  if (FState != TPlayState::Paused) return;
  FAnchorMs = FClock();
  FState = TPlayState::Playing;
}

void TScenarioPlayer::Stop() {
  FState = TPlayState::Stopped;
  FDoneMs = 0;
}

bool TScenarioPlayer::SetSpeed(double Factor) {
  if (!(Factor >= MinSpeed && Factor <= MaxSpeed)) return false;
  if (FState == TPlayState::Playing) {
    FDoneMs = PlayedMs();
    FAnchorMs = FClock();
  }
  FSpeed = Factor;
  return true;
}

TPlayState TScenarioPlayer::State() const {
  if (FState == TPlayState::Playing && PlayedMs() >= static_cast<double>(FTotalMs)) return TPlayState::Finished;
  return FState;
}

int64_t TScenarioPlayer::ElapsedMs() const {
  const double Played = std::floor(PlayedMs());
  return Played >= static_cast<double>(FTotalMs) ? FTotalMs : static_cast<int64_t>(Played);
}

int64_t TScenarioPlayer::PositionMs() const {
  if (FPassMs == 0) return 0;
  const int64_t Elapsed = ElapsedMs();
  if (Elapsed >= FTotalMs) return FPassMs;
  return Elapsed % FPassMs;
}

int TScenarioPlayer::Pass() const {
  const int64_t Elapsed = ElapsedMs();
  if (FPassMs == 0 || Elapsed >= FTotalMs) return State() == TPlayState::Finished ? FScenario.Repeat : 1;
  return static_cast<int>(Elapsed / FPassMs) + 1;
}

std::optional<int64_t> TScenarioPlayer::ScenarioTimeMs() const {
  if (FState == TPlayState::Stopped) return std::nullopt;
  return PositionMs();
}

TFieldValues TScenarioPlayer::ValuesAt(int64_t PositionMs) const {
  TFieldValues Values;
  const double TimeS = static_cast<double>(PositionMs) / 1000.0;
  for (int I = 0; I < EcuFieldCount; ++I) {
    if (FScenario.Tracks[I]) Values[I] = FScenario.Tracks[I]->ValueAt(TimeS);
  }
  return Values;
}

int64_t SteadyClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

float GaugeGridValue(TEcuField Field, double Value) {
  constexpr long double GridSpan = 1000;  // grid positions 0 .. 1000
  const TGaugeRange R = GaugeRange(Field);
  // The gauge keeps single-precision values and bounds.
  const long double From = static_cast<float>(R.From);
  const long double To = static_cast<float>(R.To);
  long double V = static_cast<float>(Value);
  V = std::clamp(V, From, To);
  const long long Digit = RoundHalfEven((V - From) * (GridSpan / (To - From)));
  return static_cast<float>(static_cast<long double>(Digit) * ((To - From) / GridSpan) + From);
}

std::string GaugeFieldText(TEcuField Field, double Value) {
  const long double V = GaugeGridValue(Field, Value);
  switch (Field) {
    case TEcuField::Dv: return FormatNumber(V, 7, 1);
    case TEcuField::Ubat: return FormatNumber(V, 7, 2);
    default: return RoundToText(V);
  }
}
