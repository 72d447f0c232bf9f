#!/usr/bin/env bash
# bench/core-share.sh [BUILD] [SECONDS]
# The share of one core that ekranik takes at "Extremalnie szybko [2s]", all 13 default stations
# checked, against the bundled portal serving the demo listings: its CPU time (user and system,
# all threads, from /proc/PID/stat) over SECONDS (300 unless given), counted from 30 s after
# its start; then the same for a bare Qt program with a tray icon (bench_empty_tray).
# Run on a desktop: tests/e2e/with-desktop.sh bench/core-share.sh build
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/fastest-rate.sh
. "$root/bench/fastest-rate.sh"
build="$root/${1:-build}"
seconds=${2:-300}
dir=$(mktemp -d)
trap 'kill "${portal_pid:-}" "${app_pid:-}" 2>/dev/null; rm -rf "$dir"' EXIT
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data"

"$build/src/portal/ekranik-portal" --listen 127.0.0.1:0 --xmltv "$root/data/demo.xmltv" \
  --stations "$root/data/stations.map" --today >"$dir/portal.out" 2>"$dir/portal.log" &
portal_pid=$!
# shellcheck source-path=SCRIPTDIR source=await-portal.sh
. "$(dirname "$0")/await-portal.sh"
await_portal "$dir/portal.out" "$dir/portal.log"

# CPU time of PID in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

pages() { grep -c ' 200 ' "$dir/portal.log" || true; }

# share PID: the per cent of a core PID spends over the measured span, and the pages served
# meanwhile.
share() {
  sleep 30
  local before after served
  before=$(cpu_ticks "$1")
  served=$(pages)
  sleep "$seconds"
  after=$(cpu_ticks "$1")
  awk -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
    -v p="$(($(pages) - served))" 'BEGIN {
      printf "%.2f %% of a core (%.2f s of CPU in %d s, %d pages served)\n",
        100 * t / hz / s, t / hz, s, p }'
}

mkdir "$dir/run"
cd "$dir/run"
"$root/scripts/write-station-list.sh" "127.0.0.1:$port" $(seq 0 12)
"$build/src/app/ekranik" >/dev/null 2>&1 &
app_pid=$!
sleep 3
choose_fastest_rate
echo "ekranik: $(share "$app_pid")"
kill "$app_pid"
wait "$app_pid" || true

"$build/bench/bench_empty_tray" >/dev/null 2>&1 &
app_pid=$!
echo "bare Qt program with a tray icon: $(share "$app_pid")"
