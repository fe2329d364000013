#!/usr/bin/env bash
# Runs every test: the include rules of the source layout, the browser page's texts and
# ESLint over its script, the docs' links and names, the C++ format, native unit and
# integration tests (sanitized), clang-tidy, the fuzz targets, a static check of both
# Windows builds, the Windows build that this machine can run under Wine, and (unless
# "fast") the end-to-end suite under Wine + Xvfb and the release packages' tests (make
# dist first).
# Ends with one line "N passed, N failed, N skipped"; every skip says why above it.
set -uo pipefail
mode="${1:-all}"
cd "$(dirname "$0")/.."
export QV_ROOT="$PWD"
jobs="$(nproc)"

passed=0
failed=0
skipped=0
skips=()
# count_ctest DIR NAME [CTEST ARGS...]: runs one build's CTest suite and adds its counts.
count_ctest() {
  local dir="$1" name="$2" report line
  shift 2
  report="$PWD/build/$name-tests.xml"
  rm -f "$report"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" --output-junit "$report" "$@" 2>&1 |
    tee "build/$name-tests.log"
  while IFS= read -r line; do
    case "$line" in
      skipped:*) skips+=("$line") ;;
      failed:*) echo "$line" ;;
      *) read -r p f s <<<"$line"; passed=$((passed + p)); failed=$((failed + f)); skipped=$((skipped + s)) ;;
    esac
  done < <(scripts/test-counts.py "$report")
}
# count_step NAME CMD...: a step that is one test.
count_step() {
  local name="$1"
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

echo "== the source layout: every include points down (tests/static/include_rules.txt)"
count_step "include rules" tests/static/include_rules_test.py

echo "== the browser page: every language has every text it uses; ESLint over its script"
count_step "the page's texts" tests/static/page_texts_test.py
count_step "ESLint over the page's script" node_modules/.bin/eslint --max-warnings 0 src/web/page/

echo "== the docs: links resolve, docs/architecture.md names what exists, the layers' picture"
count_step "the docs' links and names" tests/static/docs_test.py

echo "== the C++ format (.clang-format)"
count_step "C++ format" scripts/check-format.sh

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
count_ctest build/native native

echo "== clang-tidy over the native build (.clang-tidy)"
count_step "clang-tidy" scripts/lint.sh

if [ "$mode" != fast ]; then
  echo "== fuzz targets, about a minute (make fuzz runs them longer)"
  count_step "fuzz targets" make -s --no-print-directory fuzz-short
fi

echo "== static check of both Windows builds"
count_step "static check of the Windows builds" tests/static/windows_builds_test.sh

echo "== Windows tests under Wine"
if arch_line="$(scripts/win-arch.sh)"; then
  read -r arch what <<<"$arch_line"
  export QV_WIN_ARCH="$arch"
  source scripts/wine-env.sh
  echo "testing the $what"
  started_x=""
  [ -n "${DISPLAY:-}" ] || started_x=1
  eval "$(scripts/wine-start.sh)"
  label_filter=()
  [ "$mode" = fast ] && label_filter=(-LE e2e)
  rm -f "$QV_WIN_BUILD/killed-after-report.txt"
  count_ctest "$QV_WIN_BUILD" "win$arch" "${label_filter[@]}"
  if [ -s "$QV_WIN_BUILD/killed-after-report.txt" ]; then
    echo "note: Wine's server killed these finished runs; their reports passed them:"
    sed 's/^/  /' "$QV_WIN_BUILD/killed-after-report.txt"
  fi
  scripts/wine-stop.sh
  if [ -n "$started_x" ]; then
    pkill -f "Xvfb ${DISPLAY} " 2>/dev/null || true
  fi
  what="Windows tests: $what"
else
  failed=$((failed + 1))
  what="Windows tests: none ran (see the reason above)"
fi

if [ "$mode" != fast ]; then
  echo "== release packages in dist/ (tests/dist, as make test-dist)"
  [ -z "${started_x:-}" ] || unset DISPLAY  # the display started above is gone
  if tests/dist/run.sh --register; then count_ctest build/dist-tests dist
  else failed=$((failed + 1)); echo "FAILED: the release packages' tests could not be listed"; fi
fi

echo
for line in "${skips[@]}"; do echo "$line"; done
echo "$what"
echo "${passed} passed, ${failed} failed, ${skipped} skipped"
[ "$failed" -eq 0 ]
