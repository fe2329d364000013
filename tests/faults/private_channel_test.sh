#!/usr/bin/env bash
# The private channel between two copies in two namespaces, case by case (CASES below):
# each copy has its own identity and pinned list ($WORK/<copy>/), and a receiver's private
# channel listens on port 2906 beside 2904.
#   by_id          trusted both ways by ID: the send arrives, and a capture of the link
#                  holds neither the file's name nor its content
#   plain          the same with --plain: the capture shows both
#   changed_key    another key at the trusted computer's address: nothing is sent
#   proxy          a TLS proxy with its own key in front of each copy: both refuse to send
#   trusted_only   --trusted-only refuses an untrusted key and a 2904 sender, takes a
#                  trusted one; --ask takes a trusted one without a question, and
#                  takes back a stranger's open question for it
#   cut            the private stream cut in order at the TCP level (no close_notify):
#                  incomplete on both sides
#   crowd          silent connections hold at most 2 handshake places per source address;
#                  with 18 addresses crowding every place, a sender from another address
#                  still gets through (the crowd pushes out its own)
#   first_contact  an address no trusted computer was seen at, whose private port takes
#                  the connection but gives no session (crowded, or something else there),
#                  while the sender trusts computers: nothing is sent in the clear
#   pairing        pair --yes both sides: the same code, each key pinned on the other side
#   no_pairing     a receiver answers no pairing request, whatever waits on its input:
#                  nothing is pinned on either side
#   pairing_proxy  pairing through the TLS proxy: the two codes differ
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
command -v tcpdump >/dev/null || skip "tcpdump is missing"
command -v openssl >/dev/null || skip "openssl is missing"
CASES=(by_id plain changed_key proxy trusted_only cut crowd first_contact pairing no_pairing pairing_proxy)  # in order: each builds on the last
# A file whose name and content a capture of a private send must not show.
make_secret() {
  mkdir -p "$WORK/src"
  SECRET="$WORK/src/$1-name-Q7Z.txt"
  for _ in $(seq 2000); do echo "$1-content-marker-X9K"; done >"$SECRET"
}

case_by_id() {
  as r "$CLI" trust "$(id_of s)" sender-s >/dev/null
  as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
  receive_as r
  make_secret private
  capture "$WORK/private.cap" send_as s "by ID" 0 "$RX_ADDR" "$SECRET"
  expect_result "by ID" "Receiving complete. (encrypted, from sender-s)" 10
  check "by ID: the receiver named the trusted sender" said "$WORK/rx.out" "Receiving from sender-s (encrypted)..."
  check "by ID: the sender said it was encrypted" said "$WORK/tx.out" "Transfer complete. (encrypted, to receiver-r)"
  check "by ID: arrived whole" cmp -s "$SECRET" "$STORE/$(basename "$SECRET")"
  check "by ID: the capture saw the private port" seen "$WORK/private.cap" "$RX_ADDR.2906:"
  check "by ID: the capture holds no file name" not seen "$WORK/private.cap" "private-name-Q7Z"
  check "by ID: the capture holds no content" not seen "$WORK/private.cap" "private-content-marker"
}

case_plain() {
  make_secret plain
  capture "$WORK/plain.cap" send_as s "--plain" 0 --plain "$RX_ADDR" "$SECRET"
  expect_result "--plain" "Receiving complete." 10
  check "--plain: the capture shows the file name" seen "$WORK/plain.cap" "plain-name-Q7Z"
  check "--plain: the capture shows the content" seen "$WORK/plain.cap" "plain-content-marker"
  rx_stop
}

case_changed_key() {
  receive_as m  # another key at the trusted computer's last address
  make_secret changed
  send_as s "another key" 5 "$RX_ADDR" "$SECRET"
  expect_said "another key: the sender says so" "$WORK/tx.err" \
    "The computer at $RX_ADDR is trusted, but its key has changed. Nothing was sent."
  check "another key: nothing stored" test ! -e "$STORE/$(basename "$SECRET")"
  rx_stop
}

