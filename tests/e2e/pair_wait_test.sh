#!/usr/bin/env bash
# Pairing with the program under Wine from the command-line peer, which connects: a
# request while the program does not wait shows nothing there and pins nothing on either
# side; the settings' "Wait for the other computer..." opens a box that counts down, the
# peer's request ends it, the question comes with the code the peer prints, and both
# sides trust each other after yes.
# QV_SCREENSHOTS_DIR=docs/screenshots refreshes the user guide's pictures.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
export XDG_CONFIG_HOME="$WORK/config"  # the peer's identity stays in this test's folder
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SHOTS"
WAITING="Waiting to pair"
not() { ! "$@"; }

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
start_program
driver wait-text 113 "Server running" 20000 || fail "the listener did not start"
open_settings
win_id="$(driver dialog-text "$SETTINGS" 1081)"
close_settings 2
status="$(driver text 113)"

# --- Unasked: the peer's request ends with nothing on the program's screen.
pc_use pc2
rc=0
in_pc "$CLI" pair --yes 10.77.0.1 >"$WORK/unasked.out" 2>"$WORK/unasked.err" || rc=$?
expect_eq "unasked: the peer was not answered" 3 "$rc"
check "unasked: the peer printed no code" not grep -q "Comparison code" "$WORK/unasked.out"
check "unasked: the peer pinned nothing" not grep -q "$win_id" <(in_pc "$CLI" trusted)
pc_use pc1
check "unasked: no question on the program's screen" not driver wait-dialog "$PAIRING" 500
expect_eq "unasked: the status line as it was" "$status" "$(driver text 113)"
open_settings
expect_eq "unasked: the program pinned nothing" "" "$(driver list-rows "$SETTINGS" 1084)"

# --- Waiting: the box counts down; the peer's request ends it and pairs.
driver dialog-click "$SETTINGS" 1121 >/dev/null
driver wait-dialog "$WAITING" 10000 || fail "no waiting box: $(driver text 113)"
check "the box says it waits" grep -q "^Waiting for the other computer to pair with this one" \
  <(driver dialog-text "$WAITING" 1122)
screenshot_window "$WAITING" "$SHOTS/pairing-wait.png"
pc_use pc2
in_pc_exec "$CLI" pair --yes 10.77.0.1 >"$WORK/pair.out" 2>"$WORK/pair.err" &
pairer=$!
pc_use pc1
driver wait-dialog-gone "$WAITING" 20000 || fail "the waiting box stayed"
pair_with_peer "$WORK/pair.out" "$pairer"
check "the peer trusts the program" grep -q "$win_id" <(in_pc "$CLI" trusted)
stop_program
reg_clear
finish
