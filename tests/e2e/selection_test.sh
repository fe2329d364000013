#!/usr/bin/env bash
# The selection as a user builds it: paths on the command line, a drop of two files and
# a folder (one already selected), the selection dialog's rows, Delete, and Cancel in
# the analysis dialog. Screenshots of both dialogs go to $QV_SCREENSHOTS_DIR when set.
source "$(dirname "$0")/lib.sh"
shots="${QV_SCREENSHOTS_DIR:-$WORK}"

src="$WORK/src"
mkdir -p "$src/Photos 2010"
head -c 1536 /dev/urandom >"$src/report.pdf"
head -c 1100000 /dev/urandom >"$src/Photos 2010/beach.jpg"
printf 'hello' >"$src/notes.txt"
mkdir -p "$src/Music"
printf 'la' >"$src/Music/song.txt"
win="Z:$(tr / '\\' <<<"$src")"

reg_clear
use_store
start_program "$win\\report.pdf"
expect_eq "summary from the command line" "Selected: files: 1; folders: 0" "$(driver text 1011)"
driver drop "$win\\report.pdf" "$win\\notes.txt" "$win\\Photos 2010"
sleep 1
expect_eq "summary after the drop" "Selected: files: 2; folders: 1" "$(driver text 1011)"

# The selection dialog: one row per entry, with name, size and folder.
driver click 106
driver wait-dialog Quorvalinthexa 10000 || fail "the selection dialog did not open"
rows="$(driver list-rows Quorvalinthexa 1008 | sort)"
expected="$(printf '%s\n' "Photos 2010||$win\\" "notes.txt|5 B|$win\\" "report.pdf|1.5 kB|$win\\" | sort)"
expect_eq "selection rows" "$expected" "$rows"
rect="$(driver dialog-rect Quorvalinthexa)"
xwd -root -silent -display "$DISPLAY" | convert xwd:- -crop "$rect" +repage "$shots/selection-dialog.png" 2>/dev/null || true
# Delete the notes row: the list and the summary follow.
driver list-select Quorvalinthexa 1008 "notes.txt"
driver dialog-click Quorvalinthexa 1006
sleep 1
expect_eq "rows after Delete" "2" "$(driver list-rows Quorvalinthexa 1008 | wc -l | tr -d ' ')"
# Add folder: a folder picked in the shell's browser becomes a row.
driver dialog-click Quorvalinthexa 1009
driver tree-select "Browse for Folder" 14145 Desktop "My Computer" " (Z:)" $(tr / ' ' <<<"${src#/}") Music \
  >/dev/null 2>>"$WORK/driver.err" || fail "could not pick the folder: $(tail -n 1 "$WORK/driver.err")"
driver dialog-click "Browse for Folder" 1 >/dev/null 2>&1 || fail "no OK in the folder browser"
driver wait-dialog-gone "Browse for Folder" 10000 || fail "the folder browser stayed open"
sleep 1
driver list-rows Quorvalinthexa 1008 | grep -qxF "Music||$win\\" && echo "ok: Add folder added a row" ||
  fail "rows after Add folder: $(driver list-rows Quorvalinthexa 1008 | tr '\n' ';')"
# Add files: the user goes to the folder by typing it, then picks two names there (one
# already selected) and types the full path of a third.
driver dialog-click Quorvalinthexa 1010
driver dialog-set-text Open 1148 "$win" || fail "no open dialog"
driver dialog-click Open 1 >/dev/null 2>&1
sleep 1
driver dialog-set-text Open 1148 "\"notes.txt\" \"report.pdf\" \"$win\\Music\\song.txt\""
driver dialog-click Open 1 >/dev/null 2>&1 || fail "no Open button in the open dialog"
driver wait-dialog-gone Open 10000 || fail "the open dialog stayed open"
sleep 1
rows="$(driver list-rows Quorvalinthexa 1008 | sort)"
expected="$(printf '%s\n' "Music||$win\\" "Photos 2010||$win\\" "notes.txt|5 B|$win\\" "report.pdf|1.5 kB|$win\\" \
  "song.txt|2 B|$win\\Music\\" | sort)"
expect_eq "rows after Add files" "$expected" "$rows"
driver dialog-click Quorvalinthexa 1
driver wait-dialog-gone Quorvalinthexa 10000 || fail "the selection dialog did not close"
expect_eq "summary after Delete, Add folder and Add files" "Selected: files: 3; folders: 2" "$(driver text 1011)"

# A large folder (the machine's /usr) keeps the analysis busy: its dialog shows, and
# Cancel sends nothing. The recipient is this PC itself: whatever a send carried would
# land in the program's own store.
driver drop 'Z:\usr'
driver set-text 103 127.0.0.1
driver click 110
if driver wait-dialog "Wait..." 20000; then
  expect_eq "analysis text" "Analyzing selected files and foldes..." "$(driver dialog-text "Wait..." 1016)"
  sleep 1  # let it paint
  xid="$(xdotool search --name '^Wait\.\.\.$' 2>/dev/null | head -n 1)"
  [ -n "$xid" ] && xwd -id "$xid" -silent -display "$DISPLAY" | convert xwd:- "$shots/analysis-dialog.png" 2>/dev/null || true
  driver dialog-click "Wait..." 2
  driver wait-dialog-gone "Wait..." 20000 || fail "the analysis dialog did not close"
  expect_eq "status after Cancel" "Preparing..." "$(driver text 113)"
  expect_eq "Send still enabled" "1" "$(driver enabled 110)"
  sleep 3  # time for a send that should not be to connect and deliver its first records
  expect_eq "status a while after Cancel" "Preparing..." "$(driver text 113)"
  [ -z "$(ls -A "$STORE")" ] && echo "ok: nothing was sent" || fail "something was sent after Cancel: $(ls "$STORE" | head -3)"
else
  echo "note: the analysis finished before its dialog could be seen"
fi
stop_program
finish
