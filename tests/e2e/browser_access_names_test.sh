#!/usr/bin/env bash
# Browser access from the Windows program on a Latin code page keeps names in Cyrillic,
# Greek and CJK, which that code page cannot carry: uploads (into folders of such names
# too) are stored under them, and the offered folder's files are listed, downloaded and
# zipped under them, byte-identical.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"
NAMES=("отчёт.txt" "Φάκελος/σημειώσεις.txt" "文件夹/文档.txt")

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
OFFERED="$WORK/qv-names"
for name in "${NAMES[@]}"; do
  mkdir -p "$(dirname "$OFFERED/$name")"
  printf '%s' "$name" >"$OFFERED/$name"
done
rm -rf "$WINEPREFIX/drive_c/qv-names" && cp -rp "$OFFERED" "$WINEPREFIX/drive_c/qv-names"
latin_exe
open_access 'C:\qv-names'

pc_use pc2
quote() { python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "$1"; }
for name in "${NAMES[@]}"; do
  answer="$(in_pc curl -s -T "$OFFERED/$name" "${URL}files?name=$(quote "$name")")"
  expect_eq "the upload of $name" "saved" "$answer"
  check "$name is stored under its name" cmp -s "$OFFERED/$name" "$STORE/$name"
done

# "ID<TAB>NAME" a line per offered file.
in_pc curl -s "${URL}files" | python3 -c 'import json, sys
for f in json.load(sys.stdin): print("%d\t%s" % (f["id"], f["name"]))' >"$WORK/list" || fail "the list"
: >"$WORK/zip.list"
for name in "${NAMES[@]/#/qv-names/}"; do
  id="$(awk -F'\t' -v n="$name" '$2 == n {print $1}' "$WORK/list")"
  rm -f "$WORK/download" && in_pc curl -s -o "$WORK/download" "${URL}files/${id:-0}"
  check "$name is offered ($id) and downloads byte-identical" cmp -s "$WORK/$name" "$WORK/download"
  printf '%s\t%s\n' "$name" "$WORK/$name" >>"$WORK/zip.list"
done
in_pc curl -s -o "$WORK/all.zip" "${URL}zip"
check "the zip, read by four readers" python3 "$QV_ROOT/tests/support/zip_check.py" "$WORK/all.zip" "$WORK/zip.list"

pc_use pc1
driver dialog-click "$ACCESS" 2 >/dev/null
driver wait-dialog-gone "$ACCESS" 20000 || fail "the access dialog did not close"
stop_program
finish
