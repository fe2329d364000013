#!/usr/bin/env bash
# A send to two recipients on loopback addresses, one of which takes all at once while the
# other reads 8 KiB every 20 seconds: the first one's line comes as it ends, while the
# second still holds its connection; the second is given up below the floor of progress
# with its own line and exit status 7, and the sender's history has each ending (the
# slow one as a refusal, with its reason).
source "$(dirname "$0")/lib.sh"
FAST=127.0.0.1
SLOW=127.0.0.2
mkdir -p "$WORK/src"
head -c $((16 * 1024 * 1024)) /dev/urandom >"$WORK/src/big.bin"

# Both recipients on one port: one that reads to the end and closes (taking the transfer),
# and one that trickles.
: >"$WORK/peers.out"
python3 - "$FAST" "$SLOW" >"$WORK/peers.out" 2>&1 <<'PY' &
import socket, sys, threading, time
fast, slow = sys.argv[1], sys.argv[2]

def listener(address, port):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, port))
    s.listen(1)
    return s

first = listener(fast, 0)
port = first.getsockname()[1]
second = listener(slow, port)
print("port", port, flush=True)

def take(s):
    c, _ = s.accept()
    while c.recv(1 << 20):
        pass
    c.close()

def trickle(s):
    c, _ = s.accept()
    c.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8192)
    while c.recv(8192):
        time.sleep(20)
    c.close()

threading.Thread(target=take, args=(first,)).start()
trickle(second)
PY
PEERS_PID=$!
trap 'stop_peer "$PEERS_PID"; stop_peer "${SEND_PID:-}"; cleanup' EXIT
wait_for_line "$WORK/peers.out" "^port [0-9]+$" || { fail "no peers: $(cat "$WORK/peers.out")"; finish; }
PORT="$(sed -n 's/^port //p' "$WORK/peers.out")"

"$CLI" send --port "$PORT" "$FAST,$SLOW" "$WORK/src/big.bin" >"$WORK/tx.out" 2>"$WORK/tx.err" &
SEND_PID=$!
wait_for_line "$WORK/tx.out" "^$FAST: took the transfer" 300 || fail "no line for the recipient that took it all"
check "that line came while the slow recipient still held the send" kill -0 "$SEND_PID"
wait_until 900 ended "$SEND_PID" || fail "the send never ended"
status=0
wait "$SEND_PID" || status=$?
SEND_PID=""
expect_eq "exit status" 7 "$status"
expect_eq "the slow recipient's line" \
  "$SLOW: did not take the transfer: Too slow: it took less than 64 KiB in 30 seconds, so it was given up." \
  "$(grep "^$SLOW:" "$WORK/tx.out")"
expect_eq "the sender's history" "$FAST complete |$SLOW refused Too slow" "$("$CLI" history --json | python3 -c '
import json, sys
print("|".join(sorted("%s %s %s" % (e["address"], e["outcome"], e["reason"][:8]) for e in json.load(sys.stdin))))')"
finish
