#!/usr/bin/env bash
# A cut private send tries again only with the key it reached: when another computer,
# trusted too, answers at the receiver's address while the receiver is away, the next try
# ends there as a changed key, and nothing of the send reaches that computer.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
SIZE=$((64 << 20))
partial_over() { [ "$(find "$STORE" -name '.~qv*.partial' -exec stat -c %s {} + | head -n1)" -gt "$1" ] 2>/dev/null; }
store_empty() { [ -z "$(find "$STORE" -mindepth 1 -print -quit)" ]; }

# s trusts both r and x; each of them trusts s.
as r "$CLI" trust "$(id_of s)" sender-s >/dev/null
as x "$CLI" trust "$(id_of s)" sender-s >/dev/null
as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
as s "$CLI" trust "$(id_of x)" other-x >/dev/null
mkdir -p "$WORK/src/big"
head -c "$SIZE" /dev/urandom >"$WORK/src/big/big.bin"
# Slow enough that the cut lands mid-send.
in_tx tc qdisc add dev "$TX_IF" root tbf rate 100mbit burst 256kbit latency 50ms

receive_as r
in_tx env XDG_CONFIG_HOME="$WORK/s/config" XDG_STATE_HOME="$WORK/s/state" "$CLI" send --retry-for 120 "$RX_ADDR" \
  "$WORK/src/big" >"$WORK/tx.out" 2>"$WORK/tx.err" &
SENDER=$!
hold "$SENDER"
check "content arrives" wait_until 600 partial_over $((4 << 20))
kill -9 "$RX_PID"
wait "$RX_PID" 2>/dev/null || true
RX_PID=""
check "the sender waits to try again" wait_for_line "$WORK/tx.out" "Waiting for receiver-r" 300
rm -rf "${STORE:?}"/* "$STORE"/.~qv*
receive_as x
rc=0
wait_until 600 ended "$SENDER" || fail "the send did not end"
wait "$SENDER" || rc=$?
expect_eq "the sender's exit status" 5 "$rc"
check "told that the key changed" grep -qF "its key has changed" "$WORK/tx.out" "$WORK/tx.err"
check "nothing reached the other computer" store_empty
finish
