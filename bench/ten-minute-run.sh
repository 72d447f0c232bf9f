#!/usr/bin/env bash
# bench/ten-minute-run.sh [BUILD] [SECONDS]
# Peak memory and CPU time of a long run: ekranik with all 13 default stations checked, at
# "Extremalnie szybko [2s]" (picked in the tray menu, as a user does), against the bundled
# portal, for SECONDS (600 unless given); then the same for an empty Qt Widgets program.
# Run on a desktop: tests/e2e/with-desktop.sh bench/ten-minute-run.sh build
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/fastest-rate.sh
. "$root/bench/fastest-rate.sh"
build="$root/${1:-build}"
seconds=${2:-600}
dir=$(mktemp -d)
trap 'kill "${portal_pid:-}" 2>/dev/null; rm -rf "$dir"' EXIT

"$build/src/portal/ekranik-portal" --listen 127.0.0.1:0 --xmltv "$root/data/demo.xmltv" \
  --stations "$root/data/stations.map" --today >"$dir/portal.out" 2>"$dir/portal.log" &
portal_pid=$!
for _ in $(seq 100); do grep -q serving "$dir/portal.out" && break; sleep 0.1; done
port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$dir/portal.out")

mkdir "$dir/run"
cd "$dir/run"
"$root/scripts/write-station-list.sh" "127.0.0.1:$port" $(seq 0 12)

/usr/bin/time -v timeout -s TERM "$seconds" "$build/src/app/ekranik" >/dev/null 2>"$dir/ekranik.time" &
timer=$!
sleep 3
choose_fastest_rate
wait "$timer" || true

/usr/bin/time -v timeout -s TERM 10 "$build/bench/bench_empty_widgets" >/dev/null 2>"$dir/empty.time" || true

pages=$(grep -c ' 200 ' "$dir/portal.log")
echo "ekranik, $seconds s, $pages pages served:"
grep -E 'User time|System time|Elapsed|Maximum resident' "$dir/ekranik.time" | sed 's/^\s*/  /'
echo "empty Qt Widgets program, 10 s:"
grep -E 'Maximum resident' "$dir/empty.time" | sed 's/^\s*/  /'
