#!/usr/bin/env bash
# Forty sends in a row, each started as soon as the one before it has exited, as a
# script that sends file after file does. A sender exits once its last bytes are on
# their way, so the receiver is often still taking them when the next connection
# arrives: that connection waits for the ending reception instead of being turned away.
# Every send completes, and every tree arrives whole.
source "$(dirname "$0")/lib.sh"

rx_start
take_baseline
# 4 MiB per send over a link slowed to 25 MB/s: a sender exits with a tail of its
# stream still in flight for a fraction of a second.
in_tx tc qdisc add dev "$TX_IF" root tbf rate 200mbit burst 256kbit latency 50ms
head -c 4194304 /dev/urandom >"$WORK/big.bin"
for i in $(seq 40); do
  mkdir -p "$WORK/src/row$i"
  printf 'row %s' "$i" >"$WORK/src/row$i/a.txt"
  ln "$WORK/big.bin" "$WORK/src/row$i/big.bin"
done
rx_mark
failed=0
for i in $(seq 40); do
  in_tx "$CLI" send "$RX_ADDR" "$WORK/src/row$i" >/dev/null 2>>"$WORK/tx.err" || failed=$((failed + 1))
done
expect_eq "40 sends in a row: none failed" 0 "$failed"
completed() { tail -n +$((MARK + 1)) "$WORK/rx.out" | grep -cx 'Receiving complete\.'; }
for _ in $(seq 100); do [ "$(completed)" -ge 40 ] && break; sleep 0.1; done
expect_eq "40 receptions complete" 40 "$(completed)"
differ=0
for i in $(seq 40); do diff -r "$WORK/src/row$i" "$STORE/row$i" >/dev/null || differ=$((differ + 1)); done
expect_eq "every tree arrived byte-identical" 0 "$differ"
in_tx tc qdisc del dev "$TX_IF" root
after_fault "40 sends in a row"

finish
