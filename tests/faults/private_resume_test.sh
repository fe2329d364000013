#!/usr/bin/env bash
# Resume and verification over the private channel, between two copies in two namespaces
# that trust each other (s sends, r receives), case by case (CASES below). What a send puts
# on the link is counted at the sender's end of the veth.
#   resume         a 1 GiB send cut at 40 % keeps its partial file; sent again, at most 65 %
#                  of the file crosses the link, and it arrives byte-identical
#   folder         a folder of 1,000 files of which 900 are there: at most 15 % of its bytes;
#                  an empty file in a subfolder is stored too
#   changed_kept   a kept partial file with one byte changed is sent whole again
#   changed_source a file changed on the sender since the cut is sent whole
#   untrusted      a sender whose key the receiver does not trust gets no HAVE: a file that
#                  is there is sent whole all the same
#   old_send       a request of an earlier exchange (QVP/1 SEND) is an invalid request: closed
#                  without an answer, nothing stored
#   offer_bounds   a sender the policy refuses hears so before its manifest is read (it
#                  never ends one here); an untrusted sender's 5 MiB manifest is closed on
#   hostile_skip   Skip:1 records the receiver did not answer HAVE for (an untrusted key; a
#                  trusted key told NEED) are refused alike whether the name exists or not,
#                  and a refused name reaches the receiver's terminal made safe
#   slow_prefix    a kept prefix whose reading takes several times the stall limit on each
#                  side (slowed reads) resumes, byte-identical
#   disk_refused   a file whose writes the disk refuses (ENOSPC) is counted and named as not
#                  stored on both sides
#   stop_answers   the reception is admitted before the store is hashed for the answers: a
#                  plain send of the same name meanwhile is turned away, and Stop ends it
#   batch_check    small files that take their names together: the two among them whose
#                  check block is another hash never take theirs, the others do, whole
#   batch_kill     the receiver killed (SIGKILL) while small files wait to take their names
#                  and the last one's content is halfway: no file under its name is torn,
#                  and a send again completes the folder
#   batch_big      small files take their names before a large file after them has all come
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
command -v openssl >/dev/null || skip "openssl is missing"
CASES=(${QV_CASES:-resume folder changed_kept changed_source untrusted old_send offer_bounds hostile_skip slow_prefix
  stop_answers disk_refused batch_check batch_kill batch_big})
FAULTS="$QV_NATIVE_BUILD/libqv_file_faults.so"
# The sanitizers' runtime must otherwise come first among the libraries.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
# slowed FOLDER MICROSECONDS: the command prefix whose reads of files under FOLDER are slow.
slowed() { echo "env LD_PRELOAD=$FAULTS QV_SLOW_READ_UNDER=$1 QV_SLOW_READ_MICROSECONDS=$2"; }
GIB=1073741824

# link_bytes: what the sender's end of the veth has sent so far.
link_bytes() { ip -n "$TX_NS" -s -j link show dev "$TX_IF" | python3 -c 'import json,sys; print(json.load(sys.stdin)[0]["stats64"]["tx"]["bytes"])'; }

# sent_by WHAT EXIT SEND ARGS...: sends from s, and sets SENT to the bytes it put on the link.
sent_by() {
  local before
  before="$(link_bytes)"
  send_as s "$@"
  SENT=$(($(link_bytes) - before))
}

# at_most WHAT BYTES OF PERCENT: BYTES is at most PERCENT % of OF.
at_most() { check "$1: $2 bytes on the link, at most $4 % of $3" test "$2" -le $(($3 * $4 / 100)); }

# cut_send WHAT PATH BYTES: a send of PATH cut after BYTES on the link; its partial stays.
cut_send() {
  receive_as r --private-port "$SIDE_PORT"
  proxy_start "$RX_NS" cut "$RX_ADDR" "$3"
  send_as s "$1: cut" 4 --retry-for 0 "$RX_ADDR" "$2"
  expect_result "$1: cut" "Some files were not received. (encrypted, from sender-s)" 10
  stop_peer "$PROXY_PID"
  rx_stop
  check "$1: a partial file is kept" test -n "$(partials)"
}
partials() { find "$STORE" -name '.~qv*.partial'; }

