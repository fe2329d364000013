# Shared pieces of the end-to-end tests: the real Quorvalinthexa.exe under Wine, worked
# through qdriver. Sourced by each *_test.sh.
#
# Each "PC" is a Wine prefix of its own whose wineserver runs in a network namespace of
# its own (as root; elsewhere the test skips: it never runs on the machine's own network). Sockets of
# Wine programs live in their wineserver, so the program listens on port 2904 inside its
# PC only, and tests never collide with each other or with anything on the machine.
# pc_up starts a PC; connect_pcs joins two with a veth pair on a private /24 that exists
# only inside them. Everything is removed when the test ends.
set -euo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
QV_NATIVE_BUILD="${QV_NATIVE_BUILD:-$QV_ROOT/build/native}"
source "$QV_ROOT/scripts/wine-env.sh"
source "$QV_ROOT/tests/support/checks.sh"
source "$QV_ROOT/tests/support/waits.sh"
source "$QV_ROOT/tests/support/netns.sh"
if [ -z "${DISPLAY:-}" ]; then
  eval "$("$QV_ROOT/scripts/wine-start.sh")"
fi
EXE="$QV_WIN_BUILD/Quorvalinthexa.exe"
DRIVER="$QV_WIN_BUILD/qdriver.exe"
WORK="$(mktemp -d /tmp/qv-e2e.XXXXXX)"
# The command-line peers' remembered peers stay in this test's folder.
export XDG_STATE_HOME="$WORK/state"
SETTINGS_KEY='HKCU\Software\Kelvadro\Quorvalinthexa'
PC_PREFIX_BASE="$QV_E2E_PREFIXES"
declare -A PC_NS=() PC_PID=() PC_WINE=()
PCS=()
PC=""
NS=""

# in_pc CMD...: runs a command inside the current PC's network.
in_pc() {
  if [ -n "$NS" ]; then ip netns exec "$NS" "$@"; else "$@"; fi
}

# in_pc_exec CMD...: the same, replacing the calling shell; for `in_pc_exec CMD &`, whose
# $! is then the command itself and a kill reaches it.
in_pc_exec() {
  if [ -n "$NS" ]; then exec ip netns exec "$NS" "$@"; else exec "$@"; fi
}

# pc_up NAME [--no-wine]: creates the PC (first time: a new Wine prefix, which takes a
# while) and makes it the current one. --no-wine: only its network, for native peers.
pc_up() {
  local name="$1" ns="qv$$${1}"
  need_netns
  netns_add "$ns"
  PC_NS[$name]="$ns"
  PCS+=("$name")
  pc_use "$name"
  [ "${2:-}" = --no-wine ] && return 0
  PC_WINE[$name]=1
  mkdir -p "$WINEPREFIX"
  in_pc setsid wineserver -p </dev/null >/dev/null 2>&1 || true
  # Every Wine process of the PC, its services included, runs inside its network.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    in_pc wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  in_pc setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # A prefix whose first start was cut short (seen once under load) would fail every
  # later test of this PC: one that cannot answer a registry query is made anew.
  if ! in_pc wine reg query 'HKCU\Software' </dev/null >/dev/null 2>&1; then
    echo "pc_up $name: the Wine prefix does not answer; making it anew" >&9
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    in_pc setsid wineserver -p </dev/null >/dev/null 2>&1 || true
    in_pc wineboot -i </dev/null >/dev/null 2>&1 || true
    in_pc setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  fi
  for link in "$WINEPREFIX"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
    if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
  done
}

# pc_use NAME: later wine, driver and in_pc calls go to that PC.
pc_use() {
  PC="$1"
  NS="${PC_NS[$1]}"
  export WINEPREFIX="$PC_PREFIX_BASE/$1"
}

# forget_history: the current PC's history goes. One an earlier run left in its local
# application data is not this test's, and the one a test leaves is no later test's.
forget_history() { find "$WINEPREFIX/drive_c/users" -path '*Quorvalinthexa/history.db*' -delete 2>/dev/null || true; }

