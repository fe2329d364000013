#!/usr/bin/env bash
# Pairing against a man in the middle who does the best he can against the codes
# (pair_grinder.cpp): he learns the code of his session with the pairing copy, then, on
# his session with the waiting copy, commits to nothing and grinds his nonce after the
# waiting copy's until the two codes agree. Round after round the waiting copy finds the
# reveal unlike the commitment: it shows no code, pins nothing, and ends its waiting.
# QV_GRINDER_ROUNDS sets the pairings (default 3).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
GRINDER="$QV_NATIVE_BUILD/qv_pair_grinder"
[ -x "$GRINDER" ] || skip "no $GRINDER (make native)"
ROUNDS="${QV_GRINDER_ROUNDS:-3}"

ip netns exec "$RX_NS" "$GRINDER" "$RX_ADDR" 2906 "$RX_ADDR" "$SIDE_PORT" >"$WORK/grinder.out" 2>"$WORK/grinder.err" &
hold $!
wait_for_line "$WORK/grinder.out" listening || fail "the grinder did not start"
for round in $(seq "$ROUNDS"); do
  echo "== round $round"
  pair_both "b$round" "a$round" "round $round" "$SIDE_PORT"
  echo "grinder: $(grep -E "^(leg 2 ground|no nonce)" "$WORK/grinder.err" | tail -n1); codes: '$CODE_A' '$CODE_B'"
  check "round $round: the waiting copy showed no code" test -z "$CODE_A"
  check "round $round: the waiting copy said the pairing failed" said "$WORK/b$round.pair" "pairing failed"
  check "round $round: the waiting copy pinned nothing" test ! -s "$WORK/b$round/state/quorvalinthexa/trusted"
  check "round $round: no code shown on both sides alike" test -z "$CODE_A" -o "$CODE_A" != "$CODE_B"
done
finish
