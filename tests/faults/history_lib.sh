# Shared pieces of the history's fault tests: the entry writer (tests/faults/history_entries.cpp),
# a scratch folder, and what the database holds as Python's sqlite3 module reads it.
set -euo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
QV_NATIVE_BUILD="${QV_NATIVE_BUILD:-$QV_ROOT/build/native}"
CLI="$QV_NATIVE_BUILD/quorvalinthexa"
WRITER="$QV_NATIVE_BUILD/qv_history_entries"
source "$QV_ROOT/tests/support/checks.sh"
source "$QV_ROOT/tests/support/waits.sh"

[ -x "$WRITER" ] || skip "no $WRITER (make native)"
python3 -c 'import sqlite3' 2>/dev/null || skip "Python's sqlite3 module is missing"

WORK="${WORK:-$(mktemp -d /tmp/qv-history.XXXXXX)}"
trap 'rm -rf "$WORK"' EXIT

# db_check DB: "ok" when the database opens and passes SQLite's integrity check.
db_check() {
  python3 - "$1" <<'PY'
import sqlite3, sys
db = sqlite3.connect("file:%s?mode=ro" % sys.argv[1], uri=True)
print(db.execute("PRAGMA integrity_check").fetchone()[0])
PY
}

# db_names DB: every entry's first name, one a line, oldest first.
db_names() {
  python3 - "$1" <<'PY'
import sqlite3, sys
db = sqlite3.connect("file:%s?mode=ro" % sys.argv[1], uri=True)
for (name,) in db.execute("SELECT name FROM names WHERE position = 0 ORDER BY entry"):
    print(name)
PY
}

# db_torn DB: how many entries lack their first name (written in part).
db_torn() {
  python3 - "$1" <<'PY'
import sqlite3, sys
db = sqlite3.connect("file:%s?mode=ro" % sys.argv[1], uri=True)
print(db.execute("SELECT count(*) FROM entries WHERE id NOT IN (SELECT entry FROM names)").fetchone()[0])
PY
}

# committed FILE...: the names the writer saw in the database, one a line.
committed() { sed -n 's/^committed //p' "$@"; }
