#!/usr/bin/env bash
# Trusted computers sending to one receiver at once, each sender a copy of its own (s1..s3)
# in a namespace of its own, linked to the receiver's namespace at 80 Mbit/s:
#   together   three send 12 MiB each at once while a stranger holds port 2904's one
#              reception with a file it never ends: none is turned away, each arrives
#              byte-exact, each has its own progress lines, named for its sender, the three
#              run side by side, and the history has one entry for each
#   same_name  a sender on port 2904 writes a name slowly while a trusted one sends the same
#              name: the trusted one waits for the name and takes it only after, whole
#   stop       three at once beside the stranger, then the receiver's Stop: each ends
#              canceled, short, and recorded as canceled; no file takes its name
#   stranger_name  port 2904 writes a name slowly, above the floor, for longer than a name is
#              waited for, while a trusted one sends it: once its wait is over the trusted
#              one pushes the stranger out, as from the one reception, and takes the name
#   questions  a side reception asks about a name already there when a stranger's question
#              would come: the stranger's waits for the answer, so each takes its own
# A trusted computer takes the one reception when nobody holds it, as before (the other
# faults tests show that), and a side place while somebody does.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
command -v tc >/dev/null || skip "tc is missing"

SENDERS=(1 2 3)
trap 'for i in "${SENDERS[@]}"; do ip netns del "qvf$$s$i" 2>/dev/null || true; done; cleanup' EXIT
for i in "${SENDERS[@]}"; do
  netns_add "qvf$$s$i"
  veth_join "$RX_NS" "qvf$$a$i" "10.214.$i.1" "qvf$$s$i" "qvf$$b$i" "10.214.$i.2"
  ip netns exec "qvf$$s$i" tc qdisc add dev "qvf$$b$i" root tbf rate 80mbit burst 64kb latency 400ms
done
# The stranger's link, slower still: its send on port 2904 takes seconds.
ip netns exec "$TX_NS" tc qdisc add dev "$TX_IF" root tbf rate 16mbit burst 32kb latency 400ms

# send_from I WHAT FILE...: copy sI sends to the receiver in the background; its lines in
# $WORK/sI.out, its exit status in $WORK/sI.rc once it ends.
send_from() {
  local i="$1"
  shift
  rm -f "$WORK/s$i.rc"
  (
    rc=0
    as "s$i" ip netns exec "qvf$$s$i" "$CLI" send ${SEND_OPTIONS:-} "10.214.$i.1" "$@" >"$WORK/s$i.out" 2>&1 || rc=$?
    echo "$rc" >"$WORK/s$i.rc"
  ) &
  hold $!
}
sent() { for i in "$@"; do [ -e "$WORK/s$i.rc" ] || return 1; done; }
# line_of PATTERN: the number of the receiver's first line that holds PATTERN (0: none).
line_of() { grep -nF -m1 -- "$1" "$WORK/rx.out" | cut -d: -f1 || true; }
# history_of: the receiver's entries as "peer outcome" lines, sorted.
history_of() {
  as r "$CLI" history --json | python3 -c '
import json, sys
for e in sorted(json.load(sys.stdin), key=lambda e: e["peer"]):
    print(e["peer"], e["outcome"])'
}

for i in "${SENDERS[@]}"; do
  as r "$CLI" trust "$(id_of "s$i")" "sender-s$i" >/dev/null
  as "s$i" "$CLI" trust "$(id_of r)" receiver-r >/dev/null
  mkdir -p "$WORK/src/s$i"
  head -c $((12 * 1024 * 1024)) /dev/urandom >"$WORK/src/s$i/part$i.bin"
done
receive_as r --no-discovery

# stranger_holds WHAT: a stranger holds port 2904's one reception with a file it never ends.
stranger_holds() {
  in_tx python3 "$QV_ROOT/tests/faults/crowding_doors.py" "$RX_ADDR" 2904 nearend 1 "$TX_ADDR" >"$WORK/crowd.out" 2>&1 &
  CROWD_PID=$!
  hold "$CROWD_PID"
  wait_for_line "$WORK/crowd.out" crowding || fail "$1: the stranger did not start"
  wait_until 50 test -e "$STORE/near.bin" || fail "$1: the stranger holds no reception"
}
# stranger_ends: the stranger's program (a child of the function's subshell) ends.
stranger_ends() {
  pkill -P "$CROWD_PID" 2>/dev/null || true
  kill "$CROWD_PID" 2>/dev/null || true
  wait "$CROWD_PID" 2>/dev/null || true
}

