#!/usr/bin/env bash
# with-desktop.sh COMMAND [ARGS...]
# Runs COMMAND on a private X server (Xvfb) with a window manager and tray host (icewm), then
# takes them down. DISPLAY is set for the command; its exit status is the script's.
set -u

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# Xvfb picks a free display number itself and writes it to the file: two desktops started at
# the same moment never take the same one.
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp 3>"$runtime/display" >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$runtime"
}
trap cleanup EXIT

for _ in $(seq 100); do
  [ -s "$runtime/display" ] && break
  sleep 0.05
done
[ -s "$runtime/display" ] || { echo "with-desktop: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$runtime/display")"
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.05
done
xdpyinfo >/dev/null 2>&1 || { echo "with-desktop: Xvfb on $DISPLAY does not answer" >&2; exit 1; }

HOME="$runtime" icewm >/dev/null 2>&1 &
wm_pid=$!
# The tray host is ready once it owns the system tray selection.
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -qi 'icewm' && break
  sleep 0.05
done
sleep 0.5

"$@"
