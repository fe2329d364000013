# Shared pieces of the fault-injection tests. The real command-line peer receives in a
# network namespace of its own ("rx"); senders and misbehaving peers act from a second
# namespace ("tx") over a veth pair, on a private /24 that exists only inside the two.
# The receiver runs in a folder of its own (the jail) that holds only the store, so that
# anything written outside the store shows. Sourced by each *_test.sh; needs root, and
# skips (exit 77) elsewhere. Everything is removed when the test ends, also on failure.
set -euo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
QV_NATIVE_BUILD="${QV_NATIVE_BUILD:-$QV_ROOT/build/native}"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
PEER="$QV_ROOT/tests/faults/peer.py"
source "$QV_ROOT/tests/support/checks.sh"
source "$QV_ROOT/tests/support/waits.sh"
source "$QV_ROOT/tests/support/netns.sh"

need_netns
[ -x "$CLI" ] || skip "no $CLI (make native)"
command -v python3 >/dev/null || skip "python3 is missing"

WORK="$(mktemp -d /tmp/qv-faults.XXXXXX)"
JAIL="$WORK/jail"
STORE="$JAIL/store"
RX_NS="qvf$$r"
TX_NS="qvf$$t"
RX_IF="qvf$$r0"
TX_IF="qvf$$t0"
RX_ADDR=10.213.0.1
TX_ADDR=10.213.0.2
RX_PID=""
RX_RUNS=0
BASE_TASKS=""
BASE_FDS=""
MARK=0
GOOD=0
HOLDERS=()
mkdir -p "$STORE"
# The peers' remembered peers, identities and trusted computers stay in this test's
# folder: none reach another test.
export XDG_STATE_HOME="$WORK/state" XDG_CONFIG_HOME="$WORK/config"

