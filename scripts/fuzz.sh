#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/*_fuzz.cpp, clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for a bounded time, starting
# from the checked-in seeds (fuzz/corpus/<name>/) and the corpus grown by earlier runs
# (build/fuzz/corpus/<name>/). Prints executions, coverage and time per target.
#
#   scripts/fuzz.sh                  every target for QV_FUZZ_SECONDS (default 60) each
#   scripts/fuzz.sh --total 60       every target, the 60 seconds shared out among them
#   scripts/fuzz.sh receiver ...     only the named targets
#
# A failing input is kept as build/fuzz/artifacts/<name>-crash-*; replay it with
# build/fuzz/<name>_fuzz FILE. Exit status 1 when any target failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/build/fuzz"
seconds="${QV_FUZZ_SECONDS:-60}"
total=""
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --total) total="$2"; shift 2 ;;
    --total=*) total="${1#--total=}"; shift ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do n="$(basename "$f" .cpp)"; targets+=("${n%_fuzz}"); done
fi
if [ -n "$total" ]; then
  seconds=$(( total / ${#targets[@]} - 1 ))  # each run spends about a second starting and stopping
  [ "$seconds" -ge 1 ] || seconds=1
fi

command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (make deps)" >&2; exit 1; }
echo "== building the fuzz targets in build/fuzz"
if ! { cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
       cmake --build "$build" -j2 >"$build.log" 2>&1; }; then
  tail -n 30 "$build.log" >&2
  echo "fuzz: the build failed" >&2
  exit 1
fi

# The receiver target writes a store folder per run: on a memory file system when there is one.
scratch_base=/dev/shm
[ -d "$scratch_base" ] && [ -w "$scratch_base" ] || scratch_base="$build"
scratch="$(mktemp -d "$scratch_base/qv-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

dictionary() {
  case "$1" in
    header_block|receiver) echo "fuzz/transfer.dict" ;;
    *) [ -f "fuzz/$1.dict" ] && echo "fuzz/$1.dict" ;;
  esac
}
max_len() {  # long enough to pass the 20480-byte block limit
  case "$1" in
    header_block|receiver) echo 32768 ;;
    *) echo 4096 ;;
  esac
}

mkdir -p "$build/artifacts"
failed=0
report=()
for name in "${targets[@]}"; do
  exe="$build/${name}_fuzz"
  [ -x "$exe" ] || { echo "fuzz: no target $name" >&2; failed=$((failed + 1)); continue; }
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  args=(-max_total_time="$seconds" -max_len="$(max_len "$name")" -timeout=10 -rss_limit_mb=2048
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-")
  dict="$(dictionary "$name")"
  [ -n "$dict" ] && args+=(-dict="$dict")
  log="$build/$name.log"
  echo "== fuzzing $name for ${seconds}s"
  start=$(date +%s.%N)
  TMPDIR="$scratch" "$exe" "${args[@]}" "$corpus" "fuzz/corpus/$name" >"$log" 2>&1
  rc=$?
  elapsed=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  runs="$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)"
  rate="$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$log" | tail -n 1)"
  cov="$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -n 1)"
  result=ok
  if [ "$rc" -ne 0 ]; then
    result=FAILED
    failed=$((failed + 1))
    grep -E 'check failed|ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -n 8 >&2
  fi
  report+=("$(printf '%-14s %-7s %10s runs %8s/s  %-32s %6ss' "$name" "$result" "${runs:-?}" "${rate:-?}" "${cov:-cov: ?}" "$elapsed")")
done

echo
echo "== fuzzing summary (logs in build/fuzz/<name>.log)"
printf '%s\n' "${report[@]}"
[ "$failed" -eq 0 ]
