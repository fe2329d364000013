#!/usr/bin/env bash
# Every tracked C and C++ file is as clang-format writes it (.clang-format at the root).
# Lists the files that differ, and how many lines each would change; exit 1 when any does.
#   scripts/check-format.sh            check
#   clang-format -i FILE...            mend (then review the diff)
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
differs() {
  local file="$1" changed
  changed="$(clang-format --style=file "$file" | diff "$file" - | grep -c '^[<>]')"
  [ "$changed" -eq 0 ] || echo "$file: $changed lines differ"
}
export -f differs
report="$(git ls-files -z '*.cpp' '*.cc' '*.c' '*.h' '*.hpp' | xargs -0 -r -P "$(nproc)" -I{} bash -c 'differs "$1"' _ {} | sort)"
if [ -n "$report" ]; then
  echo "$report"
  echo "check-format: $(echo "$report" | wc -l) files differ from clang-format's output (clang-format -i FILE mends one)"
  exit 1
fi
echo "check-format: every C++ file is formatted"
