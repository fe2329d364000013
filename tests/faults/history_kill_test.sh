#!/usr/bin/env bash
# The history under SIGKILL: a writer killed in the middle of its entries, again and again
# at different points, leaves a database that opens, passes SQLite's integrity check and
# holds every entry the writer saw committed before it died; the next writer opens it.
source "$(dirname "$0")/history_lib.sh"

DB="$WORK/history.db"
# at_least N FILE: the writer saw N entries committed.
at_least() { [ "$(committed "$2" | wc -l)" -ge "$1" ]; }
for run in 1 2 3 4 5 6; do
  seq 1 1000000 | sed "s/^/run$run-/" | "$WRITER" "$DB" $((run * 300)) >"$WORK/run$run.out" 2>>"$WORK/err" &
  pid=$!
  # Killed after a different number of entries each time, while it writes the next.
  wait_until 200 at_least $((run * 7)) "$WORK/run$run.out" ||
    fail "run $run: the writer did not get going: $(cat "$WORK/err")"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done

expect_eq "the database after six kills" ok "$(db_check "$DB")"
committed "$WORK"/run*.out | sort >"$WORK/committed"
db_names "$DB" | sort >"$WORK/stored"
expect_eq "every committed entry is stored" "" "$(comm -23 "$WORK/committed" "$WORK/stored" | head -3)"
check "every run committed entries" test "$(wc -l <"$WORK/committed")" -ge $((7 * (1 + 2 + 3 + 4 + 5 + 6)))
expect_eq "no entry is doubled" "" "$(db_names "$DB" | sort | uniq -d | head -3)"
expect_eq "no entry is torn" 0 "$(db_torn "$DB")"
finish
