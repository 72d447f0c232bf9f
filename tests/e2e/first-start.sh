#!/usr/bin/env bash
# first-start.sh BUILD SERVEFILE BENCH_DIR [CHANNELS]
# A new user's first start, installed: `cmake --install BUILD` into a scratch root, a scratch
# home, no portal running, and listings of CHANNELS channels (100 unless given; at least 40,
# which fill the picker's list) as a .xml.xz file on a web server on the loopback (SERVEFILE
# serves it). Then
# - ekranik started by the launcher's Exec line opens "Wybierz kanały" over its main window;
# - a broken file given there fails with the line in its reason;
# - the user gives the address, searches, checks three channels by keyboard and confirms;
# - ekranik's own portal serves them on the default portal host, and the widget's lines are
#   the three channels' titles on air now; how long that took from the confirming key is
#   printed ("first lines N s after OK"), measured, not checked;
# - quitting leaves no ekranik-portal, and neither does kill -9 of ekranik;
# - a second start starts the portal again, without the picker;
# - with a portal already listening there, ekranik starts none and leaves it running.
# Skipped (77) when something else listens on the default portal host.
set -u
build=$(cd "$1" && pwd)
servefile=$2
bench=$(cd "$3" && pwd)
channels=${4:-100}
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

home=$dir/home
mkdir "$home"
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache
usr=$dir/root/usr
DESTDIR=$dir/root cmake --install "$build" --prefix /usr >/dev/null 2>"$dir/install.log" \
  || fail "cmake --install failed"
export PATH=$usr/bin:$PATH