case_resume() {
  mkdir -p "$WORK/src/big"
  head -c "$GIB" /dev/urandom >"$WORK/src/big/big.bin"
  cut_send resume "$WORK/src/big" $((GIB * 2 / 5))
  receive_as r
  sent_by "resume: sent again" 0 "$RX_ADDR" "$WORK/src/big"
  expect_result "resume: sent again" "Receiving complete. (encrypted, from sender-s)" 20
  at_most "resume" "$SENT" "$GIB" 65
  check "resume: byte-identical" cmp -s "$WORK/src/big/big.bin" "$STORE/big/big.bin"
  expect_said "resume: the sender's tally" "$WORK/tx.out" "1 file resumed"
  expect_said "resume: the receiver's tally" "$WORK/rx.out" "1 file resumed"
  check "resume: no partial file left" test -z "$(partials)"
  rx_stop
  rm -rf "$STORE/big" "$WORK/src/big"
}

case_folder() {
  mkdir -p "$WORK/src/many"
  python3 -c '
import os, sys
for i in range(1000):
    with open(os.path.join(sys.argv[1], "f%04d.bin" % i), "wb") as f:
        f.write(os.urandom(20000))' "$WORK/src/many"
  mkdir -p "$STORE/many" "$WORK/src/many/sub"
  : >"$WORK/src/many/sub/empty"
  cp "$WORK/src/many"/f0[0-8]*.bin "$STORE/many/"  # 900 of them
  receive_as r
  sent_by "folder" 0 "$RX_ADDR" "$WORK/src/many"
  expect_result "folder" "Receiving complete. (encrypted, from sender-s)" 20
  at_most "folder" "$SENT" 20000000 15
  check "folder: byte-identical" diff -r "$WORK/src/many" "$STORE/many"
  expect_said "folder: the tally" "$WORK/tx.out" "900 already there, 101 files stored"
  expect_said "folder: the receiver's tally names the sender" "$WORK/rx.out" "900 already there, 101 files stored (from sender-s)"
  rx_stop
}

# changed WHAT FILE: a 64 MiB file cut at 40 %; FILE (the kept partial, or the source)
# then has one byte changed in its first part; sent again, it goes whole and arrives right.
changed() {
  local src="$WORK/src/$1" size=$((64 << 20))
  mkdir -p "$src"
  head -c "$size" /dev/urandom >"$src/data.bin"
  cut_send "$1" "$src" $((size * 2 / 5))
  local target
  if [ "$2" = kept ]; then target="$(partials)"; else target="$src/data.bin"; fi
  printf 'X' | dd of="$target" bs=1 seek=1000 conv=notrunc status=none
  receive_as r
  sent_by "$1: sent again" 0 "$RX_ADDR" "$src"
  expect_result "$1: sent again" "Receiving complete. (encrypted, from sender-s)" 20
  check "$1: sent whole ($SENT bytes on the link)" test "$SENT" -ge "$size"
  check "$1: byte-identical" cmp -s "$src/data.bin" "$STORE/$1/data.bin"
  check "$1: no partial file left" test -z "$(partials)"
  rx_stop
}
case_changed_kept() { changed changed_kept kept; }
case_changed_source() { changed changed_source source; }

case_untrusted() {
  as u "$CLI" trust "$(id_of r)" receiver-r >/dev/null  # u trusts r; r does not trust u
  receive_as r
  local before
  before="$(link_bytes)"
  send_as u "untrusted" 0 "$RX_ADDR" "$WORK/src/many"
  SENT=$(($(link_bytes) - before))
  expect_result "untrusted" "Receiving complete." 20
  check "untrusted: every file sent whole ($SENT bytes on the link)" test "$SENT" -ge 20000000
  check "untrusted: no tally of files already there" not said "$WORK/tx.out" "already there"
  rx_stop
}

# stranger_key: a key that no copy trusts, made once ($WORK/old.crt, old.key, old.pem).
stranger_key() {
  [ -f "$WORK/old.pem" ] && return
  openssl req -x509 -newkey ed25519 -nodes -subj /CN=old -days 1 -keyout "$WORK/old.key" -out "$WORK/old.crt" 2>/dev/null
  cat "$WORK/old.crt" "$WORK/old.key" >"$WORK/old.pem"
}

