#!/usr/bin/env bash
# Resumable uploads through browser access, from the other namespace: hostile requests get
# their answers (hostile_tus.py) and store nothing, and a host that fills the table of
# uploads or declares the free space holds no other browser back; an upload cut half way
# resumes from the offset HEAD tells and arrives whole; uploads sent six at a time, PUT and
# resumable ones, each arrive whole; partial files a killed program left are gone at the
# start, and partial uploads are gone once access ends.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"
OTHER=10.213.0.10
CROWD=(10.213.0.11 10.213.0.12 10.213.0.13 10.213.0.14)
for a in "$OTHER" "${CROWD[@]}"; do ip -n "$TX_NS" addr add "$a/24" dev "$TX_IF"; done
PARTIALS="$STORE/~qvuploads"

mkdir -p "$PARTIALS"
echo old >"$PARTIALS/~qvupLEFTOVER.part"
echo mine >"$PARTIALS/notes.txt"
serve_start
check "a killed program's partial file is gone at the start" test ! -e "$PARTIALS/~qvupLEFTOVER.part"
expect_eq "a file of the user's there" "mine" "$(cat "$PARTIALS/notes.txt")"
rm -rf "$PARTIALS"

FREE="$(df -B1 --output=avail "$STORE" | tail -n 1)"
if in_tx python3 "$QV_ROOT/tests/faults/hostile_tus.py" "$RX_ADDR" 2905 "$TOKEN" "$OTHER" "$FREE" "${CROWD[@]}" \
  >"$WORK/tus.out"; then
  ok "hostile requests: $(grep -c '^ok' "$WORK/tus.out") answers as expected"
else
  fail "hostile requests: $(grep FAIL "$WORK/tus.out" | tr '\n' ';')"
fi
expect_eq "what they stored" "./beside.txt" "$(cd "$JAIL" && find . -mindepth 1 -not -path ./store | sed 's|^./store/|./|')"
rm -f "$STORE/beside.txt"

# tus ARGS...: a request with the protocol's version; prints its status, headers in $WORK/h.
tus() { in_tx curl -s -D "$WORK/h" -o /dev/null -w '%{http_code}' -H "Tus-Resumable: 1.0.0" "$@"; }
field() { tr -d '\r' <"$WORK/h" | sed -n "s/^$1: //Ip"; }
PIECE=(-H "Content-Type: application/offset+octet-stream")
head -c 8M /dev/urandom >"$WORK/big.bin"
head -c 4M "$WORK/big.bin" >"$WORK/half.bin"
tail -c +4194305 "$WORK/big.bin" >"$WORK/rest.bin"
expect_eq "made" 201 "$(tus -X POST -H "Upload-Length: 8388608" \
  -H "Upload-Metadata: filename $(printf 'Resumed/big.bin' | base64 -w0)" "${URL}uploads")"
LOC="http://$RX_ADDR:2905$(field Location)"
# The first half on a piece that announces the whole file, cut when curl gives up.
in_tx curl -s -o /dev/null --max-time 3 -X PATCH -H "Tus-Resumable: 1.0.0" "${PIECE[@]}" -H "Upload-Offset: 0" \
  -H "Content-Length: 8388608" --data-binary @"$WORK/half.bin" "$LOC" || true
expect_eq "HEAD after the cut" 200 "$(tus -I "$LOC")"
expect_eq "its offset" 4194304 "$(field Upload-Offset)"
check "no file of its name yet" test ! -e "$STORE/Resumed/big.bin"
expect_eq "the rest" 204 "$(tus -X PATCH "${PIECE[@]}" -H "Upload-Offset: 4194304" --data-binary @"$WORK/rest.bin" "$LOC")"
check "the resumed file is whole" cmp -s "$WORK/big.bin" "$STORE/Resumed/big.bin"
# The answer to the last piece lost: HEAD still tells the whole length, and an empty PATCH
# there is done, with nothing stored twice.
expect_eq "HEAD once whole" 200 "$(tus -I "$LOC")"
expect_eq "its offset once whole" 8388608 "$(field Upload-Offset)"
expect_eq "an empty PATCH at the end" 204 "$(tus -X PATCH "${PIECE[@]}" -H "Upload-Offset: 8388608" --data-binary '' "$LOC")"
expect_eq "its offset" 8388608 "$(field Upload-Offset)"
expect_eq "more bytes past the end" 409 "$(tus -X PATCH "${PIECE[@]}" -H "Upload-Offset: 4194304" --data-binary x "$LOC")"
check "the file is stored once, whole" cmp -s "$WORK/big.bin" "$STORE/Resumed/big.bin"
expect_eq "nothing beside it" "big.bin" "$(ls -A "$STORE/Resumed")"

# Six at a time: six PUTs and six resumable uploads made with their bytes.
mkdir -p "$WORK/par"
args=()
for i in $(seq 6); do
  head -c 3M /dev/urandom >"$WORK/par/put$i.bin"
  head -c 3M /dev/urandom >"$WORK/par/tus$i.bin"
  args+=(-w '%{http_code}\n' -o /dev/null -T "$WORK/par/put$i.bin" "${URL}files?name=Par/put$i.bin" --next)
  args+=(-w '%{http_code}\n' -o /dev/null -X POST -H "Tus-Resumable: 1.0.0" "${PIECE[@]}" -H "Upload-Length: 3145728"
    -H "Upload-Metadata: filename $(printf "Par/tus$i.bin" | base64 -w0)" --data-binary @"$WORK/par/tus$i.bin"
    "${URL}uploads" --next)
done
unset 'args[-1]'  # the last --next
in_tx curl -s --parallel --parallel-max 6 "${args[@]}" >"$WORK/codes" 2>/dev/null || true
expect_eq "their answers" "12 201" "$(sort "$WORK/codes" | uniq -c | awk '{print $1, $2}' | tr '\n' ' ' | sed 's/ $//')"
for f in "$WORK"/par/*.bin; do
  cmp -s "$f" "$STORE/Par/$(basename "$f")" || fail "$(basename "$f") differs"
done
expect_eq "files stored six at a time" 12 "$(find "$STORE/Par" -type f | wc -l)"

# A partial upload is kept while access is on, and goes with it.
expect_eq "a partial upload" 201 "$(tus -X POST "${PIECE[@]}" -H "Upload-Length: 100" \
  -H "Upload-Metadata: filename $(printf 'left.bin' | base64 -w0)" --data-binary 0123456789 "${URL}uploads")"
expect_eq "its partial file" 1 "$(find "$PARTIALS" -name '*.part' | wc -l)"
rx_stop
check "access ended: partial uploads are gone" test ! -e "$PARTIALS"
check "and nothing of its name" test ! -e "$STORE/left.bin"
finish
