#pragma once
// The trip computer's timing judged from a session record against the
// ISO 14230-2 normal timing set, and the tester's own answer time.
//
// Measures, each with its samples' minimum, median and maximum:
// - P4: the longest gap between the bytes of each request, where its bytes
//   came in separate receive events (bytes read together show no gap);
//   0..20 ms.
// - P3: from an answer to the trip computer's next request; 55..5000 ms.
// - TesterPresent: between two TesterPresent requests; at most 5000 ms, the
//   longest the unit keeps a session without a message.
// - Wake-up: from a lone 00 (a fast init's wake-up pattern, where the port
//   reports it) to the StartCommunication after it; 20..60 ms (the pattern
//   is 25 ms low and 25 ms high, and the 00 is read at the start or at the
//   end of the low phase, depending on the adapter).
// - Retries: a request left unanswered and sent again: how often in a row,
//   and after how long from the end of the one before; 55..5000 ms.
// - P2: the tester's own answer time, from the last byte's event of a
//   request to its answer; 0..50 ms.
// Requests are the received frames whose source is not the emulated unit
// (an adapter's echo of our own answers is not the trip computer's).

#include <cstddef>
#include <string>
#include <vector>

class TSessionRecord;

struct TTimingMeasure {
  std::string Name;     // "P4", "P3", "TesterPresent", "WakeUp", "Retries", "P2"
  std::string Caption;  // what the window shows, in Russian
  double RangeMinMs = 0, RangeMaxMs = 0;
  size_t Samples = 0;
  double MinMs = 0, MedianMs = 0, MaxMs = 0;
  size_t Outside = 0;  // samples outside the range
  bool Pass() const { return Outside == 0; }
  // More to say: for retries, how many requests were retried and the
  // longest run; for the wake-up, the StartCommunications without one.
  std::string Note;
};

struct TTimingVerdict {
  std::vector<TTimingMeasure> Measures;
  bool Pass() const;
  const TTimingMeasure* Find(const std::string& Name) const;
};

// Judges the first Count entries of the record (all by default).
TTimingVerdict JudgeTiming(const TSessionRecord& Record, size_t Count = static_cast<size_t>(-1));
