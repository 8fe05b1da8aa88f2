#!/usr/bin/env bash
# Cross-compiles the libraries that do not use Qt (common, emulator,
# seriallink, headless) and the command-line program kline-ecu-sim for 64-bit
# Windows with MinGW-w64. Fails if any of them does not compile.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build-mingw -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DTESTER_GUI=OFF -DTESTER_TESTS=OFF
cmake --build build-mingw -j"$jobs" --target common emulator seriallink headless kline-ecu-sim
echo "Windows cross build of common, emulator, seriallink and the command-line program: done"
