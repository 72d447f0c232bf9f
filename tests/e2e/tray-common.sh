# Helpers of the tray tests, sourced by them. Needs $probe (the ekranik_trayprobe program).
# start_probe runs it in a fresh folder with a pipe on its standard input ("say CMD" writes to
# it) and its output in $dir/out.log.

fail() { echo "FAIL: $*" >&2; [ -f "${dir:-}/out.log" ] && sed 's/^/  probe: /' "$dir/out.log" >&2; exit 1; }

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Runs "$@" until it succeeds, for up to 10 s.
wait_for() { within 10 "$@"; }

start_probe() {
  dir=$(mktemp -d)
  mkfifo "$dir/in"
  exec 3<>"$dir/in"
  "$probe" <&3 >"$dir/out.log" 2>&1 &
  probe_pid=$!
}

say() { echo "$*" >&3; }

# Ends the probe with "quit" and checks its exit status.
quit_probe() {
  say quit
  for _ in $(seq 200); do
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$probe_pid" 2>/dev/null && { kill -KILL "$probe_pid"; fail "probe still running 10 s after quit"; }
  wait "$probe_pid"
  local status=$?
  [ "$status" -eq 0 ] || fail "probe exit status $status"
}

probe_windows() { xdotool search --class '^ekranik_trayprobe$' 2>/dev/null; }

parent_of() { xwininfo -id "$1" -tree 2>/dev/null | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p'; }

root_id() { xwininfo -root 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p'; }

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# Prints the probe's tray icon window when it is embedded in a tray (an XEmbed client that is
# shown and not a top-level window), and fails otherwise.
docked_icon() {
  local w root
  root=$(root_id)
  for w in $(probe_windows); do
    xprop -id "$w" _XEMBED_INFO 2>/dev/null | grep -q '=' || continue
    [ "$(parent_of "$w")" != "$root" ] || continue
    viewable "$w" || continue
    echo "$w"
    return 0
  done
  return 1
}

not_docked() { ! docked_icon; }

# Prints the probe's shown balloon window (a tool-tip window), and fails when there is none.
balloon_window() {
  local w
  for w in $(xdotool search --onlyvisible --class '^ekranik_trayprobe$' 2>/dev/null); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP || continue
    echo "$w"
    return 0
  done
  return 1
}

no_balloon() { ! balloon_window; }

# Succeeds once the probe printed the line $1 at least $2 times (default once).
said() { [ "$(grep -c -x -- "$1" "$dir/out.log")" -ge "${2:-1}" ]; }
