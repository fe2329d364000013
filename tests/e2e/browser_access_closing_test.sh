#!/usr/bin/env bash
# Browser access from the Windows program while it works: a file dropped on the window while
# access is on is offered at once; Stop in the dialog while a browser's slow upload runs
# keeps the main window answering until access has ended (the upload's thread reports to
# the window while access waits for that thread); Exit from the tray menu while the dialog
# is open and an upload runs ends the program and access.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"
TITLE="Browser access"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
reg_set MinimizeToTray REG_DWORD 1
head -c 20000000 /dev/urandom >"$WORK/slow.bin"

# refused_now: nothing answers on the access port from the other PC (curl's status 7).
refused_now() {
  local rc=0
  pc_use pc2
  in_pc curl -s -m 5 -o /dev/null "$URL" || rc=$?
  pc_use pc1
  expect_eq "curl's exit status on the access port $1 (7: refused)" "7" "$rc"
}
stop_enabled() { [ "$(driver enabled 108)" = 1 ]; }
# slow_upload: a browser's upload from the other PC at 100 kB/s, running once the window's
# Stop button says a reception runs; sets UPLOAD.
slow_upload() {
  pc_use pc2
  (in_pc_exec curl -s -o /dev/null --limit-rate 100k -T "$WORK/slow.bin" "${URL}files?name=slow.bin") &
  UPLOAD=$!
  pc_use pc1
  wait_until 300 stop_enabled || fail "the upload did not start a reception"
}
# upload_cut WHEN: the upload ended with access, and left nothing in the store.
upload_cut() {
  wait_until 200 ended "$UPLOAD" || fail "the upload went on $1"
  stop_peer "$UPLOAD"
  check "the cut upload left nothing in the store $1" [ -z "$(ls -A "$STORE")" ]
}

# --- A file dropped on the window while access is on is offered at once.
open_access
printf 'dropped' >"$WINEPREFIX/drive_c/dropped.txt"
driver drop 'C:\dropped.txt'
pc_use pc2
wait_until 100 eval 'in_pc curl -sf "${URL}files" | grep -q dropped.txt' && ok "the dropped file is offered" ||
  fail "the dropped file is not offered: $(in_pc curl -s "${URL}files")"
pc_use pc1

# --- Stop during an upload: the window answers every probe while access ends.
slow_upload
driver dialog-click "$TITLE" 2 >/dev/null
# Each probe may wait 4 s: a window whose thread waited for the connections' threads would
# hold out for the whole 5 s that stopping gives them, while the machine's own hiccups stay
# well below that.
expect_eq "empty messages the window answered while access ended" "5" "$(driver answers 4000 5)"
driver wait-dialog-gone "$TITLE" 20000 || fail "the dialog did not close"
upload_cut "after Stop"
refused_now "after Stop"
expect_eq "the status line after the cut upload" "Some files were not received." "$(driver text 113)"
stop_program

# --- Exit from the tray menu while the dialog is open and an upload runs.
open_access
slow_upload
driver post 0x0112 0xF020 0  # minimise: to the tray
expect_eq "the tray icon" "1" "$(driver tray-icon 1)"
driver post 1026 0 516  # right button down on the icon
driver menu-open 10000 || fail "the tray menu did not open"
driver menu-keys up return  # Exit, the menu's last item
if wait_until 300 ended "${PC_PID[$PC]}"; then
  rc=0
  wait "${PC_PID[$PC]}" || rc=$?
  expect_eq "the exit code after Exit" "0" "$rc"
else
  fail "the program still runs 30 s after Exit"
fi
PC_PID[$PC]=""
upload_cut "after Exit"
refused_now "after Exit"
finish
