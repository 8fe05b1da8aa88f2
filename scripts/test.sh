#!/usr/bin/env bash
# Builds the tester and runs every test: the layout check (.clang-format),
# the GoogleTest suites (ctest) with each suite's registered tests checked
# against its floor (tests/suite-floors.txt) and no test skipped, every suite
# again under AddressSanitizer + UBSan, the threaded code (serial link, trip
# client, command-line program, the console's threaded tests) under
# ThreadSanitizer, a short fuzz run of the emulator, the Windows test lane
# (scripts/windows-tests.sh: the non-GUI libraries and their suites
# cross-built and run under Wine, and the rig test of the command-line
# program kline-ecu-sim.exe on a COM port), and the Windows program
# built against ../shared/qt6-mingw and run under Wine
# (scripts/windows-package.sh, scripts/windows-gui-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "== Layout of the sources (at ${SECONDS} s)"
bash scripts/check-format.sh

echo "== Build and test (at ${SECONDS} s)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
python3 scripts/check_suites.py ctest linux build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300 \
  --output-junit "$PWD/build/ctest-junit.xml"
python3 scripts/check_suites.py junit linux "$PWD/build/ctest-junit.xml"

echo "== AddressSanitizer + UBSan build of everything, the Qt parts on the offscreen platform (at ${SECONDS} s)"
# Every suite as ctest registers them (the Qt suites under the operators'
# locale only); the "perf" checks (machine-dependent figures) stay out. Plain Debug (-O0): the runs take as
# long as with -O1, the build about half as long.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESTER_GUI=ON -DTESTER_SANITIZE=ON
cmake --build build-asan -j"$jobs"
python3 scripts/check_suites.py ctest asan build-asan
QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 300 -LE perf \
  --output-junit "$PWD/build-asan/ctest-junit.xml"
python3 scripts/check_suites.py junit asan "$PWD/build-asan/ctest-junit.xml"

echo "== ThreadSanitizer build of the serial link, the trip client, the command-line program and the console's threaded tests (at ${SECONDS} s)"
# The console's tests where the port's threads meet the window thread: the
# end-to-end tests on pseudo-terminals and the hand-over tests. Qt and GLib
# are not instrumented; tests/sanitizers/tsan.supp names them, each with its
# reason, and everything of ours is checked.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESTER_GUI=ON -DTESTER_TSAN=ON
cmake --build build-tsan -j"$jobs" --target seriallink_tests tripclient_tests headless_tests console_tests
TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/seriallink/seriallink_tests --gtest_brief=1 \
  2>&1 | tee build-tsan/seriallink_tests.log
python3 scripts/check_suites.py gtest tsan seriallink_tests build-tsan/seriallink_tests.log
TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/tripclient/tripclient_tests --gtest_brief=1 \
  2>&1 | tee build-tsan/tripclient_tests.log
python3 scripts/check_suites.py gtest tsan tripclient_tests build-tsan/tripclient_tests.log
# The command-line program's loop, output thread and session over a port.
TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/headless/headless_tests --gtest_brief=1 \
  2>&1 | tee build-tsan/headless_tests.log
python3 scripts/check_suites.py gtest tsan headless_tests build-tsan/headless_tests.log
threaded='EndToEnd.*:PortComesBack.*:GaugeEndToEnd.*:SessionEndToEnd.*:QtHandOver.*:ScenarioEndToEnd.*:ScenarioTabOnTheLine.*:ScenarioTabPortLost.*'
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/sanitizers/tsan.supp" QT_QPA_PLATFORM=offscreen \
  LC_ALL=ru_RU.UTF-8 build-tsan/tests/console/console_tests --gtest_brief=1 --gtest_filter="$threaded" \
  2>&1 | tee build-tsan/console_tests.log
python3 scripts/check_suites.py gtest tsan "console_tests[$threaded]@ru_RU.UTF-8" build-tsan/console_tests.log

echo "== Fuzz run (at ${SECONDS} s)"
bash scripts/fuzz.sh
echo "== Windows test lane (MinGW-w64 suites and the COM port end-to-end check under Wine) (at ${SECONDS} s)"
bash scripts/windows-tests.sh build-win-lane
echo "== Windows program (Qt 6 for MinGW-w64) packaged, and run under Wine (at ${SECONDS} s)"
package_status=0
bash scripts/windows-package.sh || package_status=$?
if [ "$package_status" = 3 ]; then
  # No Qt for MinGW here: said loudly by the script, with the command that
  # makes one; the rest of the test command stands.
  echo "== WARNING: the Windows program was NOT built or run (no Qt 6 for MinGW-w64)" >&2
elif [ "$package_status" != 0 ]; then
  exit "$package_status"
else
  bash scripts/windows-gui-check.sh
fi
echo "== All tests passed in ${SECONDS} s"
