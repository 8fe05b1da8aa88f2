#pragma once
// The session record on file, in two plain formats that other tools read.
//
// CSV (RFC 4180, UTF-8, comma separated, one header line):
//   time_ms,direction,bytes,outcome,span_ms,max_gap_ms,measure,samples,min_ms,median_ms,max_ms,range_ms,verdict
// - one row per entry: time_ms since the record started, with three
//   decimals and a point; direction "rx" (received frame), "tx" (answer
//   sent), "drop" (bytes dropped outside a frame), "op" (an operator's
//   change) or "fault" (a fault rule took the request received before it);
//   bytes as upper-case hex pairs separated by blanks (for "op" the change,
//   e.g. EditIMAP=12.7; for "fault" the rule's name or description); outcome
//   of a received frame or dropped bytes (answered, no_answer_ticked,
//   other_target, not_started, unknown_service, conversion_error,
//   port_error, functional, noise, fragment_dropped, paused, fault_rule),
//   for "fault" the rule's action (no_answer, late, bad_checksum, cut,
//   negative, silent), empty otherwise; span_ms and max_gap_ms of a
//   received frame (from its first to its last receive event, and the
//   longest silence between two; empty when it came in one);
// - then one row per timing measure, direction "verdict": measure (P4, P3,
//   TesterPresent, WakeUp, Retries, P2), samples, min_ms, median_ms, max_ms
//   (empty without samples), range_ms ("55..5000"), verdict ("pass",
//   "fail"), and in outcome a note where the measure has one.
//
// JSON Lines (UTF-8, one object a line):
//   {"t_ms":12.345,"dir":"rx","bytes":"81 11 F1 81 04","outcome":"answered","span_ms":4.0,"max_gap_ms":1.0}
//   {"t_ms":12.9,"dir":"tx","bytes":"83 F1 11 C1 6B 8F 40"}
//   {"t_ms":20.0,"dir":"op","change":"EditIMAP=12.7"}
//   {"t_ms":25.0,"dir":"fault","rule":"21 06: ответ через 200 мс","action":"late"}
//   {"verdict":"P3","caption":"...","samples":3,"min_ms":60.0,"median_ms":61.0,"max_ms":70.0,
//    "range_ms":[55,5000],"pass":true,"note":"..."}
//
// What the fault rules did shows as: the request's "rx" row with outcome
// fault_rule, a "fault" row naming the rule, then "tx" rows for what was
// written (a changed answer, a negative response) when it was written, a
// late answer or the answer after a response pending included. Requests
// that a silence swallows show only their "rx" row with outcome fault_rule.
//
// A file is written to a temporary name beside it and renamed over the
// target only when complete, so a failed write never leaves half a file.

#include <cstddef>
#include <ostream>
#include <string>

#include "session_record.h"
#include "timing_verdict.h"

enum class TRecordFormat { Csv, JsonLines };

// The format a file name asks for: ".jsonl" (or ".json") JSON Lines, anything
// else CSV.
TRecordFormat RecordFormatOf(const std::string& Path);

// Writes the first Count entries and the verdict.
void WriteRecord(std::ostream& Out, TRecordFormat Format, const TSessionRecord& Record, size_t Count,
                 const TTimingVerdict& Verdict);

// Writes the file safely; returns an empty text on success, else what went
// wrong (the system's reason), with the target left as it was. Reads only
// the first Count entries, so it may run on a thread of its own while the
// record goes on growing on the window thread.
std::string SaveRecordFile(const std::string& Path, TRecordFormat Format, const TSessionRecord& Record, size_t Count);
