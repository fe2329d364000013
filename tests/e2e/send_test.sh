#!/usr/bin/env bash
# Two PCs: the program under Wine on one, the command-line peer on the other. The program
# sends a nested tree with non-ASCII names (paths from its command line, recipient typed,
# Send file clicked); the peer sends one back. Both arrive byte-identical. Then the
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
