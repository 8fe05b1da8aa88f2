#include "builtin_scenarios.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace {

const char* const SweepText = R"json({
  "name": "Проверка шкал",
  "tracks": {
    "VSS":  {"sweep": {"from": 0,   "to": 250,   "step": 25,   "dwell": 2, "start": 1,   "rest": 0}},
    "TOG":  {"sweep": {"from": -40, "to": 160,   "step": 20,   "dwell": 2, "start": 24,  "rest": 90}},
    "RPM":  {"sweep": {"from": 0,   "to": 10000, "step": 1000, "dwell": 2, "start": 47,  "rest": 800}},
    "ATP":  {"sweep": {"from": 0,   "to": 100,   "step": 10,   "dwell": 2, "start": 70,  "rest": 0}},
    "IMAP": {"sweep": {"from": 0,   "to": 255,   "step": 25,   "dwell": 2, "start": 93,  "rest": 30}},
    "Dv":   {"sweep": {"from": 0,   "to": 25,    "step": 2.5,  "dwell": 2, "start": 118, "rest": 2.5}},
    "IAT":  {"sweep": {"from": -40, "to": 160,   "step": 20,   "dwell": 2, "start": 141, "rest": 25}},
    "Ubat": {"sweep": {"from": 0,   "to": 20,    "step": 2,    "dwell": 2, "start": 164, "rest": 14}}
  }
}
)json";

const char* const BadLineText = R"json({
  "name": "Плохая линия",
  "tracks": {
    "VSS":  {"points": [[0, 60], [70, 60]]},
    "TOG":  {"points": [[0, 90]]},
    "RPM":  {"points": [[0, 2000]]},
    "ATP":  {"points": [[0, 15]]},
    "IMAP": {"points": [[0, 45]]},
    "Dv":   {"points": [[0, 3.5]]},
    "IAT":  {"points": [[0, 25]]},
    "Ubat": {"points": [[0, 14]]}
  },
  "rules": [
    {"name": "нет ответа", "action": "no_answer", "from": 5, "to": 10},
    {"name": "ответ позже на 300 мс", "action": "late", "delay_ms": 300, "from": 10, "to": 15},
    {"name": "неверная контрольная сумма", "action": "bad_checksum", "from": 15, "to": 20},
    {"name": "ответ обрезан после 3 байт", "action": "cut", "cut_bytes": 3, "from": 20, "to": 25},
    {"name": "отказ 10", "service": "21", "action": "negative", "code": "10", "from": 25, "to": 30},
    {"name": "отказ 11", "service": "21", "action": "negative", "code": "11", "from": 30, "to": 35},
    {"name": "отказ 12", "service": "21", "action": "negative", "code": "12", "from": 35, "to": 40},
    {"name": "отказ 21", "service": "21", "action": "negative", "code": "21", "from": 40, "to": 45},
    {"name": "отказ 22", "service": "21", "action": "negative", "code": "22", "from": 45, "to": 50},
    {"name": "отказ 31", "service": "21", "action": "negative", "code": "31", "from": 50, "to": 55},
    {"name": "ответ через 1 с после 78", "service": "21", "action": "negative", "code": "78",
     "pending_ms": 1000, "from": 55, "to": 60},
    {"name": "блок молчит 3 с", "action": "silent", "silent_ms": 3000, "from": 60, "to": 62}
  ]
}
)json";

// ---------------------------------------------------------------------------
// NEDC: the table of operations and the model of the car (builtin_scenarios.h)

enum class TOperation : uint8_t { Idle, Accelerate, Steady, Decelerate, DecelerateDeclutched, GearChange };

struct TCycleStep {
  TOperation Operation;
  int DurationS;
  double EndKmh;  // the speed at the end; it starts at the previous step's
  int Gear;       // engaged (a gear change: the one being engaged); 0 declutched
};

using enum TOperation;

