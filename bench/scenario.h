#pragma once
// A scenario: values that move by themselves, the fault codes and variant to
// set, and a schedule of faults, read from a JSON file (UTF-8). No Qt.
//
// The file is one JSON object:
//
//   {
//     "name": "Городской цикл",
//     "variant": 2,
//     "faults": ["0105", "03a0"],
//     "repeat": 2,
//     "tracks": {
//       "VSS": {"interpolate": "linear", "points": [[0, 0], [10.5, 50], [20, 50], [30, 0]]},
//       "RPM": {"interpolate": "hold", "points": [[0, 800], [5, 2500], [25, 800]]},
//       "TOG": {"sweep": {"from": -40, "to": 160, "step": 10, "dwell": 1.0}},
//       "Ubat": {"sweep": {"from": 14, "to": 10, "step": 0.5, "dwell": 2, "start": 5, "rest": 14}}
//     },
//     "rules": [
//       {"service": "21", "identifier": "06", "every": 3, "from": 10, "to": 20,
//        "action": "late", "delay_ms": 200},
//       {"service": "18", "action": "negative", "code": "78", "pending_ms": 1500},
//       {"name": "тишина", "action": "silent", "silent_ms": 3000, "from": 25, "to": 25.5},
//       {"action": "cut", "cut_bytes": 0, "every": 10}
//     ]
//   }
//
// Keys of the object:
//   name     required, a non-empty string: shown in the window.
//   variant  optional, the integer 1, 2 or 3: the unit variant to select.
//   faults   optional, an array of fault codes to tick, each a string of four
//            hexadecimal digits ("0105").
//   repeat   optional, the integer number of passes, 1..1000 (default 1).
//   tracks   required, an object with at least one track. Its keys are the
//            quantities VSS TOG RPM ATP IMAP Dv IAT Ubat; a quantity without
//            a track is left as the operator set it. A track is either
//              {"points": [[t, v], ...], "interpolate": "linear" | "hold"}
//            with times t in seconds (0..360000, strictly increasing) and
//            values v, linearly interpolated between points or held until the
//            next point ("linear" when not given); or
//              {"sweep": {"from": a, "to": b, "step": s, "dwell": d,
//                         "start": t0, "rest": r}}
//            which visits a, a+s, a+2s, ... towards b (downwards when b < a),
//            holding each value d seconds, the last step landing exactly on b
//            even when b-a is not a multiple of s; it begins at t0 seconds
//            (default 0). Before the sweep begins and after it ends the track
//            holds r when "rest" is given, else a before and b after.
//            Before its first point a track holds its first value, after its
//            end its last value.
//   rules    optional, an array of fault rules, each an object:
//              service, identifier  optional, a byte as two hex digits ("21"):
//                                   the request's service and local identifier
//              every                optional, integer >= 1: every N-th matching
//                                   request (default 1, each)
//              from, to             optional, seconds of the pass (0..360000,
//                                   to > from): the rule holds in [from, to)
//              action               required: "no_answer", "late", "bad_checksum",
//                                   "cut", "negative" or "silent"
//              delay_ms             "late" only, required, 1..60000
//              cut_bytes            "cut" only, required, 0..259 bytes sent
//                                   (0: nothing is sent)
//              code                 "negative" only, required, one of "10" "11"
//                                   "12" "21" "22" "31" "78"
//              pending_ms           "negative" with code "78" only, 1..5000
//                                   (default 1000): when the real answer follows
//              silent_ms            "silent" only, required, 1..600000
//              name                 optional, a string shown for the rule
//
// The length of one pass is the latest end of any track: the time of its last
// point, or a sweep's start plus its number of values times its dwell.
//
// Every value outside its gauge's range (VSS 0..250, TOG -40..160, RPM
// 0..10000, ATP 0..100, Dv 0..25, IMAP 0..255, IAT -40..160, Ubat 0..20) is
// clamped to it as the gauge clamps, with a warning naming its line; the file
// still loads. A rule without any condition (it takes every request all the
// time) and a rule whose window opens at or after the end of the pass (it
// never acts) are warned of too. Anything else that is wrong is an error with
// its line and what was expected, in Russian; unknown and repeated keys are
// errors too (a typo must not be ignored). A file with any error gives no
// scenario, only its errors. A file over 16 MiB, or with more than 1 000 000
// points in all (the values of sweeps counted), is refused: its size is
// checked before it is read, its points are counted while it is parsed.
//
// The lines: nlohmann-json keeps no positions, so the text is handed to it
// through an iterator that counts line feeds, and the parser's callback notes
// the line of every value as it is parsed; a syntax error's line comes from
// the byte offset nlohmann reports.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ecu_interfaces.h"
#include "fault_rule.h"

