#!/usr/bin/env bash
# Remembered peers and the network check, with the command-line peer on a second PC:
# after a send the peer is stored in "RememberedPeers" and offered by the arrow beside
# the recipient field, and Forget empties the list; the look-around switch is stored;
# the network check window opens from the tray menu and from the settings and names the
# adapter, both ports, the remembered peer and its answers, and the firewall. Then, with
# multicast dropped between the PCs, the look-around finds the peer, and without it (and
# with the status saying nobody was found) nothing does.
# QV_SCREENSHOTS_DIR=docs/screenshots refreshes the README's pictures of the check window
# and of the open menu.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
[ -x "$CLI" ] || skip "no command-line peer in $QV_NATIVE_BUILD"
command -v iptables >/dev/null || skip "no iptables to drop multicast with"
CHECK="Network check"
NOBODY="Nobody found yet. Network check... in the tray menu tells why."
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK}"
mkdir -p "$SHOTS"

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2

# receive_on_pc2 STATE [ARGS...]: the peer receives on pc2, remembering into a state
# folder of its own; its pid in $cli.
receive_on_pc2() {
  local state="$WORK/$1"
  shift
  mkdir -p "$state" "$WORK/cli-store"
  pc_use pc2
  XDG_STATE_HOME="$state" in_pc_exec "$CLI" receive --store "$WORK/cli-store" "$@" >>"$WORK/cli.out" 2>&1 &
  cli=$!
  pc_use pc1
}
# pick_peer KEYS...: opens the recipient field's menu with its arrow and presses KEYS.
pick_peer() {
  driver click 1072 >/dev/null
  driver menu-open 10000 || fail "the recipient menu did not open"
  driver menu-keys "$@"
}
# check_lines: the check window's lines once its check has ended.
check_lines() {
  local text=""
  for _ in $(seq 50); do
    text="$(driver dialog-text "$CHECK" 1070 2>/dev/null)"
    grep -q '^Firewall:' <<<"$text" && break
    sleep 0.2
  done
  printf '%s\n' "$text"
}
# shoot_with_menu OUT: the main window with its open menu. The menu is a window of its
# own, without a name, that a picture of the screen shows black here: its own picture is
# laid over it.
shoot_with_menu() {
  local id menu="" x y
  "$QV_ROOT/scripts/screenshot-window.sh" Quorvalinthexa "$WORK/main.png" || { fail "no picture of the window"; return; }
  for id in $(xwininfo -root -children | awk '/^ +0x/ {print $1}'); do
    xwininfo -id "$id" | grep -q "(has no name)" && xwininfo -id "$id" | grep -q IsViewable && menu="$id"
  done
  [ -n "$menu" ] || { fail "no menu window to picture"; return; }
  xwd -id "$menu" -silent | convert xwd:- "$WORK/menu.png"
  eval "$(xdotool getwindowgeometry --shell "$(xdotool search --onlyvisible --name '^Quorvalinthexa$' | head -n 1)")"
  x="$(xwininfo -id "$menu" | awk '/Absolute upper-left X/ {print $4}')"
  y="$(xwininfo -id "$menu" | awk '/Absolute upper-left Y/ {print $4}')"
  convert "$WORK/main.png" "$WORK/menu.png" -geometry "+$((x - X))+$((y - Y))" -composite "$1"
}
# Wine draws the windows' frames itself (no window manager runs here), so that the
# pictures show the titles; the PC's prefix is left as it was, however the test ends.
WINE_X11='HKCU\Software\Wine\X11 Driver'
pc_use pc1
pcwine reg add "$WINE_X11" /v Managed /d N /f >/dev/null 2>&1
trap 'status=$?; set +e; pc_use pc1; pcwine reg delete "$WINE_X11" /v Managed /f >/dev/null 2>&1 || true; (exit $status); cleanup' EXIT

# --- (a) A send remembers the peer; the arrow offers it; picking it fills the field.
receive_on_pc2 state-a
printf 'hello' >"$WORK/note.txt"
reg_clear
use_store
start_program "Z:$(tr / '\\' <<<"$WORK/note.txt")"
expect_eq "RememberedPeers before any send" "" "$(reg_query RememberedPeers)"
if [ -n "${QV_SCREENSHOTS_DIR:-}" ]; then
  driver wait-text 113 "Server running" 20000 >/dev/null || true
  sleep 1
  "$QV_ROOT/scripts/screenshot-window.sh" Quorvalinthexa "$SHOTS/main-window.png" || true
fi
driver set-text 103 10.77.0.2
driver click 110
driver wait-text 113 "Transfer complete." 60000 ||
  fail "the send did not complete: $(driver text 113); the peer: $(tail -n 3 "$WORK/cli.out")"
expect_eq "RememberedPeers after the send" "10.77.0.2" "$(reg_query RememberedPeers)"
driver set-text 103 10.77.0.99
driver click 1072 >/dev/null
driver menu-open 10000 || fail "the recipient menu did not open"
sleep 1  # drawn
shoot_with_menu "$SHOTS/recipient-suggestions.png"
driver menu-keys down down return  # past the heading and the line, to the first peer
driver wait-text 103 10.77.0.2 5000 && ok "picking the peer fills the field" || fail "the field: $(driver text 103)"
# Alt+Down and F4 in the field open it too.
for key in alt-down f4; do
  driver key 103 "$key"
  if driver menu-open 3000; then ok "$key opens the menu"; driver menu-keys escape; else fail "$key did not open the menu"; fi
  sleep 0.5
done

