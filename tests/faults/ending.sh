# Checks shared by the tests that end a receiver in the middle of a file (the command-line
# peer here, the Windows program in e2e/accept_and_exit_test.sh). Sourced after a lib.sh,
# whose checks (tests/support/checks.sh) it uses.

# slow_link NS DEV / fast_link NS DEV: about 2 MB/s out of DEV, so that a few megabytes
# take seconds and an ending falls in the middle of a file.
slow_link() { ip netns exec "$1" tc qdisc add dev "$2" root tbf rate 16mbit burst 32kbit latency 400ms; }
fast_link() { ip netns exec "$1" tc qdisc del dev "$2" root 2>/dev/null || true; }

# expect_gone WHAT PID: the process ends within 10 s of being told to.
expect_gone() {
  if wait_until 100 ended "$2"; then ok "$1: it exits"; else fail "$1: still running 10 s later"; fi
}

# expect_no_process_in WHAT NS PATTERN: no process of the namespace runs PATTERN.
expect_no_process_in() {
  local pid left=""
  for pid in $(ip netns pids "$2"); do
    grep -qa -- "$3" "/proc/$pid/cmdline" 2>/dev/null && left="$left $pid"
  done
  [ -z "$left" ] && ok "$1: no process left behind" || fail "$1: processes left behind:$left"
}

# expect_cut_new_file WHAT SENT STORED: a file that did not exist before keeps the bytes
# that came, and only those.
expect_cut_new_file() {
  local size
  size="$(stat -c %s "$3" 2>/dev/null || echo missing)"
  if [ "$size" = missing ] || [ "$size" -eq 0 ]; then fail "$1: the new file lost what came ($size)"; return; fi
  if [ "$size" -le "$(stat -c %s "$2")" ] && cmp -s -n "$size" "$2" "$3"; then
    ok "$1: the new file keeps the $size bytes that came"
  else
    fail "$1: the new file holds other bytes ($size)"
  fi
}

# expect_old_file_kept WHAT BEFORE FOLDER NAME: a file that existed before is exactly as it
# was, and its folder holds nothing else (no temporary file).
expect_old_file_kept() {
  cmp -s "$2" "$3/$4" && ok "$1: the existing file is unchanged" || fail "$1: the existing file changed"
  expect_eq "$1: nothing else in its folder" "$4" "$(ls -A "$3" | xargs)"
}

# make_ending_sources: two 8 MiB files to send, $WORK/src/fresh/new.bin and
# $WORK/src/kept/old.bin. make_old_file STORE: an older kept/old.bin in the store, and
# its copy in $WORK/old.before.
make_ending_sources() {
  mkdir -p "$WORK/src/fresh" "$WORK/src/kept"
  head -c 8388608 /dev/urandom >"$WORK/src/fresh/new.bin"
  head -c 8388608 /dev/urandom >"$WORK/src/kept/old.bin"
}
make_old_file() {
  mkdir -p "$1/kept"
  head -c 1048576 /dev/urandom >"$1/kept/old.bin"
  cp "$1/kept/old.bin" "$WORK/old.before"
}
