#!/usr/bin/env bash
# Trusted computers between the program under Wine and the command-line peer: the
# program's ID in the settings; the peer trusted there by its ID as a user types it (a bad
# ID is named in the dialog), the program trusted by the peer; a send to the peer and a
# reception from it over the private channel, each with the lock mark and the peer's name
# while it runs, and neither the names nor the contents on the link; a cut private send
# resumed each way ("Resume" on the program's button, the tally after it), and the
# settings' "Delete partial files" on what a cut left; where the trusted peer gives no
# private answer, a send in the clear only after the refusal's box and a yes to "Send in
# the clear?", told after it in the lock's place, and with "Send only encrypted" none at
# all; then, both sides untrusted again, a pairing from the settings whose code is
# the one the peer prints; "Trusted computers only"; last trusted computers without a
# question and others asked, where the trusted peer's send takes a stranger's question back.
# QV_SCREENSHOTS_DIR=docs/screenshots refreshes the user guide's pictures.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
export XDG_CONFIG_HOME="$WORK/config"  # the peer's identity stays in this test's folder
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SHOTS"
ID_FORM='^([A-Z2-7]{4}-){7}[A-Z2-7]{4}$'
MARK=1074
LOCK=1073
VISIBLE=0x10000000 # WS_VISIBLE

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2

# slow_link RATE|off: the segment at that rate both ways, so that a transfer lasts long
# enough to be seen while it runs.
# The settings' list of trusted computers, once the dialog has filled it (the driver may
# find the dialog while it initialises).
rows() { driver list-rows "$SETTINGS" 1084; }
rows_match() { [[ "$(rows)" == $1 ]]; }
expect_rows() { # expect_rows WHAT PATTERN
  wait_until 50 rows_match "$2" && echo "ok: $1" || fail "$1: the list holds \"$(rows)\""
}

# connect_pcs names the two ends v<pid>a and v<pid>b.
slow_link() {
  local end
  for end in pc1:a pc2:b; do
    ip netns exec "${PC_NS[${end%:*}]}" tc qdisc del dev "v$$${end#*:}" root 2>/dev/null || true
    [ "$1" = off ] || ip netns exec "${PC_NS[${end%:*}]}" tc qdisc add dev "v$$${end#*:}" root tbf rate "$1" burst 32k latency 1s
  done
}

# A marker in a name and all through a content, and 3 MB more to make the link busy.
marker="qv-private-marker-$$"
src="$WORK/src"
mkdir -p "$src"
for i in $(seq 3000); do echo "$marker line $i"; done >"$src/$marker.txt"
head -c 3000000 /dev/urandom >"$src/bulk.bin"
winsrc="Z:$(tr / '\\' <<<"$src")"

pc_use pc2
peer_id="$(in_pc "$CLI" id)"
[[ "$peer_id" =~ $ID_FORM ]] || fail "the peer's ID: \"$peer_id\""
pc_use pc1
reg_clear
use_store
start_program "$winsrc\\$marker.txt" "$winsrc\\bulk.bin"

# --- The program's ID, and the peer trusted by its ID.
open_settings
win_id="$(driver dialog-text "$SETTINGS" 1081)"
[[ "$win_id" =~ $ID_FORM ]] && echo "ok: the settings show this computer's ID $win_id" || fail "the ID shown: \"$win_id\""
driver dialog-set-text "$SETTINGS" 1088 "${peer_id:0:30}01" # 0 and 1 are not base32
driver dialog-click "$SETTINGS" 1091 >/dev/null
expect_eq "a bad ID is named in the dialog" "Not a computer ID: 32 letters A-Z and digits 2-7, in groups of four." \
  "$(driver dialog-text "$SETTINGS" 1092)"
expect_eq "nothing trusted for it" "" "$(driver list-rows "$SETTINGS" 1084)"
# As a user may paste it: lower case, spaces for the dashes.
driver dialog-set-text "$SETTINGS" 1088 "$(tr 'A-Z-' 'a-z ' <<<"$peer_id")"
driver dialog-set-text "$SETTINGS" 1090 "linux-peer"
driver dialog-click "$SETTINGS" 1091 >/dev/null
expect_eq "the peer in the list" "linux-peer|$peer_id|" "$(driver list-rows "$SETTINGS" 1084)"
screenshot_window "$SETTINGS" "$SHOTS/settings-trusted.png"
close_settings 1
pc_use pc2
in_pc "$CLI" trust "$win_id" win-pc >/dev/null || fail "the peer could not trust $win_id"

