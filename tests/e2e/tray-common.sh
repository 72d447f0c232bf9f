# shellcheck shell=bash
# Helpers of the tray tests, sourced by them. start_probe PROBE runs the ekranik_trayprobe
# program with a pipe on its standard input ("say CMD" writes to it) and its output in
# $dir/probe.log.

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Runs "$@" until it succeeds, for up to 10 s.
wait_for() { within 10 "$@"; }

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
