#!/usr/bin/env bash
# install.sh BUILD
# An installation as the desktop, a packager and a user see it: `cmake --install BUILD` into a
# scratch root under /usr, then
# - the launcher and the autostart entry pass desktop-file-validate, the metainfo appstreamcli,
#   and its newest release is the programs' version;
# - both man pages render with man, lint clean with mandoc, and describe every option that
#   --help lists;
# - the icon is there as SVG and as a PNG of each size;
# - the portal's user unit passes systemd-analyze (in a second install under a prefix of its
#   own, whose programs exist), and its command line with the example environment serves,
#   reads again on its reload command and ends on SIGTERM;
# - ekranik started by the launcher's Exec line, in a scratch home and a folder without station
#   files, makes $XDG_DATA_HOME/ekranik and keeps its files there, downloads included; it ends
#   on SIGTERM, and its settings come back after a restart.
set -u
build=$(cd "$1" && pwd)
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

root=$dir/root
# A scratch home for everything the programs and tools started here keep.
home=$dir/home
mkdir "$home"
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache
usr=$root/usr
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null 2>"$dir/install.log" \
  || fail "cmake --install into $root failed"

# clean LOG COMMAND...: COMMAND succeeds and says nothing, not even a hint.
clean() {
  local log=$dir/$1.log
  shift
  "$@" >"$log" 2>&1 && [ ! -s "$log" ]
}

# key KEY FILE: the value of a desktop entry's KEY.
key() { sed -n "s/^$1=//p" "$2"; }

# The launcher, and the autostart entry that is off until the user copies it.
apps=$usr/share/applications
for entry in "$apps/ekranik.desktop" "$usr/share/ekranik/autostart/ekranik.desktop"; do
  clean desktop-file-validate desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
  [ "$(key Icon "$entry")" = ekranik ] || fail "$entry: Icon is not ekranik"
done
[ ! -e "$root/etc" ] || fail "something was installed under /etc: $(find "$root/etc")"

icons=$usr/share/icons/hicolor
[ -s "$icons/scalable/apps/ekranik.svg" ] || fail "no scalable icon"
for size in 16 32 48 64 128 256; do
  png=$icons/${size}x$size/apps/ekranik.png
  [ "$(identify -format '%m %wx%h' "$png" 2>&1)" = "PNG ${size}x$size" ] \
    || fail "$png: $(identify "$png" 2>&1)"
done

metainfo=$usr/share/metainfo/ekranik.metainfo.xml
# It passes with one note: the id is under .invalid, ekranik having no domain of its own.
appstreamcli validate --no-net "$metainfo" >"$dir/appstreamcli.out" 2>&1 \
  || fail "appstreamcli validate $metainfo: $(cat "$dir/appstreamcli.out")"
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ -f "$apps/$launchable" ] || fail "the metainfo launches '$launchable', which is not installed"
release=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d '"' -f 2)
version=$("$usr/bin/ekranik-portal" --version | sed 's/^ekranik-portal //')
[ "$release" = "$version" ] || fail "the metainfo's newest release is '$release', the programs are $version"

# Each man page: lint, render, its whatis line, and every option of --help.
for program in ekranik ekranik-portal; do
  page=$usr/share/man/man1/$program.1.gz
  [ -f "$page" ] || fail "no man page $page"
  zcat "$page" >"$dir/$program.1"
  clean mandoc mandoc -T lint -W warning "$dir/$program.1" || fail "mandoc -T lint $program.1"
  if ! MANWIDTH=200 LC_ALL=C.UTF-8 man -l "$page" >"$dir/$program.txt" 2>"$dir/man.log" \
    || [ -s "$dir/man.log" ]; then
    fail "man -l $page"
  fi
  grep -q "^NAME" "$dir/$program.txt" || fail "$program(1) renders without NAME"
  lexgrog "$page" | grep -q "\"$program - " || fail "lexgrog finds no whatis line in $program(1)"
  "$usr/bin/$program" --help >"$dir/help.txt" 2>&1 || fail "$program --help"
  while read -r option; do
    grep -qE -- "$option([^a-z-]|$)" "$dir/$program.txt" || fail "$program(1) does not describe $option"
  done < <(grep -o -- ' --[a-z][a-z-]*' "$dir/help.txt" | sort -u)
