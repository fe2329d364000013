#!/usr/bin/env bash
# Starts Quorvalinthexa.exe under Wine: on $DISPLAY, or on a virtual display of its own
# (then it says how to look at it).
set -euo pipefail
cd "$(dirname "$0")/.."
export QV_ROOT="$PWD"
had_display="${DISPLAY:-}"
eval "$(scripts/wine-start.sh)"
if [ -z "$had_display" ]; then
  echo "No DISPLAY: running on the virtual display $DISPLAY."
  echo "Screenshot: xwd -root -display $DISPLAY | convert xwd:- shot.png"
fi
exec wine build/win/Quorvalinthexa.exe "$@"
