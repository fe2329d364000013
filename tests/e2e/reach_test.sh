#!/usr/bin/env bash
# The network check with a trusted computer: the program under Wine and the command-line
# peer on a second PC, paired. The check lists the peer with ports 2904 and 2906 working
# both ways, its key proving it; with the program's PC dropping what comes to port 2906,
# the peer's connect back there gets no answer, and as Wine's firewall does not tell,
# "Allow through the firewall" is offered: it starts the system's netsh (the driver stands
# in for it) with the rule for the program. The window in English and in Spanish;
# QV_SCREENSHOTS_DIR=docs/screenshots refreshes the user guide's pictures.
source "$(dirname "$0")/lib.sh"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
[ -x "$CLI" ] || skip "no command-line peer in $QV_NATIVE_BUILD"
command -v iptables >/dev/null || skip "no iptables to drop port 2906 with"
export XDG_CONFIG_HOME="$WORK/config"  # the peer's identity stays in this test's folder
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK}"
mkdir -p "$SHOTS"
TEXT=1070
AGAIN=1071
ALLOW=7350
DROP=(INPUT -p tcp --dport 2906 -j DROP)

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
pc_use pc1
# The system's netsh is the driver standing in for it; Wine draws the windows' frames
# itself, so that the pictures show the titles. Both put back however the test ends.
NETSH="$WINEPREFIX/drive_c/windows/system32/netsh.exe"
STARTED="$(dirname "$NETSH")/started.txt"
WINE_X11='HKCU\Software\Wine\X11 Driver'
cp "$NETSH" "$WORK/netsh.exe"
cp "$DRIVER" "$NETSH"
rm -f "$STARTED"
pcwine reg add "$WINE_X11" /v Managed /d N /f >/dev/null 2>&1
put_back() {
  pc_use pc1
  cp "$WORK/netsh.exe" "$NETSH"
  rm -f "$STARTED"
  pcwine reg delete "$WINE_X11" /v Managed /f >/dev/null 2>&1 || true
}
# cleanup reads the test's status from $?; errexit would end the trap at a failed one.
trap 'status=$?; set +e; put_back; (exit $status); cleanup' EXIT

# check_lines TITLE FIREWALL: the check window's lines once its check has ended (its last
# line names the firewall).
check_lines() {
  local text=""
  for _ in $(seq 100); do
    text="$(driver dialog-text "$1" $TEXT 2>/dev/null)"
    grep -q "^$2" <<<"$text" && break
    sleep 0.2
  done
  printf '%s\n' "$text"
}
# expect_lines WHAT LINES WANT...: each wanted line is among the lines.
expect_lines() {
  local what="$1" lines="$2" want
  shift 2
  for want in "$@"; do
    grep -qxF -- "$want" <<<"$lines" && ok "$what: $want" || fail "$what: no line \"$want\" in: $lines"
  done
}

# Wine would run its own netsh from the system's folder: the stand-in is taken there.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netsh.exe=n"

# --- Paired: the peer waits, the program pairs with the address in its recipient field.
reg_clear
use_store
reg_set Language REG_SZ 0409
start_program
driver set-text 103 10.77.0.2 >/dev/null
pc_use pc2
in_pc_exec "$CLI" pair --yes >"$WORK/pair.out" 2>"$WORK/pair.err" &
pairer=$!
wait_for_line "$WORK/pair.err" "waiting on TCP port" || fail "the peer is not waiting to pair"
pc_use pc1
open_settings
driver dialog-click "$SETTINGS" 1086 >/dev/null
pair_with_peer "$WORK/pair.out" "$pairer"
driver wait-dialog-gone "$SETTINGS" 3000 || close_settings 1
pc_use pc2
mkdir -p "$WORK/cli-store"
in_pc_exec "$CLI" receive --store "$WORK/cli-store" >"$WORK/cli.out" 2>"$WORK/cli.err" &
cli=$!
wait_for_line "$WORK/cli.err" "private channel on TCP port" || fail "the peer's private channel did not start"
pc_use pc1

# --- Both ways work; nothing to fix.
CHECK="Network check"
driver post 0x0111 1027 0 >/dev/null  # the tray menu's "Network check..."
driver wait-dialog "$CHECK" 10000 || fail "the check window did not open"
lines="$(check_lines "$CHECK" Firewall:)"
expect_lines "open" "$lines" "Between this computer and the others:" \
  "    to it: port 2904 works; port 2906 works, its key proves it is that computer" \
  "    from it: port 2904 works; port 2906 works"
grep -qE '^  .+ \(trusted\) at 10\.77\.0\.2$' <<<"$lines" && ok "open: the peer named, trusted" ||
  fail "open: no line naming the peer in: $lines"
expect_eq "open: no fix offered" 0 "$(driver dialog-visible "$CHECK" $ALLOW)"
"$QV_ROOT/scripts/screenshot-window.sh" "$CHECK" "$SHOTS/network-check-computers.png" || fail "no picture"

# --- Port 2906 dropped on this PC: the connect back gets no answer; the fix is offered.
ip netns exec "${PC_NS[pc1]}" iptables -A "${DROP[@]}"
driver dialog-click "$CHECK" $AGAIN >/dev/null
checking() { [ "$(driver dialog-text "$CHECK" $TEXT)" = "Checking..." ]; }
wait_until 100 checking || fail "Check again did not start a check"
lines="$(check_lines "$CHECK" Firewall:)"
expect_lines "2906 dropped here" "$lines" \
  "    to it: port 2904 works; port 2906 works, its key proves it is that computer" \
  "    from it: port 2904 works; port 2906: no answer"
expect_eq "2906 dropped here: the fix offered" 1 "$(driver dialog-visible "$CHECK" $ALLOW)"
expect_eq "the fix's button" "Allow through the firewall" "$(driver dialog-text "$CHECK" $ALLOW)"
"$QV_ROOT/scripts/screenshot-window.sh" "$CHECK" "$SHOTS/network-check-firewall.png" || fail "no picture"
driver dialog-click "$CHECK" $ALLOW >/dev/null
wait_until 100 test -s "$STARTED" || fail "nothing was started"
expect_eq "the fix starts the system's netsh with the program's rule" \
  '"C:\windows\system32\netsh.exe" advfirewall firewall add rule name="Quorvalinthexa" dir=in action=allow enable=yes profile=any program="Z:'"$(tr / '\\' <<<"$QV_WIN_BUILD")"'\Quorvalinthexa.exe"' \
  "$(head -n 1 "$STARTED" | tr -d '\r')"
driver dialog-close "$CHECK" >/dev/null
driver wait-dialog-gone "$CHECK" 10000 || fail "the check window did not close"
stop_program

# --- The same in Spanish.
reg_set Language REG_SZ 0c0a
start_program
CHECK="Comprobación de la red"
driver post 0x0111 1027 0 >/dev/null
driver wait-dialog "$CHECK" 10000 || fail "the Spanish check window did not open"
lines="$(check_lines "$CHECK" Cortafuegos:)"
expect_lines "Spanish" "$lines" "Entre este equipo y los demás:" \
  "    desde él: el puerto 2904 funciona; el puerto 2906: sin respuesta"
expect_eq "Spanish: the fix's button" "Permitir en el cortafuegos" "$(driver dialog-text "$CHECK" $ALLOW)"
"$QV_ROOT/scripts/screenshot-window.sh" "$CHECK" "$SHOTS/network-check-es.png" || fail "no picture"
driver dialog-close "$CHECK" >/dev/null
stop_program
ip netns exec "${PC_NS[pc1]}" iptables -D "${DROP[@]}"
kill "$cli" 2>/dev/null || true
finish
