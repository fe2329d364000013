#!/usr/bin/env bash
# What a received file does to a file of its name already in the Windows program's store:
# the choice read from the registry ("ExistingFiles" 1 keeps both), shown and changed in the
# settings dialog's drop-down, and the question the choice "Ask" raises, answered through
# the real dialog. The sender is the command-line peer on the other PC. Pictures of the
# setting and of the question go to QV_SCREENSHOTS_DIR when it is set.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
[ -x "$CLI" ] || skip "no $CLI (make native)"
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK}"
QUESTION="Files already there"

pc_up pc2
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
mkdir -p "$WORK/src/item"
printf 'the new one' >"$WORK/src/item/file.txt"

# send_item: the command-line peer on pc2 sends $WORK/src/item to the program; prints its
# exit status.
send_item() {
  local rc=0
  pc_use pc2
  in_pc "$CLI" send 10.77.0.1 "$WORK/src/item" >/dev/null 2>>"$WORK/send.err" || rc=$?
  pc_use pc1
  echo "$rc"
}
# store_is WHAT LISTING: the store's item folder holds exactly these files, "name=content|".
store_is() {
  local listing="" name
  for name in $(cd "$STORE/item" && ls -A | tr ' ' '?'); do
    name="${name//\?/ }"
    listing+="$name=$(cat "$STORE/item/$name")|"
  done
  expect_eq "$1" "$2" "$listing"
}

pc_use pc1
reg_clear
use_store
mkdir -p "$STORE/item"
printf 'the old one' >"$STORE/item/file.txt"
reg_set ExistingFiles REG_DWORD 1
start_program
driver wait-text 113 "Server running" 20000 >/dev/null || fail "the listener did not start"

# --- Keep both, as stored: the new file takes "file (2).txt", the old one stays.
expect_eq "keep both: the sender's exit status" 0 "$(send_item)"
driver wait-text 113 "Receiving complete." 20000 || fail "keep both: the status line says \"$(driver text 113)\""
store_is "keep both: both files" "file (2).txt=the new one|file.txt=the old one|"

# --- The drop-down shows the stored choice; "Ask" is stored as 3.
open_settings
expect_eq "the setting shown" "Keep both: name (2).ext" "$(driver combo-selected "$SETTINGS" 7258)"
expect_eq "the setting's choices" \
  "Replace it|Keep both: name (2).ext|Skip when identical, else keep both|Ask" "$(driver combo-items "$SETTINGS" 7258)"
driver combo-select "$SETTINGS" 7258 "Ask" >/dev/null
screenshot_window "$SETTINGS" "$SHOTS/settings-existing-files.png"
close_settings 1
expect_eq "Ask stored" "0x3" "$(reg_query ExistingFiles)"

# --- Ask: the question names the sender and the file; Skip leaves the store as it was.
(send_item >"$WORK/ask.rc") &
sender=$!
driver wait-dialog "$QUESTION" 20000 || fail "no question"
expect_eq "the question" "Files from 10.77.0.2 have names the store folder already has:" \
  "$(driver dialog-text "$QUESTION" 7251)"
expect_eq "the names listed" "item/file.txt" "$(driver dialog-text "$QUESTION" 7252)"
screenshot_window "$QUESTION" "$SHOTS/existing-files-question.png"
driver dialog-click "$QUESTION" 7255 >/dev/null
wait "$sender"
expect_eq "skip: the sender's exit status" 0 "$(cat "$WORK/ask.rc")"
driver wait-text 113 "Receiving complete." 20000 || fail "skip: the status line says \"$(driver text 113)\""
store_is "skip: nothing changed" "file (2).txt=the new one|file.txt=the old one|"

# --- Replace, answered: the old file takes the new content.
(send_item >"$WORK/ask.rc") &
sender=$!
driver wait-dialog "$QUESTION" 20000 || fail "no second question"
driver dialog-click "$QUESTION" 7253 >/dev/null
wait "$sender"
driver wait-text 113 "Receiving complete." 20000 || fail "replace: the status line says \"$(driver text 113)\""
store_is "replace: the file replaced" "file (2).txt=the new one|file.txt=the new one|"
stop_program
finish
