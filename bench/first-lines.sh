#!/usr/bin/env bash
# bench/first-lines.sh [BUILD] [CHANNELS] [RUNS]
# How long a new user waits for the first lines: the installed first start of
# tests/e2e/first-start.sh (the picker, xz listings of CHANNELS channels, 100 unless given, on a
# loopback web server, three channels ticked), RUNS times (5 unless given), each on a desktop of
# its own; prints the time from the confirming Enter to the widget's first lines of each run,
# and the slowest.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
channels=${2:-100}
runs=${3:-5}
slowest=0
for run in $(seq "$runs"); do
  out=$("$root/tests/e2e/with-desktop.sh" "$root/tests/e2e/first-start.sh" "$build" \
    "$build/tests/support/ekranik_servefile" "$root/bench" "$channels")
  ms=$(sed -n 's/^first lines \([0-9]*\) ms after OK.*/\1/p' <<<"$out")
  [ -n "$ms" ] || { echo "run $run failed: $out" >&2; exit 1; }
  echo "run $run: first lines $ms ms after OK ($channels channels)"
  [ "$ms" -le "$slowest" ] || slowest=$ms
done
echo "slowest: $slowest ms"
