#!/usr/bin/env bash
# make-run-xmltv.sh BUILD
# What `make run XMLTV=...` does, from the outside: scripts/run.sh with listings of six
# channels (gzip-compressed), a run folder of its own and a free port.
# - the empty folder gets the portal's station list, six lines in the program's format pointing
#   at the port the portal serves, with the first four channels checked;
# - the widget shows the programmes on air on those four, with their Polish titles;
# - ekranik ended with SIGTERM, the portal is gone too and run.sh ends with status 0;
# - a second run on the same folder leaves both files alone and, with the portal on another
#   port, says which one the stations ask and which one it serves.
set -u
build=$1

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
run_sh="$(cd "$(dirname "$0")/../.." && pwd)/scripts/run.sh"

# Each channel has a programme on air now, started a different number of minutes ago so that
# its time tells it apart, between one that has ended and one still to come. English titles
# come first: the portal picks the Polish ones.
ids=(tvp1.pl TVP2.pl polsat.pl canal+.pl sport.pl zdzblo.pl)
names=("TVP 1" "TVP 2" "Polsat" "Canal+" "Kanał Sport" "Źdźbło")
titles=("Teleexpress" "Pytanie na śniadanie" "Wydarzenia" "Liga Mistrzów" "Magazyn" "Kino nocne")
now=$(($(date +%s) / 60 * 60))
later=$((now + 3600))
xmltv_time() { date -u -d "@$1" '+%Y%m%d%H%M%S +0000'; }
programme() {
  printf '  <programme start="%s" stop="%s" channel="%s">' "$(xmltv_time "$1")" "$(xmltv_time "$2")" "$3"
  printf '<title lang="en">%s</title><title lang="pl">%s</title></programme>\n' "$4" "$5"
}
on_air() { echo $((now - (20 + 7 * $1) * 60)); }
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<tv>'
  for i in "${!ids[@]}"; do
    printf '  <channel id="%s"><display-name>%s</display-name></channel>\n' "${ids[i]}" "${names[i]}"
  done
  # The programmes in the other order: the channels keep the order they were declared in.
  for ((i = ${#ids[@]} - 1; i >= 0; i--)); do
    start=$(on_air "$i")
    programme $((start - 3600)) "$start" "${ids[i]}" Before "Wcześniej $i"
    programme "$start" "$later" "${ids[i]}" "Now on $i" "${titles[i]}"
    programme "$later" $((later + 3600)) "${ids[i]}" After "Później $i"
  done
  # Yesterday's and next week's: listings moved by whole days from yesterday to today, as
  # --today does, have nothing on air now.
  programme $((now - 30 * 3600)) $((now - 29 * 3600)) "${ids[5]}" Yesterday Wczoraj
  programme $((now + 10 * 86400)) $((now + 10 * 86400 + 3600)) "${ids[5]}" Later "Za tydzień"
  echo '</tv>'
} | gzip -c >"$dir/listings" # no .gz: the portal knows gzip by its first bytes

run="$dir/run"
start_run() {
  XMLTV="$dir/listings" EKRANIK_RUN_DIR="$run" EKRANIK_PORTAL_HOST=127.0.0.1:0 \
    EKRANIK_PORTAL_LOG="$dir/portal.log" QT_LOGGING_RULES='ekranik.publish.info=true' \
    "$run_sh" "$build" >"$dir/run.log" 2>&1 &
  run_pid=$!
}

# child_named PARENT NAME: prints the process id of PARENT's child running NAME.
child_named() {
  local stat pid comm ppid
  for stat in /proc/[0-9]*/stat; do
    read -r pid comm _ ppid _ <"$stat" 2>/dev/null || continue
    [ "$ppid" = "$1" ] && [ "$comm" = "($2)" ] && echo "$pid" && return 0
  done
  return 1
}

# await_programs: waits for the portal's port and for ekranik's main window; sets port,
# portal_pid and app_pid.
await_programs() {
  within 30 grep -q 'serving .* on http://' "$dir/run.log" || fail "run.sh did not start the portal"
  port=$(sed -n 's|.*serving .* on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$dir/run.log")
  portal_pid=$(child_named "$run_pid" ekranik-portal) || fail "no portal under run.sh"
  within 30 child_named "$run_pid" ekranik || fail "run.sh did not start ekranik"
  app_pid=$(child_named "$run_pid" ekranik)
  # Its SIGTERM handling is in place once the main window is up.
  within 30 shown 'ekranik 2oo6' || fail "ekranik's main window was never shown"
}

# end_run: ends ekranik with SIGTERM; run.sh has to end with status 0 and take the portal along.
end_run() {
  kill -TERM "$app_pid"
  ended_cleanly "$run_pid" "ekranik's SIGTERM"
  gone "$portal_pid" || fail "the portal still runs after ekranik ended"
  ! curl -s -o /dev/null "http://127.0.0.1:$port/" || fail "the portal still answers after ekranik ended"
}

start_run
await_programs

# The station list as the program reads it: Windows-1250 (all ASCII here) lines ending in CR LF,
# "name|address".
list="$run/programy.tv"
[ "$(wc -l <"$list")" -eq 6 ] || fail "programy.tv has $(wc -l <"$list") lines, want 6"
# every_line_crlf FILE: every line ends in CR LF, and no CR stands anywhere else.
every_line_crlf() {
  [ -z "$(tail -c 1 "$1" | tr -d '\n')" ] && cmp -s "$1" <(tr -d '\r' <"$1" | LC_ALL=C sed 's/$/\r/')
}
every_line_crlf "$list" || fail "programy.tv does not end every line with CR LF: $(od -c "$list")"
mapfile -t entries < <(tr -d '\r' <"$list")
stations=()
for i in "${!ids[@]}"; do
  entry=${entries[i]}
  name=${entry%%|*}
  address=${entry#*|}
  [[ $entry == *"|"* && $name =~ ^[a-z0-9._-]+\.tv$ ]] || fail "line $((i + 1)) has no plain lower-case .tv name: $entry"
  pattern="^http://127\.0\.0\.1:$port/program\.html\?T%5Bchannel%5D=(.+)$"
  [[ $address =~ $pattern ]] || fail "line $((i + 1)) is no address on port $port: $entry"
  channel=$(printf '%b' "${BASH_REMATCH[1]//%/\\x}")
  [ "$channel" = "${ids[i]}" ] || fail "line $((i + 1)) asks for channel '$channel', want '${ids[i]}'"
  [[ " ${stations[*]} " != *" $name "* ]] || fail "two stations named $name"
  stations+=("$name")
done
cmp -s "$run/programy_stan.tv" <(printf '0\r\n1\r\n2\r\n3\r\n') ||
  fail "programy_stan.tv is not 0..3 with CR LF: $(od -c "$run/programy_stan.tv")"

# The first tick comes 8 s after the start, then one station a second.
publishes() { grep -qxF "ekranik.publish: $1" "$dir/run.log"; }
for i in 0 1 2 3; do
  line="${stations[i]} : $(date -d "@$(on_air "$i")" +%H:%M) - ${titles[i]}"
  within 40 publishes "$line" || fail "the widget never showed '$line'"
done
for i in 4 5; do
  ! grep -qF "${stations[i]} :" "$dir/run.log" || fail "the unchecked ${stations[i]} was shown"
done
within 30 shown RadudoVorozu || fail "the widget is not shown"
end_run
mv "$dir/run.log" "$dir/first-run.log"
cp "$list" "$run/programy_stan.tv" "$dir/"
first_port=$port

# Again on the same folder: the files stay, and the stations still ask the first port.
start_run
await_programs
if ! cmp -s "$list" "$dir/programy.tv" || ! cmp -s "$run/programy_stan.tv" "$dir/programy_stan.tv"; then
  fail "the second run changed the station files"
fi
grep -q 'has its station files already' "$dir/run.log" || fail "run.sh did not say it kept the station files"
other=$(grep -F "127.0.0.1:$first_port" "$dir/run.log" | grep -F "127.0.0.1:$port" | grep -v serving)
if [ "$port" != "$first_port" ]; then
  [ -n "$other" ] || fail "run.sh did not say the stations ask port $first_port and the portal serves $port"
else
  [ -z "$other" ] || fail "a word about another port when both are $port: $other"
fi
end_run
echo "ok"
