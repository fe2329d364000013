#!/usr/bin/env bash
# The installer of the Windows program this machine runs (scripts/win-arch.sh picks it as
# for the other Windows tests: the 32-bit one where 32-bit programs run, else the 64-bit
# one), silently, in a fresh Wine prefix on a network of its own (tests/e2e/lib.sh's PC):
#   - its first page speaks the language the program would choose (English, Spanish,
#     Russian), with a screenshot of each (QV_SCREENSHOTS_DIR=docs/screenshots refreshes
#     the user guide's English and Russian ones);
#   - installed with netsh missing: the files are in Program Files, the Start menu
#     shortcut and the Uninstall key are there, and the firewall failure is logged;
#   - the program starts from the shortcut and shows its window;
#   - installed again while it runs: the running copy is closed and replaced;
#   - uninstalled silently: files, shortcut, Uninstall key and autostart value are gone,
#     the settings stay; with /RemoveSettings they go too.
set -uo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}"
source "$QV_ROOT/tests/dist/lib.sh"
arch_line="$("$QV_ROOT/scripts/win-arch.sh")" || { echo "FAIL: no Windows program runs under Wine here" >&2; exit 1; }
read -r bits _ <<<"$arch_line"
setup="quorvalinthexa-$VERSION-win$bits-setup.exe"
need_dist "$setup" "quorvalinthexa-$VERSION-win$bits.zip"
[ "$(id -u)" = 0 ] && ip netns list >/dev/null 2>&1 || skip "the installer runs in a network namespace of its own (run as root)"
echo "the win$bits installer (${arch_line#* })"

export QV_WIN_ARCH="$bits"
prefixes="$(mktemp -d /tmp/qv-dist-wine.XXXXXX)"
export QV_E2E_PREFIXES="$prefixes"
# No menu entries in the real home folder for the shortcut the installer makes.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d"
xvfb=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 150 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=":$n"
    wait_until 600 test -e "/tmp/.X11-unix/X$n" || true
    break
  done
fi
source "$QV_ROOT/tests/e2e/lib.sh"  # creates the PC "pc1" with its fresh prefix
trap 'cleanup; rm -rf "$prefixes"; [ -z "$xvfb" ] || kill "$xvfb"' EXIT

folder="$WINEPREFIX/drive_c/Program Files/Quorvalinthexa"
win_folder='C:\Program Files\Quorvalinthexa'
shortcut='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Quorvalinthexa.lnk'
shortcut_file="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvalinthexa.lnk"
sendto_file="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/SendTo/Quorvalinthexa.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvalinthexa'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
netsh="$WINEPREFIX/drive_c/windows/system32/netsh.exe"
[ "$bits" = 64 ] && display_name="Quorvalinthexa (64-bit)" || display_name="Quorvalinthexa"

install() {  # install WHAT: runs the installer silently and checks its exit code
  local rc=0
  pcwine "$DIST/$setup" /S </dev/null >/dev/null 2>&1 || rc=$?
  expect_eq "exit code of the $1" 0 "$rc"
}
key_gone() { ! pcwine reg query "$1" >/dev/null 2>&1; }
# uninstall [OPTION]: the uninstaller copies itself to %TEMP% and returns at once; the
# copy is done when the Uninstall key and the folder are gone.
uninstall() {
  pcwine "$win_folder\\uninstall.exe" /S "$@" </dev/null >/dev/null 2>&1 || fail "the uninstaller did not start"
  wait_until 600 key_gone "$uninstall_key" || true
  wait_until 600 test ! -e "$folder" || true
}

# The first page in each language, as the locale picks it. Wine draws the frame (as in
# the settings screenshots of tests/e2e), with its own Marlett for the caption buttons.
shots="${QV_SCREENSHOTS_DIR:-$WORK}"
mkdir -p "$shots"
pcwine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
# xdotool matches ASCII names only: the window is found by the part every language keeps.
window_of() { xdotool search --onlyvisible --name "Quorvalinthexa $VERSION" 2>/dev/null | head -n 1; }
has_window() { [ -n "$(window_of)" ]; }
no_window() { ! has_window; }
# locale     screenshot       the first page's title
while read -r locale shot title; do
  (export LC_ALL="$locale"; in_pc_exec wine "$DIST/$setup") </dev/null >/dev/null 2>&1 &
  gui=$!
  if wait_until 600 has_window; then
    expect_eq "title of the first page under $locale" "$title" "$(xdotool getwindowname "$(window_of)")"
    sleep 1  # drawn
    [ "$shot" = - ] || xwd -id "$(window_of)" -silent -display "$DISPLAY" | convert xwd:- "$shots/$shot" ||
      fail "no screenshot $shot"
  else
    fail "no first page under $locale"
  fi
  kill "$gui" 2>/dev/null || true
  wait "$gui" 2>/dev/null || true
  wait_until 600 no_window || fail "the installer's window stayed"
