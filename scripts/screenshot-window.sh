#!/usr/bin/env bash
# screenshot-window.sh TITLE OUT.png: saves the top-level window titled TITLE (on
# $DISPLAY) as a PNG, cropped to the window.
set -euo pipefail
title="$1" out="$2"
id="$(xdotool search --onlyvisible --name "^${title}\$" | head -n 1)"
[ -n "$id" ] || { echo "no visible window titled $title" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$id")"
xwd -root -silent -display "$DISPLAY" | convert xwd:- -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
