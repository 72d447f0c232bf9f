#!/usr/bin/env bash
# reminder-before.sh EKRANIK PORTAL SCREENSHOT
# A reminder ten minutes before the start, and the next programme on the widget, from the
# outside: the real ekranik against the real ekranik-portal, with listings relative to now,
# on a session bus of its own.
# - With a notification server there (dunst), "Kometa nad Źródłem", starting in about seven
#   minutes, is reminded once, as a notification titled "ekranik - Przypomnienie" that names the
#   station, the start and the title; no reminder window opens, and its broadcast in forty
#   minutes is not reminded.
# - The widget shows "następnie HH:MM Kometa nad Źródłem" under the line on air, and the
#   publication log lists that row under the line.
# - Without a notification server, the same reminder is the window "ekranik - Przypomnienie".
# The screen with the widget and the notification is kept in SCREENSHOT, the one with the
# window beside it (-window.png).
set -u
ekranik=$1
portal=$2
screenshot=$3
[ -n "${EKRANIK_PRIVATE_BUS:-}" ] || EKRANIK_PRIVATE_BUS=1 exec dbus-run-session \
  --config-file="$(dirname "$0")/../support/private-bus.conf" -- "$0" "$@"

# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

now=$(($(date +%s) / 60 * 60))
minutes() { echo $((now + $1 * 60)); }
xmltv_time() { date -u -d "@$1" '+%Y%m%d%H%M%S +0000'; }
programme() {
  printf '<programme start="%s" stop="%s" channel="k1"><title>%s</title></programme>\n' \
    "$(xmltv_time "$(minutes "$1")")" "$(xmltv_time "$(minutes "$2")")" "$3"
}
title="Kometa nad Źródłem"
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<tv><channel id="k1"><display-name>Kanał 1</display-name></channel>'
  programme -20 7 "Wiadomości"
  programme 7 30 "$title"
  programme 30 40 "Sport"
  programme 40 60 "$title"
  echo '</tv>'
} >"$dir/listings.xml"
echo "1 k1" >"$dir/stations.map"
"$portal" --listen 127.0.0.1:0 --xmltv "$dir/listings.xml" --stations "$dir/stations.map" \
  >"$dir/portal.out" 2>"$dir/portal.log" &
within 30 grep -q serving "$dir/portal.out" || fail "the portal did not start"
port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$dir/portal.out")

mkdir -p "$dir/work" "$XDG_CONFIG_HOME/ekranik"
cd "$dir/work" || exit 1
printf 'tvp1.tv|http://127.0.0.1:%s/program.html?T%%5Bstation%%5D=1\r\n' "$port" >programy.tv
printf '0\r\n' >programy_stan.tv
printf '[widget]\nnext=true\n[reminder]\nkeyword=Kometa\nminutesBefore=10\n' \
  >"$XDG_CONFIG_HOME/ekranik/ekranik.conf"
start=$(date -d "@$(minutes 7)" +%H:%M)
later=$(date -d "@$(minutes 40)" +%H:%M)

start_ekranik() {
  QT_LOGGING_RULES='ekranik.publish.info=true' "$ekranik" >"$dir/ekranik$1.log" 2>&1 &
  app_pid=$!
}

# A desktop with a notification server.
dunst >"$dir/dunst.log" 2>&1 &
dunst_pid=$!
within 30 dunstctl is-paused || fail "dunst did not start"
dbus-monitor "interface='org.freedesktop.Notifications',member='Notify'" >"$dir/notify.out" 2>&1 &
within 30 grep -q NameAcquired "$dir/notify.out" || fail "dbus-monitor did not start"
start_ekranik 1
notified() { [ "$(grep -c '"ekranik - Przypomnienie"' "$dir/notify.out")" -ge "${1:-1}" ]; }
within 60 notified || fail "no notification of '$title' at $start"
grep -q "string \"tvp1.tv, $start" "$dir/notify.out" || fail "the station and start: $(cat "$dir/notify.out")"
grep -q "$title\"" "$dir/notify.out" || fail "the title: $(cat "$dir/notify.out")"
grep -q "$later" "$dir/notify.out" && fail "the broadcast at $later was reminded"
[ "$(dunstctl count displayed)" -ge 1 ] || [ "$(dunstctl count history)" -ge 1 ] \
  || fail "dunst shows no notification"
row="ekranik.publish:   następnie $start $title"
within 30 grep -qxF -- "$row" "$dir/ekranik1.log" || fail "no second row '$row' in the publication log"
grep -B1 -xF -- "$row" "$dir/ekranik1.log" | head -n 1 | grep -q "^ekranik.publish: tvp1.tv : " \
  || fail "the second row is not under the line"
# Further ticks remind of nothing more, and no window opens.
holds 6 sh -c "! notified 2 && ! xdotool search --onlyvisible --name '^ekranik - Przypomnienie\$'" \
  || fail "reminded again, or a window as well"
import -window root "$screenshot" 2>/dev/null
ends_cleanly "$app_pid"

# The same desktop without one: the window.
kill -TERM "$dunst_pid"
within 30 sh -c '! dbus-send --session --print-reply --dest=org.freedesktop.Notifications /org/freedesktop/Notifications org.freedesktop.Notifications.GetServerInformation' \
  || fail "the notification server is still there"
start_ekranik 2
within 60 shown 'ekranik - Przypomnienie' || fail "no reminder window without a notification server"
import -window root "${screenshot%.png}-window.png" 2>/dev/null
ends_cleanly "$app_pid"
echo "ok"
