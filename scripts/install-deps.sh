#!/usr/bin/env bash
# Installs everything the builds and tests need on a Debian 12 machine (run as root).
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  g++ cmake make googletest pkg-config
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine xvfb x11-apps x11-utils imagemagick xdotool file
  socat netcat-openbsd iproute2 iptables python3 clang clang-format clang-tidy nginx strace linux-perf tcpdump
  nsis zip unzip dpkg-dev lintian devscripts man-db systemd
  libqrcodegencpp-dev p7zip-full libarchive-tools chromium chromium-driver python3-selenium curl xterm zbar-tools
  nodejs
)

# Libraries built from Debian's own source archive, outside the tree: for the Windows
# builds, the QR code library. Only the original tarballs are fetched, and each is
# checked against the hash the archive's index gives.
QV_DEPS=${QV_DEPS:-/usr/local/src/quorvalinthexa-deps}
sources=(qr-code-generator)
sources_missing() {
  [ -f "$QV_DEPS/QR-Code-generator-1.8.0/cpp/qrcodegen.cpp" ] || return 0
  return 1
}
deb_src_entry() {
  local list=/etc/apt/sources.list.d/quorvalinthexa-deb-src.sources
  grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -n 's/^Types: *deb$/Types: deb-src/p; /^Types:/!p' /etc/apt/sources.list.d/debian.sources >"$list"
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"${list%.sources}.list"
  fi
  apt-get update -qq
}
fetch_sources() {
  mkdir -p "$QV_DEPS"
  deb_src_entry
  local url name size hash
  apt-get source --print-uris "${sources[@]}" | grep "orig.tar" | tr -d "'" |
    while read -r url name size hash; do
      curl -fsSL -o "$QV_DEPS/$name" "$url"
      echo "${hash#SHA256:}  $QV_DEPS/$name" | sha256sum -c --quiet -
      tar -xf "$QV_DEPS/$name" -C "$QV_DEPS"
    done
  sources_missing && { echo "install-deps: could not unpack ${sources[*]}" >&2; exit 1; }
  return 0
}

# The npm tools of the browser page's tests (package.json at the root, where ESLint's
# configuration must sit to cover src/): installed into node_modules by `npm ci` whenever
# package-lock.json changed since the last install.
npm_tools() {
  local root stamp
  root="$(cd "$(dirname "$0")/.." && pwd)"
  stamp="$root/node_modules/.installed-lock.sha256"
  command -v npm >/dev/null || return 0  # installed below, then run again
  (cd "$root" && sha256sum --status -c "$stamp" 2>/dev/null) && return 0
  (cd "$root" && npm ci --no-audit --no-fund --loglevel=error) || { echo "install-deps: npm ci failed" >&2; exit 1; }
  (cd "$root" && sha256sum package-lock.json >"$stamp")
}

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Debian's nodejs comes without npm, which is a package of its own there.
command -v npm >/dev/null || missing+=(npm)

if [ "$need_i386" = 0 ] && [ ${#missing[@]} -eq 0 ] && ! sources_missing; then
  npm_tools
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: missing packages (${missing[*]}) or sources under $QV_DEPS; run as root" >&2
  exit 1
fi

[ "$need_i386" = 1 ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
[ ${#missing[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
sources_missing && fetch_sources
npm_tools
exit 0
