#include "vatimeout.h"

#include <gtest/gtest.h>

using namespace vacomm_detail;

TEST(TickArithmetic, ElapsedTimeAcrossTheWrap) {
  struct {
    uint32_t Start, Now, Elapsed;
  } const Cases[] = {
      {1000, 1000, 0},
      {1000, 1250, 250},
      {0, 0xFFFFFFFFu, 0xFFFFFFFFu},
      // Wrapped: Now + (0xFFFFFFFF - Start).
      {0xFFFFFFF0u, 0x10, 0x10 + 0x0F},
      {0xFFFFFFFFu, 0, 0},
      {0xFFFFFFFFu, 5, 5},
      {0x80000000u, 0x7FFFFFFFu, 0x7FFFFFFFu + 0x7FFFFFFFu},
  };
  for (const auto& C : Cases) EXPECT_EQ(VaTickElapsed(C.Start, C.Now), C.Elapsed) << C.Start << " -> " << C.Now;
}

TEST(TickArithmetic, ExpiresOnlyWhenStrictlyPastTheTimeout) {
  EXPECT_FALSE(VaTickExpired(100, 100, 0));
  EXPECT_TRUE(VaTickExpired(100, 101, 0));
  EXPECT_FALSE(VaTickExpired(100, 5100, 5000));
  EXPECT_TRUE(VaTickExpired(100, 5101, 5000));
  // Across the wrap: 0xFFFFFF00 + 300 ms.
  EXPECT_FALSE(VaTickExpired(0xFFFFFF00u, 0x2C, 300));  // 0x2C + 0xFF = 299
  EXPECT_FALSE(VaTickExpired(0xFFFFFF00u, 0x2D, 300));  // 300
  EXPECT_TRUE(VaTickExpired(0xFFFFFF00u, 0x2E, 300));   // 301
  // A negative time-out counts as 0 rather than as a huge unsigned one.
  EXPECT_TRUE(VaTickExpired(100, 101, -1));
}

TEST(TickArithmetic, RemainingTimeNeverGoesNegative) {
  EXPECT_EQ(VaTickRemaining(1000, 1000, 500), 500);
  EXPECT_EQ(VaTickRemaining(1000, 1499, 500), 1);
  EXPECT_EQ(VaTickRemaining(1000, 1500, 500), 0);
  EXPECT_EQ(VaTickRemaining(1000, 9000, 500), 0);
  EXPECT_EQ(VaTickRemaining(0xFFFFFFFEu, 3, 10), 6);  // 4 ms elapsed across the wrap
  EXPECT_EQ(VaTickRemaining(1000, 1000, -5), 0);
}
