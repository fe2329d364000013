#!/usr/bin/env bash
# A 5 GiB zip through browser access, which ZIP64 alone can describe: a sparse file with
# bytes past 4 GiB, then a small file at an offset past 4 GiB. bsdtar reads the archive as
# it arrives, the other three readers (tests/support/zip_check.py) from the disk; the
# server's memory does not grow with it. The archive needs the disk: skipped below 12 GiB free.
source "$(dirname "$0")/lib.sh"
command -v curl >/dev/null || skip "curl is missing"
for tool in unzip 7z bsdtar; do command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh)"; done
free_gib=$(($(df --output=avail -k "$WORK" | tail -n1) / 1024 / 1024))
[ "$free_gib" -ge 12 ] || skip "the 5 GiB archive needs 12 GiB free in $WORK, there are $free_gib"
CHECK="$QV_ROOT/tests/support/zip_check.py"
OFFER="$WORK/offer"
mkdir -p "$OFFER/big"
manifest() { (cd "$OFFER" && find "$1" -type f -printf "%p\t$OFFER/%p\n"); }

started=$SECONDS
truncate -s 5G "$OFFER/big/a.bin"
printf 'past 4 GiB' | dd of="$OFFER/big/a.bin" bs=1 seek=$((9 << 29)) conv=notrunc status=none
printf 'after' >"$OFFER/big/b.txt"
serve_start "$OFFER/big"
idle_kib="$(awk '/^VmRSS/ {print $2}' "/proc/$RX_PID/status")"
in_tx curl -sS "${URL}zip?folder=big" | tee "$WORK/big.zip" | bsdtar -xOf - | cmp - <(cat "$OFFER/big/a.bin" "$OFFER/big/b.txt") &&
  ok "bsdtar reads the 5 GiB zip from a pipe" || fail "bsdtar and the 5 GiB zip"
growth=$((($(awk '/^VmHWM/ {print $2}' "/proc/$RX_PID/status") - idle_kib) / 1024))
[ "$growth" -lt 50 ] && ok "the 5 GiB zip grew the server by $growth MiB" || fail "the 5 GiB zip grew the server by $growth MiB"
manifest big >"$WORK/big.list"
check "the 5 GiB zip, read by three more readers" python3 "$CHECK" "$WORK/big.zip" "$WORK/big.list" --no-bsdtar
rm -f "$WORK/big.zip" "$OFFER/big/a.bin"
echo "the 5 GiB part took $((SECONDS - started)) s"
rx_stop
finish
