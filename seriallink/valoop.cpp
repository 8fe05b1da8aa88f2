#include "valoop.h"

void TVaLoop::Synchronize(const std::function<void()>& Call) {
  bool Done = false;
  std::unique_lock<std::mutex> Lock(FLock);
  if (FEnded) return;
  // Call and Done live in this frame; the loop runs the item before End can
  // release this wait (End runs on the loop's thread, between items).
  FQueue.push_back([this, &Call, &Done] {
    Call();
    std::lock_guard<std::mutex> Guard(FLock);
    Done = true;
    FChanged.notify_all();
  });
  FChanged.notify_all();
  FChanged.wait(Lock, [&] { return Done || FEnded; });
}

void TVaLoop::Post(std::function<void()> Call) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (FEnded) return;
  FQueue.push_back(std::move(Call));
  FChanged.notify_all();
}

bool TVaLoop::Run(const TNextDue& NextDue, const std::function<void()>& OnDue, const std::function<bool()>& Done,
                  std::optional<std::chrono::milliseconds> Timeout) {
  const std::optional<int64_t> EndUs =
      Timeout ? std::optional<int64_t>(VaMonotonicMicros() + Timeout->count() * 1000) : std::nullopt;
  for (;;) {
    if (Done && Done()) return true;
    // Asked outside the lock: the timers belong to this thread's state.
    std::optional<int64_t> Due = NextDue ? NextDue() : std::nullopt;
    std::optional<int64_t> WakeUs = Due;
    if (EndUs && (!WakeUs || *EndUs < *WakeUs)) WakeUs = EndUs;
    std::function<void()> Next;
    {
      std::unique_lock<std::mutex> Lock(FLock);
      const auto Ready = [this] { return !FQueue.empty() || FEnded; };
      if (WakeUs) {
        const int64_t LeftUs = *WakeUs - VaMonotonicMicros();
        if (LeftUs > 0) FChanged.wait_for(Lock, std::chrono::microseconds(LeftUs), Ready);
      } else {
        FChanged.wait(Lock, Ready);
      }
      if (FEnded) return false;
      if (!FQueue.empty()) {
        Next = std::move(FQueue.front());
        FQueue.pop_front();
      }
    }
    const int64_t NowUs = VaMonotonicMicros();
    if (Next) {
      Next();
    } else if (Due && NowUs >= *Due) {
      if (OnDue) OnDue();
    } else if (EndUs && NowUs >= *EndUs) {
      return Done && Done();
    }
  }
}

void TVaLoop::End() {
  std::lock_guard<std::mutex> Guard(FLock);
  FEnded = true;
  FQueue.clear();
  FChanged.notify_all();
}

bool TVaLoop::Ended() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FEnded;
}
