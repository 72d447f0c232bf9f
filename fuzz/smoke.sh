#!/usr/bin/env bash
# `make fuzz-smoke`: for every harness, replays its seed corpus (fuzz/corpus/NAME/), then fuzzes
# a copy of the corpus for a short while with its dictionary (fuzz/NAME.dict), a few harnesses
# at a time. Fails on any crash, leak, sanitizer report, failed check or input slower than the
# timeout. New units and crash reproducers go to a temporary folder, never into the repository;
# the folder is removed after a clean run and kept, and named, after a finding.
#
# Usage: fuzz/smoke.sh BUILD SECONDS JOBS NAME...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
seconds=$2
jobs=$3
shift 3

# Some harnesses write every input to a file and read it back: in memory when there is a
# /dev/shm, as a disk makes them several times slower.
base=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  base=/dev/shm
fi
scratch=$(mktemp -d "$base/ekranik-fuzz-smoke.XXXXXX")
status=0
# Every harness, seeds and fuzzing alike, is held to this peak resident memory and largest
# allocation (libFuzzer's -rss_limit_mb and -malloc_limit_mb): the XML readers bound what any
# document costs, and none of the others needs more either. AddressSanitizer keeps 16 MB of freed
# memory in quarantine instead of 256: the limit is on what a harness holds, which a quarantine
# of the limit's own size, and the fragmentation it brings, would hide.
limit_mb=256
limits=(-rss_limit_mb="$limit_mb" -malloc_limit_mb="$limit_mb")
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=16"
trap 'if [ "$status" -eq 0 ]; then rm -rf "$scratch"; else
  echo "fuzz-smoke: logs, new units and reproducers kept in $scratch" >&2; fi' EXIT

# The value of one of libFuzzer's final statistics in a log.
stat() {
  sed -n "s/^stat::$1: *//p" "$2" | tail -n 1
}

smoke() {
  local name=$1
  local harness="$build/fuzz/fuzz_$name"
  local seeds="$root/fuzz/corpus/$name"
  local work="$scratch/$name"
  mkdir -p "$work/corpus" "$work/tmp"
  if [ ! -x "$harness" ] || [ -z "$(ls -A "$seeds" 2>/dev/null)" ]; then
    echo "fuzz-smoke: $name: no harness $harness or no seeds in $seeds" >&2
    return 1
  fi
  local seed_count
  seed_count=$(find "$seeds" -type f | wc -l)

  # Each seed once, as a reproducer is run. The harnesses' scratch files go to $work/tmp.
  if ! TMPDIR="$work/tmp" "$harness" "${limits[@]}" "$seeds"/* >"$work/replay.log" 2>&1; then
    echo "fuzz-smoke: $name: a seed fails; the end of $work/replay.log:" >&2
    tail -n 40 "$work/replay.log" >&2
    return 1
  fi

  local dict=()
  if [ -f "$root/fuzz/$name.dict" ]; then
    dict=("-dict=$root/fuzz/$name.dict")
  fi
  cp "$seeds"/* "$work/corpus/"
  if ! TMPDIR="$work/tmp" "$harness" "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
    "${limits[@]}" -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" \
    >"$work/fuzz.log" 2>&1; then
    echo "fuzz-smoke: $name: finding; the end of $work/fuzz.log:" >&2
    tail -n 60 "$work/fuzz.log" >&2
    for unit in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
      [ -f "$unit" ] || continue
      echo "fuzz-smoke: $name: input $unit (base64):" >&2
      head -c 4096 "$unit" | base64 >&2
    done
    return 1
  fi
  echo "fuzz-smoke: $name: $seed_count seeds replayed;" \
    "$(stat number_of_executed_units "$work/fuzz.log") runs in ${seconds}s" \
    "($(stat average_exec_per_sec "$work/fuzz.log")/s), $(stat new_units_added "$work/fuzz.log")" \
    "new units, peak $(stat peak_rss_mb "$work/fuzz.log") of $limit_mb MB; no finding"
}

running=0
for name in "$@"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  smoke "$name" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit "$status"
