#!/usr/bin/env bash
# Faults met by the program under Wine as a receiver: a store on a full file system, a
# peer that resets the connection in the middle of a file, and 200 connections opened at
# once. After each the program still runs, says honestly what arrived, has as many
# threads as before, and takes a good transfer.
source "$(dirname "$0")/lib.sh"
PEER="$QV_ROOT/tests/faults/peer.py"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
if [ "$(id -u)" = 0 ]; then
  mount -t tmpfs -o size=2m qv-full "$STORE"
  trap 'cleanup; umount -l "$STORE" 2>/dev/null || true' EXIT
  # Each process entered into the PC's network gets a copy of the mounts of that moment:
  # the PC's wineserver, which opens files for the program, starts again to see this one.
  wineserver -k
  in_pc setsid wineserver -p </dev/null >/dev/null 2>&1 || true
  in_pc setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
else
  echo "note: not root, the full-store case is left out"
fi
start_program
driver wait-text 113 "Server running" 20000 >/dev/null || fail "the listener did not start"
# A recipient keeps discovery quiet, so that its "Nobody found yet." never takes the
# status line that each case's result is read from.
driver set-text 103 10.77.0.2
program="$(pgrep -nf 'Quorvalinthexa\.exe' || true)"
echo "program: $program $(tr "\0" " " <"/proc/$program/cmdline" 2>/dev/null)"

threads() { ls "/proc/$program/task" 2>/dev/null | wc -l; }

# peer_send STREAM [peer.py options...]: from the other PC.
peer_send() {
  pc_use pc2
  in_pc python3 "$PEER" send 10.77.0.1 2904 "$@" >/dev/null 2>&1 || true
  pc_use pc1
}

# expect_status WHAT TEXT: the status line comes to TEXT (cleared before each case).
expect_status() {
  driver wait-text 113 "$2" 30000 >/dev/null && echo "ok: $1: \"$2\"" || fail "$1: status \"$(driver text 113)\""
}

GOOD=0
good_transfer() {
  GOOD=$((GOOD + 1))
  local name="good$GOOD"
  mkdir -p "$WORK/src/$name/sub"
  printf 'hello %s' "$name" >"$WORK/src/$name/a.txt"
  head -c 100000 /dev/urandom >"$WORK/src/$name/sub/data.bin"
  python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/src" "$name" >"$WORK/$name.stream"
  driver set-text 113 ""
  peer_send "$WORK/$name.stream"
  expect_status "$1: a good transfer afterwards" "Receiving complete."
  diff -r "$WORK/src/$name" "$STORE/$name" >/dev/null && echo "ok: $1: byte-identical" || fail "$1: the tree differs"
}

# after_fault WHAT: running, threads back to where they were, a good transfer.
after_fault() {
  kill -0 "$program" 2>/dev/null && echo "ok: $1: the program keeps running" || { fail "$1: the program died"; return; }
  local now=""
  for _ in $(seq 50); do
    now="$(threads)"
    [ "$now" = "$base" ] && break
    sleep 0.1
  done
  expect_eq "$1: threads back to idle" "$base" "$now"
  good_transfer "$1"
}

good_transfer "warm-up"
sleep 1
base="$(threads)"
echo "baseline: $base threads"

mkdir -p "$WORK/src/big"
head -c 3000000 /dev/urandom >"$WORK/src/big/big.bin"
# A transfer that announces more than the store's free space is refused before it
# writes: this sender announces less than it sends, so that it meets the full disk.
python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/src" big --total 1000 >"$WORK/big.stream"

# --- A store on a full file system: the file that does not fit is reported, not hidden.
if mountpoint -q "$STORE"; then
  driver set-text 113 ""
  peer_send "$WORK/big.stream"
  expect_status "full store" "Some files were not received."
  rm -rf "${STORE:?}/big"  # the user makes room
  after_fault "full store"
fi

# --- A peer that resets the connection in the middle of a file.
driver set-text 113 ""
peer_send "$WORK/big.stream" --upto 1500000 --then reset
expect_status "reset in the middle of a file" "Some files were not received."
size="$(stat -c %s "$STORE/big/big.bin" 2>/dev/null || echo 0)"
[ "$size" -le 1500000 ] && echo "ok: the cut file keeps at most what arrived ($size bytes)" || fail "cut file: $size bytes"
rm -rf "${STORE:?}/big"
after_fault "reset"

# --- 200 connections at once from one address: the newest 8 wait for the rest of their
# header (the address's share), the others are turned away; a kept one completes.
driver set-text 113 ""
mkdir -p "$WORK/src/crowd"
printf 'one of many' >"$WORK/src/crowd/c.txt"
python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/src" crowd >"$WORK/crowd.stream"
pc_use pc2
answer="$(in_pc python3 "$PEER" crowd 10.77.0.1 2904 200 "$WORK/crowd.stream" 8 2>&1 || true)"
pc_use pc1
expect_eq "200 connections" "turned_away=192 admitted=8" "$answer"
expect_status "200 connections" "Receiving complete."
cmp -s "$WORK/src/crowd/c.txt" "$STORE/crowd/c.txt" && echo "ok: the kept transfer is whole" || fail "crowd file differs"
after_fault "200 connections"

stop_program
finish
