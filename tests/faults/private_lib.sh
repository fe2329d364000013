# Shared pieces of the private channel's fault tests: copies with identities and pinned
# lists of their own ($WORK/<copy>/), receivers and senders as one of them, and the TLS
# proxy (tls_proxy.py) in front of a receiver. Sourced after lib.sh.
PROXY="$QV_ROOT/tests/faults/tls_proxy.py"
SIDE_PORT=2916  # where a copy behind a proxy takes its private connections

# as COPY CMD...: runs CMD with COPY's identity and pinned list.
as() {
  local copy="$1"
  shift
  mkdir -p "$WORK/$copy/config" "$WORK/$copy/state"
  XDG_CONFIG_HOME="$WORK/$copy/config" XDG_STATE_HOME="$WORK/$copy/state" "$@"
}
id_of() { as "$1" "$CLI" id | grep -oE '([A-Z2-7]{4}-){7}[A-Z2-7]{4}' | head -n1; }
pinned() { grep -q "${2//-/}" <(tr -d '-' <"$WORK/$1/state/quorvalinthexa/trusted" 2>/dev/null); }

# receive_as COPY [OPTIONS...]: the receiver in rx as COPY, its private channel listening.
receive_as() {
  local copy="$1"
  shift
  : >"$WORK/rx.err"
  as "$copy" rx_start "$@"
  wait_for_line "$WORK/rx.err" "private channel on TCP port" || fail "$copy's private channel did not start"
}

# send_as COPY WHAT EXIT [SEND ARGS...]: sends from tx as COPY (behind the command in
# TX_WRAP, if set); the sender's exit status is EXIT; its lines are in $WORK/tx.out and
# $WORK/tx.err.
send_as() {
  local copy="$1" what="$2" want="$3" rc=0
  shift 3
  in_tx ${TX_WRAP:-} env XDG_CONFIG_HOME="$WORK/$copy/config" XDG_STATE_HOME="$WORK/$copy/state" "$CLI" send "$@" \
    >"$WORK/tx.out" 2>"$WORK/tx.err" || rc=$?
  expect_eq "$what: the sender's exit status" "$want" "$rc"
}
# capture FILE CMD...: the link's packets while CMD runs, their payload as text (-A).
capture() {
  local file="$1"
  shift
  ip netns exec "$TX_NS" tcpdump -i "$TX_IF" -n -l -A tcp >"$file" 2>"$file.log" &
  local pid=$!
  wait_for_line "$file.log" "listening on" || fail "tcpdump did not start"
  "$@"
  sleep 0.3
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}
seen() { grep -qaF -- "$2" "$1"; }
said() { grep -qF -- "$2" "$1"; }
not() { ! "$@"; }
expect_said() { check "$1" said "$2" "$3"; }

# proxy_start NS MODE ADDR ARGS...: a proxy in NS on ADDR:2906 in front of ADDR:SIDE_PORT.
proxy_start() {
  local ns="$1" mode="$2" addr="$3"
  shift 3
  : >"$WORK/proxy.out"
  ip netns exec "$ns" python3 "$PROXY" "$mode" "$addr" 2906 "$addr" "$SIDE_PORT" "$@" >"$WORK/proxy.out" 2>&1 &
  PROXY_PID=$!
  hold "$PROXY_PID"
  wait_for_line "$WORK/proxy.out" listening || fail "the proxy did not start"
}

# pair_both A B CASE [PORT]: A waits in rx (on PORT), B pairs with it from tx; both say yes.
pair_both() {
  as "$1" ip netns exec "$RX_NS" "$CLI" pair --yes --private-port "${4:-2906}" >"$WORK/$1.pair" 2>&1 &
  local waiting=$! rc=0
  hold "$waiting"
  wait_for_line "$WORK/$1.pair" "waiting on TCP port" || fail "$3: pair did not wait"
  as "$2" in_tx "$CLI" pair --yes "$RX_ADDR" >"$WORK/$2.pair" 2>&1 || rc=$?
  wait "$waiting" 2>/dev/null || true
  CODE_A="$(sed -n 's/^Comparison code: //p' "$WORK/$1.pair")"
  CODE_B="$(sed -n 's/^Comparison code: //p' "$WORK/$2.pair")"
  PAIR_RC="$rc"
}
