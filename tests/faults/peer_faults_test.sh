#!/usr/bin/env bash
# Peers that fail in the middle of a transfer, against the real receiver: a reset in the
# middle of a file, peers that go silent (the stall limit ends them), connections cut at
# each phase of a transfer, a sender interrupted with SIGINT, and the receiver itself
# stopped with SIGINT. Each failure is reported as "Some files were not received." (or
# "Canceled." for a Stop), never as "Receiving complete.", and the receiver goes on.
source "$(dirname "$0")/lib.sh"

rx_start
good_transfer "warm-up"
take_baseline

# --- A reset (RST, not FIN) in the middle of a file.
mkdir -p "$WORK/src/reset"
head -c 1048576 /dev/urandom >"$WORK/src/reset/whole.bin"
stream "$WORK/reset.stream" reset
in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$WORK/reset.stream" --upto 400000 --then reset
expect_result "reset in the middle of a file" "Some files were not received." 10
size="$(stat -c %s "$STORE/reset/whole.bin" 2>/dev/null || echo missing)"
[ "$size" != missing ] && [ "$size" -lt 400000 ] && ok "the cut file keeps at most what arrived ($size bytes)" ||
  fail "cut file: $size"
after_fault "reset"

# --- Peers that go silent: with the 2-second stall limit each ends in a few seconds.
silent() {  # silent WHAT FILE [EXPECTED]
  local start=$SECONDS
  in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$2" --then hold:30 &
  hold $!
  expect_result "$1" "${3:-Some files were not received.}" 10
  local took=$((SECONDS - start))
  [ "$took" -le 6 ] && ok "$1: ended by the stall limit after ${took}s" || fail "$1: took ${took}s"
  kill "${HOLDERS[-1]}" 2>/dev/null || true
  after_fault "$1"
}
printf 'Version:3.0\nTotal:10\n\n' >"$WORK/header-only.stream"
silent "silent after the connection header" "$WORK/header-only.stream"
{ printf 'Version:3.0\nTotal:1000\n\nType:file\nSize:1000\nName:stalled.bin\nDirectory:/\n\n'; head -c 100 /dev/zero; } \
  >"$WORK/mid-file.stream"
silent "silent in the middle of a file" "$WORK/mid-file.stream"

# A peer that connects and sends nothing is a probe, not a sender: no version box, and
# the stall limit ends it.
: >"$WORK/empty.stream"
rx_mark
errors_before="$(grep -c "Sender using old version" "$WORK/rx.err" || true)"
in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$WORK/empty.stream" --then hold:30 &
hold $!
sleep 4
expect_eq "silent from the start: no version box" "$errors_before" \
  "$(grep -c "Sender using old version" "$WORK/rx.err" || true)"
kill "${HOLDERS[-1]}" 2>/dev/null || true
after_fault "silent from the start"

# --- A connection closed at each phase of a transfer of two files in a folder.
mkdir -p "$WORK/src/cut"
head -c 102400 /dev/urandom >"$WORK/src/cut/one.bin"
head -c 102400 /dev/urandom >"$WORK/src/cut/two.bin"
stream "$WORK/cut.stream" cut
read -r after_header after_folder mid_record mid_content between_files < <(python3 - "$WORK/cut.stream" <<'PY'
import sys
d = open(sys.argv[1], "rb").read()
first = d.index(b"\n\nType:file")
content = d.index(b"\n\n", d.index(b"Name:one.bin")) + 2
second = d.index(b"\n\nType:file", content)
print(d.index(b"\n\n") + 2, first, d.index(b"Name:one") + 8, content + 50000, second)
PY
)
for cut in "after the connection header:$after_header" "after the folder record:$after_folder" \
           "inside a file record:$mid_record" "inside a file's content:$mid_content" \
           "between two files:$between_files"; do
  rm -rf "$STORE/cut"
  in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$WORK/cut.stream" --upto "${cut##*:}" --then close
  expect_result "closed ${cut%%:*}" "Some files were not received." 10
  after_fault "closed ${cut%%:*}"
done

# --- SIGINT to the sender in the middle of a file, on a link slowed to 2 MB/s.
in_tx tc qdisc add dev "$TX_IF" root tbf rate 16mbit burst 32kbit latency 400ms
mkdir -p "$WORK/src/interrupted"
head -c 8388608 /dev/urandom >"$WORK/src/interrupted/big.bin"
rx_mark
# A background job of a script starts with SIGINT ignored: the sender gets it back.
(exec ip netns exec "$TX_NS" env --default-signal=INT "$CLI" send "$RX_ADDR" "$WORK/src/interrupted") \
  >/dev/null 2>>"$WORK/tx.err" &
sender=$!
wait_until 50 test -s "$STORE/interrupted/big.bin" || true
sleep 0.5
kill -INT "$sender"
rc=0
wait "$sender" || rc=$?
[ "$rc" -ne 0 ] && ok "the interrupted sender does not claim success (status $rc)" || fail "interrupted sender exited 0"
expect_result "sender interrupted in the middle of a file" "Some files were not received." 10
in_tx tc qdisc del dev "$TX_IF" root
after_fault "sender interrupted"

# --- SIGINT to the receiver (its Stop) in the middle of a file: "Canceled.", then it ends.
in_tx tc qdisc add dev "$TX_IF" root tbf rate 16mbit burst 32kbit latency 400ms
rm -rf "$STORE/interrupted"
rx_mark
in_tx "$CLI" send "$RX_ADDR" "$WORK/src/interrupted" >/dev/null 2>>"$WORK/tx.err" &
sender=$!
wait_until 50 test -s "$STORE/interrupted/big.bin" || true
sleep 0.5
kill -INT "$RX_PID"
rc=0
wait "$RX_PID" || rc=$?
expect_eq "the stopped receiver exits with status 0" "0" "$rc"
expect_result "receiver stopped in the middle of a file" "Canceled." 1
grep -qE 'Receiving complete\.|Some files were not received\.' <(tail -n +$((MARK + 1)) "$WORK/rx.out") &&
  fail "a stopped reception reported a result" || ok "a stopped reception reports no result"
rc=0
wait "$sender" || rc=$?
[ "$rc" -ne 0 ] && ok "the sender learns that its transfer failed (status $rc)" || fail "sender exited 0"
in_tx tc qdisc del dev "$TX_IF" root
expect_eq "the receiver's folder holds only the store" "store" "$(ls -A "$JAIL")"
RX_PID=""
rx_start
good_transfer "restarted after a Stop"

# --- The receiver stopped while a peer is halfway through the connection header: no
# reception has begun (the header is read whole first, without a thread), so nothing is
# reported, and the cut header is no reason to blame the sender's version.
printf 'Version:3.' >"$WORK/half-header.stream"
rx_mark
errors_before="$(grep -c "Sender using old version" "$WORK/rx.err" || true)"
in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$WORK/half-header.stream" --then hold:30 &
hold $!
wait_until 50 test -n "$(ip netns exec "$RX_NS" ss -Htn state established '( sport = :2904 )')" || true
kill -INT "$RX_PID"
wait "$RX_PID" || true
expect_result "receiver stopped inside the connection header" "" 1
expect_eq "no version error for a header cut by Stop" "$errors_before" \
  "$(grep -c "Sender using old version" "$WORK/rx.err" || true)"
kill "${HOLDERS[-1]}" 2>/dev/null || true
RX_PID=""
rx_start
good_transfer "restarted after a Stop in the header"

finish
