#pragma once
// The window thread of a program without a window: the thread that runs the
// port's hand-overs (TVaSynchronizer), the calls other threads post to it
// and the owner's timers, one at a time and in order, so that everything
// behind the port is only ever touched by it. With nothing to do it sleeps
// until something is posted or the next timer is due; no polling. The
// command-line unit and the trip client's headless runs use it; a window
// uses its own thread and the Qt hand-over instead.
//
// Give it to the port as its synchronizer through a shared_ptr: the port's
// worker threads may outlive the port and keep it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "vacomm.h"

class TVaLoop : public TVaSynchronizer {
public:
  // When the owner's timer is due next (VaMonotonicMicros), or none.
  using TNextDue = std::function<std::optional<int64_t>()>;

  // A worker's hand-over: runs Call on the loop's thread and waits for it;
  // returns without running it once the loop has ended.
  void Synchronize(const std::function<void()>& Call) override;
  // Queues Call for the loop's thread and returns at once (any thread);
  // dropped once the loop has ended.
  void Post(std::function<void()> Call);

  // Runs queued calls in order and, when none is waiting and the time
  // NextDue names has come, OnDue; a call handed over before a timer is due
  // runs before it (bytes that reached the port first are seen first).
  // Returns true once Done holds (looked at before every wait and after
  // everything that runs; no Done: never), false once End has been called
  // or Timeout has passed. It may be run again until End.
  bool Run(const TNextDue& NextDue, const std::function<void()>& OnDue, const std::function<bool()>& Done = nullptr,
           std::optional<std::chrono::milliseconds> Timeout = std::nullopt);
  // Ends Run after the call that is running: queued calls are dropped and
  // waiting hand-overs released; later ones return at once. Call it on the
  // loop's thread, or when no Run is going on.
  void End();
  bool Ended() const;

private:
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::function<void()>> FQueue;
  bool FEnded = false;
};
