#!/usr/bin/env bash
# What a sent file does to a file of its name already in the store, for each choice of
# `receive --existing`, through port 2904 in the clear and through the private channel
# between trusted computers, and of `serve --existing` for browser uploads. The store holds, in the sent folder's place, a file of the
# same content (same.txt), one of the same size but other content (diff.txt) and the first
# name a copy of it would take ("diff (2).txt"); new.txt is not there yet. Every file that
# should be there is compared byte for byte, and nothing else may be there.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
mkfifo "$WORK/tty"

# The sender's folder for DOOR, and what the store holds in its place.
prepare() {
  local src="$WORK/src/$1" there="$STORE/$1"
  rm -rf "$src" "$there"
  mkdir -p "$src" "$there"
  head -c 300000 /dev/urandom >"$src/same.txt"
  cp "$src/same.txt" "$there/same.txt"
  printf 'new content' >"$src/diff.txt"
  printf 'old content' >"$there/diff.txt"
  printf 'an older copy' >"$there/diff (2).txt"
  printf 'brand new' >"$src/new.txt"
  cp -r "$there" "$WORK/before"
}

# judge WHAT DOOR EXPECTED...: the store's folder holds exactly the EXPECTED files
# ("name=where its bytes come from": src or before, the sender's or the store's own).
judge() {
  local what="$1" door="$2" listed="" entry
  shift 2
  for entry in "$@"; do
    local name="${entry%=*}" from="${entry#*=}" want
    want="$WORK/src/$door/$name"
    [ "$from" = before ] && want="$WORK/before/$name"
    [ "${from#src:}" != "$from" ] && want="$WORK/src/$door/${from#src:}"
    check "$what: $name is byte for byte the $from file" cmp -s "$want" "$STORE/$door/$name"
    listed+="$name|"
  done
  expect_eq "$what: nothing else is there" "$listed" "$(ls -A "$STORE/$door" | sort | tr '\n' '|')"
  rm -rf "$WORK/before"
}

# send_door DOOR: sends the prepared folder, in the clear (plain) or privately (trusted);
# the receiver must take it all.
send_door() {
  send_start "$1"
  send_end "$1"
}
# send_start DOOR / send_end DOOR: the same, with the sender in the background between.
send_start() {
  local plain=()
  [ "${1#plain}" != "$1" ] && plain=(--plain)
  (rc=0
    in_tx env XDG_CONFIG_HOME="$WORK/s/config" XDG_STATE_HOME="$WORK/s/state" "$CLI" send "${plain[@]}" ${SEND_OPTIONS:-} "$RX_ADDR" \
      "$WORK/src/$1" >"$WORK/tx.out" 2>"$WORK/tx.err" || rc=$?
    echo "$rc" >"$WORK/tx.rc") &
  SENDER=$!
}
send_end() {
  local line="Receiving complete."
  [ "$1" = trusted ] && line="Receiving complete. (encrypted, from sender-s)"
  wait "$SENDER"
  expect_eq "$1 $CHOICE: the sender's exit status" 0 "$(cat "$WORK/tx.rc")"
  expect_result "$1 $CHOICE: the reception" "$line" 20
}

# history_says COPY TEXT: COPY's history (the test's own for serve) holds TEXT.
history_says() {
  if [ "$1" = serve ]; then "$CLI" history | grep -qF -- "$2"; else as "$1" "$CLI" history | grep -qF -- "$2"; fi
}

as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
as r "$CLI" trust "$(id_of s)" sender-s >/dev/null

for door in plain trusted; do
  CHOICE=replace
  receive_as r --existing replace
  prepare "$door"
  send_door "$door"
  judge "$door replace" "$door" "diff (2).txt=before" diff.txt=src new.txt=src same.txt=src
  rx_stop

  CHOICE=keep-both
  receive_as r --existing keep-both
  prepare "$door"
  send_door "$door"
  judge "$door keep-both" "$door" "diff (2).txt=before" "diff (3).txt=src:diff.txt" diff.txt=before new.txt=src \
    "same (2).txt=src:same.txt" same.txt=before
  check "$door keep-both: the history names the copies" wait_until 100 history_says r "Kept both: $door/"
  for kept in "$door/diff.txt -> diff (3).txt" "$door/same.txt -> same (2).txt"; do
    check "$door keep-both: the history names $kept" history_says r "$kept"
  done
  rx_stop

  CHOICE=skip-identical
  receive_as r --existing skip-identical
  prepare "$door"
  send_door "$door"
  judge "$door skip-identical" "$door" "diff (2).txt=before" "diff (3).txt=src:diff.txt" diff.txt=before \
    new.txt=src same.txt=before
  check "$door skip-identical: the history names the file skipped" wait_until 100 history_says r \
    "Skipped, already there: $door/same.txt."
  # Between trusted computers the offer's hash says so: the file is not sent at all.
  [ "$door" = trusted ] && check "trusted skip-identical: the sender sent nothing of it" grep -qF "1 already there" \
    "$WORK/tx.out" "$WORK/tx.err"
  rx_stop

  # Asked on the terminal: the first question is answered "skip, for all"; no other comes.
  CHOICE=ask
  : >"$WORK/rx.err"
  RX_WRAP="python3 $QV_ROOT/tests/faults/tty_stdin.py $WORK/tty" receive_as r --existing ask --ask-seconds 50
  prepare "$door"
  send_start "$door"
  wait_for_line "$WORK/rx.err" "ra/ka/sa for all" 200 || fail "$door ask: no question"
  check "$door ask: the question names the file" grep -qE "^  $door/(same|diff)\.txt$" "$WORK/rx.err"
  printf 'sa\n' >"$WORK/tty"
  send_end "$door"
  expect_eq "$door ask: one question for all" 1 "$(grep -c "ra/ka/sa for all" "$WORK/rx.err")"
  judge "$door ask, skip for all" "$door" "diff (2).txt=before" diff.txt=before new.txt=src same.txt=before
  rx_stop
