#pragma once
// The main thread of the command-line program and its output. No Qt.
//
// TLineOutput writes lines to standard output on a thread of its own, so
// that a reader that stops reading never holds up the line to the trip
// computer: lines wait in a queue of bounded size, and what does not fit is
// dropped and counted (a line {"event":"output","dropped_lines":N} says so
// once the queue has room again). A reader that has gone (EPIPE) makes every
// later line go nowhere.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TLineOutput {
public:
  // Writes bytes to the reader; false when the reader has gone.
  using TWriter = std::function<bool(const char* Data, size_t Size)>;
  static constexpr size_t DefaultMaxQueued = 4u << 20;

  explicit TLineOutput(TWriter Writer, size_t MaxQueuedBytes = DefaultMaxQueued);
  // Stops the writing thread without waiting for it: it may be blocked on a
  // reader that does not read.
  ~TLineOutput();
  TLineOutput(const TLineOutput&) = delete;
  TLineOutput& operator=(const TLineOutput&) = delete;

  // Queues one line (without its line end); never blocks.
  void Write(std::string Line);
  // Waits until every queued line has been written, at most Timeout; false
  // when lines are left (a reader that does not read).
  bool Flush(std::chrono::milliseconds Timeout);
  // Lines dropped because the queue was full, or after the reader had gone.
  uint64_t DroppedLines() const;
  bool ReaderGone() const;

private:
  struct TState;
  std::shared_ptr<TState> FState;
};
