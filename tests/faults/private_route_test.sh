#!/usr/bin/env bash
# Which way a send goes, and that it says so. The receiver's namespace has three addresses:
# A1 (RX_ADDR) and A2, where the trusted computer r was met, and A3, where it never was.
#   moved          r met at A2, then at A1; at A2 a host resets port 2906: nothing goes
#                  there in the clear (as for a trusted computer that does not answer
#                  privately), --plain still sends, and its last line and history say
#                  "in the clear"
#   private_only   a plain-only peer at A3: --private-only writes nothing on 2904, alone or
#                  among several recipients; without it the send goes in the clear and says so
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
command -v iptables >/dev/null || skip "iptables is missing"
A2=10.213.0.11
A3=10.213.0.12
ip -n "$RX_NS" addr add "$A2/24" dev "$RX_IF"
ip -n "$RX_NS" addr add "$A3/24" dev "$RX_IF"

# fresh NAME: a new file to send, $FILE.
fresh() {
  mkdir -p "$WORK/src"
  FILE="$WORK/src/$1.txt"
  echo "$1" >"$FILE"
}
stored() { test -e "$STORE/$(basename "$FILE")"; }
last_line() { tail -n1 "$WORK/tx.out"; }
# The sender's newest history entry: "door encrypted outcome".
last_history() {
  as s "$CLI" history --json --limit 1 |
    python3 -c 'import json,sys; e=json.loads(sys.stdin.read())[0]; print(e["door"], e["encrypted"], e["outcome"])'
}
# SYN packets that reached port 2904 at ADDR since the rule went in.
syns_at() { ip netns exec "$RX_NS" iptables -vnxL INPUT | awk -v a="$1" '$0 ~ "dpt:2904" && $0 ~ a { print $1 }'; }

case_moved() {
  as r "$CLI" trust "$(id_of s)" sender-s >/dev/null
  as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
  receive_as r
  for at in "$A2" "$RX_ADDR"; do
    fresh "met-$at"
    send_as s "met at $at" 0 "$at" "$FILE"
    expect_result "met at $at" "Receiving complete. (encrypted, from sender-s)" 10
  done
  ip netns exec "$RX_NS" iptables -A INPUT -p tcp --dport 2906 -d "$A2" -j REJECT --reject-with tcp-reset
  fresh reset
  send_as s "2906 reset at A2" 5 "$A2" "$FILE"
  expect_said "2906 reset at A2: the sender says so" "$WORK/tx.err" \
    "The trusted computer at $A2 does not answer privately. Nothing was sent."
  check "2906 reset at A2: nothing stored" not stored
  send_as s "--plain at A2" 0 --plain "$A2" "$FILE"
  expect_result "--plain at A2" "Receiving complete." 10
  expect_eq "--plain at A2: the last line" "Transfer complete. (in the clear)" "$(last_line)"
  expect_eq "--plain at A2: the history entry" "transfer False complete" "$(last_history)"
  check "--plain at A2: the history's line says it" said <(as s "$CLI" history --limit 1) "port 2904, in the clear"
  rx_stop
}

case_private_only() {
  as m rx_start --private-port 0  # a plain-only peer: port 2906 refuses
  ip netns exec "$RX_NS" iptables -A INPUT -p tcp --syn --dport 2904 -d "$A3" -j ACCEPT
  fresh only
  send_as s "--private-only to A3" 5 --private-only "$A3" "$FILE"
  expect_said "--private-only to A3: the sender says why" "$WORK/tx.err" \
    "Nothing was sent to $A3: only encrypted sending is on"
  send_as s "--private-only to A3 and A2" 6 --private-only "$A3,$A2" "$FILE"
  expect_said "--private-only to several: A3's line" "$WORK/tx.out" \
    "$A3: did not take the transfer: Nothing was sent to $A3: only encrypted sending is on"
  expect_eq "--private-only: no connection to 2904 at A3" 0 "$(syns_at "$A3")"
  check "--private-only: nothing stored" not stored
  send_as s "a phone at A3" 0 "$A3" "$FILE"
  expect_result "a phone at A3" "Receiving complete." 10
  expect_eq "a phone at A3: the last line" "Transfer complete. (in the clear)" "$(last_line)"
  expect_eq "a phone at A3: the history entry" "transfer False complete" "$(last_history)"
  send_as s "--plain --private-only" 2 --plain --private-only "$A3" "$FILE"
  rx_stop
}

for name in moved private_only; do
  echo "== $name"
  "case_$name"
done
finish
