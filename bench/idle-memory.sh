#!/usr/bin/env bash
# bench/idle-memory.sh [BUILD]
# Peak memory of the idle program: ekranik started in an empty folder on a private X server
# with a tray host, left alone for 10 seconds, then ended with SIGTERM.
# Run: tests/e2e/with-desktop.sh bench/idle-memory.sh build
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
/usr/bin/time -v "$build/src/app/ekranik" >/dev/null 2>time.log &
timer=$!
sleep 10
pkill -TERM -x ekranik
wait "$timer"
grep -E 'Maximum resident set size|Exit status' time.log
