#!/usr/bin/env bash
# Texts between the program under Wine and the command-line peer, each trusting the other
# by ID: "Send text..." from the Text button's menu (a picture of the dialog), its words
# on the peer's output; the peer's text in the program's text window, Copy putting it on
# the clipboard; "Send clipboard" from the tray menu with a text, then with files copied
# as Explorer copies them (a send of those files); both histories keep the texts; to an
# address where no trusted computer answers, neither a text nor files go, and the status
# line says to pair. QV_SCREENSHOTS_DIR=docs/screenshots refreshes the user guide's pictures.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
export XDG_CONFIG_HOME="$WORK/config"  # the peer's identity stays in this test's folder
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SHOTS"
DIALOG="Send text to 10.77.0.2"  # the title names where the words go
BODY=7151 TEXT_BUTTON=7152 WINDOW_BODY=1060 COPY=1061
WORDS=$'Привет from the dialog D1A\nsecond line'
PEER_WORDS=$'from the peer P3R\nline two'

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc2
peer_id="$(in_pc "$CLI" id)"
pc_use pc1
# Wine draws the windows' frames itself (no window manager runs here), so that the
# pictures show the titles; the PC's prefix is left as it was, however the test ends.
WINE_X11='HKCU\Software\Wine\X11 Driver'
pcwine reg add "$WINE_X11" /v Managed /d N /f >/dev/null 2>&1
trap 'status=$?; set +e; pc_use pc1; pcwine reg delete "$WINE_X11" /v Managed /f >/dev/null 2>&1; (exit $status); cleanup' EXIT
reg_clear
reg_set MinimizeToTray REG_DWORD 1
use_store
start_program

# --- Each trusts the other by its ID; the peer receives.
open_settings
win_id="$(driver dialog-text "$SETTINGS" 1081)"
driver dialog-set-text "$SETTINGS" 1088 "$peer_id"
driver dialog-set-text "$SETTINGS" 1090 "linux-peer"
driver dialog-click "$SETTINGS" 1091 >/dev/null
close_settings 1
pc_use pc2
in_pc "$CLI" trust "$win_id" win-pc >/dev/null || fail "the peer could not trust $win_id"
cli_store="$WORK/cli-store"
mkdir -p "$cli_store"
in_pc_exec "$CLI" receive --store "$cli_store" --no-discovery >"$WORK/cli.out" 2>&1 &
cli=$!
wait_for_line "$WORK/cli.out" "Server running" || fail "the peer did not listen"

# --- Send text... from the Text button's menu.
pc_use pc1
driver set-text 103 10.77.0.2
driver click $TEXT_BUTTON >/dev/null
driver menu-open 10000 || fail "the Text button's menu did not open"
driver menu-keys down return  # its first item
driver wait-dialog "$DIALOG" 10000 || fail "the Send text dialog did not open"
driver dialog-type "$DIALOG" $BODY "$WORDS" >/dev/null
screenshot_window "$DIALOG" "$SHOTS/send-text.png"
driver dialog-click "$DIALOG" 1 >/dev/null
driver wait-text 113 "Text sent to linux-peer." 30000 || fail "the text was not sent: $(driver text 113)"
wait_for_line "$WORK/cli.out" "Привет from the dialog D1A" && ok "the peer shows the dialog's words" ||
  fail "the peer: $(tail -n 4 "$WORK/cli.out")"
check "the peer names the program by its trusted name" grep -q "Text from win-pc:" "$WORK/cli.out"
check "the peer shows the second line" grep -q "second line" "$WORK/cli.out"
check "no file in the peer's store" test -z "$(ls -A "$cli_store")"

# --- The peer's text in the program's text window; Copy.
pc_use pc2
in_pc "$CLI" send --text "$PEER_WORDS" 10.77.0.1 >"$WORK/cli-send.out" 2>&1 ||
  fail "the peer's text: $(cat "$WORK/cli-send.out")"
pc_use pc1
WINDOW="Text from linux-peer"
driver wait-dialog "$WINDOW" 10000 || fail "no text window"
expect_eq "the text window shows the peer's words" "$PEER_WORDS" "$(driver dialog-text "$WINDOW" $WINDOW_BODY)"
driver dialog-click "$WINDOW" $COPY >/dev/null
clipboard_holds() { [ "$(driver clipboard)" = "$PEER_WORDS" ]; }
wait_until 50 clipboard_holds && ok "Copy put the words on the clipboard" || fail "the clipboard: $(driver clipboard)"
driver dialog-close "$WINDOW" >/dev/null

# --- Send clipboard from the tray menu: a text, then files.
tray_send_clipboard() {
  driver post 0x0112 0xF020 0 # minimise: to the tray
  expect_eq "the tray icon" "1" "$(driver tray-icon 1)"
  driver post 1026 0 516 # right button down on the icon
  driver menu-open 10000 || fail "the tray menu did not open"
  driver menu-keys up up return # past Exit and the line: Send clipboard
}
driver set-clipboard "clipboard words C2P" || fail "the clipboard could not be set"
tray_send_clipboard
wait_for_line "$WORK/cli.out" "clipboard words C2P" && ok "the clipboard's text reached the peer" ||
  fail "the peer: $(tail -n 4 "$WORK/cli.out")"
printf 'copied in Explorer\n' >"$WORK/copied.txt"
driver set-clipboard-files "Z:$(tr / '\\' <<<"$WORK/copied.txt")" || fail "the clipboard could not take files"
tray_send_clipboard
wait_until 300 test -f "$cli_store/copied.txt" && ok "the clipboard's files were sent" || fail "no file at the peer"
check "they arrived whole" cmp -s "$WORK/copied.txt" "$cli_store/copied.txt"
driver post 0x0111 1023 0 # Restore

# --- The histories.
stop_peer "$cli"
pc_use pc2
history="$(in_pc "$CLI" history --json)"
check "the peer's history: the program's text" \
  grep -q '"direction":"received","door":"text".*"peer":"win-pc"' <<<"$history"
check "the peer's history: its own text" \
  grep -q '"direction":"sent","door":"text".*"peer":"win-pc".*"bytes":26.*"outcome":"complete"' <<<"$history"

# --- Where no trusted computer answers: nothing goes, and the status line says to pair.
pc_use pc1
driver set-text 103 10.77.0.9
driver set-clipboard "nobody there" || fail "the clipboard could not be set"
driver post 0x0111 7154 0 # Send clipboard
driver wait-text 113 "10.77.0.9 is not a trusted computer: pair with it first to send it texts." 30000 ||
  fail "a text to nobody trusted: $(driver text 113)"
driver set-text 113 ""
driver set-clipboard-files "Z:$(tr / '\\' <<<"$WORK/copied.txt")" || fail "the clipboard could not take files"
driver post 0x0111 7154 0
driver wait-text 113 "10.77.0.9 is not a trusted computer: pair with it first to send it texts." 10000 ||
  fail "files to nobody trusted: $(driver text 113)"
stop_program
finish
