#!/usr/bin/env bash
# The boxes a browser's upload raises in the Windows program, the question before it is
# stored and the box for a missing store folder, run their modal loops on a thread with
# the program's usual stack (the main window's), not on the web connection's small one.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"
ASK="Incoming files"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
reg_set AcceptFrom REG_DWORD 1  # ask each time
printf 'asked' >"$WORK/asked.txt"
open_access
usual="$(driver stack)"
[ "$usual" -gt 0 ] && ok "the main window's thread has $usual KiB of stack" || fail "no stack read: $usual"

# upload NAME: the upload of asked.txt as NAME from the other PC, in the background.
upload() {
  pc_use pc2
  (in_pc_exec curl -s -o "$WORK/$1.out" -T "$WORK/asked.txt" "${URL}files?name=$1") &
  UPLOAD=$!
  pc_use pc1
}

upload first.txt
driver wait-dialog "$ASK" 20000 || fail "no question for the upload"
expect_eq "the question's stack (KiB)" "$usual" "$(driver stack "$ASK")"
driver dialog-click "$ASK" 1041 >/dev/null
wait_until 100 ended "$UPLOAD" || fail "the accepted upload did not end"
expect_eq "the accepted upload" "asked" "$(cat "$STORE/first.txt" 2>/dev/null)"

driver set-text 111 "" >/dev/null  # no store folder
upload second.txt
driver wait-dialog 'Error!' 20000 || fail "no box for the missing store folder"
expect_eq "the error box's stack (KiB)" "$usual" "$(driver stack 'Error!')"
driver dialog-close 'Error!' 5000 >/dev/null
wait_until 100 ended "$UPLOAD" || fail "the upload without a store did not end"
expect_eq "the upload without a store" "no-store" "$(cat "$WORK/second.txt.out" 2>/dev/null)"

driver dialog-click "$ACCESS" 2 >/dev/null
driver wait-dialog-gone "$ACCESS" 20000 || fail "the access dialog did not close"
stop_program
finish
