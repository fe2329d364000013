#!/usr/bin/env bash
# Browser access under attack and under load, with real sockets between two namespaces:
# requests without the token, hostile names, lying lengths, slow and endless heads and a
# crowd of connections are each refused or cut; nothing is written outside the store and
# no cut upload is left under its name; afterwards a normal upload works. Then a 1 GiB
# upload, which must not grow the server's memory by 50 MB.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"

OFFER="$WORK/offer"
mkdir -p "$OFFER/folder"
printf 'offered' >"$OFFER/folder/one.txt"

serve_start "$OFFER/folder"
expect_eq "the address" "http://$RX_ADDR:2905/$TOKEN/" "$URL"

# A second server on the same port says so, and does not pick another port.
rc=0
(cd "$JAIL" && ip netns exec "$RX_NS" "$CLI" serve --no-qr --store "$STORE") >/dev/null 2>"$WORK/second.err" || rc=$?
expect_eq "a second server's exit status" "1" "$rc"
grep -q "2905 on $RX_ADDR is in use" "$WORK/second.err" && ok "a taken port is named" ||
  fail "a taken port: $(cat "$WORK/second.err")"

in_tx python3 "$QV_ROOT/tests/faults/hostile_http.py" "$RX_ADDR" 2905 "$TOKEN" || fail "hostile requests"
kill -0 "$RX_PID" 2>/dev/null && ok "the server keeps running" || fail "the server died"
expect_eq "the server's folder holds only the store" "store" "$(ls -A "$JAIL")"
expect_eq "the store holds only the normal upload" "normal.bin" "$(ls -A "$STORE")"

# One host that holds unfinished requests as fast as it can locks nobody else out.
ip -n "$TX_NS" addr add 10.213.0.3/24 dev "$TX_IF"
in_tx python3 "$QV_ROOT/tests/faults/crowding_http.py" "$RX_ADDR" 2905 "$TOKEN" line 24 10.213.0.3 "$TX_ADDR" &
crowding=$!
most=0
while kill -0 "$crowding" 2>/dev/null; do
  threads="$(ls "/proc/$RX_PID/task" | wc -l)"
  [ "$threads" -gt "$most" ] && most=$threads
  sleep 0.2
done
wait "$crowding" || fail "a crowding host"
[ "$most" -le 24 ] && ok "the server held at most $most threads meanwhile" || fail "the server held $most threads"
rm -f "$STORE"/crowded-*.txt

# A download of an offered file, under its own name.
in_tx curl -sf "${URL}files" >"$WORK/list.json" || fail "the list"
expect_eq "the list" '[{"id":1,"name":"folder/one.txt","size":7}]' "$(cat "$WORK/list.json")"
in_tx curl -sf -D "$WORK/headers" -o "$WORK/one.txt" "${URL}files/1" || fail "the download"
expect_eq "the download" "offered" "$(cat "$WORK/one.txt")"
grep -qi "^content-disposition: attachment; filename=\"one.txt\"" "$WORK/headers" && ok "the download's name" ||
  fail "the download's name: $(cat "$WORK/headers")"

# A link keeps its file when the folder changes and another page lists it anew, sorted;
# a file that is gone is not found.
printf 'a first' >"$OFFER/folder/a-first.txt"
in_tx curl -sf "${URL}files" >"$WORK/list.json" || fail "the second list"
expect_eq "the second list" '[{"id":2,"name":"folder/a-first.txt","size":7},{"id":1,"name":"folder/one.txt","size":7}]' \
  "$(cat "$WORK/list.json")"
expect_eq "the first page's link" "offered" "$(in_tx curl -sf "${URL}files/1")"
rm "$OFFER/folder/one.txt"
expect_eq "a file that is gone" "404" "$(in_tx curl -s -o /dev/null -w '%{http_code}' "${URL}files/1")"
expect_eq "a number never given" "404" "$(in_tx curl -s -o /dev/null -w '%{http_code}' "${URL}files/3")"

# A server killed half way through an upload leaves nothing under the upload's name.
head -c 4M /dev/urandom >"$WORK/half.bin"
in_tx curl -s -o /dev/null --limit-rate 1M -T "$WORK/half.bin" "${URL}files?name=half.bin" &
uploading=$!
wait_until 100 bash -c "[ -n \"\$(find '$STORE' -type f ! -name normal.bin -size +1023k)\" ]" ||
  fail "the upload did not start"
kill -9 "$RX_PID"
wait "$uploading" || true
[ ! -e "$STORE/half.bin" ] && ok "a killed server left no half.bin" || fail "a killed server left half.bin"
rm -f "$STORE"/~qvup*.part "$WORK/half.bin"

# Memory: a 1 GiB upload is streamed to the disk, never held. A fresh server, so that
# its peak is the upload's.
rx_stop
rm -f "$STORE/normal.bin"
serve_start
in_tx curl -sf "$URL" >/dev/null
idle_kib="$(awk '/^VmRSS/ {print $2}' "/proc/$RX_PID/status")"
truncate -s 1G "$WORK/gib.bin"
status="$(in_tx curl -s -o /dev/null -w '%{http_code}' -T "$WORK/gib.bin" "${URL}files?name=gib.bin")"
expect_eq "a 1 GiB upload" "201" "$status"
peak_kib="$(awk '/^VmHWM/ {print $2}' "/proc/$RX_PID/status")"
expect_eq "the 1 GiB upload's size" "1073741824" "$(stat -c %s "$STORE/gib.bin")"
growth=$(((peak_kib - idle_kib) / 1024))
echo "memory: idle $((idle_kib / 1024)) MiB, peak $((peak_kib / 1024)) MiB"
[ "$growth" -lt 50 ] && ok "a 1 GiB upload grew the server by $growth MiB" || fail "a 1 GiB upload grew the server by $growth MiB"
rm -f "$STORE/gib.bin" "$WORK/gib.bin"

rx_stop
finish
