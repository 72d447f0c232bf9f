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
within 60 shown RadudoVorozu || fail "the widget was never mapped"
within 40 pages_served 4 || fail "fewer than four pages served"
widget=$(shown RadudoVorozu | head -n 1)
within 30 sh -c "xprop -id $widget _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR" \
  || fail "the widget is on the taskbar"
# The lines stand on the desktop: white text in the widget's list area, once it has drawn them.
lit() {
  import -window root "$screenshot" 2>/dev/null
  eval "$(xdotool getwindowgeometry --shell "$widget")"
  [ "$(convert "$screenshot" -crop "282x52+$((X + 8))+$((Y + 22))" -threshold 50% \
    -format '%[fx:mean>0.01]' info:)" = 1 ]
}
within 30 lit || fail "the widget's list shows no lines"

# The first pass of the queue asks once for each checked station, and nothing else is ever
# asked; later passes, which a slow run may see begin, ask again.
first_pass=$(grep 'GET ' "$dir/portal.log" | head -n 4)
for n in 5 17 1 151; do
  grep -q "T%5Bstation%5D=${n}[& ].*HTTP/1.0\" 200 .*\"FlashGet\"$" <<<"$first_pass" \
    || fail "no HTTP/1.0 FlashGet request for station $n in the first pass: $first_pass"
done
others=$(grep 'GET ' "$dir/portal.log" | grep -vE 'T%5Bstation%5D=(5|17|1|151)[& ]')
[ -z "$others" ] || fail "requests for unchecked stations: $others"
# Saved once each download is through, a moment after the portal has answered.
for page in polsat.tv tvn.tv tvp1.tv tvn24.tv; do
  within 30 test -s "$page" || fail "page $page not saved"
done
[ ! -e discovery.tv ] || fail "an unchecked station was fetched"

# A reminder: the first word of the title on air at tvn24.tv, the station parsed last, typed
# into the dialog that "Przypomnienie" opens.
main=$(shown 'ekranik 2oo6' | head -n 1)
[ -n "$main" ] || fail "no main window"
remind_of_on_air "$main" okienko 'ekranik - Przypomnienie'
reminder=$(shown 'ekranik - Przypomnienie' | head -n 1)
within 30 sh -c "xprop -id $reminder _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR" \
  || fail "the reminder window is on the taskbar"

# The tray icon: another tray host takes over the tray; the icon must come back in it.
within 30 docked_icon ekranik || fail "no tray icon"
first_parent=$(parent_of "$(docked_icon ekranik)")
HOME="$dir" icewm --replace >/dev/null 2>&1 &
within 30 icon_moved ekranik "$first_parent" \
  || fail "the icon did not come back in the tray host that took over"

ends_cleanly "$app_pid"
cmp -s programy.tv "$dir/kept/programy.tv" || fail "programy.tv changed"
cmp -s programy_stan.tv "$dir/kept/programy_stan.tv" || fail "programy_stan.tv changed"
echo "ok"
