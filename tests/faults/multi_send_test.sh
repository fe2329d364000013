#!/usr/bin/env bash
# One send to two receivers at once: `quorvalinthexa send A,B` from the sender's namespace
# to the usual receiver (A) and to a second one in a namespace of its own (B), linked to
# the sender by a second veth pair. Both store the tree; with B refusing this sender, A
# still stores it, the exit status is 6 and a line names B. A trusted A gets it over the
# private channel while B gets it on port 2904 in the same send. B keeps its own history,
# read back after it restarts. Each line comes as its recipient ends, in whatever order.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"

B_NS="qvf$$b"
B_ADDR=10.214.0.1
B_STORE="$WORK/storeB"
B_PID=""
mkdir -p "$B_STORE"
trap 'kill "$B_PID" 2>/dev/null || true; ip netns del "$B_NS" 2>/dev/null || true; cleanup' EXIT
netns_add "$B_NS"
veth_join "$B_NS" "qvf$$b0" "$B_ADDR" "$TX_NS" "qvf$$b1" 10.214.0.2

# b_start [RECEIVE OPTIONS...]: the second receiver, its stdout in $WORK/b.out.
b_start() {
  [ -n "$B_PID" ] && { kill -INT "$B_PID"; wait "$B_PID" 2>/dev/null || true; }
  : >"$WORK/b.out"
  ip netns exec "$B_NS" env XDG_STATE_HOME="$WORK/b-state" "$CLI" receive --store "$B_STORE" --stall-seconds 2 --no-discovery "$@" \
    >"$WORK/b.out" 2>>"$WORK/b.err" &
  B_PID=$!
  wait_for_line "$WORK/b.out" "Server running" || fail "the second receiver did not start: $(cat "$WORK/b.err")"
}

rx_start --no-discovery
b_start
mkdir -p "$WORK/src"
make_tree "$WORK/src/both"
status=0
in_tx "$CLI" send "$RX_ADDR,$B_ADDR" "$WORK/src/both" >"$WORK/tx.out" 2>>"$WORK/tx.err" || status=$?
expect_eq "send to both: exit status" 0 "$status"
diff -r "$WORK/src/both" "$STORE/both" >/dev/null && ok "A stored the tree" || fail "A's tree differs"
diff -r "$WORK/src/both" "$B_STORE/both" >/dev/null && ok "B stored the tree" || fail "B's tree differs"
expect_eq "a line per recipient" "$RX_ADDR: took the transfer (in the clear)
$B_ADDR: took the transfer (in the clear)" "$(grep -E 'took the transfer' "$WORK/tx.out" | sort)"

# B takes only from an address that is not the sender's.
b_start --allow 10.9.9.9
make_tree "$WORK/src/one"
status=0
in_tx "$CLI" send "$RX_ADDR,$B_ADDR" "$WORK/src/one" >"$WORK/tx.out" 2>>"$WORK/tx.err" || status=$?
expect_eq "B refusing: exit status" 6 "$status"
diff -r "$WORK/src/one" "$STORE/one" >/dev/null && ok "A stored the tree all the same" || fail "A's tree differs"
[ ! -e "$B_STORE/one" ] && ok "B stored nothing" || fail "B stored something"
grep -q "^$B_ADDR: did not take the transfer" "$WORK/tx.out" && ok "B's line says it did not take it" ||
  fail "no line for B: $(cat "$WORK/tx.out")"
