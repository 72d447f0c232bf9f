#!/usr/bin/env bash
# bench/portal-front.sh [BUILD] [PORTAL] [CHANNELS]
# A page's latency while 20 clients fetch the front page "/" in a loop, against its latency at
# rest, on listings of CHANNELS (3000) channels for one day (bench/make-xmltv.pl): the normal
# client of bench_portal_attack asks for 400 pages, one every 20 ms, first at rest, then under
# that load. The goal: p99 under load at most 10 times p99 at rest, plus 20 ms. PORTAL names
# another portal program to measure (an older build, to compare); BUILD (default build) holds
# the attacker. Build in Release (or the default RelWithDebInfo) for meaningful figures.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
portal="${2:-$build/src/portal/ekranik-portal}"
channels=${3:-3000}
attacker="$build/bench/bench_portal_attack"
# shellcheck source=bench/await-portal.sh
. "$root/bench/await-portal.sh"
dir=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT

perl "$root/bench/make-xmltv.pl" "$channels" 1 "$(date +%Y%m%d)" >"$dir/listings.xml"
echo "1 kanal1.pl" >"$dir/stations.map"
"$portal" --listen 127.0.0.1:0 --xmltv "$dir/listings.xml" --stations "$dir/stations.map" \
  --cache "$dir/cache" >"$dir/out" 2>"$dir/log" &
pid=$!
await_portal "$dir/out" "$dir/log"
echo "listings: $channels channels, $(grep -c '<programme ' "$dir/listings.xml") programmes"
"$attacker" "127.0.0.1:$port" "$pid" front 20 400 20