# connect_pcs A ADDRESS_A B ADDRESS_B: one network segment between two PCs.
connect_pcs() {
  local a="$1" addr_a="$2" b="$3" addr_b="$4"
  local ns_a="${PC_NS[$a]}" ns_b="${PC_NS[$b]}"
  veth_join "$ns_a" "v$$a" "$addr_a" "$ns_b" "v$$b" "$addr_b"
  # Multicast leaves through the segment.
  ip -n "$ns_a" route add 224.0.0.0/4 dev "v$$a"
  ip -n "$ns_b" route add 224.0.0.0/4 dev "v$$b"
}

# wine, inside the current PC's network.
pcwine() { in_pc wine "$@"; }
driver_once() { pcwine "$DRIVER" "$@" 2>>"$WORK/driver.err" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
# A command that reads, or sets a control to a given state, is given again when its driver
# failed: now and then a wine process fails to start, which must neither read as a state
# of the window nor end a test.
driver() {
  case "$1" in
    enabled | visible | title | text | checked | set-check | set-text | dialog-set-text | combo-*) ;;
    *) driver_once "$@"; return ;;
  esac
  local out rc try
  for try in 1 2 3; do
    out="$(driver_once "$@")" && rc=0 || rc=$?
    [ "$rc" = 0 ] && break
    echo "driver $* (try $try): exit $rc" >>"$WORK/driver.err"
  done
  [ -z "$out" ] || printf '%s\n' "$out"
  return "$rc"
}

# Starts the program on the current PC with the given arguments and waits for its window.
start_program() {
  # One copy per PC: a copy left over from an earlier check would answer instead.
  driver wait-gone 15000 || fail "an earlier copy of the program is still running"
  (cd "$QV_WIN_BUILD" && in_pc wine "$EXE" "$@") </dev/null >"$WORK/program-$PC.out" 2>&1 &
  PC_PID[$PC]=$!
  driver wait-window 30000 || fail "the main window did not appear"
}

# latin_exe: the program as it runs on a Windows without a UTF-8 process code page (before
# Windows 10 1903): a copy whose manifest no longer asks for one, so that the code page of
# Wine's English locale (1252) is in force. Later start_program calls start the copy.
latin_exe() {
  mkdir -p "$WORK/latin"
  cp "$QV_WIN_BUILD"/Quorvalinthexa.exe* "$WORK/latin/"
  LC_ALL=C sed -i 's/activeCodePage/legacyCodePage/g' "$WORK/latin/Quorvalinthexa.exe"
  EXE="$WORK/latin/Quorvalinthexa.exe"
}

# Ends the current PC's program through Escape (command 2) and checks its exit code.
stop_program() {
  local pid="${PC_PID[$PC]:-}"
  [ -n "$pid" ] || return 0
  driver post 0x0111 2 0 >/dev/null || true
  local rc=0
  wait "$pid" || rc=$?
  PC_PID[$PC]=""
  expect_eq "exit code" "0" "$rc"
}

reg_set() {  # reg_set NAME TYPE DATA
  pcwine reg add "$SETTINGS_KEY" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1
}
reg_clear() { pcwine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1 || true; }
reg_query() {  # prints the data of a value, or nothing
  pcwine reg query "${2:-$SETTINGS_KEY}" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {for (i = 3; i <= NF; i++) printf "%s%s", $i, (i < NF ? " " : ""); print ""}'
}
# A store folder of the test's own, as the program's "Directory" (C:\qv-store\).
use_store() {
  STORE="$WINEPREFIX/drive_c/qv-store"
  # A file system a killed test left mounted there would make the removal fail.
  if mountpoint -q "$STORE" 2>/dev/null; then umount -l "$STORE" || true; fi
  rm -rf "$STORE" && mkdir -p "$STORE"
  reg_set Directory REG_SZ 'C:\qv-store\'
}