case_proxy() {
  openssl req -x509 -newkey ed25519 -nodes -subj /CN=proxy -days 1 -keyout "$WORK/proxy.key" \
    -out "$WORK/proxy.crt" 2>/dev/null
  receive_as r --private-port "$SIDE_PORT"
  proxy_start "$RX_NS" tls "$RX_ADDR" "$WORK/proxy.crt" "$WORK/proxy.key"
  make_secret proxied
  send_as s "proxy before r" 5 "$RX_ADDR" "$SECRET"
  expect_said "proxy before r: the sender refuses" "$WORK/tx.err" "key has changed. Nothing was sent."
  check "proxy before r: nothing stored" test ! -e "$STORE/$(basename "$SECRET")"
  stop_peer "$PROXY_PID"
  rx_stop
  # The other way: s receives behind a proxy, r sends.
  mkdir -p "$WORK/s-store"
  # Started without a shell function around it, so that $! is the receiver itself.
  XDG_CONFIG_HOME="$WORK/s/config" XDG_STATE_HOME="$WORK/s/state" ip netns exec "$TX_NS" "$CLI" receive \
    --no-discovery --private-port "$SIDE_PORT" --store "$WORK/s-store" >"$WORK/s-rx.out" 2>"$WORK/s-rx.err" &
  local s_rx=$!
  hold "$s_rx"
  wait_for_line "$WORK/s-rx.err" "private channel on TCP port" || fail "s's receiver did not start"
  proxy_start "$TX_NS" tls "$TX_ADDR" "$WORK/proxy.crt" "$WORK/proxy.key"
  local rc=0
  as r ip netns exec "$RX_NS" "$CLI" send "$TX_ADDR" "$SECRET" >/dev/null 2>"$WORK/r-tx.err" || rc=$?
  expect_eq "proxy before s: the sender's exit status" 5 "$rc"
  expect_said "proxy before s: the sender refuses" "$WORK/r-tx.err" "key has changed. Nothing was sent."
  check "proxy before s: nothing stored" test -z "$(ls -A "$WORK/s-store")"
  stop_peer "$PROXY_PID"
  stop_peer "$s_rx"
}

case_trusted_only() {
  as u "$CLI" trust "$(id_of r)" receiver-r >/dev/null  # u trusts r; r does not trust u
  receive_as r --trusted-only
  local refusal="Refused $TX_ADDR: not a trusted computer."
  make_secret untrusted
  send_as u "an untrusted key" 4 "$RX_ADDR" "$SECRET"
  expect_said "an untrusted key: the sender reads the refusal" "$WORK/tx.err" "$refusal"
  expect_said "an untrusted key: the receiver tells it" "$WORK/rx.err" "$refusal"
  : >"$WORK/rx.err"
  send_as s "a 3.0 sender" 4 --plain "$RX_ADDR" "$SECRET"
  wait_for_line "$WORK/rx.err" "not a trusted computer" 30
  expect_said "a 3.0 sender: the receiver refuses it" "$WORK/rx.err" "$refusal"
  check "refused: nothing stored" test ! -e "$STORE/$(basename "$SECRET")"
  rx_mark
  send_as s "trusted only: a trusted key" 0 "$RX_ADDR" "$SECRET"
  expect_result "trusted only: a trusted key" "Receiving complete. (encrypted, from sender-s)" 10
  rx_stop
  receive_as r --ask </dev/null  # no terminal: every untrusted sender is declined
  make_secret asked
  send_as s "--ask: a trusted key" 0 "$RX_ADDR" "$SECRET"
  expect_result "--ask: a trusted key stores without a question" "Receiving complete. (encrypted, from sender-s)" 10
  rx_stop
  # A stranger's open question does not keep a trusted computer out: it is taken back, and
  # the stranger is not taken for declined.
  mkfifo "$WORK/tty"
  RX_WRAP="python3 $QV_ROOT/tests/faults/tty_stdin.py $WORK/tty" receive_as r --ask --ask-seconds 50
  local stranger="$WORK/src/stranger-empty"  # nothing to store: still not taken
  mkdir -p "$stranger"
  (rc=0
    ip netns exec "$RX_NS" "$CLI" send 127.0.0.1 "$stranger" >/dev/null 2>"$WORK/stranger.err" || rc=$?
    echo "$rc" >"$WORK/stranger.rc") &
  local asked=$!
  wait_until 300 said "$WORK/rx.err" "Accept? [y/N]" || fail "the stranger was not asked about"
  make_secret withdrawn
  send_as s "--ask: a trusted key while a stranger is asked about" 0 "$RX_ADDR" "$SECRET"
  wait "$asked"
  expect_eq "the stranger's send: not taken" 4 "$(cat "$WORK/stranger.rc")"
  expect_result "the stranger's reception" "Some files were not received." 10
  check "the trusted key's reception" said "$WORK/rx.out" "Receiving complete. (encrypted, from sender-s)"
  check "the stranger's file: not stored" test ! -e "$STORE/$(basename "$stranger")"
  check "the stranger: not taken for declined" not said "$WORK/rx.err" "eclined"
  expect_said "the question says why it ended" "$WORK/rx.err" "Accept? [y/N] taken back: a trusted computer is sending"
  rx_stop
}

