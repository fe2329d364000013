#!/usr/bin/env bash
# CTest's emulator: runs a Windows executable under Wine in the build's prefix.
# The first argument is the build's architecture (32 or 64).
export QV_WIN_ARCH="$1"
shift
source "$(dirname "$0")/wine-env.sh"
exec wine "$@"
