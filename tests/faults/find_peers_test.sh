#!/usr/bin/env bash
# Finding peers where multicast does not pass: the look-around across the subnet (and
# its absence with --no-look-around), discover --sweep, the remembered peers across a router, a plain UDP
# peer that gets one hand-over per ask and whose hand-over is taken, and the network
# check with the port taken or an adapter that is not there. Each peer keeps its
# remembered peers in a state folder of its own.
source "$(dirname "$0")/lib.sh"
DPEER="$QV_ROOT/tests/faults/discovery_peer.py"
A_NS="qvp$$a" B_NS="qvp$$b" R_NS="qvp$$r"
PIDS=()
lib_cleanup() { cleanup; }
trap 'for p in "${PIDS[@]}"; do pkill -P "$p" 2>/dev/null || true; kill "$p" 2>/dev/null || true; done
      for n in "$A_NS" "$B_NS" "$R_NS"; do ip netns del "$n" 2>/dev/null || true; done; lib_cleanup' EXIT

# peer NAME NS [RECEIVE OPTIONS...]: `receive` in NS with its own store and state folder;
# its lines go to $WORK/NAME.out and .err.
peer() {
  local name="$1" ns="$2"
  shift 2
  mkdir -p "$WORK/$name/store" "$WORK/$name/state"
  XDG_STATE_HOME="$WORK/$name/state" ip netns exec "$ns" "$CLI" receive --store "$WORK/$name/store" "$@" \
    >"$WORK/$name.out" 2>"$WORK/$name.err" &
  PIDS+=($!)
  eval "${name}_PID=$!"
}
stop() { local pid="${1}_PID"; stop_peer "${!pid}"; }
# found NAME ADDRESS TENTHS: NAME reports ADDRESS as its recipient in time.
found() { wait_for_line "$WORK/$1.err" "recipient $2\$" "$3"; }
drop_multicast() { ip netns exec "$1" iptables -A OUTPUT -d 224.0.0.0/4 -j DROP; }

# --- Multicast dropped on the link: the look-around finds the other peer; without it nobody.
drop_multicast "$RX_NS"
drop_multicast "$TX_NS"
peer quiet1 "$RX_NS" --no-look-around
peer quiet2 "$TX_NS" --no-look-around
sleep 15
nobody_found() { ! grep -q recipient "$@"; }
check "--no-look-around, multicast dropped: neither peer finds the other in 15 s" \
  nobody_found "$WORK/quiet1.err" "$WORK/quiet2.err"
check "--no-look-around: nobody found names the check" grep -q "discover --check" "$WORK/quiet1.out"
stop quiet1
stop quiet2
peer look1 "$RX_NS"
peer look2 "$TX_NS"
check "look-around, multicast dropped: the first peer finds the second within 10 s" found look1 "$TX_ADDR" 100
check "look-around, multicast dropped: the second peer finds the first" found look2 "$RX_ADDR" 20
stop look1
stop look2
# discover --sweep finds a peer that announces nothing here, remembers it and numbers it.
peer swept "$TX_NS" --no-look-around
wait_for_line "$WORK/swept.err" "listening" 2>/dev/null
expect_eq "discover --sweep, multicast dropped: lists the peer" "$TX_ADDR" \
  "$(ip netns exec "$RX_NS" "$CLI" discover --sweep --seconds 1 2>"$WORK/sweep.err" | xargs)"
expect_eq "discover numbers the peer it found (on stderr, not a terminal)" \
  "Remembered peers (send takes the number):| 1  $TX_ADDR" "$(sed -n '/^Remembered/,$p' "$WORK/sweep.err" | paste -sd'|')"
stop swept

