#!/usr/bin/env bash
# tray-click-menu-balloon.sh TRAYPROBE
# Real pointer input on the tray icon: a minimised main window goes to the tray, a click on the
# icon brings it back, a double click runs the menu's default action and is no click, the right
# button opens the menu. Balloons show next to the icon, report a click, and go on request.
set -u
probe=$1
# shellcheck source-path=SCRIPTDIR source=tray-common.sh
. "$(dirname "$0")/tray-common.sh"

main_window() { shown 'ekranik probe'; }
no_main_window() { ! main_window; }
active_main() { [ "$(xdotool getactivewindow)" = "$(main_window)" ]; }
minimise() {
  xdotool windowminimize "$(main_window)"
  wait_for no_main_window || fail "main window still shown after minimising"
  wait_for said OnMinimizeToTray "$1" || fail "no OnMinimizeToTray"
}
press_icon() { xdotool mousemove --window "$(icon)" 11 11 click "$@"; }
menu() { popup_menus ekranik_trayprobe; }

start_probe "$probe"
wait_for icon || fail "icon never docked"
say window
wait_for main_window || fail "main window never shown"

# Minimised: off the screen, the icon stays; a left click brings the window back, active.
minimise 1
press_icon 1
wait_for main_window || fail "left click did not restore the main window"
wait_for active_main || fail "restored main window is not active"
said "OnMouseDown 1" || fail "no OnMouseDown for the left button"
said OnClick || fail "no OnClick"

# A double click: OnDblClick and the default action, and no further OnClick.
minimise 2
press_icon --repeat 2 --delay 60 1
wait_for said OnDblClick || fail "no OnDblClick"
wait_for said restore || fail "double click did not run the default action"
wait_for main_window || fail "default action did not restore the main window"

# The right button opens the menu; its first entry restores the window.
minimise 3
# The window manager takes the focus from the minimised window a moment later, and Qt closes
# every popup when the program loses it: a menu opened before then would close at once.
inactive() { [ "$(grep -xE 'active|inactive' "$dir/probe.log" | tail -n 1)" = inactive ]; }
wait_for inactive || fail "the program kept the focus after minimising"
press_icon 3
wait_for said "OnMouseDown 2" || fail "no OnMouseDown for the right button"
wait_for menu || fail "right button did not open the menu"
menu_keys "$(menu)" Down Return
wait_for main_window || fail "the menu's first entry did not restore the main window"

# A balloon shows, reports a click and goes away with it.
say "balloon Przypomnienie"
wait_for balloon_window || fail "balloon never shown"
xdotool mousemove --window "$(balloon_window)" 20 20 click 1
wait_for said OnBalloonHintClick || fail "no OnBalloonHintClick"
wait_for no_balloon || fail "clicked balloon still shown"

# A balloon is removed on request, and a new one replaces the old: Qt shows each balloon in a
# window of its own.
say "balloon Pierwszy"
wait_for balloon_window || fail "balloon never shown"
first=$(balloon_window)
say "balloon Drugi"
replaced() { balloon_window && ! balloons | grep -qx "$first"; }
wait_for replaced || fail "the first balloon was not replaced: $(balloons | wc -l) shown"
count=$(balloons | wc -l)
[ "$count" -eq 1 ] || fail "$count balloons shown"
say unballoon
wait_for no_balloon || fail "balloon still shown after HideBalloonHint"

# A click held back for a double-click interval (400 ms) would be out by now: the double click
# was well over a second ago (1.7 s on an idle machine), and the probe's event loop has shown
# the balloons since.
said OnClick 2 && fail "double click also gave OnClick"

quit_probe
echo "ok"
