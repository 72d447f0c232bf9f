#!/usr/bin/env bash
# check-translations.sh
# Every text the code shows the user has a finished translation in every i18n/*.ts. Each .ts is
# read anew from the code into a scratch copy, as `make translations` does, and a text that
# comes in unfinished (new in the code), that the code no longer has (vanished), or whose
# translation is empty is named, and the check fails. The folders read are the ones
# i18n/CMakeLists.txt names.
set -euo pipefail
cd "$(dirname "$0")/.."

lupdate=${LUPDATE:-/usr/lib/qt6/bin/lupdate}
folders=$(sed -n 's/^set(EKRANIK_TRANSLATED_FOLDERS \(.*\))$/\1/p' i18n/CMakeLists.txt)
[ -n "$folders" ] || { echo "check-translations: no folders in i18n/CMakeLists.txt" >&2; exit 1; }
sources=()
for folder in $folders; do
  sources+=("src/$folder")
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for ts in i18n/*.ts; do
  copy="$scratch/$(basename "$ts")"
  cp "$ts" "$copy"
  if ! "$lupdate" -source-language pl -locations none -I src "${sources[@]}" -ts "$copy" \
    >"$scratch/lupdate.log" 2>&1; then
    cat "$scratch/lupdate.log" >&2
    exit 1
  fi
  # A message is its context's name, its source (perhaps over several lines) and its
  # translation, in that order.
  faults=$(awk '
    /<name>/ { context = $0; sub(/.*<name>/, "", context); sub(/<\/name>.*/, "", context) }
    /<source>/ { source = ""; reading = 1 }
    reading { source = source (source == "" ? "" : "\\n") $0 }
    /<\/source>/ { reading = 0; sub(/^ *<source>/, "", source); sub(/<\/source>.*/, "", source) }
    /<translation/ {
      why = ""
      if ($0 ~ /type="unfinished"/) why = "not translated"
      else if ($0 ~ /type="(vanished|obsolete)"/) why = "no longer in the code"
      else if ($0 ~ /<translation *\/>|<translation><\/translation>/) why = "translated by nothing"
      if (why != "") print FILENAME ": " context ": \"" source "\": " why
    }' "$copy")
  if [ -n "$faults" ]; then
    echo "${faults//$scratch\//i18n/}"
    status=1
  fi
done
[ "$status" -eq 0 ] || echo "check-translations: run 'make translations' and translate what it names" >&2
exit "$status"