# --- (c) The check window, from the tray menu (four above Exit) and from the settings.
driver post 1026 0 516
driver menu-open 10000 || fail "the tray menu did not open"
driver menu-keys up up up up up return  # past Exit, the line and the two texts' items
driver wait-dialog "$CHECK" 10000 || fail "the check window did not open from the tray menu"
lines="$(check_lines)"
for want in "  10.77.0.1: discovery is listening" "TCP port 2904: ours" "UDP port 2904: ours" \
  "Remembered computers:" "  10.77.0.2: answered a datagram and a connection" \
  "Firewall: unknown: the system does not tell"; do
  grep -qxF -- "$want" <<<"$lines" && ok "check line: $want" || fail "no line \"$want\" in: $lines"
done
sleep 1
"$QV_ROOT/scripts/screenshot-window.sh" "$CHECK" "$SHOTS/network-check.png" || fail "no picture of the check"
driver dialog-key "$CHECK" 1070 escape >/dev/null  # Esc is Close (IDCANCEL)
driver wait-dialog-gone "$CHECK" 10000 || fail "Esc did not close the check window"
open_settings
driver dialog-click "$SETTINGS" 1042 >/dev/null
driver wait-dialog "$CHECK" 10000 || fail "the check window did not open from the settings"
# A second open brings the first forward: still one window.
driver dialog-click "$SETTINGS" 1042 >/dev/null
sleep 1
expect_eq "check windows after two opens" "1" "$(driver dialog-texts "$CHECK" 1071 | wc -l)"
# Closed while its check runs: the result finds no window, and nothing breaks.
driver dialog-click "$CHECK" 1071 >/dev/null || true
driver dialog-close "$CHECK" >/dev/null
driver wait-dialog-gone "$CHECK" 10000 || fail "the check window did not close"
sleep 3
expect_eq "the main window answers after the closed check" "3" "$(driver answers 2000 3)"

# --- Forget empties the list at once, and the menu then offers nobody.
driver dialog-click "$SETTINGS" 1039 >/dev/null
sleep 1
expect_eq "RememberedPeers after Forget" "" "$(reg_query RememberedPeers)"
# --- (b) The look-around box: on by default, stored at Ok.
expect_eq "look-around box by default" "1" "$(driver checked "$SETTINGS" 1038)"
driver set-check "$SETTINGS" 1038 0
close_settings 1
expect_eq "LookAround after unticking" "0x0" "$(reg_query LookAround)"
open_settings
expect_eq "look-around box as stored" "0" "$(driver checked "$SETTINGS" 1038)"
driver set-check "$SETTINGS" 1038 1
close_settings 1
expect_eq "LookAround after ticking" "0x1" "$(reg_query LookAround)"
driver set-text 103 10.77.0.99
pick_peer down down return
sleep 1
expect_eq "the field after picking from an empty list" "10.77.0.99" "$(driver text 103)"
stop_program
stop_peer "$cli"
# The forgotten list stays forgotten in a new run.
start_program
expect_eq "RememberedPeers in a new run" "" "$(reg_query RememberedPeers)"
stop_program

# --- (d) Multicast dropped between the PCs: only the look-around finds the peer.
for ns in "${PC_NS[pc1]}" "${PC_NS[pc2]}"; do
  ip netns exec "$ns" iptables -A OUTPUT -d 224.0.0.0/4 -j DROP
  ip netns exec "$ns" iptables -A INPUT -d 224.0.0.0/4 -j DROP
done
peer_off=()
if "$CLI" receive --help 2>&1 | grep -q -- --no-look-around; then peer_off=(--no-look-around); fi
# The program looks around; the peer does not (where it can be told), so the find is the program's.
reg_clear
use_store
receive_on_pc2 state-d1 "${peer_off[@]}"
start_program
driver wait-text 103 10.77.0.2 15000 && ok "the look-around found the peer" ||
  fail "with the look-around: recipient \"$(driver text 103)\"; the peer: $(tail -n 3 "$WORK/cli.out")"
stop_program
stop_peer "$cli"
# Neither looks around: nobody is found, and the status says so after ten empty ticks.
# A peer that cannot be told not to look around would find the program itself: a plain
# listener on the peer's port stands in for it, hearing whatever the program sends.
reg_clear
use_store
# A wine process now and then fails to start: the run without the look-around must
# really start without it, and with nobody remembered.
for try in 1 2 3; do
  reg_set LookAround REG_DWORD 0
  [ "$(reg_query LookAround)" = 0x0 ] && [ -z "$(reg_query RememberedPeers)" ] && break
  reg_clear
  use_store
done
expect_eq "LookAround stored for the run without it" "0x0" "$(reg_query LookAround)"
pc_use pc2
if [ ${#peer_off[@]} -gt 0 ]; then
  receive_on_pc2 state-d2 "${peer_off[@]}"
else
  echo "note: this receive has no --no-look-around; a listener stands in for it"
  in_pc_exec python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 2904))
s.settimeout(0.2)
heard, end = 0, time.time() + 17
while time.time() < end:
    try:
        heard += s.recvfrom(100)[1][0] == sys.argv[1]
    except socket.timeout:
        pass
print(heard)' 10.77.0.1 >"$WORK/heard.txt" 2>&1 &
  cli=$!
fi
pc_use pc1
start_program
driver wait-text 113 "$NOBODY" 20000 && ok "the status says nobody was found" || fail "status: $(driver text 113)"
sleep 5  # 15 s and more since the start
expect_eq "recipient without the look-around" "" "$(driver text 103)"
stop_program
if [ ${#peer_off[@]} -gt 0 ]; then stop_peer "$cli"; else
  wait "$cli" || true
  expect_eq "datagrams the peer's port heard without the look-around" "0" "$(cat "$WORK/heard.txt")"
fi
finish