cleanup() {
  local pid
  # A holder started as `in_tx CMD &` is the subshell of a function: its program is a child.
  for pid in "${HOLDERS[@]}"; do pkill -P "$pid" 2>/dev/null || true; done
  for pid in "${HOLDERS[@]}" $RX_PID; do kill "$pid" 2>/dev/null || true; done
  [ -n "$RX_PID" ] && { wait "$RX_PID" 2>/dev/null || true; }
  ip netns del "$RX_NS" 2>/dev/null || true
  ip netns del "$TX_NS" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# The two namespaces and the link between them.
netns_add "$RX_NS"
netns_add "$TX_NS"
veth_join "$RX_NS" "$RX_IF" "$RX_ADDR" "$TX_NS" "$TX_IF" "$TX_ADDR"

in_tx() { ip netns exec "$TX_NS" "$@"; }

# rx_start [--mount "MOUNT OPTIONS"] [RECEIVE OPTIONS...]: starts `quorvalinthexa
# receive` into the store, with a 2-second stall limit (without --mount, behind the
# command in RX_WRAP, if set). With --mount, the store is a
# file system of its own, mounted in a private mount namespace of the receiver: it goes
# when the receiver ends. The receiver's stdout is $WORK/rx.out.
rx_start() {
  local mount=""
  if [ "${1:-}" = --mount ]; then mount="$2"; shift 2; fi
  RX_RUNS=$((RX_RUNS + 1))
  : >"$WORK/rx.out"
  if [ -n "$mount" ]; then
    (cd "$JAIL" && QV_MOUNT_OPTIONS="$mount" exec ip netns exec "$RX_NS" unshare -m --propagation private \
      sh -c 'cli="$0"; store="$1"; shift; mount $QV_MOUNT_OPTIONS "$store" &&
             exec "$cli" receive --store "$store" --stall-seconds 2 "$@"' "$CLI" "$STORE" "$@") \
      >"$WORK/rx.out" 2>>"$WORK/rx.err" &
  else
    (cd "$JAIL" && exec ip netns exec "$RX_NS" ${RX_WRAP:-} "$CLI" receive --store "$STORE" --stall-seconds 2 "$@") \
      >"$WORK/rx.out" 2>>"$WORK/rx.err" &
  fi
  RX_PID=$!
  MARK=0
  wait_for_line "$WORK/rx.out" "Server running" && return 0
  fail "the receiver did not start: $(cat "$WORK/rx.err")"
  finish
}

# rx_stop: ends the receiver as Ctrl+C would.
rx_stop() {
  kill -INT "$RX_PID" 2>/dev/null || true
  wait "$RX_PID" 2>/dev/null || true
  RX_PID=""
}

# serve_start [SERVE OPTIONS...]: `quorvalinthexa serve` in the receiver's namespace and
# jail (behind the command in RX_WRAP, if set), its stdout in $WORK/rx.out; sets URL and TOKEN.
serve_start() {
  : >"$WORK/rx.out"
  (cd "$JAIL" && exec ip netns exec "$RX_NS" ${RX_WRAP:-} "$CLI" serve --no-qr --store "$STORE" "$@") \
    >"$WORK/rx.out" 2>>"$WORK/rx.err" &
  RX_PID=$!
  wait_for_line "$WORK/rx.out" "http://" || { fail "serve did not start: $(cat "$WORK/rx.err")"; finish; }
  URL="$(grep -m1 '^http://' "$WORK/rx.out")"
  TOKEN="$(basename "$URL")"
}

# The store as the receiver sees it (a store mounted in its namespace included).
store_view() { echo "/proc/$RX_PID/root$STORE"; }
in_rx_mounts() { nsenter -t "$RX_PID" -m -- "$@"; }

# rx_mark: later waits look only at what the receiver prints from now on.
rx_mark() { MARK="$(wc -l <"$WORK/rx.out")"; }

# rx_result SECONDS: waits for the next result line after the mark and prints it
# ("" when none came in time).
rx_result() {
  local line="" i
  for i in $(seq $(($1 * 20))); do
    line="$(tail -n +$((MARK + 1)) "$WORK/rx.out" |
      grep -m1 -xE '(Receiving complete\.|Some files were not received\.)( \(encrypted, from .*\))?|Canceled\.|Recepient IP received' ||
      true)"
    [ -n "$line" ] && break
    sleep 0.05
  done
  echo "$line"
}

# expect_result WHAT EXPECTED SECONDS: the next result, and no "Receiving complete." for a
# reception that failed.
expect_result() {
  local got
  got="$(rx_result "$3")"
  if [ "$got" = "$2" ]; then ok "$1: \"$got\""; else fail "$1: expected \"$2\", got \"$got\""; fi
  rx_mark
}

proc_counts() { echo "$(ls "/proc/$RX_PID/task" | wc -l) $(ls "/proc/$RX_PID/fd" | wc -l)"; }

# take_baseline: the receiver's threads and descriptors while idle.
take_baseline() {
  read -r BASE_TASKS BASE_FDS < <(proc_counts)
  echo "baseline: $BASE_TASKS threads, $BASE_FDS descriptors"
}

# The checks after every fault: still running, nothing outside the store, no thread or
# descriptor left behind, and a good transfer arrives whole.
after_fault() {
  local what="$1" tasks fds i
  if kill -0 "$RX_PID" 2>/dev/null; then ok "$what: the receiver keeps running"; else fail "$what: the receiver died"; return; fi
  expect_eq "$what: the receiver's folder holds only the store" "store" "$(ls -A "$JAIL")"
  for i in $(seq 50); do
    read -r tasks fds < <(proc_counts)
    [ "$tasks" = "$BASE_TASKS" ] && [ "$fds" = "$BASE_FDS" ] && break
    sleep 0.1
  done
  expect_eq "$what: threads and descriptors back to idle" "$BASE_TASKS $BASE_FDS" "$tasks $fds"
  good_transfer "$what: a good transfer afterwards"
}


# make_tree DIR: a small tree with a folder, an empty file and a 300 KiB file.
make_tree() {
  mkdir -p "$1/sub/deeper"
  printf 'hello %s' "$1" >"$1/a.txt"
  : >"$1/sub/empty.txt"
  head -c 307200 /dev/urandom >"$1/sub/deeper/data.bin"
}

# good_transfer WHAT: `quorvalinthexa send` of a new small tree from the other namespace;
# it must end with "Receiving complete." and arrive byte-identical.
good_transfer() {
  GOOD=$((GOOD + 1))
  local name="good$GOOD" src="$WORK/src/good$GOOD"
  mkdir -p "$src"
  make_tree "$src/$name"
  rx_mark
  in_tx "$CLI" send "$RX_ADDR" "$src/$name" >/dev/null 2>>"$WORK/tx.err" || fail "$1: the sender failed"
  expect_result "$1" "Receiving complete." 20
  diff -r "$src/$name" "$(store_view)/$name" >/dev/null && ok "$1: byte-identical" || fail "$1: the tree differs"
}

# stream FILE ITEM...: the transfer stream of items under $WORK/src, as a sender writes it.
stream() {
  local out="$1"
  shift
  python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/src" "$@" >"$out"
}

# hold PID: a background peer that cleanup ends if the test does not.
hold() { HOLDERS+=("$1"); }
