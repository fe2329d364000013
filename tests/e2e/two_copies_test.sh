#!/usr/bin/env bash
# Two fresh copies of the program on two PCs, worked only through their windows: they
# find each other; A sends a tree with non-ASCII names and a 200 MiB file, B sends it
# back; then, with a scripted peer in B's place, Stop in the middle of a send and of a
# reception, and a reception that ends while a send still runs.
source "$(dirname "$0")/lib.sh"
PEER="$QV_ROOT/tests/faults/peer.py"

pc_up pc2
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2

src="$WORK/src"
mkdir -p "$src/Фотографии/2010" "$src/Música vacía"
head -c $((200 * 1024 * 1024)) /dev/urandom >"$src/Фотографии/2010/видео.bin"
printf 'ñandú' >"$src/Фотографии/notes año.txt"
: >"$src/Фотографии/empty.txt"
winsrc="Z:$(tr / '\\' <<<"$src")"

# wait_enabled ID VALUE SECONDS: waits until button ID's enabled state is VALUE.
wait_enabled() {
  local i
  for i in $(seq $(($3 * 5))); do
    [ "$(driver enabled "$1")" = "$2" ] && return 0
    sleep 0.2
  done
  return 1
}
# buttons WHAT SEND STOP: the states of Send file (110) and Stop (108).
buttons() { expect_eq "$1: Send file, Stop enabled" "$2 $3" "$(driver enabled 110) $(driver enabled 108)"; }

pc_use pc2
reg_clear
use_store
STORE2="$STORE"
start_program
pc_use pc1
reg_clear
use_store
STORE1="$STORE"
start_program "$winsrc\\Фотографии" "$winsrc\\Música vacía"

# --- Fresh copies find each other; A sends, B sends back.
driver wait-text 103 10.77.0.2 20000 && echo "ok: A found B" || fail "A's recipient: $(driver text 103)"
driver click 110
driver wait-text 113 "Transfer complete." 300000 || fail "A's send did not complete"
buttons "A after its send" 1 0
pc_use pc2
driver wait-text 113 "Receiving complete." 30000 && echo "ok: B says Receiving complete." || fail "B's status"
diff -r "$src" "$STORE2" >/dev/null && echo "ok: the tree arrived byte-identical at B" ||
  fail "trees differ at B: $(diff -rq "$src" "$STORE2" 2>&1 | head -3)"

expect_eq "B's recipient" "10.77.0.1" "$(driver text 103)"
driver drop 'C:\qv-store\Фотографии' 'C:\qv-store\Música vacía'
expect_eq "B's summary after the drop" "Selected: files: 0; folders: 2" "$(driver text 1011)"
driver click 110
driver wait-text 113 "Transfer complete." 300000 || fail "B's send did not complete"
pc_use pc1
driver wait-text 113 "Receiving complete." 30000 && echo "ok: A says Receiving complete." || fail "A's status"
diff -r "$src" "$STORE1" >/dev/null && echo "ok: the tree came back byte-identical to A" ||
  fail "trees differ at A: $(diff -rq "$src" "$STORE1" 2>&1 | head -3)"

# From here a scripted peer stands in for B.
pc_use pc2
stop_program

# sink_up: a peer on B's address that takes one connection and reads nothing until
# $WORK/go exists.
sink_up() {
  rm -f "$WORK/go" "$WORK/sink.out"
  pc_use pc2
  in_pc_exec python3 "$PEER" sink 2904 "$WORK/sink.bin" --gate "$WORK/go" >"$WORK/sink.out" 2>&1 &
  SINK=$!
  wait_for_line "$WORK/sink.out" listening 50 || true
  pc_use pc1
}
sink_down() {
  touch "$WORK/go"
  wait "$SINK" || true
}

# --- Stop in the middle of a send: "Canceled.", no result text, the buttons back to idle.
sink_up
driver click 110
wait_enabled 108 1 60 || fail "the send did not start"
buttons "A while sending" 0 1
sleep 1
driver click 108
wait_enabled 110 1 30 && echo "ok: the send ended after Stop" || fail "the send did not end after Stop"
buttons "A after Stop in a send" 1 0
sleep 1
expect_eq "A's status after Stop in a send" "Canceled." "$(driver text 113)"
sink_down
received="$(sed -n 's/^received=//p' "$WORK/sink.out")"
[ "${received:-0}" -lt $((200 * 1024 * 1024)) ] && echo "ok: the stopped send ended early ($received bytes)" ||
  fail "the stopped send carried ${received:-nothing} bytes"

