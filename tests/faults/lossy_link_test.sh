#!/usr/bin/env bash
# A transfer over a link that loses 5% of the packets in each direction, delays the
# others by 20 ms each way and carries 768 kbit/s from the sender still arrives
# byte-identical and complete, and no block of it is cut by the header blocks' deadline.
# It comes right after a peer that trickled its connection header over the same link (a
# byte every 2 s, well within the stall limit) was cut at that deadline.
source "$(dirname "$0")/lib.sh"
[ -c /dev/net/tun ] || skip "no /dev/net/tun for the lossy link"

rx_start --stall-seconds 30
good_transfer "warm-up"
take_baseline

python3 "$QV_ROOT/tests/faults/lossy_link.py" "$RX_NS" "qvl$$r" "$TX_NS" "qvl$$t" 0.05 20 >"$WORK/link.out" 2>&1 &
link=$!
hold "$link"
wait_for_line "$WORK/link.out" ready 50 || { fail "the lossy link did not start: $(cat "$WORK/link.out")"; finish; }
link_up "$RX_NS" "qvl$$r" 10.213.1.1 "$TX_NS" "qvl$$t" 10.213.1.2
# Slow enough that the transfer lasts longer than a header block may take.
in_tx tc qdisc add dev "qvl$$t" root tbf rate 768kbit burst 16kbit latency 1s

mkdir -p "$WORK/src/lossy/folder/inner"
head -c 1048576 /dev/urandom >"$WORK/src/lossy/folder/big.bin"
for i in 1 2 3 4 5; do head -c $((i * 3000)) /dev/urandom >"$WORK/src/lossy/folder/inner/small$i.bin"; done
: >"$WORK/src/lossy/empty.txt"
boxes="$(grep -c "Sender using old version" "$WORK/rx.err" || true)"
printf 'Version:3.0\nTotal:0\n\n' >"$WORK/trickle.stream"
trickle="$(in_tx python3 "$PEER" send 10.213.1.1 2904 "$WORK/trickle.stream" --upto 0 --then drip:40:2)"
[[ "$trickle" == *cut ]] && ok "the trickled header was cut: $trickle" || fail "it held the reception: $trickle"
expect_eq "no old-version box for it" "$boxes" "$(grep -c "Sender using old version" "$WORK/rx.err" || true)"
rx_mark
start=$SECONDS
in_tx "$CLI" send 10.213.1.1 "$WORK/src/lossy" >/dev/null 2>>"$WORK/tx.err" || fail "the sender failed"
expect_result "transfer over a lossy, slow link" "Receiving complete." 60
diff -r "$WORK/src/lossy" "$STORE/lossy" >/dev/null && ok "it arrived byte-identical in $((SECONDS - start))s" ||
  fail "the tree differs"
stop_peer "$link"
stats="$(tail -n 1 "$WORK/link.out")"
echo "link: $stats"
dropped="${stats##*dropped=}"
[ "${dropped:-0}" -gt 0 ] && ok "the link lost packets on the way" || fail "the link lost nothing: $stats"
after_fault "lossy link"

finish
