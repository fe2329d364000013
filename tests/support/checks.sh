# Checks that count, shared by the shell tests of the command-line peer (tests/cli and
# tests/faults): each failed check is counted and the test goes on; finish ends it.
FAILURES=0
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
  if [ "$2" == "$3" ]; then ok "$1"; else fail "$1: expected \"$2\", got \"$3\""; fi
}
finish() {
  if [ "$FAILURES" -gt 0 ]; then
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
