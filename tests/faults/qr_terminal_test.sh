#!/usr/bin/env bash
# The QR code that `serve` prints is read from a light terminal and from a dark one: each
# is a real xterm under a virtual display, photographed and decoded by zbarimg. The
# one-pixel seams that the font leaves between text rows, which no camera resolves, are
# closed first.
source "$(dirname "$0")/lib.sh"
for tool in Xvfb xterm xwd convert zbarimg; do command -v "$tool" >/dev/null || skip "$tool is missing"; done

(cd "$JAIL" && exec ip netns exec "$RX_NS" "$CLI" serve --store "$STORE") >"$WORK/qr.txt" 2>/dev/null &
RX_PID=$!
wait_for_line "$WORK/qr.txt" "^http://" || { fail "serve printed no address"; finish; }
rx_stop
URL="$(grep -m1 '^http://' "$WORK/qr.txt")"
grep -v '^http://' "$WORK/qr.txt" >"$WORK/code.txt"
[ -n "${QV_KEEP_SHOTS:-}" ] && cp "$WORK/qr.txt" "$QV_KEEP_SHOTS/"

display=""
for n in $(seq 150 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "$display" ] || skip "no free display number"
Xvfb "$display" -screen 0 1024x900x24 -nolisten tcp >/dev/null 2>&1 &
HOLDERS+=($!)
wait_until 50 test -e "/tmp/.X11-unix/X${display#:}" || { fail "no virtual display"; finish; }

for colours in "black white light" "white black dark"; do
  read -r fg bg name <<<"$colours"
  DISPLAY="$display" xterm -geometry 80x40+0+0 -fa Monospace -fs 14 -fg "$fg" -bg "$bg" \
    -e "cat '$WORK/code.txt'; sleep 60" &
  term=$!
  sleep 2
  DISPLAY="$display" xwd -root -silent | convert xwd:- -colorspace gray -morphology Erode Rectangle:1x3 "$WORK/$name.png"
  kill "$term"
  [ -n "${QV_KEEP_SHOTS:-}" ] && cp "$WORK/$name.png" "$QV_KEEP_SHOTS/"
  decoded="$(zbarimg --raw -q "$WORK/$name.png" 2>/dev/null || true)"
  [ "${decoded,,}" = "${URL,,}" ] && ok "the code on a $name terminal reads as the address" ||
    fail "the code on a $name terminal reads as \"$decoded\""
done
finish