# --- Two subnets joined by a router (no multicast routing): one send by hand, then both
# find each other by the remembered peers alone, and `send 1` reaches the other.
netns_add "$A_NS"
netns_add "$B_NS"
netns_add "$R_NS"
veth_join "$A_NS" qva0 10.214.1.2 "$R_NS" qvra 10.214.1.1
veth_join "$B_NS" qvb0 10.214.2.2 "$R_NS" qvrb 10.214.2.1
ip netns exec "$R_NS" sysctl -qw net.ipv4.ip_forward=1
ip -n "$A_NS" route add default via 10.214.1.1
ip -n "$B_NS" route add default via 10.214.2.1
peer far_b "$B_NS" --no-look-around
wait_for_line "$WORK/far_b.err" "listening"
mkdir -p "$WORK/src" && echo "across the router" >"$WORK/src/first.txt"
XDG_STATE_HOME="$WORK/far_a/state" ip netns exec "$A_NS" "$CLI" send 10.214.2.2 "$WORK/src/first.txt" ||
  fail "the send typed by hand did not arrive"
expect_eq "the sender remembers the receiver" "10.214.2.2" "$(cat "$WORK/far_a/state/quorvalinthexa/peers" 2>&1)"
wait_for_line "$WORK/far_b.out" "Receiving complete"
expect_eq "the receiver remembers the sender" "10.214.1.2" "$(cat "$WORK/far_b/state/quorvalinthexa/peers" 2>&1)"
stop far_b
peer far_b "$B_NS" --no-look-around
peer far_a "$A_NS" --no-look-around
check "after a restart, A finds B by the remembered peer alone" found far_a 10.214.2.2 100
check "after a restart, B finds A by the remembered peer alone" found far_b 10.214.1.2 100
echo "by number" >"$WORK/src/second.txt"
XDG_STATE_HOME="$WORK/far_a/state" ip netns exec "$A_NS" "$CLI" send 1 "$WORK/src/second.txt" ||
  fail "send 1 did not arrive"
check "send 1 reached B" cmp -s "$WORK/src/second.txt" "$WORK/far_b/store/second.txt"
expect_eq "send 9 (nobody numbered so) is a usage error" 2 \
  "$(XDG_STATE_HOME="$WORK/far_a/state" "$CLI" send 9 "$WORK/src/second.txt" 2>/dev/null; echo $?)"
stop far_a
stop far_b

# --- A plain UDP peer bound to its address: one hand-over per ask, also when the same ask
# comes through the group at once; and it hands over to our peer's unicast notify.
mkdir -p "$WORK/plain/state/quorvalinthexa"
echo "$TX_ADDR" >"$WORK/plain/state/quorvalinthexa/peers"
in_tx python3 "$DPEER" plain "$TX_ADDR" "$RX_ADDR" >"$WORK/dpeer.out" 2>&1 &
PIDS+=($!)
DPEER_PID=$!
sleep 0.5
ip netns exec "$RX_NS" iptables -F OUTPUT && ip netns exec "$TX_NS" iptables -F OUTPUT
peer plain "$RX_NS" --no-look-around
check "our peer takes the plain peer's hand-over" found plain "$TX_ADDR" 100
wait_until 150 ended "$DPEER_PID" || true
expect_eq "hand-overs to a plain peer: one per ask (group and unicast at once), none for hostile datagrams" "asked 3 handovers 3" \
  "$(grep asked "$WORK/dpeer.out")"
stop plain

# --- The network check: the port held by another program, and an adapter not of this host.
in_tx python3 "$DPEER" hold 2904 >"$WORK/hold.out" 2>&1 &
PIDS+=($!)
wait_for_line "$WORK/hold.out" held
in_tx "$CLI" discover --no-remember --check >"$WORK/check.out" 2>"$WORK/check.err" ||
  fail "discover --check with the port taken: exit $?"
ip netns exec "$RX_NS" "$CLI" discover --no-remember --check --adapter 10.9.9.9 >"$WORK/check2.out" 2>>"$WORK/check.err" ||
  fail "discover --check on a missing adapter: exit $?"
while IFS='|' read -r what file line; do
  check "discover --check, $what" grep -qF -- "$line" "$WORK/$file"
done <<'TABLE'
the TCP port taken|check.out|TCP port 2904: in use by another program
the UDP port taken|check.out|UDP port 2904: in use by another program
an adapter that is not there|check2.out|10.9.9.9: discovery could not start
no remembered peers|check2.out|None yet
TABLE
check "discover --check blames the adapter, not the UDP port, for an address this host lacks" \
  bash -c "! grep -q 'UDP port' '$WORK/check2.out'"
finish