// The eight quantities, in the order of TEcuField.
constexpr int EcuFieldCount = 8;
constexpr int FieldIndex(TEcuField Field) { return static_cast<int>(Field); }
// "VSS", "TOG", ...: the names used in the file.
const char* FieldName(TEcuField Field);
std::optional<TEcuField> FieldFromName(const std::string& Name);

// The range of a quantity's gauge: values outside it are clamped.
struct TGaugeRange {
  double From = 0;
  double To = 0;
};
TGaugeRange GaugeRange(TEcuField Field);

enum class TInterpolation : uint8_t { Linear, Hold };

struct TTrackPoint {
  double TimeS = 0;
  double Value = 0;
};

struct TSweep {
  double From = 0;
  double To = 0;
  double Step = 1;             // > 0; the direction comes from From and To
  double DwellS = 1;           // > 0: how long each value is held
  double StartS = 0;           // when the first value begins
  std::optional<double> Rest;  // held before the start and after the end

  // Values visited, From and To included (1 when From equals To).
  int64_t ValueCount() const;
  // The Index-th value visited (0 .. ValueCount()-1); the last one is To.
  double ValueOf(int64_t Index) const;
};

// One quantity's course in time: points or a sweep.
struct TTrack {
  bool IsSweep = false;
  TInterpolation Interpolation = TInterpolation::Linear;
  std::vector<TTrackPoint> Points;  // not a sweep: at least one, times increasing
  TSweep Sweep;                     // a sweep

  // The value at TimeS seconds (any time, negative ones included).
  double ValueAt(double TimeS) const;
  // When the track stops changing, in seconds.
  double EndS() const;
};

struct TScenario {
  std::string Name;
  std::optional<int> Variant;                               // 1..3; none: the window's stays
  std::vector<std::string> FaultCodes;                      // four upper-case hex digits each
  int Repeat = 1;                                           // passes, 1..1000
  std::array<std::optional<TTrack>, EcuFieldCount> Tracks;  // by FieldIndex
  std::vector<TFaultRule> Rules;

  const std::optional<TTrack>& Track(TEcuField Field) const { return Tracks[FieldIndex(Field)]; }
  // The length of one pass in milliseconds (the latest end of any track).
  int64_t PassMs() const;
};

// One message of the reader. Text is complete ("строка 7: ..."); Line is 0
// when the message concerns the whole file.
struct TScenarioMessage {
  int Line = 0;
  std::string Text;
};

// What the reader made of a file: the scenario (only when there is no
// error), the warnings about clamped values, and the errors.
struct TScenarioLoad {
  std::optional<TScenario> Scenario;
  std::vector<TScenarioMessage> Warnings;
  std::vector<TScenarioMessage> Errors;
};

constexpr size_t MaxScenarioBytes = 16u * 1024u * 1024u;
constexpr int64_t MaxScenarioPoints = 1'000'000;
constexpr double MaxScenarioTimeS = 360'000;  // 100 hours
// At most this many errors and as many warnings are listed; a last message
// says how many more there were.
constexpr size_t MaxScenarioMessages = 100;

// What a file may hold; smaller limits let tests reach them cheaply.
struct TScenarioLimits {
  size_t MaxBytes = MaxScenarioBytes;
  int64_t MaxPoints = MaxScenarioPoints;  // points of all tracks and values of all sweeps
};

// Reads a scenario from its JSON text.
TScenarioLoad LoadScenario(const std::string& Text, const TScenarioLimits& Limits = {});
// Reads a scenario file (its path in UTF-8); its size is checked before it is
// read.
TScenarioLoad LoadScenarioFile(const std::string& Path, const TScenarioLimits& Limits = {});

// One fault rule written as a rule object of the "rules" array
// ({"service": "21", "action": "late", "delay_ms": 200}), read by the same
// reader with the same messages: the rule, or the errors and no rule.
struct TFaultRuleLoad {
  std::optional<TFaultRule> Rule;
  std::vector<TScenarioMessage> Errors;
};
TFaultRuleLoad LoadFaultRule(const std::string& Text);