# open_access: starts the program, opens browser access from the tray menu's command and
# waits for its dialog (titled $ACCESS); sets URL to the address it shows.
ACCESS="Browser access"
open_access() {
  start_program "$@"
  driver wait-text 113 "Server running" 20000 || fail "the listener did not start"
  driver post 0x0111 1029 0 >/dev/null
  driver wait-dialog "$ACCESS" 10000 || fail "the access dialog did not open"
  URL="$(driver dialog-text "$ACCESS" 1051)"
  [[ "$URL" =~ ^http://10\.77\.0\.1:2905/ ]] || fail "the address: \"$URL\""
}

SETTINGS=Dialog  # the settings dialog's caption
# Opens the settings dialog with a posted click, so that the driver never waits on it.
# The click waits its turn behind whatever the window does first: as long as the window
# itself may take to appear.
open_settings() {
  driver click 1020 >/dev/null || fail "the settings button could not be clicked"
  driver wait-dialog "$SETTINGS" 30000 || fail "the settings dialog did not open"
}
close_settings() {  # close_settings 1|2 (Ok or Cancel)
  driver dialog-click "$SETTINGS" "$1" >/dev/null
  driver wait-dialog-gone "$SETTINGS" 10000 || fail "the settings dialog did not close"
}

# pair_with_peer OUT PID [SHOT]: the pairing question on the program's screen shows the
# code the peer (PID, pairing with --yes) prints into OUT; yes to it, and both sides are
# paired: the status line says so and the peer ends with 0. SHOT: a picture of the question.
PAIRING="Pair with a computer"  # the pairing question's caption
pair_with_peer() {
  local code rc=0
  driver wait-dialog "$PAIRING" 20000 || fail "no pairing question: $(driver text 113)"
  code="$(driver dialog-text "$PAIRING" 1096)"
  [ -z "${3:-}" ] || screenshot_window "$PAIRING" "$3"
  wait_for_line "$1" "^Comparison code: [0-9]{6}$" || fail "the peer printed no code"
  expect_eq "the code in large type, as the peer prints it" \
    "$(sed -n 's/^Comparison code: \([0-9]\{3\}\)\([0-9]\{3\}\)$/\1 \2/p' "$1")" "$code"
  driver dialog-click "$PAIRING" 1098 >/dev/null
  driver wait-text 113 "Paired with 10.77.0.2: both computers trust each other now." 20000 ||
    fail "the pairing's outcome: $(driver text 113)"
  wait "$2" || rc=$?
  expect_eq "the peer's pairing exit code" 0 "$rc"
}

screenshot() {  # screenshot FILE
  xwd -root -silent -display "$DISPLAY" | convert xwd:- "$1" 2>/dev/null || true
}
# screenshot_window TITLE FILE: a picture of that top-level window alone, once it has settled.
screenshot_window() {
  local id
  sleep 1
  id="$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)"
  if [ -n "$id" ]; then
    xwd -id "$id" -silent -display "$DISPLAY" | convert xwd:- "$2" || fail "no screenshot $2"
  else
    fail "no X window titled $1"
  fi
}

cleanup() {
  local status=$? name
  if { [ "$FAILURES" -gt 0 ] || [ "$status" != 0 ]; } && [ -s "$WORK/driver.err" ]; then
    # To the test's own output: a test that ends inside a redirected command still says it.
    echo "the driver's last complaints:" >&9
    tail -n 20 "$WORK/driver.err" >&9
  fi
  for name in "${PCS[@]}"; do
    pc_use "$name"
    [ -n "${PC_WINE[$name]:-}" ] && { wineserver -k >/dev/null 2>&1 || true; }
    # A peer a failed test left running would hold the test runner's output open for ever.
    [ -n "$NS" ] && { ip netns pids "$NS" 2>/dev/null | xargs -r kill -9 2>/dev/null || true; }
    [ -n "$NS" ] && ip netns del "$NS" 2>/dev/null || true
  done
  rm -rf "$WORK"
}
exec 9>&1
trap cleanup EXIT

pc_up pc1
