// Rules of the Win32 half that do not need Windows, kept apart so that they
// are tested on every platform: which transfer record the next overlapped
// operation may use, and how the end of an event wait is judged.
#pragma once

#include "vadevice.h"

#include <memory>
#include <vector>

namespace vacomm_detail {

// The records (an OVERLAPPED with its event and buffer) of one thread's
// overlapped transfers. A transfer that was cancelled but did not finish
// within the bounded wait still belongs to the driver: the driver may write
// into its record and buffer at any later time. Such a record is abandoned:
// kept aside, never handed out again, and freed only once it is seen
// finished. One still unfinished when the pool goes is deliberately leaked,
// since freeing it would let the driver write into freed memory.
//
// TRecord is default-constructible and has `bool Finished() const`.
// A pool is used by one thread at a time.
template <typename TRecord>
class TVaRecordPool {
public:
  TVaRecordPool() = default;
  TVaRecordPool(const TVaRecordPool&) = delete;
  TVaRecordPool& operator=(const TVaRecordPool&) = delete;
  ~TVaRecordPool() {
    Sweep();
    for (auto& R : FAbandoned) R.release();  // still the driver's: leaked on purpose
  }

  // The record for the next transfer: never one that was abandoned.
  TRecord& Current() {
    if (!FCurrent) {
      Sweep();
      FCurrent = std::make_unique<TRecord>();
    }
    return *FCurrent;
  }

  // The transfer on Current() did not finish after its cancel: the record
  // goes aside and the next Current() is a fresh one.
  void Abandon() {
    if (FCurrent) FAbandoned.push_back(std::move(FCurrent));
  }

  // Frees the abandoned records whose transfers have finished since.
  void Sweep() {
    std::vector<std::unique_ptr<TRecord>> Kept;
    for (auto& R : FAbandoned)
      if (!R->Finished()) Kept.push_back(std::move(R));
    FAbandoned.swap(Kept);
  }

  // Abandoned records still kept (the driver has not finished with them).
  size_t Abandoned() const { return FAbandoned.size(); }

private:
  std::unique_ptr<TRecord> FCurrent;
  std::vector<std::unique_ptr<TRecord>> FAbandoned;
};

// Judges how one overlapped wait for device events ended, for the event
// thread. A wait that failed is Failed with its error code; the event thread
// counts those and reports the device lost (see VA_FAILED_WAITS_LOST). A wait
// that ends without any event happens once when the event mask is changed
// during the wait; a second one in a row means the driver keeps completing
// waits for nothing, as some do once their device is gone: that is reported
// as a hang-up (once, then paused between waits) rather than spun on.
class TVaWaitJudge {
public:
  TVaWaitStatus Judge(bool Ok, uint32_t Mask, int Error, uint32_t& OutMask, int& OutError) {
    OutMask = 0;
    OutError = 0;
    if (!Ok) {
      FEmpty = 0;
      OutError = Error;
      return TVaWaitStatus::Failed;
    }
    if (Mask != 0) {
      FEmpty = 0;
      OutMask = Mask;
      return TVaWaitStatus::Events;
    }
    return ++FEmpty >= 2 ? TVaWaitStatus::Hangup : TVaWaitStatus::Events;
  }

private:
  int FEmpty = 0;  // waits in a row that ended without events
};

}  // namespace vacomm_detail
