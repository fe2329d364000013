#!/usr/bin/env bash
# The main window as a user first sees it: title, texts, buttons, language, single copy,
# paths from the command line, and ending with Escape.
source "$(dirname "$0")/lib.sh"

reg_clear
start_program
expect_eq "title" "Quorvalinthexa" "$(driver title)"
expect_eq "label 1013" "Your IP:" "$(driver text 1013)"
expect_eq "label 1014" "Recepient IP:" "$(driver text 1014)"
expect_eq "label 1015" "File store path:" "$(driver text 1015)"
expect_eq "button 108" "Stop" "$(driver text 108)"
expect_eq "button 110" "Send file" "$(driver text 110)"
expect_eq "Send enabled" "1" "$(driver enabled 110)"
expect_eq "Stop disabled" "0" "$(driver enabled 108)"
expect_eq "summary" "Please, select files ->" "$(driver text 1011)"
store="$(driver text 111)"
[[ "$store" == *\\ ]] || fail "store path \"$store\" should be the desktop with a trailing backslash"

# A second copy brings the first forward, hands it its paths and exits with 0.
rc=0
(cd "$QV_WIN_BUILD" && pcwine "$EXE" 'C:\windows') </dev/null >/dev/null 2>&1 || rc=$?
expect_eq "second copy's exit code" "0" "$rc"
expect_eq "summary after a second copy" "Selected: files: 0; folders: 1" "$(driver text 1011)"
stop_program

# Another program's window of the same title (a folder of that name open in the file
# manager) is not a running copy: the program starts.
pcwine "$DRIVER" foreign-window Quorvalinthexa 40000 >"$WORK/foreign.out" 2>&1 &
foreign=$!
wait_for_line "$WORK/foreign.out" ready || fail "no foreign window"
start_program
expect_eq "title beside a foreign window of that title" "Quorvalinthexa" "$(driver title)"
wait "$foreign" || true
stop_program

# Paths on the command line: duplicates collapse, folders and files are counted apart
# (a path that does not exist counts as a file).
start_program 'C:\windows\win.ini' 'C:\windows' 'C:\windows\win.ini' 'C:\no such file.txt'
expect_eq "summary" "Selected: files: 2; folders: 1" "$(driver text 1011)"
stop_program

# A path longer than the 259-byte field is refused, not cut.
long="C:\\$(printf 'x%.0s' $(seq 300))"
start_program "$long" 'C:\windows'
expect_eq "summary with an over-long path" "Selected: files: 0; folders: 1" "$(driver text 1011)"
# So is a dropped one; the path dropped with it is taken.
driver drop "$long" 'C:\windows\win.ini'
driver wait-text 1011 "Selected: files: 1; folders: 1" 5000 >/dev/null &&
  echo "ok: a dropped over-long path is refused" || fail "summary after dropping an over-long path: $(driver text 1011)"
stop_program

# The store-path chooser: Cancel changes nothing; a folder picked in the browser shows
# with a trailing backslash and becomes the "Directory" setting.
reg_clear
mkdir -p "$WINEPREFIX/drive_c/qv-chosen"
start_program
before="$(driver text 111)"
driver click 112
pcwine "$DRIVER" dialog-click "Browse for Folder" 2 20000 >/dev/null 2>&1 || fail "no folder browser to cancel"
pcwine "$DRIVER" wait-dialog-gone "Browse for Folder" 10000 || fail "the folder browser stayed open"
expect_eq "store path after Cancel" "$before" "$(driver text 111)"
driver click 112
pcwine "$DRIVER" tree-select "Browse for Folder" 14145 Desktop "My Computer" " (C:)" qv-chosen >/dev/null 2>>"$WORK/driver.err" ||
  fail "could not pick the folder: $(tail -n 1 "$WORK/driver.err")"
pcwine "$DRIVER" dialog-click "Browse for Folder" 1 >/dev/null 2>&1 || fail "no OK in the folder browser"
driver wait-text 111 'C:\qv-chosen\' 10000 >/dev/null && echo "ok: the chosen store path is shown" ||
  fail "store path after choosing: $(driver text 111)"
expect_eq "stored Directory" 'C:\qv-chosen\' "$(reg_query Directory)"
stop_program
start_program
expect_eq "store path at the next start" 'C:\qv-chosen\' "$(driver text 111)"
stop_program

# Russian from its satellite, narrow and wide texts alike (started from another folder:
# the satellite is found beside the program); English again with "0409".
reg_set Language REG_SZ 0419
(cd "$WORK" && in_pc wine "$EXE") </dev/null >"$WORK/program-$PC.out" 2>&1 &
PC_PID[$PC]=$!
driver wait-window 30000 || fail "the main window did not appear"
expect_eq "Russian label 1014" "IP адресата:" "$(driver text 1014)"
expect_eq "Russian button 110" "Отправить файл" "$(driver text 110)"
driver click 110
expect_eq "Russian error box" "Укажите IP-адрес получателя" \
  "$(pcwine "$DRIVER" dialog-text 'Ошибка!' 65535 10000 2>/dev/null | tr -d '\r' || true)"
pcwine "$DRIVER" dialog-close 'Ошибка!' 5000 >/dev/null 2>&1 || fail "no Russian error box to close"
stop_program
reg_set Language REG_SZ 0409
start_program
expect_eq "English label 1014 with 0409" "Recepient IP:" "$(driver text 1014)"
stop_program
# A stored language longer than its field is ignored: automatic, and the program runs.
reg_set Language REG_SZ "0419-this-is-far-too-long"
start_program
expect_eq "label with an over-long language" "Recepient IP:" "$(driver text 1014)"
stop_program
reg_clear
finish
