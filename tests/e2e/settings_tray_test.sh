#!/usr/bin/env bash
# The settings dialog (stored values, the days partial files stay, autostart value,
# satellites beside the program) and the tray (minimise to it, double click, its menu,
# start in it at logon).
source "$(dirname "$0")/lib.sh"

RUN_KEY='HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'

run_value() { reg_query Quorvalinthexa "$RUN_KEY"; }
run_clear() { pcwine reg delete "$RUN_KEY" /v Quorvalinthexa /f >/dev/null 2>&1 || true; }
autostart_of() { printf '"%s" --autostart' "$(winepath -w "$1" 2>/dev/null | tr -d '\r')"; }

# Starts the program at EXE_PATH from the folder CWD (lib.sh's start_program uses the build).
start_at() {  # start_at EXE_PATH CWD ARGS...
  local exe="$1" cwd="$2"
  shift 2
  driver wait-gone 15000 || fail "an earlier copy of the program is still running"
  (cd "$cwd" && in_pc wine "$exe" "$@") </dev/null >"$WORK/program-$PC.out" 2>&1 &
  PC_PID[$PC]=$!
  driver wait-window 30000 || fail "the main window did not appear"
}

checks() {  # the three boxes as "1017 1018 1021"
  echo "$(driver checked "$SETTINGS" 1017) $(driver checked "$SETTINGS" 1018) $(driver checked "$SETTINGS" 1021)"
}
# The combo box's items with the satellites (found in directory order) sorted.
languages() {
  local items head rest
  items="$(driver combo-items "$SETTINGS" 1019)"
  head="$(cut -d'|' -f1-2 <<<"$items")"
  rest="$(cut -s -d'|' -f3- <<<"$items" | tr '|' '\n' | sort | paste -sd'|')"
  echo "$head${rest:+|$rest}"
}

wait_visible() {  # wait_visible 0|1: the main window's visibility settles
  local seen
  for _ in $(seq 50); do
    seen="$(driver visible)"
    [ "$seen" == "$1" ] && break
    sleep 0.2
  done
  echo "$seen"
}

# --- First run: no settings key. A Run value left from before ticks nothing.
reg_clear
run_clear
wine reg add "$RUN_KEY" /v Quorvalinthexa /t REG_SZ /d 'C:\old\Quorvalinthexa.exe' /f >/dev/null 2>&1
start_program
open_settings
expect_eq "first run: languages" "Auto|English|Russian|Spanish" "$(languages)"
expect_eq "first run: selected" "Auto" "$(driver combo-selected "$SETTINGS" 1019)"
expect_eq "first run: boxes" "0 0 0" "$(checks)"
expect_eq "translated box 1018" "Autostart minimized in system tray" "$(driver dialog-text "$SETTINGS" 1018)"
expect_eq "first run: days partial files stay" "7" "$(driver dialog-text "$SETTINGS" 1101)"
driver dialog-click "$SETTINGS" 1102 >/dev/null
expect_eq "Delete partial files says what went" "Partial files deleted: 0 (0"$'\xc2\xa0'"B)" "$(driver dialog-text "$SETTINGS" 1103)"

# Ok stores every item: the language, the quoted autostart value and both switches.
driver combo-select "$SETTINGS" 1019 Russian || fail "no item Russian"
driver set-check "$SETTINGS" 1017 1
driver set-check "$SETTINGS" 1021 1
driver dialog-set-text "$SETTINGS" 1101 0
close_settings 1
expect_eq "Language" "0419" "$(reg_query Language)"
expect_eq "KeepPartialDays" "0x0" "$(reg_query KeepPartialDays)"
expect_eq "AutostartInTray" "0x0" "$(reg_query AutostartInTray)"
expect_eq "MinimizeToTray" "0x1" "$(reg_query MinimizeToTray)"
expect_eq "autostart value" "$(autostart_of "$EXE")" "$(run_value)"

# Opening again shows what is stored; Cancel stores nothing of what was changed.
open_settings
expect_eq "stored 0419 selects" "Russian" "$(driver combo-selected "$SETTINGS" 1019)"
expect_eq "stored boxes" "1 0 1" "$(checks)"
expect_eq "stored days" "0" "$(driver dialog-text "$SETTINGS" 1101)"
driver combo-select "$SETTINGS" 1019 English
driver set-check "$SETTINGS" 1017 0
driver set-check "$SETTINGS" 1018 1
driver dialog-set-text "$SETTINGS" 1101 12
close_settings 2
expect_eq "KeepPartialDays after Cancel" "0x0" "$(reg_query KeepPartialDays)"
expect_eq "Language after Cancel" "0419" "$(reg_query Language)"
expect_eq "AutostartInTray after Cancel" "0x0" "$(reg_query AutostartInTray)"
expect_eq "autostart value after Cancel" "$(autostart_of "$EXE")" "$(run_value)"

