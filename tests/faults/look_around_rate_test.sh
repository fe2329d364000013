#!/usr/bin/env bash
# The look-around counted on the wire. A peer alone on a /22 (its link without ARP, so
# that every datagram leaves without a neighbour to answer) asks one /24 block of it
# (its own: 254 addresses), at most kLookAroundPerSecond unicast "notify" a second (one
# burst of slack), never "request", and sweeps no second time within 60 s of the first;
# a new adapter makes it sweep again at once rather than after the next, longer pause.
# Beside it, `discover --sweep` on a /22 with ARP where nobody answers leaves at most
# 256 entries in the neighbour table, far from the kernel's gc_thresh2 (512), where it
# starts forcing entries out, and gc_thresh3 (1024), where it refuses new ones.
# About 90 s.
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
trap 'stop_peer "$PEER_PID"; for n in "$NS" "${NS}o" "${NS}n" "${NS}m"; do ip netns del "$n" 2>/dev/null || true; done
      rm -rf "$WORK"' EXIT
for n in "$NS" "${NS}o" "${NS}n" "${NS}m"; do netns_add "$n"; done
ip link add qvl0 netns "$NS" type veth peer name qvl1 netns "${NS}o"
ip -n "$NS" addr add 10.215.0.1/22 dev qvl0
ip -n "$NS" link set qvl0 arp off up
ip -n "${NS}o" link set qvl1 up
ip -n "$NS" route add 224.0.0.0/4 dev qvl0
# The neighbour table's /22: ARP on, and nobody on the other end to answer it.
ip link add qvn0 netns "${NS}n" type veth peer name qvn1 netns "${NS}m"
ip -n "${NS}n" addr add 10.216.0.1/22 dev qvn0
ip -n "${NS}n" link set qvn0 up
ip -n "${NS}m" link set qvn1 up
ip -n "${NS}n" route add 224.0.0.0/4 dev qvn0

ip netns exec "$NS" python3 "$QV_ROOT/tests/faults/discovery_peer.py" capture qvl0 70 >"$WORK/capture" &
CAPTURE_PID=$!
sleep 0.5
ip netns exec "$NS" "$CLI" receive --no-remember --adapter 10.215.0.1 --store "$WORK" >/dev/null 2>"$WORK/rx.err" &
PEER_PID=$!
ip netns exec "${NS}n" "$CLI" discover --no-remember --sweep --seconds 1 --adapter 10.216.0.1 >/dev/null 2>&1 ||
  fail "discover --sweep: exit $?"
neighbours="$(ip -n "${NS}n" neigh show | wc -l)"
echo "neighbour entries after a /22 sweep: $neighbours ($(ip -n "${NS}n" neigh show | grep -c FAILED || true) FAILED)"
check "neighbour entries after a /22 sweep ($neighbours): one block's, at most 256" [ "$neighbours" -le 256 ]
wait "$CAPTURE_PID"
value() { sed -n "s/^$1 //p" "$WORK/capture"; }
expect_eq "request datagrams sent" 0 "$(value requests)"
expect_eq "unicast datagrams other than notify" 0 "$(value non_notify)"
expect_eq "addresses the first sweep asks (the own /24 block but own and network address)" 254 \
  "$(value first_sweep_addresses)"
most="$(value most_in_a_second)"
check "at most 200 unicast notify in any second, one burst of 10 of slack (saw $most)" [ "$most" -le 210 ]
again="$(value second_sweep_after)"
check "no second sweep within 60 s of the first (next after $again s)" \
  python3 -c "import sys; sys.exit(0 if '$again' == 'none' or float('$again') >= 59.5 else 1)"
# The next pause is two minutes; a new adapter cuts it short.
ip link add qvd0 netns "$NS" type veth peer name qvd1 netns "${NS}o"
ip -n "$NS" addr add 10.217.0.1/24 dev qvd0
ip -n "$NS" link set qvd0 up
ip -n "${NS}o" link set qvd1 up
ip netns exec "$NS" python3 "$QV_ROOT/tests/faults/discovery_peer.py" capture qvl0 25 >"$WORK/capture"
check "a sweep within 25 s of a new adapter ($(value first_sweep_addresses) addresses)" \
  [ "$(value first_sweep_addresses)" -gt 0 ]
finish
