#!/usr/bin/env bash
# Builds the trip computer tester and starts it. On a fresh Debian 12 machine
# run it as root: it first installs what is needed (scripts/install-deps.sh).
#
#   sudo bash scripts/run.sh                the tester and the virtual trip
#                                           computer, joined by a linked pair
#                                           of pseudo-terminals
#   sudo bash scripts/run.sh /dev/ttyUSB0   the tester alone, on a K-line adapter
#   sudo bash scripts/run.sh --self-test    the two headless on such a pair,
#                                           one line per check
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
  bash scripts/install-deps.sh
else
  echo "run.sh: not root, skipping the package installation (scripts/install-deps.sh)" >&2
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target trip-computer-tester virtual-trip-computer -j"$(nproc)"
tester=build/console/trip-computer-tester
trip=build/tripcomputer/virtual-trip-computer

if [ "${1:-}" = --self-test ]; then
  exec "$trip" --self-test
fi
if [ $# -gt 0 ]; then
  exec "$tester" "$@"
fi

# No adapter: the virtual trip computer makes the pair, connects to one end
# and names the other in a file; the tester starts with that end selected in
# its port dialog. Closing the tester ends both.
dir=$(mktemp -d)
"$trip" --link "$dir/tester-end" &
trip_pid=$!
trap 'kill "$trip_pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
  [ -s "$dir/tester-end" ] && break
  kill -0 "$trip_pid" 2>/dev/null || { echo "run.sh: the virtual trip computer ended at start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$dir/tester-end" ] || { echo "run.sh: the virtual trip computer made no terminal pair" >&2; exit 1; }
"$tester" "$(cat "$dir/tester-end")"
