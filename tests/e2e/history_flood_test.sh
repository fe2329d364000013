#!/usr/bin/env bash
# The History window under a flood: a stranger on the other PC, refused by the list of
# senders, tries 1,000 times from 40 addresses in turn (each attempt is recorded: one
# address's repeated refusal would not be) while the window is open over a long history
# of 19,900 transfers (the limit raised to 100,000). The window takes every key within 4 s
# all the while (a key queues behind whatever the window has yet to do, as a user's clicks
# and keys do); the chosen entry stays chosen and the rows in sight stay in sight; in the
# end it lists the transfers and the newest 100 refusals (the most the history keeps):
# 20,000 rows. A picture of it goes to QV_SCREENSHOTS_DIR.
source "$(dirname "$0")/lib.sh"
SHOTS="${QV_SCREENSHOTS_DIR:-$WORK/shots}"
mkdir -p "$SHOTS"
HISTORY=History FILTER=1111 LIST=1112 COUNT=1117 BUTTON=1118
SEEDED=19900 ATTEMPTS=1000 ADDRESSES=40 KEPT=20000

pc_up pc2 --no-wine
connect_pcs pc1 10.77.0.1 pc2 10.77.0.2
for ((i = 0; i < ADDRESSES; i++)); do ip -n "${PC_NS[pc2]}" addr add "10.77.0.$((100 + i))/24" dev "v$$b"; done
pc_use pc1
reg_clear
use_store
forget_history
# Wine draws the frames itself (no window manager here), so that the picture shows the title.
WINE_X11='HKCU\Software\Wine\X11 Driver'
pcwine reg add "$WINE_X11" /v Managed /d N /f >/dev/null 2>&1
trap 'status=$?; set +e; pc_use pc1; pcwine reg delete "$WINE_X11" /v Managed /f >/dev/null 2>&1; forget_history; (exit $status); cleanup' EXIT
reg_set AcceptFrom REG_DWORD 2
reg_set AllowedSenders REG_SZ "192.168.7.7"
start_program
driver wait-text 113 "Server running" 20000 || fail "the listener did not start"

# The earlier transfers, written into the program's own history as a second program would.
database() { find "$WINEPREFIX/drive_c/users" -path '*Quorvalinthexa/history.db' | head -n 1; }
has_database() { [ -n "$(database)" ]; }
wait_until 100 has_database || fail "the program made no history"
python3 - "$(database)" "$SEEDED" <<'EOF'
import sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], timeout=30)
now = int(time.time()) - 86400
with db:
    db.execute("INSERT OR REPLACE INTO settings(name, value) VALUES('limit', 100000)")
    for i in range(int(sys.argv[2])):
        cursor = db.execute(
            "INSERT INTO entries(time, direction, door, peer, address, files, bytes, folder, outcome, reason, text)"
            " VALUES(?, 0, 0, '', '10.77.0.9', 1, 3000, 'C:\\qv-store', 0, '', '')", (now + i,))
        db.execute("INSERT INTO names(entry, position, name) VALUES(?, 0, ?)", (cursor.lastrowid, "seed-%d.bin" % i))
EOF

count() { driver list-count "$HISTORY" "$LIST"; }
has_count() { [ "$(count)" = "$1" ]; }
top() { driver list-top "$HISTORY" "$LIST" "$1"; }
driver click "$BUTTON" >/dev/null
driver wait-dialog "$HISTORY" 10000 || fail "no History window"
wait_until 300 has_count "$SEEDED" || fail "the window lists $(count) rows, not $SEEDED"
# The user chooses a row far down (the newest is seed-19899.bin in row 0).
driver list-show "$HISTORY" "$LIST" 9899 >/dev/null
driver list-choose "$HISTORY" "$LIST" 9899 >/dev/null
expect_eq "the chosen entry" "seed-10000.bin" "$(driver list-selected "$HISTORY" "$LIST" 4)"
before="$(top 4)"
# A filter that every row passes ("Port 2904"), for the caret to move in.
driver dialog-type "$HISTORY" "$FILTER" "p" >/dev/null
filtered() { [ "$(driver dialog-text "$HISTORY" "$FILTER")" = p ]; }
wait_until 100 filtered || fail "the filter did not take the key"

# The stranger tries again as soon as each refusal has come.
mkdir -p "$WORK/src" && printf 'a stranger' >"$WORK/src/knock.txt"
python3 "$QV_ROOT/tests/e2e/make_stream.py" "$WORK/src" knock.txt >"$WORK/stream.bin"
pc_use pc2
in_pc_exec python3 - "$WORK/stream.bin" "$ATTEMPTS" "$ADDRESSES" >"$WORK/flood.out" 2>&1 <<'EOF' &
import socket, sys
data = open(sys.argv[1], "rb").read()
for n in range(int(sys.argv[2])):
    source = ("10.77.0.%d" % (100 + n % int(sys.argv[3])), 0)
    with socket.create_connection(("10.77.0.1", 2904), timeout=30, source_address=source) as s:
        try:
            s.sendall(data)
            while s.recv(4096):
                pass
        except OSError:
            pass
print("done")
EOF
FLOOD=$!
pc_use pc1

# Keys are pressed until the flood ends, or until one is not taken in time: a window that
# lags behind would hold the stranger up for ever.
asked=0 answered=0
while ! ended "$FLOOD" && [ "$answered" = "$asked" ]; do
  asked=$((asked + 5))
  answered=$((answered + $(driver caret-answers "$HISTORY" "$FILTER" 4000 5)))
done
check "the window was probed during the flood ($asked times)" [ "$asked" -gt 0 ]
expect_eq "keys the filter took within 4 s during the flood" "$asked" "$answered"
[ "$answered" = "$asked" ] || finish
wait "$FLOOD" || true
expect_eq "the stranger's attempts" "done" "$(cat "$WORK/flood.out")"

wait_until 600 has_count "$KEPT" || fail "the window lists $(count) rows, not $KEPT"
expect_eq "the chosen entry after the flood" "seed-10000.bin" "$(driver list-selected "$HISTORY" "$LIST" 4)"
expect_eq "the top row after the flood" "$before" "$(top 4)"
driver dialog-set-text "$HISTORY" "$FILTER" "" >/dev/null
expect_eq "the count" "$KEPT of $KEPT entries" "$(driver dialog-text "$HISTORY" "$COUNT")"
driver list-show "$HISTORY" "$LIST" 0 >/dev/null
expect_eq "the newest row's door and result" "Port 2904|Refused: Refused 10.77.0.1xx: not on the list of senders." \
  "$(top 2)|$(top 8 | sed 's/10\.77\.0\.1[0-3][0-9]/10.77.0.1xx/')"
screenshot_window "$HISTORY" "$SHOTS/history-flood.png"
finish
