#!/usr/bin/env bash
# A real browser (headless Chromium) on the page of `quorvalinthexa serve`, from the other
# namespace: three uploads (50 MB, a Russian name, an empty file) and a download with a
# non-Latin name, all byte-identical. Its pictures go to QV_SCREENSHOTS_DIR if given (the
# user guide's come from browser_page_test.sh).
source "$(dirname "$0")/lib.sh"
source "$QV_ROOT/tests/support/browser.sh"
need_browser

SRC="$WORK/src"
DOWNLOADS="$WORK/downloads"
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SRC/offer/отчёты" "$DOWNLOADS" "$SHOTS"
upload_files "$SRC"
head -c 100000 /dev/urandom >"$SRC/offer/отчёты/итоги 2026.bin"

(cd "$JAIL" && exec ip netns exec "$RX_NS" "$CLI" serve --no-qr --store "$STORE" "$SRC/offer/отчёты") \
  >"$WORK/rx.out" 2>>"$WORK/rx.err" &
RX_PID=$!
wait_for_line "$WORK/rx.out" "http://" || { fail "serve did not start: $(cat "$WORK/rx.err")"; finish; }
URL="$(grep -m1 '^http://' "$WORK/rx.out")"

browse in_tx "$WORK" "$URL" "$DOWNLOADS" "$SHOTS" "$SRC" "отчёты/итоги 2026.bin" || fail "the browser"
uploads_arrived "$SRC" "$STORE"
cmp -s "$SRC/offer/отчёты/итоги 2026.bin" "$DOWNLOADS/итоги 2026.bin" && ok "the download is byte-identical" ||
  fail "the download differs: $(ls "$DOWNLOADS")"
rx_stop
finish