done <<EOF
en_US.UTF-8 installer-en.png Quorvalinthexa $VERSION Setup
es_ES.UTF-8 -                Instalación de Quorvalinthexa $VERSION
ru_RU.UTF-8 installer-ru.png Установка Quorvalinthexa $VERSION
EOF

# A first install where netsh is missing: it is logged and the install goes on.
mv "$netsh" "$netsh.away"
install "first install (netsh missing)"
mv "$netsh.away" "$netsh"
expect_eq "files in Program Files" \
  "LICENSE.txt NOTICES.txt Quorvalinthexa.exe Quorvalinthexa.exe.0419.mui Quorvalinthexa.exe.0c0a.mui install.log uninstall.exe" \
  "$(ls "$folder" 2>&1 | LC_ALL=C sort | xargs)"
check "the licence beside the installed program" grep -q "^MIT License" "$folder/LICENSE.txt"
check "the installed program is the zip's" cmp -s "$folder/Quorvalinthexa.exe" \
  <(unzip -p "$DIST/quorvalinthexa-$VERSION-win$bits.zip" "quorvalinthexa-$VERSION-win$bits/Quorvalinthexa.exe")
check "the Start menu shortcut exists" test -f "$shortcut_file"
check "the Send to shortcut exists" test -f "$sendto_file"
expect_eq "firewall failures in install.log" 3 "$(grep -c 'rule could not be added.*netsh: could not be started' "$folder/install.log")"
# The Uninstall key is read whole, by one reg process. Now and then a wine process ends
# without a word, and a value read through it would look empty: the read is given again
# until reg has answered with the key (an install leaves it there).
uninstall_values=""
read_uninstall_key() {
  uninstall_values="$(pcwine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')" &&
    grep -qF 'CurrentVersion\Uninstall\Quorvalinthexa' <<<"$uninstall_values"
}
uninstall_value() {  # uninstall_value NAME: its data as reg printed it
  awk -v n="$1" '$1 == n {for (i = 3; i <= NF; i++) printf "%s%s", $i, (i < NF ? " " : ""); print ""}' <<<"$uninstall_values"
}
wait_until 50 read_uninstall_key || fail "reg never answered with the Uninstall key"
for row in "DisplayName|$display_name" "DisplayVersion|$VERSION" "Publisher|The Quorvalinthexa authors" \
  "DisplayIcon|$win_folder\\Quorvalinthexa.exe,0" "InstallLocation|$win_folder" \
  "UninstallString|\"$win_folder\\uninstall.exe\"" "QuietUninstallString|\"$win_folder\\uninstall.exe\" /S"; do
  expect_eq "Uninstall key's ${row%%|*}" "${row#*|}" "$(uninstall_value "${row%%|*}")"
done
size="$(uninstall_value EstimatedSize)"
check "Uninstall key's EstimatedSize ($size KiB) covers the program" \
  test "$((size))" -ge "$(($(stat -c %s "$folder/Quorvalinthexa.exe") / 1024))"

# The program starts from its shortcut (start returns at once) and shows its window.
pcwine start "$shortcut" </dev/null >/dev/null 2>&1 || fail "start could not open the shortcut"
driver wait-window 30000 >/dev/null && expect_eq "window title" "Quorvalinthexa" "$(driver title)" ||
  fail "the installed program showed no window"

# Installed again while it runs: it is asked to close, and the update goes on without
# asking (the log records what it replaced).
install "install over a running copy"
check "the running copy was closed" driver wait-gone 1000
check "install.log records the replaced version" grep -q "Replacing the installed version $VERSION" "$folder/install.log"
expect_eq "firewall lines in install.log" 3 "$(grep -c 'Windows Firewall: ' "$folder/install.log")"

# A silent uninstall: everything of the program goes, the user's settings stay.
reg_set Directory REG_SZ 'C:\qv-store\'
pcwine reg add "$run_key" /v Quorvalinthexa /t REG_SZ /d "\"$win_folder\\Quorvalinthexa.exe\" --autostart" /f >/dev/null 2>&1
uninstall
check "the program's folder is gone" test ! -e "$folder"
check "the Start menu shortcut is gone" test ! -e "$shortcut_file"
check "the Send to shortcut is gone" test ! -e "$sendto_file"
check "the Uninstall key is gone" key_gone "$uninstall_key"
expect_eq "autostart value after uninstalling" "" "$(reg_query Quorvalinthexa "$run_key")"
expect_eq "settings after uninstalling" 'C:\qv-store\' "$(reg_query Directory)"

# With /RemoveSettings (the uninstaller's "My settings" box) the settings go as well.
install "second install"
uninstall /RemoveSettings
check "the program's folder is gone again" test ! -e "$folder"
check "the settings key is gone after /RemoveSettings" key_gone "$SETTINGS_KEY"
finish
