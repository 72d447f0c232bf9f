# shellcheck shell=bash
# A headless Wayland desktop for the end-to-end scripts, sourced by them (in place of common.sh).
# start_weston [--xwayland]: starts weston with its headless backend (1280x800) and its socket
# in a private runtime folder under $dir, and exports WAYLAND_DISPLAY and XDG_RUNTIME_DIR.
# With --xwayland it also serves X11 clients through XWayland, started at the first one; weston
# picks the display number and names it in its log, and xwayland_display prints it (":N").
# weston runs with its debug protocol: scene_graph prints what it shows (weston-debug).
# Ended by common.sh at exit like every program the script started; XWayland goes with it.

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

start_weston() {
  export XDG_RUNTIME_DIR=$dir/runtime WAYLAND_DISPLAY=ekranik-e2e
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  weston --backend=headless-backend.so --width=1280 --height=800 --idle-time=0 --debug \
    --socket="$WAYLAND_DISPLAY" --log="$dir/weston.log" "$@" >/dev/null 2>&1 &
  within 30 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || fail "weston did not start"
  if [ "${1-}" = --xwayland ]; then
    within 30 xwayland_display || fail "weston offers no X server"
  fi
}

xwayland_display() {
  sed -n 's/.*xserver listening on display \(:[0-9]*\)$/\1/p' "$dir/weston.log" | grep .
}

scene_graph() { timeout 5 weston-debug scene-graph 2>/dev/null; }
# toplevel_of PID TITLE: weston shows a Wayland toplevel window TITLE of the process PID.
toplevel_of() {
  scene_graph | grep -F "role xdg_toplevel, PID $1, " | grep -qF "top-level window '$2'"
}
