# Shared pieces of the release packages' tests; sourced. The checks (tests/support/checks.sh)
# print "ok: ..." or "FAIL: ..." and `finish` ends the test.
set -euo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
VERSION="$(head -n 1 "$QV_ROOT/VERSION")"
DIST="$QV_ROOT/dist"
DEB_ARCH="$(dpkg --print-architecture)"

source "$QV_ROOT/tests/support/checks.sh"
source "$QV_ROOT/tests/support/waits.sh"
# need_dist FILE...: the packages `make dist` makes; without them nothing can be checked.
need_dist() {
  local f
  for f in "$@"; do
    [ -f "$DIST/$f" ] || { echo "FAIL: dist/$f is missing (make dist makes it)" >&2; exit 1; }
  done
}
