#!/usr/bin/env bash
# soak.sh BUILD [SECONDS]   (FAIL_PERCENT=30 unless set)
# The program for an hour (or SECONDS) with all 13 stations checked at the 2 s rate, against a
# portal that fails 30 % of its answers at random (bench/flaky_portal.cpp: reset, 404, 500,
# short body, stall, trickle), then SIGTERM. Run by hand on a desktop, e.g.
#   tests/e2e/with-desktop.sh bench/soak.sh build
# It reports: whether ekranik ran to the end and ended cleanly, pages missing or cut short,
# whether the station files are as they were, and its resident memory at 5 minutes and at
# the end.
set -u
build=$(cd "$1" && pwd)
seconds=${2:-3600}
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d)
cleanup() {
  for pid in ${app_pid:-} ${flaky_pid:-} ${portal_pid:-}; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
within() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 10))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
rss_kb() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"; }

"$build/src/portal/ekranik-portal" --listen 127.0.0.1:0 --xmltv "$root/data/demo.xmltv" \
  --stations "$root/data/stations.map" --today >"$dir/portal.out" 2>/dev/null &
portal_pid=$!
within 10 grep -q serving "$dir/portal.out" || fail "the portal did not start"
portal_port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$dir/portal.out")

"$build/bench/flaky_portal" 0 "$portal_port" "${FAIL_PERCENT:-30}" "$$" >"$dir/flaky.out" &
flaky_pid=$!
within 10 grep -q 'on port' "$dir/flaky.out" || fail "the flaky portal did not start"
flaky_port=$(sed -n 's/.*on port \([0-9]*\),.*/\1/p' "$dir/flaky.out")

mkdir "$dir/work"
cd "$dir/work" || exit 1
"$root/scripts/write-station-list.sh" "127.0.0.1:$flaky_port" 0 1 2 3 4 5 6 7 8 9 10 11 12
cp programy.tv programy_stan.tv "$dir/"

"$build/src/app/ekranik" >"$dir/ekranik.log" 2>&1 &
app_pid=$!
within 15 xdotool search --onlyvisible --name '^ekranik 2oo6$' || fail "no main window"

# "Extremalnie szybko [2s]" from the tray menu: the icon opens it on a left click.
icon=""
for w in $(xdotool search --class '^ekranik$'); do
  info=$(xwininfo -id "$w" 2>/dev/null) || continue
  echo "$info" | grep -q 'Map State: IsViewable' || continue
  [ "$(echo "$info" | sed -n 's/.*Width: //p')" -le 64 ] && icon=$w && break
done
[ -n "$icon" ] || fail "no tray icon"
xdotool mousemove --window "$icon" 8 8 click 1
sleep 1
xdotool key Down Down Down Right Return
echo "ekranik $app_pid started; frequency chosen; running $seconds s"
# After the hot start: how many requests the next minute brings tells the rate.
sleep 75
echo "requests in the first 75 s: $(grep -vc 'on port' "$dir/flaky.out")"

start=$(date +%s)
rss_early=""
while [ $(($(date +%s) - start)) -lt "$seconds" ]; do
  kill -0 "$app_pid" 2>/dev/null || fail "ekranik ended on its own after $(($(date +%s) - start)) s"
  if [ -z "$rss_early" ] && [ $(($(date +%s) - start)) -ge 300 ]; then
    rss_early=$(rss_kb "$app_pid")
    echo "RSS at 5 minutes: $rss_early kB"
  fi
  sleep 5
done
rss_end=$(rss_kb "$app_pid")
echo "RSS at the end: $rss_end kB (growth $((rss_end - ${rss_early:-$rss_end})) kB)"

kill -TERM "$app_pid"
within 10 sh -c "! kill -0 $app_pid" || fail "still running 10 s after SIGTERM"
wait "$app_pid"
status=$?
app_pid=
echo "exit status after SIGTERM: $status"
kill -TERM "$flaky_pid"
wait "$flaky_pid" 2>/dev/null
flaky_pid=
tail -n 1 "$dir/flaky.out"

cmp -s programy.tv "$dir/programy.tv" && cmp -s programy_stan.tv "$dir/programy_stan.tv" \
  && echo "station files: as they were" || echo "station files: CHANGED"
missing=0
cut_short=0
while IFS='|' read -r name _; do
  if [ ! -s "$name" ]; then
    missing=$((missing + 1))
  elif [ "$(tail -c 9 "$name" | tr -d '\r\n')" != '</html>' ]; then
    cut_short=$((cut_short + 1))
  fi
done < <(tr -d '\r' <programy.tv)
echo "pages missing: $missing, pages cut short: $cut_short"
echo "other files left: $(find . -mindepth 1 ! -name '*.tv' | wc -l)"