done

# A Stop while the user is asked (the receiver's Ctrl+C): the file asked about takes no name.
for door in plain trusted; do
  : >"$WORK/rx.err"
  RX_WRAP="python3 $QV_ROOT/tests/faults/tty_stdin.py $WORK/tty" receive_as r --existing ask --ask-seconds 50
  prepare "$door"
  SEND_OPTIONS="--retry-for 0" send_start "$door"  # the receiver's end is no cut to go on from
  wait_for_line "$WORK/rx.err" "ra/ka/sa for all" 200 || fail "$door stop: no question"
  rx_stop
  wait "$SENDER" || true
  expect_eq "$door stop: no copy was kept" "" "$(find "$STORE/$door" -name '* (*' ! -name 'diff (2).txt')"
  rm -rf "$WORK/before"
done

# Replace, answered for all, still never replaces what never gives way: a read-only file and
# a link stay, and the reception says that they were not received.
printf 'outside' >"$WORK/outside.txt"
for door in plain-fixed trusted-fixed; do
  : >"$WORK/rx.err"
  RX_WRAP="python3 $QV_ROOT/tests/faults/tty_stdin.py $WORK/tty" receive_as r --existing ask --ask-seconds 50
  rm -rf "${WORK:?}/src/$door" "${STORE:?}/$door" && mkdir -p "$WORK/src/$door" "$STORE/$door"
  printf 'new' >"$WORK/src/$door/readonly.txt"
  printf 'new' >"$WORK/src/$door/link.txt"
  printf 'old' >"$STORE/$door/readonly.txt"
  chmod 0444 "$STORE/$door/readonly.txt"
  ln -s "$WORK/outside.txt" "$STORE/$door/link.txt"
  CHOICE="ask, replace for all"
  send_start "$door"
  wait_for_line "$WORK/rx.err" "ra/ka/sa for all" 200 || fail "$door replace for all: no question"
  printf 'ra\n' >"$WORK/tty"
  wait "$SENDER"
  line="Some files were not received."
  [ "$door" = trusted-fixed ] && line+=" (encrypted, from sender-s)"
  expect_result "$door replace for all: the reception" "$line" 20
  expect_eq "$door replace for all: the read-only file stays" "old" "$(cat "$STORE/$door/readonly.txt")"
  check "$door replace for all: the link stays a link" test -L "$STORE/$door/link.txt"
  expect_eq "$door replace for all: the file it leads to stays" "outside" "$(cat "$WORK/outside.txt")"
  expect_eq "$door replace for all: nothing else is there" "link.txt readonly.txt" \
    "$(ls -A "$STORE/$door" | tr '\n' ' ' | sed 's/ $//')"
  rx_stop
done

# Browser uploads (PUT and a resumable upload) follow the choice too; a browser is never
# asked, so asking keeps both.
command -v curl >/dev/null || { finish; }
upload() {  # upload NAME FILE: PUT, or with tus- before NAME a resumable upload
  if [ "${1#tus-}" = "$1" ]; then
    in_tx curl -s -o /dev/null -T "$2" "${URL}files?name=$1" || true
  else
    in_tx curl -s -o /dev/null -X POST -H "Tus-Resumable: 1.0.0" -H "Content-Type: application/offset+octet-stream" \
      -H "Upload-Length: $(stat -c %s "$2")" -H "Upload-Metadata: filename $(printf %s "$1" | base64 -w0)" \
      --data-binary @"$2" "${URL}uploads" || true
  fi
}
for door in put tus-put; do
  for CHOICE in keep-both skip-identical ask; do
    serve_start --existing "$CHOICE"
    prepare "$door"
    for name in same.txt diff.txt new.txt; do upload "$door/$name" "$WORK/src/$door/$name"; done
    case "$CHOICE" in
      skip-identical)
        judge "$door $CHOICE" "$door" "diff (2).txt=before" "diff (3).txt=src:diff.txt" \
          diff.txt=before new.txt=src same.txt=before
        check "$door skip-identical: the history names the file skipped" wait_until 100 history_says serve \
          "Skipped, already there: $door/same.txt." ;;
      *) judge "$door $CHOICE" "$door" "diff (2).txt=before" "diff (3).txt=src:diff.txt" diff.txt=before new.txt=src \
        "same (2).txt=src:same.txt" same.txt=before
        check "$door $CHOICE: the history names the copy" wait_until 100 history_says serve \
          "Kept both: $door/diff.txt -> diff (3).txt." ;;
    esac
    rx_stop
  done
done

# Asking without a terminal keeps both.
CHOICE=ask
: >"$WORK/rx.err"
receive_as r --existing ask
prepare plain
send_door plain
judge "no terminal" plain "diff (2).txt=before" "diff (3).txt=src:diff.txt" diff.txt=before new.txt=src \
  "same (2).txt=src:same.txt" same.txt=before
check "no terminal: the receiver says both are kept" grep -qF "without a terminal on standard input: both files are kept" \
  "$WORK/rx.err"
rx_stop
finish
