#!/usr/bin/env bash
# The Windows test lane: cross-builds the suites of common, emulator, bench,
# the serial link's device-free tests and the trip client's simulated line
# with MinGW-w64 (GoogleTest built from
# Debian's sources with them) and runs them under Wine, in a prefix of the
# lane's own; then the end-to-end check of the Win32 serial backend: the
# Windows program com_port_e2e (TVaComm as the tester window sets it up,
# with the emulator behind it) on a COM port that Wine maps to a
# pseudo-terminal, whose master end the Linux program com_port_e2e_driver
# holds, comparing every answer with the Linux build's; and the rig test
# (tests/headless/rig_test.py) against the Windows build of the command-line
# program on a COM port mapped the same way.
#
#   bash scripts/windows-tests.sh [build folder]   (default: build-win-lane)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-build-win-lane}
mkdir -p "$out"
out=$(cd "$out" && pwd)
jobs=$(nproc)
gtest_src=${GTEST_SOURCE:-/usr/src/googletest}
source scripts/wine-env.sh

lane_start=$(date +%s.%N)
since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

if [ ! -f "$gtest_src/googletest/CMakeLists.txt" ]; then
  echo "windows-tests: no GoogleTest sources at $gtest_src (apt-get install googletest)" >&2
  exit 1
fi

# Wine's prefix is made (or checked) while the compilers run; then one
# server is kept running for all the Wine starts of the lane.
prefix="$out/wine-prefix"
( wine_prefix_init "$prefix" && wineserver -w && wineserver -p ) >"$out/wine-init.log" 2>&1 &
wine_init_pid=$!

echo "== Windows lane: cross build (MinGW-w64, GoogleTest from $gtest_src)"
build_start=$(date +%s.%N)
# Unoptimised (no build type: -O0, no debugging information): the suites
# check behaviour, and this build is about half as long as a Release one;
# the shipped program is built optimised by windows-package.sh and run by
# windows-gui-check.sh.
cmake -S . -B "$out/mingw" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE= \
  -DTESTER_GUI=OFF -DTESTER_TESTS=ON \
  -DTESTER_GTEST_SOURCE="$gtest_src" >"$out/mingw-configure.log"
cmake --build "$out/mingw" -j"$jobs" --target common_tests emulator_tests bench_tests instruments_model_tests seriallink_tests \
  tripclient_tests headless_tests com_port_e2e kline-ecu-sim
# The trip computer side of the end-to-end check, built for Linux.
cmake -S . -B "$out/linux" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTESTER_GUI=OFF -DTESTER_TESTS=ON >"$out/linux-configure.log"
cmake --build "$out/linux" -j"$jobs" --target com_port_e2e_driver
shim=$(wine_shim_build "$out")
build_time=$(since "$build_start")

if ! wait "$wine_init_pid"; then
  cat "$out/wine-init.log" >&2
  echo "windows-tests: Wine could not be started (see above); the Windows suites did not run" >&2
  exit 1
fi
wine_prefix_init "$prefix"  # exports WINEPREFIX and the rest; the prefix is ready

echo "== Windows lane: suites under Wine"
run_start=$(date +%s.%N)
failed=0
# Each program's output is kept and its summary checked against the floor of
# tests it must pass (tests/suite-floors.txt), so a suite that stops
# registering its tests, or skips some, fails the lane.
suite() {  # suite <locale> <exe> [--gtest_filter=<filter>]
  local locale=$1 exe=$2
  shift 2
  local name
  name=$(basename "$exe" .exe)
  [ $# -gt 0 ] && name="$name[${1#--gtest_filter=}]"
  name="$name@$locale"
  echo "-- $name"
  local log="$out/$name.log"
  if ! LC_ALL=$locale LANG=$locale wine "$exe" --gtest_brief=1 "$@" 2>&1 | tee "$log"; then
    echo "windows-tests: $(basename "$exe") FAILED under $locale" >&2
    failed=1
  elif ! python3 "$root/scripts/check_suites.py" gtest wine "$name" "$log"; then
    failed=1
  fi
}
# The operators' locale for everything; the locale-dependent tests once more
# under an English one.
for t in common/common_tests emulator/emulator_tests bench/bench_tests instruments/model/instruments_model_tests \
  seriallink/seriallink_tests tripclient/tripclient_tests headless/headless_tests; do
  suite ru_RU.UTF-8 "$out/mingw/tests/$t.exe"
done
suite en_US.UTF-8 "$out/mingw/tests/common/common_tests.exe" --gtest_filter='LocaleInit.*'
suite en_US.UTF-8 "$out/mingw/tests/seriallink/seriallink_tests.exe" --gtest_filter='Win32Settings.*'
suites_time=$(since "$run_start")

echo "== Windows lane: end-to-end check of the Win32 serial backend (COM5 on a pseudo-terminal)"
e2e_start=$(date +%s.%N)
# The driver creates the terminal and starts this command with {} replaced
# by the terminal's path: map COM5 to it, then run the Windows program with
# the shim that lets WaitCommEvent work on a pseudo-terminal. What Wine (and
# the server it starts) writes to stderr goes to a log of its own.
e2e_log="$out/e2e-wine.log"
: >"$e2e_log"
if ! "$out/linux/tests/wine/com_port_e2e_driver" COM5 -- \
    bash -c 'source "$0/scripts/wine-env.sh" && wine_map_com "$1" COM5 "$2" &&
             LD_PRELOAD="$3" exec wine "$4" 2>>"$5"' \
    "$root" "$prefix" {} "$shim" "$out/mingw/tests/wine/com_port_e2e.exe" "$e2e_log"; then
  echo "windows-tests: the end-to-end check FAILED; Wine's messages (last 20 lines of $e2e_log):" >&2
  tail -n 20 "$e2e_log" >&2
  failed=1
fi
e2e_time=$(since "$e2e_start")

echo "== Windows lane: the rig test against kline-ecu-sim.exe (COM5 on a pseudo-terminal)"
# The same Python rig as on Linux: it makes the terminal, has COM5 mapped to
# it once, and starts the Windows program under Wine for each test. Wine
# turns SIGINT into the console's Ctrl+C. After each mapping the server and
# Wine's own services are started with their output going to a log, so that
# none of them is started by a test program and keeps its pipes open.
rig_start=$(date +%s.%N)
rig_log="$out/rig_test.py.log"
if ! python3 tests/headless/rig_test.py --program "$out/mingw/headless/kline-ecu-sim.exe" \
    --device COM5 --signal INT --timeout 60 \
    --map-command "bash -c 'source \"$root/scripts/wine-env.sh\" && wine_map_com \"$prefix\" COM5 {} &&
                   wineserver -p && wine cmd.exe /c exit 0' >>\"$out/rig-wine.log\" 2>&1" \
    --launcher "env LD_PRELOAD=$shim wine" >"$rig_log" 2>&1; then
  tail -n 40 "$rig_log" >&2
  echo "windows-tests: the rig test FAILED (log: $rig_log)" >&2
  failed=1
elif ! python3 "$root/scripts/check_suites.py" unittest wine rig_test.py "$rig_log"; then
  failed=1
fi
rig_time=$(since "$rig_start")
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true

echo "== Windows lane: build ${build_time} s, suites ${suites_time} s, end-to-end ${e2e_time} s," \
     "rig ${rig_time} s, in all $(since "$lane_start") s"
if [ "$failed" != 0 ]; then
  echo "== Windows lane FAILED" >&2
  exit 1
fi
echo "== Windows lane passed"
