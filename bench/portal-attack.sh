#!/usr/bin/env bash
# bench/portal-attack.sh [BUILD] [PORTAL]
# The listings portal under the attacks of bench_portal_attack (see bench/portal_attack.cpp),
# each against a freshly started portal serving the demo listings:
#   hold:    1000 idle and 100 slowloris connections from 50 addresses (127.0.0.2...), while a
#            normal client on 127.0.0.1 asks for 200 pages, one every 75 ms; its p99 should
#            stay under 50 ms;
#   hold1:   the same attack from one address alone;
#   post:    a POST announcing 1e11 bytes, streaming 200 MB;
#   headers: a GET with 500000 header lines.
# The portal's memory should grow by less than 20 MB in each. PORTAL names another portal
# program to attack (an older build, to compare); BUILD (default build) holds the attacker.
# Build in Release (or the default RelWithDebInfo) for meaningful figures.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
portal="${2:-$build/src/portal/ekranik-portal}"
attacker="$build/bench/bench_portal_attack"
# shellcheck source=bench/await-portal.sh
. "$root/bench/await-portal.sh"
# A descriptor for each attacking connection, and the portal inherits the room for them.
ulimit -n "$(ulimit -Hn)"
dir=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT

attack() {
  "$portal" --listen 127.0.0.1:0 --xmltv "$root/data/demo.xmltv" \
    --stations "$root/data/stations.map" --today >"$dir/out" 2>"$dir/log" &
  pid=$!
  await_portal "$dir/out" "$dir/log"
  echo "== $*"
  "$attacker" "127.0.0.1:$port" "$pid" "$@"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=""
}

attack hold 1000 100 50 200
attack hold 1000 100 1 200
attack post 200
attack headers 500000