# together
stranger_holds together
for i in "${SENDERS[@]}"; do send_from "$i" "$WORK/src/s$i/part$i.bin"; done
# Side by side: the three senders' partial files grow in the store at once.
partials() { [ "$(find "$STORE" -maxdepth 1 -name '.*' -type f | wc -l)" -ge "$1" ]; }
check "together: the three are received at once" wait_until 200 partials 3
wait_until 600 sent "${SENDERS[@]}" || fail "together: the senders did not end"
for i in "${SENDERS[@]}"; do
  expect_eq "together: s$i's exit status" 0 "$(cat "$WORK/s$i.rc" 2>/dev/null)"
  check "together: s$i was not turned away" not said "$WORK/s$i.out" "did not take the transfer"
  check "together: s$i's file arrived byte-exact" cmp -s "$WORK/src/s$i/part$i.bin" "$STORE/part$i.bin"
  check "together: s$i's start names it and its size" grep -qxF "Receiving from sender-s$i (encrypted)... (part$i.bin, 12 mB)" "$WORK/rx.out"
  check "together: s$i's progress lines name it" grep -qxF "Receiving from sender-s$i: 50%" "$WORK/rx.out"
  check "together: s$i's result names it" grep -qxF "Receiving complete. (encrypted, from sender-s$i)" "$WORK/rx.out"
done
# Every sender's row started before the first of them ended.
first_end="$(grep -n -m1 -E '^Receiving complete\. \(encrypted, from sender-s' "$WORK/rx.out" | cut -d: -f1 || true)"
for i in "${SENDERS[@]}"; do
  started="$(line_of "Receiving from sender-s$i (encrypted)... (part$i.bin, 12 mB)")"
  check "together: s$i started before the first one ended" test "${started:-0}" -gt 0 -a "${started:-0}" -lt "${first_end:-0}"
done
stranger_ends
rx_stop
expect_eq "together: one history entry per transfer" "sender-s1 complete
sender-s2 complete
sender-s3 complete" "$(history_of | grep '^sender-')"

# same_name: port 2904 writes same.bin for seconds; s1 sends same.bin meanwhile.
receive_as r --no-discovery
mkdir -p "$WORK/src/plain" "$WORK/src/s1same"
head -c $((8 * 1024 * 1024)) /dev/urandom >"$WORK/src/plain/same.bin"
head -c $((2 * 1024 * 1024)) /dev/urandom >"$WORK/src/s1same/same.bin"
(in_tx "$CLI" send --plain "$RX_ADDR" "$WORK/src/plain/same.bin" >"$WORK/plain.out" 2>&1; echo $? >"$WORK/plain.rc") &
hold $!
wait_until 100 test -s "$STORE/same.bin" || fail "same_name: the plain send did not start"
send_from 1 "$WORK/src/s1same/same.bin"
wait_until 600 sent 1 || fail "same_name: s1 did not end"
wait_until 600 test -e "$WORK/plain.rc" || fail "same_name: the plain send did not end"
expect_eq "same_name: the plain sender's exit status" 0 "$(cat "$WORK/plain.rc")"
expect_eq "same_name: s1's exit status" 0 "$(cat "$WORK/s1.rc")"
plain_end="$(grep -nx -m1 "Receiving complete." "$WORK/rx.out" | cut -d: -f1 || true)"
s1_end="$(line_of "Receiving complete. (encrypted, from sender-s1)")"
check "same_name: s1 took the name only after port 2904's file was whole" test "${plain_end:-0}" -gt 0 -a "${s1_end:-0}" -gt "${plain_end:-0}"
check "same_name: the name holds s1's content whole" cmp -s "$WORK/src/s1same/same.bin" "$STORE/same.bin"
expect_eq "same_name: no partial file is left" "" "$(find "$STORE" -name '.*' -type f)"
rx_stop

# stop: three at once beside the stranger, then the receiver's Stop.
receive_as r --no-discovery
stranger_holds stop
rm -f "$STORE"/part*.bin
for i in "${SENDERS[@]}"; do
  head -c $((40 * 1024 * 1024)) /dev/urandom >"$WORK/src/s$i/part$i.bin"
  SEND_OPTIONS="--retry-for 0" send_from "$i" "$WORK/src/s$i/part$i.bin"  # the receiver's end is no cut to go on from
done
for i in "${SENDERS[@]}"; do
  wait_for_line "$WORK/rx.out" "^Receiving from sender-s$i: 10%" 300 || fail "stop: s$i did not start"
