# Wine for the Windows tests: a prefix of our own, COM ports mapped to
# devices of this machine, and the shim that lets WaitCommEvent work on a
# pseudo-terminal. Sourced, not run:
#
#   source scripts/wine-env.sh
#   wine_prefix_init build-x/wine-prefix          # once per lane; exports WINEPREFIX
#   shim=$(wine_shim_build build-x)              # prints the path of the .so
#   wine_map_com build-x/wine-prefix COM5 /dev/pts/3
#   LD_PRELOAD=$shim wine program.exe COM5
#
# Every function returns non-zero with a message on stderr when it fails.

WINE_ENV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The variables every Wine start of ours uses: no debug output, no offer to
# install Mono or Gecko (nothing here needs them, and the offer would wait).
_wine_env_export() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# One attempt at creating (or updating) the prefix and starting a program in
# it; the check start must give back the exit code it was told.
_wine_prefix_try() {
  local prefix=$1
  wineboot -i >"$prefix.boot.log" 2>&1 || return 1
  wineserver -w || true
  wine cmd.exe /c exit 7 >>"$prefix.boot.log" 2>&1
  [ $? -eq 7 ] || return 1
}

# wine_prefix_init <prefix>
# Creates the prefix once (wineboot -i), copies Wine's own fonts into its
# Fonts folder and checks that a program starts in it. A start that fails is
# retried once on a fresh prefix; a second failure ends with a message that
# says what was tried and where the log is.
wine_prefix_init() {
  local prefix=${1:?wine_prefix_init: give the prefix folder}
  mkdir -p "$(dirname "$prefix")"
  prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
  _wine_env_export "$prefix"
  if ! command -v wine >/dev/null || ! command -v wineboot >/dev/null; then
    echo "wine_prefix_init: Wine is not installed (apt-get install wine wine64)" >&2
    return 1
  fi
  local attempt
  for attempt in 1 2; do
    if [ -f "$prefix/.tester-ready" ] && [ -f "$prefix/system.reg" ]; then
      # Made before: only check that a program starts.
      if wine cmd.exe /c exit 7 >"$prefix.boot.log" 2>&1; [ $? -eq 7 ]; then
        break
      fi
    elif mkdir -p "$prefix" && _wine_prefix_try "$prefix"; then
      touch "$prefix/.tester-ready"
      break
    fi
    if [ "$attempt" = 2 ]; then
      echo "wine_prefix_init: Wine did not start in $prefix, twice (log: $prefix.boot.log):" >&2
      tail -n 20 "$prefix.boot.log" >&2 || true
      return 1
    fi
    echo "wine_prefix_init: Wine did not start in $prefix; starting again on a fresh prefix" >&2
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$prefix"
  done
  mkdir -p "$prefix/drive_c/windows/Fonts"
  if compgen -G "/usr/share/wine/fonts/*" >/dev/null; then
    cp -u /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
  fi
}

# wine_map_com <prefix> <COMn> <device path>
# Maps the COM port to a device of this machine through
# HKLM\Software\Wine\Ports (a dosdevices link alone is overwritten when Wine
# starts) and stops the prefix's wineserver, so that the next start reads the
# mapping.
wine_map_com() {
  local prefix=${1:?wine_map_com: give the prefix} port=${2:?wine_map_com: give the port (COM5)} \
        device=${3:?wine_map_com: give the device path}
  _wine_env_export "$(cd "$prefix" && pwd)"
  if ! wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /t REG_SZ /d "$device" /f \
      >"$WINEPREFIX.reg.log" 2>&1; then
    echo "wine_map_com: could not write $port=$device into the registry of $WINEPREFIX:" >&2
    cat "$WINEPREFIX.reg.log" >&2
    return 1
  fi
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# wine_shim_build <out dir>
# Builds the LD_PRELOAD shim that answers TIOCMGET and TIOCGICOUNT on a
# pseudo-terminal (tests/wine/pty_modem_shim.c) into <out dir> with the
# Linux C compiler and prints the path of the .so.
wine_shim_build() {
  local out=${1:?wine_shim_build: give the output folder}
  local src="$WINE_ENV_ROOT/tests/wine/pty_modem_shim.c"
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  local so="$out/pty_modem_shim.so"
  if [ ! -f "$so" ] || [ "$src" -nt "$so" ]; then
    if ! ${CC:-cc} -shared -fPIC -O2 -Wall -Wextra -o "$so" "$src" -ldl; then
      echo "wine_shim_build: could not build $src" >&2
      return 1
    fi
  fi
  echo "$so"
}