# stranger FILE [REQUEST]: the first answer to a stranger's key sending FILE.
stranger() {
  stranger_key
  in_tx python3 "$QV_ROOT/tests/faults/old_private_sender.py" "$RX_ADDR" 2906 "$WORK/old.crt" "$WORK/old.key" "$@" || true
}

case_old_send() {
  receive_as r
  mkdir -p "$WORK/src"
  echo "from an old sender" >"$WORK/src/old.txt"
  stream "$WORK/old.stream" old.txt
  expect_eq "old send: no answer" "" "$(stranger "$WORK/old.stream")"
  check "old send: nothing stored" test ! -e "$STORE/old.txt"
  rx_stop
}

case_offer_bounds() {
  receive_as r --trusted-only
  printf 'Version:3.0\nTotal:1' >"$WORK/head.offer"
  expect_eq "offer_bounds: refused first" "QVP/1 REFUSED" "$(stranger "$WORK/head.offer" OFFER | cut -c1-13)"
  rx_stop
  receive_as r
  python3 -c 'import sys; sys.stdout.write("Version:3.0\nTotal:1" + "\n\nType:file\nSize:1\nName:x\nDirectory:\n\n" * 130000 + "\n\nType:end\n\n")' \
    >"$WORK/big.offer"
  expect_eq "offer_bounds: an untrusted 5 MiB manifest is not answered" "" "$(stranger "$WORK/big.offer" OFFER)"
  rx_stop
}

# hostile WHAT PEM ARGS...: the final lines that offer_sender.py with the key in PEM hears
# (ARGS its --offer and --skip files), against a store that holds secret.bin and against
# one that does not: both must be exactly $WANT, and nothing counted already there.
hostile() {
  local what="$1" pem="$2" with without
  shift 2
  printf 'hello' >"$STORE/secret.bin"
  receive_as r
  with="$(in_tx python3 "$QV_ROOT/tests/faults/offer_sender.py" "$RX_ADDR" 2906 "$pem" "$@")"
  rx_stop
  rm -f "$STORE/secret.bin"
  receive_as r
  without="$(in_tx python3 "$QV_ROOT/tests/faults/offer_sender.py" "$RX_ADDR" 2906 "$pem" "$@")"
  rx_stop
  expect_eq "$what: the store that holds the name" "$WANT" "$with"
  expect_eq "$what: the store that does not" "$WANT" "$without"
}

case_hostile_skip() {
  stranger_key
  WANT="$(printf 'FAILED secret.bin\nFAILED ?[31mred.bin\nINCOMPLETE 0 0 0 2')"
  hostile "hostile_skip: an untrusted key" "$WORK/old.pem" --offer secret.bin:5 --skip secret.bin:5 \
    --skip $'\e[31mred.bin:1'
  check "hostile_skip: the refused name is printed" said "$WORK/rx.err" "not stored:"
  check "hostile_skip: no escape reaches the receiver's terminal" not grep -q $'\e' "$WORK/rx.err"
  WANT="$(printf 'FAILED secret.bin\nINCOMPLETE 0 0 0 1')"
  hostile "hostile_skip: a trusted key told NEED" "$WORK/s/config/quorvalinthexa/identity.pem" \
    --offer secret.bin:6 --skip secret.bin:5
}

