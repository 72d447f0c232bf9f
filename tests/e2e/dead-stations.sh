#!/usr/bin/env bash
# dead-stations.sh EKRANIK PORTAL DATA_DIR
# Stations that cannot be fetched do not blank the display: with four stations checked, one
# on a port that refuses connections and one the portal answers with 404, the widget still
# shows all four lines within the first pass of the queue, the two dead ones as empty lines,
# and no page is saved for them.
set -u
ekranik=$1
portal=$2
data=$3

dir=$(mktemp -d)
cleanup() {
  [ -n "${app_pid:-}" ] && kill -KILL "$app_pid" 2>/dev/null
  [ -n "${portal_pid:-}" ] && kill "$portal_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  sed 's/^/  ekranik: /' "$dir/ekranik.log" >&2
  exit 1
}
. "$(dirname "$0")/common.sh"

"$portal" --listen 127.0.0.1:0 --xmltv "$data/demo.xmltv" --stations "$data/stations.map" --today \
  >"$dir/portal.out" 2>"$dir/portal.log" &
portal_pid=$!
within 10 grep -q serving "$dir/portal.out" || fail "the portal did not start"
port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$dir/portal.out")

mkdir "$dir/work"
cd "$dir/work"
query() { printf '%s|http://%s/.?&T%%5Bstation%%5D=%s&T%%5Bcategory%%5D=ALL&T%%5Btime%%5D=0\r\n' "$@"; }
{
  query polsat.tv "127.0.0.1:$port" 5
  query dead.tv 127.0.0.1:1 5 # nothing listens on port 1
  query missing.tv "127.0.0.1:$port" 9999 # no such station: 404
  query tvn.tv "127.0.0.1:$port" 17
} >programy.tv
printf '0\r\n1\r\n2\r\n3\r\n' >programy_stan.tv

QT_LOGGING_RULES='ekranik.publish.info=true' "$ekranik" >"$dir/ekranik.log" 2>&1 &
app_pid=$!

# The first tick comes after 8 s, then one a second: the fourth station at 11 s.
published() { grep -q 'dead.tv :  - $' "$dir/ekranik.log" && grep -q 'missing.tv :  - $' "$dir/ekranik.log"; }
within 25 published || fail "the list with the dead stations was never published"
block=$(grep -A4 'publish: widget$' "$dir/ekranik.log" | head -n 5 | sed 's/^ekranik.publish: //')
echo "$block" | sed -n 2p | grep -q '^polsat.tv : ' || fail "first line: $(echo "$block" | sed -n 2p)"
[ "$(echo "$block" | sed -n 3p)" = "dead.tv :  - " ] || fail "second line: $(echo "$block" | sed -n 3p)"
[ "$(echo "$block" | sed -n 4p)" = "missing.tv :  - " ] || fail "third line: $(echo "$block" | sed -n 4p)"
echo "$block" | sed -n 5p | grep -q '^tvn.tv : ' || fail "fourth line: $(echo "$block" | sed -n 5p)"
within 5 xdotool search --onlyvisible --name '^RadudoVorozu$' || fail "the widget is not shown"
[ -s polsat.tv ] && [ -s tvn.tv ] || fail "the served pages were not saved"
[ ! -e dead.tv ] && [ ! -e missing.tv ] || fail "a page was saved for a dead station"

end_with_sigterm "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
echo "ok"
