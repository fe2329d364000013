#!/usr/bin/env bash
# Runs every test: native unit and integration tests (sanitized), the same tests built
# for Windows under Wine, and (unless "fast") the end-to-end suite under Wine + Xvfb.
# Ends with one line "N passed, N failed".
set -uo pipefail
mode="${1:-all}"
cd "$(dirname "$0")/.."
export QV_ROOT="$PWD"
jobs="$(nproc)"

passed=0
failed=0
count() {  # adds the counts of a CTest log
  local line total nfail
  line="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)"
  [ -n "$line" ] || { failed=$((failed + 1)); return; }
  nfail="$(sed -E 's/.*tests passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")"
  total="$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")"
  passed=$((passed + total - nfail))
  failed=$((failed + nfail))
}

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ctest --test-dir build/native --output-on-failure -j"$jobs" 2>&1 | tee build/native-tests.log
count build/native-tests.log

if [ "$mode" != fast ]; then
  echo "== fuzz targets, about a minute (make fuzz runs them longer)"
  if make -s --no-print-directory fuzz-short; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

echo "== Windows tests under Wine"
started_x=""
[ -n "${DISPLAY:-}" ] || started_x=1
eval "$(scripts/wine-start.sh)"
label_filter=()
[ "$mode" = fast ] && label_filter=(-LE e2e)
ctest --test-dir build/win --output-on-failure -j"$jobs" "${label_filter[@]}" 2>&1 | tee build/win-tests.log
count build/win-tests.log
scripts/wine-stop.sh
if [ -n "$started_x" ]; then
  pkill -f "Xvfb ${DISPLAY} " 2>/dev/null || true
fi

echo
echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