// The elementary urban cycle ECE-15, 195 s (UNECE R83 Annex 4, Appendix 1,
// Table 1; R101 refers to it). The gear changes hold the speed; idle with the
// gear lever in neutral and with first gear engaged are both declutched.
constexpr TCycleStep UrbanCycle[] = {
    {Idle, 11, 0, 0},       {Accelerate, 4, 15, 1},          {Steady, 8, 15, 1},
    {Decelerate, 2, 10, 1}, {DecelerateDeclutched, 3, 0, 0}, {Idle, 21, 0, 0},
    {Accelerate, 5, 15, 1}, {GearChange, 2, 15, 2},          {Accelerate, 5, 32, 2},
    {Steady, 24, 32, 2},    {Decelerate, 8, 10, 2},          {DecelerateDeclutched, 3, 0, 0},
    {Idle, 21, 0, 0},       {Accelerate, 5, 15, 1},          {GearChange, 2, 15, 2},
    {Accelerate, 9, 35, 2}, {GearChange, 2, 35, 3},          {Accelerate, 8, 50, 3},
    {Steady, 12, 50, 3},    {Decelerate, 8, 35, 3},          {Steady, 13, 35, 3},
    {GearChange, 2, 35, 2}, {Decelerate, 7, 10, 2},          {DecelerateDeclutched, 3, 0, 0},
    {Idle, 7, 0, 0},
};

// The extra-urban cycle, 400 s, for a five-speed manual gearbox (R83 Annex 4,
// Appendix 1, Table 2).
constexpr TCycleStep ExtraUrbanCycle[] = {
    {Idle, 20, 0, 0},       {Accelerate, 5, 15, 1},   {GearChange, 2, 15, 2}, {Accelerate, 9, 35, 2},
    {GearChange, 2, 35, 3}, {Accelerate, 8, 50, 3},   {GearChange, 2, 50, 4}, {Accelerate, 13, 70, 4},
    {Steady, 50, 70, 5},    {Decelerate, 8, 50, 4},   {Steady, 69, 50, 4},    {Accelerate, 13, 70, 4},
    {Steady, 50, 70, 5},    {Accelerate, 35, 100, 5}, {Steady, 30, 100, 5},   {Accelerate, 20, 120, 5},
    {Steady, 10, 120, 5},   {Decelerate, 16, 80, 5},  {Decelerate, 8, 50, 5}, {DecelerateDeclutched, 10, 0, 0},
    {Idle, 20, 0, 0},
};

// The model of the car.
constexpr double IdleRpm = 800;
constexpr double RpmPerKmh[] = {0, 120, 65, 43, 32, 26};  // by gear
constexpr double MassKg = 1250;
constexpr double RollingN = 110;       // F0
constexpr double AirNPerKmh2 = 0.036;  // F2
constexpr double WheelRadiusM = 0.3;
constexpr double FullTorqueNm = 130;
constexpr double IdleDvMs = 2.5;
constexpr double FullDvMs = 10;
constexpr double IdleImapKpa = 30;
constexpr double FullImapKpa = 100;
constexpr double OverrunImapKpa = 20;

struct TEngine {
  double Rpm;
  double DvMs;
  double AtpPercent;
  double ImapKpa;
};

TEngine EngineAt(const TCycleStep& Step, double Kmh, double AccelMs2) {
  if (Step.Operation == Idle || Step.Operation == DecelerateDeclutched) {
    return {IdleRpm, IdleDvMs, 0, IdleImapKpa};
  }
  const double Rpm = std::max(IdleRpm, Kmh * RpmPerKmh[Step.Gear]);
  if (Step.Operation == GearChange) return {Rpm, IdleDvMs, 0, IdleImapKpa};
  const double ForceN = MassKg * AccelMs2 + RollingN + AirNPerKmh2 * Kmh * Kmh;
  if (ForceN <= 0) return {Rpm, 0, 0, OverrunImapKpa};
  // Wheel revolutions per minute at 1 km/h; the overall ratio turns the
  // gear's rpm per km/h into engine turns per wheel turn.
  const double WheelRpmPerKmh = 1000.0 / 60.0 / (2 * std::numbers::pi * WheelRadiusM);
  const double Ratio = RpmPerKmh[Step.Gear] / WheelRpmPerKmh;
  const double Load = std::clamp(ForceN * WheelRadiusM / Ratio / FullTorqueNm, 0.0, 1.0);
  return {Rpm, IdleDvMs + (FullDvMs - IdleDvMs) * Load, 100 * Load, IdleImapKpa + (FullImapKpa - IdleImapKpa) * Load};
}

