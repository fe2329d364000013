#!/usr/bin/env bash
# All three doors against hostile crowds, row by row (the table below): connections that
# stay silent, trickle a header (or a request head) that never ends, send one byte and
# close, start a handshake and stop, send a whole header and stop, or send all of a file
# but its last bytes and trickle those, from 1 to 40 addresses, each reopened as soon as it
# is cut. In every row the real sender on port 2904, a trusted computer's send on the
# private channel (2906), or a browser's upload on the page, gets through at every try;
# the receiver's threads and memory are printed.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"

mapfile -t CROWD < <(seq -f 10.213.0.%g 10 49)
for address in "${CROWD[@]}"; do ip -n "$TX_NS" addr add "$address/24" dev "$TX_IF"; done
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=8"
TRIES=3

# sample_start / sample_stop WHAT: the receiver's most threads and memory meanwhile, printed.
sample_start() {
  : >"$WORK/sampling"
  (
    threads=0 kib=0
    while [ -e "$WORK/sampling" ]; do
      read -r t k < <(awk '/^Threads/ {t=$2} /^VmRSS/ {k=$2} END {print t, k}' "/proc/$RX_PID/status")
      [ "${t:-0}" -gt "$threads" ] && threads=$t
      [ "${k:-0}" -gt "$kib" ] && kib=$k
      sleep 0.1
    done
    echo "$threads $kib" >"$WORK/sampled"
  ) &
  SAMPLER=$!
}
sample_stop() {
  rm -f "$WORK/sampling"
  wait "$SAMPLER"
  read -r threads kib <"$WORK/sampled"
  echo "$1: the receiver held at most $threads threads and $((kib / 1024)) MiB (idle $((IDLE_KIB / 1024)) MiB)"
}

# A real send on port 2904 (in the clear) or as trusted copy s.
send_real() {
  local door="$1" what="$2" src="$WORK/src/$3"
  mkdir -p "$src"
  head -c 200000 /dev/urandom >"$src/real.bin"
  if [ "$door" = 2904 ]; then
    in_tx "$CLI" send --plain "$RX_ADDR" "$src" >"$WORK/tx.out" 2>"$WORK/tx.err" && ok "$what: sent" ||
      fail "$what: the sender failed: $(cat "$WORK/tx.err")"
  else
    send_as s "$what" 0 "$RX_ADDR" "$src" || true
    [ "$(grep -c . "$WORK/tx.err")" = 0 ] || echo "$what: the sender said: $(cat "$WORK/tx.err")"
    expect_said "$what: over the private channel" "$WORK/tx.out" "(encrypted, to receiver-r)"
  fi
  check "$what: arrived whole" cmp -s "$src/real.bin" "$STORE/$3/real.bin"
}

as r "$CLI" trust "$(id_of s)" sender-s >/dev/null
as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
receive_as r
IDLE_KIB="$(awk '/^VmRSS/ {print $2}' "/proc/$RX_PID/status")"
IDLE_THREADS="$(awk '/^Threads/ {print $2}' "/proc/$RX_PID/status")"
threads_now() { awk '/^Threads/ {print $2}' "/proc/$RX_PID/status"; }
row=0
# door  how each connection holds  crowding addresses  connections each holds at once
while read -r door hold count PER; do
  row=$((row + 1))
  what="port $door, $hold from $count addresses"
  crowd="$(IFS=,; echo "${CROWD[*]:0:$count}")"
  ip netns exec "$TX_NS" python3 "$QV_ROOT/tests/faults/crowding_doors.py" "$RX_ADDR" "$door" "$hold" "$PER" "$crowd" \
    >"$WORK/crowd.out" &
  crowding=$!
  hold "$crowding"
  wait_for_line "$WORK/crowd.out" crowding || fail "$what: the crowd did not start"
  sample_start
  for try in $(seq "$TRIES"); do send_real "$door" "$what, try $try" "row$row-$try"; done
  sample_stop "$what"
  # A crowd's connections wait without a thread each, a handshake's at most, until their
  # header is whole (whole headers go on to the one reception and its line: printed only).
  [ "$hold" = header ] ||
    check "$what: at most $((IDLE_THREADS + 16)) threads" [ "$threads" -le $((IDLE_THREADS + 16)) ]
  kill "$crowding"
  wait "$crowding" 2>/dev/null || true
  for _ in $(seq 100); do [ "$(threads_now)" -le "$IDLE_THREADS" ] && break; sleep 0.1; done
  expect_eq "$what: the crowd gone, threads back to idle" "$IDLE_THREADS" "$(threads_now)"
done <<'EOF_ROWS'
2904 silent 3 8
2904 silent 6 8
2904 trickle 3 8
2904 trickle 6 8
2904 byte 6 8
2904 header 1 3
2904 header 1 10
2904 header 16 2
2904 nearend 1 1
2906 silent 3 8
2906 silent 6 8
2906 trickle 3 8
2906 trickle 6 8
2906 hello 40 1
EOF_ROWS
kill -0 "$RX_PID" 2>/dev/null && ok "the receiver keeps running" || fail "the receiver died"
rx_stop

# The page: its own server, and browsers that upload among the crowd (crowding_http.py).
serve_start
IDLE_KIB="$(awk '/^VmRSS/ {print $2}' "/proc/$RX_PID/status")"
PER=8
while read -r hold count; do
  what="the page, $hold from $count addresses"
  crowd="$(IFS=,; echo "${CROWD[*]:0:$count}")"
  sample_start
  in_tx python3 "$QV_ROOT/tests/faults/crowding_http.py" "$RX_ADDR" 2905 "$TOKEN" "$hold" "$PER" "$crowd" "$TX_ADDR" \
    >"$WORK/crowd.out" && ok "$what: $(tail -n1 "$WORK/crowd.out")" || fail "$what: $(cat "$WORK/crowd.out")"
  sample_stop "$what"
done <<'EOF_ROWS'
silent 3
silent 6
tokhead 3
tokhead 6
EOF_ROWS
kill -0 "$RX_PID" 2>/dev/null && ok "the server keeps running" || fail "the server died"
rx_stop
finish
