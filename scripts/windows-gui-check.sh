#!/usr/bin/env bash
# Runs the Windows build of the tester under Wine on an X server of its own
# (Xvfb) as an operator would: the COM port dialog comes up with COM5 (mapped
# to a pseudo-terminal) selected, a click on "OK" opens the port and brings
# up the tester window, and a trip computer on the other end of the
# pseudo-terminal gets its StartCommunication and record request answered
# byte for byte. Then the virtual trip computer of the same folder must
# bring up its window. Screenshots of every window are kept.
#
#   scripts/windows-package.sh && scripts/windows-gui-check.sh
#
# Uses the package made by windows-package.sh (WIN_GUI_BUILD, default
# build-win-gui) and a Wine prefix in that folder. Output in
# build-win-gui/gui-check/: port-dialog.png, tester-window.png, the logs.
# Ends by itself: every wait is bounded and a watchdog stops Wine and Xvfb
# after WIN_GUI_CHECK_LIMIT seconds (default 300). A Wine start whose window
# does not come up is retried once.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${WIN_GUI_BUILD:-build-win-gui}
mkdir -p "$out"
out=$(cd "$out" && pwd)
pkg=$out/trip-computer-tester
check=$out/gui-check
limit=${WIN_GUI_CHECK_LIMIT:-300}
port=COM5
dialog_title="Выбор COM порта"
tester_title="Тестер маршрутного компьютера"
# The standard exception report's box is titled with the program's name.
report_title="trip-computer-tester"
started=$(date +%s)

say() { echo "windows-gui-check: $*"; }
fail() {
  echo >&2
  echo "windows-gui-check: FAILED: $*" >&2
  [ -d "$check" ] && echo "windows-gui-check: logs and screenshots in $check" >&2
  exit 1
}

[ -f "$pkg/trip-computer-tester.exe" ] ||
  fail "no Windows program in $pkg; run scripts/windows-package.sh first"
for tool in Xvfb xdotool import wine wineserver cc; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh)"
done
[ -f scripts/wine-env.sh ] || fail "scripts/wine-env.sh is missing"
if [ ! -f /usr/share/wine/fonts/tahoma.ttf ]; then
  say "WARNING: Debian's fonts-wine is not installed; Wine has none of Windows' faces and" \
    "draws the window in this machine's (apt-get install fonts-wine)"
fi
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh

rm -rf "$check"
mkdir -p "$check"
prefix=$out/wine-prefix
export WINEPREFIX=$prefix

