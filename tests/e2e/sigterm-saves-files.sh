#!/usr/bin/env bash
# sigterm-saves-files.sh EKRANIK
# The real program, started in an empty folder, stays off the taskbar at idle priority, and
# ended with SIGTERM leaves the default 13-station list in programy.tv and an empty
# programy_stan.tv in its XDG data folder, and nothing else, there or where it was started.
# SIGTERM also ends it while a dialog is open: the error box of a broken programy_stan.tv at
# start-up, and the input dialog.
set -u
ekranik=$1
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
mkdir "$dir/work"
cd "$dir/work" || exit 1

"$ekranik" >"$dir/ekranik.log" 2>&1 &
pid=$!

within 30 shown 'ekranik 2oo6' || fail "main window never shown"

# Off the taskbar, and every thread at the lowest priority.
window=$(shown 'ekranik 2oo6' | head -n 1)
within 30 sh -c "xprop -id $window _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR" \
  || fail "main window is on the taskbar"
nices=$(ps -L -o nice= -p "$pid" | sort -u | tr -d ' ')
[ "$nices" = "19" ] || fail "threads at nice values: $nices"

ends_cleanly "$pid"

[ -z "$(ls -A)" ] || fail "left behind where it was started: $(ls -A)"
cd "$XDG_DATA_HOME/ekranik" || fail "no folder $XDG_DATA_HOME/ekranik"
[ -f programy.tv ] || fail "programy.tv not written"
[ -f programy_stan.tv ] || fail "programy_stan.tv not written"
[ "$(wc -c <programy_stan.tv)" -eq 0 ] || fail "programy_stan.tv is not empty"
lines=$(grep -c $'\r$' programy.tv)
[ "$lines" -eq 13 ] || fail "programy.tv has $lines CR LF lines, want 13"
[ "$(tr -cd '\n' <programy.tv | wc -c)" -eq 13 ] || fail "programy.tv has stray line breaks"
head -n 1 programy.tv | grep -q '^discovery.tv|http://' || fail "first entry: $(head -n 1 programy.tv)"
tail -n 1 programy.tv | grep -q '^canalplus.tv|http://.*/program.html?T%5Bstation%5D=13'$'\r''$' \
  || fail "last entry: $(tail -n 1 programy.tv)"
extra=$(find . -mindepth 1 ! -name programy.tv ! -name programy_stan.tv)
[ -z "$extra" ] || fail "left behind: $extra"

# The error box opens inside the first show, titled with the program's title by then.
printf 'abc\r\n' >programy_stan.tv
"$ekranik" >"$dir/ekranik.log" 2>&1 &
pid=$!
within 30 shown 'ekranik 2oo6 beta o.912' || fail "no error box for a broken programy_stan.tv"
ends_cleanly "$pid"
[ "$(wc -c <programy_stan.tv)" -eq 0 ] || fail "programy_stan.tv not saved with the check marks"

# The input dialog of "Dodaj stację".
"$ekranik" >"$dir/ekranik.log" 2>&1 &
pid=$!
within 30 shown 'ekranik 2oo6' || fail "main window never shown"
eval "$(xdotool getwindowgeometry --shell "$(shown 'ekranik 2oo6' | head -n 1)")"
xdotool mousemove $((X + 17 + 44)) $((Y + 173 + 12)) click 1
within 30 shown okienko || fail "the input dialog did not open"
ends_cleanly "$pid"
echo "ok"
