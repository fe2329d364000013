#!/usr/bin/env bash
# The history on a full disk (a small tmpfs in a private mount namespace): each entry that
# does not fit fails alone, said once on standard error, and entries are kept again once
# there is room. A real receive whose history is on that full disk, and whose store
# folder is elsewhere, still takes a transfer whole.
if [ -z "${QV_IN_MOUNT_NS:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "SKIP: a private mount namespace and a tmpfs need root"; exit 77; }
  unshare -m --propagation private true 2>/dev/null || { echo "SKIP: unshare -m is not allowed here"; exit 77; }
  QV_IN_MOUNT_NS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
source "$(dirname "$0")/history_lib.sh"
[ -x "$CLI" ] || skip "no $CLI (make native)"

STATE="$WORK/state"
mkdir -p "$STATE" "$WORK/store" "$WORK/src/tree/sub"
mount -t tmpfs -o size=1m tmpfs "$STATE"
trap 'kill "${WRITING_PID:-}" 2>/dev/null || true; umount -l "$STATE" || true; rm -rf "$WORK"' EXIT
export XDG_STATE_HOME="$STATE"
DB="$STATE/quorvalinthexa/history.db"
mkdir -p "$(dirname "$DB")"
printf 'hello\n' >"$WORK/src/tree/a.txt"
head -c 200000 /dev/urandom >"$WORK/src/tree/sub/b.bin"

printf 'before-1\nbefore-2\n' | "$WRITER" "$DB" 16384 >"$WORK/before.out"
expect_eq "entries on a disk with room" "before-1 before-2" "$(committed "$WORK/before.out" | xargs)"
dd if=/dev/zero of="$STATE/filler" bs=4096 2>/dev/null || true  # until the disk is full

# One writer goes on from the full disk to a disk with room again.
coproc WRITING { "$WRITER" "$DB" 16384 2>"$WORK/writer.err"; }
entry() {
  echo "$1" >&"${WRITING[1]}"
  read -r -t 20 line <&"${WRITING[0]}" || line="no answer"
  echo "$line"
}
expect_eq "full disk: an entry" "failed full-1" "$(entry full-1)"
expect_eq "full disk: the next entry" "failed full-2" "$(entry full-2)"
expect_eq "full disk: said once on standard error" 1 "$(grep -c 'history could not keep an entry' "$WORK/writer.err")"

# A reception meanwhile, its history on the full disk and its store folder elsewhere.
"$CLI" receive --once --port 0 --store "$WORK/store" >"$WORK/rx.out" 2>"$WORK/rx.err" &
rx=$!
wait_for_line "$WORK/rx.err" 'listening on TCP port [0-9]+' || fail "receive did not start: $(cat "$WORK/rx.err")"
port="$(sed -n 's/.*listening on TCP port \([0-9]*\).*/\1/p' "$WORK/rx.err")"
check "send to a receiver whose history is on a full disk" "$CLI" send --port "$port" 127.0.0.1 "$WORK/src/tree" \
  >/dev/null 2>"$WORK/tx.err"
rc=0
wait "$rx" || rc=$?
expect_eq "the receiver's exit status" 0 "$rc"
check "the tree arrived whole" diff -r "$WORK/src/tree" "$WORK/store/tree"

rm -f "$STATE/filler"
expect_eq "room again: the next entry" "committed room-1" "$(entry room-1)"
exec {WRITING[1]}>&-
expect_eq "the database" ok "$(db_check "$DB")"
expect_eq "what it holds" "before-1 before-2 room-1" "$(db_names "$DB" | xargs)"
finish
