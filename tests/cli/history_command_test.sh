#!/usr/bin/env bash
# quorvalinthexa history over a database with a hostile name in it (a terminal escape,
# a C1 control, a line break, a line separator, a zero-width space, an Arabic letter mark):
# the lines show it escaped and never raw, newest first;
# --json is one array that Python reads back byte for byte; --limit, --keep and --clear.
source "$(dirname "$0")/lib.sh"
WRITER="$QV_NATIVE_BUILD/qv_history_entries"
[ -x "$WRITER" ] || skip "no $WRITER (make native)"

hostile=$'evil\e[2J\xc2\x9bname\nnext\xe2\x80\xa8l\xe2\x80\x8bz\xd8\x9cm'
mkdir -p "$XDG_STATE_HOME/quorvalinthexa"
# The writer takes a name a line: the line break goes in as its escape, turned back below.
printf 'plain\n%s\n' "${hostile//$'\n'/\\n}" |
  "$WRITER" "$XDG_STATE_HOME/quorvalinthexa/history.db" >/dev/null
python3 - "$XDG_STATE_HOME/quorvalinthexa/history.db" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("UPDATE names SET name = replace(name, '\\n', char(10))")
db.commit()
PY

lines="$("$CLI" history)"
expect_eq "a line per entry" 2 "$(wc -l <<<"$lines")"
never_raw=$'\x1b|\x9b|\xe2\x80[\xa8\x8b]|\xd8\x9c'
check "no escape byte reaches the terminal" bash -c '! LC_ALL=C grep -Eq "$2" <<<"$1"' _ "$lines" "$never_raw"
expect_eq "the newest first, its name escaped" 'evil\x1b[2J\u009bname\nnext\u2028l\u200bz\u061cm' \
  "$(head -1 <<<"$lines" | grep -o 'evil[^ ]*')"

json="$("$CLI" history --json)"
check "--json: none of them raw" bash -c '! LC_ALL=C grep -Eq "$2" <<<"$1"' _ "$json" "$never_raw"
expect_eq "--json, read back" "2 plain" "$(python3 -c '
import json, sys
entries = json.loads(sys.argv[1])
assert entries[0]["names"] == [sys.argv[2]], entries[0]["names"]
print(len(entries), entries[1]["names"][0])' "$json" "$hostile")"
expect_eq "--limit 1" 1 "$("$CLI" history --limit 1 | wc -l)"
rc=0
"$CLI" history --limit 0 2>/dev/null || rc=$?
expect_eq "--limit 0 is a usage error" 2 "$rc"
"$CLI" history --keep 1 >/dev/null
expect_eq "--keep 1 keeps the newest" 1 "$("$CLI" history --json | grep -c '"names"')"
"$CLI" history --clear >/dev/null
expect_eq "--clear" "No transfers in the history." "$("$CLI" history)"
finish
