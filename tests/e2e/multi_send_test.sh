#!/usr/bin/env bash
# One send to two command-line peers at once from the program: the recipient field holds
# both addresses, comma-separated. Both store the tree and the status line says
# "Transfer complete."; the peers menu then shows both checked, and a pick takes a checked
# one out of the field and puts it back. With the second peer refusing the program's
# address, the first stores it all the same and the status line counts and names the one
# that did not.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
[ -x "$CLI" ] || skip "no command-line peer in $QV_NATIVE_BUILD"

pc_up pc2 --no-wine
pc_up pc3 --no-wine
pc_use pc1
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
veth_join "${PC_NS[pc1]}" "w$$a" 10.78.0.1 "${PC_NS[pc3]}" "w$$b" 10.78.0.2

# peer_on PC STORE [RECEIVE OPTIONS...]: a receiver on that PC; its pid in $peer.
peer_on() {
  local pc="$1" store="$2"
  shift 2
  mkdir -p "$store"
  pc_use "$pc"
  in_pc_exec "$CLI" receive --store "$store" --no-discovery "$@" >"$WORK/$pc.out" 2>&1 &
  peer=$!
  wait_for_line "$WORK/$pc.out" "Server running" || fail "the peer on $pc did not start"
  pc_use pc1
}

mkdir -p "$WORK/src/tree/sub"
head -c 2000000 /dev/urandom >"$WORK/src/tree/sub/data.bin"
printf 'one' >"$WORK/src/tree/a.txt"
peer_on pc2 "$WORK/store2"
peer2=$peer
peer_on pc3 "$WORK/store3"
peer3=$peer

reg_clear
use_store
start_program "Z:$(tr / '\\' <<<"$WORK/src/tree")"
driver set-text 103 "10.77.0.2, 10.78.0.2"
driver click 110
driver wait-text 113 "Transfer complete." 60000 || fail "the send to both did not complete: $(driver text 113)"
driver wait-text 1074 "Sent in the clear (not encrypted)" 10000 || fail "the send to both was not told in the clear"
diff -r "$WORK/src/tree" "$WORK/store2/tree" >/dev/null && ok "the first peer stored the tree" || fail "tree 2 differs"
diff -r "$WORK/src/tree" "$WORK/store3/tree" >/dev/null && ok "the second peer stored the tree" || fail "tree 3 differs"

# Both are remembered now; the first peer of the menu is one of them, checked.
pick_first_peer() {
  driver click 1072 >/dev/null
  driver menu-open 10000 || fail "the recipient menu did not open"
  driver menu-keys down down return  # past the heading and the line
  sleep 0.5
}
pick_first_peer
left="$(driver text 103)"
case "$left" in
  10.77.0.2 | 10.78.0.2) ok "a checked pick leaves the field: \"$left\"" ;;
  *) fail "after a checked pick the field holds \"$left\"" ;;
esac
pick_first_peer
both="$(driver text 103)"
[ "$both" = "10.77.0.2, 10.78.0.2" ] || [ "$both" = "10.78.0.2, 10.77.0.2" ] &&
  ok "an unchecked pick joins the list: \"$both\"" || fail "after an unchecked pick the field holds \"$both\""
driver set-text 103 "10.77.0.2, 10.78.0.2"

# The second peer takes only from an address that is not the program's.
stop_peer "$peer3"
peer_on pc3 "$WORK/store3b" --allow 10.9.9.9
peer3=$peer
rm -rf "$WORK/store2/tree"
driver click 110
driver wait-text 113 "1 of 2 took the transfer; 10.78.0.2: Some files may not sent." 60000 ||
  fail "the status line: $(driver text 113)"
diff -r "$WORK/src/tree" "$WORK/store2/tree" >/dev/null && ok "the first peer stored it all the same" ||
  fail "tree 2 differs"
expect_eq "the refusing peer stored nothing" "" "$(ls -A "$WORK/store3b")"
expect_eq "Send enabled after the send" "1" "$(driver enabled 110)"
stop_peer "$peer2"
stop_peer "$peer3"
finish
