// Tests that need something a developer's machine may lack (root, a
// capability, a device) and that CI always has: where the environment
// variable CI is set (to anything but an empty text) such a test fails
// with the reason instead of skipping, so that CI cannot pass by skipping.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

// True where the environment variable CI is set and not empty.
inline bool TesterInCi() {
  const char* Value = std::getenv("CI");
  return Value != nullptr && Value[0] != '\0';
}

// Ends the test: skipped with Reason on a developer machine, failed with
// Reason in CI. For the body (or SetUp) of a test.
#define SKIP_OR_FAIL_IN_CI(Reason) \
  do {                             \
    if (TesterInCi()) {            \
      FAIL() << (Reason);          \
    } else {                       \
      GTEST_SKIP() << (Reason);    \
    }                              \
  } while (false)

// A text no other run of a suite uses at the same time, for the names of
// the temporary files and folders a test makes.
inline std::string UniqueTempSuffix() { return std::to_string(std::random_device{}()); }
