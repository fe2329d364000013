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

# photograph NAME: the screen as a camera would take it, and what zbarimg reads there
# (in $decoded); true once it reads a code.
photograph() {
  DISPLAY="$display" xwd -root -silent | convert xwd:- -colorspace gray -morphology Erode Rectangle:1x3 "$WORK/$1.png"
  decoded="$(zbarimg --raw -q "$WORK/$1.png" 2>/dev/null || true)"
  [ -n "$decoded" ]
}

for colours in "black white light" "white black dark"; do
  read -r fg bg name <<<"$colours"
  DISPLAY="$display" xterm -geometry 80x40+0+0 -fa Monospace -fs 14 -fg "$fg" -bg "$bg" \
    -e "cat '$WORK/code.txt'; sleep 300" &
  term=$!
  # On a fresh, busy machine xterm may take seconds to start and draw: the screen is
  # photographed again until a code is there (a code half drawn reads as none), at most
  # for 90 s, and the last photograph is the one judged.
  deadline=$((SECONDS + 90))
  until photograph "$name" || [ "$SECONDS" -ge "$deadline" ]; do sleep 0.2; done
  kill "$term"
  wait "$term" 2>/dev/null || true
  [ -n "${QV_KEEP_SHOTS:-}" ] && cp "$WORK/$name.png" "$QV_KEEP_SHOTS/"
  [ "${decoded,,}" = "${URL,,}" ] && ok "the code on a $name terminal reads as the address" ||
    fail "the code on a $name terminal reads as \"$decoded\""
done
finish
