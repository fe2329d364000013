#!/usr/bin/env bash
# The page in a real browser (headless Chromium, from the other namespace) against a
# computer that holds as many unfinished resumable uploads of the browser's address as it
# takes: after a few refusals each file goes in one plain upload and arrives whole, instead
# of the page asking again for ever.
source "$(dirname "$0")/lib.sh"
source "$QV_ROOT/tests/support/browser.sh"
need_browser
serve_start
for i in $(seq 16); do
  code="$(in_tx curl -s -o /dev/null -w '%{http_code}' -X POST -H "Tus-Resumable: 1.0.0" -H "Upload-Length: 10" \
    -H "Upload-Metadata: filename $(printf "left%d.bin" "$i" | base64 -w0)" "${URL}uploads")"
  [ "$code" = 201 ] || fail "unfinished upload $i: $code"
done
code="$(in_tx curl -s -o /dev/null -w '%{http_code}' -X POST -H "Tus-Resumable: 1.0.0" -H "Upload-Length: 10" \
  -H "Upload-Metadata: filename $(printf "one-more.bin" | base64 -w0)" "${URL}uploads")"
expect_eq "the table is full for this address" 429 "$code"

mkdir -p "$WORK/up"
head -c 3000000 /dev/urandom >"$WORK/up/large.bin"  # created first, then sent
printf 'small' >"$WORK/up/small.txt"                  # sent with its creation
in_tx env HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/run" /usr/bin/python3 "$QV_ROOT/tests/support/browser_client.py" \
  "$URL" "$WORK/downloads" "$WORK/shots" "$WORK/up/large.bin" "$WORK/up/small.txt" >"$WORK/page.out" 2>&1 ||
  fail "the page: $(grep -E 'FAIL' "$WORK/page.out" | tr '\n' ';')"
for name in large.bin small.txt; do
  cmp -s "$WORK/up/$name" "$STORE/$name" && ok "$name arrived whole" || fail "$name differs or is missing"
done
rx_stop
finish
