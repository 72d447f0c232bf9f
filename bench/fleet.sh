#!/usr/bin/env bash
# bench/fleet.sh [BUILD] [DESKTOPS] [SECONDS] [--kill-one-at S | S]
# Many desktops on one machine's portals: two portals serving the same listings (the demo ones,
# --today) behind nginx with dist/nginx/ekranik-portal.conf, and build/bench/bench_fleet_load
# as DESKTOPS (10000) desktops, each asking for its station's page every 20 s as ekranik does,
# for SECONDS (60) seconds, all on the loopback. It prints what the desktops met (requests per
# second, failures, p50 and p99 latency), what nginx's log says of its cache, what reached the
# portals (their logs), and the processor time of the portals and of nginx. With a fourth
# argument, one portal is killed (SIGKILL) S seconds into the run; the goal is that no
# desktop's request fails. The cache starts empty. Build in Release (or the default
# RelWithDebInfo) for meaningful figures.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
desktops=${2:-10000}
seconds=${3:-60}
[ "${4:-}" != --kill-one-at ] || shift
kill_at=${4:-}
portal="$build/src/portal/ekranik-portal"
load="$build/bench/bench_fleet_load"
# shellcheck source=bench/await-portal.sh
. "$root/bench/await-portal.sh"
# shellcheck source=tests/support/nginx-front.sh
. "$root/tests/support/nginx-front.sh"
ulimit -n "$(ulimit -Hn)"
dir=$(mktemp -d)
pids=()
finish() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap finish EXIT

# nginx reaches the portals from 127.0.0.2 (see start_nginx); a portal that knows proxies
# takes the desktops' addresses from it, and holds it to no per-address limit.
trusted=()
! "$portal" --help | grep -q -- --trusted-proxy || trusted=(--trusted-proxy 127.0.0.2)
ports=()
for n in 1 2; do
  "$portal" --listen 127.0.0.1:0 --xmltv "$root/data/demo.xmltv" \
    --stations "$root/data/stations.map" --today "${trusted[@]}" >"$dir/portal$n.out" \
    2>"$dir/portal$n.log" &
  pids+=($!)
  await_portal "$dir/portal$n.out" "$dir/portal$n.log"
  ports+=("$port")
done
if ! start_nginx "$dir/nginx" "$root/dist/nginx/ekranik-portal.conf" auto "${ports[@]}"; then
  echo "fleet.sh: nginx did not start:" >&2
  cat "$dir/nginx.error.log" >&2
  exit 1
fi
pids+=("$nginx_pid")
# Its workers and cache processes, whose time is nginx's.
nginx_pids=$(pgrep -d, -P "$nginx_pid")
stations=$(sed 's/#.*//' "$root/data/stations.map" | awk 'NF { print $1 }' | paste -sd,)

echo "portals: ${pids[0]} and ${pids[1]} on ports ${ports[*]}${trusted[*]:+ (${trusted[*]})};" \
  "nginx $nginx_pid on port $nginx_port; stations $stations"
kill_option=()
if [ -n "$kill_at" ]; then
  kill_option=(--kill-at "$kill_at" "${pids[0]}")
  # Killed on purpose: no word from the shell about it.
  disown "${pids[0]}"
fi
"$load" "127.0.0.1:$nginx_port" "$desktops" "$seconds" "$stations" "${kill_option[@]}" \
  --cpu "portal1=${pids[0]}" --cpu "portal2=${pids[1]}" --cpu "nginx=$nginx_pids"

# nginx writes out its log as it ends.
kill -QUIT "$nginx_pid"
wait "$nginx_pid" || true
log="$dir/nginx.access.log"
through=$(wc -l <"$log")
# Its lines: ADDRESS [TIME] "REQUEST" STATUS BYTES "AGENT" CACHE UPSTREAMS TIME.
echo "through nginx (its log): $through requests, $(awk "BEGIN { printf \"%.1f\", $through / $seconds }")/s;" \
  "$(awk -F'"' '{ split($3, a, " "); split($5, c, " "); cache[c[1]]++; if (a[1] != 200) bad++ }
    END { printf "cache:"; for (s in cache) printf " %s %d", s, cache[s]; printf "; not 200: %d", bad }' "$log")"
at=()
total=0
for n in 1 2; do
  count=$(grep -c '"GET ' "$dir/portal$n.log" || true)
  at+=("portal$n $count")
  total=$((total + count))
done
echo "at the portals (their logs): ${at[0]}, ${at[1]}; $total in all," \
  "$(awk "BEGIN { printf \"%.2f\", $total / $seconds }")/s"
