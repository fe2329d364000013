#!/usr/bin/env bash
# Texts between a browser and the Windows program: a text POSTed (curl, from the other PC)
# opens a "Text from <address>" window that shows it (Cyrillic and line breaks included),
# Copy puts it on the clipboard, Esc closes the window, and no more than 8 are open at
# once (one more closes the oldest); the browser access dialog's text box is what GET
# text serves. Screenshots of the text window in English, Spanish and Russian and of the
# dialog go to QV_SCREENSHOTS_DIR (docs/screenshots refreshes the user guide's pictures).
source "$(dirname "$0")/lib.sh"
DIALOG="Browser access"
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SHOTS"
BODY=1060 COPY=1061 BOX=1055
TEXT=$'Привет из браузера!\nSecond line: 42 €\n\nЧетвёртая строка.'

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
# Wine draws the windows' frames itself (no window manager runs here), so that the
# pictures show the titles; the PC's prefix is left as it was, however the test ends.
WINE_X11='HKCU\Software\Wine\X11 Driver'
pcwine reg add "$WINE_X11" /v Managed /d N /f >/dev/null 2>&1
trap 'status=$?; set +e; pc_use pc1; pcwine reg delete "$WINE_X11" /v Managed /f >/dev/null 2>&1; (exit $status); cleanup' EXIT

# open_access LANGUAGE: starts the program in that language with browser access on; sets URL.
open_access() {
  reg_set Language REG_SZ "$1"
  start_program
  driver wait-text 113 "$2" 20000 || fail "the listener did not start ($1)"
  driver post 0x0111 1029 0 >/dev/null  # the tray menu's "Browser access..."
  driver wait-dialog "$3" 10000 || fail "the dialog did not open ($1)"
  URL="$(driver dialog-text "$3" 1051)"
}
# post_text TEXT: POSTs it from the other PC; prints the status and the word answered.
post_text() {
  pc_use pc2
  printf '%s' "$1" | in_pc curl -s -m 10 -w ' %{http_code}' --data-binary @- "${URL}text" || true
  pc_use pc1
}
get_text() {  # prints the status, then the body
  pc_use pc2
  in_pc curl -s -m 10 -o "$WORK/got" -w '%{http_code}' "${URL}text" || true
  pc_use pc1
}
window_count() { driver dialog-texts "$1" "$BODY" | wc -l; }
window_shows() { [ "$(driver dialog-text "$1" "$BODY" 2000)" = "$2" ]; }

open_access 0409 "Server running" "$DIALOG"
WINDOW="Text from 10.77.0.2"

# The dialog's box is what the page gets; an empty box is no text.
status="$(get_text)"
[ "$status" = 404 ] && skip "this build serves no text routes (GET text answers 404)"
expect_eq "GET text with the box empty" "204" "$status"
box_served() { [ "$(get_text)" = 200 ] && [ "$(cat "$WORK/got")" = "$TEXT" ]; }
type_text() {  # type_text DIALOG: types TEXT into its box and waits until the page gets it
  driver dialog-type "$1" "$BOX" "$TEXT" >/dev/null
  wait_until 50 box_served && ok "GET text serves the box's text ($1)" ||
    fail "GET text ($1): $(get_text) \"$(cat "$WORK/got")\""
}
type_text "$DIALOG"
screenshot_window "$DIALOG" "$SHOTS/browser-access-text.png"

# A text POSTed opens its window, which shows it and copies it.
expect_eq "the answer to POST text" "shown 201" "$(post_text "$TEXT")"
driver wait-dialog "$WINDOW" 10000 || fail "no window \"$WINDOW\""
wait_until 30 window_shows "$WINDOW" "$TEXT" && ok "the window shows the text" ||
  fail "the window shows \"$(driver dialog-text "$WINDOW" "$BODY")\""
# Line feeds reach the box as CR LF, its line breaks (the driver's own line ends add one CR).
expect_eq "line breaks as CR LF" "3" "$(pcwine "$DRIVER" dialog-text "$WINDOW" "$BODY" 2>/dev/null | grep -o $'\r\r' | wc -l)"
driver dialog-click "$WINDOW" "$COPY" >/dev/null
copied() { [ "$(driver clipboard)" = "$TEXT" ]; }
wait_until 30 copied && ok "Copy put the text on the clipboard" || fail "the clipboard: \"$(driver clipboard)\""
expect_eq "Copy says so" "Copied" "$(driver dialog-text "$WINDOW" "$COPY")"
screenshot_window "$WINDOW" "$SHOTS/text-window-en.png"
# Esc on a button (no text box to take it) closes the window: the window's keys work.
driver dialog-key "$WINDOW" "$COPY" escape >/dev/null
driver wait-dialog-gone "$WINDOW" 10000 && ok "Esc closed the window" || fail "Esc did not close the window"

# Nine texts: eight windows stay open, the first text's window closed for the ninth.
for n in 1 2 3 4 5 6 7 8 9; do post_text "note $n" >/dev/null; done
nine_shown() { driver dialog-texts "$WINDOW" "$BODY" | grep -qx "note 9"; }
wait_until 50 nine_shown || fail "the ninth text was not shown"
expect_eq "open text windows after nine texts" "8" "$(window_count "$WINDOW")"
expect_eq "the texts shown" "note 2 note 3 note 4 note 5 note 6 note 7 note 8 note 9" \
  "$(driver dialog-texts "$WINDOW" "$BODY" | sort -V | xargs)"
driver dialog-click "$DIALOG" 2 >/dev/null
driver wait-dialog-gone "$DIALOG" 10000 || fail "the dialog did not close"
stop_program

# The window in Spanish and Russian, and the dialog with its box in each.
for lang in "0c0a|Servidor en funcionamiento|Acceso desde el navegador|Texto de 10.77.0.2|es" \
  "0419|Сервер работает|Доступ из браузера|Текст от 10.77.0.2|ru"; do
  IFS='|' read -r id running dialog window code <<<"$lang"
  open_access "$id" "$running" "$dialog"
  type_text "$dialog"
  screenshot_window "$dialog" "$SHOTS/browser-access-text-$code.png"
  expect_eq "the answer to POST text ($code)" "shown 201" "$(post_text "$TEXT")"
  driver wait-dialog "$window" 10000 && ok "the window's title in $code: $window" || fail "no window \"$window\""
  screenshot_window "$window" "$SHOTS/text-window-$code.png"
  driver dialog-click "$dialog" 2 >/dev/null
  driver wait-dialog-gone "$dialog" 10000 || fail "the dialog did not close ($code)"
  stop_program
done
finish
