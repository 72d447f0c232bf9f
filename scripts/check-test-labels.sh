#!/usr/bin/env bash
# check-test-labels.sh [BUILD]
# Every test registered in the build folder (default: build) carries exactly one of the labels
# unit, widget and e2e, so that `ctest -L unit`, `-L widget` and `-L e2e` together run the whole
# suite once. Names the tests that break this and fails.
set -euo pipefail
cd "${1:-build}"
names() { ctest -N "$@" | sed -n 's/^ *Test *#[0-9]*: //p' | sort; }
all=$(names)
labelled=$({ names -L '^unit$'; names -L '^widget$'; names -L '^e2e$'; } | sort)
[ "$all" = "$labelled" ] && exit 0
echo "check-test-labels: these tests need exactly one of the labels unit, widget, e2e:" >&2
{ comm -23 <(echo "$all") <(echo "$labelled" | uniq); echo "$labelled" | uniq -d; } | sed 's/^/  /' >&2
exit 1
