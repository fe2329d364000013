#!/usr/bin/env bash
# A store path that cannot take what arrives: a file system too small for the announced
# size, one that fills up in the middle of a file (a 1 MiB tmpfs), and a read-only one.
# The receiver refuses what cannot fit, reads every record in step, writes nothing else,
# says "Some files were not received.", and receives whole transfers again once there
# is room. A file that the cut one would have replaced stays as it was.
source "$(dirname "$0")/lib.sh"

# --- A full file system (1 MiB). A transfer that announces 3 MiB is refused before
# anything is written; one that announces less than it sends meets the full disk in the
# middle of its file, and an older big.bin stays as it was.
rx_start --mount "-t tmpfs -o size=1m tmpfs"
good_transfer "warm-up"
take_baseline
mkdir -p "$WORK/src/full"
head -c 3145728 /dev/urandom >"$WORK/src/full/big.bin"
printf 'after the big one' >"$WORK/src/full/small.txt"
in_rx_mounts sh -c "mkdir '$STORE/full' && printf 'the older big.bin' >'$STORE/full/big.bin'"
: >"$WORK/rx.err"
rc=0
in_tx "$CLI" send "$RX_ADDR" "$WORK/src/full" >/dev/null 2>>"$WORK/tx.err" || rc=$?
expect_eq "too large for the free space: the sender's exit status" 4 "$rc"
wait_for_line "$WORK/rx.err" "^Not enough free space in the store folder\. \($TX_ADDR\)$" 50 &&
  ok "too large for the free space: said so, with the sender" || fail "too large: $(cat "$WORK/rx.err")"
expect_eq "too large for the free space: nothing written" "big.bin" "$(ls "$(store_view)/full" | xargs)"
rx_mark
stream "$WORK/understated.stream" --total 1000 full
rc=0
in_tx python3 "$PEER" send "$RX_ADDR" 2904 "$WORK/understated.stream" >/dev/null 2>&1 || rc=$?
expect_result "file system full in the middle of a file" "Some files were not received." 20
expect_eq "only the names sent were created" "big.bin small.txt" "$(ls "$(store_view)/full" | sort | xargs)"
expect_eq "the older big.bin stays as it was" "the older big.bin" "$(cat "$(store_view)/full/big.bin")"
in_rx_mounts rm -rf "$STORE/full"
after_fault "file system full"

# --- A read-only store: files and folders cannot be created.
in_rx_mounts mount -o remount,ro "$STORE"
mkdir -p "$WORK/src/readonly/sub"
printf 'x' >"$WORK/src/readonly/sub/x.txt"
rx_mark
in_tx "$CLI" send "$RX_ADDR" "$WORK/src/readonly" >/dev/null 2>>"$WORK/tx.err" || true
expect_result "read-only store" "Some files were not received." 20
# Folders alone: nothing could be created, so the transfer did not arrive either.
mkdir -p "$WORK/src/folders/only/these"
rx_mark
in_tx "$CLI" send "$RX_ADDR" "$WORK/src/folders" >/dev/null 2>>"$WORK/tx.err" || true
expect_result "read-only store, folders only" "Some files were not received." 20
[ ! -e "$(store_view)/readonly" ] && [ ! -e "$(store_view)/folders" ] && ok "nothing was created" ||
  fail "something was created in a read-only store"
in_rx_mounts mount -o remount,rw "$STORE"
after_fault "read-only store"

finish
