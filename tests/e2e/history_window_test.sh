#!/usr/bin/env bash
# The History window lists what arrived, newest first: a stream from the peer on the other
# PC, a browser upload and a browser text. It is opened by the main window's button, the
# tray menu and a click on an arrival's note; it refreshes while open, the filter narrows
# it as the user types, Show in folder starts Explorer on the item, Copy text copies a
# text, Clear history (after its question) empties it, the settings' limit trims it, and
# Esc closes it. Screenshots in English and Spanish go to QV_SCREENSHOTS_DIR.
source "$(dirname "$0")/lib.sh"
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SHOTS"
HISTORY=History LIST=1112 FILTER=1111 SHOW=1113 COPY=1115 CLEAR=1116 COUNT=1117 BUTTON=1118 LIMIT=1120
TEXT=$'Привет, history!\nSecond line'

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
forget_history
# Wine draws the frames itself (no window manager here), so that the pictures show titles.
WINE_X11='HKCU\Software\Wine\X11 Driver'
pcwine reg add "$WINE_X11" /v Managed /d N /f >/dev/null 2>&1
trap 'status=$?; set +e; pc_use pc1; pcwine reg delete "$WINE_X11" /v Managed /f >/dev/null 2>&1; forget_history; (exit $status); cleanup' EXIT

# send_stream NAME...: the peer on pc2 sends files of these names (made in $WORK/src); a
# name ending in / is a folder with one file in it.
send_stream() {
  rm -rf "$WORK/src" && mkdir -p "$WORK/src"
  local name
  for name in "$@"; do
    case "$name" in
      */) mkdir -p "$WORK/src/$name" && head -c 3000 /dev/urandom >"$WORK/src/$name/inside.bin" ;;
      *) head -c 3000 /dev/urandom >"$WORK/src/$name" ;;
    esac
  done
  set -- "${@%/}"
  python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/src" "$@" >"$WORK/stream.bin"
  pc_use pc2
  in_pc socat -u "FILE:$WORK/stream.bin" TCP:10.77.0.1:2904 || fail "the peer could not send"
  pc_use pc1
}
upload() {  # upload NAME: a browser on pc2 uploads a small file of that name
  printf 'uploaded by a browser' >"$WORK/$1"
  pc_use pc2
  in_pc curl -s -m 10 -o /dev/null -T "$WORK/$1" "${URL}files?name=$1"
  pc_use pc1
}
post_text() {
  pc_use pc2
  printf '%s' "$1" | in_pc curl -s -m 10 -o /dev/null --data-binary @- "${URL}text"
  pc_use pc1
}
# rows: the list's rows as direction|via|computer|what|files|result, newest first.
rows() { driver list-rows "$HISTORY" "$LIST" 9 | cut -d '|' -f 2-6,9; }
has_rows() { [ "$(rows | wc -l)" = "$1" ]; }
open_history() {  # open_history HOW: by the button (button) or the tray menu (menu)
  if [ "$1" = button ]; then driver click "$BUTTON" >/dev/null; else driver post 0x0111 1030 0 >/dev/null; fi
  driver wait-dialog "$HISTORY" 10000 && ok "the History window opened ($1)" || fail "no History window ($1)"
}
close_history() {
  driver dialog-key "$HISTORY" "$LIST" escape >/dev/null
  driver wait-dialog-gone "$HISTORY" 10000 && ok "Esc closed the History window" || fail "Esc did not close it"
}
# Browser access stays open beside the History window: the page's doors are recorded too.
open_access() {  # open_access LANGUAGE RUNNING ACCESS_TITLE
  reg_set Language REG_SZ "$1"
  start_program
  driver wait-text 113 "$2" 20000 || fail "the listener did not start ($1)"
  driver post 0x0111 1029 0 >/dev/null
  driver wait-dialog "$3" 10000 || fail "the access dialog did not open ($1)"
  URL="$(driver dialog-text "$3" 1051)"
}

open_access 0409 "Server running" "Browser access"
send_stream "Photos/" "notes.txt" "photo.jpg" "song.mp3"
driver wait-text 113 "Receiving complete." 30000 || fail "the stream was not received"
open_history button
wait_until 50 has_rows 1 || skip "this build records no receptions yet (the History window lists none)"
# While the window is open, what arrives is listed at once.
upload "upload.txt"
post_text "$TEXT"
wait_until 50 has_rows 3 || fail "the window did not refresh: $(rows | tr '\n' ';')"
expect_eq "the entries, newest first" \
  "↓ Received|Text|10.77.0.2|Привет, history!||Complete
↓ Received|Browser upload|10.77.0.2|upload.txt|1|Complete
↓ Received|Port 2904|10.77.0.2|Photos, notes.txt and 2 more|4|Complete" "$(rows)"
expect_eq "the count" "3 of 3 entries" "$(driver dialog-text "$HISTORY" "$COUNT")"
driver dialog-close "Text from 10.77.0.2" >/dev/null  # the text's own window, in front
driver wait-dialog-gone "Text from 10.77.0.2" 10000 || fail "the text's window did not close"
screenshot_window "$HISTORY" "$SHOTS/history-en.png"

# The filter narrows the list as the user types, ignoring case.
driver dialog-type "$HISTORY" "$FILTER" "UPLOAD" >/dev/null
wait_until 30 has_rows 1 && ok "the filter left one row" || fail "filtered rows: $(rows | tr '\n' ';')"
expect_eq "the row the filter left" "upload.txt" "$(rows | cut -d '|' -f 4)"
expect_eq "the count filtered" "1 of 3 entries" "$(driver dialog-text "$HISTORY" "$COUNT")"
driver dialog-set-text "$HISTORY" "$FILTER" "" >/dev/null
wait_until 30 has_rows 3 || fail "the empty filter did not bring every row back"

