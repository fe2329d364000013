#!/usr/bin/env bash
# The access page state by state in a real browser (headless Chromium, from the other
# namespace; tests/support/page_client.py): in English every check (keyboard, drops,
# cancel, text both ways, the offered list and its zips, axe-core in each state, light
# and dark, a long folder folded), in Spanish and Russian their texts and the summary;
# pictures of a folder upload at phone and desktop width, light and dark, in each language
# into QV_PAGE_SHOTS (build/page-shots unless given). In English also two uploads of 200 MB
# through a proxy that cuts the network: one goes on by itself once the network is back,
# the other after a reload from where it stopped. Everything sent arrives whole.
source "$(dirname "$0")/lib.sh"
source "$QV_ROOT/tests/support/browser.sh"
need_browser
[ -f "$QV_ROOT/node_modules/axe-core/axe.min.js" ] || skip "node_modules/axe-core is missing (scripts/install-deps.sh)"

SHOTS="${QV_PAGE_SHOTS:-$QV_NATIVE_BUILD/page-shots}"
OFFER="$WORK/offer"
THEIR_TEXT='<b>not bold</b> & "quoted" — текст'
mkdir -p "$WORK/Trip/sub" "$OFFER/Photos/sub" "$SHOTS"
head -c 1024 /dev/urandom >"$WORK/Trip/a.txt"
head -c 512 /dev/urandom >"$WORK/Trip/sub/b.txt"
for i in $(seq 10 20); do printf 'photo %s' "$i" >"$OFFER/Photos/img$i.jpg"; done
printf deep >"$OFFER/Photos/sub/deep.txt"
printf notes >"$OFFER/notes.txt"
head -c 200000000 /dev/urandom >"$WORK/big1.bin"
head -c 200000000 /dev/urandom >"$WORK/big2.bin"

for lang in en es ru; do
  rm -rf "$STORE" && mkdir -p "$STORE"
  : >"$WORK/rx.out"  # emptied first: the last serve's address must not pass for this one's
  (cd "$JAIL" && LANG="$lang" LC_ALL="" exec ip netns exec "$RX_NS" "$CLI" serve --no-qr --store "$STORE" \
    --text "$THEIR_TEXT" "$OFFER/Photos" "$OFFER/notes.txt") >"$WORK/rx.out" 2>>"$WORK/rx.err" &
  RX_PID=$!
  wait_for_line "$WORK/rx.out" "http://" || { fail "serve did not start: $(cat "$WORK/rx.err")"; finish; }
  url="$(grep -m1 '^http://' "$WORK/rx.out")"
  all=()
  [ "$lang" = en ] && all=(--all --resume "$WORK/big1.bin" "$WORK/big2.bin")
  in_tx env HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/run" /usr/bin/python3 "$QV_ROOT/tests/support/page_client.py" \
    "$url" "$lang" "$WORK" "$SHOTS" "$OFFER" "$THEIR_TEXT" "${all[@]}" || fail "the page in $lang"
  diff -r "$WORK/Trip" "$STORE/Trip" >/dev/null && ok "$lang: the folder arrived whole" || fail "$lang: the folder differs"
  if [ "$lang" = en ]; then
    expect_eq "the dropped folder" "one" "$(cat "$STORE/Dropped/one.txt" 2>&1)"
    grep -qF "Grüße, мир 👋 <i>not markup</i>" "$WORK/rx.out" && ok "the browser's text was shown" ||
      fail "the browser's text is not in serve's output"
    for big in big1.bin big2.bin; do
      cmp -s "$WORK/$big" "$STORE/$big" && ok "$big arrived byte-identical" || fail "$big differs or is missing"
    done
  fi
  rx_stop
  rm -f "$OFFER/Photos/new.txt"
done
finish
