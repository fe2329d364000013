#!/usr/bin/env bash
# Whom discovery answers, and how much a flood of spoofed datagrams can cost it. The
# receiver takes part in discovery on its link to TX only; a second adapter of its own
# leads to another network (O). Every distinct ask of a peer gets its own hand-over, the
# same datagram heard twice gets one; nothing is handed to a host beyond the link, nor
# answered on the adapter not chosen; a source whose connections are dropped holds up
# no other answer, a flood of them starves neither a known peer nor a fresh request, and
# a flood from 250 such sources leaves the receiver reading its datagrams with bounded
# threads and memory.
source "$(dirname "$0")/lib.sh"
DPEER="$QV_ROOT/tests/faults/discovery_peer.py"
O_NS="qvf$$o"
PIDS=()
trap 'for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
      ip netns del "$O_NS" 2>/dev/null || true; cleanup' EXIT

netns_add "$O_NS"
veth_join "$RX_NS" qvf$$ro 10.215.0.1 "$O_NS" qvf$$o0 10.215.0.2
ip -n "$O_NS" route add 10.213.0.0/24 via 10.215.0.1
# A host beyond the link, reached through TX, and a source whose connections TX drops.
FAR=10.216.0.9 HOLE=10.213.0.66
ip -n "$TX_NS" addr add "$FAR/32" dev "$TX_IF"
ip -n "$RX_NS" route add 10.216.0.0/24 via "$TX_ADDR"
ip -n "$TX_NS" addr add "$HOLE/24" dev "$TX_IF"
in_tx iptables -A INPUT -p tcp --dport 2904 -d "$HOLE" -j DROP

rx_start --adapter "$RX_ADDR" --no-look-around

# asks NS OUT SECONDS STEP...: discovery_peer.py asks in NS, in the background.
asks() {
  : >"$WORK/$2"
  ip netns exec "$1" python3 "$DPEER" asks "$3" "${@:4}" >"$WORK/$2" 2>&1 &
  PIDS+=($!)
}
summary() { grep '^handovers' "$WORK/$1" | paste -sd'|'; }

# --- Whom it answers, and how often (all within half a second of each other).
asks "$O_NS" other.out 3 "10.215.0.2>10.215.0.1/request/901" "10.215.0.2>$RX_ADDR/request/902"
asks "$TX_NS" asks.out 3 "$TX_ADDR>$RX_ADDR/notify/801" "$TX_ADDR>$RX_ADDR/notify/802" \
  "$TX_ADDR>group/notify/801" "$FAR>$RX_ADDR/request/803"
wait_until 60 grep -q '^handovers' "$WORK/asks.out" || true
wait_until 20 grep -q '^handovers' "$WORK/other.out" || true
expect_eq "two notifies of two copies at one address get two hand-overs; one heard twice, one; none beyond the link" \
  "handovers $TX_ADDR 2" "$(summary asks.out)"
expect_eq "datagrams arriving on the adapter not chosen get no hand-over" "handovers none" "$(summary other.out)"

take_baseline  # with a recipient known: nothing announces any more

# --- A source whose connections are dropped: a real request 0.2 s later is answered
# while the connection towards it is still being tried.
asks "$TX_NS" hole.out 3 "$HOLE>$RX_ADDR/notify/811" pause=0.2 "$TX_ADDR>$RX_ADDR/request/812"
wait_for_line "$WORK/hole.out" "^handover $TX_ADDR" 150 || true
expect_eq "the answer to a real request does not wait for the dropped source" "$HOLE:2904" \
  "$(ip netns exec "$RX_NS" ss -Htn state syn-sent "dst $HOLE" | awk '{print $4}' | head -1)"

wait_until 50 grep -q '^handovers' "$WORK/hole.out" || true  # its listener is gone

# 250 sources whose connections are dropped, and FRESH, a peer not met before.
FRESH=10.213.0.253
for b in $(seq 3 253); do [ "$b" = 66 ] || echo "addr add 10.213.0.$b/24 dev $TX_IF"; done | ip -n "$TX_NS" -batch -
in_tx iptables -A INPUT -p tcp --dport 2904 -d "$FRESH" -j ACCEPT
in_tx iptables -A INPUT -p tcp --dport 2904 ! -d "$TX_ADDR" -j DROP

# --- While spoofed notifies from new dropped sources come 16 a second, a peer answered
# before and a fresh peer's request are both answered.
in_tx python3 "$DPEER" flood 220 3 222 "$RX_ADDR" 14 >/dev/null 2>&1 &
PIDS+=($!)
asks "$TX_NS" mid.out 11 pause=4 "$TX_ADDR>$RX_ADDR/notify/831" "$FRESH>$RX_ADDR/request/832"
wait_until 200 grep -q '^handovers' "$WORK/mid.out" || true
expect_eq "amid a spoofed flood, a known peer and a fresh request get their hand-overs" \
  "handovers $TX_ADDR 1|handovers $FRESH 1" "$(summary mid.out)"

# --- 2000 spoofed datagrams from 250 dropped sources: the receiver keeps reading them,
# its threads and memory stay bounded, and a real request is answered afterwards.
rx_status() { awk '/^VmRSS/ {r = $2} /^Threads/ {t = $2} END {print t, r}' "/proc/$RX_PID/status"; }
# Bytes waiting in the receiver's UDP sockets on port 2904 (0B58).
rx_queued() { ip netns exec "$RX_NS" ss -Huan 'sport = :2904' | awk '{n += $2} END {print n + 0}'; }
nothing_queued() { [ "$(rx_queued)" = 0 ]; }
read -r _ BEFORE_RSS < <(rx_status)
in_tx python3 "$DPEER" flood 2000 3 252 "$RX_ADDR" 2 >"$WORK/flood.out" 2>&1 &
FLOOD=$!
PIDS+=($FLOOD)
echo "during the flood: threads, RSS (kB), bytes queued on UDP 2904"
MOST_THREADS=0 MOST_RSS=0
while ! ended "$FLOOD"; do
  read -r threads rss < <(rx_status)
  echo "  $threads $rss $(rx_queued)"
  ((threads > MOST_THREADS)) && MOST_THREADS=$threads
  ((rss > MOST_RSS)) && MOST_RSS=$rss
  sleep 0.25
done
check "the receiver reads on through the flood (its UDP queue empties)" wait_until 30 nothing_queued
check "threads stay bounded in the flood (at most $BASE_TASKS + 10; most seen $MOST_THREADS)" \
  test "$MOST_THREADS" -le $((BASE_TASKS + 10))
check "memory stays bounded in the flood (RSS $BEFORE_RSS kB before, at most $MOST_RSS kB)" \
  test "$MOST_RSS" -le $((BEFORE_RSS + 32768))
asks "$TX_NS" after.out 25 "$TX_ADDR>$RX_ADDR/request/821"
check "a real request after the flood is answered" wait_for_line "$WORK/after.out" "^handover $TX_ADDR" 250
# The connections towards the dropped sources give up in their time; then all is idle.
idle() { [ "$(proc_counts)" = "$BASE_TASKS $BASE_FDS" ]; }
wait_until 300 idle || true
after_fault "the spoofed flood"
finish
