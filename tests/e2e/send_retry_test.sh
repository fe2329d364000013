#!/usr/bin/env bash
# A private send from the program to a trusted peer goes on by itself after a cut, for the
# time the settings give (stored as RetrySeconds): with the link down for 20 s it completes
# with no second click; with the peer's receiver killed, the status line counts down to the
# next try ("Waiting for linux-peer to come back, next try in 8 s."), in English and in
# Spanish, and the send completes once it is back. The waiting state's pictures go to
# QV_SCREENSHOTS_DIR (docs/screenshots refreshes the user guide's).
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
export XDG_CONFIG_HOME="$WORK/config"  # the peer's identity stays in this test's folder
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SHOTS"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
src="$WORK/src"
mkdir -p "$src"
head -c 8000000 /dev/urandom >"$src/big.bin"
winsrc="Z:$(tr / '\\' <<<"$src")"
peer_store="$WORK/peer-store"
mkdir -p "$peer_store"

# A rate at which the send lasts long enough to be cut midway.
for end in pc1:a pc2:b; do
  ip netns exec "${PC_NS[${end%:*}]}" tc qdisc add dev "v$$${end#*:}" root tbf rate 8mbit burst 32k latency 1s
done

# peer_receive: the peer's receiver, giving a silent connection up after 2 s.
peer_receive() {
  pc_use pc2
  in_pc_exec "$CLI" receive --store "$peer_store" --no-discovery --stall-seconds 2 >"$WORK/peer.out" 2>&1 &
  PEER=$!
  wait_for_line "$WORK/peer.out" "Server running" || fail "the peer did not listen"
  pc_use pc1
}
partial_grown() { [ -n "$(find "$peer_store" -name '.~qv*.partial' -size +1000k 2>/dev/null | head -n 1)" ]; }

# send_cut WHAT COMPLETE CUT...: a send of big.bin that CUT interrupts once a megabyte has
# arrived; it must end with the status COMPLETE and the file whole at the peer.
send_cut() {
  local what="$1" complete="$2"
  shift 2
  rm -rf "${peer_store:?}" && mkdir -p "$peer_store"  # its hidden partial files too
  driver click 110
  wait_until 600 partial_grown || fail "$what: no partial file grew at the peer"
  "$@"
  driver wait-text 113 "$complete" 120000 || fail "$what: the send did not complete: $(driver text 113)"
  check "$what: the file arrived whole" cmp -s "$src/big.bin" "$peer_store/big.bin"
}

link_down() {
  pc_use pc2
  ip netns exec "$NS" ip link set "v$$b" down
  wait_for_line "$WORK/peer.out" "Some files were not received" 300 || fail "link down: the peer did not end it"
  sleep 18  # the outage lasts 20 s
  ip netns exec "$NS" ip link set "v$$b" up
  pc_use pc1
}
# peer_away WAITING SHOT: the peer's receiver is killed; the program counts down to its
# tries (WAITING, the status of the fourth wait), SHOT is taken, and the peer comes back.
peer_away() {
  kill -9 "$PEER"
  wait "$PEER" 2>/dev/null || true
  driver wait-text 113 "$1" 60000 || fail "no countdown: $(driver text 113)"
  expect_eq "Stop stays on while it waits" 1 "$(driver enabled 108)"
  screenshot_window Quorvalinthexa "$2"
  peer_receive
}

pc_use pc2
peer_id="$(in_pc "$CLI" id)"
pc_use pc1
reg_clear
use_store
reg_set Language REG_SZ 0409
start_program "$winsrc\\big.bin"
open_settings
win_id="$(driver dialog-text "$SETTINGS" 1081)"
driver dialog-set-text "$SETTINGS" 1088 "$peer_id"
driver dialog-set-text "$SETTINGS" 1090 "linux-peer"
driver dialog-click "$SETTINGS" 1091 >/dev/null
expect_eq "the settings' time for trying again" 600 "$(driver dialog-text "$SETTINGS" 1125)"
driver dialog-set-text "$SETTINGS" 1125 300
close_settings 1
expect_eq "stored beside the others" 0x12c "$(reg_query RetrySeconds)"
pc_use pc2
in_pc "$CLI" trust "$win_id" win-pc >/dev/null || fail "the peer could not trust $win_id"
pc_use pc1
driver set-text 103 10.77.0.2
peer_receive

send_cut "link down" "Transfer complete." link_down
send_cut "peer away" "Transfer complete." peer_away "Waiting for linux-peer to come back, next try in 8 s." \
  "$SHOTS/main-window-retry-en.png"
stop_program

reg_set Language REG_SZ 0c0a
start_program "$winsrc\\big.bin"
driver set-text 103 10.77.0.2
send_cut "peer away (es)" "Transferencia completada." peer_away \
  "Esperando a que linux-peer vuelva; próximo intento en 8 s." "$SHOTS/main-window-retry-es.png"
stop_program
stop_peer "$PEER"
finish