# Unticking autostart removes the value; 1018 is stored on its own; English is "0409".
open_settings
driver combo-select "$SETTINGS" 1019 English
driver set-check "$SETTINGS" 1017 0
driver set-check "$SETTINGS" 1018 1
close_settings 1
expect_eq "autostart value after unticking" "" "$(run_value)"
expect_eq "AutostartInTray ticked alone" "0x1" "$(reg_query AutostartInTray)"
expect_eq "Language English" "0409" "$(reg_query Language)"

# --- Tray: with "MinimizeToTray" = 1 a minimise hides the window and adds the icon.
driver post 0x0112 0xF020 0  # WM_SYSCOMMAND, SC_MINIMIZE
expect_eq "icon after minimise" "1" "$(driver tray-icon 1)"
expect_eq "hidden after minimise" "0" "$(wait_visible 0)"
# A taskbar that restarts loses the icon and says so: the icon is added again.
driver tray-forget || fail "could not take the icon away"
expect_eq "icon lost with the taskbar" "0" "$(driver tray-icon 0)"
driver taskbar-created || fail "TaskbarCreated did not reach the window"
expect_eq "icon after the taskbar restarted" "1" "$(driver tray-icon 1)"
driver post 1026 0 515  # tray callback: double click
expect_eq "shown after double click" "1" "$(wait_visible 1)"
expect_eq "icon after double click" "0" "$(driver tray-icon 0)"
driver taskbar-created
expect_eq "no icon for a shown window after the taskbar restarted" "0" "$(driver tray-icon)"

# A right click opens the menu; Escape closes it and the window stays in the tray.
driver post 0x0112 0xF020 0
expect_eq "icon after a second minimise" "1" "$(driver tray-icon 1)"
driver post 1026 0 516  # right button down
driver menu-open 10000 || fail "the tray menu did not open"
driver menu-keys escape
driver menu-open 0 && fail "the tray menu stayed open after Escape"
expect_eq "still hidden after Escape" "0" "$(driver visible)"
# Restore, the menu's first item.
driver post 1026 0 516
driver menu-open 10000 || fail "the tray menu did not open again"
driver menu-keys down return
expect_eq "shown after Restore" "1" "$(wait_visible 1)"
expect_eq "icon after Restore" "0" "$(driver tray-icon 0)"

# Exit, the menu's last item, ends the program with 0.
driver post 0x0112 0xF020 0
expect_eq "icon before Exit" "1" "$(driver tray-icon 1)"
driver post 1026 0 516
driver menu-open 10000 || fail "the tray menu did not open for Exit"
driver menu-keys up return
rc=0
wait "${PC_PID[$PC]}" || rc=$?
PC_PID[$PC]=""
expect_eq "exit code after Exit" "0" "$rc"

# Without "MinimizeToTray" a minimise is ordinary: no icon, the window stays on the taskbar.
reg_set MinimizeToTray REG_DWORD 0
start_program
driver post 0x0112 0xF020 0
sleep 1
expect_eq "ordinary minimise: icon" "0" "$(driver tray-icon)"
expect_eq "ordinary minimise: visible" "1" "$(driver visible)"
driver post 0x0112 0xF120 0  # SC_RESTORE
stop_program

# --- A logon start with "AutostartInTray" = 1 begins hidden in the tray ...
reg_set AutostartInTray REG_DWORD 1
start_program --autostart
expect_eq "autostart: icon" "1" "$(driver tray-icon 1)"
expect_eq "autostart: hidden" "0" "$(wait_visible 0)"
driver post 1026 0 515
expect_eq "autostart: shown after double click" "1" "$(wait_visible 1)"
stop_program
# ... and with it off, or without "--autostart", the window simply opens.
reg_set AutostartInTray REG_DWORD 0
start_program --autostart
sleep 1
expect_eq "autostart off: visible" "1" "$(driver visible)"
expect_eq "autostart off: icon" "0" "$(driver tray-icon)"
stop_program

