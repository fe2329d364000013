#!/usr/bin/env bash
# What works between two computers, both ways (discover --check), case by case (CASES):
#   ways     s checks r, a trusted computer running a receiver: each row's firewall rule
#            (iptables in one namespace) gives the lines to it and from it that it names;
#            a dropped packet is no answer whichever side dropped it
#   hostile  CONNECT-BACK from a stranger's key is closed unanswered and nothing connects
#            back; a trusted key's is answered with one connect per port to its own
#            address, until its share of the minute is used; a longer line is unknown
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
command -v iptables >/dev/null || skip "iptables is missing"
command -v tcpdump >/dev/null || skip "tcpdump is missing"
CASES=(ways hostile)

pair_both r s "pairing"
expect_eq "pairing: paired" 0 "$PAIR_RC"
as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null

# check_lines: s's check, the lines about r after its name.
check_lines() { as s in_tx "$CLI" discover --check 2>/dev/null | sed -n '/receiver-r (trusted) at/,$p'; }

WORKS="port 2904 works"
PROVEN="port 2906 works, its key proves it is that computer"
UNKNOWN="port 2904 unknown (its copy cannot be asked); port 2906 unknown (its copy cannot be asked)"

# Each row: what | namespace of the rule ("" for none) | rule | to it | from it.
ROWS=(
  "open||| $WORKS; $PROVEN| $WORKS; port 2906 works"
  "r drops 2906 in|$RX_NS|INPUT -p tcp --dport 2906 -j DROP| $WORKS; port 2906: no answer| $UNKNOWN"
  "s keeps 2906 in|$TX_NS|OUTPUT -p tcp --dport 2906 -j DROP| $WORKS; port 2906: no answer| $UNKNOWN"
  "s drops 2906 in|$TX_NS|INPUT -p tcp --dport 2906 -j DROP| $WORKS; $PROVEN| $WORKS; port 2906: no answer"
  "r keeps 2906 in|$RX_NS|OUTPUT -p tcp --dport 2906 -j DROP| $WORKS; $PROVEN| $WORKS; port 2906: no answer"
)

case_ways() {
  local row what ns rule to from lines
  receive_as r
  for row in "${ROWS[@]}"; do
    IFS='|' read -r what ns rule to from <<<"$row"
    [ -n "$ns" ] && ip netns exec "$ns" iptables -A $rule
    lines="$(check_lines)"
    expect_eq "$what: to it" "    to it:$to" "$(sed -n 2p <<<"$lines")"
    expect_eq "$what: from it" "    from it:$from" "$(sed -n 3p <<<"$lines")"
    [ -n "$ns" ] && ip netns exec "$ns" iptables -D $rule
  done
  rx_stop
  lines="$(check_lines)"
  expect_eq "nothing listens: to it" \
    "    to it: port 2904 refused (nothing listens there); port 2906 refused (nothing listens there)" \
    "$(sed -n 2p <<<"$lines")"
  expect_eq "nothing listens: from it" "    from it: $UNKNOWN" "$(sed -n 3p <<<"$lines")"
}

# ask COPY LINE: the receiver's answer to COPY's key writing "QVP/1 LINE\n" ("" when none).
ask() {
  : >"$WORK/empty"
  in_tx python3 "$QV_ROOT/tests/faults/old_private_sender.py" "$RX_ADDR" 2906 \
    "$WORK/$1/config/quorvalinthexa/identity.pem" "$WORK/$1/config/quorvalinthexa/identity.pem" \
    "$WORK/empty" "$2" | tr -d '\n' || true
}
# backs FILE PORT: how many connects from r to s's PORT the capture saw.
backs() { grep -caE "$RX_ADDR\.[0-9]+ > $TX_ADDR\.$2: Flags \[S\]" "$1" || true; }

case_hostile() {
  local i answers=""
  id_of m >/dev/null  # a key r never paired with
  receive_as r
  capture "$WORK/stranger.cap" eval 'STRANGER="$(ask m CONNECT-BACK)"'
  expect_eq "a stranger's request: no answer" "" "$STRANGER"
  expect_eq "a stranger's request: nothing connects back" "0 0" \
    "$(backs "$WORK/stranger.cap" 2904) $(backs "$WORK/stranger.cap" 2906)"
  capture "$WORK/trusted.cap" eval 'TRUSTED="$(ask s CONNECT-BACK)"'
  expect_eq "a trusted key's request: answered" "QVP/1 REACHED refused refused" "$TRUSTED"
  expect_eq "a trusted key's request: one connect back per port" "1 1" \
    "$(backs "$WORK/trusted.cap" 2904) $(backs "$WORK/trusted.cap" 2906)"
  expect_eq "CONNECT-BACK with more on its line: no answer" "" "$(ask s "CONNECT-BACK $TX_ADDR")"
  for i in 1 2 3 4 5 6; do answers+="$([ -n "$(ask s CONNECT-BACK)" ] && echo y || echo n)"; done
  expect_eq "a trusted key's share of the minute, then nothing" "yyyyyn" "$answers"
  rx_stop
}

for name in "${CASES[@]}"; do
  echo "== $name"
  "case_$name"
done
finish
