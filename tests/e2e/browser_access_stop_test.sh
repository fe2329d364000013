#!/usr/bin/env bash
# Stop and the end of browser access in the Windows program: the window's Stop cuts a
# browser's upload that sends nothing more (its connection is shut down at once) and
# turns away the uploads waiting for their turn, which store nothing; ending access ends
# the question open about a browser's upload.
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

# stalled_upload: an upload from the other PC that announces 100000 bytes, sends ten and
# then nothing; its output says "cut" once the program ends its connection, or "open"
# after 15 s. Sets STALLED.
stalled_upload() {
  local address="${URL#http://}" path
  path="/${address#*/}files?name=stalled.bin"
  address="${address%%/*}"
  pc_use pc2
  (in_pc_exec python3 -c '
import socket, sys
host, port = sys.argv[1].split(":")
s = socket.create_connection((host, int(port)))
s.sendall(("PUT %s HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n0123456789" % sys.argv[2]).encode())
s.settimeout(15)
try:
    while s.recv(4096):
        pass
    print("cut")
except socket.timeout:
    print("open")
except OSError:
    print("cut")
' "$address" "$path" >"$WORK/stalled.out") &
  STALLED=$!
  pc_use pc1
}

# --- Stop while an upload stalls and two wait for their turn.
open_access
stalled_upload
wait_until 300 stop_enabled || fail "the stalled upload did not start a reception"
pc_use pc2
QUEUED=()
for n in 1 2; do
  (in_pc_exec curl -s -o "$WORK/queued$n.out" -T "$WORK/queued.txt" "${URL}files?name=queued$n.txt") &
  QUEUED+=($!)
done
connections() { [ "$(in_pc ss -Htn state established '( dport = :2905 )' | wc -l)" -ge 3 ]; }
wait_until 100 connections || fail "the queued uploads did not connect"
pc_use pc1
driver click 108 >/dev/null
wait_until 200 ended "$STALLED" || fail "the stalled client did not end"
expect_eq "the stalled upload's connection after Stop" "cut" "$(cat "$WORK/stalled.out")"
for n in 1 2; do
  wait_until 400 ended "${QUEUED[$((n - 1))]}" || fail "queued upload $n did not end"
  expect_eq "queued upload $n after Stop" "stopped" "$(cat "$WORK/queued$n.out" 2>/dev/null)"
done
expect_eq "the store after Stop" "" "$(ls -A "$STORE")"
driver dialog-click "$ACCESS" 2 >/dev/null
driver wait-dialog-gone "$ACCESS" 20000 || fail "the access dialog did not close"
stop_program

# --- Ending access while the question about an upload is open ends the question.
rm -rf "${STORE:?}"/*
reg_set AcceptFrom REG_DWORD 1  # ask each time
open_access
pc_use pc2
(in_pc_exec curl -s -o /dev/null -T "$WORK/queued.txt" "${URL}files?name=asked.txt") &
ASKED=$!
pc_use pc1
driver wait-dialog "$ASK" 20000 || fail "no question for the upload"
driver dialog-click "$ACCESS" 2 >/dev/null
driver wait-dialog-gone "$ACCESS" 20000 || fail "the access dialog did not close"
driver wait-dialog-gone "$ASK" 5000 && ok "the question ended with access" || fail "the question stayed after access ended"
wait_until 100 ended "$ASKED" || fail "the asked upload did not end"
expect_eq "the store after the question ended" "" "$(ls -A "$STORE")"
stop_program
finish
