#!/usr/bin/env bash
# Paths given to a second start reach the copy already running (as Explorer's "Send to"
# gives them): long names, spaces and Cyrillic, also while the window hides in the tray,
# and 200 at once; the second start exits 0. A broken WM_COPYDATA changes nothing. A
# reception that ends while the window is in the tray asks for a balloon; one that ends
# while it is shown does not.
source "$(dirname "$0")/lib.sh"

src="$WORK/src"
long="$(printf 'a very long file name with spaces %.0s' 1 2 3)"
mkdir -p "$src/Документы с пробелами" "$src/many"
printf 'one' >"$src/Документы с пробелами/фото 1.jpg"
printf 'two' >"$src/$long.txt"
for i in $(seq 200); do : >"$src/many/file number $i with a longer name.txt"; done
win="Z:$(tr / '\\' <<<"$src")"

# second_start PATH...: another start of the program with these paths; its exit status.
second_start() {
  local rc=0
  (cd "$QV_WIN_BUILD" && in_pc wine "$EXE" "$@") </dev/null >/dev/null 2>&1 || rc=$?
  echo "$rc"
}
summary() { driver text 1011; }

reg_clear
use_store
reg_set MinimizeToTray REG_DWORD 1
WINEDEBUG=+systray start_program
expect_eq "a second start with paths exits" 0 "$(second_start "$win\\Документы с пробелами\\фото 1.jpg" "$win\\$long.txt" "$win\\many")"
summary_is() { [ "$(summary)" = "$1" ]; }
shown() { [ "$(driver visible)" = 1 ]; }
wait_until 50 summary_is "Selected: files: 2; folders: 1" &&
  ok "the running copy took the paths" || fail "summary: $(summary)"
driver click 106
driver wait-dialog Quorvalinthexa 10000 || fail "the selection dialog did not open"
expect_eq "the selection's names" "$long.txt|many|фото 1.jpg" \
  "$(driver list-rows Quorvalinthexa 1008 | cut -d '|' -f 1 | LC_ALL=C sort | paste -sd '|')"
driver dialog-close Quorvalinthexa >/dev/null
driver wait-dialog-gone Quorvalinthexa 10000 || true

# Hidden in the tray: the paths arrive and the window comes back.
driver post 0x0112 0xF020 0  # minimise, to the tray
expect_eq "in the tray" 1 "$(driver tray-icon 1)"
expect_eq "a second start while in the tray exits" 0 "$(second_start "$win\\many\\file number 1 with a longer name.txt")"
wait_until 50 shown && ok "the window came back from the tray" || fail "still hidden"
expect_eq "no tray icon once back" 0 "$(driver tray-icon 0)"
expect_eq "the path from the tray" "Selected: files: 3; folders: 1" "$(summary)"

# 200 paths in one start.
many=()
for i in $(seq 200); do many+=("$win\\many\\file number $i with a longer name.txt"); done
expect_eq "a second start with 200 paths exits" 0 "$(second_start "${many[@]}")"
wait_until 50 summary_is "Selected: files: 202; folders: 1" && ok "200 paths taken" || fail "summary: $(summary)"

# Broken messages are refused and change nothing; the driver's own good one is taken.
for kind in odd open huge tag stranger; do
  expect_eq "a WM_COPYDATA that is $kind" 0 "$(driver copydata "$kind" "$win\\$long.txt")"
done
expect_eq "the summary after broken messages" "Selected: files: 202; folders: 1" "$(summary)"
expect_eq "a good WM_COPYDATA from this user" 1 "$(driver copydata good "$win\\notes-none.txt")"

# A second start without paths only brings the running copy forward, as before.
expect_eq "a second start without paths exits" 0 "$(second_start)"
# The copies in this test's prefix: another run on the machine has copies of its own.
own_copies() {
  local n=0 pid
  for pid in $(pgrep -f 'Quorvalinthexa\.exe' || true); do
    grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && n=$((n + 1))
  done
  echo "$n"
}
expect_eq "one copy runs" 1 "$(own_copies)"

# A reception while shown asks for no balloon; one while in the tray does.
balloons() { grep -ac "Shell_NotifyIconW dwMessage = 1," "$WORK/program-$PC.out" || true; }  # NIM_MODIFY (1): only a balloon
mkdir -p "$WORK/gift/Подарок"
printf 'gift' >"$WORK/gift/Подарок/card.txt"
python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/gift" "Подарок" >"$WORK/gift.stream"
before="$(balloons)"
in_pc socat -u "FILE:$WORK/gift.stream" TCP:127.0.0.1:2904
driver wait-text 113 "Receiving complete." 20000 || fail "the reception while shown"
sleep 1
expect_eq "balloons for a reception while shown" "$before" "$(balloons)"
driver post 0x0112 0xF020 0
expect_eq "in the tray again" 1 "$(driver tray-icon 1)"
in_pc socat -u "FILE:$WORK/gift.stream" TCP:127.0.0.1:2904
more_balloons() { [ "$(balloons)" -gt "$before" ]; }
wait_until 100 more_balloons && ok "a balloon for a reception while in the tray" ||
  fail "no balloon: $(grep -a systray "$WORK/program-$PC.out" | tail -n 3)"
# Pictures of the balloon and of the tray menu (to QV_SCREENSHOTS_DIR when set).
shots="${QV_SCREENSHOTS_DIR:-$WORK}"
mkdir -p "$shots"
sleep 3  # Wine's tray shows the balloon a moment later, at the top left
screenshot "$WORK/screen.png"
convert "$WORK/screen.png" -crop 170x110+0+15 +repage "$shots/tray-balloon.png" 2>/dev/null || true
driver post 1026 0 516
driver menu-open 10000 || fail "the tray menu did not open"
screenshot "$WORK/screen.png"  # the menu opens at the cursor, in the middle of the screen
convert "$WORK/screen.png" -crop 150x150+636+508 +repage "$shots/tray-menu.png" 2>/dev/null || true
driver menu-keys escape
stop_program
reg_clear
finish