# --- A send to the peer and a reception from it, privately; the link is recorded.
cli_store="$WORK/cli-store"
mkdir -p "$cli_store"
in_pc_exec "$CLI" receive --store "$cli_store" --no-discovery >"$WORK/cli-receive.out" 2>&1 &
cli=$!
wait_for_line "$WORK/cli-receive.out" "Server running" || fail "the peer did not listen"
in_pc_exec tcpdump -i "v$$b" -U -w "$WORK/link.pcap" tcp >/dev/null 2>&1 &
dump=$!
wait_until 100 test -s "$WORK/link.pcap" || true
slow_link 4mbit
pc_use pc1
driver set-text 103 10.77.0.2
driver click 110
driver wait-text $MARK "Encrypted: trusted computer linux-peer" 30000 || fail "no mark while sending: $(driver text 113)"
expect_eq "the lock mark shows while sending" 1 "$(driver has-style $MARK $VISIBLE)"
screenshot_window Quorvalinthexa "$SHOTS/main-window-encrypted.png"
driver wait-text 113 "Transfer complete." 60000 || fail "the private send did not complete: $(driver text 113)"
mark_hidden() { [ "$(driver has-style $MARK $VISIBLE)" = 0 ]; }
wait_until 50 mark_hidden || fail "the mark stayed after the send"
wait_for_line "$WORK/cli-receive.out" "Receiving complete. \(encrypted, from win-pc\)" ||
  fail "the peer: $(tail -n 3 "$WORK/cli-receive.out")"
diff -r "$src" "$cli_store" >/dev/null && echo "ok: the send arrived whole at the peer" || fail "the peer's files differ"

pc_use pc2
in_pc "$CLI" send 10.77.0.1 "$src/$marker.txt" "$src/bulk.bin" >"$WORK/cli-send.out" 2>&1 &
sender=$!
pc_use pc1
driver wait-text $MARK "Encrypted: trusted computer linux-peer" 30000 || fail "no mark while receiving: $(driver text 113)"
driver wait-text 113 "Receiving complete." 60000 || fail "the private reception did not complete: $(driver text 113)"
wait "$sender" || fail "the peer's send: $(cat "$WORK/cli-send.out")"
grep -q "Sending to win-pc (encrypted)" "$WORK/cli-send.out" && echo "ok: the peer sent privately" ||
  fail "the peer's send was not private: $(cat "$WORK/cli-send.out")"
diff -r "$src" "$STORE" >/dev/null && echo "ok: the reception arrived whole in the program" || fail "the program's files differ"
slow_link off
stop_peer "$dump"
stop_peer "$cli"
check "the link was recorded ($(stat -c %s "$WORK/link.pcap") bytes)" test "$(stat -c %s "$WORK/link.pcap")" -gt 5000000
expect_eq "the marker's name or content on the link" 0 "$(grep -c -a "$marker" "$WORK/link.pcap" || true)"

# --- A cut private send resumes, each way: what arrived whole is not sent again, the cut
# file goes on from its kept part.
# cut_midway STORE CMD...: once a partial file below STORE holds a megabyte, CMD cuts the transfer.
partial_grown() { [ -n "$(find "$1" -name '.~qv*.partial' -size +1000k 2>/dev/null | head -n 1)" ]; }
mark_says() { [[ "$(driver text $MARK)" == *"$1"* ]]; }
cut_midway() {
  local store="$1"
  shift
  wait_until 600 partial_grown "$store" || fail "no partial file grew below $store"
  "$@"
}
resume_store="$WORK/resume-store"
mkdir -p "$resume_store"
pc_use pc2
in_pc_exec "$CLI" receive --store "$resume_store" --no-discovery >"$WORK/cli-resume.out" 2>&1 &
cli=$!
wait_for_line "$WORK/cli-resume.out" "Server running" || fail "the peer did not listen"
slow_link 4mbit
pc_use pc1
driver click 110
cut_midway "$resume_store" driver click 108
driver wait-text 110 "Resume" 20000 || fail "no Resume after the stopped send: $(driver text 113)"
screenshot_window Quorvalinthexa "$SHOTS/main-window-resume.png"
driver set-text 103 10.77.0.3
expect_eq "another recipient is a new send" "Send file" "$(driver text 110)"
driver set-text 103 10.77.0.2
driver click 110
driver wait-text 113 "Transfer complete." 60000 || fail "the resumed send: $(driver text 113)"
check "the note tells what the send resumed" wait_until 50 mark_says resumed
expect_eq "a complete send is not offered again" "Send file" "$(driver text 110)"
diff -r "$src" "$resume_store" >/dev/null && echo "ok: the resumed send arrived whole" || fail "the resumed files differ"
stop_peer "$cli"