done
rx_stop
wait_until 300 sent "${SENDERS[@]}" || fail "stop: the senders did not end"
for i in "${SENDERS[@]}"; do
  check "stop: s$i did not end well" test "$(cat "$WORK/s$i.rc")" != 0
  check "stop: s$i's row ended canceled" grep -qxF "Canceled. (encrypted, from sender-s$i)" "$WORK/rx.out"
  check "stop: s$i's file took no name" not test -e "$STORE/part$i.bin"
done
expect_eq "stop: one canceled entry per transfer" "sender-s1 canceled
sender-s2 canceled
sender-s3 canceled" "$(history_of | grep '^sender-.* canceled')"

# stranger_name: port 2904 writes same.bin over a slow link, above the floor, for far
# longer than a name is waited for; s1 sends same.bin meanwhile.
stranger_ends
receive_as r --no-discovery
ip netns exec "$TX_NS" tc qdisc change dev "$TX_IF" root tbf rate 160kbit burst 32kb latency 400ms
head -c $((1200 * 1024)) /dev/urandom >"$WORK/src/plain/same.bin"
rm -f "$WORK/plain.rc" "$STORE/same.bin"
(
  rc=0
  in_tx "$CLI" send --plain "$RX_ADDR" "$WORK/src/plain/same.bin" >"$WORK/plain.out" 2>&1 || rc=$?
  echo "$rc" >"$WORK/plain.rc"
) &
hold $!
wait_until 300 test -e "$STORE/same.bin" || fail "stranger_name: the plain send did not start"
send_from 1 "$WORK/src/s1same/same.bin"
wait_until 600 sent 1 || fail "stranger_name: s1 did not end"
expect_eq "stranger_name: s1's exit status" 0 "$(cat "$WORK/s1.rc")"
check "stranger_name: the name holds s1's content whole" cmp -s "$WORK/src/s1same/same.bin" "$STORE/same.bin"
wait_until 900 test -e "$WORK/plain.rc" || fail "stranger_name: the plain send did not end"
check "stranger_name: the stranger's send was cut" test "$(cat "$WORK/plain.rc")" != 0
rx_stop

# questions: s1 holds the one reception while s2's name question opens beside it; once s1
# is done a stranger comes, to be asked; the name question is answered, then the stranger's.
mkfifo "$WORK/tty"
RX_WRAP="python3 $QV_ROOT/tests/faults/tty_stdin.py $WORK/tty" receive_as r --no-discovery --existing ask --ask \
  --ask-seconds 50
mkdir -p "$WORK/src/s2ask"
printf new >"$WORK/src/s2ask/same.txt"
printf old >"$STORE/same.txt"
printf plain >"$WORK/src/plain/plain.txt"
send_from 1 "$WORK/src/s1/part1.bin"
wait_for_line "$WORK/rx.out" "^Receiving from sender-s1" || fail "questions: s1 did not start"
send_from 2 "$WORK/src/s2ask/same.txt"
wait_for_line "$WORK/rx.err" "ra/ka/sa for all" 200 || fail "questions: no name question"
wait_until 600 sent 1 || fail "questions: s1 did not end"
(
  rc=0
  in_tx "$CLI" send --plain "$RX_ADDR" "$WORK/src/plain/plain.txt" >"$WORK/plain.out" 2>&1 || rc=$?
  echo "$rc" >"$WORK/plain.rc"
) &
hold $!
# The receiver has read the stranger's header and record (at most the 5 bytes of content
# may wait; the sender may have ended its side): its question comes now, or waits its turn.
stranger_read() { ip netns exec "$RX_NS" ss -Htn '( sport = :2904 )' | grep -qE '^(ESTAB|CLOSE-WAIT) +[0-5] '; }
wait_until 100 stranger_read || fail "questions: the stranger did not come"
check "questions: the stranger is not asked while the name question is open" not said "$WORK/rx.err" "Accept?"
printf 'r\n' >"$WORK/tty"
wait_until 100 sent 2 || fail "questions: s2 did not end"
expect_eq "questions: the name question took its answer" new "$(cat "$STORE/same.txt")"
wait_for_line "$WORK/rx.err" "Accept\? \[y/N\]" || fail "questions: the stranger was not asked"
printf 'y\n' >"$WORK/tty"
# The plain sender may have ended long before its answer: the store tells when it is in.
holds_plain() { [ "$(cat "$STORE/plain.txt" 2>/dev/null)" = plain ]; }
wait_until 100 holds_plain || true
expect_eq "questions: the stranger's question took its answer" plain "$(cat "$STORE/plain.txt" 2>/dev/null)"
rx_stop
finish
