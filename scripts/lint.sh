#!/usr/bin/env bash
# make lint: clang-tidy (the checks of .clang-tidy) over every source of the native build
# under src/ and tests/, as build/native/compile_commands.json compiles it. Any finding
# fails; the findings are listed with a count per check.
set -uo pipefail
cd "$(dirname "$0")/.."
build="${QV_NATIVE_BUILD:-build/native}"
jobs="${QV_LINT_JOBS:-$(nproc)}"
[ -f "$build/compile_commands.json" ] || { echo "lint: no $build/compile_commands.json (make native configures it)" >&2; exit 1; }
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
files="$PWD/(src|tests)/.*\.(cpp|c)$"
if command -v run-clang-tidy >/dev/null; then
  run-clang-tidy -p "$build" -j "$jobs" -quiet "$files" >"$log" 2>&1
else
  python3 -c 'import json,re,sys; [print(e["file"]) for e in json.load(open(sys.argv[1])) if re.search(sys.argv[2], e["file"])]' \
    "$build/compile_commands.json" "$files" | xargs -P "$jobs" -n 1 clang-tidy -p "$build" --quiet >"$log" 2>&1
fi
status=$?
# The findings, each once (a header's finding shows for every file that includes it).
findings="$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '(warning|error): ' | sort -u)"
if [ -n "$findings" ]; then
  echo "$findings"
  echo "$findings" | grep -o '\[[a-z0-9.,-]*\]$' | sort | uniq -c | sort -rn
  echo "lint: $(echo "$findings" | wc -l) findings"
  exit 1
fi
if [ "$status" != 0 ]; then
  sed 's/\x1b\[[0-9;]*m//g' "$log" | tail -n 20
  echo "lint: clang-tidy failed (status $status)"
  exit 1
fi
echo "lint: no findings"
