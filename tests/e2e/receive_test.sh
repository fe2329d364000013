#!/usr/bin/env bash
# The program under Wine receives a stream from a peer into its store path: nested
# folders, non-ASCII names, an empty and a larger file; then a wrong version and a
# hostile name. The same stream into `quorvalinthexa receive` gives the same tree.
source "$(dirname "$0")/lib.sh"

src="$WORK/src"
mkdir -p "$src/Фото/2010" "$src/Docs/empty folder"
head -c 5000000 /dev/urandom >"$src/Фото/2010/большой.bin"
printf 'hello' >"$src/Фото/2010/año.txt"
: >"$src/Docs/empty.txt"
printf 'top' >"$src/top level.txt"
python3 "$QV_ROOT/tests/e2e/make_stream.py" "$src" "Фото" "Docs" "top level.txt" >"$WORK/stream.bin"

reg_clear
use_store
# Wine's taskbar object traces every call with its thread.
WINEDEBUG=+tid,+explorerframe start_program
driver wait-text 113 "Server running" 20000 || fail "listener did not start"
in_pc socat -u "FILE:$WORK/stream.bin" TCP:127.0.0.1:2904
driver wait-text 113 "Receiving complete." 30000 || fail "no completion text"
expect_eq "progress buttons back to idle" "1" "$(driver enabled 110)"
diff -r "$src" "$STORE" >/dev/null && echo "ok: the tree arrived byte-identical" || fail "trees differ: $(diff -rq "$src" "$STORE" | head -3)"

# A newer version is refused with the old-version box, and nothing is written.
rm -rf "$STORE"/*
printf 'Version:4.0\nTotal:3\n\nType:file\nSize:3\nName:x.txt\nDirectory:/\n\nabc' | in_pc socat -u - TCP:127.0.0.1:2904
expect_eq "version error box" "Sender using old version of program. It must be updated." \
  "$(pcwine "$DRIVER" dialog-text 'Error!' 65535 10000 2>/dev/null | tr -d '\r')"
pcwine "$DRIVER" dialog-close 'Error!' 5000 >/dev/null 2>&1 || true
[ -z "$(ls -A "$STORE")" ] && echo "ok: nothing written for a refused version" || fail "files written for a refused version"

# A name that climbs out of the store path is refused; the reception says so.
printf 'Version:3.0\nTotal:6\n\nType:file\nSize:3\nName:..\\..\\evil.txt\nDirectory:/\n\nabc\n\nType:file\nSize:3\nName:ok.txt\nDirectory:/\n\nxyz' |
  in_pc socat -u - TCP:127.0.0.1:2904
driver wait-text 113 "Some files were not received." 20000 || fail "hostile name not reported"
[ -f "$STORE/ok.txt" ] && echo "ok: the good file after a refused one arrived" || fail "good file missing"
[ ! -e "$WINEPREFIX/drive_c/evil.txt" ] && echo "ok: nothing written outside" || fail "evil.txt written outside the store"
stop_program

# The taskbar progress object is initialised, shows the reception's progress, and is
# called only on the thread that made it (the window's), never after its release.
taskbar="$(grep -a ':explorerframe:\(TaskbarList_Constructor\|taskbar_list_\)' "$WORK/program-$PC.out" | awk -F: '
  { if (!owner) owner = $1; if ($1 != owner) other++; if (released) after++ }
  $4 ~ /HrInit/ { init = 1 }
  $4 ~ /SetProgressValue/ { values = 1 }
  /decreasing refcount to 0/ { released = 1 }
  END { printf "init=%d values=%d other-thread=%d after-release=%d", init, values, other, after }')"
expect_eq "taskbar progress calls" "init=1 values=1 other-thread=0 after-release=0" "$taskbar"

# The command-line peer receives the same stream into the same tree.
if [ -x "$QV_NATIVE_BUILD/quorvalinthexa" ]; then
  cli_store="$WORK/cli-store"
  mkdir -p "$cli_store"
  port=29041
  in_pc_exec "$QV_NATIVE_BUILD/quorvalinthexa" receive --store "$cli_store" --port $port >"$WORK/cli.out" 2>&1 &
  cli=$!
  wait_for_line "$WORK/cli.out" "Server running" 50 || true
  in_pc socat -u "FILE:$WORK/stream.bin" TCP:127.0.0.1:$port
  wait_for_line "$WORK/cli.out" "Receiving complete." || true
  stop_peer "$cli"
  grep -q "Receiving complete." "$WORK/cli.out" && echo "ok: the command-line peer completed" || fail "cli: $(cat "$WORK/cli.out")"
  diff -r "$src" "$cli_store" >/dev/null && echo "ok: the same tree through the command-line peer" || fail "cli tree differs"
fi
reg_clear
finish
