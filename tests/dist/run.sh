#!/usr/bin/env bash
# The release packages' tests (make test-dist): each tests/dist/*_test.sh is one CTest
# test in build/dist-tests; exit 77 counts as skipped, with the reason on a "SKIP: " line.
# `run.sh --register` only writes the list, for scripts/run-tests.sh to run and count.
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"
dir="$root/build/dist-tests"
mkdir -p "$dir"
for script in tests/dist/*_test.sh; do
  name="dist.$(basename "$script" .sh)"
  echo "add_test([=[$name]=] \"bash\" \"$root/$script\")"
  echo "set_tests_properties([=[$name]=] PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600" \
    "ENVIRONMENT \"QV_ROOT=$root\")"
done >"$dir/CTestTestfile.cmake"
[ "${1:-}" = --register ] && exit 0
exec ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
