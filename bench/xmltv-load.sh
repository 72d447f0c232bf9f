#!/usr/bin/env bash
# bench/xmltv-load.sh [BUILD] [CHANNELS] [DAYS]
# The portal on country-sized listings: bench/make-xmltv.pl writes CHANNELS (300) channels over
# DAYS (7) days, about 48 MB, and a gzip copy. For the plain file and for the copy:
#   start:  seconds from the portal's start to its "serving" line, the median of 5 runs, beside
#           `xmllint --noout --stream` (plain file) or `zcat | xmllint --stream -` (copy) on
#           the same file in the same runs;
#   memory: the portal's peak resident memory from its start through 5 reloads (/usr/bin/time);
#   reload: p50/p99/max of a page request (a new connection a page, one every 75 ms, 200 pages,
#           bench_portal_attack's normal client) while the portal reads its listings again on
#           SIGHUP, one a second (the file is touched first: an unchanged file is not read).
# Build in Release (or the default RelWithDebInfo) for meaningful figures.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-build}"
channels=${2:-300}
days=${3:-7}
portal="$build/src/portal/ekranik-portal"
attacker="$build/bench/bench_portal_attack"
dir=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT

perl "$root/bench/make-xmltv.pl" "$channels" "$days" >"$dir/listings.xml"
gzip -k -6 "$dir/listings.xml"
echo "1 kanal1.pl" >"$dir/stations.map"
echo "listings: $(du -m "$dir/listings.xml" | cut -f1) MB, gzip $(du -m "$dir/listings.xml.gz" | cut -f1) MB," \
  "$(grep -c '<programme ' "$dir/listings.xml") programmes"

now() { date +%s.%N; }
median() { sort -n | sed -n 3p; }

# Starts the portal on $1 (through /usr/bin/time when $2 is given); sets pid and port.
start_portal() {
  : >"$dir/out"
  if [ -n "${2:-}" ]; then
    /usr/bin/time -v -o "$dir/time" "$portal" --listen 127.0.0.1:0 --xmltv "$1" \
      --stations "$dir/stations.map" --cache "$dir/cache" >"$dir/out" 2>"$dir/log" &
  else
    "$portal" --listen 127.0.0.1:0 --xmltv "$1" --stations "$dir/stations.map" \
      --cache "$dir/cache" >"$dir/out" 2>"$dir/log" &
  fi
  pid=$!
  until grep -q serving "$dir/out"; do
    kill -0 "$pid" 2>/dev/null || { echo "xmltv-load.sh: the portal did not start" >&2; cat "$dir/log" >&2; exit 1; }
    sleep 0.002
  done
  port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$dir/out")
}

# The portal's process itself under /usr/bin/time is the child of time: signal that one.
portal_pid() { pgrep -P "$pid" -x ekranik-portal || echo "$pid"; }

stop_portal() {
  kill "$(portal_pid)"
  wait "$pid" 2>/dev/null || true
  pid=""
}

for source in listings.xml listings.xml.gz; do
  file="$dir/$source"
  echo "== $source"
  : >"$dir/portal.times"
  : >"$dir/xmllint.times"
  for _ in 1 2 3 4 5; do
    t0=$(now)
    start_portal "$file"
    t1=$(now)
    stop_portal
    echo "$t1 - $t0" | bc >>"$dir/portal.times"
    t0=$(now)
    if [ "$source" = listings.xml ]; then
      xmllint --noout --stream "$file"
    else
      zcat "$file" | xmllint --noout --stream -
    fi
    t1=$(now)
    echo "$t1 - $t0" | bc >>"$dir/xmllint.times"
  done
  p=$(median <"$dir/portal.times")
  x=$(median <"$dir/xmllint.times")
  printf 'start: portal %.3f s, xmllint %.3f s: %.2fx\n' "$p" "$x" "$(echo "$p / $x" | bc -l)"

  start_portal "$file" time
  target=$(portal_pid)
  (
    for _ in $(seq 15); do
      sleep 1
      touch "$file"
      kill -HUP "$target" 2>/dev/null || exit 0
    done
  ) &
  hupper=$!
  echo -n "reload: "
  "$attacker" "127.0.0.1:$port" "$target" hold 0 0 1 200 75 | grep -E 'p99'
  wait "$hupper" || true
  reloads=$(grep -c '^ekranik-portal: read ' "$dir/log" || true)
  stop_portal
  echo "reloads done: $((reloads - 1))"
  echo "memory: peak $(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time") kB"
done
