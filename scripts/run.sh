#!/usr/bin/env bash
# run.sh [BUILD]
# Starts the bundled listings portal, waits until it listens, then runs ekranik in ./run; when
# ekranik ends (also on Ctrl+C), the portal is stopped; run.sh itself ended with SIGTERM ends
# ekranik first. BUILD is the build folder, relative to the repository or absolute, build
# unless given.
#
# Without XMLTV the portal serves the demo listings moved to today, and a ./run without station
# files (neither programy.tv nor programy_stan.tv) first gets the default station list with
# four stations checked, so the widget fills soon after the start.
#
# Environment:
#   XMLTV=SOURCE             serve these listings instead: an XMLTV file (plain, gzip or xz) or an
#                            http/https URL. A ./run without station files gets one station a
#                            channel from the portal's /stations.txt, the first four checked.
#                            Station files already there are left as they are.
#   EKRANIK_RUN_DIR=DIR      the folder ekranik runs in, ./run unless given.
#   EKRANIK_PORTAL_HOST=H:P  where the portal listens; CMake's setting of the same name unless
#                            given. Port 0 takes a free one (the stations then point at it).
#   EKRANIK_PORTAL_LOG=FILE  the portal's request log, BUILD/portal.log unless given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
[[ $build == /* ]] || build="$root/$build"
run=${EKRANIK_RUN_DIR:-$root/run}
[[ $run == /* ]] || run="$PWD/$run"
# How the run folder is named in messages: run/ when it is the usual one.
shown_run=$run/
[ "$run" != "$root/run" ] || shown_run=run/
xmltv=${XMLTV:-}
mkdir -p "$run"

# The portal listens where the default station addresses point: CMake's EKRANIK_PORTAL_HOST.
host=${EKRANIK_PORTAL_HOST:-}
[ -n "$host" ] || host=$(sed -n 's/^EKRANIK_PORTAL_HOST:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
host=${host:-127.0.0.1:8080}
[[ $host =~ :[0-9]+$ ]] || host="$host:80"

# The portal's request log goes to the build folder, out of ekranik's working directory.
log=${EKRANIK_PORTAL_LOG:-$build/portal.log}
started=$(mktemp)
if [ -n "$xmltv" ]; then
  portal_args=(--xmltv "$xmltv")
else
  portal_args=(--xmltv "$root/data/demo.xmltv" --stations "$root/data/stations.map" --today)
fi
"$build/src/portal/ekranik-portal" --listen "$host" "${portal_args[@]}" >"$started" 2>"$log" &
portal_pid=$!
trap 'kill "$portal_pid" 2>/dev/null || true; wait "$portal_pid" 2>/dev/null || true; rm -f "$started"' EXIT
trap 'exit 143' TERM HUP

# The portal says "serving ... on http://HOST:PORT/" once its socket is bound. The demo is read
# in a moment; other listings may first have to be downloaded, so they are waited for as long
# as the portal is at it.
waited=0
until grep -q serving "$started" 2>/dev/null; do
  if ! kill -0 "$portal_pid" 2>/dev/null; then
    grep -q serving "$started" 2>/dev/null && break
    echo "run.sh: the listings portal did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
  waited=$((waited + 1))
  if [ -z "$xmltv" ] && [ "$waited" -ge 100 ]; then
    echo "run.sh: the listings portal did not start listening on $host in 10 s" >&2
    exit 1
  fi
  [ "$waited" -ne 100 ] || echo "run.sh: the portal is still reading $xmltv ..."
  sleep 0.1
done
echo "run.sh: $(cat "$started") (log: $log)"

# Where the portal is reached: the address it printed, a wildcard one taken as this machine.
served=$(sed -n 's|.*serving .* on http://\([^/]*\)/.*|\1|p' "$started")
served=${served/#0.0.0.0:/127.0.0.1:}
served=${served/#\[::\]:/[::1]:}

# host_port URL: the HOST:PORT an http address asks, port 80 when it names none.
host_port() {
  local authority=${1#http://}
  authority=${authority%%[/?#]*}
  [[ $authority =~ :[0-9]+$ ]] || authority="$authority:80"
  echo "$authority"
}

if [ ! -e "$run/programy.tv" ] && [ ! -e "$run/programy_stan.tv" ]; then
  if [ -z "$xmltv" ]; then
    # polsat.tv, tvn.tv, tvp1.tv and tvn24.tv checked
    (cd "$run" && "$root/scripts/write-station-list.sh" "$served" 1 3 4 8)
    echo "run.sh: seeded $shown_run with the default stations, four of them checked"
  else
    # The portal writes the list in the program's own format; written under another name
    # first, so that a failed download leaves no half list behind.
    if ! error=$(curl -fsS --max-time 30 -o "$run/programy.tv.part" "http://$served/stations.txt" 2>&1); then
      rm -f "$run/programy.tv.part"
      echo "run.sh: cannot get the station list from http://$served/stations.txt: $error" >&2
      exit 1
    fi
    mv "$run/programy.tv.part" "$run/programy.tv"
    channels=$(tr -cd '\n' <"$run/programy.tv" | wc -c)
    : >"$run/programy_stan.tv"
    for ((position = 0; position < 4 && position < channels; position++)); do
      printf '%s\r\n' "$position" >>"$run/programy_stan.tv"
    done
    if [ "$channels" -eq 0 ]; then
      echo "run.sh: $xmltv has no channels; $shown_run got an empty station list"
    else
      echo "run.sh: seeded $shown_run with the $channels channels of $xmltv, the first $position of them checked"
    fi
  fi
elif [ -n "$xmltv" ]; then
  echo "run.sh: $shown_run has its station files already and keeps them" \
    "(delete programy.tv and programy_stan.tv to get the channels of $xmltv)"
  # A list seeded from a portal on another port asks a portal that is not there.
  if [ -e "$run/programy.tv" ]; then
    others=()
    ours=no
    while IFS= read -r address; do
      authority=$(host_port "$address")
      if [ "$authority" = "$served" ]; then
        ours=yes
      elif [[ " ${others[*]} " != *" $authority "* ]]; then
        others+=("$authority")
      fi
    done < <(LC_ALL=C sed -n 's/\r$//; s/^[^|]*|\(http:\/\/.*\)/\1/p' "$run/programy.tv")
    if [ "$ours" = no ] && [ ${#others[@]} -gt 0 ]; then
      echo "run.sh: the stations in ${shown_run}programy.tv ask ${others[*]}, but the portal serves $served"
    fi
  fi
fi

# Ended from outside (SIGTERM, a closed terminal), run.sh ends ekranik as the desktop would,
# and the portal after it; ekranik is waited for in the background, since a shell takes no
# signal while a program runs in its foreground. Ctrl+C reaches ekranik from the terminal.
cd "$run"
"$build/src/app/ekranik" &
app_pid=$!
trap 'kill -TERM "$app_pid" 2>/dev/null || true' TERM HUP
trap : INT
status=0
wait "$app_pid" || status=$?
# A signal cuts the wait short: on until ekranik has ended.
while kill -0 "$app_pid" 2>/dev/null; do
  status=0
  wait "$app_pid" || status=$?
done
exit "$status"
