#!/usr/bin/env bash
# Two PCs: the program under Wine on one, the command-line peer on the other. The program
# sends a nested tree with non-ASCII names (paths from its command line, recipient typed,
# Send file clicked); the peer sends one back. Both arrive byte-identical. Then 20 sends
# in a row, each clicked as soon as the last one says "Transfer complete.", all received;
# 20 sends to a peer busy with another reception, each reported as not arrived. Then the
# failures a user meets: nobody listening, and no recipient at all.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2

src="$WORK/src"
mkdir -p "$src/Фотографии/2010" "$src/Docs/vacío"
head -c 3000000 /dev/urandom >"$src/Фотографии/2010/снимок.jpg"
printf 'ñandú' >"$src/Фотографии/notes año.txt"
: >"$src/Docs/empty.txt"
printf 'top' >"$src/top.txt"

# The program sends to the command-line peer.
pc_use pc2
cli_store="$WORK/cli-store"
mkdir -p "$cli_store"
in_pc_exec "$CLI" receive --store "$cli_store" >"$WORK/cli-receive.out" 2>&1 &
cli=$!
pc_use pc1
reg_clear
use_store
winsrc="Z:$(tr / '\\' <<<"$src")"
start_program "$winsrc\\Фотографии" "$winsrc\\Docs" "$winsrc\\top.txt"
expect_eq "summary" "Selected: files: 1; folders: 2" "$(driver text 1011)"
driver set-text 103 10.77.0.2
driver click 110
driver wait-text 113 "Transfer complete." 60000 || fail "the send did not complete"
expect_eq "Send enabled after the send" "1" "$(driver enabled 110)"
wait_for_line "$WORK/cli-receive.out" "Receiving complete." || true
grep -q "Receiving complete." "$WORK/cli-receive.out" && echo "ok: the peer says Receiving complete." || fail "peer: $(cat "$WORK/cli-receive.out")"
diff -r "$src" "$cli_store" >/dev/null && echo "ok: the tree arrived byte-identical at the peer" ||
  fail "trees differ: $(diff -rq "$src" "$cli_store" 2>&1 | head -3)"

# The peer sends back to the program.
pc_use pc2
rc=0
in_pc "$CLI" send 10.77.0.1 "$src/Фотографии" "$src/Docs" "$src/top.txt" >"$WORK/cli-send.out" 2>&1 || rc=$?
expect_eq "peer send exit code" "0" "$rc"
pc_use pc1
driver wait-text 113 "Receiving complete." 60000 || fail "the program did not complete the reception"
diff -r "$src" "$STORE" >/dev/null && echo "ok: the tree arrived byte-identical in the program" ||
  fail "trees differ: $(diff -rq "$src" "$STORE" 2>&1 | head -3)"

# Send clicked again as soon as the status reads "Transfer complete.", 20 times: each
# send finds the peer free, because the last one ended only once the peer had closed.
rounds=20
for i in $(seq "$rounds"); do
  driver set-text 113 ""
  driver click 110 || fail "round $i: Send file was not enabled"
  driver wait-text 113 "Transfer complete." 60000 || { fail "round $i: $(driver text 113)"; break; }
done
received_all() { [ "$(grep -c '^Receiving complete\.$' "$WORK/cli-receive.out")" -ge $((rounds + 1)) ]; }
wait_until 100 received_all || true
expect_eq "$rounds sends in a row: all received complete" "$((rounds + 1)) 0" \
  "$(grep -c '^Receiving complete\.$' "$WORK/cli-receive.out") $(grep -c 'not received' "$WORK/cli-receive.out")"
diff -r "$src" "$cli_store" >/dev/null && echo "ok: the tree is byte-identical after them" || fail "trees differ"
stop_peer "$cli"

# A peer busy with a slow reception that still makes progress turns the program's sends
# away: each says so, and nothing of them is stored.
busy_store="$WORK/busy-store"
mkdir -p "$busy_store"
pc_use pc2
in_pc_exec "$CLI" receive --store "$busy_store" --no-discovery >"$WORK/cli-busy.out" 2>&1 &
cli=$!
wait_for_line "$WORK/cli-busy.out" "Server running"
{ printf 'Version:3.0\nTotal:8388608\n\nType:file\nSize:8388608\nName:slow.bin\nDirectory:/\n\n'; head -c 8388608 /dev/zero; } \
  >"$WORK/slow.stream"
(in_pc_exec python3 "$QV_ROOT/tests/faults/peer.py" send 127.0.0.1 2904 "$WORK/slow.stream" --upto 200 \
  --then pace:240:32768) &
holder=$!
wait_for_line "$WORK/cli-busy.out" "^Receiving$"
pc_use pc1
refused=0
for i in $(seq 20); do
  driver set-text 113 ""
  driver click 110 || { fail "busy round $i: Send file was not enabled"; break; }
  driver wait-text 113 "Some files may not sent." 30000 && refused=$((refused + 1))
done
expect_eq "20 sends to a busy peer: each reports that it did not arrive" 20 "$refused"
expect_eq "nothing of them was stored" "slow.bin" "$(ls "$busy_store" | xargs)"
stop_peer "$holder"

# Nobody listening: the connection is refused and the error box says so.
stop_peer "$cli"
driver click 110
text="$(pcwine "$DRIVER" dialog-text 'Error!' 65535 30000 2>/dev/null | tr -d '\r' || true)"
[[ "$text" == "Connect error "* ]] && echo "ok: error box \"$text\"" || fail "expected a connect error box, got \"$text\""
pcwine "$DRIVER" dialog-close 'Error!' 5000 >/dev/null 2>&1 || true
expect_eq "Send enabled after the error" "1" "$(driver enabled 110)"

# No recipient: text 145 and nothing starts.
driver set-text 103 ""
driver click 110
expect_eq "empty recipient box" "Please, specify recipient IP" \
  "$(pcwine "$DRIVER" dialog-text 'Error!' 65535 20000 2>/dev/null | tr -d '\r' || true)"
pcwine "$DRIVER" dialog-close 'Error!' 5000 >/dev/null 2>&1 || true
stop_program
finish
