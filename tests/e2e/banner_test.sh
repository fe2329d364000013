#!/usr/bin/env bash
# The banner from a real HTTP server (nginx) in the PC's network, under the banner
# host's name: the window grows by the title, the content and the picture + 15, the
# picture sits centred, and the server's cookie comes back on the next start. With the
# server gone the window keeps its size.
source "$(dirname "$0")/lib.sh"
host=banner.quorvalinthexa.invalid
mkdir -p "/etc/netns/$NS"
echo "127.0.0.1 $host" >"/etc/netns/$NS/hosts"
trap 'cleanup; rm -rf "/etc/netns/$NS"' EXIT
log="$WORK/access.log"
in_pc "$QV_ROOT/scripts/banner-server.sh" start "$WORK/banner" 127.0.0.1 "$host" "$log"

# The program keeps the server's cookie in its own folder: run a copy from a folder of
# the test's, so that the first start has none and nothing stays behind.
mkdir -p "$WORK/app"
cp "$EXE" "$QV_WIN_BUILD"/Quorvalinthexa.exe.*.mui "$WORK/app/"
EXE="$WORK/app/Quorvalinthexa.exe"
# requests N: the banner requests (not the picture's) from the Nth on.
requests() { grep '"GET /?area=' "$log" | tail -n +"$1"; }

size_of() { sed -E 's/^([0-9]+)x([0-9]+).*/\1 \2/' <<<"$1"; }

reg_clear
use_store
start_program
driver wait-text 1004 "Quorvalinthexa & friends" 20000 || fail "no banner title: \"$(driver text 1004)\""
expect_eq "banner content" "Files across the room" "$(driver text 1005)"
# The title is shown as the server sent it: "&" is no mnemonic prefix there.
expect_eq "title style has SS_NOPREFIX" "1" "$(driver has-style 1004 0x80)"
sleep 1
read -r w h <<<"$(size_of "$(driver rect)")"
read -r pw ph px py <<<"$(driver rect 1003 | sed -E 's/^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$/\1 \2 \3 \4/')"
expect_eq "picture size" "100x40" "${pw}x${ph}"
read -r tw th tx ty <<<"$(driver rect 1004 | sed -E 's/^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$/\1 \2 \3 \4/')"
expect_eq "picture centred on the banner width" "$((tw / 2 - 50))" "$px"
expect_eq "picture below the two text lines" "$((ty + 2 * th))" "$py"
if [ -n "${QV_SCREENSHOTS_DIR:-}" ]; then
  "$QV_ROOT/scripts/screenshot-window.sh" Quorvalinthexa "$QV_SCREENSHOTS_DIR/main-window-banner.png" || true
fi
# A click on the picture or a text opens the link with the default handler: Wine's
# browser launcher, told to use a recorder instead of a real browser.
printf '#!/bin/sh\necho "$1" >>"%s"\n' "$WORK/opened.txt" >"$WORK/browser.sh"
chmod +x "$WORK/browser.sh"
pcwine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d "$WORK/browser.sh" /f >/dev/null 2>&1
for id in 1003 1005; do
  : >"$WORK/opened.txt"
  driver click "$id" >/dev/null 2>&1 || driver post 0x0111 "$id" 0 >/dev/null
  wait_until 100 test -s "$WORK/opened.txt" || true
  expect_eq "link opened by a click on $id" "http://$host/welcome" "$(head -n 1 "$WORK/opened.txt")"
done
stop_program
expect_eq "first start: one banner request" 1 "$(requests 1 | wc -l)"
requests 1 | grep -q ' cookies=none ' && echo "ok: the first request carried no cookie" || fail "first request: $(requests 1)"
expect_eq "the stored cookie" "uid=42;" "$(tr -d ' ' <"$WORK/app/cookie" 2>/dev/null)"

# Next start: the cookie the server set comes back; the window grows the same way.
start_program
driver wait-text 1004 "Quorvalinthexa & friends" 20000 || fail "no banner on the second start"
requests 2 | grep -q ' cookies=\[uid=42;\] ' && echo "ok: the stored cookie was sent" || fail "requests: $(cat "$log")"
sleep 1
read -r w2 h2 <<<"$(size_of "$(driver rect)")"
expect_eq "window size with the banner again" "${w}x${h}" "${w2}x${h2}"
stop_program

# Server gone: the window keeps its size and shows nothing; the program goes on.
in_pc "$QV_ROOT/scripts/banner-server.sh" stop "$WORK/banner"
start_program
sleep 3
read -r w3 h3 <<<"$(size_of "$(driver rect)")"
expect_eq "banner title without a server" "" "$(driver text 1004)"
[ "$h3" -lt "$h" ] && echo "ok: the window did not grow without a server ($h3 < $h)" || fail "window height $h3 without a server"
expect_eq "still answering" "1" "$(driver enabled 110)"
stop_program
finish