case_slow_prefix() {
  [ -f "$FAULTS" ] || { fail "slow_prefix: no $FAULTS"; return; }
  local src="$WORK/src/slow" size=$((768 << 20)) kept started
  mkdir -p "$src"
  head -c "$size" /dev/urandom >"$src/slow.bin"
  cut_send slow_prefix "$src" $((size * 4 / 5))
  kept="$(stat -c %s "$(partials)")"
  started=$(date +%s%N)
  $(slowed "$WORK/src" 10000) python3 -c '
import hashlib, os, sys
f, left, h = os.open(sys.argv[1], os.O_RDONLY), int(sys.argv[2]), hashlib.sha256()
while left > 0:
    piece = os.read(f, min(left, 1 << 20))
    h.update(piece)
    left -= len(piece)' "$src/slow.bin" "$kept"
  echo "slow_prefix: hashing the kept $kept bytes slowed takes $((($(date +%s%N) - started) / 1000000)) ms" \
    "against a stall limit of 2000 ms"
  RX_WRAP="$(slowed "$STORE" 10000)" receive_as r
  TX_WRAP="$(slowed "$WORK/src" 10000)" send_as s "slow_prefix: sent again" 0 "$RX_ADDR" "$src"
  expect_result "slow_prefix: sent again" "Receiving complete. (encrypted, from sender-s)" 30
  check "slow_prefix: byte-identical" cmp -s "$src/slow.bin" "$STORE/slow/slow.bin"
  expect_said "slow_prefix: the sender's tally" "$WORK/tx.out" "1 file resumed"
  rx_stop
  rm -rf "$STORE/slow" "$src"
}

case_stop_answers() {
  [ -f "$FAULTS" ] || { fail "stop_answers: no $FAULTS"; return; }
  local src="$WORK/src/stop" rc=0
  mkdir -p "$src" "$STORE/stop"
  head -c $((256 << 20)) /dev/urandom >"$src/stop.bin"
  cp "$src/stop.bin" "$STORE/stop/"
  RX_WRAP="$(slowed "$STORE" 100000)" receive_as r  # 25 s to hash the file that is there
  in_tx env XDG_CONFIG_HOME="$WORK/s/config" XDG_STATE_HOME="$WORK/s/state" "$CLI" send --retry-for 0 "$RX_ADDR" "$src" \
    >"$WORK/tx.out" 2>"$WORK/tx.err" &
  local sender=$!
  hold "$sender"
  check "stop_answers: admitted before the answers" wait_for_line "$WORK/rx.out" '^Receiving from sender-s \(encrypted\)'
  # A plain send of the same name and size meanwhile finds the one reception held.
  mkdir -p "$WORK/plain/stop"
  head -c $((256 << 20)) /dev/urandom >"$WORK/plain/stop/stop.bin"
  send_as u "stop_answers: a plain send meanwhile" 4 --plain "$RX_ADDR" "$WORK/plain/stop"
  check "stop_answers: the file answered for stays as it was" cmp -s "$src/stop.bin" "$STORE/stop/stop.bin"
  kill -INT "$RX_PID"
  check "stop_answers: Stop ends the answers" wait_until 100 ended "$RX_PID"
  check "stop_answers: and the sender's send" wait_until 100 ended "$sender"
  wait "$sender" || rc=$?
  check "stop_answers: the send failed ($rc)" test "$rc" -ne 0
  rx_stop
  rm -rf "$STORE/stop" "$src" "$WORK/plain"
}

case_disk_refused() {
  [ -f "$FAULTS" ] || { fail "disk_refused: no $FAULTS"; return; }
  mkdir -p "$WORK/src/full"
  head -c $((4 << 20)) /dev/urandom >"$WORK/src/full/a.bin"
  RX_WRAP="env LD_PRELOAD=$FAULTS QV_FAIL_WRITE_UNDER=$STORE/full" receive_as r
  send_as s "disk_refused" 4 "$RX_ADDR" "$WORK/src/full"
  expect_result "disk_refused" "Some files were not received. (encrypted, from sender-s)" 10
  expect_said "disk_refused: the sender's tally counts it" "$WORK/tx.out" "1 not stored"
  check "disk_refused: and names it" grep -qF "not the content sent): full/a.bin" "$WORK/tx.out" "$WORK/tx.err"
  expect_said "disk_refused: as the receiver does, naming the sender" "$WORK/rx.err" "not stored: full/a.bin (from sender-s)"
  rx_stop
}

# small_files FOLDER COUNT: COUNT files of 4 KiB, f000.bin on, each its own bytes.
small_files() {
  mkdir -p "$1"
  python3 -c '
import os, sys
for i in range(int(sys.argv[2])):
    with open(os.path.join(sys.argv[1], "f%03d.bin" % i), "wb") as f:
        f.write(os.urandom(4096))' "$1" "$2"
}
PEM_S="$WORK/s/config/quorvalinthexa/identity.pem"