case_cut() {
  receive_as r --private-port "$SIDE_PORT"
  proxy_start "$RX_NS" cut "$RX_ADDR" 3000000
  mkdir -p "$WORK/src/cut"
  head -c 20000000 /dev/urandom >"$WORK/src/cut/big.bin"
  send_as s "cut" 4 --retry-for 0 "$RX_ADDR" "$WORK/src/cut"
  check "cut: the sender does not say complete" not said "$WORK/tx.out" "Transfer complete"
  expect_result "cut: the receiver" "Some files were not received. (encrypted, from sender-s)" 10
  stop_peer "$PROXY_PID"
  rx_stop
}

case_crowd() {
  receive_as r
  local crowd=() i
  for i in $(seq 3 20); do
    ip -n "$TX_NS" addr add "10.213.0.$i/24" dev "$TX_IF"
    crowd+=("10.213.0.$i")
  done
  # Silent connections, two from each of 18 addresses and a third from the first; they
  # are reopened as they are closed while the send below runs.
  ip netns exec "$TX_NS" python3 -c '
import socket, sys, time
def open_from(source):
    s = socket.socket()
    s.bind((source, 0))
    s.connect((sys.argv[1], 2906))
    return s
first = [open_from(sys.argv[2]) for _ in range(3)]
time.sleep(0.5)
def state(s):
    s.settimeout(0.2)
    try:
        return "closed" if s.recv(1) == b"" else "spoke"
    except ConnectionResetError:
        return "closed"
    except socket.timeout:
        return "open"
print(" ".join(state(s) for s in first), flush=True)
held = [open_from(a) for a in sys.argv[3:] for _ in range(2)]
end = time.time() + 10
while time.time() < end:
    for i, s in enumerate(held):
        if state(s) == "closed":
            s.close()
            held[i] = open_from(sys.argv[3 + i // 2])
' "$RX_ADDR" "${crowd[@]}" >"$WORK/crowd.out" 2>&1 &
  hold $!
  wait_for_line "$WORK/crowd.out" "." 50
  expect_eq "crowd: two places for one address, the third reset" "open open closed" "$(head -n1 "$WORK/crowd.out")"
  sleep 1
  make_secret crowd
  send_as s "crowd: a sender from another address" 0 "$RX_ADDR" "$SECRET"
  expect_result "crowd: a sender from another address" "Receiving complete. (encrypted, from sender-s)" 10
  rx_stop
}

case_first_contact() {
  local other=10.213.0.99
  ip -n "$RX_NS" addr add "$other/24" dev "$RX_IF"
  as m rx_start --private-port 0  # a plain receiver on port 2904 there
  ip netns exec "$RX_NS" python3 -c '
import socket, sys
s = socket.socket()
s.bind((sys.argv[1], 2906))
s.listen(8)
print("listening", flush=True)
while True:
    s.accept()[0].close()' "$other" >"$WORK/taker.out" 2>&1 &
  local taker=$!
  hold "$taker"
  wait_for_line "$WORK/taker.out" listening || fail "first contact: the port taker did not start"
  make_secret first
  send_as s "first contact" 5 "$other" "$SECRET"
  expect_said "first contact: the sender says so" "$WORK/tx.err" "does not answer privately. Nothing was sent."
  check "first contact: nothing stored" test ! -e "$STORE/$(basename "$SECRET")"
  stop_peer "$taker"
  rx_stop
}

case_no_pairing() {
  printf "y\n%.0s" {1..100} >"$WORK/yes.txt"
  receive_as r <"$WORK/yes.txt"  # even a "y" waiting on its input trusts nobody
  local rc=0
  as d in_tx "$CLI" pair --yes "$RX_ADDR" >"$WORK/d.pair" 2>&1 || rc=$?
  check "no pairing: the pair fails" test "$rc" != 0
  check "no pairing: no code was shown" not said "$WORK/d.pair" "Comparison code:"
  check "no pairing: r pinned nothing of d" not pinned r "$(id_of d)"
  check "no pairing: d pinned nothing of r" not pinned d "$(id_of r)"
  rx_stop
}

case_pairing() {
  pair_both a b "pairing"
  expect_eq "pairing: the exit status" 0 "$PAIR_RC"
  check "pairing: a six-digit code" grep -qxE '[0-9]{6}' <<<"$CODE_A"
  expect_eq "pairing: both show the same code" "$CODE_A" "$CODE_B"
  check "pairing: a pinned b's key" pinned a "$(id_of b)"
  check "pairing: b pinned a's key" pinned b "$(id_of a)"
}

case_pairing_proxy() {
  proxy_start "$RX_NS" tls "$RX_ADDR" "$WORK/proxy.crt" "$WORK/proxy.key"
  pair_both c d "through the proxy" "$SIDE_PORT"
  check "through the proxy: both show a code" test -n "$CODE_A" -a -n "$CODE_B"
  check "through the proxy: the codes differ" test "$CODE_A" != "$CODE_B"
  stop_peer "$PROXY_PID"
}

for name in "${CASES[@]}"; do
  echo "== $name"
  "case_$name"
done
finish
