#!/usr/bin/env bash
# Runs a Windows executable under Wine in the build's prefix (CTest's emulator).
source "$(dirname "$0")/wine-env.sh"
exec wine "$@"
