#!/usr/bin/env bash
# make bench: builds what the benchmarks run out of sight (the release command-line peer;
# for the Wine line also the Windows program and its driver, unless QV_BENCH_WINE=0), then
# runs bench/run.py. Only the benchmark's own output is shown; a failed build shows its log.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
log="$PWD/build/bench-build.log"
: >"$log"
quiet() {
  "$@" >>"$log" 2>&1 || { echo "bench: build failed (log: $log):" >&2; tail -n 30 "$log" >&2; exit 1; }
}
# The release build as `make release` makes it, with Debian's hardening flags.
quiet cmake --no-warn-unused-cli -S . -B build/release -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="$(scripts/build-flags.sh CXX)" -DCMAKE_EXE_LINKER_FLAGS="$(scripts/build-flags.sh LD)"
quiet cmake --build build/release -j"$(nproc)" --target quorvalinthexa
cases="${QV_BENCH_CASES:-small,big,disk,wine}"
if [[ ",$cases," == *,wine,* ]] && [ "${QV_BENCH_WINE:-1}" != 0 ] && command -v wine >/dev/null; then
  export QV_WIN_ARCH="${QV_WIN_ARCH:-32}"
  source scripts/wine-env.sh
  toolchain=cmake/mingw-i686.cmake
  [ "$QV_WIN_ARCH" = 64 ] && toolchain=cmake/mingw-x86_64.cmake
  quiet cmake --no-warn-unused-cli -S . -B "$QV_WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  quiet cmake --build "$QV_WIN_BUILD" -j"$(nproc)" --target Quorvalinthexa qdriver
  export QV_BENCH_WINEPREFIX="${QV_BENCH_WINEPREFIX:-$PWD/build/bench-wineprefix$QV_WIN_ARCH}"
fi
exec python3 bench/run.py build/release/quorvalinthexa
