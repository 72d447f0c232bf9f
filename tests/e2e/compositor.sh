#!/usr/bin/env bash
# compositor.sh EKRANIK PORTAL DATA_DIR SCREENSHOT COMPOSITOR...
# The desktop widget over a picture, read back from the screen, while a compositing manager
# (the command COMPOSITOR..., picom or xcompmgr) starts and stops under the running program:
# - without one, every pixel of the widget is the picture or the white of its texts: the black
#   key is cut out by the mask, and the texts have no half-tone edges;
# - with one, the texts are antialiased (their edges blend white into the picture) and still no
#   key-colour pixel shows;
# - when it stops, the widget is back to its mask.
# The widget with smooth texts over the picture is kept in SCREENSHOT. With QT_SCALE_FACTOR=2
# all of it holds on a screen of twice the density, where the mask is cut in screen pixels.
set -u
ekranik=$1
portal=$2
data=$3
screenshot=$4
shift 4

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

# A picture with neither pure black nor pure white in it, as the desktop's background (which a
# compositing manager draws from the root window's pixmap property).
convert -size 1280x800 -seed 7 plasma:fractal -blur 0x2 +level 12%,88% -depth 8 "$dir/picture.png"
xwallpaper --zoom "$dir/picture.png" || fail "could not set the desktop's picture"

start_portal "$portal" "$data"
work_folder_for_portal

QT_LOGGING_RULES="ekranik.log.info=true" "$ekranik" >"$dir/ekranik.log" 2>&1 &
app_pid=$!
within 60 shown RadudoVorozu || fail "the widget was never mapped"
within 40 pages_served 4 || fail "fewer than four pages served"
# Away from the taskbar, over nothing but the picture: the main window is minimised.
main=$(shown 'ekranik 2oo6' | head -n 1)
xdotool windowminimize "$main"
main_hidden() { ! shown 'ekranik 2oo6' | grep -qx "$main"; }
within 30 main_hidden || fail "the main window was not minimised"
widget=$(shown RadudoVorozu | head -n 1)
xdotool windowmove "$widget" 100 100
within 30 sh -c "xdotool getwindowgeometry $widget | grep -q 'Position: 100,100'" \
  || fail "the widget did not move"
eval "$(xdotool getwindowgeometry --shell "$widget")"
area="${WIDTH}x$HEIGHT+$X+$Y"

# Counts the widget's pixels on the screen: "black half-tones" — pixels of the key colour, and
# pixels that are neither the picture beneath nor the texts' white.
count_pixels() {
  import -window root "$dir/screen.png" 2>/dev/null
  convert "$dir/screen.png" -crop "$area" +repage "$dir/shown.png"
  convert "$dir/picture.png" -crop "$area" +repage "$dir/beneath.png"
  paste -d ' ' <(convert "$dir/shown.png" -depth 8 txt:- | sed 1d | awk '{print $3}') \
    <(convert "$dir/beneath.png" -depth 8 txt:- | sed 1d | awk '{print $3}') |
    awk '$1 == "#000000" { black++ }
         $1 != $2 && $1 != "#FFFFFF" { half++ }
         END { printf "%d %d\n", black, half }'
}

# The screen is read until it shows what is expected: the widget and the compositing manager
# take their time to draw, more on a busy machine. keyed: no key-colour pixel shows, and every
# pixel is the picture or the texts' white; smooth: no key-colour pixel, and the texts'
# antialiased edges.
black=0 half=0
keyed() {
  read -r black half < <(count_pixels)
  [ "$black" -eq 0 ] && [ "$half" -eq 0 ]
}
smooth() {
  read -r black half < <(count_pixels)
  [ "$black" -eq 0 ] && [ "$half" -ge 100 ]
}
# keyed_by_mask WHEN: the widget comes to be keyed.
keyed_by_mask() {
  within 30 keyed \
    || fail "$1, $black key-colour pixels show and $half pixels are neither text nor picture"
}

keyed_by_mask "without a compositor"

HOME="$dir" "$@" >"$dir/compositor.log" 2>&1 &
compositor_pid=$!
within 30 grep -q 'Kompozytor: widzet przezroczysty' "$dir/ekranik.log" \
  || fail "the widget did not notice the compositing manager"
within 30 smooth || fail "with a compositor, $black key-colour pixels show and only $half \
half-tone pixels (texts not smooth)"
convert "$dir/screen.png" -crop "$((WIDTH + 40))x$((HEIGHT + 30))+$((X - 20))+$((Y - 15))" \
  +repage "$screenshot"

# (Neither compositing manager ends with status 0 on SIGTERM.)
kill -TERM "$compositor_pid"
await_end "$compositor_pid"
within 30 grep -q 'Bez kompozytora: widzet z maska' "$dir/ekranik.log" \
  || fail "the widget did not notice the compositing manager stop"
keyed_by_mask "after the compositor"

ends_cleanly "$app_pid"
echo "ok"
