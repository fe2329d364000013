#!/usr/bin/env bash
# A share of the history per address, over port 2904 on loopback: one address that sends
# one-byte transfers without end (each one a real, complete transfer) trims its own oldest
# entries once the history is full, never those of the other addresses.
source "$(dirname "$0")/lib.sh"
LIMIT=20
"$CLI" history --keep "$LIMIT" >/dev/null
mkdir -p "$WORK/store"
: >"$WORK/rx.err"
"$CLI" receive --no-discovery --store "$WORK/store" --port 0 >"$WORK/rx.out" 2>"$WORK/rx.err" &
RX_PID=$!
wait_for_line "$WORK/rx.err" "listening on TCP port [0-9]+," || { fail "no receiver: $(cat "$WORK/rx.err")"; finish; }
PORT="$(sed -n 's/.*listening on TCP port \([0-9]*\),.*/\1/p' "$WORK/rx.err")"

# send_from ADDRESS NAME...: a one-byte file per name from that loopback address, each
# connection read to its end (the receiver closes it once the file is stored).
send_from() {
  python3 - "$PORT" "$@" <<'PY'
import socket, sys
port, source, names = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
for name in names:
    s = socket.create_connection(("127.0.0.1", port), timeout=10, source_address=(source, 0))
    s.sendall(("Version:3.0\nTotal:1\n\nType:file\nSize:1\nName:%s\nDirectory:/\n\nx" % name).encode())
    s.shutdown(socket.SHUT_WR)
    while s.recv(4096):
        pass
    s.close()
PY
}
# entries ADDRESS: how many entries the history keeps of that address.
entries() { "$CLI" history --json | python3 -c 'import json, sys; print(sum(e["address"] == sys.argv[1] for e in json.load(sys.stdin)))' "$1"; }
has_name() { grep -q "\"$1\"" <<<"$("$CLI" history --json)"; }

send_from 127.0.0.1 real-a1 real-a2 real-a3
send_from 127.0.0.3 real-b1 real-b2
flood=()
for ((i = 0; i < 3 * LIMIT; i++)); do flood+=("flood-$i"); done
send_from 127.0.0.2 "${flood[@]}"
wait_until 100 has_name "flood-$((3 * LIMIT - 1))" || fail "the last flooded entry never reached the history"

expect_eq "the first address keeps its entries" 3 "$(entries 127.0.0.1)"
expect_eq "the second address keeps its entries" 2 "$(entries 127.0.0.3)"
expect_eq "the flooding address has the rest of the history" $((LIMIT - 5)) "$(entries 127.0.0.2)"
check "the flood lost its oldest entries first" has_name "flood-$((3 * LIMIT - 1))"
finish
