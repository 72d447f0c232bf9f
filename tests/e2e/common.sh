# shellcheck shell=bash
# Helpers of the end-to-end scripts, sourced by them first.
# Each script gets a scratch folder $dir. At exit, every program the script started and left
# running is ended (SIGTERM, so that Xvfb removes its lock files) and the folder is removed.
# Programs write their output to $dir/NAME.log, and fail shows those logs.
# Built with the sanitizers (make asan), a program reports on its stderr, that is in its log:
# any report there fails the test, also from a program whose exit status no check reads (the
# portal, ended here) or where a failing status is the expected one.

dir=$(mktemp -d)
# The program keeps its settings and, started away from its station files, the files too in the
# XDG folders: the scratch folder's, never the user's own.
export XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data
cleanup() {
  local status=$? pid log
  for pid in $(jobs -p); do end_with_sigterm "$pid" >/dev/null 2>&1; done
  for log in "$dir"/*.log; do
    grep -qsE '^==[0-9]+==ERROR: |: runtime error: ' "$log" || continue
    echo "FAIL: sanitizer report in $(basename "$log")" >&2
    # A failed check has shown the logs already.
    [ "$status" -ne 0 ] || sed "s/^/  $(basename "$log" .log): /" "$log" >&2
    status=1
  done
  chmod -R u+w "$dir"
  rm -rf "$dir"
  exit "$status"
}
trap cleanup EXIT

# fail MESSAGE: ends the test, saying why and showing the programs' logs.
fail() {
  local log
  echo "FAIL: $*" >&2
  for log in "$dir"/*.log; do
    [ -s "$log" ] && sed "s/^/  $(basename "$log" .log): /" "$log" >&2
  done
  exit 1
}

# within SECONDS COMMAND...: runs COMMAND until it succeeds, for up to SECONDS seconds by the
# clock however long each try takes, and fails after a last try. Every wait of the tests is one
# of these, for the state it needs: they pass as soon as it holds, so their limits are generous
# (a busy machine is slow), and matter only to a test that fails.
within() {
  local deadline=$((${EPOCHREALTIME//[!0-9]/} + $1 * 1000000))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "${EPOCHREALTIME//[!0-9]/}" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# holds SECONDS COMMAND...: COMMAND succeeds every time it is run for SECONDS seconds: what must
# not happen did not happen in that time.
holds() {
  local deadline=$((${EPOCHREALTIME//[!0-9]/} + $1 * 1000000))
  shift
  while [ "${EPOCHREALTIME//[!0-9]/}" -lt "$deadline" ]; do
    "$@" >/dev/null 2>&1 || return 1
    sleep 0.05
  done
}

gone() { ! kill -0 "$1" 2>/dev/null; }

# How long a program that was asked to end may take, its saving included, on a busy machine.
end_limit=30

# await_end PID: waits up to end_limit seconds for a program that was asked to end. Returns its
# exit status, or 124 when it was still running and had to be killed.
await_end() {
  local pid=$1
  if ! within "$end_limit" gone "$pid"; then
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null
    return 124
  fi
  wait "$pid"
}

# end_with_sigterm PID: ends a program the way the desktop does; returns as await_end.
end_with_sigterm() {
  kill -TERM "$1"
  await_end "$1"
}

# ended_cleanly PID HOW: after a program was asked to end (HOW, e.g. "SIGTERM"), fails unless
# it ended with status 0.
ended_cleanly() {
  local status
  await_end "$1"
  status=$?
  [ "$status" -ne 124 ] || fail "still running $end_limit s after $2"
  [ "$status" -eq 0 ] || fail "exit status $status after $2"
}

# ends_cleanly PID: ends a program with SIGTERM and fails unless it ended with status 0.
ends_cleanly() {
  kill -TERM "$1"
  ended_cleanly "$1" SIGTERM
}

# start_portal PORTAL DATA_DIR: the listings portal on a free port with the demo listings
# moved to today, its request log in $dir/portal.log. portal_port prints the port.
start_portal() {
  "$1" --listen 127.0.0.1:0 --xmltv "$2/demo.xmltv" --stations "$2/stations.map" --today \
    >"$dir/portal.out" 2>"$dir/portal.log" &
  within 30 grep -q serving "$dir/portal.out" || fail "the portal did not start"
}
portal_port() { sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$dir/portal.out"; }
# work_folder_for_portal: makes $dir/work and goes into it, with the default station list
# pointing at the portal and polsat.tv, tvn.tv, tvp1.tv and tvn24.tv checked.
work_folder_for_portal() {
  local scripts
  scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
  mkdir -p "$dir/work"
  cd "$dir/work" || exit 1
  "$scripts/write-station-list.sh" "127.0.0.1:$(portal_port)" 1 3 4 8
}

# pages_served N: the portal has answered at least N requests with a page.
pages_served() { [ "$(grep -c ' 200 ' "$dir/portal.log")" -ge "$1" ]; }

# shown TITLE: prints the shown windows titled TITLE; fails when there is none.
shown() { xdotool search --onlyvisible --name "^$1\$"; }

parent_of() { xwininfo -id "$1" -tree 2>/dev/null | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p'; }
root_window() { xwininfo -root 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p'; }

# has_focus WINDOW: the keyboard goes to WINDOW, so keys typed now reach it.
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# docked_icon CLASS: prints the tray icon window of the program of window class CLASS, and
# fails when it is not docked. Qt marks every window of a program with XEmbed information, so
# the icon is told by its place and size: shown, small, and inside another window (the tray),
# where override-redirect windows (menus, tool tips) hang from the root.
docked_icon() {
  local w info root
  root=$(root_window)
  for w in $(xdotool search --class "^$1\$" 2>/dev/null); do
    info=$(xwininfo -id "$w" 2>/dev/null) || continue
    grep -q 'Map State: IsViewable' <<<"$info" || continue
    [ "$(sed -n 's/.*Width: //p' <<<"$info")" -le 64 ] || continue
    [ "$(sed -n 's/.*Height: //p' <<<"$info")" -le 64 ] || continue
    [ "$(parent_of "$w")" != "$root" ] || continue
    echo "$w"
    return 0
  done
  return 1
}

# icon_moved CLASS PARENT: the icon of CLASS is docked, in another window than PARENT.
icon_moved() {
  local w
  w=$(docked_icon "$1") && [ "$(parent_of "$w")" != "$2" ]
}

# popup_menus CLASS: prints the open menus (submenus too) of the program of window class CLASS;
# fails when none is open. A Qt menu is a shown override-redirect window hanging from the root
# and no tool tip (a balloon is one); the program's other windows go through the window
# manager, and its tray icon hangs inside the tray.
popup_menus() {
  local w root
  root=$(root_window)
  for w in $(xdotool search --onlyvisible --class "^$1\$" 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
    [ "$(parent_of "$w")" = "$root" ] || continue
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && continue
    echo "$w"
  done | grep .
}
# menus_shown CLASS COUNT: the program of window class CLASS shows COUNT menus.
menus_shown() { [ "$(popup_menus "$1" | wc -l)" -eq "$2" ]; }

# menu_keys MENU KEY...: presses KEYs in the open menu whose window is MENU. Qt takes the
# keyboard for a menu only a moment after it shows it, later still on a busy machine, and keys
# typed before then go to whichever window has the focus: these are sent to the menu's window
# itself, and Qt hands them to its open menu whatever has the keyboard. The last key, which
# may close the menu and with it the window, is only pressed.
menu_keys() {
  local menu=$1
  shift
  [ $# -lt 2 ] || xdotool key --window "$menu" "${@:1:$#-1}"
  xdotool keydown --window "$menu" "${@: -1}"
}

# remind_of_on_air MAIN DIALOG REMINDER: takes the first word of the title on air at tvn24.tv
# (the station parsed last), types it into the reminder dialog (titled DIALOG) that the main
# window MAIN's reminder button opens, and waits for the reminder window titled REMINDER.
remind_of_on_air() {
  local title keyword dialog
  title=$(LC_ALL=C tr -d '\r\n' <tvn24.tv | LC_ALL=C sed 's/.*trwa\.gif//' |
    LC_ALL=C grep -o 'javascript:okno([0-9]*)">[^<]*' | head -n 1 | sed 's/.*">//')
  keyword=$(echo "$title" | LC_ALL=C grep -o '[A-Za-z]\{3,\}' | head -n 1)
  [ -n "$keyword" ] || fail "no keyword in the title on air at tvn24.tv: '$title'"
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + 232 + 48)) $((Y + 204 + 12)) click 1
  within 30 shown "$2" || fail "the reminder dialog \"$2\" did not open"
  # Typed once the dialog has the keyboard: keys typed before would go to another window.
  dialog=$(shown "$2" | head -n 1)
  within 30 has_focus "$dialog" || fail "the reminder dialog never got the keyboard"
  xdotool type --delay 20 "$keyword"
  xdotool key Return
  within 40 shown "$3" || fail "no \"$3\" for '$keyword' (title on air: '$title')"
}
