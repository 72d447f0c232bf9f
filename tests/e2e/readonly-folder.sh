#!/usr/bin/env bash
# readonly-folder.sh EKRANIK
# The program as an ordinary user in a folder that refuses new files:
# - with both station files writable, SIGTERM saves them in place and the program ends;
# - with neither writable, SIGTERM still ends it, with status 1 and the reason on stderr,
#   and the files stay as they were.
# Root ignores file modes, so the program runs as "nobody" (setpriv); where that is not
# possible the test is skipped (exit 77) and says why.
set -u
ekranik=$1
. "$(dirname "$0")/common.sh"

skip() { echo "SKIP: $*"; exit 77; }
command -v setpriv >/dev/null || skip "setpriv is not installed"
[ "$(id -u)" -eq 0 ] || skip "needs root to run the program as another user"
id nobody >/dev/null 2>&1 || skip "there is no user 'nobody'"
nobody=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
as_nobody() { "${nobody[@]}" "$@"; }
as_nobody xdpyinfo >/dev/null 2>&1 || skip "user 'nobody' cannot reach the display $DISPLAY"

dir=$(mktemp -d)
runtime=$(mktemp -d)
chown nobody "$runtime"
cleanup() {
  [ -n "${app_pid:-}" ] && kill -KILL "$app_pid" 2>/dev/null
  chmod -R u+w "$dir"
  rm -rf "$dir" "$runtime"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$dir/out.log" ] && sed 's/^/  ekranik: /' "$dir/out.log" >&2
  exit 1
}

# One round: station files with LF line ends (a save writes CR LF), the given file mode, the
# folder read-only. Ends with the program's exit status in $status.
run() {
  local mode=$1
  rm -rf "$dir/work"
  mkdir "$dir/work"
  printf 'a.tv|http://127.0.0.1:1/a\nb.tv|http://127.0.0.1:1/b\n' >"$dir/work/programy.tv"
  printf '1\n' >"$dir/work/programy_stan.tv"
  chmod "$mode" "$dir/work/programy.tv" "$dir/work/programy_stan.tv"
  chmod 555 "$dir/work"
  (cd "$dir/work" && XDG_RUNTIME_DIR="$runtime" HOME="$runtime" exec "${nobody[@]}" "$ekranik") \
    >"$dir/out.log" 2>&1 &
  app_pid=$!
  within 10 xdotool search --onlyvisible --name '^ekranik 2oo6$' || fail "main window never shown"
  end_with_sigterm "$app_pid"
  status=$?
  app_pid=
  [ "$status" -ne 124 ] || fail "still running 10 s after SIGTERM (files mode $mode)"
}

run 666
[ "$status" -eq 0 ] || fail "exit status $status with writable files"
[ "$(cat "$dir/work/programy.tv")" = $'a.tv|http://127.0.0.1:1/a\r\nb.tv|http://127.0.0.1:1/b\r' ] \
  || fail "programy.tv was not saved in place: $(od -c "$dir/work/programy.tv" | head -n 3)"
[ "$(cat "$dir/work/programy_stan.tv")" = $'1\r' ] || fail "programy_stan.tv was not saved in place"
[ "$(ls -A "$dir/work" | wc -l)" -eq 2 ] || fail "left behind: $(ls -A "$dir/work")"

run 444
[ "$status" -eq 1 ] || fail "exit status $status when nothing could be saved, want 1"
grep -q 'Cannot create file "programy' "$dir/out.log" || fail "the failed save was not logged"
[ "$(cat "$dir/work/programy.tv")" = $'a.tv|http://127.0.0.1:1/a\nb.tv|http://127.0.0.1:1/b' ] \
  || fail "programy.tv changed"
echo "ok"
