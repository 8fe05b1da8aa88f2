#!/usr/bin/env bash
# Builds the emulator's fuzz target with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs it for about 30 seconds. Any finding
# (crash, sanitizer report, trap on a broken invariant) fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTESTER_GUI=OFF -DTESTER_TESTS=OFF \
  -DTESTER_SANITIZE=ON -DTESTER_FUZZ=ON
cmake --build build-fuzz --target ecu_fuzz -j2

# Work on a copy of the seeds so the run never changes the repository.
corpus=build-fuzz/corpus
mkdir -p "$corpus"
cp fuzz/corpus/* "$corpus"/
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
build-fuzz/fuzz/ecu_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=4096 -print_final_stats=1 -artifact_prefix=build-fuzz/ "$corpus"
