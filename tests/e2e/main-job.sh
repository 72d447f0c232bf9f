#!/usr/bin/env bash
# main-job.sh EKRANIK PORTAL DATA_DIR SCREENSHOT
# The program's main job from the outside: the real ekranik against the real ekranik-portal
# on a desktop with a tray host, four stations checked.
# - after the hot start the desktop widget "RadudoVorozu" is mapped, and the portal has seen
#   one HTTP/1.0 "FlashGet" request per checked station; the pages are saved in the folder;
# - a reminder keyword taken from a title on air pops up "ekranik - Przypomnienie", off the
#   taskbar;
# - restarting the tray host brings the tray icon back;
# - SIGTERM leaves both station files as they were.
# The screen with the widget is kept in SCREENSHOT.
set -u
ekranik=$1
portal=$2
data=$3
screenshot=$4

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

# The portal on a free port, with the demo listings moved to today.
start_portal "$portal" "$data"

# The default list pointing at it, with polsat.tv, tvn.tv, tvp1.tv and tvn24.tv checked.
mkdir "$dir/kept"
work_folder_for_portal
cp programy.tv programy_stan.tv "$dir/kept/"

"$ekranik" >"$dir/ekranik.log" 2>&1 &
app_pid=$!

# The first tick comes after 8 s, then one a second through the 13 stations.
within 40 shown RadudoVorozu || fail "the widget was never mapped"
within 20 pages_served 4 || fail "fewer than four pages served"
sleep 2
import -window root "$screenshot" 2>/dev/null
# The lines stand on the desktop: white text in the widget's list area.
widget=$(shown RadudoVorozu | head -n 1)
xprop -id "$widget" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR || fail "the widget is on the taskbar"
eval "$(xdotool getwindowgeometry --shell "$widget")"
lit=$(convert "$screenshot" -crop "282x52+$((X + 8))+$((Y + 22))" -threshold 50% -format '%[fx:mean>0.01]' info:)
[ "$lit" = 1 ] || fail "the widget's list shows no lines"

requests=$(grep -c 'GET ' "$dir/portal.log")
[ "$requests" -eq 4 ] || fail "$requests requests, want one per checked station"
for n in 5 17 1 151; do
  grep -q "T%5Bstation%5D=${n}[& ].*HTTP/1.0\" 200 .*\"FlashGet\"$" "$dir/portal.log" \
    || fail "no HTTP/1.0 FlashGet request for station $n"
done
for page in polsat.tv tvn.tv tvp1.tv tvn24.tv; do
  [ -s "$page" ] || fail "page $page not saved"
done
[ ! -e discovery.tv ] || fail "an unchecked station was fetched"

# A reminder: the first word of the title on air at tvn24.tv, the station parsed last, typed
# into the dialog that "Przypomnienie" opens.
export LC_ALL=C
title=$(tr -d '\r\n' <tvn24.tv | sed 's/.*trwa\.gif//' | grep -o 'javascript:okno([0-9]*)">[^<]*' |
  head -n 1 | sed 's/.*">//')
keyword=$(echo "$title" | grep -o '[A-Za-z]\{3,\}' | head -n 1)
[ -n "$keyword" ] || fail "no keyword in the title on air at tvn24.tv: '$title'"
main=$(shown 'ekranik 2oo6' | head -n 1)
[ -n "$main" ] || fail "no main window"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 232 + 48)) $((Y + 204 + 12)) click 1
within 10 shown okienko || fail "the reminder dialog did not open"
sleep 0.3
xdotool type --delay 20 "$keyword"
xdotool key Return
within 25 shown 'ekranik - Przypomnienie' || fail "no reminder window for '$keyword' (title on air: '$title')"
reminder=$(shown 'ekranik - Przypomnienie' | head -n 1)
within 5 sh -c "xprop -id $reminder _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR" \
  || fail "the reminder window is on the taskbar"

# The tray icon: another tray host takes over the tray; the icon must come back in it.
within 10 docked_icon ekranik || fail "no tray icon"
first_parent=$(parent_of "$(docked_icon ekranik)")
HOME="$dir" icewm --replace >/dev/null 2>&1 &
within 20 icon_moved ekranik "$first_parent" \
  || fail "the icon did not come back in the tray host that took over"

ends_cleanly "$app_pid"
cmp -s programy.tv "$dir/kept/programy.tv" || fail "programy.tv changed"
cmp -s programy_stan.tv "$dir/kept/programy_stan.tv" || fail "programy_stan.tv changed"
echo "ok"
