#!/usr/bin/env bash
# Installs everything the builds and tests need on a Debian 12 machine (run as root).
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  g++ cmake make googletest pkg-config
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine xvfb x11-apps imagemagick xdotool file
  socat netcat-openbsd iproute2 python3 clang nginx strace linux-perf
  nsis zip unzip dpkg-dev lintian devscripts man-db systemd
)

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "$need_i386" = 0 ] && [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root" >&2
  exit 1
fi

[ "$need_i386" = 1 ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
