#!/usr/bin/env bash
# Installs everything the tester needs to build, run and be tested on a
# Debian 12 machine. Run as root (or through sudo).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  qt6-base-dev libgl-dev \
  libgtest-dev libgmock-dev googletest \
  nlohmann-json3-dev \
  clang libclang-rt-14-dev clang-format python3 \
  g++-mingw-w64-x86-64 \
  wine wine64 fonts-wine zip \
  xvfb xauth xdotool imagemagick fonts-dejavu-core fonts-liberation2 \
  locales
# The operators use a Russian locale (comma as decimal separator); the tests
# run under it and under a point-separator locale.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/; s/^# *\(en_US.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  locale-gen
fi
