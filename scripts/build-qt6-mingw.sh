#!/usr/bin/env bash
# Cross-builds Qt 6 (Core, Gui, Widgets, the Windows platform plugin and
# style) for 64-bit Windows with MinGW-w64 from Debian's own qt6-base source
# package, for machines without a ready build beside the repository
# (../shared/qt6-mingw/). Run as root on Debian 12; about 25 minutes of wall
# time on 2 cores (configure under a minute).
#
#   bash scripts/build-qt6-mingw.sh
#   QT6_MINGW_PREFIX=$PWD/build-qt6-mingw/qt6-mingw bash scripts/windows-package.sh
#
# Output (folder QT6_MINGW_WORK, default build-qt6-mingw):
#   build-qt6-mingw/qt6-mingw/          the installed Qt prefix
#   build-qt6-mingw/qt6-mingw.tar.xz    the same packed, unpacking to qt6-mingw/
#                                       (the layout windows-package.sh unpacks)
# Set QT6_MINGW_NO_APT=1 to skip the package installation (everything below
# already installed and the source package already unpacked in
# build-qt6-mingw/qt6-base-src).
set -euo pipefail
cd "$(dirname "$0")/.."
work=${QT6_MINGW_WORK:-build-qt6-mingw}
mkdir -p "$work"
work=$(cd "$work" && pwd)
jobs=$(nproc)
started=$(date +%s)
say() { echo "== build-qt6-mingw: $*"; }
fail() {
  echo "build-qt6-mingw: $*" >&2
  exit 1
}

# --- Compilers, the host Qt (its tools are run during the build) and the
# source package
if [ "${QT6_MINGW_NO_APT:-}" != 1 ]; then
  [ "$(id -u)" = 0 ] || fail "run as root (apt-get), or set QT6_MINGW_NO_APT=1 with everything installed"
  # apt-get source needs a deb-src line; take the mirror the machine already
  # uses for bookworm.
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    mirror=$(sed -n 's/^URIs: *\(http[^ ]*debian\/\?\) *$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
      head -n1)
    mirror=${mirror:-http://deb.debian.org/debian}
    say "adding a deb-src line for bookworm main ($mirror)"
    cat >/etc/apt/sources.list.d/qt6-mingw-src.sources <<EOF
Types: deb-src
URIs: $mirror
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    qt6-base-dev qt6-base-dev-tools cmake ninja-build dpkg-dev perl xz-utils
fi

# Unpacked into a folder of a fixed name; dpkg-source applies Debian's
# patches.
src=$work/qt6-base-src
if [ ! -f "$src/configure" ]; then
  say "fetching Debian's qt6-base source package"
  (cd "$work" && apt-get source --download-only qt6-base) ||
    fail "apt-get source qt6-base failed (is there a deb-src line for bookworm main?)"
  dsc=$(find "$work" -maxdepth 1 -name 'qt6-base_*.dsc' | sort | tail -n1)
  rm -rf "$src"
  (cd "$work" && dpkg-source --no-check -x "$(basename "$dsc")" "$(basename "$src")")
  [ -f "$src/configure" ] || fail "$dsc did not unpack to a Qt source tree"
fi
say "source: $src"

# --- The MinGW toolchain: the posix-threads compilers (std::thread), and the
# gcc-ar/gcc-ranlib wrappers that understand the compiler's objects.
toolchain=$work/mingw-w64-qt.cmake
cat >"$toolchain" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR /usr/bin/x86_64-w64-mingw32-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/x86_64-w64-mingw32-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_STRIP /usr/bin/x86_64-w64-mingw32-strip CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

prefix=$work/qt6-mingw
build=$work/build
mkdir -p "$build"
say "configure (log: $build/configure.log)"
# Only what the tester needs: Core, Gui, Widgets, the Windows platform plugin
# and style. Off, besides the modules not needed: androiddeployqt (Debian's
# cross patch turns it on) and tabletevent (Debian's +dfsg source drops the
# wintab headers that the Windows plugin's tablet support includes). Third
# party libraries bundled, so the DLLs need nothing beside them. Direct2D
# stays on: without it qwindows.dll fails to link.
# Debian keeps the host Qt's CMake packages in /usr/lib/x86_64-linux-gnu/cmake,
# where -qt-host-path /usr alone does not look (Qt6HostInfo not found).
(
  cd "$build"
  nice -n 10 "$src/configure" \
    -prefix "$prefix" \
    -xplatform win32-g++ \
    -release -shared \
    -nomake tests -nomake examples \
    -qt-host-path /usr \
    -no-feature-sql -no-feature-network -no-dbus -no-opengl \
    -no-feature-printsupport -no-feature-concurrent -no-feature-xml -no-feature-testlib \
    -no-icu -no-feature-vulkan -no-feature-androiddeployqt -no-feature-tabletevent \
    -qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre -no-libjpeg \
    -- \
    -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
) >"$build/configure.log" 2>&1 || {
  tail -n 40 "$build/configure.log" >&2
  fail "configure failed (log: $build/configure.log)"
}
say "configured in $(($(date +%s) - started)) s; building with $jobs jobs (about 22 minutes on 2 cores)"

nice -n 10 cmake --build "$build" --parallel "$jobs"
rm -rf "$prefix"
cmake --install "$build" --strip
[ -f "$prefix/bin/Qt6Widgets.dll" ] || fail "the install in $prefix lacks Qt6Widgets.dll"
[ -f "$prefix/plugins/platforms/qwindows.dll" ] ||
  fail "the install in $prefix lacks plugins/platforms/qwindows.dll"

say "packing $work/qt6-mingw.tar.xz"
tar -C "$work" -cJf "$work/qt6-mingw.tar.xz.part" qt6-mingw
mv "$work/qt6-mingw.tar.xz.part" "$work/qt6-mingw.tar.xz"
say "done in $(($(date +%s) - started)) s: prefix $prefix, tarball $work/qt6-mingw.tar.xz"
