#!/usr/bin/env bash
# Stop, the end of browser access and the boxes an upload raises, in the Windows program:
# the window's Stop answers uploads that stall side by side "stopped" at once and stores
# nothing of them; the question about an upload and the box for a missing
# store folder run on a thread with the program's usual stack (the main window's), not on
# the web connection's small one; ending access ends the open question.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"
ASK="Incoming files"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
printf 'queued' >"$WORK/queued.txt"
stop_enabled() { [ "$(driver enabled 108)" = 1 ]; }
connected() { [ "$(in_pc ss -Htn state established '( dport = :2905 )' | wc -l)" -ge "$1" ]; }
# upload NAME: queued.txt uploaded as NAME from the other PC, in the background; its
# answer goes to $WORK/NAME.out. Sets UPLOAD.
upload() {
  pc_use pc2
  (in_pc_exec curl -s -o "$WORK/$1.out" -T "$WORK/queued.txt" "${URL}files?name=$1") &
  UPLOAD=$!
  pc_use pc1
}

# --- Stop while three uploads side by side send nothing more.
open_access
# stalled NAME: from the other PC, an upload that announces 100000 bytes and sends ten, in
# the background; $WORK/NAME.out gets the word of its answer, "cut" when its connection
# ends without one, or "open". Adds its process to STALLED.
STALLED=()
stalled() {
  pc_use pc2
  (in_pc_exec python3 -c 'import socket, sys
s = socket.create_connection((sys.argv[1], 2905))
s.sendall(b"PUT /%s/files?name=%s HTTP/1.1\r\nContent-Length: 100000\r\n\r\n0123456789" % (sys.argv[2].encode(), sys.argv[3].encode()))
s.settimeout(15)
try:
    got = s.recv(4096)
    print(got.split(b"\r\n\r\n")[-1].decode() if got else "cut")
except socket.timeout:
    print("open")
except OSError:
    print("cut")' 10.77.0.1 "$(basename "$URL")" "$1" >"$WORK/$1.out") &
  STALLED+=($!)
  pc_use pc1
}
stalled stalled.bin
wait_until 300 stop_enabled || fail "the stalled upload did not start a reception"
stalled stalled1.bin && stalled stalled2.bin
pc_use pc2
wait_until 100 connected 3 || fail "the other uploads did not connect"
pc_use pc1
driver click 108 >/dev/null
for n in 0 1 2; do
  wait_until 200 ended "${STALLED[$n]}" || fail "stalled upload $n did not end"
done
for name in stalled.bin stalled1.bin stalled2.bin; do
  expect_eq "$name after Stop" "stopped" "$(cat "$WORK/$name.out" 2>/dev/null)"
done
expect_eq "the store after Stop" "" "$(ls -A "$STORE")"
stop_program

# --- Under "ask each time": the boxes' stacks, and the question ends with access.
reg_set AcceptFrom REG_DWORD 1
open_access
usual="$(driver stack)"
[ "$usual" -gt 0 ] && ok "the main window's thread has $usual KiB of stack" || fail "no stack read: $usual"
driver set-text 111 "" >/dev/null  # no store folder
upload nostore.txt
driver wait-dialog 'Error!' 20000 || fail "no box for the missing store folder"
expect_eq "the error box's stack (KiB)" "$usual" "$(driver stack 'Error!')"
driver dialog-close 'Error!' 5000 >/dev/null
driver set-text 111 'C:\qv-store\' >/dev/null
upload asked.txt
driver wait-dialog "$ASK" 20000 || fail "no question for the upload"
expect_eq "the question's stack (KiB)" "$usual" "$(driver stack "$ASK")"
driver dialog-click "$ACCESS" 2 >/dev/null
driver wait-dialog-gone "$ACCESS" 20000 || fail "the access dialog did not close"
driver wait-dialog-gone "$ASK" 5000 && ok "the question ended with access" || fail "the question stayed after access ended"
wait_until 100 ended "$UPLOAD" || fail "the asked upload did not end"
expect_eq "the store after the question ended" "" "$(ls -A "$STORE")"
stop_program
finish
