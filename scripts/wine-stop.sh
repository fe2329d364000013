#!/usr/bin/env bash
# Ends the build prefix's wineserver (and with it every Wine process of the prefix).
source "$(dirname "$0")/wine-env.sh"
wineserver -k 2>/dev/null || true
