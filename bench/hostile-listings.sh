#!/usr/bin/env bash
# bench/hostile-listings.sh [PORTAL] [CASE...]
# The portal (build/src/portal/ekranik-portal unless given; an older build to compare) started
# on listings made to cost it memory or time, one case at a time: the seconds from its start to
# "serving" (or to its end, when it refuses the source), its peak resident memory
# (/usr/bin/time), and what it said. A case still reading after 300 s is stopped. Cases (all
# when none is named):
#   entities    one 1 KiB entity referenced 100,000 times in a title (gzip)
#   depth       178 million nested elements (gzip)
#   title       a 200 MB title (gzip)
#   attribute   a 400 MB attribute value (gzip)
#   attrs20k    one start tag with 20,000 attributes
#   attrs100k   one start tag with 100,000 attributes
#   alike5k     5,000 channels named alike
#   alike10k    10,000 channels named alike
#   pipe        an XMLTV head and 1 GiB of text in a title, through a pipe (--xmltv /dev/stdin)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
portal="${1:-$root/build/src/portal/ekranik-portal}"
shift || true
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(entities depth title attribute attrs20k attrs100k alike5k alike10k pipe)
dir=$(mktemp -d)
trap 'pkill -P $$ 2>/dev/null || true; rm -rf "$dir"' EXIT

hostile() { perl "$root/bench/hostile-xmltv.pl" "$@"; }
alike() {
  perl -e 'print "<tv>\n"; print qq{<channel id="c$_"><display-name>TV</display-name></channel>\n} for 1..$ARGV[0]; print "</tv>\n"' "$1"
}

# make CASE: writes the case's source to $dir/source, or says it is read from a pipe.
make_source() {
  case "$1" in
    entities) hostile entities 100000 | gzip -9 >"$dir/source" ;;
    depth) hostile depth 178000000 | gzip -9 >"$dir/source" ;;
    title) hostile title 200000000 | gzip -9 >"$dir/source" ;;
    attribute) hostile attribute 400000000 | gzip -9 >"$dir/source" ;;
    attrs20k) hostile attributes 20000 >"$dir/source" ;;
    attrs100k) hostile attributes 100000 >"$dir/source" ;;
    alike5k) alike 5000 >"$dir/source" ;;
    alike10k) alike 10000 >"$dir/source" ;;
    pipe) ;;
    *) echo "hostile-listings.sh: unknown case $1" >&2; exit 2 ;;
  esac
}

for name in "${cases[@]}"; do
  make_source "$name"
  : >"$dir/out"
  start=$(date +%s.%N)
  if [ "$name" = pipe ]; then
    hostile title 1073741824 | /usr/bin/time -f '%M' -o "$dir/time" "$portal" --listen 127.0.0.1:0 \
      --xmltv /dev/stdin --cache "$dir/cache" >"$dir/out" 2>"$dir/err" &
  else
    /usr/bin/time -f '%M' -o "$dir/time" "$portal" --listen 127.0.0.1:0 --xmltv "$dir/source" \
      --cache "$dir/cache" >"$dir/out" 2>"$dir/err" &
  fi
  timer=$!
  outcome="stopped after 300 s"
  for _ in $(seq 30000); do
    if grep -q serving "$dir/out"; then outcome="served"; break; fi
    pgrep -x ekranik-portal -P "$timer" >/dev/null || { outcome="ended"; break; }
    sleep 0.01
  done
  seconds=$(echo "$(date +%s.%N) - $start" | bc)
  pkill -TERM -x ekranik-portal -P "$timer" 2>/dev/null || true
  wait "$timer" 2>/dev/null || true
  said=$(grep -v '^\(Command\|ekranik-portal: listening\)' "$dir/err" | tail -n 1 | cut -c 1-160)
  size=$( [ -f "$dir/source" ] && [ "$name" != pipe ] && du -h "$dir/source" | cut -f1 || echo "-")
  printf '%-10s %6s  %s in %.2f s, peak %s kB: %s\n' "$name" "$size" "$outcome" "$seconds" \
    "$(tail -n 1 "$dir/time")" "$said"
  rm -f "$dir/source"
done
