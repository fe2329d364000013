#!/usr/bin/env bash
# 200 connections opened at once from one address, each writing its first line as a
# sender does: the receiver keeps the newest 8 waiting for the rest of their header (an
# address's share of the places, without a thread) and closes the 192 others at once; the
# ones kept still carry a whole transfer, and afterwards every thread and descriptor of
# the crowd is gone.
source "$(dirname "$0")/lib.sh"

rx_start
good_transfer "warm-up"
take_baseline

mkdir -p "$WORK/src/crowd"
head -c 65536 /dev/urandom >"$WORK/src/crowd/one.bin"
stream "$WORK/crowd.stream" crowd
rx_mark
counts="$(in_tx python3 "$PEER" crowd "$RX_ADDR" 2904 200 "$WORK/crowd.stream" 8)"
expect_eq "192 of 200 connections turned away, 8 kept waiting" "turned_away=192 admitted=8" "$counts"
expect_result "a kept connection's transfer" "Receiving complete." 10
cmp -s "$WORK/src/crowd/one.bin" "$STORE/crowd/one.bin" && ok "its file arrived byte-identical" || fail "its file differs"
after_fault "200 connections at once"

finish
