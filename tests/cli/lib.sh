# Shared pieces of the command-line peer's own tests: `quorvalinthexa receive --once` on
# a free loopback port, a scratch folder, and checks that count. Sourced by each *_test.sh;
# everything it starts or makes is removed when the test ends, also on failure.
set -euo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
QV_NATIVE_BUILD="${QV_NATIVE_BUILD:-$QV_ROOT/build/native}"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
source "$QV_ROOT/tests/support/checks.sh"
source "$QV_ROOT/tests/support/waits.sh"
RX_PID=""
PORT=""

[ -x "$CLI" ] || skip "no $CLI (make native)"

WORK="$(mktemp -d /tmp/qv-cli.XXXXXX)"
# The peers' remembered peers stay in this test's folder: none reach another test.
export XDG_STATE_HOME="$WORK/state"
cleanup() {
  stop_peer "$RX_PID"
  rm -rf "$WORK"
}
trap cleanup EXIT

# rx_start STORE [WRAPPER...]: `receive --once` into STORE on a free port, optionally run
# under a wrapper command (strace), with the further options in RX_OPTIONS; sets RX_PID
# and PORT once it listens. Its output goes to $WORK/rx.out and $WORK/rx.err.
rx_start() {
  local store="$1"
  shift
  : >"$WORK/rx.err"
  # shellcheck disable=SC2086
  "$@" "$CLI" receive --once --no-discovery --store "$store" --port 0 ${RX_OPTIONS:-} >"$WORK/rx.out" 2>"$WORK/rx.err" &
  RX_PID=$!
  if wait_for_line "$WORK/rx.err" "listening on TCP port [0-9]+,"; then
    PORT="$(sed -n 's/.*listening on TCP port \([0-9]*\),.*/\1/p' "$WORK/rx.err")"
    return 0
  fi
  fail "the receiver did not start: $(cat "$WORK/rx.err")"
  finish
}

# rx_wait SECONDS: waits for the receiver to end by itself; RX_STATUS is its exit status,
# or "running" when it did not end in time (it is then ended).
rx_wait() {
  wait_until $(($1 * 10)) ended "$RX_PID" || true
  RX_STATUS=0
  if kill -0 "$RX_PID" 2>/dev/null; then
    kill "$RX_PID"
    wait "$RX_PID" 2>/dev/null || true
    RX_STATUS=running
  else
    wait "$RX_PID" || RX_STATUS=$?
  fi
  RX_PID=""
}

# send_raw BYTES: writes a stream made by printf to the receiver and closes.
send_raw() { printf "$1" >"/dev/tcp/127.0.0.1/$PORT"; }
