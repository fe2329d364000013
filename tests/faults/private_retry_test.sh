#!/usr/bin/env bash
# A private send that the network cuts goes on by itself: between two copies that trust
# each other (s sends, r receives), a 512 MiB send whose link goes down for 20 s, and one
# whose receiver is killed and started again 10 s later, each end complete with no second
# command, the file byte-identical, and little more than the file crossing the link (what
# the sender counts at its end of the veth). The sender says so on a line per try, and its
# history holds one entry with the tries; Ctrl-C while it waits ends it at once, and one
# that stays away past --retry-for ends the send as not taken.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
SIZE=$((512 << 20))
# What may cross the link beyond the file: TLS's framing of each 16 KiB record, what was on
# its way when the cut came (at most the receiver's window, bounded here to 1 MiB) and one
# 1 MiB buffer of the sender's, which the offers and answers of the tries fit in.
WINDOW=$((1 << 20))
SLACK=$((SIZE / 16384 * 29 + WINDOW + (1 << 20)))
# The packets' own headers (Ethernet, IPv4, TCP with time stamps) are not counted.
HEADERS=66

# link_payload: what the sender's end of the veth has sent so far, less packet headers.
link_payload() {
  ip -n "$TX_NS" -s -j link show dev "$TX_IF" | python3 -c '
import json, sys
tx = json.load(sys.stdin)[0]["stats64"]["tx"]
print(tx["bytes"] - tx["packets"] * int(sys.argv[1]))' "$HEADERS"
}
partial_bytes() { find "$STORE" -name '.~qv*.partial' -exec stat -c %s {} + | head -n1; }
# partial_over BYTES: the receiver's partial file holds more than BYTES.
partial_over() { [ "$(partial_bytes || echo 0)" -gt "$1" ] 2>/dev/null; }

# retried WHAT FAULT: a send of big.bin, FAULT run once a quarter of it has arrived.
retried() {
  local what="$1" fault="$2" before rc=0
  rm -rf "$STORE/big"
  receive_as r
  before="$(link_payload)"
  in_tx env XDG_CONFIG_HOME="$WORK/s/config" XDG_STATE_HOME="$WORK/s/state" "$CLI" send "$RX_ADDR" "$WORK/src/big" \
    >"$WORK/tx.out" 2>"$WORK/tx.err" &
  local sender=$!
  hold "$sender"
  check "$what: a quarter arrives" wait_until 600 partial_over $((SIZE / 4))
  "$fault"
  wait_until 1800 ended "$sender" || fail "$what: the send did not end"
  wait "$sender" || rc=$?
  local sent=$(($(link_payload) - before))
  expect_eq "$what: the sender's exit status" 0 "$rc"
  check "$what: byte-identical" cmp -s "$WORK/src/big/big.bin" "$STORE/big/big.bin"
  echo "$what: $sent bytes of payload on the link for $SIZE"
  check "$what: at most $SLACK bytes beyond the file ($((sent - SIZE)))" test "$sent" -le $((SIZE + SLACK))
  check "$what: a line per try" said "$WORK/tx.out" "Waiting for receiver-r to come back, next try in 1 s."
  check "$what: one history entry, with its tries" history_tries
  expect_said "$what: the send says it resumed" "$WORK/tx.out" "1 file resumed"
  rx_stop
}
# The sender's newest history entry is complete after more than one try, and the only one
# with its name since the last case.
history_tries() {
  as s "$CLI" history --json | python3 -c '
import json, sys
entries = [e for e in json.load(sys.stdin) if e["names"] == ["big"]]
sys.exit(0 if entries[0]["outcome"] == "complete" and entries[0]["tries"] > 1 and len(entries) == int(sys.argv[1]) else 1)' \
    "$CASE_NUMBER"
}

link_down() {
  ip -n "$TX_NS" link set "$TX_IF" down
  # The receiver gives the silent connection up (2 s), keeping its partial file.
  wait_for_line "$WORK/rx.out" "Some files were not received" 300 || fail "link down: the receiver did not end"
  sleep 18  # the outage lasts 20 s
  ip -n "$TX_NS" link set "$TX_IF" up
}
receiver_killed() {
  kill -9 "$RX_PID"
  wait "$RX_PID" 2>/dev/null || true
  check "killed: the sender waits to try again" wait_for_line "$WORK/tx.out" "Waiting for receiver-r" 300
  sleep 10  # the receiver stays away for 10 s
  receive_as r
}

# away WHAT [SEND OPTIONS...]: a send whose receiver is killed for good once content
# arrives; the sender waits to try again. Sets SENDER.
away() {
  local what="$1"
  shift
  rm -rf "$STORE/big"
  receive_as r
  in_tx env XDG_CONFIG_HOME="$WORK/s/config" XDG_STATE_HOME="$WORK/s/state" "$CLI" send "$@" "$RX_ADDR" \
    "$WORK/src/big" >"$WORK/tx.out" 2>"$WORK/tx.err" &
  SENDER=$!
  hold "$SENDER"
  check "$what: content arrives" wait_until 600 partial_over $((16 << 20))
  kill -9 "$RX_PID"
  wait "$RX_PID" 2>/dev/null || true
  RX_PID=""
  check "$what: the sender waits to try again" wait_for_line "$WORK/tx.out" "Waiting for receiver-r" 300
}
# newest_says TEXT: the sender's newest history line holds TEXT.
newest_says() { as s "$CLI" history | head -n1 | grep -qF -- "$1"; }

# Ctrl-C while the sender waits for the next try ends the send at once, as canceled.
stopped_while_waiting() {
  local rc=0
  away stopped
  # A wait long enough that only Stop, not its end, ends it soon.
  check "stopped: an 8 s wait" wait_for_line "$WORK/tx.out" "next try in 8 s" 300
  pkill -INT -P "$SENDER"  # the sender is the child of in_tx's subshell
  check "stopped: Ctrl-C ends the wait" wait_until 20 ended "$SENDER"
  wait "$SENDER" || rc=$?
  expect_eq "stopped: the sender's exit status" 130 "$rc"
  check "stopped: recorded as canceled" newest_says canceled
}

# A receiver that stays away past --retry-for: the send was not taken (never "does not
# answer privately", nor anything in the clear).
given_up() {
  local rc=0
  away "given up" --retry-for 5
  wait_until 300 ended "$SENDER" || fail "given up: the send did not end"
  wait "$SENDER" || rc=$?
  expect_eq "given up: the sender's exit status" 4 "$rc"
  check "given up: not told that it does not answer privately" not grep -q "privately" "$WORK/tx.out" "$WORK/tx.err"
  check "given up: recorded with its tries" newest_says "after 3 tries"
}

as r "$CLI" trust "$(id_of s)" sender-s >/dev/null
as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
mkdir -p "$WORK/src/big"
head -c "$SIZE" /dev/urandom >"$WORK/src/big/big.bin"
ip netns exec "$RX_NS" sysctl -qw net.ipv4.tcp_rmem="4096 131072 $WINDOW"
# Slow enough that each fault lands mid-send.
in_tx tc qdisc add dev "$TX_IF" root tbf rate 400mbit burst 256kbit latency 50ms
CASE_NUMBER=1
retried "link down" link_down
CASE_NUMBER=2
retried "killed" receiver_killed
stopped_while_waiting
given_up
finish
