#!/usr/bin/env bash
# burn-cpu.sh [WORKERS]
# Keeps WORKERS processes (one a core unless given) busy at the ordinary priority until it is
# ended (SIGTERM, SIGINT or SIGHUP), and ends them with it: the load of a machine busy with
# other work, for `make test-stress`. A worker also ends by itself once this script is gone,
# even killed with SIGKILL, so that no burner outlives the run that started it.
set -u
workers=${1:-$(nproc)}
me=$$
pids=()
stop() {
  trap - TERM INT HUP EXIT
  [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null
  wait
  exit 0
}
trap stop TERM INT HUP EXIT
for _ in $(seq "$workers"); do
  # Nothing but computation and one cheap system call a turn (kill is a shell builtin).
  (while kill -0 "$me" 2>/dev/null; do :; done) &
  pids+=($!)
done
wait
