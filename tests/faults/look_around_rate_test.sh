#!/usr/bin/env bash
# The look-around counted on the wire: a peer alone on a /22 (its link without ARP, so
# that every datagram leaves without a neighbour to answer) sends at most kLookAroundPerSecond unicast
# "notify" a second (one burst of slack), covers the /22's 1021 other addresses, sweeps
# no second time within 60 s of the first, and never sends "request". About 70 s.
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}"
source "$QV_ROOT/tests/support/checks.sh"
source "$QV_ROOT/tests/support/waits.sh"
source "$QV_ROOT/tests/support/netns.sh"
set -euo pipefail
need_netns
CLI="${QV_NATIVE_BUILD:-$QV_ROOT/build/native}/quorvalinthexa"
[ -x "$CLI" ] || skip "no $CLI (make native)"
NS="qvl$$"
WORK="$(mktemp -d /tmp/qv-sweep.XXXXXX)"
PEER_PID=""
trap 'stop_peer "$PEER_PID"; ip netns del "$NS" 2>/dev/null || true; ip netns del "${NS}o" 2>/dev/null || true; rm -rf "$WORK"' EXIT
netns_add "$NS"
netns_add "${NS}o"
ip link add qvl0 netns "$NS" type veth peer name qvl1 netns "${NS}o"
ip -n "$NS" addr add 10.215.0.1/22 dev qvl0
ip -n "$NS" link set qvl0 arp off up
ip -n "${NS}o" link set qvl1 up
ip -n "$NS" route add 224.0.0.0/4 dev qvl0

ip netns exec "$NS" python3 "$QV_ROOT/tests/faults/discovery_peer.py" capture qvl0 70 >"$WORK/capture" &
CAPTURE_PID=$!
sleep 0.5
ip netns exec "$NS" "$CLI" receive --no-remember --adapter 10.215.0.1 --store "$WORK" >/dev/null 2>"$WORK/rx.err" &
PEER_PID=$!
wait "$CAPTURE_PID"
value() { sed -n "s/^$1 //p" "$WORK/capture"; }
expect_eq "request datagrams sent" 0 "$(value requests)"
expect_eq "unicast datagrams other than notify" 0 "$(value non_notify)"
expect_eq "addresses the first sweep asks (the /22 but own, network, broadcast)" 1021 "$(value first_sweep_addresses)"
most="$(value most_in_a_second)"
check "at most 200 unicast notify in any second, one burst of 10 of slack (saw $most)" [ "$most" -le 210 ]
again="$(value second_sweep_after)"
check "no second sweep within 60 s of the first (next after $again s)" \
  python3 -c "import sys; sys.exit(0 if '$again' == 'none' or float('$again') >= 59.5 else 1)"
finish
