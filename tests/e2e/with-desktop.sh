#!/usr/bin/env bash
# with-desktop.sh [--no-tray] COMMAND [ARGS...]
# Runs COMMAND on a private X server (Xvfb) with a window manager and tray host (icewm), then
# takes them down. DISPLAY is set for the command, and WM_PID to icewm's process; its exit
# status is the script's.
# With --no-tray icewm runs without its taskbar, which holds its tray: no program owns the tray
# selection.
set -u
taskbar=1
if [ "${1:-}" = --no-tray ]; then
  taskbar=0
  shift
fi
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

export XDG_RUNTIME_DIR="$dir"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# Xvfb picks a free display number itself and writes it to the file: two desktops started at
# the same moment never take the same one.
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 &
within 30 test -s "$dir/display" || fail "with-desktop: Xvfb did not start"
DISPLAY=":$(head -n 1 "$dir/display")"
export DISPLAY
within 30 xdpyinfo || fail "with-desktop: Xvfb on $DISPLAY does not answer"

mkdir -p "$dir/.icewm"
echo "ShowTaskBar=$taskbar" >"$dir/.icewm/preferences"
HOME="$dir" icewm >/dev/null 2>&1 &
export WM_PID=$!
# icewm manages windows once it names itself on the root window (EWMH's supporting window
# check). Its tray may come a moment later: Qt docks icons in a tray that turns up, and the
# tests that need the tray wait for their icon.
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
within 30 wm_ready || fail "with-desktop: icewm did not start"

"$@"
