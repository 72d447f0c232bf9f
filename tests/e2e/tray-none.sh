#!/usr/bin/env bash
# tray-none.sh EKRANIK TRAYPROBE
# The real program on a desktop with a window manager and no tray at all (run with
# with-desktop.sh --no-tray, on a session bus without a StatusNotifierItem host): "[ok]"
# minimises the main window rather than hiding it where nothing could bring it back, with a
# taskbar entry, says why once, and the window can be brought back; also when the window manager
# is slow to let go of the window, which the taskbar entry takes off the screen for a moment. A
# tray that turns up later takes the window again, and one that goes away under the hidden
# window gives it back minimised.
set -u
ekranik=$1
probe=$2
# A session bus of our own, with no StatusNotifierItem host on it.
[ -n "${EKRANIK_PRIVATE_BUS:-}" ] || EKRANIK_PRIVATE_BUS=1 exec dbus-run-session \
  --config-file="$(dirname "$0")/../support/private-bus.conf" -- "$0" "$@"
# shellcheck source-path=SCRIPTDIR source=tray-common.sh
. "$(dirname "$0")/tray-common.sh"

tray_there() { "$probe" --tray-available; }
! tray_there || fail "the desktop has a tray"
reported() { grep -c 'Brak obszaru powiadomień' "$dir/ekranik.log"; }

start_ekranik "$ekranik"
unmapped() { xwininfo -id "$main" | grep -q 'Map State: IsUnMapped'; }
for round in 1 2; do
  if [ "$round" -eq 1 ]; then
    # The first "[ok]" unmaps the window to give it a taskbar entry. The window manager, held
    # up as a busy machine may hold it, lets go of the window only once it runs again; a window
    # mapped again before that is lost.
    kill -STOP "$WM_PID"
    click_ok
    within 30 unmapped
    taken_off=$?
    kill -CONT "$WM_PID"
    [ "$taken_off" -eq 0 ] || fail "the first [ok] left the window mapped: '$(wm_state)'"
  else
    click_ok
  fi
  wait_for iconic || fail "[ok] left the window '$(wm_state)', not minimised (round $round)"
  wait_for on_taskbar || fail "the minimised window is kept off the taskbar (round $round)"
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
# Its menu brings the window back, off the taskbar again. Qt closes its menus when the program
# loses the focus, and the hidden window's focus goes a moment after it is hidden, later on a
# busy machine: the menu is opened once the focus has left it (the desktop widget, mapped by the
# first tick, takes no focus).
wait_for shown RadudoVorozu || fail "the desktop widget was never shown"
wait_for sh -c "! xdotool getwindowfocus | grep -qx '$((main))'" \
  || fail "the hidden window kept the focus"
xdotool mousemove --window "$(docked_icon ekranik)" 11 11 click 1
wait_for popup_menus ekranik || fail "a click on the icon did not open the menu"
menu_keys "$(popup_menus ekranik)" Down Return
wait_for on_screen || fail "\"Ustawienia\" did not bring the window back"
wait_for off_taskbar || fail "the window is on the taskbar with a tray to hold it"
click_ok
wait_for withdrawn || fail "with a tray, [ok] left the window '$(wm_state)'"

# The tray goes away under the hidden window: the window comes back minimised.
kill "$tray_host"
wait_for iconic || fail "the window stayed out of reach after the tray went away: '$(wm_state)'"
wait_for on_taskbar || fail "the window given back is kept off the taskbar"
[ "$(reported)" -eq 1 ] || fail "the missing tray was reported $(reported) times, want once"

ends_cleanly "$pid"
echo "ok"