done

# The user unit, in an install whose programs are where the unit says.
prefix=$dir/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null 2>>"$dir/install.log" \
  || fail "cmake --install --prefix $prefix failed"
unit=$prefix/lib/systemd/user/ekranik-portal.service
grep -q "^ExecStart=/usr/bin/ekranik-portal " "$usr/lib/systemd/user/ekranik-portal.service" \
  || fail "the unit under /usr does not start /usr/bin/ekranik-portal"
XDG_RUNTIME_DIR=$dir MANPATH=$prefix/share/man \
  clean systemd-analyze systemd-analyze --user verify "$unit" || fail "systemd-analyze verify $unit"

# Its command line as systemd runs it, with the example environment file: ${NAME} is one word,
# $NAME is split at white space. A free port, as the file's comments suggest, and the demo's
# station map let the launcher's run below download from it.
grep -q '^EnvironmentFile=%h/.config/ekranik/portal.env$' "$unit" || fail "the unit reads no portal.env"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
reload=$(sed -n 's/^ExecReload=//p' "$unit")
(
  set -f -a
  # shellcheck source=/dev/null
  . "$prefix/share/ekranik/portal.env"
  set +a
  EKRANIK_PORTAL_OPTIONS="$EKRANIK_PORTAL_OPTIONS --listen 127.0.0.1:0"
  # shellcheck disable=SC2001 # the name is a capture group
  eval "set -- $(sed 's/\${\([A-Z_]*\)}/"${\1}"/g' <<<"$exec_start")"
  exec "$@"
) >"$dir/portal.out" 2>"$dir/portal.log" &
portal_pid=$!
within 30 grep -q serving "$dir/portal.out" || fail "the unit's command line does not serve"
port=$(portal_port)
MAINPID=$portal_pid eval "$reload" || fail "ExecReload failed: $reload"
within 30 grep -q 'has not changed' "$dir/portal.log" || fail "no reading again after ExecReload"

# The launcher's command, found on PATH in the install, from a folder without station files.
data=$XDG_DATA_HOME/ekranik
export PATH=$usr/bin:$PATH
read -ra launcher <<<"$(key Exec "$apps/ekranik.desktop")"
mkdir "$dir/start"
cd "$dir/start" || exit 1
start_from_launcher() {
  "${launcher[@]}" >"$dir/ekranik.log" 2>&1 &
  app_pid=$!
  within 30 shown 'ekranik 2oo6' || fail "the launcher's '${launcher[*]}' shows no main window"
  [ "$(readlink "/proc/$app_pid/exe")" = "$usr/bin/ekranik" ] || fail "not the installed ekranik"
}

start_from_launcher
[ -d "$data" ] || fail "$data not made"
ends_cleanly "$app_pid"
for file in programy.tv programy_stan.tv; do
  [ -f "$data/$file" ] || fail "no $file in $data"
done
[ -z "$(ls -A "$dir/start")" ] || fail "left in the folder it was started from: $(ls -A "$dir/start")"

# Back in the data folder with one station of the portal checked: its page lands there, and the
# widget shows.
(cd "$data" && "$scripts/write-station-list.sh" "127.0.0.1:$port" 1)
start_with_widget() {
  start_from_launcher
  within 60 shown RadudoVorozu || fail "the widget was never shown"
  widget=$(shown RadudoVorozu | head -n 1)
}
start_with_widget
within 30 test -s "$data/polsat.tv" || fail "no page downloaded into $data"

