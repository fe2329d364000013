#!/usr/bin/env bash
# Installs everything the builds and tests need on a Debian 12 machine (run as root).
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  g++ cmake make googletest pkg-config libssl-dev libsqlite3-dev tcl
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine xvfb x11-apps x11-utils imagemagick xdotool file
  socat netcat-openbsd iproute2 iptables tcpdump python3 clang clang-format clang-tidy nginx strace linux-perf
  nsis zip unzip dpkg-dev lintian devscripts man-db systemd
  libqrcodegencpp-dev p7zip-full libarchive-tools chromium chromium-driver python3-selenium curl xterm zbar-tools
  nodejs
)

# Libraries from Debian's own source archive, outside the tree, for the Windows builds:
# the QR code library (unpacked; CMake compiles it), OpenSSL (built here into an
# installed prefix per processor) and SQLite (made here into its one-file form, which
# CMake compiles). Only the original tarballs and Debian's patches are fetched, and each
# is checked against the hash the archive's index gives.
QV_DEPS=${QV_DEPS:-/usr/local/src/quorvalinthexa-deps}
mingw_arches=(i686 x86_64)
sources_missing() {
  [ -f "$QV_DEPS/QR-Code-generator-1.8.0/cpp/qrcodegen.cpp" ] || return 0
  return 1
}
openssl_missing() {
  local arch
  for arch in "${mingw_arches[@]}"; do
    compgen -G "$QV_DEPS/openssl-3.*-$arch/lib/libssl.a" >/dev/null || return 0
  done
  return 1
}
# A mirror in the middle of a sync can fail one list (seen: "File has unexpected size" for
# one suite's i386 list). The install then goes on without that suite: its newer amd64
# packages would otherwise need i386 twins that the stale list lacks.
stale_suites=()
refresh_index() {
  local log
  log=$(mktemp)
  if ! apt-get update -qq 2>"$log"; then
    sleep 5
    apt-get update -qq 2>"$log" || true
  fi
  cat "$log" >&2
  mapfile -t stale_suites < <(grep -o 'Failed to fetch [^ ]*/dists/[^/ ]*/' "$log" |
    sed 's|.*/dists/\([^/]*\)/|\1|' | sort -u)
  rm -f "$log"
}
install_missing() {
  local prefs suite status=0
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  [ ${#stale_suites[@]} -gt 0 ] || return 1
  echo "install-deps: trying again without the suites whose lists did not arrive: ${stale_suites[*]}" >&2
  prefs=$(mktemp -d)
  for suite in "${stale_suites[@]}"; do
    printf 'Package: *\nPin: release n=%s\nPin-Priority: -1\n\n' "$suite" >>"$prefs/stale.pref"
  done
  apt-get install -y -qq --no-install-recommends -o Dir::Etc::PreferencesParts="$prefs" "$@" \
    >/dev/null || status=$?
  rm -rf "$prefs"
  return $status
}
sqlite_missing() {
  compgen -G "$QV_DEPS/sqlite-*/sqlite3.c" >/dev/null || return 0
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
  refresh_index
}
# Downloads the files of Debian source package $1 whose names match the pattern $2 into
# $QV_DEPS, checks each one's SHA256 and prints their paths.
fetch_source_files() {
  local url name size hash
  mkdir -p "$QV_DEPS"
  deb_src_entry
  apt-get source --print-uris "$1" | tr -d "'" | grep -E "^[^ ]+ $2 " |
    while read -r url name size hash; do
      if [ ! -f "$QV_DEPS/$name" ]; then
        curl -fsSL -o "$QV_DEPS/$name.part" "$url" && mv "$QV_DEPS/$name.part" "$QV_DEPS/$name" || exit 1
      fi
      echo "${hash#SHA256:}  $QV_DEPS/$name" | sha256sum -c --quiet - >&2 || exit 1
      echo "$QV_DEPS/$name"
    done
}
# The original tarball of Debian source package $1.
fetch_orig() { fetch_source_files "$1" '[^ ]+\.orig\.tar\.[a-z0-9]+'; }
fetch_sources() {
  local tarball
  tarball=$(fetch_orig qr-code-generator)
  tar -xf "$tarball" -C "$QV_DEPS"
  sources_missing && { echo "install-deps: could not unpack qr-code-generator" >&2; exit 1; }
  return 0
}

# OpenSSL for the Windows programs: static libssl/libcrypto and their headers in
# $QV_DEPS/openssl-<version>-<processor>/, one processor at a time (the machine is shared).
# Only what TLS 1.3 with Ed25519 certificates, X25519 and AES-GCM/ChaCha20-Poly1305 needs
# is built, with its assembly (AES-NI and friends); no configuration file is ever read.
openssl_options=(
  no-shared no-tests no-legacy no-engine no-module no-dso no-deprecated no-autoload-config
  no-ssl3 no-tls1 no-tls1_1 no-dtls no-srp no-srtp no-sctp no-nextprotoneg no-ct no-ocsp
  no-camellia no-aria no-bf no-cast no-des no-idea no-md4 no-mdc2 no-rc2 no-rc4 no-rmd160
  no-seed no-sm2 no-sm3 no-sm4 no-whirlpool no-blake2 no-ocb no-siv no-dsa no-ec2m no-gost
  no-scrypt no-siphash no-cms no-ts no-cmp no-comp no-rfc3779 no-ui-console no-async
)
build_openssl() {
  local tarball version top arch target build prefix
  tarball=$(fetch_orig openssl)
  version=$(basename "$tarball" | sed 's/^openssl_\(.*\)\.orig\.tar\..*$/\1/')
  top=openssl-$version  # the folder the tarball unpacks to
  for arch in "${mingw_arches[@]}"; do
    prefix="$QV_DEPS/openssl-$version-$arch"
    [ -f "$prefix/lib/libssl.a" ] && continue
    case $arch in i686) target=mingw ;; x86_64) target=mingw64 ;; esac
    build="$QV_DEPS/openssl-$version-$arch.build"
    echo "install-deps: building OpenSSL $version for $arch (several minutes)" >&2
    rm -rf "$build" && mkdir -p "$build"
    tar -xf "$tarball" -C "$build"
    # The release date stands for the build time, and no build folder is kept.
    (
      cd "$build/$top" &&
        SOURCE_DATE_EPOCH=$(date -ud "$(sed -n 's/^RELEASE_DATE="\(.*\)"$/\1/p' VERSION.dat)" +%s) &&
        export SOURCE_DATE_EPOCH &&
        CC=gcc-posix ./Configure "$target" --cross-compile-prefix="$arch-w64-mingw32-" \
          --prefix="$prefix" --libdir=lib "${openssl_options[@]}" \
          -D_WIN32_WINNT=0x0601 "-ffile-prefix-map=$build/$top=openssl-$version" >/dev/null &&
        make -s -j"$(nproc)" build_libs >/dev/null &&
        make -s install_dev DESTDIR="$build/dest" >/dev/null
    ) || { echo "install-deps: OpenSSL $version for $arch did not build" >&2; exit 1; }
    mv "$build/dest$prefix" "$prefix"
    rm -rf "$build"
  done
}

