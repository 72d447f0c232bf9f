#!/usr/bin/env bash
# portal-nginx.sh EKRANIK PORTAL DATA_DIR SITE
# ekranik through nginx, with the site file SITE (dist/nginx/ekranik-portal.conf), in front of
# two portals serving the same listings and a third one that never has any (every page a 503,
# as a portal restarting answers while it reads), which nginx must pass over:
# - ekranik, its stations pointing at nginx, saves the pages the portals make, and the portals
#   log the client named by X-Forwarded-For, not nginx;
# - /stations.txt names the Host it was asked with, each Host its own answer from the cache;
# - a page asked again within its max-age is answered by nginx's cache, not a portal;
# - with one portal stopped, pages not in the cache yet are all served by the other;
# - nginx answered every request ekranik and the test made with a 200.
set -u
ekranik=$(realpath "$1")
portal=$(realpath "$2")
data=$(realpath "$3")
site=$(realpath "$4")
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
# shellcheck source-path=SCRIPTDIR source=../support/nginx-front.sh
. "$(dirname "$0")/../support/nginx-front.sh"

# Two portals like start_portal's, believing nginx (which reaches them from 127.0.0.2) about
# the client's address.
portal_pids=()
portal_ports=()
for n in 1 2; do
  "$portal" --listen 127.0.0.1:0 --xmltv "$data/demo.xmltv" --stations "$data/stations.map" \
    --today --trusted-proxy 127.0.0.2 >"$dir/portal$n.out" 2>"$dir/portal$n.log" &
  portal_pids+=($!)
  within 30 grep -q serving "$dir/portal$n.out" || fail "portal $n did not start"
  portal_ports+=("$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$dir/portal$n.out")")
done
"$portal" --listen 127.0.0.1:0 --xmltv "$dir/missing.xml" --keep-serving \
  --trusted-proxy 127.0.0.2 >"$dir/portal3.out" 2>"$dir/portal3.log" &
within 30 grep -q 'cannot read the listings' "$dir/portal3.out" || fail "portal 3 did not start"
portal_ports+=("$(sed -n 's|.*listening on 127.0.0.1:\([0-9]*\),.*|\1|p' "$dir/portal3.out")")
start_nginx "$dir/nginx" "$site" 1 "${portal_ports[@]}" || fail "nginx did not start"
front="http://127.0.0.1:$nginx_port"

# The default list pointing at nginx, with polsat.tv, tvn.tv, tvp1.tv and tvn24.tv checked.
mkdir -p "$dir/work"
cd "$dir/work" || exit 1
"$scripts/write-station-list.sh" "127.0.0.1:$nginx_port" 1 3 4 8
"$ekranik" >"$dir/ekranik.log" 2>&1 &
app_pid=$!

# same_page FILE TARGET: the saved page is the one a portal gives for its address.
same_page() {
  [ -s "$1" ] && curl -sf --path-as-is "http://127.0.0.1:${portal_ports[1]}$2" -o "$dir/direct" &&
    cmp -s "$1" "$dir/direct"
}
# A page changes when a programme starts, and ekranik asks again on its next pass.
declare -A targets=([polsat.tv]=5 [tvn.tv]=17 [tvp1.tv]=1 [tvn24.tv]=151)
for page in "${!targets[@]}"; do
  target=$(grep -a "^$page|" programy.tv | tr -d '\r' | sed 's#^[^|]*|http://[^/]*##')
  within 90 same_page "$page" "$target" || fail "$page is not the page the portals make for $target"
done
# Each page reached a portal as ekranik asked for it, from the client's address, never
# nginx's.
for n in "${targets[@]}"; do
  grep -qE "^[-0-9]+ [0-9:]+ 127\.0\.0\.1 \"GET /[^ ]*T%5Bstation%5D=${n}[& ].*\"FlashGet\"\$" \
    "$dir"/portal[123].log || fail "no portal logged ekranik's request for station $n from 127.0.0.1"
done
! grep -q '^[-0-9]* [0-9:]* 127\.0\.0\.2 ' "$dir"/portal[123].log \
  || fail "a portal logged nginx's address instead of the client's"

