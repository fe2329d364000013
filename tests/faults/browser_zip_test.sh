#!/usr/bin/env bash
# Offered files as one zip, fetched through browser access: every offered file, and one
# offered folder's, each opened by four readers (tests/support/zip_check.py) and compared
# byte for byte: UTF-8 names, empty files, subfolders. A file that changes while its zip
# is sent leaves curl reporting a failed download. (A 5 GiB archive: browser_zip_5gib_test.sh.)
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"
for tool in unzip 7z bsdtar; do command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh)"; done
CHECK="$QV_ROOT/tests/support/zip_check.py"

OFFER="$WORK/offer"
mkdir -p "$OFFER/Фото/2024/日本" "$OFFER/Docs"
printf 'лето' >"$OFFER/Фото/2024/лето.txt"
head -c 700K /dev/urandom >"$OFFER/Фото/2024/日本/写真.bin"
: >"$OFFER/Фото/пусто.txt"
printf 'x' >"$OFFER/Фото/a b.txt"
printf 'docs' >"$OFFER/Docs/x.txt"
printf 'ü' >"$OFFER/readme ü.txt"

# manifest FOLDER...: the expected members, named from the offered folder on.
manifest() {
  local folder
  for folder in "$@"; do
    (cd "$OFFER" && find "$folder" -type f -printf "%p\t$OFFER/%p\n")
  done
}
# fetch QUERY OUT: the zip of "zip$QUERY" into OUT, its head into OUT.head; curl's status.
fetch() {
  local rc=0
  in_tx curl -sS -D "$2.head" -o "$2" "${URL}zip$1" 2>"$2.err" || rc=$?
  return $rc
}
header() { grep -i "^$1:" "$2.head" | tr -d '\r' | cut -d' ' -f2-; }

serve_start "$OFFER/Фото" "$OFFER/Docs" "$OFFER/readme ü.txt"

check "the whole zip" fetch "" "$WORK/all.zip"
manifest Фото Docs "readme ü.txt" >"$WORK/all.list"
check "the whole zip, read by four readers" python3 "$CHECK" "$WORK/all.zip" "$WORK/all.list"
expect_eq "its type" "application/zip" "$(header content-type "$WORK/all.zip")"
expect_eq "its encoding" "chunked" "$(header transfer-encoding "$WORK/all.zip")"
expect_eq "its name" "attachment; filename=\"Quorvalinthexa.zip\"; filename*=UTF-8''Quorvalinthexa.zip" \
  "$(header content-disposition "$WORK/all.zip")"
expect_eq "its policy" "default-src 'none'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'" \
  "$(header content-security-policy "$WORK/all.zip")"

check "one folder's zip" fetch "?folder=%D0%A4%D0%BE%D1%82%D0%BE" "$WORK/photos.zip"
manifest Фото >"$WORK/photos.list"
check "one folder's zip, read by four readers" python3 "$CHECK" "$WORK/photos.zip" "$WORK/photos.list"
expect_eq "its name" "attachment; filename=\"____.zip\"; filename*=UTF-8''%D0%A4%D0%BE%D1%82%D0%BE.zip" \
  "$(header content-disposition "$WORK/photos.zip")"
# A whole zip leaves its connection ready for the next request.
expect_eq "connections opened for a zip and then the list" "1 0" \
  "$(in_tx curl -s -o /dev/null -w '%{num_connects} ' "${URL}zip" -o /dev/null "${URL}files" | xargs)"
fetch "?folder=2024" "$WORK/none.zip" || true
expect_eq "a folder that is not offered" "404" "$(head -n1 "$WORK/none.zip.head" | cut -d' ' -f2)"

# A file that grows while the zip is on its way: the zip ends without its last chunk.
head -c 48M /dev/zero >"$OFFER/Docs/a.bin"
(sleep 1 && printf 'more' >>"$OFFER/Docs/x.txt") &
rc=0
in_tx curl -sS --limit-rate 8M -o "$WORK/cut.zip" "${URL}zip?folder=Docs" 2>"$WORK/cut.err" || rc=$?
[ "$rc" != 0 ] && ok "curl reports the cut zip as failed ($rc: $(cat "$WORK/cut.err"))" || fail "a cut zip looked whole"
check "the cut zip does not open" bash -c "! python3 -m zipfile -t '$WORK/cut.zip' 2>/dev/null"
rm -f "$OFFER/Docs/a.bin" "$WORK"/*.zip

rx_stop
finish
