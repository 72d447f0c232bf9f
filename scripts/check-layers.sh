#!/usr/bin/env bash
# check-layers.sh
# The parts of src/ build on each other in layers; a part includes only its own headers and
# those of the parts below it:
#   app
#   display, reminders, picker
#   update, tray, widgets
#   net, stations
#   text
# and the portal stands alone on text. The download component is reached by the update engine
# and the channel list loader, which drive it, by the assembler, which makes it, and by the
# program's entry, which sets libcurl up once before anything else runs; by no other file.
# Lists every include that breaks this and fails.
set -eu
cd "$(dirname "$0")/.."

allowed() {
  case "$1" in
    app) echo "app display reminders picker update tray widgets net stations text" ;;
    display | reminders | picker) echo "$1 update tray widgets stations text" ;;
    update | tray | widgets) echo "$1 net stations text" ;;
    net | stations) echo "$1 text" ;;
    text) echo "text" ;;
    portal) echo "portal text" ;;
  esac
}

status=0
for dir in src/*/; do
  part=$(basename "$dir")
  ok=$(allowed "$part")
  [ -n "$ok" ] || { echo "check-layers: src/$part has no layer" >&2; status=1; continue; }
  while IFS=: read -r file line include; do
    target=$(echo "$include" | sed -n 's|.*#include "\([a-z]*\)/.*|\1|p')
    [ -n "$target" ] || continue
    case " $ok " in
      *" $target "*) ;;
      *) echo "$file:$line: src/$part may not include $target/: $include"; status=1 ;;
    esac
  done < <(grep -n '^#include "' "$dir"*.h "$dir"*.cpp 2>/dev/null)
done
# Every file of src/ outside net/ itself: only these may include the download component.
while IFS=: read -r file line include; do
  case "$file" in
    src/update/updateengine.cpp | src/update/channelsloader.cpp | src/app/assembler.h | src/app/main.cpp) ;;
    *) echo "$file:$line: only the update engine, the channel list loader, the assembler and the program's entry reach net/: $include"; status=1 ;;
  esac
done < <(grep -rn --include='*.h' --include='*.cpp' '^#include "net/' src --exclude-dir=net)
exit "$status"
