#!/usr/bin/env bash
# Two PCs on one segment, each running the program with an empty recipient: within
# seconds each shows the other's address and its discovery button is enabled. Then a
# "request" from one replaces the other's recipient. Then the Windows program and
# `quorvalinthexa receive` find each other the same way, and `quorvalinthexa discover`
# lists the program alone.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"

pc_up pc2
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2

for pc in pc1 pc2; do
  pc_use $pc
  reg_clear
  use_store
  start_program
done
for pc in pc1 pc2; do
  pc_use $pc
  driver wait-text 113 "Server running" 20000 >/dev/null || true
done

pc_use pc1
expect_eq "pc1 own address" "10.77.0.1" "$(driver text 102)"
driver wait-text 103 "10.77.0.2" 15000 && echo "ok: pc1 found pc2" || fail "pc1 recipient: $(driver text 103)"
pc_use pc2
driver wait-text 103 "10.77.0.1" 15000 && echo "ok: pc2 found pc1" || fail "pc2 recipient: $(driver text 103)"
sleep 2  # the next tick enables the button
for pc in pc1 pc2; do
  pc_use $pc
  expect_eq "$pc discovery button enabled" "1" "$(driver enabled 116)"
done

# A request replaces what the other side holds.
pc_use pc2
driver set-text 103 "10.77.0.99"
pc_use pc1
driver click 116
pc_use pc2
driver wait-text 103 "10.77.0.1" 15000 && echo "ok: a request replaced pc2's recipient" ||
  fail "pc2 recipient after a request: $(driver text 103)"
stop_program
pc_use pc1
expect_eq "pc1 status after pc2's hand-over" "Recepient IP received" "$(driver text 113)"

# The command-line peer in place of pc2: it announces itself, answers, and the program
# fills in its address.
if [ -x "$CLI" ]; then
  pc_use pc2
  in_pc_exec "$CLI" receive --store "$WORK" >"$WORK/cli.out" 2>&1 &
  cli=$!
  pc_use pc1
  driver set-text 103 ""
  driver click 116
  driver wait-text 103 "10.77.0.2" 15000 && echo "ok: the program found the command-line peer" ||
    fail "pc1 recipient with the peer: $(driver text 103)"
  stop_peer "$cli"
  # `quorvalinthexa discover` on pc2 lists the program, and nothing else.
  pc_use pc2
  expect_eq "discover lists the program and nothing else" "10.77.0.1" \
    "$(in_pc "$CLI" discover --seconds 2 2>>"$WORK/discover.err" | xargs)"
fi
pc_use pc1
stop_program
finish
