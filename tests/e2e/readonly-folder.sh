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
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

skip() { echo "SKIP: $*"; exit 77; }
command -v setpriv >/dev/null || skip "setpriv is not installed"
[ "$(id -u)" -eq 0 ] || skip "needs root to run the program as another user"
id nobody >/dev/null 2>&1 || skip "there is no user 'nobody'"
nobody=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
as_nobody() { "${nobody[@]}" "$@"; }
as_nobody xdpyinfo >/dev/null 2>&1 || skip "user 'nobody' cannot reach the display $DISPLAY"

# The program's runtime folder is nobody's; the scratch folder lets nobody through to it.
chmod 711 "$dir"
runtime=$dir/runtime
mkdir "$runtime"
chown nobody "$runtime"

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
    >"$dir/ekranik.log" 2>&1 &
  within 30 shown 'ekranik 2oo6' || fail "main window never shown"
  end_with_sigterm $!
  status=$?
  [ "$status" -ne 124 ] || fail "still running $end_limit s after SIGTERM (files mode $mode)"
}

run 666
[ "$status" -eq 0 ] || fail "exit status $status with writable files"
[ "$(cat "$dir/work/programy.tv")" = $'a.tv|http://127.0.0.1:1/a\r\nb.tv|http://127.0.0.1:1/b\r' ] \
  || fail "programy.tv was not saved in place: $(od -c "$dir/work/programy.tv" | head -n 3)"
[ "$(cat "$dir/work/programy_stan.tv")" = $'1\r' ] || fail "programy_stan.tv was not saved in place"
extra=$(find "$dir/work" -mindepth 1 ! -name programy.tv ! -name programy_stan.tv)
[ -z "$extra" ] || fail "left behind: $extra"

run 444
[ "$status" -eq 1 ] || fail "exit status $status when nothing could be saved, want 1"
grep -q 'Cannot create file "programy' "$dir/ekranik.log" || fail "the failed save was not logged"
[ "$(cat "$dir/work/programy.tv")" = $'a.tv|http://127.0.0.1:1/a\nb.tv|http://127.0.0.1:1/b' ] \
  || fail "programy.tv changed"
echo "ok"
