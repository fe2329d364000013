#!/usr/bin/env bash
# Browser access from the Windows program: opened from the tray menu's command, its dialog
# shows the address; a real browser (headless Chromium) on the other PC uploads three files
# (50 MB, a Russian name, an empty file) and downloads a file of the selection and the
# whole selection as a zip, all byte-identical, long requests with and without the token change nothing, while the window's status line shows the uploads as receptions; closing
# the dialog ends access. QV_SCREENSHOTS_DIR=docs/screenshots refreshes the user guide's
# picture of the dialog.
source "$(dirname "$0")/lib.sh"
source "$QV_ROOT/tests/support/browser.sh"
need_browser
TITLE="Browser access"
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
SRC="$WORK/src"
DOWNLOADS="$WORK/downloads"
mkdir -p "$DOWNLOADS" "$SHOTS"
upload_files "$SRC"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
mkdir -p "$WINEPREFIX/drive_c/qv-offer"
head -c 300000 /dev/urandom >"$WINEPREFIX/drive_c/qv-offer/offered.bin"
OFFERED="$WINEPREFIX/drive_c/qv-offer"
printf 'фото' >"$OFFERED/фото.txt"
start_program 'C:\qv-offer\offered.bin' 'C:\qv-offer\фото.txt'
driver wait-text 113 "Server running" 20000 || fail "the listener did not start"
# A recipient keeps discovery quiet, so that its "Nobody found yet." never takes the
# status line that the uploads' result is read from.
driver set-text 103 10.77.0.2

driver post 0x0111 1029 0 >/dev/null  # the tray menu's "Browser access..."
driver wait-dialog "$TITLE" 10000 || fail "the dialog did not open"
URL="$(driver dialog-text "$TITLE" 1051)"
[[ "$URL" =~ ^http://10\.77\.0\.1:2905/[A-Z2-7]{26}/$ ]] && ok "the address: $URL" || fail "the address: \"$URL\""
screenshot_window "$TITLE" "$SHOTS/browser-access-dialog.png"

pc_use pc2
browse in_pc "$WORK" "$URL" "$DOWNLOADS" "$WORK" "$SRC" offered.bin || fail "the browser"
# Long requests, with and without the token, ten times over: the program answers each
# as it should and still serves the page.
token="${URL%/}"
token="${token##*/}"
in_pc python3 "$QV_ROOT/tests/faults/hostile_http.py" 10.77.0.1 2905 "$token" --long-only >"$WORK/hostile.out" ||
  fail "long requests: $(grep FAIL "$WORK/hostile.out" | head -5)"
grep -q "^ok: the page afterwards" "$WORK/hostile.out" && ok "the program lived through long requests"
pc_use pc1
uploads_arrived "$SRC" "$STORE"
cmp -s "$WINEPREFIX/drive_c/qv-offer/offered.bin" "$DOWNLOADS/offered.bin" && ok "the download is byte-identical" ||
  fail "the download differs: $(ls "$DOWNLOADS")"
# The selection as one zip, read by four readers, its UTF-8 name included.
pc_use pc2
in_pc curl -sSf -o "$WORK/all.zip" "${URL}zip" || fail "the zip"
printf '%s\t%s\n' offered.bin "$OFFERED/offered.bin" фото.txt "$OFFERED/фото.txt" >"$WORK/all.list"
check "the zip, read by four readers" python3 "$QV_ROOT/tests/support/zip_check.py" "$WORK/all.zip" "$WORK/all.list"
pc_use pc1
expect_eq "the status line after the uploads" "Receiving complete." "$(driver text 113)"

# Closing the dialog ends access: nothing answers on the port any more.
driver dialog-click "$TITLE" 2 >/dev/null
driver wait-dialog-gone "$TITLE" 10000 || fail "the dialog did not close"
pc_use pc2
rc=0
in_pc curl -s -m 5 -o /dev/null "$URL" || rc=$?
expect_eq "curl's exit status after the dialog closed (7: refused)" "7" "$rc"
pc_use pc1
stop_program
finish
