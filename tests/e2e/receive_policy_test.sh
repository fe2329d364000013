#!/usr/bin/env bash
# Who may send to the Windows program, worked through its windows: the four choices
# stored through the settings dialog, a list with a bad entry refused there, the question
# answered through the real dialog, the tray's pause, and a store too small for what is
# announced. The senders are the command-line peer on the other PC (10.77.0.2) and on
# the program's own (127.0.0.1).
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
[ -x "$CLI" ] || skip "no $CLI (make native)"
ASK="Incoming files"

pc_up pc2
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
SMALL="$WORK/small"
trap 'umount -l "$SMALL" 2>/dev/null || true; cleanup' EXIT
mkdir -p "$WORK/src/item"
printf 'a listed file' >"$WORK/src/item/file.txt"

# send_from PC ADDRESS: the command-line peer on PC sends $WORK/src/item to ADDRESS; prints
# its exit status.
send_from() {
  local rc=0 back="$PC"
  pc_use "$1"
  in_pc "$CLI" send "$2" "$WORK/src/item" >/dev/null 2>>"$WORK/send.err" || rc=$?
  pc_use "$back"
  echo "$rc"
}
# outcome WHAT RC STATUS STORED: the sender's exit status, the status line, and whether the
# item arrived (it is removed again).
outcome() {
  driver wait-text 113 "$3" 20000 && ok "$1: \"$3\"" || fail "$1: the status line says \"$(driver text 113)\""
  if [ "$4" = stored ]; then
    expect_eq "$1: sender's exit status" 0 "$2"
    expect_eq "$1: the file" "a listed file" "$(cat "$STORE/item/file.txt" 2>/dev/null)"
  else
    expect_eq "$1: sender's exit status" 4 "$2"
    expect_eq "$1: nothing stored" "" "$(ls -A "$STORE")"
  fi
  rm -rf "${STORE:?}"/*
}
# start_listening [RUNNING]: the program, once its listener takes connections (its window
# shows first, and a sender sooner than the listener would find nobody there). RUNNING is
# the status line's text for it in the language in force.
start_listening() {
  start_program
  driver wait-text 113 "${1:-Server running}" 20000 >/dev/null || fail "the listener did not start"
}
# choose N [LIST]: the N-th choice (0 to 3) through the dialog, with LIST in its field.
choose() {
  open_settings
  driver dialog-press "$SETTINGS" $((1031 + $1))
  [ -z "${2:-}" ] || driver dialog-set-text "$SETTINGS" 1035 "$2"
  close_settings 1
}

pc_use pc1
reg_clear
use_store
start_listening

# --- Without a stored choice everyone may send, as always.
outcome "no choice stored" "$(send_from pc2 10.77.0.1)" "Receiving complete." stored

# --- The four choices round-trip through the dialog and the registry; the list's field
# is open for the third only.
for n in 0 1 2 3; do
  choose $n
  expect_eq "choice $n stored" "0x$n" "$(reg_query AcceptFrom)"
  open_settings
  expect_eq "choice $n shown" 1 "$(driver checked "$SETTINGS" $((1031 + n)))"
  expect_eq "choice $n: the list's field enabled" "$([ $n = 2 ] && echo 1 || echo 0)" \
    "$(driver dialog-enabled "$SETTINGS" 1035)"
  close_settings 2
done

# --- A bad entry is named in a box and nothing is stored.
open_settings
driver dialog-press "$SETTINGS" 1033
driver dialog-set-text "$SETTINGS" 1035 "10.77.0.2, 10.77.0.300"
driver dialog-click "$SETTINGS" 1 >/dev/null
expect_eq "the bad entry's box" "This is not an IPv4 address or range: 10.77.0.300" \
  "$(pcwine "$DRIVER" dialog-text 'Error!' 65535 10000 2>/dev/null | tr -d '\r')"
pcwine "$DRIVER" dialog-close 'Error!' 5000 >/dev/null 2>&1 || true
driver wait-dialog "$SETTINGS" 2000 && ok "the dialog stays open on a bad entry" || fail "the dialog closed"
close_settings 2
expect_eq "nothing stored for a bad entry" "0x3" "$(reg_query AcceptFrom)"

# --- Only listed senders: the other PC is listed, the program's own PC is not.
choose 2 "10.77.0.0/30 192.168.7.7"
expect_eq "the list stored" "10.77.0.0/30 192.168.7.7" "$(reg_query AllowedSenders)"
outcome "a listed sender" "$(send_from pc2 10.77.0.1)" "Receiving complete." stored
outcome "a sender not listed" "$(send_from pc1 127.0.0.1)" "Refused 127.0.0.1: not on the list of senders." none

# --- Ask each time: the question names the sender and the size; Accept stores, Decline
# does not and refuses that sender without a question for a while.
choose 1
# ask_and PC ADDRESS BUTTON: sends, waits for the question (its text to $WORK/question),
# clicks BUTTON (none: no click); prints the sender's exit status.
ask_and() {
  (send_from "$1" "$2" >"$WORK/ask.rc") &
  local sender=$!
  driver wait-dialog "$ASK" 20000 >/dev/null || fail "no question for $2"
  driver dialog-text "$ASK" 1040 >"$WORK/question"
  [ "$3" = none ] || driver dialog-click "$ASK" "$3" >/dev/null
  wait "$sender"
  cat "$WORK/ask.rc"
}
outcome "asked, Accept" "$(ask_and pc2 10.77.0.1 1041)" "Receiving complete." stored
expect_eq "the question" "10.77.0.2 wants to send you 13 B. Accept?" "$(cat "$WORK/question")"
outcome "asked, Decline" "$(ask_and pc2 10.77.0.1 2)" "Declined the files from 10.77.0.2." none
outcome "asked again at once" "$(send_from pc2 10.77.0.1)" "Refused 10.77.0.2: declined a moment ago." none
driver wait-dialog-gone "$ASK" 1000 && ok "no question for a sender just declined" || fail "asked again"

# --- The tray's pause refuses everyone; resume brings the question back.
tray_item() {  # the tray menu's second item: Pause receiving / Resume receiving
  driver post 1026 0 516
  driver menu-open 10000 || fail "the tray menu did not open"
  driver menu-keys down down return
}
accept_from_is() { [ "$(reg_query AcceptFrom)" = "$1" ]; }
tray_item
wait_until 50 accept_from_is 0x3 && ok "Pause stored" || fail "AcceptFrom after Pause: $(reg_query AcceptFrom)"
outcome "paused" "$(send_from pc2 10.77.0.1)" "Receiving is paused: refused 10.77.0.2." none
tray_item
wait_until 50 accept_from_is 0x1 && ok "Resume brings the question back" ||
  fail "AcceptFrom after Resume: $(reg_query AcceptFrom)"
choose 0
stop_program

# --- A store on a small drive (D:, a 2 MiB tmpfs): 3 MiB announced is refused before
# anything is written; a small transfer still fits.
mkdir -p "$SMALL"
mount -t tmpfs -o size=2m tmpfs "$SMALL"
ln -sfn "$SMALL" "$WINEPREFIX/dosdevices/d:"
# The PC's wineserver, which opens files for the program, took a copy of the mounts when
# it entered the PC's network: it starts again to see this one.
wineserver -k
in_pc setsid wineserver -p </dev/null >/dev/null 2>&1 || true
in_pc setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
reg_set Directory REG_SZ 'D:\'
STORE="$SMALL"
start_listening
head -c 3145728 /dev/urandom >"$WORK/src/item/big.bin"
outcome "3 MiB into 2 MiB" "$(send_from pc2 10.77.0.1)" "Not enough free space in the store folder." none
rm "$WORK/src/item/big.bin"
outcome "a small transfer on the small drive" "$(send_from pc2 10.77.0.1)" "Receiving complete." stored
stop_program
use_store

# --- Pictures of the question in English and Russian (to the scratch folder;
# QV_SCREENSHOTS_DIR=docs/screenshots refreshes the user guide's), and, for a look at the
# texts in their places, of the question in Spanish and the settings with the list open
# in all three (to QV_REVIEW_DIR, if set).
shots="${QV_SCREENSHOTS_DIR:-$WORK}"
review="${QV_REVIEW_DIR:-$WORK}"
mkdir -p "$shots" "$review"
X11_KEY='HKCU\Software\Wine\X11 Driver'
pcwine reg add "$X11_KEY" /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
for language in en:0409:"Incoming files":"Server running" ru:0419:"Входящие файлы":"Сервер работает" \
  es:0c0a:"Archivos entrantes":"Servidor en funcionamiento"; do
  IFS=: read -r code id title running <<<"$language"
  reg_set Language REG_SZ "$id"
  reg_set AcceptFrom REG_DWORD 1
  start_listening "$running"
  (send_from pc2 10.77.0.1 >/dev/null) &
  sender=$!
  driver wait-dialog "$title" 20000 || fail "no question in $code: $(tail -n 2 "$WORK/send.err")"
  screenshot_window "$title" "$([ "$code" = es ] && echo "$review" || echo "$shots")/ask-$code.png"
  driver dialog-click "$title" 2 >/dev/null
  wait "$sender" || true
  open_settings
  driver dialog-press "$SETTINGS" 1033
  screenshot_window "$SETTINGS" "$review/settings-receive-$code.png"
  close_settings 2
  stop_program
done
pcwine reg delete "$X11_KEY" /v Decorated /f >/dev/null 2>&1 || true
reg_clear
finish
