// Millisecond ticks for the waits of the serial port component: the clock
// that its time-outs are measured by, and the arithmetic on its readings.
#pragma once

#include <atomic>
#include <cstdint>

namespace vacomm_detail {

// --- the clock

// What the port's time-outs (ReadTimeout, WriteTimeout) and its pause after
// Close are measured by: the system's 32-bit millisecond tick counter and
// its sleep, unless a test has set a clock of its own, so that a time-out
// can be tested without waiting for it. Real waits for the device (poll,
// epoll, WaitForSingleObject) stay in real time; only the judgement of
// whether a time-out has passed reads this clock.
class TVaClock {
public:
  virtual ~TVaClock() = default;
  virtual uint32_t TickCount() = 0;
  virtual void Sleep(int Milliseconds) = 0;
};

// The system's counter (wraps after 49.7 days) and sleep.
uint32_t VaSystemTickCount();
void VaSystemSleep(int Milliseconds);

// The clock set by VaSetClock, or none (the system's).
extern std::atomic<TVaClock*> GVaClock;
// Makes Clock the clock of every port; nullptr gives the system's back. The
// clock must outlive every call that may read it: set it before the port is
// opened, and give the system's back once the port is closed.
void VaSetClock(TVaClock* Clock);

// The tick counter and sleep of the clock in use. Without a clock of a
// test's own, one atomic read more than calling the system.
inline uint32_t VaGetTickCount() {
  TVaClock* const Clock = GVaClock.load(std::memory_order_acquire);
  return Clock ? Clock->TickCount() : VaSystemTickCount();
}
inline void VaSleep(int Milliseconds) {
  TVaClock* const Clock = GVaClock.load(std::memory_order_acquire);
  if (Clock) Clock->Sleep(Milliseconds);
  else VaSystemSleep(Milliseconds);
}

// --- arithmetic

// Milliseconds from Start to Now of the 32-bit tick counter. When the counter
// has wrapped (Now below Start) the elapsed time is Now + (0xFFFFFFFF - Start).
constexpr uint32_t VaTickElapsed(uint32_t Start, uint32_t Now) {
  return Now >= Start ? Now - Start : Now + (0xFFFFFFFFu - Start);
}

// True when more than TimeoutMs milliseconds have passed since Start. A
// negative time-out counts as 0.
constexpr bool VaTickExpired(uint32_t Start, uint32_t Now, int32_t TimeoutMs) {
  return VaTickElapsed(Start, Now) > uint32_t(TimeoutMs < 0 ? 0 : TimeoutMs);
}

// Milliseconds left of a wait of TimeoutMs that began at Start (0 when over).
constexpr int32_t VaTickRemaining(uint32_t Start, uint32_t Now, int32_t TimeoutMs) {
  const uint32_t Elapsed = VaTickElapsed(Start, Now);
  const uint32_t Limit = uint32_t(TimeoutMs < 0 ? 0 : TimeoutMs);
  return Elapsed >= Limit ? 0 : int32_t(Limit - Elapsed);
}

}  // namespace vacomm_detail
