#!/usr/bin/env bash
# tray-host-restart.sh TRAYPROBE
# The tray icon follows the tray host: it moves to a host that takes over, comes back when a
# host starts again after the last one died or quit (icewm or trayer), and stays away while
# IconVisible is false.
set -u
probe=$1
. "$(dirname "$0")/tray-common.sh"

mine=()
cleanup() {
  for p in "${mine[@]}"; do kill "$p" 2>/dev/null; done
  [ -n "${probe_pid:-}" ] && kill "$probe_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "${dir:-}"
}
trap cleanup EXIT

start_icewm() { HOME="$XDG_RUNTIME_DIR" icewm "$@" >/dev/null 2>&1 & host=$!; mine+=("$host"); }
start_trayer() { trayer >/dev/null 2>&1 & host=$!; mine+=("$host"); }
stop_host() { kill "-$1" "$host"; wait "$host" 2>/dev/null; }

start_probe
wait_for docked_icon || fail "icon never docked"
first_parent=$(parent_of "$(docked_icon)")

# Another host takes the tray over.
start_icewm --replace
moved() { w=$(docked_icon) && [ "$(parent_of "$w")" != "$first_parent" ]; }
wait_for moved || fail "icon did not move to the icewm that replaced the first"

# The host dies without a word: the icon is out, and back once a new host runs.
stop_host KILL
wait_for not_docked || fail "icon still docked after the tray host was killed"
start_icewm
wait_for docked_icon || fail "icon not back after icewm was started again"

# The host quits; a different one starts.
stop_host TERM
wait_for not_docked || fail "icon still docked after the tray host quit"
start_trayer
wait_for docked_icon || fail "icon not docked in trayer"

# A hidden icon stays hidden across a restart, and shows again when asked.
say hide
wait_for not_docked || fail "icon still docked after IconVisible false"
stop_host TERM
start_trayer
trayer_up() { xdotool search --onlyvisible --class '^trayer$'; }
wait_for trayer_up || fail "trayer did not start"
sleep 1
not_docked || fail "hidden icon came back with the new tray host"
say show
wait_for docked_icon || fail "icon not docked after IconVisible true"

quit_probe
echo "ok"
