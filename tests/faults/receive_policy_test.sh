#!/usr/bin/env bash
# Who may send, on the command-line peer: --allow admits a listed sender and refuses any
# other (here the receiver's own namespace, which sends from 127.0.0.1); --ask stores a
# transfer only after a "y" typed on its terminal, declines on "n" and on silence, and
# then refuses that sender without a question for a while; a Stop meanwhile is no yes. A refused sender always
# learns that its transfer did not arrive (exit status 4), and nothing is stored.
source "$(dirname "$0")/lib.sh"

mkdir -p "$WORK/src/item"
printf 'a listed file' >"$WORK/src/item/file.txt"

# send_from WHERE: sends $WORK/src/item from the other namespace (tx) or from the
# receiver's own (rx, to 127.0.0.1); prints the exit status.
send_from() {
  local rc=0
  if [ "$1" = tx ]; then in_tx "$CLI" send "$RX_ADDR" "$WORK/src/item" >/dev/null 2>>"$WORK/tx.err" || rc=$?
  else ip netns exec "$RX_NS" "$CLI" send 127.0.0.1 "$WORK/src/item" >/dev/null 2>>"$WORK/tx.err" || rc=$?; fi
  echo "$rc"
}
# said TEXT: how many times the receiver has said TEXT on stderr (questions end no line).
said() { grep -oF -- "$1" "$WORK/rx.err" | wc -l; }
said_at_least() { [ "$(said "$1")" -ge "$2" ]; }
# refused WHAT LINE: the receiver said LINE on stderr, the sender failed (exit 4), and
# nothing was stored.
refused() {
  expect_eq "$1: the sender's exit status" 4 "$2"
  wait_until 50 said_at_least "$3" 1 && ok "$1: \"$3\"" || fail "$1: no \"$3\" in $(tail -n 3 "$WORK/rx.err")"
  [ -z "$(ls -A "$STORE")" ] && ok "$1: nothing stored" || fail "$1: stored $(ls -A "$STORE")"
}
stored() {
  expect_eq "$1: the sender's exit status" 0 "$2"
  expect_eq "$1: the file" "a listed file" "$(cat "$STORE/item/file.txt" 2>/dev/null)"
  rm -rf "${STORE:?}"/*
}

# --- Only listed senders.
: >"$WORK/rx.err"
rx_start --no-discovery --allow "10.213.0.0/30, 192.168.7.7"
stored "a listed sender" "$(send_from tx)"
refused "a sender not listed" "$(send_from rx)" "Refused 127.0.0.1: not on the list of senders."
rx_stop

# --- Ask each time, answered on the receiver's terminal.
mkfifo "$WORK/tty"
: >"$WORK/rx.err"
RX_WRAP="python3 $QV_ROOT/tests/faults/tty_stdin.py $WORK/tty" rx_start --no-discovery --ask --ask-seconds 3
# answer_with TEXT WHERE: sends from WHERE, types TEXT after its question ("" types
# nothing); prints the sender's exit status.
answer_with() {
  local out="$WORK/ask.rc" asked
  asked=$(($(said "Accept? [y/N]") + 1))
  (send_from "$2" >"$out") &
  local sender=$!
  wait_until 100 said_at_least "Accept? [y/N]" "$asked" || fail "question $asked was not asked"
  [ -z "$1" ] || printf '%s\n' "$1" >"$WORK/tty"
  wait "$sender"
  cat "$out"
}
stored "asked, and y" "$(answer_with y tx)"
[ "$(said "10.213.0.2 wants to send you 13 B. Accept? [y/N]")" = 1 ] &&
  ok "the question names the sender and the size" || fail "the question: $(grep Accept "$WORK/rx.err" | head -1)"
refused "asked, and n" "$(answer_with n tx)" "Declined the files from 10.213.0.2."
refused "asked again at once" "$(send_from tx)" "Refused 10.213.0.2: declined a moment ago."
expect_eq "questions asked" 2 "$(said "Accept? [y/N]")"
refused "asked, and no answer" "$(answer_with "" rx)" "No answer: declined the files from 127.0.0.1."
rx_stop

# Stopped (Ctrl-C) while an empty folder's question is open: its sender learns that nothing
# was taken, also when the receiver ends before the reception's thread.
: >"$WORK/rx.err"
RX_WRAP="python3 $QV_ROOT/tests/faults/tty_stdin.py $WORK/tty" rx_start --no-discovery --ask --ask-seconds 50
mkdir -p "$WORK/src/empty"
(rc=0
  in_tx "$CLI" send "$RX_ADDR" "$WORK/src/empty" >/dev/null 2>>"$WORK/tx.err" || rc=$?
  echo "$rc" >"$WORK/empty.rc") &
emptied=$!
wait_until 100 said_at_least "Accept? [y/N]" 1 || fail "the empty folder's question was not asked"
rx_stop
wait "$emptied"
expect_eq "stopped while asked: the sender's exit status" 4 "$(cat "$WORK/empty.rc")"
[ -z "$(ls -A "$STORE")" ] && ok "stopped while asked: nothing stored" || fail "stopped while asked: stored $(ls -A "$STORE")"

# --- Asking without a terminal declines at once.
: >"$WORK/rx.err"
rx_start --no-discovery --ask
refused "nobody to ask" "$(send_from tx)" "Declined the files from 10.213.0.2."
rx_stop

finish
