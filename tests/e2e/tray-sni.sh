#!/usr/bin/env bash
# tray-sni.sh EKRANIK SNIHOST TRAYPROBE
# The real program where the notification area is a StatusNotifierItem host (KDE Plasma, GNOME
# with AppIndicator), played by SNIHOST on a session bus of its own, with no XEmbed tray (run
# with with-desktop.sh --no-tray): the icon registers with the host, shows the program's icon
# and tip, and exports the whole tray menu, whose entries act when the host chooses them; the
# host's left click and context menu open the menu as clicks on an XEmbed icon do; balloons
# arrive as desktop notifications. A host that goes away under the hidden main window gives it
# back minimised, and one that starts again gets the icon back. The host's three clicks reach
# the tray icon component as the left, right and middle button (TRAYPROBE).
set -u
ekranik=$1
snihost=$2
probe=$3
# A session bus of our own, where the stand-in host is the only one.
[ -n "${EKRANIK_PRIVATE_BUS:-}" ] || EKRANIK_PRIVATE_BUS=1 exec dbus-run-session \
  --config-file="$(dirname "$0")/../support/private-bus.conf" -- "$0" "$@"
# shellcheck source-path=SCRIPTDIR source=tray-common.sh
. "$(dirname "$0")/tray-common.sh"

open_host_pipe

start_host "$snihost" 1
start_ekranik "$ekranik"
wait_for registered 1 || fail "the icon never registered with the host"

# The program's icon, its tip, and its menu.
item=$(show)
grep -qx 'tooltip ekranik 2oo6 beta o.912|' <<<"$item" || fail "tip: $(grep '^tooltip' <<<"$item")"
grep -qE '^iconpixmap [1-9][0-9]*x[1-9]' <<<"$item" || grep -qE '^iconname .' <<<"$item" \
  || fail "no icon: $(grep '^icon' <<<"$item")"
menu=$(grep '^item ' <<<"$item" | sed 's/^item //')
expected="ekranik - konfiguracja (off)
-
Ustawienia
Wybierz kanały…
Statystyki >
  Pobrano: ~~ kB | ~~ MB (off)
  Udane aktualizacje: ~~ razy (off)
Częstotliwość aktualizacji >
  Extremalnie szybko [2s]
  Najszybciej [5s]
  Szybko [10s]
  Normalnie [20s] (x)
  Wolno [40s]
  Najwolniej [60s]
  -
  Częstotliwość oznacza co ile stacja bedzie aktualizowana; 20s oznacza 1 stacje na 20 sekund [1/20s] (off)
Koniec"
[ "$menu" = "$expected" ] || fail "the host's menu:
$menu"

# "[ok]" hides the window to this tray; during the hot start its balloon is a notification.
click_ok
wait_for withdrawn || fail "[ok] left the window '$(wm_state)'"
wait_for grep -q '^notify ekranik|Aktualizacja w toku' "$dir/host.log" \
  || fail "no notification for the hot start balloon"

# Entries chosen in the host's menu act: "Ustawienia" brings the window back, a frequency
# becomes the checked one.
host click Ustawienia
wait_for on_screen || fail "\"Ustawienia\" in the host's menu did not show the window"
host click 'Wolno [40s]'
slow_checked() { show | grep -qx 'item   Wolno \[40s\] (x)'; }
wait_for slow_checked || fail "the frequency chosen in the host's menu is not the checked one"

# The host's left click and its context menu open the menu, as clicks on the icon do.
no_menu() { ! popup_menus ekranik; }
for click in activate context; do
  host "$click"
  wait_for popup_menus ekranik || fail "$click did not open the menu"
  menu_keys "$(popup_menus ekranik)" Escape
  wait_for no_menu || fail "the menu did not close after $click"
done

# The host goes away under the hidden window: the window comes back minimised. A host that
# starts again gets the icon back, and "[ok]" hides the window to it, back off the taskbar.
click_ok
wait_for withdrawn || fail "[ok] left the window '$(wm_state)'"
host quit
wait "$host_pid"
wait_for iconic || fail "the window stayed out of reach after the host went away: '$(wm_state)'"
start_host "$snihost" 2
wait_for registered 2 || fail "the icon did not come back to the host that started again"
xdotool windowactivate "$main" 2>/dev/null
wait_for on_screen || fail "the minimised window could not be brought back"
click_ok
wait_for withdrawn || fail "[ok] left the window '$(wm_state)' with the host back"
host click Ustawienia
wait_for on_screen || fail "\"Ustawienia\" did not show the window with the host back"
wait_for off_taskbar || fail "the window is on the taskbar with a tray to hold it"

# "Koniec" in the host's menu ends the program, and its item leaves the host.
host click Koniec
ended_cleanly "$pid" '"Koniec" in the host'"'"'s menu'
wait_for grep -q '^unregistered ' "$dir/host.log" || fail "the item stayed with the host"

# The host's clicks as the tray icon component reports them.
start_probe "$probe"
wait_for registered 3 || fail "the probe's icon never registered with the host"
host activate
wait_for said OnClick || fail "Activate gave no click"
said "OnMouseDown 1" || fail "Activate gave no left press"
host context
wait_for said "OnMouseDown 2" || fail "ContextMenu gave no right press"
host secondary
wait_for said "OnMouseDown 4" || fail "SecondaryActivate gave no middle press"
quit_probe
echo "ok"
