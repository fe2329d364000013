#!/usr/bin/env bash
# The program's listener and its end, under Wine, with the command-line peer sending from
# a second PC: a connection that arrives while the PC's wineserver (which accepts for the
# program) has no descriptor to spare is received once it has one again; and the program
# ended from its window in the middle of a file exits at once, leaves no process behind,
# keeps what came of a new file, and leaves a file that existed before as it was, with no
# temporary file beside it.
source "$(dirname "$0")/lib.sh"
source "$QV_ROOT/tests/faults/ending.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
[ -x "$CLI" ] || skip "no $CLI (make native)"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
reg_clear
use_store
start_program
driver wait-text 113 "Server running" 20000 >/dev/null || fail "the listener did not start"

# send_from_pc2 ITEM: the command-line peer sends $WORK/src/ITEM (in the background).
send_from_pc2() {
  ip netns exec "${PC_NS[pc2]}" "$CLI" send 10.77.0.1 "$WORK/src/$1" >/dev/null 2>>"$WORK/tx.err"
}

# --- The wineserver out of descriptors: accept fails (WSAEMFILE) until it has one again.
server=""
for pid in $(ip netns pids "$NS"); do
  case "$(cat "/proc/$pid/comm")" in wineserver*) server="$pid" ;; esac
done
[ -n "$server" ] || { fail "no wineserver in the PC"; finish; }
lowest=0
while [ -e "/proc/$server/fd/$lowest" ]; do lowest=$((lowest + 1)); done
read -r soft hard < <(prlimit --pid "$server" --nofile --output SOFT,HARD --noheadings)
mkdir -p "$WORK/src/waited"
printf 'sent while no descriptor was free' >"$WORK/src/waited/w.txt"
# No Wine process may start meanwhile: it would need a descriptor of the server too.
prlimit --pid "$server" --nofile="$lowest:$hard"
send_from_pc2 waited &
sender=$!
sleep 1
[ ! -e "$STORE/waited" ] && echo "ok: nothing is received while no descriptor is free" ||
  fail "received while the server had no descriptor free"
prlimit --pid "$server" --nofile="$soft:$hard"
wait "$sender" || fail "the sender failed"
driver wait-text 113 "Receiving complete." 20000 >/dev/null && echo "ok: the connection that waited is received" ||
  fail "the connection that waited: status \"$(driver text 113)\""
cmp -s "$WORK/src/waited/w.txt" "$STORE/waited/w.txt" && echo "ok: its file arrived whole" || fail "its file differs"

# --- Ending the program from its window in the middle of a file (end_in_the_middle WHAT
# ITEM FILE: FILE is the one that must be growing, when it is known).
end_in_the_middle() {
  local what="$1" pid="${PC_PID[$PC]}" rc=0 sender
  driver set-text 113 ""
  send_from_pc2 "$2" &
  sender=$!
  driver wait-text 113 "Receiving" 20000 >/dev/null || fail "$what: the reception did not start"
  [ -n "$3" ] && { wait_until 50 test -s "$3" || fail "$what: nothing arrived"; }
  sleep 0.5
  driver post 0x0111 2 0 >/dev/null  # Escape: the window ends
  expect_gone "$what" "$pid"
  wait "$pid" || rc=$?
  PC_PID[$PC]=""
  expect_eq "$what: exit code" "0" "$rc"
  expect_no_process_in "$what" "$NS" Quorvalinthexa.exe
  wait "$sender" || true
}
link2="$(ip -n "${PC_NS[pc2]}" -o link show type veth | awk -F': ' '{print $2}' | cut -d@ -f1)"
slow_link "${PC_NS[pc2]}" "$link2"
make_ending_sources
end_in_the_middle "ended while writing a new file" fresh "$STORE/fresh/new.bin"
expect_cut_new_file "ended while writing a new file" "$WORK/src/fresh/new.bin" "$STORE/fresh/new.bin"

make_old_file "$STORE"
start_program
driver wait-text 113 "Server running" 20000 >/dev/null || fail "the listener did not start again"
end_in_the_middle "ended while replacing a file" kept ""
expect_old_file_kept "ended while replacing a file" "$WORK/old.before" "$STORE/kept" old.bin
fast_link "${PC_NS[pc2]}" "$link2"
finish
