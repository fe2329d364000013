#!/usr/bin/env bash
# 200 connections opened at once, each writing its first line as a sender does: the
# receiver admits one and closes the 199 others at once; the admitted one still carries a
# whole transfer, and afterwards every thread and descriptor of the crowd is gone.
source "$(dirname "$0")/lib.sh"

rx_start
good_transfer "warm-up"
take_baseline

mkdir -p "$WORK/src/crowd"
head -c 65536 /dev/urandom >"$WORK/src/crowd/one.bin"
stream "$WORK/crowd.stream" crowd
rx_mark
counts="$(in_tx python3 "$PEER" crowd "$RX_ADDR" 2904 200 "$WORK/crowd.stream")"
expect_eq "199 of 200 connections turned away, one admitted" "turned_away=199 admitted=1" "$counts"
expect_result "the admitted connection's transfer" "Receiving complete." 10
cmp -s "$WORK/src/crowd/one.bin" "$STORE/crowd/one.bin" && ok "its file arrived byte-identical" || fail "its file differs"
after_fault "200 connections at once"

finish
