#!/usr/bin/env bash
# wayland.sh MODE EKRANIK PORTAL DATA_DIR
# The program in a Wayland session (headless weston) against the bundled portal, with no
# QT_QPA_PLATFORM and its widget's place kept at (300, 200) from an earlier run:
# - MODE xwayland: WAYLAND_DISPLAY and DISPLAY (weston's XWayland) set. It runs on X11: the main
#   window and the widget are X11 windows on XWayland's display, none is a Wayland one, and the
#   widget asks X11 for its kept place.
# - MODE native: WAYLAND_DISPLAY alone. It runs on Wayland: both windows are Wayland toplevels
#   of the program, and the log says once that the widget cannot place itself.
# Either way every checked station's page is fetched, and SIGTERM ends the program cleanly.
set -u
mode=$1
ekranik=$2
portal=$3
data=$4

# shellcheck source-path=SCRIPTDIR source=weston.sh
. "$(dirname "$0")/weston.sh"

unset QT_QPA_PLATFORM DISPLAY
# As a Wayland desktop sets it for its programs.
export XDG_SESSION_TYPE=wayland
start_portal "$portal" "$data"
work_folder_for_portal
conf=$XDG_CONFIG_HOME/ekranik/ekranik.conf
mkdir -p "$(dirname "$conf")"
printf '[widget]\nx=300\ny=200\n' >"$conf"

case $mode in
  xwayland) start_weston --xwayland && DISPLAY=$(xwayland_display) && export DISPLAY ;;
  native)
    start_weston
    # Built with the sanitizers: the leaks of Mesa's EGL, which Qt's Wayland platform loads, are
    # told apart by their whole stack (tests/support/lsan.supp).
    [ -z "${ASAN_OPTIONS:-}" ] || export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0"
    ;;
  *) fail "unknown mode $mode" ;;
esac

"$ekranik" >"$dir/ekranik.log" 2>&1 &
app_pid=$!
# One page a checked station, the first 8 s after the start.
within 60 pages_served 4 || fail "fewer than four pages served"
kill -0 "$app_pid" 2>/dev/null || fail "ekranik ended"
note=$(grep -c 'stoi tam, gdzie postawi go kompozytor' "$dir/ekranik.log")

if [ "$mode" = xwayland ]; then
  [ "$note" -eq 0 ] || fail "the note on native Wayland was logged under XWayland"
  within 30 shown 'ekranik 2oo6' || fail "the main window is no X11 window on XWayland"
  within 30 shown RadudoVorozu || fail "the widget is no X11 window on XWayland"
  ! toplevel_of "$app_pid" 'ekranik 2oo6' || fail "the main window is a Wayland one"
  # The widget places itself through X11. Where it lands is the window manager's choice, and
  # weston's own one (10.0) ignores the place of a tool window: it takes the window's offset in
  # the frame it gives it for the window's place on the screen, and has every one at (32, 32).
  widget=$(shown RadudoVorozu | head -n 1)
  xprop -id "$widget" WM_NORMAL_HINTS | grep -q 'user specified location: 300, 200$' \
    || fail "the widget did not ask X11 for its kept place (300, 200): $(xprop -id "$widget" WM_NORMAL_HINTS)"
else
  [ "$note" -eq 1 ] || fail "the note on native Wayland was logged $note times"
  # Both windows are weston's own: Wayland toplevels of this process, not X11 ones.
  for title in 'ekranik 2oo6' RadudoVorozu; do
    within 30 toplevel_of "$app_pid" "$title" \
      || fail "no Wayland window '$title' of the program: $(scene_graph)"
  done
fi

ends_cleanly "$app_pid"
# Natively the widget never learns its place: the one kept from X11 stays in the settings.
if [ "$mode" = native ]; then
  if ! grep -qx 'x=300' "$conf" || ! grep -qx 'y=200' "$conf"; then
    fail "the kept place was lost: $(cat "$conf")"
  fi
fi
echo ok
