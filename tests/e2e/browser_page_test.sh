#!/usr/bin/env bash
# The access page of the Windows program in a real browser (headless Chromium on the other
# PC; tests/support/page_client.py with every check): the keyboard path, a folder sent by
# the picker and by a drop, a refusal, cancel, text both ways (the browser's text read from
# the program's own window; the page shows the dialog's box), the offered folder and all
# files as zips, axe-core in each state, light and dark. Then a download cut halfway and
# resumed by `curl -C -` is byte-identical.
source "$(dirname "$0")/lib.sh"
source "$QV_ROOT/tests/support/browser.sh"
need_browser
[ -f "$QV_ROOT/node_modules/axe-core/axe.min.js" ] || skip "node_modules/axe-core is missing (scripts/install-deps.sh)"
DIALOG="Browser access" WINDOW="Text from 10.77.0.2"
BOX=1055 BODY=1060
THEIR_TEXT='<b>not bold</b> & "quoted" — текст'

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
OFFER="$WINEPREFIX/drive_c/qv-offer"
mkdir -p "$OFFER/Photos/sub" "$WORK/Trip/sub"
for i in $(seq 10 20); do printf 'photo %s' "$i" >"$OFFER/Photos/img$i.jpg"; done
printf deep >"$OFFER/Photos/sub/deep.txt"
printf notes >"$OFFER/notes.txt"
head -c 30000000 /dev/urandom >"$OFFER/big.bin"
head -c 1024 /dev/urandom >"$WORK/Trip/a.txt"
head -c 512 /dev/urandom >"$WORK/Trip/sub/b.txt"
start_program 'C:\qv-offer\Photos' 'C:\qv-offer\notes.txt' 'C:\qv-offer\big.bin'
driver wait-text 113 "Server running" 20000 || fail "the listener did not start"
driver post 0x0111 1029 0 >/dev/null  # the tray menu's "Browser access..."
driver wait-dialog "$DIALOG" 10000 || fail "the dialog did not open"
URL="$(driver dialog-text "$DIALOG" 1051)"
driver dialog-type "$DIALOG" "$BOX" "$THEIR_TEXT" >/dev/null

pc_use pc2
in_pc env HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/run" /usr/bin/python3 "$QV_ROOT/tests/support/page_client.py" \
  "$URL" en "$WORK" "$WORK/shots" "$OFFER" "$THEIR_TEXT" --all || fail "the page"
pc_use pc1
diff -r "$WORK/Trip" "$STORE/Trip" >/dev/null && ok "the folder arrived whole" || fail "the folder differs"
expect_eq "the dropped folder" "one" "$(cat "$STORE/Dropped/one.txt" 2>&1)"
texts="$(driver dialog-texts "$WINDOW" "$BODY" 2>/dev/null | tr -d '\r')"
[[ "$texts" == *"Grüße, мир 👋 <i>not markup</i>"* ]] && ok "the browser's text is in the program's window" ||
  fail "the text windows show \"$texts\""

# A download cut after 10 MB, then resumed: the same bytes as the file.
pc_use pc2
id="$(in_pc curl -s "${URL}files" | python3 -c 'import json,sys; print([f["id"] for f in json.load(sys.stdin) if f["name"] == "big.bin"][0])')"
in_pc curl -s -r 0-9999999 -o "$WORK/big.part" "${URL}files/$id"
expect_eq "the first part's size" "10000000" "$(stat -c %s "$WORK/big.part")"
in_pc curl -s -C - -o "$WORK/big.part" "${URL}files/$id"
pc_use pc1
cmp -s "$OFFER/big.bin" "$WORK/big.part" && ok "the resumed download is byte-identical" || fail "the resumed download differs"
driver dialog-click "$DIALOG" 2 >/dev/null
stop_program
finish
