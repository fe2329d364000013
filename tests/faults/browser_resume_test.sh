#!/usr/bin/env bash
# Resumed downloads through browser access: a 1 GiB file fetched in two halves is the
# same file; a file changed between the halves is sent whole to a client that names the
# old state in If-Range; ranges past the end, several ranges and nonsense get their
# answers. Several requests share one connection.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"

OFFER="$WORK/offer"
mkdir -p "$OFFER"
head -c 1G /dev/urandom >"$OFFER/big.bin"
serve_start "$OFFER/big.bin"
in_tx curl -sf "${URL}files" >/dev/null || fail "the list"
FILE="${URL}files/1"
SIZE=1073741824

# fetch OUT [CURL OPTIONS...]: prints the status and keeps the headers in $WORK/h.
fetch() {
  local out="$1"
  shift
  in_tx curl -s -D "$WORK/h" -o "$out" -w '%{http_code}' "$@" "$FILE"
}
field() { tr -d '\r' <"$WORK/h" | sed -n "s/^$1: //Ip"; }

expect_eq "the first half" "206" "$(fetch "$WORK/got.bin" -r 0-536870911)"
expect_eq "the first half's range" "bytes 0-536870911/$SIZE" "$(field Content-Range)"
expect_eq "ranges are offered" "bytes" "$(field Accept-Ranges)"
TAG="$(field ETag)"
expect_eq "the rest, resumed" "206" "$(fetch "$WORK/got.bin" -C -)"
cmp -s "$OFFER/big.bin" "$WORK/got.bin" && ok "the resumed file is the same" || fail "the resumed file differs"
rm -f "$WORK/got.bin"

expect_eq "a range with the same tag" "206" "$(fetch /dev/null -r 100-199 -H "If-Range: $TAG")"
expect_eq "a date in If-Range" "200" "$(fetch /dev/null -r 100-199 -H "If-Range: Tue, 08 Dec 2026 10:00:00 GMT")"
expect_eq "a range past the end" "416" "$(fetch /dev/null -r $SIZE-)"
expect_eq "its Content-Range" "bytes */$SIZE" "$(field Content-Range)"
expect_eq "several ranges" "200" "$(fetch /dev/null -r 0-1,5-9)"
expect_eq "a range that makes no sense" "200" "$(fetch /dev/null -H "Range: bytes=9-1")"
expect_eq "the last 10 bytes" "206" "$(fetch "$WORK/tail.bin" -r -10)"
tail -c 10 "$OFFER/big.bin" | cmp -s - "$WORK/tail.bin" && ok "the last 10 bytes are right" || fail "the last 10 bytes"

# The file changes between the halves (same size, one byte): a resume that names the old
# state gets the whole new file, never the old first half with the new second one.
printf 'X' | dd of="$OFFER/big.bin" bs=1 seek=7 conv=notrunc status=none
expect_eq "a resume with the old tag" "200" "$(fetch "$WORK/again.bin" -r 536870912- -H "If-Range: $TAG")"
[ "$(field ETag)" != "$TAG" ] && ok "the changed file has another tag" || fail "the tag stayed $TAG"
cmp -s "$OFFER/big.bin" "$WORK/again.bin" && ok "the whole new file came" || fail "the file after the change differs"
rm -f "$WORK/again.bin"

# One curl run with three requests opens one connection.
in_tx curl -sv -o /dev/null -o /dev/null -o /dev/null "${URL}files" "${URL}files" "$URL" 2>"$WORK/v" || fail "three requests"
expect_eq "connections for three requests" "1" "$(grep -c '^\* Connected to' "$WORK/v")"

rx_stop
finish
