# Shared pieces of the release packages' tests; sourced. The checks print "ok: ..." or
# "FAIL: ..." and `finish` ends the test. tests/e2e/lib.sh, which the installer's test
# sources as well, defines fail, expect_eq, skip and finish the same way.
set -euo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
VERSION="$(head -n 1 "$QV_ROOT/VERSION")"
DIST="$QV_ROOT/dist"
DEB_ARCH="$(dpkg --print-architecture)"

if ! declare -F fail >/dev/null; then
  FAILURES=0
  fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }
  expect_eq() {  # expect_eq WHAT EXPECTED ACTUAL
    if [ "$2" == "$3" ]; then echo "ok: $1 = \"$3\""; else fail "$1: expected \"$2\", got \"$3\""; fi
  }
  skip() { echo "SKIP: $*"; exit 77; }
  finish() {
    if [ "$FAILURES" -gt 0 ]; then echo "$FAILURES check(s) failed"; exit 1; fi
    echo "all checks passed"
  }
fi
# check WHAT CMD...: one check that passes when the command does.
check() {
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
# need_dist FILE...: the packages `make dist` makes; without them nothing can be checked.
need_dist() {
  local f
  for f in "$@"; do
    [ -f "$DIST/$f" ] || { echo "FAIL: dist/$f is missing (make dist makes it)" >&2; exit 1; }
  done
}
# wait_until CMD...: up to a minute for the command to succeed.
wait_until() {
  local i
  for i in $(seq 240); do "$@" && return 0; sleep 0.25; done
  return 1
}
