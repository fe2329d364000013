#!/usr/bin/env bash
# `quorvalinthexa receive --once` ends by itself after its first reception, with exit
# status 0 only when that reception was complete. A probe that sends nothing, an
# address hand-over (what discovery brings) and a transfer of nothing do not end it, and running out of descriptors
# for a while does not stop it listening.
source "$(dirname "$0")/lib.sh"

src="$WORK/src/tree"
mkdir -p "$src/sub"
printf 'hello' >"$src/a.txt"
: >"$src/sub/empty.txt"
head -c 300000 /dev/urandom >"$src/sub/data.bin"

send_tree() { "$CLI" send --port "$PORT" 127.0.0.1 "$src" >/dev/null; }
probe() { exec 3<>"/dev/tcp/127.0.0.1/$PORT" && exec 3>&-; }
hand_over() { send_raw 'Version:3.0\n\nType:ip\nSize:8\nFlags:0\n\n10.9.8.7\n\n'; }
empty() { send_raw 'Version:3.0\nTotal:0\n\n'; }
pause() { sleep 0.5; }
cut_short() { send_raw 'Version:3.0\nTotal:10\n\nType:file\nSize:10\nName:cut.txt\nDirectory:/\n\nabc'; }
old_version() { send_raw 'Version:2.0\nTotal:3\n\nType:file\nSize:3\nName:old.txt\nDirectory:/\n\nabc'; }
interrupt() { kill -TERM "$RX_PID"; }
# Every descriptor taken for a second: accepts fail (EMFILE) meanwhile, and the receiver
# goes on listening. The accept already waiting takes its descriptor first: a probe uses it.
starved() {
  local n=0 soft hard sender rc=0
  while [ -e "/proc/$RX_PID/fd/$n" ]; do n=$((n + 1)); done
  read -r soft hard < <(prlimit --pid "$RX_PID" --nofile --output SOFT,HARD --noheadings)
  prlimit --pid "$RX_PID" --nofile="$n:$hard"
  probe
  send_tree &
  sender=$!
  sleep 1
  prlimit --pid "$RX_PID" --nofile="$soft:$hard"
  wait "$sender" || rc=$?
  return "$rc"
}

# what | exit status | steps, in order
n=0
while IFS='|' read -r what expected steps; do
  n=$((n + 1))
  store="$WORK/store$n"
  mkdir -p "$store"
  rx_start "$store"
  for step in $steps; do $step || fail "$what: step $step failed"; done
  rx_wait 30
  expect_eq "$what: exit status" "$expected" "$RX_STATUS"
  if [[ " $steps " == *" send_tree "* ]]; then
    diff -r "$src" "$store/tree" >/dev/null && ok "$what: the tree arrived" || fail "$what: the tree differs"
  fi
done <<'CASES'
a complete transfer|0|send_tree
a probe and an address hand-over before it|0|probe pause hand_over pause send_tree
an empty transfer before it|0|empty pause send_tree
content cut short|1|cut_short
a sender of another version|1|old_version
interrupted before any reception|1|interrupt
no descriptor free for a while|0|starved
CASES

finish
