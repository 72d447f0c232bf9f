#!/usr/bin/env bash
# bench/tick-cost.sh [BUILD] [TICKS] [next]
# Instructions per update tick of the engine, publisher and desktop widget (build/bench/bench_tick)
# against the bundled portal serving the demo listings, counted by callgrind: unlike a time, the
# count comes out the same run after run. Prints the count per tick and the functions that spend
# most of it. Offscreen unless QT_QPA_PLATFORM says otherwise (DISPLAY set and
# QT_QPA_PLATFORM=xcb: on that X server). With "next" the widget shows the next programme under
# each line.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
ticks=${2:-280}
next=${3:-}
dir=$(mktemp -d)
trap 'kill "${portal_pid:-}" 2>/dev/null; rm -rf "$dir"' EXIT

"$build/src/portal/ekranik-portal" --listen 127.0.0.1:0 --xmltv "$root/data/demo.xmltv" \
  --stations "$root/data/stations.map" --today >"$dir/portal.out" 2>"$dir/portal.log" &
portal_pid=$!
# shellcheck source-path=SCRIPTDIR source=await-portal.sh
. "$(dirname "$0")/await-portal.sh"
await_portal "$dir/portal.out" "$dir/portal.log"

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
valgrind --tool=callgrind --callgrind-out-file="$dir/callgrind.out" \
  "$build/bench/bench_tick" "127.0.0.1:$port" "$ticks" ${next:+"$next"} 2>"$dir/valgrind.log" \
  || { tail -n 20 "$dir/valgrind.log" >&2; exit 1; }
# The dump made after the measured ticks; the one at the end holds only the shutdown.
out=$(grep -l '^desc: Trigger: Client Request: ticks' "$dir"/callgrind.out*)
total=$(sed -n 's/^summary: //p' "$out" | awk '{print $1}')
echo "$QT_QPA_PLATFORM: $total instructions in $ticks ticks: $((total / ticks)) per tick"
# Where it goes: the tick's own steps and the paints, each with what it calls.
echo "per tick, with what each calls:"
callgrind_annotate --inclusive=yes --threshold=100 "$out" 2>/dev/null |
  grep -E '(Form2|Gauge|StaticTextLabel|UpdateEngine|HttpFetchThread|ListingsParser)::[A-Za-z0-9_]+\(.*\[|QWidgetRepaintManager::paintAndFlush\(\)|QWidgetPrivate::clipToEffectiveMask' |
  sed -E 's/^ *([0-9,]+) \([ 0-9.]+%\) +[^:]*:([^(]*)\(.*/\1 \2/; s/,//g' |
  awk -v n="$ticks" '!seen[$2]++ { printf "%12d  %s\n", $1 / n, $2 }' | head -n 20