# --- A program folder with spaces, started from another current folder.
reg_clear
run_clear
home="$WORK/Program Files/Kelvadro Quorvalinthexa"
mkdir -p "$home"
cp "$EXE" "$home/"
# Satellites in the current folder but not beside the program are neither offered nor
# loaded.
reg_set Language REG_SZ 0419
start_at "$home/Quorvalinthexa.exe" "$QV_WIN_BUILD"
expect_eq "texts with a satellite only in the current folder" "Recepient IP:" "$(driver text 1014)"
open_settings
expect_eq "no satellites beside the program" "Auto|English" "$(languages)"
close_settings 2
stop_program
# Beside the program they are, whatever the current folder; the value quotes the path.
cp "$QV_WIN_BUILD"/Quorvalinthexa.exe.*.mui "$home/"
reg_set Language REG_SZ 0c0a
start_at "$home/Quorvalinthexa.exe" "$WORK"
open_settings
expect_eq "satellites beside the program" "Auto|English|Russian|Spanish" "$(languages)"
expect_eq "stored 0c0a selects" "Spanish" "$(driver combo-selected "$SETTINGS" 1019)"
expect_eq "Spanish box 1017 from beside the program" "Iniciar al arrancar Windows" "$(driver dialog-text "$SETTINGS" 1017)"
driver set-check "$SETTINGS" 1017 1
close_settings 1
expect_eq "quoted autostart value" "$(autostart_of "$home/Quorvalinthexa.exe")" "$(run_value)"
expect_eq "Language kept" "0c0a" "$(reg_query Language)"
stop_program

# A path too long for the quoted value in its 261-byte field: no cut value is written,
# while the other settings are stored.
run_clear
work_win="$(winepath -w "$WORK" 2>/dev/null | tr -d '\r')"
need=$((250 - ${#work_win} - 20))  # 250 bytes with "\" + folders + "\Quorvalinthexa.exe"
rel="$(head -c "$need" /dev/zero | tr '\0' x | fold -w 40 | paste -sd/)"
rel="${rel:0:$need}"
[ "${rel: -1}" == / ] && rel="${rel:0:$((need - 1))}y"
deep="$WORK/$rel"
mkdir -p "$deep"
cp "$EXE" "$deep/"
long_path="$(winepath -w "$deep/Quorvalinthexa.exe" 2>/dev/null | tr -d '\r')"
[ "${#long_path}" -gt 246 ] && [ "${#long_path}" -lt 260 ] || fail "long path has ${#long_path} bytes"
start_at "$deep/Quorvalinthexa.exe" "$WORK"
open_settings
driver set-check "$SETTINGS" 1017 1
driver set-check "$SETTINGS" 1021 1
close_settings 1
expect_eq "no autostart value for a ${#long_path}-byte path" "" "$(run_value)"
expect_eq "MinimizeToTray stored beside it" "0x1" "$(reg_query MinimizeToTray)"
stop_program

# A stored language wider than its field opens as automatic and breaks nothing; so do days
# the field cannot hold, read as its bound.
reg_set Language REG_SZ "0419-this-is-far-too-long"
reg_set KeepPartialDays REG_DWORD 5000
start_program
open_settings
expect_eq "over-long language" "Auto" "$(driver combo-selected "$SETTINGS" 1019)"
expect_eq "too many days" "999" "$(driver dialog-text "$SETTINGS" 1101)"
close_settings 1
expect_eq "over-long language stored as automatic" "" "$(reg_query Language)"
expect_eq "too many days stored as the bound" "0x3e7" "$(reg_query KeepPartialDays)"
stop_program

# --- Screenshots of the dialog in English and in Russian, with its frame drawn by Wine.
# They go to the scratch folder; QV_SCREENSHOTS_DIR=docs/screenshots refreshes the user guide's.
shots="${QV_SCREENSHOTS_DIR:-$WORK}"
mkdir -p "$shots"
X11_KEY='HKCU\Software\Wine\X11 Driver'
wine reg add "$X11_KEY" /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
# The caption buttons' glyphs come from Wine's Marlett, which this prefix lacks otherwise.
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] && cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
shoot_settings() {  # shoot_settings FILE TEXT-OF-1017
  open_settings
  expect_eq "box 1017 in $(basename "$1")" "$2" "$(driver dialog-text "$SETTINGS" 1017)"
  screenshot_window "$SETTINGS" "$1"
  close_settings 2
}
reg_set Language REG_SZ 0409
start_program
shoot_settings "$shots/settings-en.png" "Autostart on Windows loading"
stop_program
reg_set Language REG_SZ 0419
reg_set MinimizeToTray REG_DWORD 1
start_program
shoot_settings "$shots/settings-ru.png" "Запускать при загрузке Windows"
stop_program
wine reg delete "$X11_KEY" /v Decorated /f >/dev/null 2>&1 || true

reg_clear
run_clear
finish
