#!/usr/bin/env bash
# Names that are no regular file: a FIFO and a device node in the store under the names
# of incoming files, and the same inside a folder that is sent. Opening either would
# block or reach a device; the receiver refuses them and the sender leaves them out, each
# goes on, and the regular file beside them arrives whole.
source "$(dirname "$0")/lib.sh"

rx_start
good_transfer "warm-up"
take_baseline

# --- In the store: "pipe" and "null" already exist there as a FIFO and a device.
mkdir -p "$WORK/src/kinds" "$STORE/kinds"
for name in pipe null ok.txt; do printf 'content of %s' "$name" >"$WORK/src/kinds/$name"; done
mkfifo "$STORE/kinds/pipe"
mknod "$STORE/kinds/null" c 1 3
rx_mark
rc=0
timeout 20 ip netns exec "$TX_NS" "$CLI" send "$RX_ADDR" "$WORK/src/kinds" >/dev/null 2>>"$WORK/tx.err" || rc=$?
expect_eq "the sender learns that the receiver did not take it all (exit status)" 4 "$rc"
expect_result "a FIFO and a device in the store" "Some files were not received." 10
[ -p "$STORE/kinds/pipe" ] && [ -c "$STORE/kinds/null" ] && ok "both are left as they were" || fail "the FIFO or the device was replaced"
cmp -s "$WORK/src/kinds/ok.txt" "$STORE/kinds/ok.txt" && ok "the regular file beside them arrived" || fail "ok.txt differs"
after_fault "a FIFO and a device in the store"

# --- In a folder that is sent: the sender leaves them out and says so.
mkdir -p "$WORK/src/sent"
mkfifo "$WORK/src/sent/pipe"
mknod "$WORK/src/sent/null" c 1 3
printf 'regular' >"$WORK/src/sent/ok.txt"
rx_mark
rc=0
timeout 20 ip netns exec "$TX_NS" "$CLI" send "$RX_ADDR" "$WORK/src/sent" >/dev/null 2>>"$WORK/tx.err" || rc=$?
expect_eq "the sender ends and reports what it left out" 1 "$rc"
expect_result "a FIFO and a device in a folder sent" "Some files were not received." 10
expect_eq "only the regular file arrived" "ok.txt" "$(ls "$STORE/sent")"
after_fault "a FIFO and a device in a folder sent"

finish
