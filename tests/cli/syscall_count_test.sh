#!/usr/bin/env bash
# A guard on the system calls each small file costs, counted by strace (never timed).
# Two transfers of N1 and N2 files of 4 KiB in one folder run under `strace -c -f` on
# both sides; the difference between their counts, over N2 - N1, is the cost of one file
# (start-up, connection and folder calls cancel out). A change that adds a call per file
# makes it fail. Also: the order of the calls that make a replacing file durable.
source "$(dirname "$0")/lib.sh"
command -v strace >/dev/null || skip "strace is missing (scripts/install-deps.sh installs it)"
strace -f -c -o /dev/null true >/dev/null 2>&1 || skip "strace cannot trace processes here"

# LeakSanitizer cannot run under ptrace; a sanitized build would fail at its end.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

N1=200
N2=1200
TOLERANCE=0.05
# Socket calls: the stream is received in large reads, and headers go out with content.
SOCKET_CALLS="recvfrom recvmsg sendto sendmsg"
# The memory allocator's and the scheduler's calls (many more in a sanitized build) say
# nothing of the work per file; they are shown but not held to a ceiling.
RUNTIME_CALLS="mmap munmap mremap madvise brk mprotect sched_yield futex"

# transfer N: N files of 4 KiB from one folder, each side under strace; the counts land
# in $WORK/rx-N.txt and $WORK/tx-N.txt.
transfer() {
  local n="$1" src="$WORK/src$1/files" store="$WORK/store$1"
  mkdir -p "$src" "$store"
  head -c $((4096 * n)) /dev/urandom | split -b 4096 -a 5 - "$src/f"
  rx_start "$store" strace -f -c -o "$WORK/rx-$n.txt"
  strace -f -c -o "$WORK/tx-$n.txt" "$CLI" send --port "$PORT" 127.0.0.1 "$src" >/dev/null ||
    fail "$n files: the sender failed"
  rx_wait 120
  expect_eq "$n files: the reception was complete" 0 "$RX_STATUS"
}

# per_file SIDE: "syscall calls-per-file" lines, from the two runs' summaries.
per_file() {
  awk -v n1="$N1" -v n2="$N2" '
    $NF == "total" || $1 !~ /^[0-9.]+$/ { next }
    { calls[FILENAME, $NF] = $4; names[$NF] = 1 }
    END { for (s in names) { d = (calls[F2, s] - calls[F1, s]) / (n2 - n1); if (d >= 0.0005) printf "%s %.3f\n", s, d } }
  ' F1="$WORK/$1-$N1.txt" F2="$WORK/$1-$N2.txt" "$WORK/$1-$N1.txt" "$WORK/$1-$N2.txt" | sort -k2,2gr
}

# sum_of TABLE WHICH NAMES: the per-file calls of the NAMES (WHICH=only) or of all others
# (WHICH=except).
sum_of() {
  awk -v which="$2" -v list=" $3 " '
    { hit = index(list, " " $1 " ") > 0; if ((which == "only") == hit) total += $2 }
    END { printf "%.3f\n", total }' <<<"$1"
}

# at_most WHAT VALUE CEILING
at_most() {
  if awk -v v="$2" -v c="$3" -v t="$TOLERANCE" 'BEGIN { exit !(v <= c + t) }'; then
    ok "$1: $2 per file (at most $3)"
  else
    fail "$1: $2 per file, more than $3"
  fi
}

transfer "$N1"
transfer "$N2"
rx="$(per_file rx)"
tx="$(per_file tx)"
echo "receiver, calls per file:"; sed 's/^/  /' <<<"$rx"
echo "sender, calls per file:"; sed 's/^/  /' <<<"$tx"

# The receiver: open, write and close for each file, nothing more.
at_most "receiver, calls on files and folders" "$(sum_of "$rx" except "$SOCKET_CALLS $RUNTIME_CALLS")" 3
at_most "receiver, socket calls" "$(sum_of "$rx" only "$SOCKET_CALLS")" 0.5
# The sender: the analysis measures each file once (a stat); sending it takes one open,
# the status of that handle, one read and the close.
at_most "sender, opens" "$(sum_of "$tx" only "open openat openat2 creat")" 1
at_most "sender, calls on files and folders" "$(sum_of "$tx" except "$SOCKET_CALLS $RUNTIME_CALLS")" 5
at_most "sender, socket calls" "$(sum_of "$tx" only "$SOCKET_CALLS")" 0.5

# A file that replaces another: its content reaches the disk before the rename, and the
# rename with its folder; a power cut leaves the old file or the whole new one. (The
# history's own database, under XDG_STATE_HOME, is written by a thread of its own: -y names
# each call's file, and its calls are left out.)
store="$WORK/store-replace"
mkdir -p "$store" "$WORK/src-replace"
printf 'old' >"$store/r.txt"
printf 'the new content' >"$WORK/src-replace/r.txt"
rx_start "$store" strace -f -y -e trace=fsync,fdatasync,rename,renameat,renameat2 -o "$WORK/replace.trace"
"$CLI" send --port "$PORT" 127.0.0.1 "$WORK/src-replace/r.txt" >/dev/null || fail "replace: the sender failed"
rx_wait 30
expect_eq "a replacing file: fsync, the rename, then fsync of its folder" "fsync rename fsync" \
  "$(grep -vF "$XDG_STATE_HOME" "$WORK/replace.trace" | grep -oE '(fsync|fdatasync|rename[a-z0-9]*)\(' | sed -E 's/fdatasync/fsync/; s/rename[a-z0-9]*/rename/; s/\($//' | xargs)"
expect_eq "it was replaced whole" "the new content" "$(cat "$store/r.txt")"

finish
