#!/usr/bin/env bash
# The remembered peers against address hand-overs and against two runs of the peer that
# share one state file: a hand-over is remembered only when it answers this peer's own
# datagrams, and then below the peers a transfer completed with, so that sixteen unasked
# ones (or sixteen empty transfers) leave `send 1` where it was; the numbers `discover`
# printed name the same peers when `send N` runs after the list changed; and a
# long-running `receive` keeps what a `send` saved meanwhile.
source "$(dirname "$0")/lib.sh"
DPEER="$QV_ROOT/tests/faults/discovery_peer.py"
PEERS="$XDG_STATE_HOME/quorvalinthexa/peers"
# The other side keeps a state of its own: only this side writes $PEERS.
in_tx() { XDG_STATE_HOME="$WORK/tx-state" ip netns exec "$TX_NS" "$@"; }
in_rx() { ip netns exec "$RX_NS" "$@"; }
listed() { paste -sd' ' "$PEERS" 2>/dev/null; }
rx_idle() { [ "$(proc_counts)" = "$BASE_TASKS $BASE_FDS" ]; }
# More addresses on the other side, and a receiver there that takes what comes to any.
for i in $(seq 10 25) 30 40; do ip -n "$TX_NS" addr add "10.213.0.$i/24" dev "$TX_IF"; done
mkdir -p "$WORK/tx-store"
in_tx "$CLI" receive --no-discovery --store "$WORK/tx-store" >"$WORK/tx-rx.out" 2>&1 &
hold $!
wait_for_line "$WORK/tx-rx.out" "Server running"

# --- With discovery off the peer asks nobody: sixteen hand-overs change nothing.
rx_start --no-discovery
take_baseline
good_transfer "a transfer from $TX_ADDR"
in_tx python3 "$DPEER" handover "$RX_ADDR" $(seq -f "10.213.0.%g" 10 25) >/dev/null
wait_until 50 rx_idle || true
expect_eq "remembered after 16 unasked hand-overs" "$TX_ADDR" "$(listed)"
in_tx python3 "$DPEER" empty "$RX_ADDR" $(seq -f "10.213.0.%g" 10 25) >/dev/null
wait_until 50 rx_idle || true
expect_eq "remembered after 16 empty transfers" "$TX_ADDR" "$(listed)"
rx_stop

# --- Announcing, it takes an answer to its "notify", ranked below the transfer's peer.
rx_start --adapter "$RX_ADDR" --no-look-around
in_tx python3 "$DPEER" answer "$RX_ADDR" 10.213.0.10 >/dev/null || fail "no notify to answer"
wait_until 50 grep -qx "10.213.0.10?" "$PEERS" || true
expect_eq "remembered after an answer to this peer's notify" "$TX_ADDR 10.213.0.10?" "$(listed)"
rx_stop
in_rx "$CLI" discover --seconds 1 >/dev/null 2>"$WORK/discover.err"
expect_eq "discover's numbers" " 1  $TX_ADDR| 2  10.213.0.10" "$(grep -E '^ *[0-9]+  ' "$WORK/discover.err" | paste -sd'|')"

# --- A transfer from 10.213.0.30 (gone afterwards) comes first now; send 1 still goes
# where discover's 1 was.
rx_start --no-discovery
take_baseline
ip -n "$TX_NS" route add "$RX_ADDR/32" dev "$TX_IF" src 10.213.0.30
good_transfer "a transfer from 10.213.0.30"
ip -n "$TX_NS" route del "$RX_ADDR/32"
ip -n "$TX_NS" addr del 10.213.0.30/24 dev "$TX_IF"
expect_eq "remembered after it" "10.213.0.30 $TX_ADDR 10.213.0.10?" "$(listed)"
echo "by the printed number" >"$WORK/numbered.txt"
in_rx "$CLI" send 1 "$WORK/numbered.txt" >/dev/null 2>"$WORK/send.err" || fail "send 1: $(cat "$WORK/send.err")"
check "send 1 reached discover's 1 ($TX_ADDR)" cmp -s "$WORK/numbered.txt" "$WORK/tx-store/numbered.txt"

# --- The receiver still runs, with the list it read at its start; a send saves a new
# peer meanwhile, and the receiver's next change keeps it.
echo "to a new peer" >"$WORK/new.txt"
in_rx "$CLI" send 10.213.0.40 "$WORK/new.txt" >/dev/null 2>>"$WORK/send.err" || fail "send to 10.213.0.40"
good_transfer "a transfer from $TX_ADDR again"
expect_eq "remembered after both runs changed the list" "$TX_ADDR 10.213.0.40 10.213.0.30 10.213.0.10?" "$(listed)"
finish
