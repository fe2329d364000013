#!/usr/bin/env bash
# Makes the release packages in dist/ from builds that `make dist` has just made:
#   quorvalinthexa-V-win32.zip, -win64.zip     the program, its two .mui files, README.txt,
#                                              LICENSE.txt, NOTICES.txt (the libraries linked in)
#   quorvalinthexa-V-win32-setup.exe, -win64-  NSIS installers (x86 and amd64 stubs)
#   quorvalinthexa_V_ARCH.deb                  the Linux peer, its man page and user unit
#   SHA256SUMS                                 over every other file in dist/
# V is the VERSION file, the one place the version is set. File times inside the
# packages are the last commit's (SOURCE_DATE_EPOCH), so a rebuild gives the same zips.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
VERSION="$(head -n 1 VERSION)"
[[ "$VERSION" =~ ^[0-9]+\.[0-9]+$ ]] || { echo "dist: VERSION must hold MAJOR.MINOR, not \"$VERSION\"" >&2; exit 1; }
DIST="$ROOT/dist"
STAGE="$ROOT/build/dist-stage"
RELEASE="${QV_RELEASE_BUILD:-$ROOT/build/release}"
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}"

need() {  # need FILE...: every input must be there (make dist builds them first)
  local f
  for f in "$@"; do [ -f "$f" ] || { echo "dist: $f is missing; run make dist" >&2; exit 1; }; done
}

# The licences of the libraries linked into the Windows programs, from the sources they
# were built from (scripts/install-deps.sh keeps those under QV_DEPS).
notices() {
  local deps="${QV_DEPS:-/usr/local/src/quorvalinthexa-deps}" ssl
  ssl="$(ls "$deps"/openssl_*.orig.tar.gz | sort -V | tail -n 1)"
  need "$ssl" "$deps/QR-Code-generator-1.8.0/Readme.markdown"
  printf 'Quorvalinthexa.exe contains these libraries, under their own licences.\n\n'
  printf '== OpenSSL %s (Apache License 2.0) ==\n\n' "$(basename "$ssl" .orig.tar.gz | cut -d_ -f2)"
  tar -xzOf "$ssl" --wildcards '*/LICENSE.txt'
  printf '\n== QR Code generator library 1.8.0 (MIT License) ==\n\n'
  sed -n '/^License$/,$p' "$deps/QR-Code-generator-1.8.0/Readme.markdown" | sed '1,2d'
}

# stage_windows BITS: the files both Windows packages ship, in $STAGE/winBITS; the
# program without its symbols and debugging information (the build keeps those).
stage_windows() {
  local bits="$1" build triple f
  if [ "$bits" = 32 ]; then build="$ROOT/build/win" triple=i686-w64-mingw32; else build="$ROOT/build/win64" triple=x86_64-w64-mingw32; fi
  need "$build/Quorvalinthexa.exe" "$build/Quorvalinthexa.exe.0c0a.mui" "$build/Quorvalinthexa.exe.0419.mui"
  rm -rf "${STAGE:?}/win$bits" && mkdir -p "$STAGE/win$bits"
  "$triple-strip" --strip-all -o "$STAGE/win$bits/Quorvalinthexa.exe" "$build/Quorvalinthexa.exe"
  cp "$build"/Quorvalinthexa.exe.*.mui "$STAGE/win$bits/"
  sed 's/$/\r/' LICENSE >"$STAGE/win$bits/LICENSE.txt"  # CRLF, for Notepad
  notices | sed 's/$/\r/' >"$STAGE/win$bits/NOTICES.txt"
  # The installer keeps each file's time: the last commit's, as in the zips.
  find "$STAGE/win$bits" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# make_zip BITS: the portable program in a folder of its own inside the zip.
make_zip() {
  local bits="$1" name
  name="quorvalinthexa-$VERSION-win$bits"
  rm -rf "${STAGE:?}/$name" && cp -r "$STAGE/win$bits" "$STAGE/$name"
  # Notepad on older Windows wants CRLF.
  sed -e "s/@VERSION@/$VERSION/g" -e "s/@BITS@/$bits/g" -e 's/$/\r/' \
    packaging/windows/README.txt.in >"$STAGE/$name/README.txt"
  find "$STAGE/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$STAGE" && find "$name" -type f | LC_ALL=C sort | zip -X -D -q -9 "$DIST/$name.zip" -@)
}