case_batch_check() {
  local src="$WORK/src/checked" f
  small_files "$src" 40
  receive_as r
  WANT="$(printf 'FAILED checked/f007.bin\nFAILED checked/f023.bin\nINCOMPLETE 38 0 0 2')"
  expect_eq "batch_check: the final lines" "$WANT" \
    "$(in_tx python3 "$QV_ROOT/tests/faults/offer_sender.py" "$RX_ADDR" 2906 "$PEM_S" --from "$src" \
      --bad f007.bin --bad f023.bin)"
  rx_stop
  check "batch_check: a file that failed its check has no name" test ! -e "$STORE/checked/f007.bin" \
    -a ! -e "$STORE/checked/f023.bin"
  rm "$src/f007.bin" "$src/f023.bin"
  check "batch_check: the others are whole, and no partial file is left" diff -r "$src" "$STORE/checked"
  rm -rf "$STORE/checked" "$src"
}

# whole_or_missing SRC STORED: every file of SRC's name in STORED is SRC's, whole.
whole_or_missing() {
  local f
  for f in "$2"/*.bin; do [ ! -e "$f" ] || cmp -s "$f" "$1/$(basename "$f")" || return 1; done
}
# named_or_waiting FOLDER COUNT: COUNT files there, named or partial.
named_or_waiting() { [ "$(find "$1" -type f | wc -l)" -ge "$2" ]; }

case_batch_kill() {
  local src="$WORK/src/killed" sender waiting
  small_files "$src" 200
  receive_as r
  rm -f "$WORK/hold" && mkfifo "$WORK/hold"
  in_tx python3 "$QV_ROOT/tests/faults/offer_sender.py" "$RX_ADDR" 2906 "$PEM_S" --from "$src" --hold \
    <"$WORK/hold" >/dev/null &
  sender=$!
  hold "$sender"
  exec 7>"$WORK/hold"
  check "batch_kill: every file arrived" wait_until 100 named_or_waiting "$STORE/killed" 200
  kill -KILL "$RX_PID"
  wait "$RX_PID" 2>/dev/null || true
  RX_PID=""
  waiting=$(partials | grep -c /killed/ || true)
  check "batch_kill: files were waiting for their names ($waiting)" test "$waiting" -gt 0
  check "batch_kill: no file under its name is torn" whole_or_missing "$src" "$STORE/killed"
  exec 7>&-
  stop_peer "$sender"
  receive_as r
  send_as s "batch_kill: sent again" 0 "$RX_ADDR" "$src"
  expect_result "batch_kill: sent again" "Receiving complete. (encrypted, from sender-s)" 20
  rx_stop
  check "batch_kill: the folder is whole" diff -r -x '.~qv*' "$src" "$STORE/killed"
  rm -rf "$STORE/killed" "$src"
}

case_batch_big() {
  local src="$WORK/src/bigger" sender
  small_files "$src" 5
  head -c $((65 << 20)) /dev/urandom >"$src/zz.bin"
  # The large file is held halfway as long as the test looks: no stall may cut it meanwhile.
  receive_as r --stall-seconds 60
  rm -f "$WORK/hold" && mkfifo "$WORK/hold"
  in_tx python3 "$QV_ROOT/tests/faults/offer_sender.py" "$RX_ADDR" 2906 "$PEM_S" --from "$src" --hold \
    <"$WORK/hold" >"$WORK/bigger.out" &
  sender=$!
  hold "$sender"
  exec 7>"$WORK/hold"
  check "batch_big: the small files have their names while the large one is halfway" \
    wait_until 100 test -e "$STORE/bigger/f004.bin"
  check "batch_big: ... and are whole" whole_or_missing "$src" "$STORE/bigger"
  exec 7>&-
  wait "$sender" 2>/dev/null || true
  rx_stop
  check "batch_big: the folder is whole (the large file was not cut while the others waited)" diff -r "$src" "$STORE/bigger"
  rm -rf "$STORE/bigger" "$src"
}

as r "$CLI" trust "$(id_of s)" sender-s >/dev/null
as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
for name in "${CASES[@]}"; do
  echo "== $name"
  "case_$name"
done
finish
