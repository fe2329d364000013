#!/usr/bin/env bash
# Builds and starts the Windows program this machine can run under Wine (the 32-bit one
# where 32-bit programs run, else the 64-bit one): on $DISPLAY, or on a virtual display
# of its own (then it says how to look at it). QV_WIN_ARCH=32|64 forces one.
set -euo pipefail
cd "$(dirname "$0")/.."
export QV_ROOT="$PWD"
arch_line="$(scripts/win-arch.sh)" || exit 1
read -r QV_WIN_ARCH what <<<"$arch_line"
export QV_WIN_ARCH
target=windows
[ "$QV_WIN_ARCH" = 64 ] && target=windows64
make -s --no-print-directory "$target" >/dev/null
source scripts/wine-env.sh
echo "Running the $what."
had_display="${DISPLAY:-}"
eval "$(scripts/wine-start.sh)"
if [ -z "$had_display" ]; then
  echo "No DISPLAY: running on the virtual display $DISPLAY."
  echo "Screenshot: xwd -root -display $DISPLAY | convert xwd:- shot.png"
fi
exec wine "$QV_WIN_BUILD/Quorvalinthexa.exe" "$@"
