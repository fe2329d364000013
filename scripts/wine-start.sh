#!/usr/bin/env bash
# Starts a persistent wineserver and Wine's services for the build's prefix, detached,
# so that each Windows test process starts in milliseconds instead of seconds.
# Also starts a virtual display when there is none. Prints the variables to export.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
mkdir -p "$WINEPREFIX"
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    # A display whose server is gone (a killed run) is free again.
    pid=""
    [ -f /tmp/.X$n-lock ] && pid="$(tr -d ' ' </tmp/.X$n-lock 2>/dev/null || true)"
    if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then rm -f /tmp/.X$n-lock /tmp/.X11-unix/X$n; fi
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
      setsid Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
      export DISPLAY=:$n
      break
    fi
  done
fi
setsid wineserver -p </dev/null >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  setsid wineboot -i </dev/null >/dev/null 2>&1 || true
fi
setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
# Wine links the user's Desktop and Documents to $HOME: make them folders of the prefix,
# so that a program under test never writes into the real home folder.
for link in "$WINEPREFIX"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
  if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
done
echo "export DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
