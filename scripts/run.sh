#!/usr/bin/env bash
# Builds the trip computer tester and starts it. On a fresh Debian 12 machine
# run it as root: it first installs what is needed (scripts/install-deps.sh).
# Arguments go to the program, e.g. the serial device of the K-line adapter:
#
#   sudo bash scripts/run.sh /dev/ttyUSB0
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
  bash scripts/install-deps.sh
else
  echo "run.sh: not root, skipping the package installation (scripts/install-deps.sh)" >&2
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target trip-computer-tester -j"$(nproc)"
exec build/console/trip-computer-tester "$@"
