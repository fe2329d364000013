#!/usr/bin/env bash
# Sends in a row, each started as soon as the one before it has exited, as a script that
# sends folder after folder does. A sender exits only once the receiver has taken its
# whole stream and closed, so the next one always finds the receiver free. Every send
# completes, and every tree arrives whole. QV_BACK_TO_BACK_ROUNDS sets how many (40).
source "$(dirname "$0")/lib.sh"

ROUNDS="${QV_BACK_TO_BACK_ROUNDS:-40}"
rx_start
take_baseline
# 50 files per send, one of 4 MiB, over a link slowed to 25 MB/s: without the wait for
# the receiver's close, a sender would exit with a tail of its stream still in flight.
in_tx tc qdisc add dev "$TX_IF" root tbf rate 200mbit burst 256kbit latency 50ms
head -c 4194304 /dev/urandom >"$WORK/big.bin"
mkdir -p "$WORK/row"
for f in $(seq 49); do printf 'file %s' "$f" >"$WORK/row/f$f.txt"; done
for i in $(seq "$ROUNDS"); do
  mkdir -p "$WORK/src/row$i"
  ln "$WORK/row/"*.txt "$WORK/src/row$i/"
  ln "$WORK/big.bin" "$WORK/src/row$i/big.bin"
done
rx_mark
failed=0
for i in $(seq "$ROUNDS"); do
  in_tx "$CLI" send "$RX_ADDR" "$WORK/src/row$i" >/dev/null 2>>"$WORK/tx.err" || failed=$((failed + 1))
done
expect_eq "$ROUNDS sends in a row: none failed" 0 "$failed"
completed() { tail -n +$((MARK + 1)) "$WORK/rx.out" | grep -cx 'Receiving complete\.'; }
for _ in $(seq 100); do [ "$(completed)" -ge "$ROUNDS" ] && break; sleep 0.1; done
expect_eq "$ROUNDS receptions complete" "$ROUNDS" "$(completed)"
differ=0
for i in $(seq "$ROUNDS"); do diff -r "$WORK/src/row$i" "$STORE/row$i" >/dev/null || differ=$((differ + 1)); done
expect_eq "every tree arrived byte-identical" 0 "$differ"
in_tx tc qdisc del dev "$TX_IF" root
after_fault "$ROUNDS sends in a row"

finish
