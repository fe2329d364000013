#!/usr/bin/env bash
# Faults of the sender's own files, put into `quorvalinthexa send` by a preloaded library
# (tests/support/file_faults.c), against `receive --once`:
# - a folder whose files open slowly (a network share, a slow stick, an on-access
#   scanner) still arrives: the sender's first bytes go out at once and none are held back
#   for long, so the receiver never takes it for a silent connection;
# - a large file that fails to read while it goes out by sendfile is this side's failure
#   (exit status 1), not a transfer the receiver did not take (4).
source "$(dirname "$0")/lib.sh"
FAULTS="$QV_NATIVE_BUILD/libqv_file_faults.so"
[ -f "$FAULTS" ] || skip "no $FAULTS (make native)"
# The sanitizers' runtime must otherwise come first among the libraries.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"

# send_with_faults SOURCE VARIABLE=VALUE...: sends SOURCE with the faults the variables
# name; prints the sender's exit status.
send_with_faults() {
  local src="$1" rc=0
  shift
  env LD_PRELOAD="$FAULTS" "$@" "$CLI" send --port "$PORT" 127.0.0.1 "$src" >/dev/null 2>>"$WORK/tx.err" || rc=$?
  echo "$rc"
}

# 1,000 files of 100 bytes, each open 3 ms late: 3 s before the last file is read, well
# past the receiver's 2 s wait for a first byte (--stall-seconds 2 shortens it).
slow="$WORK/slow/files"
mkdir -p "$slow" "$WORK/store-slow"
head -c 100000 /dev/urandom | split -b 100 -a 4 - "$slow/f"
RX_OPTIONS="--stall-seconds 2" rx_start "$WORK/store-slow"
expect_eq "a slow folder: the sender's exit status" 0 \
  "$(send_with_faults "$slow" QV_SLOW_OPEN_UNDER="$slow" QV_SLOW_OPEN_MICROSECONDS=3000)"
rx_wait 30
expect_eq "a slow folder: the reception was complete" 0 "$RX_STATUS"
diff -r "$slow" "$WORK/store-slow/files" >/dev/null && ok "a slow folder: every file arrived" ||
  fail "a slow folder: the files differ"

# A 4 MiB file whose reading fails after its first MiB.
mkdir -p "$WORK/big" "$WORK/store-big"
head -c $((4 << 20)) /dev/urandom >"$WORK/big/big.bin"
rx_start "$WORK/store-big"
expect_eq "a read error on sendfile's side: this side's failure" 1 \
  "$(send_with_faults "$WORK/big/big.bin" QV_FAIL_SENDFILE_AFTER=$((1 << 20)))"
rx_wait 30
expect_eq "a read error: the reception was not complete" 1 "$RX_STATUS"

finish
