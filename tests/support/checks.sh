# Checks that count, shared by every shell test (tests/cli, tests/faults, tests/e2e,
# tests/dist): each failed check is counted and the test goes on; finish ends it. Sourcing
# it twice (a test that uses two libraries) keeps the count.
FAILURES="${FAILURES:-0}"
skip() {
  echo "SKIP: $*"
  exit 77
}
fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}
ok() { echo "ok: $*"; }
expect_eq() {  # expect_eq WHAT EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then ok "$1 = \"$3\""; else fail "$1: expected \"$2\", got \"$3\""; fi
}
# check WHAT CMD...: one check that passes when the command does.
check() {
  local what="$1"
  shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}
finish() {
  if [ "$FAILURES" -gt 0 ]; then
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
