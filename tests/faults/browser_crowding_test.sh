#!/usr/bin/env bash
# Browser access while several hosts hold connections, every one reopened as soon as it is
# cut (without the token, or with it and a head that never ends): a browser from another
# address and one from a crowding address both get the page and upload, 20 tries of 20;
# a browser that speaks late gets them while one address floods the wait for first bytes.
# The server's threads and memory stay bounded meanwhile.
source "$(dirname "$0")/lib.sh"

CROWD=(10.213.0.10 10.213.0.11 10.213.0.12 10.213.0.13 10.213.0.14 10.213.0.15)
for address in "${CROWD[@]}"; do ip -n "$TX_NS" addr add "$address/24" dev "$TX_IF"; done
# The sanitized build keeps up to 256 MiB of freed memory for its checks; that is not the
# server's own, so it keeps little here.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=8"
serve_start
in_tx curl -sf "$URL" >/dev/null || fail "the page before the crowd"
idle_kib="$(awk '/^VmRSS/ {print $2}' "/proc/$RX_PID/status")"

# addresses  how each connection holds  connections per address  seconds a browser waits to
# speak  browsers (also one from a crowding address, or only one from another)
while read -r count hold per late who; do
  what="$count addresses, $hold x$per, browsers speak after ${late}s"
  browsers="$TX_ADDR"
  [ "$who" = both ] && browsers="$TX_ADDR,${CROWD[0]}"
  crowd="$(IFS=,; echo "${CROWD[*]:0:$count}")"
  in_tx python3 "$QV_ROOT/tests/faults/crowding_http.py" "$RX_ADDR" 2905 "$TOKEN" "$hold" "$per" "$crowd" "$browsers" "$late" \
    >"$WORK/crowd.out" &
  crowding=$!
  threads=0 kib=0
  while kill -0 "$crowding" 2>/dev/null; do
    read -r t k < <(awk '/^Threads/ {t=$2} /^VmRSS/ {k=$2} END {print t, k}' "/proc/$RX_PID/status")
    [ "$t" -gt "$threads" ] && threads=$t
    [ "$k" -gt "$kib" ] && kib=$k
    sleep 0.1
  done
  wait "$crowding" && ok "$what: $(tail -n1 "$WORK/crowd.out")" || fail "$what: $(cat "$WORK/crowd.out")"
  echo "$what: the server held at most $threads threads and $((kib / 1024)) MiB (idle $((idle_kib / 1024)) MiB)"
  [ "$threads" -le 64 ] && ok "$what: at most 64 threads" || fail "$what: $threads threads"
  [ $(((kib - idle_kib) / 1024)) -lt 128 ] && ok "$what: memory grew by less than 128 MiB" ||
    fail "$what: memory grew by $(((kib - idle_kib) / 1024)) MiB"
  rm -f "$STORE"/crowded-*.txt
done <<'EOF_CASES'
3 silent 6 0 both
6 silent 6 0 both
3 request 6 0 both
6 request 6 0 both
6 line 6 0 both
1 silent 100 0.01 other
3 tokhead 6 0 both
EOF_CASES

kill -0 "$RX_PID" 2>/dev/null && ok "the server keeps running" || fail "the server died"
rx_stop
finish
