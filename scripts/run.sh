#!/usr/bin/env bash
# Starts the bundled listings portal with the demo listings, waits until it listens, then runs
# ekranik in ./run; when ekranik ends, the portal is stopped.
# A ./run without station files (neither programy.tv nor programy_stan.tv) first gets the
# default station list with four stations checked, so the widget fills soon after the start.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
run="$root/run"
mkdir -p "$run"

# The portal listens where the default station addresses point: CMake's EKRANIK_PORTAL_HOST.
host=$(sed -n 's/^EKRANIK_PORTAL_HOST:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
host=${host:-127.0.0.1:8080}
[[ $host == *:* ]] || host="$host:80"

if [ ! -e "$run/programy.tv" ] && [ ! -e "$run/programy_stan.tv" ]; then
  # polsat.tv, tvn.tv, tvp1.tv and tvn24.tv checked
  (cd "$run" && "$root/scripts/write-station-list.sh" "$host" 1 3 4 8)
  echo "run.sh: seeded run/ with the default stations, four of them checked"
fi

# The portal's request log goes to the build folder, out of ekranik's working directory.
log="$build/portal.log"
started="$build/portal.started"
rm -f "$started"
"$build/src/portal/ekranik-portal" --listen "$host" --xmltv "$root/data/demo.xmltv" \
  --stations "$root/data/stations.map" --today >"$started" 2>"$log" &
portal_pid=$!
trap 'kill "$portal_pid" 2>/dev/null || true; wait "$portal_pid" 2>/dev/null || true' EXIT

# The portal says "serving ... on http://..." once its socket is bound.
for _ in $(seq 100); do
  grep -q serving "$started" 2>/dev/null && break
  if ! kill -0 "$portal_pid" 2>/dev/null; then
    echo "run.sh: the listings portal did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.1
done
if ! grep -q serving "$started"; then
  echo "run.sh: the listings portal did not start listening on $host in 10 s" >&2
  exit 1
fi
echo "run.sh: $(cat "$started") (log: $log)"

cd "$run"
"$build/src/app/ekranik"
