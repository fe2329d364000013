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
OFFERED="$WORK/offered"
for name in "${NAMES[@]}"; do
  mkdir -p "$(dirname "$OFFERED/$name")"
  printf '%s' "$name" >"$OFFERED/$name"
done
mkdir -p "$WINEPREFIX/drive_c/qv-offer"
cp -r "$OFFERED"/. "$WINEPREFIX/drive_c/qv-offer/"
latin_exe
open_access 'C:\qv-offer'

pc_use pc2
quote() { python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "$1"; }
for name in "${NAMES[@]}"; do
  answer="$(in_pc curl -s -T "$OFFERED/$name" "${URL}files?name=$(quote "$name")")"
  expect_eq "the upload of $name" "saved" "$answer"
  check "$name is stored under its name" cmp -s "$OFFERED/$name" "$STORE/$name"
done

in_pc curl -s "${URL}files" >"$WORK/list.json"
# list: "ID<TAB>NAME" a line per offered file.
python3 -c 'import json, sys
for f in json.load(open(sys.argv[1])): print("%d\t%s" % (f["id"], f["name"]))' "$WORK/list.json" >"$WORK/list" ||
  fail "the list: $(head -c 300 "$WORK/list.json")"
: >"$WORK/zip.list"
for name in "${NAMES[@]}"; do
  id="$(awk -F'\t' -v n="qv-offer/$name" '$2 == n {print $1}' "$WORK/list")"
  [ -n "$id" ] && ok "qv-offer/$name is offered" || { fail "qv-offer/$name is not offered: $(cut -f2 "$WORK/list")"; continue; }
  in_pc curl -s -o "$WORK/download" "${URL}files/$id"
  check "qv-offer/$name downloads byte-identical" cmp -s "$OFFERED/$name" "$WORK/download"
  printf '%s\t%s\n' "qv-offer/$name" "$OFFERED/$name" >>"$WORK/zip.list"
done
in_pc curl -s -o "$WORK/all.zip" "${URL}zip"
check "the zip, read by four readers" python3 "$QV_ROOT/tests/support/zip_check.py" "$WORK/all.zip" "$WORK/zip.list"

pc_use pc1
driver dialog-click "$ACCESS" 2 >/dev/null
driver wait-dialog-gone "$ACCESS" 20000 || fail "the access dialog did not close"
stop_program
finish
