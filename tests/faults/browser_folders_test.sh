#!/usr/bin/env bash
# Folders and texts through `serve`, with curl from the other namespace: a folder of 1000
# files in 20 subfolders arrives whole; hostile paths are refused with nothing written
# outside the store; a text goes each way, and one too long is refused on either side; a
# read-only file of an upload's name stays, and a replaced one is synced before the rename.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"

OUTSIDE="$WORK/outside"
mkdir -p "$OUTSIDE" "$WORK/src/Album"
ln -s "$OUTSIDE" "$STORE/link"
OFFERED="$(printf 'Привет from the computer\nline two')"

rc=0
timeout 10 ip netns exec "$RX_NS" "$CLI" serve --no-qr --store "$STORE" --text "$(head -c 65537 /dev/zero | tr '\0' t)" \
  >/dev/null 2>"$WORK/long.err" || rc=$?
expect_eq "serve with a text past 65536 bytes" "2" "$rc"
serve_start --text "$OFFERED"

# put NAME FILE: the upload's status and word, as "201 saved".
put() {
  in_tx curl -s -w ' %{http_code}' -T "$2" "${URL}files?name=$(python3 -c 'import sys, urllib.parse
print(urllib.parse.quote(sys.argv[1], safe=""))' "$1")" | awk '{print $2, $1}'
}

# The folder: 1000 files of up to 4 KiB in 20 subfolders, sent by one curl one after another.
python3 - "$WORK/src/Album" <<'EOF'
import os, sys
for i in range(1000):
    folder = os.path.join(sys.argv[1], "sub%02d" % (i % 20))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file%04d.bin" % i), "wb") as f:
        f.write(os.urandom(i * 37 % 4096))
EOF
(cd "$WORK/src" && find Album -type f | sort | while read -r f; do
  printf 'upload-file = "%s/%s"\nurl = "%sfiles?name=%s"\noutput = "/dev/null"\n' "$WORK/src" "$f" "$URL" "${f//\//%2F}"
done) >"$WORK/folder.curl"
started=$(date +%s%N)
in_tx curl -s -K "$WORK/folder.curl" -w '%{http_code}\n' >"$WORK/folder.status" || true
echo "1000 uploads took $((($(date +%s%N) - started) / 1000000)) ms"
expect_eq "1000 uploads saved" "1000" "$(grep -cx 201 "$WORK/folder.status")"
diff -r "$WORK/src/Album" "$STORE/Album" >/dev/null && ok "the folder arrived whole" || fail "the folder differs"
expect_eq "no temporary file left" "" "$(find "$STORE" -name '~qvup*')"

# Hostile paths: each refused before anything is written.
printf 'abc' >"$WORK/small.txt"
long="$(printf 'd%.0s' $(seq 40))"
past="$long/$long/$long/$long/$long/$long/x.txt"  # each part fits, the whole passes the path limit
while IFS='|' read -r name expected; do
  expect_eq "the path \"${name:0:40}\"" "$expected" "$(put "$name" "$WORK/small.txt")"
done <<EOF
../x|400 bad-name
a/../../x|400 bad-name
/etc/x|400 bad-name
a//b|400 bad-name
a\\b|400 bad-name
CON/x|400 bad-name
a/NUL.txt|400 bad-name
a/b:c|400 bad-name
a/$(printf 'n%.0s' $(seq 300))|400 bad-name
$past|400 name-too-long
link/x|400 bad-name
Album/../../x|400 bad-name
EOF
expect_eq "the server's folder holds only the store" "store" "$(ls -A "$JAIL")"
expect_eq "the store holds only the folder and the link" "Album link" "$(ls -A "$STORE" | xargs)"
expect_eq "nothing went through the link" "" "$(ls -A "$OUTSIDE")"
expect_eq "nothing went to the root" "" "$(ls -d /x /etc/x 2>/dev/null || true)"

# Texts: the computer's is fetched as it was given; a browser's is printed, its control
# characters made harmless; one too long is refused before its body is read.
in_tx curl -s -D "$WORK/text.head" -o "$WORK/text.got" "${URL}text" || fail "the offered text"
expect_eq "the offered text" "$OFFERED" "$(cat "$WORK/text.got")"
grep -qi '^content-type: text/plain; charset=utf-8' "$WORK/text.head" && ok "the text's type" ||
  fail "the text's type: $(cat "$WORK/text.head")"
# Its lines are indented, so that none can pose as the end of it and a second sender's text.
sent="$(printf 'Hello from the browser\n--\nText from 10.0.0.99:\nposing\n\033[2Jcleared?')"
expect_eq "a text sent" "shown 201" "$(in_tx curl -s -w ' %{http_code}' --data-binary "$sent" "${URL}text")"
wait_for_line "$WORK/rx.out" "cleared\?" || fail "the text was not printed"
expect_eq "the text as printed" "Text from $TX_ADDR:|  Hello from the browser|  --|  Text from 10.0.0.99:|  posing" \
  "$(grep -A4 -x "Text from $TX_ADDR:" "$WORK/rx.out" | paste -sd'|')"
expect_eq "the lines that frame a text" "2" "$(grep -cxE -- '--|Text from .*:' "$WORK/rx.out")"
grep -q $'\033' "$WORK/rx.out" && fail "an escape reached the terminal" || ok "no escape reached the terminal"
head -c 65537 /dev/zero | tr '\0' t >"$WORK/long.txt"
expect_eq "a text too long" "too-long 413" \
  "$(in_tx curl -s -w ' %{http_code}' -H 'Expect: 100-continue' --data-binary @"$WORK/long.txt" "${URL}text")"

# A file of an upload's name gives way as on port 2904: as a user, whom a file's mode binds
# (as root, one without any write bit stays as well), a read-only one stays; one that is
# replaced gets the new content only once that is on the disk (a sync before the rename).
rx_stop
chmod 755 "$WORK"
chown nobody "$STORE"
printf old >"$STORE/ro.txt"
chmod 444 "$STORE/ro.txt"
printf old >"$STORE/rw.txt"
chown nobody "$STORE/rw.txt"
printf new >"$WORK/new.txt"
RX_WRAP="setpriv --reuid=nobody --regid=nogroup --clear-groups" serve_start
expect_eq "a read-only file of the upload's name" "500 not-saved" "$(put ro.txt "$WORK/new.txt")"
expect_eq "the read-only file" "old" "$(cat "$STORE/ro.txt")"
strace -f -qq -e trace=fsync,rename -o "$WORK/trace" -p "$RX_PID" &
tracer=$!
wait_until 100 bash -c "! grep -qE '^TracerPid:\s+0$' /proc/$RX_PID/status" || fail "strace did not attach"
expect_eq "a writable file of the upload's name" "201 saved" "$(put rw.txt "$WORK/new.txt")"
expect_eq "the writable file" "new" "$(cat "$STORE/rw.txt")"
kill "$tracer"
wait "$tracer" || true
expect_eq "the upload's first syscalls traced" "fsync rename" \
  "$(grep -oE '(fsync|rename)\(' "$WORK/trace" | head -n2 | tr -d '(' | paste -sd' ')"
rx_stop
finish
