#!/usr/bin/env bash
# What `quorvalinthexa send` says is what the receiver did, across two hosts: a peer that
# reads every byte and closes is told apart from one that closes without reading, every
# time; and a receiver busy with a reception turns a second sender away, which then
# reports that its transfer was not taken (exit status 4), with nothing of it stored.
source "$(dirname "$0")/lib.sh"

ROUNDS="${QV_VERDICT_ROUNDS:-100}"
mkdir -p "$WORK/src/one"
printf 'one small file' >"$WORK/src/one/a.txt"

# sends_against HOW: ROUNDS sends to a peer that takes (or closes at once); prints the
# exit statuses, counted.
sends_against() {
  : >"$WORK/serve.out"  # the last round's "listening" must not start the sends early
  ip netns exec "$RX_NS" python3 "$PEER" serve 2904 "$ROUNDS" "$1" >"$WORK/serve.out" 2>&1 &
  local server=$! i rc
  hold "$server"
  wait_for_line "$WORK/serve.out" "listening" || fail "the peer did not listen"
  for i in $(seq "$ROUNDS"); do
    rc=0
    in_tx "$CLI" send "$RX_ADDR" "$WORK/src/one" >/dev/null 2>>"$WORK/tx.err" || rc=$?
    echo "$rc"
  done | sort | uniq -c | xargs
  wait "$server" || true
}
expect_eq "a peer that reads everything, then closes: complete every time" "$ROUNDS 0" "$(sends_against take)"
expect_eq "a peer that closes without reading: not taken every time" "$ROUNDS 4" "$(sends_against close)"

# --- A receiver busy with a slow reception that still makes progress (32 KiB a second
# for 8 s) turns others away.
rx_start
take_baseline
{ printf 'Version:3.0\nTotal:4194304\n\nType:file\nSize:4194304\nName:slow.bin\nDirectory:/\n\n'; head -c 4194304 /dev/zero; } \
  >"$WORK/slow.stream"
rx_mark
in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$WORK/slow.stream" --upto 200 --then pace:8:32768 &
hold $!
wait_for_line "$WORK/rx.out" "^Receiving$" || fail "the slow reception did not start"
statuses="$(for i in $(seq 20); do
  rc=0
  in_tx "$CLI" send "$RX_ADDR" "$WORK/src/one" >/dev/null 2>>"$WORK/tx.err" || rc=$?
  echo "$rc"
done | sort | uniq -c | xargs)"
expect_eq "20 sends to a busy receiver: each told it was not taken" "20 4" "$statuses"
expect_eq "nothing of them was stored" "slow.bin" "$(ls "$STORE" | xargs)"
expect_result "the slow reception, cut when its sender closes" "Some files were not received." 20
after_fault "a busy receiver"

finish
