#!/usr/bin/env bash
# Starts the bundled listings portal and ekranik in ./run; quitting ekranik stops the portal.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
mkdir -p "$root/run"

portal="$build/src/portal/ekranik-portal"
if [ -x "$portal" ]; then
  "$portal" --listen 127.0.0.1:8080 --xmltv "$root/data/demo.xml" \
    --stations "$root/data/stations.map" --today &
  portal_pid=$!
  trap 'kill "$portal_pid" 2>/dev/null || true' EXIT
fi

cd "$root/run"
"$build/src/app/ekranik"
