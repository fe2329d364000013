#!/usr/bin/env bash
# The receiver's listener and its end: `quorvalinthexa discover` lists the receiver and
# nothing else (no source beyond the link, no address a record names); a connection that arrives while the receiver has no descriptor to spare
# waits and is received once there is one again; and the receiver ended (SIGTERM) in the
# middle of a file exits at once, leaves no process behind, keeps what came of a new
# file, and leaves a file that existed before as it was, with no temporary file beside it.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/ending.sh"

rx_start

# --- discover from the other namespace: the receiver's address, and only that, while
# the receiver's host also sends datagrams from beyond the link and an address record
# naming another host.
FAR=10.216.0.7
ip -n "$RX_NS" addr add "$FAR/32" dev "$RX_IF"
ip -n "$TX_NS" route add "$FAR/32" via "$RX_ADDR"
(sleep 0.5 && ip netns exec "$RX_NS" python3 "$(dirname "$0")/discovery_peer.py" lie "$TX_ADDR" "$FAR" 10.99.0.7) \
  >/dev/null 2>&1 &
expect_eq "discover lists the receiver and nothing else" "$RX_ADDR" \
  "$(in_tx "$CLI" discover --seconds 2 2>>"$WORK/tx.err" | xargs)"
good_transfer "warm-up"
sleep 1  # the receiver knows a recipient now: its announcer ends within a second
take_baseline

# --- Every descriptor taken: accept fails (EMFILE) until one is free again.
lowest_free_fd() {
  local n=0
  while [ -e "/proc/$RX_PID/fd/$n" ]; do n=$((n + 1)); done
  echo "$n"
}
read -r soft hard < <(prlimit --pid "$RX_PID" --nofile --output SOFT,HARD --noheadings)
mkdir -p "$WORK/src/waited"
printf 'sent while no descriptor was free' >"$WORK/src/waited/w.txt"
stream "$WORK/waited.stream" waited
rx_mark
prlimit --pid "$RX_PID" --nofile="$(lowest_free_fd):$hard"
# The accept that was already waiting had taken its descriptor before the limit: a probe
# (a connection that sends nothing) uses it up. Every accept after it fails.
: >"$WORK/probe.stream"
in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$WORK/probe.stream"
in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$WORK/waited.stream"
expect_eq "nothing is received while no descriptor is free" "" "$(rx_result 1)"
prlimit --pid "$RX_PID" --nofile="$soft:$hard"
expect_result "the connection that waited" "Receiving complete." 10
cmp -s "$WORK/src/waited/w.txt" "$STORE/waited/w.txt" && ok "its file arrived whole" || fail "its file differs"
after_fault "no descriptor free for a while"

# --- Ending the receiver in the middle of a file (run END WHAT ITEM FILE).
end_in_the_middle() {
  local what="$1" item="$2" file="$3" sender rc
  rx_mark
  in_tx "$CLI" send "$RX_ADDR" "$WORK/src/$item" >/dev/null 2>>"$WORK/tx.err" &
  sender=$!
  for _ in $(seq 100); do grep -q '^Receiving$' <(tail -n +$((MARK + 1)) "$WORK/rx.out") && break; sleep 0.05; done
  [ -n "$file" ] && wait_until 50 test -s "$file"
  sleep 0.5
  kill -TERM "$RX_PID"
  expect_gone "$what" "$RX_PID"
  rc=0
  wait "$RX_PID" || rc=$?
  expect_eq "$what: exit status" "0" "$rc"
  RX_PID=""
  expect_no_process_in "$what" "$RX_NS" "$CLI"
  wait "$sender" || true
}
slow_link "$TX_NS" "$TX_IF"
make_ending_sources
end_in_the_middle "ended while writing a new file" fresh "$STORE/fresh/new.bin"
expect_cut_new_file "ended while writing a new file" "$WORK/src/fresh/new.bin" "$STORE/fresh/new.bin"

rx_start
make_old_file "$STORE"
end_in_the_middle "ended while replacing a file" kept ""
expect_old_file_kept "ended while replacing a file" "$WORK/old.before" "$STORE/kept" old.bin
fast_link "$TX_NS" "$TX_IF"

finish
