#include "vatimeout.h"

namespace vacomm_detail {

std::atomic<TVaClock*> GVaClock{nullptr};

void VaSetClock(TVaClock* Clock) { GVaClock.store(Clock, std::memory_order_release); }

}  // namespace vacomm_detail