std::string NumberText(double Value) {
  char Buffer[64];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  return std::string(Buffer, Result.ptr);
}

double Rounded(double Value, double Unit) { return std::round(Value / Unit) * Unit; }

// A points track of the file, eight points a line.
std::string PointsTrack(const std::vector<std::pair<double, double>>& Points) {
  std::string Text = "{\"interpolate\": \"linear\", \"points\": [";
  for (size_t I = 0; I < Points.size(); ++I) {
    if (I > 0) Text += I % 8 == 0 ? ",\n      " : ", ";
    Text += '[';
    Text += NumberText(Points[I].first);
    Text += ", ";
    Text += NumberText(Points[I].second);
    Text += ']';
  }
  return Text + "]}";
}

std::string NedcText() {
  std::vector<TCycleStep> Cycle;
  for (int I = 0; I < 4; ++I) Cycle.insert(Cycle.end(), std::begin(UrbanCycle), std::end(UrbanCycle));
  Cycle.insert(Cycle.end(), std::begin(ExtraUrbanCycle), std::end(ExtraUrbanCycle));

  // The speed: a point at each step's end, linear in between.
  std::vector<std::pair<double, double>> Speed = {{0, 0}};
  struct TSpan {
    int StartS;
    double StartKmh;
    const TCycleStep* Step;
  };
  std::vector<TSpan> Spans;
  int TimeS = 0;
  double Kmh = 0;
  for (const TCycleStep& Step : Cycle) {
    Spans.push_back({TimeS, Kmh, &Step});
    TimeS += Step.DurationS;
    Kmh = Step.EndKmh;
    Speed.emplace_back(TimeS, Kmh);
  }

  // The engine once a second, from the step that runs during that second
  // (the last step at the end).
  std::vector<std::pair<double, double>> Rpm, Dv, Atp, Imap;
  size_t Current = 0;
  for (int T = 0; T <= TimeS; ++T) {
    while (Current + 1 < Spans.size() && Spans[Current + 1].StartS <= T) ++Current;
    const TSpan& S = Spans[Current];
    const double AccelKmhPerS = (S.Step->EndKmh - S.StartKmh) / S.Step->DurationS;
    const double V = S.StartKmh + AccelKmhPerS * std::min(T - S.StartS, S.Step->DurationS);
    const TEngine E = EngineAt(*S.Step, V, AccelKmhPerS / 3.6);
    Rpm.emplace_back(T, Rounded(E.Rpm, 1));
    Dv.emplace_back(T, Rounded(E.DvMs, 0.01));
    Atp.emplace_back(T, Rounded(E.AtpPercent, 0.1));
    Imap.emplace_back(T, Rounded(E.ImapKpa, 0.1));
  }

  return "{\n  \"name\": \"NEDC\",\n  \"tracks\": {\n    \"VSS\": " + PointsTrack(Speed) +
         ",\n    \"RPM\": " + PointsTrack(Rpm) + ",\n    \"Dv\": " + PointsTrack(Dv) +
         ",\n    \"ATP\": " + PointsTrack(Atp) + ",\n    \"IMAP\": " + PointsTrack(Imap) +
         ",\n    \"TOG\": {\"points\": [[0, 90]]},\n    \"IAT\": {\"points\": [[0, 25]]},\n"
         "    \"Ubat\": {\"points\": [[0, 14]]}\n  }\n}\n";
}

}  // namespace

std::vector<std::string> BuiltinScenarioNames() { return {BuiltinSweepName, BuiltinNedcName, BuiltinBadLineName}; }

std::optional<std::string> BuiltinScenarioText(const std::string& Name) {
  if (Name == BuiltinSweepName) return SweepText;
  if (Name == BuiltinNedcName) return NedcText();
  if (Name == BuiltinBadLineName) return BadLineText;
  return std::nullopt;
}

TScenarioLoad LoadBuiltinScenario(const std::string& Name) {
  const auto Text = BuiltinScenarioText(Name);
  if (!Text) {
    TScenarioLoad Load;
    Load.Errors.push_back({0, "нет встроенного сценария \"" + Name + "\""});
    return Load;
  }
  return LoadScenario(*Text);
}
