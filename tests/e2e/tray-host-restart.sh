#!/usr/bin/env bash
# tray-host-restart.sh TRAYPROBE
# The tray icon follows the tray host: it moves to a host that takes over, comes back when a
# host starts again after the last one died or quit (icewm or trayer), and stays away while
# IconVisible is false.
set -u
probe=$1
# shellcheck source-path=SCRIPTDIR source=tray-common.sh
. "$(dirname "$0")/tray-common.sh"

start_icewm() { HOME="$dir" icewm "$@" >/dev/null 2>&1 & host=$!; }
start_trayer() { trayer >/dev/null 2>&1 & host=$!; }
stop_host() { kill "-$1" "$host"; wait "$host" 2>/dev/null; }

start_probe "$probe"
wait_for icon || fail "icon never docked"
first_parent=$(parent_of "$(icon)")

# Another host takes the tray over.
start_icewm --replace
wait_for icon_moved ekranik_trayprobe "$first_parent" \
  || fail "icon did not move to the icewm that replaced the first"

# The host dies without a word: the icon is out, and back once a new host runs.
stop_host KILL
wait_for no_icon || fail "icon still docked after the tray host was killed"
start_icewm
wait_for icon || fail "icon not back after icewm was started again"

# The host quits; a different one starts.
stop_host TERM
wait_for no_icon || fail "icon still docked after the tray host quit"
start_trayer
wait_for icon || fail "icon not docked in trayer"

# A hidden icon stays hidden across a restart, and shows again when asked.
say hide
wait_for no_icon || fail "icon still docked after IconVisible false"
stop_host TERM
start_trayer
trayer_up() { xdotool search --onlyvisible --class '^trayer$'; }
wait_for trayer_up || fail "trayer did not start"
tray_taken() { "$probe" --tray-available; }
wait_for tray_taken || fail "trayer did not take the tray"
# Qt docks its shown icons as soon as it hears of a new tray: two seconds are plenty.
holds 2 no_icon || fail "hidden icon came back with the new tray host"
say show
wait_for icon || fail "icon not docked after IconVisible true"

quit_probe
echo "ok"
