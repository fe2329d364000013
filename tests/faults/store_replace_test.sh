#!/usr/bin/env bash
# What a file of the same name in the store gives way to, by every door that writes one:
# port 2904, the private channel (an untrusted key's offer, and a trusted one's), PUT and
# a resumable upload. Each door sends a folder of files named for what stands at that
# name in the store already; only a plain writable file is replaced. A read-only file, a
# symbolic link (and the file it points to), a FIFO and a folder stay as they were.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
command -v curl >/dev/null || skip "curl is missing"
KINDS=(plain readonly link fifo folder)
echo outside >"$WORK/outside.txt"

# prepare DOOR: the sender's folder $WORK/src/DOOR, and what stands at each name in the store.
prepare() {
  local door="$1" kind
  mkdir -p "$WORK/src/$door" "$STORE/$door"
  for kind in "${KINDS[@]}"; do echo "new $door" >"$WORK/src/$door/$kind"; done
  echo old >"$STORE/$door/plain"
  echo old >"$STORE/$door/readonly"
  chmod 0444 "$STORE/$door/readonly"
  ln -s "$WORK/outside.txt" "$STORE/$door/link"
  mkfifo "$STORE/$door/fifo"
  mkdir "$STORE/$door/folder"
}

# judge DOOR: the plain file took the new content, everything else is as it was.
judge() {
  local door="$1" d="$STORE/$1"
  expect_eq "$door: a plain file is replaced" "new $door" "$(cat "$d/plain")"
  expect_eq "$door: a read-only file stays" "old 444" "$(cat "$d/readonly") $(stat -c %a "$d/readonly")"
  check "$door: a link stays a link" test -L "$d/link"
  expect_eq "$door: the file it points to stays" outside "$(cat "$WORK/outside.txt")"
  check "$door: a FIFO stays" test -p "$d/fifo"
  check "$door: a folder stays" test -d "$d/folder"
  expect_eq "$door: nothing else is left" "fifo folder link plain readonly" "$(ls -A "$d" | tr '\n' ' ' | sed 's/ $//')"
}

# Port 2904 and the private channel: s trusts r, so its sends are private; r trusts
# nobody at first, then s.
as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
receive_as r
for door in clear untrusted trusted; do
  prepare "$door"
  [ "$door" = trusted ] && { rx_stop; as r "$CLI" trust "$(id_of s)" sender-s >/dev/null; receive_as r; }
  plain=()
  [ "$door" = clear ] && plain=(--plain)
  in_tx env XDG_CONFIG_HOME="$WORK/s/config" XDG_STATE_HOME="$WORK/s/state" "$CLI" send "${plain[@]}" "$RX_ADDR" \
    "$WORK/src/$door" >"$WORK/tx.out" 2>"$WORK/tx.err" || true
  got="$(rx_result 20)"
  check "$door: the reception ended incomplete" grep -q "^Some files were not received\." <<<"$got"
  rx_mark
  judge "$door"
done
rx_stop

# PUT and a resumable upload, made with their bytes.
serve_start
prepare put
prepare tus
for kind in "${KINDS[@]}"; do
  in_tx curl -s -o /dev/null -T "$WORK/src/put/$kind" "${URL}files?name=put/$kind" || true
  in_tx curl -s -o /dev/null -X POST -H "Tus-Resumable: 1.0.0" -H "Content-Type: application/offset+octet-stream" \
    -H "Upload-Length: $(stat -c %s "$WORK/src/tus/$kind")" \
    -H "Upload-Metadata: filename $(printf "tus/%s" "$kind" | base64 -w0)" --data-binary @"$WORK/src/tus/$kind" \
    "${URL}uploads" || true
done
judge put
judge tus
rx_stop
finish
