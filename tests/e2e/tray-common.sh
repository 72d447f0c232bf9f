# shellcheck shell=bash
# Helpers of the tray tests, sourced by them. start_probe PROBE runs the ekranik_trayprobe
# program with a pipe on its standard input ("say CMD" writes to it) and its output in
# $dir/probe.log.

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Runs "$@" until it succeeds, for up to 30 s.
wait_for() { within 30 "$@"; }

start_probe() {
  mkfifo "$dir/in"
  exec 3<>"$dir/in"
  "$1" <&3 >"$dir/probe.log" 2>&1 &
  probe_pid=$!
}

say() { echo "$*" >&3; }

# Ends the probe with "quit" and checks its exit status.
quit_probe() {
  say quit
  ended_cleanly "$probe_pid" quit
}

icon() { docked_icon ekranik_trayprobe; }

no_icon() { ! icon; }

# Prints the probe's shown balloon windows (tool-tip windows).
balloons() {
  local w
  for w in $(xdotool search --onlyvisible --class '^ekranik_trayprobe$' 2>/dev/null); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && echo "$w"
  done
}

# Prints the first balloon window, and fails when none is shown.
balloon_window() { balloons | head -n 1 | grep .; }

no_balloon() { ! balloon_window; }

# Succeeds once the probe printed the line $1 at least $2 times (default once).
said() { [ "$(grep -c -x -- "$1" "$dir/probe.log")" -ge "${2:-1}" ]; }

# The real program, for the tests of desktops without an XEmbed tray. start_ekranik EKRANIK
# starts it in a folder of stations on a closed port, none checked (nothing is fetched), with
# its output in $dir/ekranik.log; its process is $pid and its main window $main, once the
# window manager shows it.
start_ekranik() {
  local scripts
  scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
  mkdir "$dir/work"
  (cd "$dir/work" && "$scripts/write-station-list.sh" "127.0.0.1:9")
  (cd "$dir/work" && exec "$1") >"$dir/ekranik.log" 2>&1 &
  pid=$!
  wait_for shown 'ekranik 2oo6' || fail "main window never shown"
  main=$(shown 'ekranik 2oo6' | head -n 1)
  wait_for on_screen || fail "the window manager did not take the main window: '$(wm_state)'"
}

# The main window's WM_STATE as the window manager keeps it: Normal, Iconic, or nothing once
# withdrawn; and whether it is minimised, on the screen, or hidden.
wm_state() { xprop -id "$main" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }
iconic() { [ "$(wm_state)" = Iconic ] && xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN; }
main_shown() { shown 'ekranik 2oo6' | grep -qx "$main"; }
on_screen() { [ "$(wm_state)" = Normal ] && main_shown; }
withdrawn() { ! main_shown && [ "$(wm_state)" != Iconic ]; }
# Off the taskbar: a utility window with the skip-taskbar state.
off_taskbar() {
  xprop -id "$main" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_UTILITY \
    && xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR
}
on_taskbar() {
  ! xprop -id "$main" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_UTILITY \
    && ! xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR
}

# A click on the main window's "[ok]".
click_ok() {
  local x y
  read -r x y < <(xdotool getwindowgeometry --shell "$main" | sed -n 's/^[XY]=//p' | paste -sd ' ')
  xdotool mousemove $((x + 332)) $((y + 11)) click 1
}

# The StatusNotifierItem stand-in host (tests/tray/snihost.cpp). open_host_pipe makes the pipe
# it reads its commands from ("host CMD"); start_host SNIHOST N starts it, the Nth time, as
# $host_pid. It writes to $dir/host.log, and a host started again goes on in the same pipe and
# log.
open_host_pipe() {
  mkfifo "$dir/host.in"
  exec 4<>"$dir/host.in"
}
host() { echo "$*" >&4; }
heard() { [ "$(grep -c -x -- "$1" "$dir/host.log")" -ge "${2:-1}" ]; }
start_host() {
  "$1" <&4 >>"$dir/host.log" 2>&1 &
  # shellcheck disable=SC2034 # for the scripts that stop it
  host_pid=$!
  wait_for heard ready "$2" || fail "the stand-in host did not start"
}
registered() { [ "$(grep -c '^registered ' "$dir/host.log")" -ge "$1" ]; }
# What the host shows of the item: the lines of one "show".
show() {
  local from
  from=$(($(wc -l <"$dir/host.log") + 1))
  host show
  wait_for sh -c "tail -n +$from '$dir/host.log' | grep -qx end" || fail "the host could not read the item"
  tail -n +"$from" "$dir/host.log" | sed '/^end$/q' | grep -v -e '^registered ' -e '^notify '
}
