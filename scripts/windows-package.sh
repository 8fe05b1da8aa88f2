#!/usr/bin/env bash
# Builds the tester for 64-bit Windows with MinGW-w64 against a Qt 6 for
# MinGW, and makes the folder a Windows user unzips and runs: the program
# and the virtual trip computer (virtual-trip-computer.exe, given a COM port
# joined to the tester's, e.g. by two cross-wired adapters) with the Qt and
# MinGW run-time DLLs beside them, the Windows platform plugin
# and style, zipped.
#
#   scripts/windows-package.sh
#
# The Qt comes from, in this order:
#   QT6_MINGW_PREFIX   an installed Qt prefix (e.g. made by
#                      scripts/build-qt6-mingw.sh), used as it stands;
#   QT6_MINGW_TARBALL  a tarball that unpacks to qt6-mingw/;
#   ../shared/qt6-mingw/qt6-mingw.tar.xz beside the repository.
# A tarball is unpacked into the build folder once (again when it changes).
#
# Output (folder WIN_GUI_BUILD, default build-win-gui):
#   build-win-gui/trip-computer-tester/       the folder to ship
#   build-win-gui/trip-computer-tester.zip    the same, zipped
# Exit status 3 when no Qt for MinGW is found, 1 on any other failure.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
out=${WIN_GUI_BUILD:-build-win-gui}
mkdir -p "$out"
out=$(cd "$out" && pwd)
jobs=$(nproc)
started=$(date +%s)

fail() {
  echo "windows-package: $*" >&2
  exit 1
}

# --- The Qt for MinGW
tarball=${QT6_MINGW_TARBALL:-$repo/../shared/qt6-mingw/qt6-mingw.tar.xz}
if [ -n "${QT6_MINGW_PREFIX:-}" ]; then
  qt=$(cd "$QT6_MINGW_PREFIX" 2>/dev/null && pwd) || qt=$QT6_MINGW_PREFIX
  [ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ] ||
    fail "QT6_MINGW_PREFIX=$QT6_MINGW_PREFIX holds no Qt 6 (no lib/cmake/Qt6/qt.toolchain.cmake)"
elif [ -f "$tarball" ]; then
  qt=$out/qt6-mingw
  # Unpacked once; the stamp names the tarball's size and time, so a new
  # tarball is unpacked afresh.
  stamp="$(stat -c '%s %Y' "$tarball") $(readlink -f "$tarball")"
  if [ ! -f "$qt/.unpacked" ] || [ "$(cat "$qt/.unpacked")" != "$stamp" ]; then
    echo "== Unpacking $tarball into $out"
    rm -rf "$qt"
    tar -xJf "$tarball" -C "$out"
    [ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ] || fail "$tarball did not unpack to qt6-mingw/ with a Qt 6 in it"
    echo "$stamp" >"$qt/.unpacked"
  fi
else
  cat >&2 <<EOF

######################################################################
#  NO QT 6 FOR MINGW-W64: the Windows program cannot be built.
#
#  Looked for: $tarball
#  and QT6_MINGW_PREFIX (not set).
#
#  Make one from Debian's qt6-base source package (about 25 minutes
#  on 2 cores), then run this script again:
#
#    bash scripts/build-qt6-mingw.sh
#    QT6_MINGW_PREFIX=\$PWD/build-qt6-mingw/qt6-mingw bash scripts/windows-package.sh
######################################################################

EOF
  exit 3
fi
echo "== Qt for MinGW: $qt"

# --- Build the programs (the tester and the virtual trip computer, and only
# the libraries they need)
build=$out/build
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DTESTER_GUI=ON -DTESTER_TESTS=OFF >"$out/configure.log" ||
  { cat "$out/configure.log" >&2; fail "configure failed (log: $out/configure.log)"; }
cmake --build "$build" -j"$jobs" --target trip-computer-tester virtual-trip-computer

# --- The folder to ship
mingw_dll_dirs=(/usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
find_mingw_dll() {
  local dir
  for dir in "${mingw_dll_dirs[@]}"; do
    if [ -f "$dir/$1" ]; then
      echo "$dir/$1"
      return 0
    fi
  done
  # Another GCC version's folder, if that is what is installed.
  compgen -G "/usr/lib/gcc/x86_64-w64-mingw32/*-posix/$1" | head -n1 | grep . || return 1
}

pkg=$out/trip-computer-tester
rm -rf "$pkg" "$pkg.zip"
mkdir -p "$pkg/platforms" "$pkg/styles"
cp "$build/console/trip-computer-tester.exe" "$build/tripcomputer/virtual-trip-computer.exe" "$pkg/"
for dll in Qt6Core Qt6Gui Qt6Widgets; do cp "$qt/bin/$dll.dll" "$pkg/"; done
cp "$qt/plugins/platforms/qwindows.dll" "$pkg/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$pkg/styles/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  src=$(find_mingw_dll "$dll") || fail "MinGW run-time $dll not found (package g++-mingw-w64-x86-64-posix)"
  cp "$src" "$pkg/"
  # Debian's copies carry debugging sections (libstdc++ 23 MB, 2 MB without).
  x86_64-w64-mingw32-strip --strip-unneeded "$pkg/$dll"
done
x86_64-w64-mingw32-strip "$pkg/trip-computer-tester.exe" "$pkg/virtual-trip-computer.exe"

# Every DLL that the program and the shipped DLLs import is either shipped
# or part of Windows (Wine's copy of the system DLLs stands for those), so
# the folder runs on a PC with nothing else installed.
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
missing=()
while IFS= read -r -d '' file; do
  while read -r name; do
    lower=${name,,}
    [ -f "$pkg/$name" ] && continue
    # API sets: names Windows resolves to its own DLLs.
    case $lower in api-ms-win-*|ext-ms-win-*) continue ;; esac
    if [ -d "$wine_dlls" ]; then
      [ -f "$wine_dlls/$lower" ] && continue
    else
      case $lower in kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|\
        msvcrt.dll|ws2_32.dll|winmm.dll|imm32.dll|uxtheme.dll|dwmapi.dll|version.dll|comdlg32.dll|netapi32.dll|\
        userenv.dll|mpr.dll|shlwapi.dll|d3d*.dll|dwrite.dll|dxgi.dll|setupapi.dll|wtsapi32.dll|authz.dll|uuid.dll|\
        shcore.dll|comctl32.dll|d2d1.dll|rpcrt4.dll|ntdll.dll) continue ;;
      esac
    fi
    missing+=("$(basename "$file") needs $name")
  done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$pkg" -name '*.exe' -print0 -o -name '*.dll' -print0)
if [ ${#missing[@]} -gt 0 ]; then
  printf '  %s\n' "${missing[@]}" >&2
  fail "the folder lacks DLLs that its files import"
fi

(cd "$out" && zip -qr9 trip-computer-tester.zip trip-computer-tester)
echo "== Windows program: $pkg ($(du -sh "$pkg" | cut -f1))"
echo "== Zip to ship: $pkg.zip ($(du -h "$pkg.zip" | cut -f1)), built in $(($(date +%s) - started)) s"
