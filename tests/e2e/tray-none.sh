#!/usr/bin/env bash
# tray-none.sh EKRANIK TRAYPROBE
# The real program on a desktop with a window manager and no tray at all (run with
# with-desktop.sh --no-tray, on a session bus without a StatusNotifierItem host): "[ok]"
# minimises the main window rather than hiding it where nothing could bring it back, with a
# taskbar entry, says why once, and the window can be brought back. A tray that turns up later takes the window again,
# and one that goes away under the hidden window gives it back minimised.
set -u
ekranik=$1
probe=$2
# A session bus of our own, with no StatusNotifierItem host on it.
[ -n "${EKRANIK_PRIVATE_BUS:-}" ] || EKRANIK_PRIVATE_BUS=1 exec dbus-run-session -- "$0" "$@"
# shellcheck source-path=SCRIPTDIR source=tray-common.sh
. "$(dirname "$0")/tray-common.sh"

tray_there() { "$probe" --tray-available; }
! tray_there || fail "the desktop has a tray"
reported() { grep -c 'Brak obszaru powiadomień' "$dir/ekranik.log"; }

start_ekranik "$ekranik"
for round in 1 2; do
  click_ok
  wait_for iconic || fail "[ok] left the window '$(wm_state)', not minimised (round $round)"
  on_taskbar || fail "the minimised window is kept off the taskbar (round $round)"
  xdotool windowactivate "$main" 2>/dev/null
  wait_for on_screen || fail "the minimised window could not be brought back (round $round)"
done
[ "$(reported)" -eq 1 ] || fail "the missing tray was reported $(reported) times, want once"

# A tray turns up: the icon docks there, and "[ok]" hides the window to it.
trayer >/dev/null 2>&1 &
tray_host=$!
wait_for tray_there || fail "trayer did not take the tray"
wait_for docked_icon ekranik || fail "the icon did not dock in the tray that turned up"
click_ok
wait_for withdrawn || fail "with a tray, [ok] left the window '$(wm_state)'"
# Its menu brings the window back, off the taskbar again.
xdotool mousemove --window "$(docked_icon ekranik)" 11 11 click 1
menu_window() { xdotool search --onlyvisible --class '^ekranik$' | grep -vx "$(docked_icon ekranik)" | grep .; }
wait_for menu_window || fail "a click on the icon did not open the menu"
xdotool key Down Return
wait_for on_screen || fail "\"Ustawienia\" did not bring the window back"
off_taskbar || fail "the window is on the taskbar with a tray to hold it"
click_ok
wait_for withdrawn || fail "with a tray, [ok] left the window '$(wm_state)'"

# The tray goes away under the hidden window: the window comes back minimised.
kill "$tray_host"
wait_for iconic || fail "the window stayed out of reach after the tray went away: '$(wm_state)'"
on_taskbar || fail "the window given back is kept off the taskbar"
[ "$(reported)" -eq 1 ] || fail "the missing tray was reported $(reported) times, want once"

ends_cleanly "$pid"
echo "ok"