# SQLite for the Windows programs: the amalgamation (sqlite3.c, sqlite3.h) made from
# Debian's source with Debian's patches (those that apply; the others touch only its
# packaging), in $QV_DEPS/sqlite-<version>/. Making it needs tclsh and compiles only the
# small tools that write it.
build_sqlite() {
  local tarball patches version build top patch
  tarball=$(fetch_orig sqlite3)
  patches=$(fetch_source_files sqlite3 '[^ ]+\.debian\.tar\.[a-z0-9]+')
  version=$(basename "$tarball" | sed 's/^sqlite3_\(.*\)\.orig\.tar\..*$/\1/')
  build="$QV_DEPS/sqlite-$version.build"
  echo "install-deps: making the SQLite $version amalgamation" >&2
  rm -rf "$build" && mkdir -p "$build/source"
  tar -xf "$tarball" -C "$build/source" --strip-components=1
  tar -xf "$patches" -C "$build/source"
  (
    cd "$build/source" &&
      while read -r patch; do
        case $patch in '' | '#'*) continue ;; esac
        if patch -p1 -s -f --dry-run <"debian/patches/$patch" >/dev/null; then
          patch -p1 -s -f <"debian/patches/$patch"
        else
          echo "install-deps: SQLite: Debian's $patch does not apply here, left out" >&2
        fi
      done <debian/patches/series &&
      ./configure --disable-tcl >/dev/null &&
      make -s sqlite3.c >/dev/null 2>&1
  ) || { echo "install-deps: the SQLite $version amalgamation was not made" >&2; exit 1; }
  mkdir -p "$build/dest"
  cp "$build/source/sqlite3.c" "$build/source/sqlite3.h" "$build/dest/"
  mv "$build/dest" "$QV_DEPS/sqlite-$version"
  rm -rf "$build"
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

if [ "$need_i386" = 0 ] && [ ${#missing[@]} -eq 0 ] && ! sources_missing && ! openssl_missing &&
  ! sqlite_missing; then
  npm_tools
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: missing packages (${missing[*]}) or sources under $QV_DEPS; run as root" >&2
  exit 1
fi

[ "$need_i386" = 1 ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
# The package index is refreshed only when packages are missing: a run that only adds
# sources does not depend on every mirror being in step.
if [ ${#missing[@]} -gt 0 ]; then
  refresh_index
  install_missing "${missing[@]}"
fi
sources_missing && fetch_sources
openssl_missing && build_openssl
sqlite_missing && build_sqlite
npm_tools
exit 0