# ask TARGET [CURL_OPTION...]: asks nginx from 127.0.0.5, the head in $dir/head, the body in
# $dir/body; fails on anything but a whole 200.
ask() {
  local target=$1
  shift
  curl -s --interface 127.0.0.5 -D "$dir/head" -o "$dir/body" "$@" "$front$target" &&
    grep -q '^HTTP/1\.[01] 200 ' "$dir/head"
}
cache_status() { sed -n 's/^X-Cache-Status: \([A-Z]*\).*/\1/p' "$dir/head"; }
max_age() { sed -n 's/^Cache-Control:.*max-age=\([0-9]*\).*/\1/p' "$dir/head"; }
asked() { cat "$dir"/portal[123].log | grep -cF "\"GET $1 "; }

# /stations.txt names the Host asked: nginx itself, or any other host, each its own answer.
ask /stations.txt || fail "/stations.txt through nginx: $(head -n 1 "$dir/head")"
grep -q "|$front/" "$dir/body" || fail "/stations.txt through nginx does not name it"
for host in tv.example.org:8080 tv.example.net; do
  ask /stations.txt -H "Host: $host" || fail "/stations.txt for $host: $(head -n 1 "$dir/head")"
  grep -q "|http://$host/" "$dir/body" || fail "/stations.txt asked for $host does not name it"
  ! grep -q "|$front/" "$dir/body" || fail "/stations.txt asked for $host names nginx's address"
done
grep -qE '^[-0-9]+ [0-9:]+ 127\.0\.0\.5 "GET /stations.txt ' "$dir"/portal[123].log \
  || fail "no portal logged the request of 127.0.0.5"

# A page asked a second time within its max-age is nginx's answer alone. A page that changes
# in a few seconds may have expired in between: the first one further from its change.
for n in 67 18 2 219 361 14 200 355 13; do
  target="/program.html?T%5Bstation%5D=$n"
  ask "$target" || fail "$target through nginx: $(head -n 1 "$dir/head")"
  [ "$(cache_status)" = MISS ] || fail "$target, never asked before, was $(cache_status)"
  [ "$(max_age)" -ge 10 ] 2>/dev/null && break
done
[ "$(max_age)" -ge 10 ] 2>/dev/null || fail "no page says how long it may be kept: $(cat "$dir/head")"
kept=$(md5sum <"$dir/body")
reached=$(asked "$target")
ask "$target" || fail "$target asked again: $(head -n 1 "$dir/head")"
[ "$(cache_status)" = HIT ] || fail "$target asked again was $(cache_status), not HIT"
[ "$(md5sum <"$dir/body")" = "$kept" ] || fail "$target from the cache differs"
[ "$(asked "$target")" -eq "$reached" ] || fail "$target asked again reached a portal"

# One portal stopped: pages of every channel, none in the cache yet, are all served by the
# other, the stopped one passed over.
ends_cleanly "${portal_pids[0]}"
before=$(wc -l <"$dir/portal2.log")
channels=$(curl -sf "http://127.0.0.1:${portal_ports[1]}/channels.json" |
  grep -o '"id": *"[^"]*"' | sed 's/.*"\([^"]*\)"$/\1/')
[ "$(wc -w <<<"$channels")" -ge 10 ] || fail "the portal lists too few channels: $channels"
for id in $channels; do
  target="/program.html?T%5Bchannel%5D=$id"
  ask "$target" || fail "$target with a portal stopped: $(head -n 1 "$dir/head")"
  [ "$(cache_status)" = MISS ] || fail "$target, never asked before, was $(cache_status)"
  grep -q '</html>' "$dir/body" || fail "$target with a portal stopped: no whole page"
done
[ "$(($(wc -l <"$dir/portal2.log") - before))" -ge "$(wc -w <<<"$channels")" ] \
  || fail "the portal left did not serve every channel's page"

# Every request ekranik and this script made through nginx was answered whole: its log, whole
# once it has ended, has nothing but 200s.
ends_cleanly "$app_pid"
ends_cleanly "$nginx_pid"
[ -s "$dir/nginx.access.log" ] || fail "nginx logged no request"
! grep -v '" 200 ' "$dir/nginx.access.log" || fail "requests through nginx failed"
echo "ok"
