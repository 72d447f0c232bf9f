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

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

start_portal "$portal" "$data"
port=$(portal_port)
mkdir "$dir/work"
cd "$dir/work" || exit 1
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
within 40 published || fail "the list with the dead stations was never published"
block=$(grep -A4 'publish: widget$' "$dir/ekranik.log" | head -n 5 | sed 's/^ekranik.publish: //')
echo "$block" | sed -n 2p | grep -q '^polsat.tv : ' || fail "first line: $(echo "$block" | sed -n 2p)"
[ "$(echo "$block" | sed -n 3p)" = "dead.tv :  - " ] || fail "second line: $(echo "$block" | sed -n 3p)"
[ "$(echo "$block" | sed -n 4p)" = "missing.tv :  - " ] || fail "third line: $(echo "$block" | sed -n 4p)"
echo "$block" | sed -n 5p | grep -q '^tvn.tv : ' || fail "fourth line: $(echo "$block" | sed -n 5p)"
within 30 shown RadudoVorozu || fail "the widget is not shown"
for page in polsat.tv tvn.tv; do
  [ -s "$page" ] || fail "the served page $page was not saved"
done
for page in dead.tv missing.tv; do
  [ ! -e "$page" ] || fail "a page was saved for the dead station $page"
done

ends_cleanly "$app_pid"
echo "ok"
