#!/usr/bin/env bash
# A real browser (headless Chromium) on the page of `quorvalinthexa serve`, from the other
# namespace: three uploads (50 MB, a Russian name, an empty file) and a download with a
# non-Latin name, all byte-identical. QV_SCREENSHOTS_DIR=docs/screenshots refreshes the
# README's pictures of the page.
source "$(dirname "$0")/lib.sh"
[ -x /usr/bin/chromium ] && [ -x /usr/bin/chromedriver ] || skip "chromium or chromium-driver is missing"
/usr/bin/python3 -c "import selenium" 2>/dev/null || skip "python3-selenium is missing"

SRC="$WORK/src"
DOWNLOADS="$WORK/downloads"
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SRC/offer/отчёты" "$DOWNLOADS" "$SHOTS"
head -c 50000000 /dev/urandom >"$SRC/big.bin"
printf 'привет' >"$SRC/файл отчёта.txt"
: >"$SRC/empty.txt"
head -c 100000 /dev/urandom >"$SRC/offer/отчёты/итоги 2026.bin"

(cd "$JAIL" && exec ip netns exec "$RX_NS" "$CLI" serve --no-qr --store "$STORE" "$SRC/offer/отчёты") \
  >"$WORK/rx.out" 2>>"$WORK/rx.err" &
RX_PID=$!
wait_for_line "$WORK/rx.out" "http://" || { fail "serve did not start: $(cat "$WORK/rx.err")"; finish; }
URL="$(grep -m1 '^http://' "$WORK/rx.out")"

# Chromium wants a home and a runtime folder of its own.
in_tx env HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/run" /usr/bin/python3 "$QV_ROOT/tests/support/browser_client.py" \
  "$URL" "$DOWNLOADS" "$SHOTS" "$SRC/big.bin" "$SRC/файл отчёта.txt" "$SRC/empty.txt" \
  --get "отчёты/итоги 2026.bin" || fail "the browser"
for name in big.bin "файл отчёта.txt" empty.txt; do
  cmp -s "$SRC/$name" "$STORE/$name" && ok "$name arrived byte-identical" || fail "$name differs or is missing"
done
cmp -s "$SRC/offer/отчёты/итоги 2026.bin" "$DOWNLOADS/итоги 2026.bin" && ok "the download is byte-identical" ||
  fail "the download differs: $(ls "$DOWNLOADS")"
rx_stop
finish
