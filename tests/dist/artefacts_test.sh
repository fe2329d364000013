#!/usr/bin/env bash
# What `make dist` leaves in dist/: exactly the five packages and SHA256SUMS over them,
# each named with the version of the VERSION file; each zip holds exactly the program
# (of its architecture, with that version in its version resource), its two language
# files and README.txt; each installer is built on the stubs of its architecture.
source "$(dirname "$0")/lib.sh"

zip32="quorvalinthexa-$VERSION-win32.zip" zip64="quorvalinthexa-$VERSION-win64.zip"
setup32="quorvalinthexa-$VERSION-win32-setup.exe" setup64="quorvalinthexa-$VERSION-win64-setup.exe"
deb="quorvalinthexa_${VERSION}_$DEB_ARCH.deb"
need_dist "$zip32" "$zip64" "$setup32" "$setup64" "$deb" SHA256SUMS
packages="$(printf '%s\n' "$zip32" "$zip64" "$setup32" "$setup64" "$deb" | LC_ALL=C sort)"
expect_eq "files in dist/" "$(printf '%s\nSHA256SUMS' "$packages" | LC_ALL=C sort | xargs)" \
  "$(cd "$DIST" && ls | LC_ALL=C sort | xargs)"
expect_eq "files SHA256SUMS covers" "$(xargs <<<"$packages")" \
  "$(awk '{print $2}' "$DIST/SHA256SUMS" | LC_ALL=C sort | xargs)"
check "every sum in SHA256SUMS matches" bash -c 'cd "$1" && sha256sum --quiet -c SHA256SUMS' _ "$DIST"

# The ProductVersion string of a Windows program's version resource.
product_version() {
  python3 - "$1" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
key = "ProductVersion\0".encode("utf-16le")
match = re.search(re.escape(key) + rb"(?:\0\0)?((?:[^\0]\0)+)\0\0", data)
print(match.group(1).decode("utf-16le") if match else "(none)")
PY
}

unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
# bits  build        PE kind (file -b)
while read -r bits build kind; do
  folder="quorvalinthexa-$VERSION-win$bits"
  zip="$DIST/$folder.zip"
  expect_eq "contents of $folder.zip" \
    "$folder/LICENSE.txt $folder/NOTICES.txt $folder/Quorvalinthexa.exe $folder/Quorvalinthexa.exe.0419.mui $folder/Quorvalinthexa.exe.0c0a.mui $folder/README.txt" \
    "$(unzip -Z1 "$zip" | LC_ALL=C sort | xargs)"
  unzip -q -o "$zip" -d "$unpacked"
  exe="$unpacked/$folder/Quorvalinthexa.exe"
  expect_eq "kind of $folder's program" "$kind" "$(file -b "$exe" | cut -d ' ' -f 1-2)"
  expect_eq "version resource of $folder's program" "$VERSION" "$(product_version "$exe")"
  for code in 0c0a 0419; do
    check "$folder's .$code.mui is the build's" cmp -s "$unpacked/$folder/Quorvalinthexa.exe.$code.mui" \
      "$QV_ROOT/$build/Quorvalinthexa.exe.$code.mui"
  done
  check "$folder's LICENSE.txt is the licence (CRLF)" cmp -s "$unpacked/$folder/LICENSE.txt" <(sed 's/$/\r/' "$QV_ROOT/LICENSE")
  check "$folder's NOTICES.txt holds OpenSSL's licence" grep -q "Apache License" "$unpacked/$folder/NOTICES.txt"
  readme="$unpacked/$folder/README.txt"
  check "$folder's README.txt names its version" grep -q "^Quorvalinthexa $VERSION ($bits-bit)" "$readme"
  expect_eq "firewall rules for port 2904 in $folder's README.txt" "TCP UDP" \
    "$(grep -o 'protocol=[A-Z]* localport=2904' "$readme" | cut -d '=' -f 2 | cut -d ' ' -f 1 | xargs)"
  expect_eq "kind of the win$bits installer" "$kind" \
    "$(file -b "$DIST/quorvalinthexa-$VERSION-win$bits-setup.exe" | cut -d ' ' -f 1-2)"
done <<'EOF'
32 build/win   PE32 executable
64 build/win64 PE32+ executable
EOF
finish
