#pragma once
// The self-test of the virtual trip computer: the tester's emulated unit and
// the trip client, headless, on the two ends of a linked pair of
// pseudo-terminals (each behind a serial port component of its own, both
// run by one TVaLoop). For each variant the unit's fields are set to
// values in its gauges' ranges and the ticked fault codes to a few of the
// list; the client must connect, read every value back within one count of
// its record's resolution, and read the fault codes; then "Нет ответа"
// ticked in the unit must show as no answer, the link must come back once
// it is cleared, and the trip must have run. One line per check, "PASS" or
// "FAIL" and what was checked, goes to Out. POSIX only; no Qt.

#include <cstdio>

// Returns the number of checks that failed (0: all passed).
int RunTripSelfTest(std::FILE* Out);
