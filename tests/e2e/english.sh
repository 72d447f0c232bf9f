#!/usr/bin/env bash
# english.sh EKRANIK PORTAL DATA_DIR SNIHOST
# The program in an English session (LANG=en_US.UTF-8) against the real portal, where the
# notification area is the StatusNotifierItem stand-in host SNIHOST on a session bus of its own
# (run with with-desktop.sh --no-tray), which reads the exported tray menu:
# - the tray menu's entries are English, and the hot start's balloon arrives in English;
# - the input dialog is titled "input", and a reminder keyword taken from a title on air pops up
#   "ekranik - Reminder";
# - "Quit" in the host's menu ends the program.
set -u
ekranik=$1
portal=$2
data=$3
snihost=$4
[ -n "${EKRANIK_PRIVATE_BUS:-}" ] || EKRANIK_PRIVATE_BUS=1 exec dbus-run-session \
  --config-file="$(dirname "$0")/../support/private-bus.conf" -- "$0" "$@"
# shellcheck source-path=SCRIPTDIR source=tray-common.sh
. "$(dirname "$0")/tray-common.sh"

open_host_pipe
start_host "$snihost" 1
start_portal "$portal" "$data"
work_folder_for_portal
(
  unset LC_ALL LC_MESSAGES LANGUAGE
  LANG=en_US.UTF-8 exec "$ekranik"
) >"$dir/ekranik.log" 2>&1 &
pid=$!
wait_for shown 'ekranik 2oo6' || fail "main window never shown"
main=$(shown 'ekranik 2oo6' | head -n 1)
wait_for on_screen || fail "the window manager did not take the main window: '$(wm_state)'"
wait_for registered 1 || fail "the icon never registered with the host"

menu=$(show | grep '^item ' | sed 's/^item //')
expected="ekranik - setup (off)
-
Settings
Choose channels…
Statistics >
  Downloaded: ~~ kB | ~~ MB (off)
  Successful updates: ~~ (off)
Update frequency >
  Extremely fast [2s]
  Fastest [5s]
  Fast [10s]
  Normal [20s] (x)
  Slow [40s]
  Slowest [60s]
  -
  The frequency says how often a station is updated; 20s means 1 station every 20 seconds [1/20s] (off)
Quit"
[ "$menu" = "$expected" ] || fail "the host's menu:
$menu"

# Hidden during the hot start, the window leaves a balloon, here a notification.
click_ok
wait_for withdrawn || fail "[ok] left the window '$(wm_state)'"
wait_for grep -q '^notify ekranik|Updating, please wait' "$dir/host.log" \
  || fail "no English notification for the hot start balloon"
host click Settings
wait_for on_screen || fail "\"Settings\" in the host's menu did not show the window"

# A reminder: the first word of the title on air at tvn24.tv, typed into the dialog that
# "Reminder" opens.
within 60 test -s tvn24.tv || fail "the page of tvn24.tv was never saved"
remind_of_on_air "$main" input 'ekranik - Reminder'

host click Quit
ended_cleanly "$pid" '"Quit" in the host'"'"'s menu'
echo "ok"
