// Integer rounding helpers beside RoundHalfEven: the exact division with
// halves to even, and the narrowing to 32 bits.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "numtext.h"

TEST(DivRoundHalfEven, ExactHalvesGoToTheEvenQuotientForEverySign) {
  struct {
    long long N, D, Quotient;
  } Cases[] = {
      {5, 2, 2},
      {7, 2, 4},
      {-5, 2, -2},
      {-7, 2, -4},
      {5, -2, -2},
      {7, -2, -4},
      {-5, -2, 2},
      {-7, -2, 4},
      {1, 2, 0},
      {3, 2, 2},
      {-1, 2, 0},
      {0, 7, 0},
      {3, 4, 1},
      {-3, 4, -1},
      {1, 4, 0},
      {-1, 4, 0},
      {10, 5, 2},
      {11, 5, 2},
      {13, 5, 3},
      {-13, 5, -3},
      // Tick angles of a dial: i x 270 / 20 past the start.
      {270, 20, 14},
      {810, 20, 40},
      {1350, 20, 68},
      {1890, 20, 94},
  };
  for (const auto& C : Cases) EXPECT_EQ(DivRoundHalfEven(C.N, C.D), C.Quotient) << C.N << " / " << C.D;
}

TEST(DivRoundHalfEven, ExtremesNeitherOverflowNorTrap) {
  EXPECT_EQ(DivRoundHalfEven(LLONG_MAX, 2), LLONG_MAX / 2 + 1);  // ...3.5 up to the even ...4
  EXPECT_EQ(DivRoundHalfEven(LLONG_MIN, 2), LLONG_MIN / 2);
  EXPECT_EQ(DivRoundHalfEven(LLONG_MIN, LLONG_MIN), 1);
  EXPECT_EQ(DivRoundHalfEven(LLONG_MIN + 1, LLONG_MIN), 1);
  EXPECT_EQ(DivRoundHalfEven(LLONG_MIN, -1), LLONG_MAX);
  EXPECT_EQ(DivRoundHalfEven(LLONG_MIN, 1), LLONG_MIN);
  EXPECT_EQ(DivRoundHalfEven(LLONG_MAX, LLONG_MIN), -1);
  EXPECT_EQ(DivRoundHalfEven(42, 0), 0);
}

TEST(SaturateToInt32, KeepsTheRangeAndClampsBeyondIt) {
  EXPECT_EQ(SaturateToInt32(0), 0);
  EXPECT_EQ(SaturateToInt32(INT32_MAX), INT32_MAX);
  EXPECT_EQ(SaturateToInt32(INT32_MIN), INT32_MIN);
  EXPECT_EQ(SaturateToInt32(static_cast<long long>(INT32_MAX) + 1), INT32_MAX);
  EXPECT_EQ(SaturateToInt32(static_cast<long long>(INT32_MIN) - 1), INT32_MIN);
  EXPECT_EQ(SaturateToInt32(LLONG_MAX), INT32_MAX);
  EXPECT_EQ(SaturateToInt32(LLONG_MIN), INT32_MIN);
  // Rounded first, as the instruments use it.
  EXPECT_EQ(SaturateToInt32(RoundHalfEven(2147483647.5L)), INT32_MAX);
  EXPECT_EQ(SaturateToInt32(RoundHalfEven(-2147483648.5L)), INT32_MIN);
}
