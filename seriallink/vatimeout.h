// Millisecond tick arithmetic for the waits of the serial port component.
#pragma once

#include <cstdint>

namespace vacomm_detail {

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