host=$(sed -n 's/^EKRANIK_PORTAL_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
host=${host:-127.0.0.1:8080}
answers() { curl -s -o /dev/null --max-time 2 "http://$host/"; }
if answers; then
  echo "skipped: something already answers on $host"
  exit 77
fi

# The listings of today, as a grabber writes them, xz-compressed on the web.
perl "$bench/make-xmltv.pl" "$channels" 2 "$(date +%Y%m%d)" | xz -T1 >"$dir/listings.xml.xz"
"$servefile" "$dir/listings.xml.xz" >"$dir/web.out" 2>"$dir/web.log" &
within 30 test -s "$dir/web.out" || fail "the web server did not start"
source_url="$(cat "$dir/web.out")listings.xml.xz"

# The published lines go to the program's log: that is what the widget shows.
export QT_LOGGING_RULES="ekranik.publish.info=true"
read -ra launcher <<<"$(sed -n 's/^Exec=//p' "$usr/share/applications/ekranik.desktop")"
mkdir "$dir/start"
cd "$dir/start" || exit 1
start_from_launcher() {
  "${launcher[@]}" >"$dir/ekranik.log" 2>&1 &
  app_pid=$!
  within 30 shown 'ekranik 2oo6' || fail "the launcher's '${launcher[*]}' shows no main window"
}

# portals_of PID: the ekranik-portal processes whose parent is PID.
portals_of() { pgrep -P "$1" -x ekranik-portal; }
no_portal_left() { ! pgrep -x ekranik-portal -U "$(id -u)" | grep -qxF "$1"; }
state_is() { curl -s --max-time 2 "http://$host/channels.json" | grep -q "\"state\": *\"$1\""; }

start_from_launcher
within 30 shown 'Wybierz kanały' || fail "the first start opened no picker"
picker=$(shown 'Wybierz kanały' | head -n 1)
within 30 has_focus "$picker" || xdotool windowactivate "$picker"
within 30 has_focus "$picker" || fail "the picker never got the keyboard"
# The source field has the keyboard. First a file cut off in the middle: the portal says why,
# with the line, and the station list stays as it was.
printf '<?xml version="1.0"?>\n<tv>\n<channel id="a">\n<display-name>A</display' >"$dir/broken.xml"
xdotool type --delay 20 "$dir/broken.xml"
xdotool key Return
within 30 portals_of "$app_pid" || fail "no portal of ekranik's own was started"
within 60 state_is failed || fail "a broken source did not fail: $(curl -s "http://$host/channels.json")"
curl -s "http://$host/channels.json" | jq -e '.problems[0] | .line == 4 and (.reason | test("wierszu 4"))' \
  >/dev/null || fail "no reason with the line: $(curl -s "http://$host/channels.json")"
# Then the address, in place of the file; Enter reads it.
xdotool key ctrl+a
xdotool type --delay 20 "$source_url"
xdotool key Return
within 30 portals_of "$app_pid" || fail "no portal for the new source"
child=$(portals_of "$app_pid" | head -n 1)
within 60 state_is ready || fail "the portal never served $source_url: $(curl -s "http://$host/channels.json" | head -c 300)"

# The picker shows the rows a moment after the portal has them: a hundred rows fill the list
# down to its bottom, just above the buttons, where it is white while empty (the texts above it
# may take more lines or fewer).
rows_shown() {
  local WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$picker" | grep -E '^(WIDTH|HEIGHT)=')"
  import -window "$picker" "$dir/picker.png" 2>/dev/null
  [ "$(convert "$dir/picker.png" -crop "$((WIDTH - 60))x100+30+$((HEIGHT - 150))" \
    -threshold 50% -negate -format '%[fx:mean>0.02]' info:)" = 1 ]
}
within 60 rows_shown || fail "the picker never showed the channels"
# The keys go to the picker, whatever was shown meanwhile (the widget, at the first publication).
within 30 has_focus "$picker" || fail "the picker lost the keyboard"

# Three channels by keyboard: each search leaves one row, which Space checks.
picked=(17 42 85)
for n in "${picked[@]}"; do
  xdotool type --delay 20 "$n"
  xdotool key space BackSpace BackSpace
done
xdotool key Return
confirmed=${EPOCHREALTIME/./}
within 30 sh -c "! xdotool search --onlyvisible --name '^Wybierz kanały\$'" \
  || fail "the picker stayed open after Enter"

# expected_lines: the station's name and the title on air now of each picked channel, as the
# portal says, tab-separated, a line each.
expected_lines() {
  curl -s --max-time 5 "http://$host/channels.json" | jq -r --arg ids "${picked[*]}" '
    ($ids | split(" ") | map("kanal" + . + ".pl")) as $wanted
    | .channels[] | select(.id as $id | $wanted | index($id))
    | "\(.station | split("|")[0])\t\(.now.title)"'
}
# published_all: the last published list holds a line of each picked channel, with the title on
# air (cut short with "..." where it is long).
published_all() {
  local expected last name title line shown
  expected=$(expected_lines)
  [ "$(grep -c . <<<"$expected")" -eq "${#picked[@]}" ] || return 1
  last=$(grep -A "${#picked[@]}" '^ekranik.publish: widget$' "$dir/ekranik.log" | tail -n "${#picked[@]}")
  while IFS=$'\t' read -r name title; do
    line=$(grep -F -- "ekranik.publish: $name : " <<<"$last") || return 1
    shown=${line#* - }
    shown=${shown%...}
    [ -n "$shown" ] && [[ $title == "$shown"* ]] || return 1
  done <<<"$expected"
}
within 60 published_all || fail "the widget never showed the three picked channels"
shown_at=${EPOCHREALTIME/./}
echo "first lines $(((shown_at - confirmed) / 1000)) ms after OK, $channels channels"

ends_cleanly "$app_pid"
within 10 no_portal_left "$child" || fail "the portal $child outlived ekranik"

# The second start: the station files are there, the sources kept; no picker, a portal again.
start_from_launcher
within 30 portals_of "$app_pid" || fail "the second start started no portal"
child=$(portals_of "$app_pid" | head -n 1)
holds 3 sh -c "! xdotool search --onlyvisible --name '^Wybierz kanały\$'" \
  || fail "the second start opened the picker"
within 60 published_all || fail "the second start showed no lines"
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
within 10 no_portal_left "$child" || fail "the portal $child outlived ekranik killed with SIGKILL"

# Someone else's portal there: used, never started or stopped.
"$usr/bin/ekranik-portal" --listen "$host" --xmltv "$source_url" >"$dir/portal.out" 2>"$dir/portal.log" &
theirs=$!
within 60 grep -q serving "$dir/portal.out" || fail "the user's own portal did not start"
start_from_launcher
holds 5 sh -c "! pgrep -P $app_pid -x ekranik-portal" || fail "ekranik started a portal beside the user's"
ends_cleanly "$app_pid"
kill -0 "$theirs" || fail "ekranik stopped the user's portal"
echo "ok"