# --- Stop in the middle of a reception: the peer sends half a file, then stays silent.
mkdir -p "$WORK/half/Большой"
head -c 4000000 /dev/urandom >"$WORK/half/Большой/part.bin"
python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/half" "Большой" >"$WORK/half.stream"
pc_use pc2
in_pc_exec python3 "$PEER" send 10.77.0.1 2904 "$WORK/half.stream" --upto 2000000 --then hold:60 >/dev/null 2>&1 &
holder=$!
pc_use pc1
wait_enabled 108 1 30 || fail "the reception did not start"
buttons "A while receiving" 0 1
driver click 108
wait_enabled 110 1 30 && echo "ok: the reception ended after Stop" || fail "the reception did not end after Stop"
buttons "A after Stop in a reception" 1 0
sleep 1
expect_eq "A's status after Stop in a reception" "Canceled." "$(driver text 113)"
stop_peer "$holder"

# --- A reception that ends while a send runs gives Send file back, and Stop stays for the
# send, which still completes afterwards.
mkdir -p "$WORK/small/Концерт"
printf 'la la' >"$WORK/small/Концерт/song.txt"
python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/small" "Концерт" >"$WORK/small.stream"
sink_up
driver click 110
wait_enabled 108 1 60 || fail "the send did not start"
sleep 1
pc_use pc2
in_pc python3 "$PEER" send 10.77.0.1 2904 "$WORK/small.stream" || fail "the peer could not send"
pc_use pc1
driver wait-text 113 "Receiving complete." 30000 && echo "ok: the reception completed during the send" ||
  fail "A's status during the send: $(driver text 113)"
buttons "A after the reception, its send still running" 1 1
# The gated sink holds its end whatever A does: the send lives as long as A's side of
# the connection stays established (a send that ended would have closed it).
sleep 1
[ -n "$(in_pc ss -Htn state established dst 10.77.0.2 dport = :2904)" ] &&
  echo "ok: the send is still running (its connection is open)" || fail "the send ended with the reception"
driver click 110  # Send file is enabled again, but a second send must not start under the first
cmp -s "$WORK/small/Концерт/song.txt" "$STORE1/Концерт/song.txt" && echo "ok: the received file is whole" ||
  fail "the file received during the send differs"
sink_down
driver wait-text 113 "Transfer complete." 120000 && echo "ok: the send completed after the reception" ||
  fail "A's status after the send: $(driver text 113)"
buttons "A after both" 1 0
box="$(pcwine "$DRIVER" dialog-text 'Error!' 65535 2000 2>/dev/null | tr -d '\r' || true)"
expect_eq "error box after the second click" "" "$box"
received="$(sed -n 's/^received=//p' "$WORK/sink.out")"
[ "${received:-0}" -gt $((200 * 1024 * 1024)) ] && echo "ok: the peer got the whole stream ($received bytes)" ||
  fail "the peer got ${received:-nothing} bytes"

# --- An error box raised while a send runs (a reception of an old version, turned away
# with its box) leaves that send its Stop, and Stop still ends it.
printf 'Version:2.0\nTotal:0\n\n' >"$WORK/old.stream"
sink_up
driver click 110
wait_enabled 108 1 60 || fail "the send did not start"
pc_use pc2
in_pc python3 "$PEER" send 10.77.0.1 2904 "$WORK/old.stream" || fail "the peer could not send"
pc_use pc1
expect_eq "old-version box during a send" "Sender using old version of program. It must be updated." \
  "$(pcwine "$DRIVER" dialog-text 'Error!' 65535 20000 2>/dev/null | tr -d '\r' || true)"
buttons "A while the box shows, its send running" 0 1
pcwine "$DRIVER" dialog-close 'Error!' 5000 >/dev/null 2>&1 || fail "no error box to close"
pcwine "$DRIVER" wait-dialog-gone 'Error!' 5000 || fail "the error box stayed"
buttons "A after the box, its send running" 0 1
driver click 108
wait_enabled 110 1 30 && echo "ok: Stop ended the send after the box" || fail "the send did not end after Stop"
buttons "A after Stop" 1 0
sink_down

stop_program
finish
