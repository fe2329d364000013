#!/usr/bin/env bash
# The program under Wine receiving from two trusted command-line peers at once (pc2 and
# pc3, each on a segment of its own, slowed so that the transfers last), while a stranger on
# pc2 holds port 2904's one reception with a file it never ends: a row per running
# transfer under the status line names its sender, both arrive byte-exact, and neither
# sender is turned away; a row's own Stop ends its reception alone. Pictures of the window
# with both rows, in English and Russian, at 100 % and 150 % scaling
# (QV_SCREENSHOTS_DIR=docs/screenshots refreshes them).
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SHOTS"
VISIBLE=0x10000000 # WS_VISIBLE
ROW_TEXT=7300

pc_up pc2 --no-wine
pc_up pc3 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
veth_join "${PC_NS[pc1]}" "w$$a" 10.78.0.1 "${PC_NS[pc3]}" "w$$b" 10.78.0.2
ip netns exec "${PC_NS[pc2]}" tc qdisc add dev "v$$b" root tbf rate 12mbit burst 32k latency 1s
ip netns exec "${PC_NS[pc3]}" tc qdisc add dev "w$$b" root tbf rate 12mbit burst 32k latency 1s
declare -A PEER_ADDR=([pc2]=10.77.0.1 [pc3]=10.78.0.1)
# as_peer PC CMD...: the command-line peer of that PC, with its own identity.
as_peer() {
  local pc="$1"
  shift
  XDG_CONFIG_HOME="$WORK/$pc-config" ip netns exec "${PC_NS[$pc]}" "$@"
}

pc_use pc1
reg_clear
use_store
start_program
open_settings
win_id="$(driver dialog-text "$SETTINGS" 1081)"
for pc in pc2 pc3; do
  driver dialog-set-text "$SETTINGS" 1088 "$(as_peer "$pc" "$CLI" id | grep -oE '([A-Z2-7]{4}-){7}[A-Z2-7]{4}' | head -n1)"
  driver dialog-set-text "$SETTINGS" 1090 "linux-$pc"
  driver dialog-click "$SETTINGS" 1091 >/dev/null
  as_peer "$pc" "$CLI" trust "$win_id" win-pc >/dev/null || fail "$pc could not trust $win_id"
done
close_settings 1
stop_program

# peer_send PC FILE: that peer sends FILE in the background; its lines in $WORK/PC.out, its
# exit status in $WORK/PC.rc once it ends.
peer_send() {
  (
    rc=0
    as_peer "$1" "$CLI" send ${SEND_OPTIONS:-} "${PEER_ADDR[$1]}" "$2" >"$WORK/$1.out" 2>&1 || rc=$?
    echo "$rc" >"$WORK/$1.rc"
  ) &
}
rows_shown() { [ "$(driver has-style $ROW_TEXT $VISIBLE)" = 1 ] && [ "$(driver has-style $((ROW_TEXT + 1)) $VISIBLE)" = 1 ]; }