# --- Clean-up, whatever way the check ends
xvfb_pid=
peer_pid=
watchdog_pid=
stop_wine() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
    timeout 20 wineserver -w >/dev/null 2>&1 || true
  fi
}
cleanup() {
  if [ -n "$watchdog_pid" ]; then kill "$watchdog_pid" 2>/dev/null || true; fi
  stop_wine
  if [ -n "$peer_pid" ]; then kill "$peer_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 143' TERM INT
trap 'fail "stopped by the watchdog after $limit s (see the logs)"' USR1
# A Wine command that hangs would hold the script: the watchdog stops Wine
# (which ends such a command) and then tells the script to give up.
(
  trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
  sleep "$limit" &
  sleeper=$!
  wait "$sleeper"
  echo "windows-gui-check: no end after $limit s; stopping Wine and the X server" >&2
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  kill -USR1 $$ 2>/dev/null || true
) &
watchdog_pid=$!

# --- An X server of our own, on a display number it picks itself
exec {display_fd}>"$check/display"
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >"$check/xvfb.log" 2>&1 &
xvfb_pid=$!
exec {display_fd}>&-
for _ in $(seq 100); do
  [ -s "$check/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$check/xvfb.log")"
  sleep 0.1
done
[ -s "$check/display" ] || fail "Xvfb gave no display number within 10 s"
DISPLAY=:$(head -n1 "$check/display")
export DISPLAY
say "X server on $DISPLAY"

# --- Wine: prefix, the pseudo-terminal as COM5, the modem-line shim
wine_prefix_init "$prefix" || fail "the Wine prefix $prefix could not be made"
shim=$(wine_shim_build "$check") || fail "the pseudo-terminal shim could not be built"
cc -O2 -Wall -Wextra -o "$check/kline_peer" tests/windows_gui/kline_peer.c ||
  fail "tests/windows_gui/kline_peer.c did not build"

coproc PEER { exec "$check/kline_peer" 2>"$check/peer.err"; }
# shellcheck disable=SC2153  # set by coproc
peer_pid=$PEER_PID
read -r -t 5 -u "${PEER[0]}" slave || fail "the trip computer's end of the line did not start"
say "$port is $slave"
wine_map_com "$prefix" "$port" "$slave" || fail "could not map $port to $slave"

# --- Start the tester; its port dialog must come up
find_window() {  # title (whole); visible windows only
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}
wait_window() {  # title, seconds; prints the window id
  local id deadline=$(($(date +%s) + $2))
  while [ "$(date +%s)" -lt "$deadline" ]; do
    id=$(find_window "$1")
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    if [ -n "$(find_window "$report_title")" ]; then
      return 2
    fi
    sleep 0.25
  done
  return 1
}
report_box() {
  local id
  id=$(find_window "$report_title")
  [ -n "$id" ] || return 1
  import -window "$id" "$check/message-box.png" 2>/dev/null || true
  echo "A message box is shown (screenshot: $check/message-box.png)."
}

dialog=
for attempt in 1 2; do
  LD_PRELOAD=$shim wine "$pkg/trip-computer-tester.exe" "$port" >"$check/tester-$attempt.log" 2>&1 &
  disown  # ended by wineserver -k, not waited for
  set +e
  dialog=$(wait_window "$dialog_title" 60)
  status=$?
  set -e
  [ "$status" = 0 ] && break
  import -window root "$check/screen-start-$attempt.png" 2>/dev/null || true
  if [ "$status" = 2 ]; then
    why="a message box came up instead of the port dialog \"$dialog_title\""
  else
    why="the port dialog \"$dialog_title\" did not come up within 60 s"
  fi
  if [ "$attempt" = 2 ]; then
    report_box >/dev/null || true
    fail "$why, at both starts (screen: $check/screen-start-2.png; Wine's output: $check/tester-2.log)"
  fi
  say "$why; stopping Wine and starting again"
  stop_wine
done
say "port dialog up (window $dialog, after $(($(date +%s) - started)) s)"
sleep 1  # the dialog draws itself
import -window "$dialog" "$check/port-dialog.png" || fail "no screenshot of the port dialog"

# --- "OK" opens the selected port and shows the tester window
# The button lies at 176,56 (81 x 33) in the dialog; click its middle.
xdotool mousemove --window "$dialog" 216 72 click 1
if ! tester=$(wait_window "$tester_title" 30); then
  fail "after \"OK\" the tester window did not come up within 30 s. $(report_box || true)"
fi
for _ in $(seq 40); do
  [ -z "$(find_window "$dialog_title")" ] && break
  sleep 0.25
done
[ -z "$(find_window "$dialog_title")" ] || fail "the port dialog is still shown 10 s after \"OK\""
say "tester window up (window $tester)"

# --- The trip computer's requests and the answers
echo go >&"${PEER[1]}"
results=()
while IFS= read -r -t 30 -u "${PEER[0]}" line && [ "$line" != DONE ]; do
  results+=("$line")
  say "$line"
done
[ ${#results[@]} -gt 0 ] || fail "the trip computer's end gave no result ($(cat "$check/peer.err"))"

# The status line is redrawn five times a second; let it show the counts.
# The line stays open meanwhile: a closed pseudo-terminal is a port gone.
sleep 1
import -window "$tester" "$check/tester-window.png" || fail "no screenshot of the tester window"
box=$(report_box) && fail "$box"
# The other six tabs, each in turn (Ctrl+Tab, after a click on the first
# tab gives the window the keyboard), to look at.
xdotool mousemove --window "$tester" 60 35 click 1
for tab in 2 3 4 5 6 7; do
  xdotool key --clearmodifiers ctrl+Tab
  sleep 0.7
  import -window "$tester" "$check/tester-tab$tab.png" || fail "no screenshot of tab $tab"
done
box=$(report_box) && fail "$box"
echo end >&"${PEER[1]}"
set +e
timeout 10 tail --pid="$peer_pid" -f /dev/null
wait "$peer_pid"
peer_status=$?
set -e
peer_pid=
[ "$peer_status" = 0 ] || fail "requests over $port were not answered right (see above)"

# --- The virtual trip computer of the same folder starts and shows its window
stop_wine
trip_title="Виртуальный маршрутный компьютер"
LD_PRELOAD=$shim wine "$pkg/virtual-trip-computer.exe" >"$check/trip-computer.log" 2>&1 &
disown
if ! trip=$(wait_window "$trip_title" 60); then
  import -window root "$check/screen-trip.png" 2>/dev/null || true
  fail "the virtual trip computer's window \"$trip_title\" did not come up within 60 s" \
    "(screen: $check/screen-trip.png; Wine's output: $check/trip-computer.log)"
fi
sleep 1
import -window "$trip" "$check/trip-computer.png" || fail "no screenshot of the virtual trip computer"
say "virtual trip computer window up (window $trip)"

say "screenshots: $check/port-dialog.png $check/tester-window.png (first tab)," \
  "$check/tester-tab2.png ... tester-tab7.png (the other tabs), $check/trip-computer.png"
say "passed in $(($(date +%s) - started)) s"
