# shellcheck shell=bash
# Sourced by the portal's benchmark scripts.
# await_portal OUT LOG: waits (30 s at most) for the portal whose standard output goes to OUT
# to say that it serves, and sets port; when it does not, ends the script with the end of LOG.
await_portal() {
  for _ in $(seq 300); do
    grep -q serving "$1" && break
    sleep 0.1
  done
  port=$(sed -n 's|.*serving .* on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$1")
  if [ -z "$port" ]; then
    echo "$(basename "$0"): the portal did not start:" >&2
    tail -n 5 "$2" >&2
    exit 1
  fi
}
