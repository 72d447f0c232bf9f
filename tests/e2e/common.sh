# Helpers of the end-to-end scripts, sourced by them.

# within SECONDS COMMAND...: runs COMMAND until it succeeds, for up to SECONDS seconds.
within() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 20))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

# end_with_sigterm PID: ends a program the way the desktop does and waits for it, up to 10 s.
# Returns its exit status, or 124 when it was still running and had to be killed.
end_with_sigterm() {
  local pid=$1
  kill -TERM "$pid"
  if ! within 10 sh -c "! kill -0 $pid"; then
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null
    return 124
  fi
  wait "$pid"
}