# Buttons follow the chosen entry: a text can be copied, not shown in a folder.
driver list-select "$HISTORY" "$LIST" "Text" 2 >/dev/null
expect_eq "Show in folder / Copy text for the text" "0 1" \
  "$(driver dialog-enabled "$HISTORY" "$SHOW") $(driver dialog-enabled "$HISTORY" "$COPY")"
driver dialog-click "$HISTORY" "$COPY" >/dev/null
copied() { [ "$(driver clipboard)" = "$TEXT" ]; }
wait_until 30 copied && ok "Copy text put the text on the clipboard" || fail "the clipboard: \"$(driver clipboard)\""

# Show in folder starts Explorer with the received file chosen.
driver list-select "$HISTORY" "$LIST" "Port 2904" 2 >/dev/null
expect_eq "Show in folder / Copy text for the reception" "1 0" \
  "$(driver dialog-enabled "$HISTORY" "$SHOW") $(driver dialog-enabled "$HISTORY" "$COPY")"
driver dialog-click "$HISTORY" "$SHOW" >/dev/null
# started: a process of this PC's prefix (other prefixes run theirs) whose command
# line matches PATTERN (and not UNLESS, when given).
started() {  # started PATTERN [UNLESS]
  local pid
  for pid in $(pgrep -f "$1"); do
    [ -n "${2:-}" ] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qE -- "$2" && continue
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
explorer_started() { started 'explorer.exe /select,"?C:\\qv-store\\Photos'; }
wait_until 50 explorer_started && ok "Explorer started with C:\\qv-store\\Photos chosen" ||
  fail "no Explorer on the file: $(pgrep -af explorer | tr '\n' ';')"

# Enter opens the chosen item as Explorer would: the folder in Explorer.
driver dialog-key "$HISTORY" "$LIST" return >/dev/null
folder_opened() { started 'C:\\qv-store\\Photos' '/select'; }
wait_until 50 folder_opened && ok "Enter opened C:\\qv-store\\Photos" ||
  fail "nothing opened the folder: $(pgrep -af 'qv-store' | tr '\n' ';')"

# Esc closes; the tray menu opens it again, the limit in the settings trims it.
close_history
open_settings
limit_shown() { [ "$(driver dialog-text "$SETTINGS" "$LIMIT")" = 1000 ]; }
wait_until 30 limit_shown && ok "the settings show the limit, 1000" ||
  fail "the limit in the settings: \"$(driver dialog-text "$SETTINGS" "$LIMIT")\""
driver dialog-set-text "$SETTINGS" "$LIMIT" "2" >/dev/null
close_settings 1
open_history menu
wait_until 30 has_rows 2 && ok "a limit of 2 keeps the two newest" || fail "rows after the limit: $(rows | tr '\n' ';')"

# Clear history asks first: No keeps the entries, Yes removes them.
driver dialog-click "$HISTORY" "$CLEAR" >/dev/null
driver wait-dialog "Clear history" 10000 || fail "Clear history did not ask"
driver dialog-click "Clear history" 7 >/dev/null
driver wait-dialog-gone "Clear history" 10000 || fail "the question did not close"
expect_eq "rows after No" "2" "$(rows | wc -l)"
driver dialog-click "$HISTORY" "$CLEAR" >/dev/null
driver dialog-click "Clear history" 6 10000 >/dev/null
wait_until 30 has_rows 0 && ok "Clear history emptied the list" || fail "rows after Yes: $(rows | tr '\n' ';')"
expect_eq "Clear history after clearing" "0" "$(driver dialog-enabled "$HISTORY" "$CLEAR")"
close_history

# A click on the note of an arrival, the window hidden in the tray, opens the window.
reg_set MinimizeToTray REG_DWORD 1
driver post 0x0112 0xF020 0 >/dev/null  # SC_MINIMIZE
driver tray-icon 1 10000 >/dev/null || fail "the window did not go to the tray"
send_stream "late.txt"
driver wait-text 113 "Receiving complete." 30000 || fail "late.txt was not received"
driver post 1026 0 0x405 >/dev/null  # NIN_BALLOONUSERCLICK
driver wait-dialog "$HISTORY" 10000 && ok "a click on the arrival's note opened the History window" ||
  fail "no History window after the note's click"
close_history
driver dialog-click "Browser access" 2 >/dev/null
driver wait-dialog-gone "Browser access" 10000 || fail "the access dialog did not close"
stop_program

# The window in Spanish and Russian, after an arrival.
for lang in "0c0a|Servidor en funcionamiento|Acceso desde el navegador|Recepción completada.|Historial|es" \
  "0419|Сервер работает|Доступ из браузера|Получение завершено.|История|ru"; do
  IFS='|' read -r id running access complete HISTORY code <<<"$lang"
  open_access "$id" "$running" "$access"
  send_stream "informe.pdf"
  driver wait-text 113 "$complete" 30000 || fail "the stream was not received ($code)"
  open_history button
  wait_until 50 has_rows 2 || fail "rows ($code): $(rows | tr '\n' ';')"
  screenshot_window "$HISTORY" "$SHOTS/history-$code.png"
  close_history
  driver dialog-click "$access" 2 >/dev/null
  driver wait-dialog-gone "$access" 10000 || fail "the access dialog did not close ($code)"
  stop_program
done
finish
