#!/usr/bin/env bash
# hidpi.sh EKRANIK PORTAL DATA_DIR OUT_DIR
# The real ekranik at a device pixel ratio of 2 (QT_SCALE_FACTOR=2) against the real portal:
# the main window, the settings panel shown over its list, the input dialog and the reminder
# window each take twice their laid-out size on the X server, and the pictures of them are
# kept in OUT_DIR (main.png, settings.png, dialog.png, reminder.png) to be looked at.
set -u
ekranik=$1
portal=$2
data=$3
out=$4

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

start_portal "$portal" "$data"
mkdir -p "$out"
work_folder_for_portal

QT_SCALE_FACTOR=2 "$ekranik" >"$dir/ekranik.log" 2>&1 &
app_pid=$!

# size WINDOW: prints the window's width and height on the X server.
size() { xwininfo -id "$1" | sed -n 's/.*Width: \([0-9]*\).*/\1/p; s/.*Height: \([0-9]*\).*/\1/p' | paste -sd x; }
# picture WINDOW FILE: the screen's pixels where the window lies, once the program has drawn
# it there: a window not drawn yet shows the desktop's one colour, a drawn one its texts' many.
picture() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2" 2>/dev/null \
    && [ "$(identify -format '%k' "$2")" -gt 16 ]
}
# expect_size TITLE WIDTH HEIGHT: the window titled TITLE is WIDTH x HEIGHT, twice its laid-out
# size; prints its id.
expect_size() {
  local w got
  within 30 shown "$1" || fail "no window \"$1\""
  w=$(shown "$1" | head -n 1)
  got=$(size "$w")
  [ "$got" = "$(($2 * 2))x$(($3 * 2))" ] || fail "\"$1\" is $got, not twice $2x$3"
  echo "$w"
}

main=$(expect_size 'ekranik 2oo6' 350 239) || exit 1
within 30 picture "$main" "$out/main.png" || fail "the main window was never drawn"

# Clicks go to the laid-out places, doubled: the window's controls are where they were.
click() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove $((X + 2 * $1)) $((Y + 2 * $2)) click 1
}

# "Powiadomienie", then the last item of its menu, "Ustawienia RadudoVorozu": the settings
# panel covers the list.
click 280 185
within 30 popup_menus ekranik || fail "\"Powiadomienie\" opened no menu"
menu_keys "$(popup_menus ekranik)" Up Return
changed=0
settings_shown() {
  picture "$main" "$out/settings.png" || return 1
  changed=$(compare -metric AE "$out/main.png" "$out/settings.png" null: 2>&1)
  [ "${changed%% *}" -gt 1000 ] 2>/dev/null
}
within 30 settings_shown || fail "the settings panel did not show ($changed pixels changed)"

# "Przypomnienie" opens the input dialog; a keyword from the title on air at tvn24.tv (fetched
# within the first pass) pops up the reminder window.
within 40 test -s tvn24.tv || fail "tvn24.tv was never fetched"
export LC_ALL=C
title=$(tr -d '\r\n' <tvn24.tv | sed 's/.*trwa\.gif//' | grep -o 'javascript:okno([0-9]*)">[^<]*' |
  head -n 1 | sed 's/.*">//')
keyword=$(echo "$title" | grep -o '[A-Za-z]\{3,\}' | head -n 1)
[ -n "$keyword" ] || fail "no keyword in the title on air at tvn24.tv: '$title'"
click 280 216
dialog=$(expect_size okienko 311 126) || exit 1
within 30 picture "$dialog" "$out/dialog.png" || fail "the input dialog was never drawn"
# Typed once the dialog has the keyboard: keys typed before would go to another window.
within 30 has_focus "$dialog" || fail "the input dialog never got the keyboard"
xdotool type --delay 20 "$keyword"
xdotool key Return
within 40 shown 'ekranik - Przypomnienie' || fail "no reminder window for '$keyword'"
reminder=$(expect_size 'ekranik - Przypomnienie' 351 175) || exit 1
within 30 picture "$reminder" "$out/reminder.png" || fail "the reminder window was never drawn"

ends_cleanly "$app_pid"
echo "ok"
