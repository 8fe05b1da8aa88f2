#!/usr/bin/env bash
# Builds the tester and runs every test: the GoogleTest suites (ctest), the
# same non-GUI suites under AddressSanitizer + UBSan, the serial link
# tests under ThreadSanitizer, a short fuzz run of the
# emulator, and the Windows cross build of the non-GUI libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300

echo "== Sanitizer build of the libraries without Qt"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESTER_GUI=OFF -DTESTER_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 300

echo "== Thread sanitizer build of the serial link"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESTER_GUI=OFF -DTESTER_TSAN=ON
cmake --build build-tsan -j"$jobs" --target seriallink_tests
TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/seriallink/seriallink_tests --gtest_brief=1

if [ -x scripts/fuzz.sh ]; then
  echo "== Fuzz run"
  scripts/fuzz.sh
fi
if [ -x scripts/cross-build.sh ]; then
  echo "== Windows cross build"
  scripts/cross-build.sh
fi
echo "== All tests passed"
