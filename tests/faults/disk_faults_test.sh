#!/usr/bin/env bash
# A store path that cannot take what arrives: a file system that fills up in the middle
# of a file (a 1 MiB tmpfs), and a read-only one. The receiver reads every record in
# step, writes nothing else, says "Some files were not received.", and receives whole
# transfers again once there is room. A file that the cut one would have replaced stays
# as it was.
source "$(dirname "$0")/lib.sh"

# --- A full file system: 3 MiB into 1 MiB, over an older big.bin, then a small file.
rx_start --mount "-t tmpfs -o size=1m tmpfs"
good_transfer "warm-up"
take_baseline
mkdir -p "$WORK/src/full"
head -c 3145728 /dev/urandom >"$WORK/src/full/big.bin"
printf 'after the big one' >"$WORK/src/full/small.txt"
in_rx_mounts sh -c "mkdir '$STORE/full' && printf 'the older big.bin' >'$STORE/full/big.bin'"
rx_mark
rc=0
in_tx "$CLI" send "$RX_ADDR" "$WORK/src/full" >/dev/null 2>>"$WORK/tx.err" || rc=$?
expect_eq "the sender learns that the receiver did not take it all (exit status)" 4 "$rc"
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