grep -q "1 of 2 took the transfer" "$WORK/tx.err" && ok "the count is told" || fail "no count: $(cat "$WORK/tx.err")"
# The sender's history (which A's receptions share here): this send's two entries, each with
# its own ending.
expect_eq "the sender's history of that send" "10.213.0.1 complete
10.214.0.1 refused" "$(in_tx "$CLI" history --json | python3 -c '
import json, sys
sent = [e for e in json.load(sys.stdin) if e["direction"] == "sent"][:2]
for e in sorted(sent, key=lambda e: e["peer"]):
    print(e["peer"], e["outcome"] if e["direction"] == "sent" and e["names"] == ["one"] else "?")')"

# A trusts the sender and the sender A: A's share goes privately, B's in the clear.
as s "$CLI" trust "$(id_of r)" office >/dev/null
as r "$CLI" trust "$(id_of s)" laptop >/dev/null
rx_stop
receive_as r --no-discovery
b_start
# B's own history, read after its restart: what it took, then what it refused.
expect_eq "B's history after a restart" "refused |complete both" "$(ip netns exec "$B_NS" \
  env XDG_STATE_HOME="$WORK/b-state" "$CLI" history --json | python3 -c '
import json, sys
print("|".join(e["outcome"] + " " + ",".join(e["names"]) for e in json.load(sys.stdin)
               if e["direction"] == "received" and e["address"] == "10.214.0.2"))')"
mkdir -p "$WORK/src/mixed/sub"
printf 'mixed' >"$WORK/src/mixed/a.txt"
head -c 307200 /dev/urandom >"$WORK/src/mixed/sub/data.bin"
send_as s "trusted A and plain B" 0 "$RX_ADDR,$B_ADDR" "$WORK/src/mixed"
expect_result "A's reception" "Receiving complete. (encrypted, from laptop)" 20
diff -r "$WORK/src/mixed" "$STORE/mixed" >/dev/null && ok "A stored the tree" || fail "A's tree differs"
diff -r "$WORK/src/mixed" "$B_STORE/mixed" >/dev/null && ok "B stored the tree" || fail "B's tree differs"
expect_eq "each line says how it went" "$RX_ADDR: took the transfer (encrypted, to office)
$B_ADDR: took the transfer (in the clear)" "$(grep -E 'took the transfer' "$WORK/tx.out" | sort)"
expect_eq "the sender's history names the trusted computer and its door" "$B_ADDR transfer complete
office private complete" "$(in_tx env XDG_STATE_HOME="$WORK/s/state" "$CLI" history --json --limit 2 | python3 -c '
import json, sys
for e in sorted(json.load(sys.stdin), key=lambda e: e["peer"]):
    print(e["peer"], e["door"], e["outcome"])')"

# A's address answered by another key, then by no private channel at all: nothing goes to
# A, B still takes it, and the sender's entry for A is a refusal on the private door with
# the reason it was told.
make_tree "$WORK/src/guarded"
while IFS='|' read -r what copy options reason; do
  rx_stop
  as "$copy" rx_start --no-discovery $options
  send_as s "$what" 6 "$RX_ADDR,$B_ADDR" "$WORK/src/guarded"
  expect_eq "$what: the sender's entry for A" "office private refused $reason" \
    "$(in_tx env XDG_STATE_HOME="$WORK/s/state" "$CLI" history --json --limit 2 | python3 -c '
import json, sys
for e in json.load(sys.stdin):
    if e["address"] == sys.argv[1]: print(e["peer"], e["door"], e["outcome"], e["reason"])' "$RX_ADDR")"
done <<CASES
another key|x||The computer at $RX_ADDR is trusted, but its key has changed. Nothing was sent.
no private answer|r|--private-port 0|The trusted computer at $RX_ADDR does not answer privately. Nothing was sent.
CASES

# SIGINT while both recipients take nothing (stopped): every stream stops as Stop stops
# it, each recipient's entry is recorded as canceled, and the exit status is 130.
rx_stop
rx_start --no-discovery --private-port 0
b_start
kill -STOP "$RX_PID" "$B_PID"
head -c 67108864 /dev/zero >"$WORK/src/big.bin"
status=0
# As a script starts it: in the background (SIGINT ignored there, so the sender's own
# handling is what counts) and under timeout(1), which passes the signal on twice (to its
# child and to its process group): the copy is not a second signal.
XDG_STATE_HOME="$WORK/i/state" ip netns exec "$TX_NS" timeout 60 "$CLI" send --plain \
  "$RX_ADDR,$B_ADDR" "$WORK/src/big.bin" >"$WORK/tx.out" 2>"$WORK/tx.err" &
SEND_PID=$!
sleep 2
kill -INT "$SEND_PID"
wait "$SEND_PID" || status=$?
kill -CONT "$RX_PID" "$B_PID"
expect_eq "SIGINT: exit status" 130 "$status"
expect_eq "SIGINT: the sender's entries" "$RX_ADDR canceled
$B_ADDR canceled" "$(in_tx env XDG_STATE_HOME="$WORK/i/state" "$CLI" history --json | python3 -c '
import json, sys
for e in sorted(json.load(sys.stdin), key=lambda e: e["address"]):
    print(e["address"], e["outcome"] if e["direction"] == "sent" else "?")')"

finish
