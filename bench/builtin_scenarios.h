#pragma once
// Scenarios that come with the tester. Each is a JSON text in the scenario
// file format (see scenario.h), read by the same reader as a file, so each is
// also an example of the format:
//
// "Проверка шкал": after a second at rest, each of the eight quantities in
// turn sweeps its whole gauge range upwards in steps of a tenth of the range
// (IMAP: steps of 25 kPa, the last one shorter, landing on 255), each value
// held 2 s, then a second at rest before the next; the quantities not being
// swept stand at rest (VSS 0, TOG 90, RPM 800, ATP 0, IMAP 30, Dv 2.5,
// IAT 25, Ubat 14). 186 s.
//
// "NEDC": the New European Driving Cycle for a car with a manual gearbox:
// the urban cycle ECE-15 (195 s) four times, then the extra-urban cycle
// (400 s); 1180 s, 11.028 km. The speed comes from the table of operations of
// the regulation (UNECE Regulation No. 83, Annex 4, and No. 101): idles,
// accelerations, steady speeds, decelerations and gear changes with their
// durations, speeds and gears; speed changes linearly within an operation.
// Engine speed, injection, throttle and manifold pressure come from a simple
// model of the car, sampled once a second and interpolated linearly:
//   - Gears: those of the table. Engine speed in gear is the vehicle speed
//     times the gear's constant (rpm per km/h: 1st 120, 2nd 65, 3rd 43,
//     4th 32, 5th 26; overall ratios 13.6, 7.35, 4.86, 3.62, 2.94 with wheels
//     of 0.3 m radius), never below the idle speed of 800 rpm (the clutch
//     slips when pulling away). Declutched (idle, the last part of a
//     deceleration to a stop) the engine idles at 800 rpm; in a gear change
//     it already turns at the speed of the gear being engaged.
//   - Load: the force at the wheels F = m a + F0 + F2 v^2 with the equivalent
//     mass m = 1250 kg, the acceleration a of the operation (m/s^2), and the
//     road load F0 = 110 N, F2 = 0.036 N/(km/h)^2 at the speed v (km/h). The
//     engine torque is F r / ratio (r = 0.3 m); the load is that torque over
//     the full-load torque of 130 N m, between 0 and 1.
//   - In gear with F > 0: injection Dv = 2.5 ms + 7.5 ms x load, throttle
//     ATP = 100 % x load, manifold pressure IMAP = 30 kPa + 70 kPa x load.
//     In gear with F <= 0 (overrun while decelerating) the fuel is cut off:
//     Dv 0 ms, ATP 0 %, IMAP 20 kPa. Declutched: idle, Dv 2.5 ms, ATP 0 %,
//     IMAP 30 kPa.
//   - The rest stand still: TOG 90, IAT 25, Ubat 14.
//
// "Плохая линия": steady values (60 km/h, 2000 rpm, ...) for 70 s, and a
// rule for each fault action in windows of 5 s one after another, starting
// at 5 s: no answer, 300 ms late, wrong checksum, cut after 3 bytes, the
// negative answers 10 11 12 21 22 31 and 78 (real answer 1000 ms later) to
// live data requests (service 21), then the unit silent for 3 s once (a
// request between 60 s and 62 s starts it); the last seconds are normal.

#include <optional>
#include <string>
#include <vector>

#include "scenario.h"

inline constexpr const char* BuiltinSweepName = "Проверка шкал";
inline constexpr const char* BuiltinNedcName = "NEDC";
inline constexpr const char* BuiltinBadLineName = "Плохая линия";

// The names of the built-in scenarios, in the order the window lists them.
std::vector<std::string> BuiltinScenarioNames();
// The JSON text of a built-in scenario; none for an unknown name.
std::optional<std::string> BuiltinScenarioText(const std::string& Name);
// A built-in scenario read as a file would be; an unknown name is an error.
TScenarioLoad LoadBuiltinScenario(const std::string& Name);