# make_installer BITS; its first and last pages show the program's icon on the left.
make_installer() {
  local bits="$1" side="$STAGE/installer-side.bmp"
  [ -f "$side" ] || convert -size 164x314 gradient:'#ffffff'-'#d6e6f8' \
    \( "resources/images/program.ico[0]" -resize 112x112 \) -gravity north -geometry +0+40 -composite \
    -type truecolor "BMP3:$side"
  touch -d "@$SOURCE_DATE_EPOCH" "$side"  # the installer records its time too
  makensis -V2 -INPUTCHARSET UTF8 -DARCH="$bits" -DVERSION="$VERSION" -DPROGRAM_DIR="$STAGE/win$bits" \
    -DICON="$ROOT/resources/images/program.ico" -DSIDE_BITMAP="$side" \
    -DOUTFILE="$DIST/quorvalinthexa-$VERSION-win$bits-setup.exe" packaging/windows/installer.nsi
}

# make_deb: a binary package built the way Debian's tools build one: files staged under
# debian/quorvalinthexa, Depends from dpkg-shlibdeps, the control file from
# dpkg-gencontrol, the archive from dpkg-deb.
make_deb() {
  need "$RELEASE/quorvalinthexa"
  local src="$STAGE/deb" pkg date
  pkg="$src/debian/quorvalinthexa"
  rm -rf "$src" && mkdir -p "$pkg/DEBIAN" "$pkg/usr/bin" "$pkg/usr/share/man/man1" \
    "$pkg/usr/lib/systemd/user" "$pkg/usr/share/doc/quorvalinthexa"
  date="$(LC_ALL=C date -u -d "@$SOURCE_DATE_EPOCH" -R)"
  cp packaging/debian/control "$src/debian/control"
  sed -e "s/@VERSION@/$VERSION/g" -e "s/@RFC2822_DATE@/$date/" packaging/debian/changelog.in >"$src/debian/changelog"

  install -m 0755 "$RELEASE/quorvalinthexa" "$pkg/usr/bin/quorvalinthexa"
  strip --remove-section=.comment --remove-section=.note --strip-unneeded "$pkg/usr/bin/quorvalinthexa"
  sed -e "s/@VERSION@/$VERSION/g" -e "s/@DATE@/$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)/" \
    packaging/debian/quorvalinthexa.1 | gzip -9n >"$pkg/usr/share/man/man1/quorvalinthexa.1.gz"
  install -m 0644 packaging/debian/quorvalinthexa-receive.service "$pkg/usr/lib/systemd/user/"
  cp packaging/debian/copyright "$pkg/usr/share/doc/quorvalinthexa/copyright"
  gzip -9n <"$src/debian/changelog" >"$pkg/usr/share/doc/quorvalinthexa/changelog.gz"
  find "$pkg" -type d -exec chmod 0755 {} +
  find "$pkg" -type f ! -path '*/usr/bin/*' -exec chmod 0644 {} +

  (cd "$src" &&
    dpkg-shlibdeps -Tdebian/quorvalinthexa.substvars debian/quorvalinthexa/usr/bin/quorvalinthexa &&
    dpkg-gencontrol -pquorvalinthexa -Tdebian/quorvalinthexa.substvars -Pdebian/quorvalinthexa &&
    cd debian/quorvalinthexa && find usr -type f | LC_ALL=C sort | xargs md5sum >DEBIAN/md5sums)
  chmod 0644 "$pkg/DEBIAN/md5sums"
  find "$pkg" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --build "$pkg" \
    "$DIST/quorvalinthexa_${VERSION}_$(dpkg-architecture -qDEB_HOST_ARCH).deb" >/dev/null
}

rm -rf "$DIST" "$STAGE" && mkdir -p "$DIST" "$STAGE"
for bits in 32 64; do
  stage_windows "$bits"
  make_zip "$bits"
  make_installer "$bits"
done
make_deb
(cd "$DIST" && sha256sum -- * >SHA256SUMS)
echo "dist: version $VERSION"
(cd "$DIST" && ls -l --time-style=+ | awk 'NR > 1 {printf "  %-40s %10d bytes\n", $NF, $5}')
