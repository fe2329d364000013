# Waits and peers shared by the shell tests: polling for a condition, for a peer's line
# (how a test knows a peer listens), and ending a background peer.

# wait_until TENTHS CMD...: runs the command every tenth of a second until it succeeds;
# false when it has not after TENTHS tries.
wait_until() {
  local tries="$1" i
  shift
  for ((i = 0; i < tries; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}
# wait_for_line FILE PATTERN [TENTHS]: until FILE holds a line that matches PATTERN
# (grep -E), at most TENTHS tries (100 unless given). How a test waits for a peer to listen.
wait_for_line() { wait_until "${3:-100}" grep -qE -- "$2" "$1"; }
# stop_peer PID: ends a background peer and reaps it; nothing for one that has ended.
stop_peer() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
# ended PID: the process is gone (for wait_until).
ended() { ! kill -0 "$1" 2>/dev/null; }
