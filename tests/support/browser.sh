# A real browser for the tests of browser access (tests/faults, tests/e2e): Debian's
# headless Chromium through chromedriver and selenium. Needs checks.sh (skip).

need_browser() {
  [ -x /usr/bin/chromium ] && [ -x /usr/bin/chromedriver ] || skip "chromium or chromium-driver is missing"
  /usr/bin/python3 -c "import selenium" 2>/dev/null || skip "python3-selenium is missing"
}
# upload_files DIR: the three files every browser test uploads (50 MB, a Russian name, empty).
UPLOADS=(big.bin "файл отчёта.txt" empty.txt)
upload_files() {
  mkdir -p "$1"
  head -c 50000000 /dev/urandom >"$1/big.bin"
  printf 'привет' >"$1/файл отчёта.txt"
  : >"$1/empty.txt"
}
# browse IN_NET WORK URL DOWNLOADS SHOTS DIR GET: tests/support/browser_client.py, run
# through the command IN_NET (the other namespace's), uploads the files of DIR and
# downloads GET, with a home and a runtime folder of its own under WORK.
browse() {
  "$1" env HOME="$2/home" XDG_RUNTIME_DIR="$2/run" /usr/bin/python3 "$QV_ROOT/tests/support/browser_client.py" \
    "$3" "$4" "$5" "${UPLOADS[@]/#/$6/}" --get "$7"
}
# uploads_arrived SRC STORE: each uploaded file is in the store, byte-identical.
uploads_arrived() {
  local name
  for name in "${UPLOADS[@]}"; do
    cmp -s "$1/$name" "$2/$name" && ok "$name arrived byte-identical" || fail "$name differs or is missing"
  done
}
