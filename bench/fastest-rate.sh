# shellcheck shell=bash
# Sourced by the benchmarks that run the real program on an X server with a tray.
# choose_fastest_rate: picks "Extremalnie szybko [2s]" in the program's tray menu. The menu's
# first enabled items are Ustawienia, Statystyki, Częstotliwość; the frequency sub-menu opens
# on its first item. Call it a few seconds after the program started, once its icon is there.
choose_fastest_rate() {
  local icon
  icon=$(for w in $(xdotool search --onlyvisible --class '^ekranik$'); do
    [ "$(xwininfo -id "$w" | sed -n 's/.*Width: //p')" -le 64 ] && echo "$w"; done | head -n 1)
  xdotool mousemove --window "$icon" 8 8 click 3
  sleep 0.5
  xdotool key Down Down Down Right
  sleep 0.3
  [ -z "${SHOT:-}" ] || import -window root "$SHOT"
  xdotool key Return
}