# round NAME LANGUAGE DPI STATUS: the program in that language and scaling, the stranger
# holding the one reception, both peers sending; a picture while both rows show.
round() {
  local name="$1" pc
  pc_use pc1
  reg_set Language REG_SZ "$2"
  pcwine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$3" /f >/dev/null 2>&1 || true
  rm -rf "${STORE:?}"/*
  start_program
  driver wait-text 113 "$4" 20000 || fail "$name: the listener did not start"
  ip netns exec "${PC_NS[pc2]}" python3 "$QV_ROOT/tests/faults/crowding_doors.py" 10.77.0.1 2904 nearend 1 10.77.0.2 \
    >"$WORK/crowd.out" 2>&1 &
  local crowd=$!
  wait_for_line "$WORK/crowd.out" crowding || fail "$name: the stranger did not start"
  wait_until 100 test -e "$STORE/near.bin" || fail "$name: the stranger holds no reception"
  for pc in pc2 pc3; do
    mkdir -p "$WORK/src-$pc"
    head -c 6000000 /dev/urandom >"$WORK/src-$pc/$name-$pc.bin"
    peer_send "$pc" "$WORK/src-$pc/$name-$pc.bin"
  done
  wait_until 200 rows_shown || fail "$name: the two rows did not show"
  local texts
  texts="$(driver text $ROW_TEXT; driver text $((ROW_TEXT + 1)))"
  for pc in pc2 pc3; do
    [[ "$texts" == *"linux-$pc — $name-$pc.bin, "* ]] && echo "ok: $name: a row names linux-$pc and its file" ||
      fail "$name: the rows: $texts"
  done
  screenshot_window Quorvalinthexa "$SHOTS/main-window-two-receptions-$name.png"
  wait_until 600 test -e "$WORK/pc2.rc" -a -e "$WORK/pc3.rc" || fail "$name: the senders did not end"
  for pc in pc2 pc3; do
    expect_eq "$name: linux-$pc's exit status" 0 "$(cat "$WORK/$pc.rc")"
    cmp -s "$WORK/src-$pc/$name-$pc.bin" "$STORE/$name-$pc.bin" && echo "ok: $name: linux-$pc's file arrived byte-exact" ||
      fail "$name: linux-$pc's file differs"
  done
  rm -f "$WORK/pc2.rc" "$WORK/pc3.rc"
  rows_gone() { [ "$(driver has-style $ROW_TEXT $VISIBLE)" = 0 ]; }
  wait_until 100 rows_gone || fail "$name: a row stayed after its transfer"
  kill "$crowd" 2>/dev/null || true
  wait "$crowd" 2>/dev/null || true
  stop_program
}

# stop_one: both peers send beside the stranger; a row's own Stop ends that reception
# alone, and the other arrives whole.
stop_one() {
  local crowd pc stopped other
  pc_use pc1
  rm -rf "${STORE:?}"/*
  start_program
  driver wait-text 113 "Server running" 20000 || fail "stop_one: the listener did not start"
  ip netns exec "${PC_NS[pc2]}" python3 "$QV_ROOT/tests/faults/crowding_doors.py" 10.77.0.1 2904 nearend 1 10.77.0.2 \
    >"$WORK/crowd.out" 2>&1 &
  crowd=$!
  wait_for_line "$WORK/crowd.out" crowding || fail "stop_one: the stranger did not start"
  wait_until 100 test -e "$STORE/near.bin" || fail "stop_one: the stranger holds no reception"
  for pc in pc2 pc3; do
    mkdir -p "$WORK/src-$pc"
    head -c 6000000 /dev/urandom >"$WORK/src-$pc/stop-$pc.bin"
    peer_send "$pc" "$WORK/src-$pc/stop-$pc.bin"
  done
  wait_until 200 rows_shown || fail "stop_one: the two rows did not show"
  stopped=pc2 other=pc3
  [[ "$(driver text $ROW_TEXT)" == *linux-pc3* ]] && stopped=pc3 other=pc2
  driver click 7320 >/dev/null || fail "stop_one: the first row's Stop could not be clicked"
  wait_until 600 test -e "$WORK/pc2.rc" -a -e "$WORK/pc3.rc" ||
    fail "stop_one: the senders did not end: $(tail -n 2 "$WORK/$stopped.out")"
  check "stop_one: linux-$stopped's send was stopped" test "$(cat "$WORK/$stopped.rc")" != 0
  check "stop_one: linux-$stopped's file took no name" test ! -e "$STORE/stop-$stopped.bin"
  # It would try the cut transfer again by itself: the receiver refuses it for a while.
  check "stop_one: linux-$stopped hears its transfer was stopped" \
    grep -q "stopped here a moment ago" "$WORK/$stopped.out"
  expect_eq "stop_one: linux-$other's exit status" 0 "$(cat "$WORK/$other.rc")"
  check "stop_one: linux-$other's file arrived byte-exact" cmp -s "$WORK/src-$other/stop-$other.bin" "$STORE/stop-$other.bin"
  rm -f "$WORK/pc2.rc" "$WORK/pc3.rc"
  kill "$crowd" 2>/dev/null || true
  wait "$crowd" 2>/dev/null || true
  stop_program
}

round en-100 0409 96 "Server running"
round ru-100 0419 96 "Сервер работает"
round en-150 0409 144 "Server running"
round ru-150 0419 144 "Сервер работает"
reg_set Language REG_SZ 0409
pcwine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1 || true
stop_one
finish