for cut in resumed kept; do
  rm -rf "${STORE:?}"/*
  pc_use pc2
  in_pc_exec "$CLI" send 10.77.0.1 "$src/$marker.txt" "$src/bulk.bin" >"$WORK/cli-cut.out" 2>&1 &
  sender=$!
  cut_midway "$STORE" kill -9 "$sender"
  wait "$sender" 2>/dev/null || true
  pc_use pc1
  driver wait-text 113 "Some files were not received." 30000 || fail "the cut reception: $(driver text 113)"
  [ "$cut" = kept ] && break
  pc_use pc2
  in_pc "$CLI" send 10.77.0.1 "$src/$marker.txt" "$src/bulk.bin" >"$WORK/cli-resumed.out" 2>&1 ||
    fail "the peer's second send: $(cat "$WORK/cli-resumed.out")"
  check "the peer tells what was resumed" grep -q "resumed" "$WORK/cli-resumed.out"
  pc_use pc1
  check "the note tells what the reception resumed" wait_until 50 mark_says resumed
  diff -r "$src" "$STORE" >/dev/null && echo "ok: the program resumed the peer's send" || fail "the program's files differ"
done
slow_link off
# What the cut left is kept, and the settings' button deletes it.
pc_use pc1
open_settings
check "the settings tell what is kept ($(driver dialog-text "$SETTINGS" 1103))" \
  grep -q "^Partial files kept: 1 " <<<"$(driver dialog-text "$SETTINGS" 1103)"
screenshot_window "$SETTINGS" "$SHOTS/settings-partial.png"
driver dialog-click "$SETTINGS" 1102 >/dev/null
check "and what went ($(driver dialog-text "$SETTINGS" 1103))" \
  grep -q "^Partial files deleted: 1 " <<<"$(driver dialog-text "$SETTINGS" 1103)"
close_settings 2
expect_eq "partial files left" "" "$(find "$STORE" -name '.~qv*.partial')"

# --- The peer again, but with no private answer on port 2906: the program sends nothing
# there in the clear until the user says yes after the refusal.
plain_store="$WORK/plain-store"
mkdir -p "$plain_store"
pc_use pc2
in_pc_exec "$CLI" receive --store "$plain_store" --no-discovery --private-port 2907 >"$WORK/cli-plain.out" 2>&1 &
cli=$!
wait_for_line "$WORK/cli-plain.out" "Server running" || fail "the peer did not listen"
pc_use pc1
for answer in No:7 Yes:6; do
  driver click 110
  expect_eq "the refusal's box" "The trusted computer at 10.77.0.2 does not answer privately. Nothing was sent." \
    "$(driver dialog-text 'Error!' 65535 30000)"
  driver dialog-close 'Error!' 5000 >/dev/null
  expect_eq "then the question" "Send in the clear? The files would go to 10.77.0.2 unencrypted, readable by anyone on the network." \
    "$(driver dialog-text Quorvalinthexa 65535 10000)"
  driver dialog-click Quorvalinthexa "${answer#*:}" >/dev/null
  driver wait-dialog-gone Quorvalinthexa 10000 || fail "the question stayed"
  [ "${answer%:*}" = No ] && expect_eq "nothing sent after No" "" "$(ls "$plain_store")"
done
driver wait-text 113 "Transfer complete." 60000 || fail "the send in the clear: $(driver text 113)"
driver wait-text $MARK "Sent in the clear (not encrypted)" 10000 || fail "the send in the clear was not told: $(driver text $MARK)"
expect_eq "no lock after a send in the clear" 0 "$(driver has-style $LOCK $VISIBLE)"
screenshot_window Quorvalinthexa "$SHOTS/main-window-in-the-clear.png"
diff -r "$src" "$plain_store" >/dev/null && echo "ok: after Yes the files went in the clear" || fail "the plain send's files differ"
check "the peer received them in the clear" grep -qx "Receiving complete." "$WORK/cli-plain.out"
# "Send only encrypted": the refusal's box, and then no question follows it (it would come
# at once, on the same thread); nothing is sent.
rm -rf "${plain_store:?}"/*
open_settings
driver dialog-press "$SETTINGS" 1123 >/dev/null
only_encrypted_on() { [ "$(driver checked "$SETTINGS" 1123)" = 1 ]; }
wait_until 50 only_encrypted_on || fail "Send only encrypted is not checked"
screenshot_window "$SETTINGS" "$SHOTS/settings-send-only-encrypted.png"
close_settings 1
expect_eq "Send only encrypted stored" 0x1 "$(reg_query SendOnlyEncrypted)"
driver click 110
expect_eq "only encrypted: the refusal's box" "The trusted computer at 10.77.0.2 does not answer privately. Nothing was sent." \
  "$(driver dialog-text 'Error!' 65535 30000)"
driver dialog-close 'Error!' 5000 >/dev/null
driver wait-dialog Quorvalinthexa 3000 && fail "only encrypted: a question after the box" ||
  echo "ok: only encrypted: no question after the box"
expect_eq "only encrypted: nothing sent" "" "$(ls "$plain_store")"
stop_peer "$cli"

# --- Both untrusted again, then paired from the settings: the same code on both sides.
open_settings
expect_rows "the peer's last address noted" "linux-peer|$peer_id|10.77.0.2"
driver list-select "$SETTINGS" 1084 linux-peer
driver dialog-click "$SETTINGS" 1085 >/dev/null
expect_eq "the list after Remove" "" "$(driver list-rows "$SETTINGS" 1084)"
pc_use pc2
in_pc "$CLI" untrust "$win_id" >/dev/null || fail "the peer could not untrust $win_id"
in_pc_exec "$CLI" pair --yes >"$WORK/pair.out" 2>"$WORK/pair.err" &
pairer=$!
wait_for_line "$WORK/pair.err" "waiting on TCP port" || fail "the peer is not waiting to pair"
pc_use pc1
driver dialog-click "$SETTINGS" 1086 >/dev/null
pair_with_peer "$WORK/pair.out" "$pairer" "$SHOTS/pairing-dialog.png"
open_settings
expect_rows "the peer is trusted here again" "*|$peer_id|10.77.0.2"
# "Trusted computers only", chosen here: stored as 5; the peer's send in the clear is
# refused with its text, its private send is stored.
driver dialog-press "$SETTINGS" 1044 >/dev/null
close_settings 1
expect_eq "the choice stored" 0x5 "$(reg_query AcceptFrom)"
pc_use pc2
in_pc "$CLI" trusted | grep -q "$win_id" && echo "ok: the program is trusted by the peer again" ||
  fail "the peer's list: $(in_pc "$CLI" trusted)"
rm -rf "${STORE:?}"/*
in_pc "$CLI" send --plain 10.77.0.1 "$src/$marker.txt" >/dev/null 2>&1 && fail "a plain send was taken"
pc_use pc1
expect_eq "the plain send's refusal" "Refused 10.77.0.2: not a trusted computer." "$(driver text 113)"
pc_use pc2
in_pc "$CLI" send 10.77.0.1 "$src/$marker.txt" >/dev/null 2>&1 || fail "the private send was not taken"
pc_use pc1
check "only the private send was stored" cmp -s "$src/$marker.txt" "$STORE/$marker.txt"
# Trusted computers without a question, others asked: the question open for a stranger
# (the peer's send in the clear) is taken back when the trusted peer sends privately; the
# stranger's send fails, the private one is stored.
open_settings
driver dialog-press "$SETTINGS" 1043 >/dev/null
close_settings 1
expect_eq "others asked stored" 0x4 "$(reg_query AcceptFrom)"
rm -rf "${STORE:?}"/*
mkdir -p "$WORK/stranger"
echo "a stranger's file" >"$WORK/stranger/s.txt"
(pc_use pc2
  rc=0
  in_pc "$CLI" send --plain 10.77.0.1 "$WORK/stranger" >/dev/null 2>&1 || rc=$?
  echo "$rc" >"$WORK/stranger.rc") &
stranger=$!
driver wait-dialog "Incoming files" 20000 >/dev/null || fail "no question for the stranger"
pc_use pc2
in_pc "$CLI" send 10.77.0.1 "$src/$marker.txt" >/dev/null 2>&1 || fail "the trusted send was not taken"
wait "$stranger"
pc_use pc1
expect_eq "the stranger's send: not taken" 4 "$(cat "$WORK/stranger.rc")"
driver wait-dialog-gone "Incoming files" 5000 && echo "ok: the question was taken back" ||
  fail "the question is still open"
check "the trusted send was stored" cmp -s "$src/$marker.txt" "$STORE/$marker.txt"
check "the stranger's was not" test ! -e "$STORE/stranger"
stop_program
reg_clear
finish
