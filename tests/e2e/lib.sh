# Shared pieces of the end-to-end tests: the real Quorvalinthexa.exe under Wine, worked
# through qdriver. Sourced by each *_test.sh. Expects the environment that
# scripts/run-tests.sh prepares (DISPLAY, a running wineserver) or prepares it itself.
set -euo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
QV_WIN_BUILD="${QV_WIN_BUILD:-$QV_ROOT/build/win}"
QV_NATIVE_BUILD="${QV_NATIVE_BUILD:-$QV_ROOT/build/native}"
source "$QV_ROOT/scripts/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
  eval "$("$QV_ROOT/scripts/wine-start.sh")"
fi
EXE="$QV_WIN_BUILD/Quorvalinthexa.exe"
DRIVER="$QV_WIN_BUILD/qdriver.exe"
WORK="$(mktemp -d /tmp/qv-e2e.XXXXXX)"
PROGRAM_PID=""
FAILURES=0
SETTINGS_KEY='HKCU\Software\Kelvadro\Quorvalinthexa'

driver() { wine "$DRIVER" "$@" 2>>"$WORK/driver.err" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# Starts the program with the given arguments and waits for its window.
start_program() {
  # One copy per prefix: a copy left over from an earlier check would answer instead.
  driver wait-gone 15000 || fail "an earlier copy of the program is still running"
  (cd "$QV_WIN_BUILD" && exec wine "$EXE" "$@") </dev/null >"$WORK/program.out" 2>&1 &
  PROGRAM_PID=$!
  driver wait-window 30000 || fail "the main window did not appear"
}

# Ends the program through Escape (command 2) and checks its exit code.
stop_program() {
  [ -n "$PROGRAM_PID" ] || return 0
  driver post 0x0111 2 0 >/dev/null || true
  local rc=0
  wait "$PROGRAM_PID" || rc=$?
  PROGRAM_PID=""
  expect_eq "exit code" "0" "$rc"
}

kill_program() {
  [ -n "$PROGRAM_PID" ] && kill "$PROGRAM_PID" 2>/dev/null || true
  PROGRAM_PID=""
}

reg_set() {  # reg_set NAME TYPE DATA
  wine reg add "$SETTINGS_KEY" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1
}
reg_clear() { wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1 || true; }
# A store folder of the test's own, as the program's "Directory" (C:\qv-store\).
use_store() {
  STORE="$WINEPREFIX/drive_c/qv-store"
  rm -rf "$STORE" && mkdir -p "$STORE"
  reg_set Directory REG_SZ 'C:\qv-store\'
}
reg_query() {  # prints the data of a value, or nothing
  wine reg query "${2:-$SETTINGS_KEY}" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {for (i = 3; i <= NF; i++) printf "%s%s", $i, (i < NF ? " " : ""); print ""}'
}

screenshot() {  # screenshot FILE
  xwd -root -silent -display "$DISPLAY" | convert xwd:- "$1" 2>/dev/null || true
}

fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}
expect_eq() {  # expect_eq WHAT EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok: $1 = \"$3\""; else fail "$1: expected \"$2\", got \"$3\""; fi
}

finish() {
  kill_program
  rm -rf "$WORK"
  if [ "$FAILURES" -gt 0 ]; then
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
trap 'kill_program' EXIT