# setting SECTION/KEY: its value in the program's settings file.
conf=$XDG_CONFIG_HOME/ekranik/ekranik.conf
setting() {
  awk -v section="[${1%%/*}]" -v key="${1#*/}" '
    /^\[/ { inside = $0 == section; next }
    inside && index($0, key "=") == 1 { print substr($0, length(key) + 2) }' "$conf"
}
# kept SECTION/KEY VALUE: the settings file holds VALUE for it.
kept() { [ "$(setting "$1")" = "$2" ]; }
# place_is X Y: the widget's top-left corner is there.
place_is() {
  eval "$(xdotool getwindowgeometry --shell "$widget")"
  [ "$X,$Y" = "$1,$2" ]
}

# title_point: prints a point of the widget's title where the widget takes the pointer: it is
# shaped to its texts, so the pointer goes over the title until it is over the widget.
title_point() {
  local px py
  eval "$(xdotool getwindowgeometry --shell "$widget")"
  for py in $(seq $((Y + 5)) $((Y + 14))); do
    for px in $(seq $((X + 5)) $((X + 40))); do
      xdotool mousemove "$px" "$py"
      if [ "$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')" = "$widget" ]; then
        echo "$px $py"
        return 0
      fi
    done
  done
  return 1
}

# The settings round trip, as a user makes it: the widget dragged by its title to a place away
# from the screen's edges, dark texts in the widget's settings, the fastest frequency in the
# tray menu; each is in ekranik.conf at once. Ended and started again, the widget is back at
# its place, and the settings it writes at its end are still the chosen ones.
settings_round_trip() {
  local x=400 y=300 step from_x from_y menu
  read -r from_x from_y < <(title_point) || fail "the widget takes the pointer nowhere on its title"
  eval "$(xdotool getwindowgeometry --shell "$widget")"
  # The press grabs the pointer for the widget until the release, wherever the moves take it
  # before the widget follows.
  xdotool mousedown 1
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((from_x + (x - X) * step / 8)) $((from_y + (y - Y) * step / 8))
  done
  xdotool mouseup 1
  within 30 place_is "$x" "$y" || fail "the widget dragged to ($x, $y) is at ($X, $Y)"
  within 30 kept widget/x "$x" || fail "the widget's place is not kept: $(cat "$conf")"
  within 30 kept widget/y "$y" || fail "the widget's place is not kept: $(cat "$conf")"

  # "Powiadomienie" opens its menu; its third entry shows the widget's settings, where
  # "Czarny" picks dark texts.
  main=$(shown 'ekranik 2oo6' | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove $((X + 232 + 48)) $((Y + 173 + 12)) click 1
  within 30 menus_shown ekranik 1 || fail "\"Powiadomienie\" opened no menu"
  menu_keys "$(popup_menus ekranik)" Down Down Down Return
  within 30 menus_shown ekranik 0 || fail "the menu of \"Powiadomienie\" stayed open"
  xdotool mousemove $((X + 16 + 95 + 8)) $((Y + 24 + 126 + 8)) click 1
  within 30 kept widget/scheme dark || fail "dark texts are not kept: $(cat "$conf")"

  # The tray menu: its frequency submenu (after "Ustawienia", "Wybierz kanały…" and the
  # statistics), second entry "Najszybciej [5s]". Keys sent to either menu go to the one open
  # last.
  within 30 docked_icon ekranik || fail "no tray icon"
  xdotool mousemove --window "$(docked_icon ekranik)" 11 11 click 1
  within 30 menus_shown ekranik 1 || fail "the tray icon opened no menu"
  menu=$(popup_menus ekranik)
  menu_keys "$menu" Down Down Down Down Right
  within 30 menus_shown ekranik 2 || fail "no frequency submenu"
  menu_keys "$menu" Down Return
  within 30 kept updates/frequency fastest || fail "the fastest frequency is not kept: $(cat "$conf")"

  ends_cleanly "$app_pid"
  start_with_widget
  within 30 place_is "$x" "$y" || fail "the widget came back at ($X, $Y), not at ($x, $y)"
  ends_cleanly "$app_pid"
  local pair
  for pair in "widget/x $x" "widget/y $y" "widget/scheme dark" "updates/frequency fastest"; do
    # shellcheck disable=SC2086 # the key and its value
    kept $pair || fail "$pair lost after a restart: $(cat "$conf")"
  done
}
settings_round_trip

ends_cleanly "$portal_pid"
[ -z "$(ls -A "$dir/start")" ] || fail "left in the folder it was started from: $(ls -A "$dir/start")"
echo "ok"
