#!/usr/bin/env bash
# Picks the Windows build that this machine can test, and prints "ARCH WHAT" on one line:
# ARCH is 32 or 64, WHAT says which build under which Wine, and why.
# Probes once, with a time limit, whether a 32-bit program (the 32-bit prefix's cmd.exe)
# runs under Wine: some kernels run 64-bit user code only, and there the 32-bit loader
# fails with "Exec format error". QV_WIN_ARCH=32|64 forces a mode; a forced mode that
# cannot run here is an error (exit 1, with the reason on stderr), never a quiet pass.
set -uo pipefail
cd "$(dirname "$0")/.."
export QV_ROOT="$PWD"
limit="${QV_PROBE_SECONDS:-240}"
forced="${QV_WIN_ARCH:-}"
probe_log="$(mktemp)"
trap 'rm -f "$probe_log" "$probe_log.out"' EXIT

# probe ARCH: runs `cmd /c echo` in that mode's prefix (creating the prefix, which the
# tests use next). Output goes to files: Wine's services would hold a pipe open.
probe() (
  export QV_WIN_ARCH="$1"
  unset WINEPREFIX QV_WIN_BUILD
  source scripts/wine-env.sh
  mkdir -p "$WINEPREFIX"
  timeout -k 5 "$limit" wine cmd /c echo qv-probe </dev/null >"$probe_log.out" 2>"$probe_log"
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  grep -q '^qv-probe' "$probe_log.out"
)

# Why a probe failed: Wine's last error line, or the time limit.
reason() {
  local line
  line="$(grep -v '^[[:space:]]*$' "$probe_log" | tail -n 1)"
  echo "${line:-no answer within ${limit} s}"
}

case "$forced" in
  32)
    if probe 32; then echo "32 i686 build under wine, 32-bit prefix (forced by QV_WIN_ARCH=32)"; exit 0; fi
    echo "Windows tests: QV_WIN_ARCH=32 asks for the 32-bit build, but this machine cannot run 32-bit programs ($(reason))" >&2
    exit 1 ;;
  64)
    if probe 64; then echo "64 x86-64 build under wine64, 64-bit prefix (forced by QV_WIN_ARCH=64)"; exit 0; fi
    echo "Windows tests: QV_WIN_ARCH=64 asks for the 64-bit build, but wine64 does not run it here ($(reason))" >&2
    exit 1 ;;
  "") ;;
  *)
    echo "Windows tests: QV_WIN_ARCH must be 32 or 64, not \"$forced\"" >&2
    exit 1 ;;
esac

if probe 32; then
  echo "32 i686 build under wine, 32-bit prefix (this machine runs 32-bit programs)"
elif why="$(reason)" && probe 64; then
  echo "64 x86-64 build under wine64, 64-bit prefix (this machine cannot run 32-bit programs: $why)"
else
  echo "Windows tests: neither the 32-bit nor the 64-bit Windows build can run under Wine here ($(reason))" >&2
  exit 1
fi
