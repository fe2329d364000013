#!/usr/bin/env bash
# The Windows tests' launcher (scripts/wine-exec.sh) when Wine's server kills a test
# program that has finished: the program's Unix exit is held back (strace) past the half
# second the server waits, so its kill always comes. A killed run passes only when its
# report counts tests and no failure.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tests/support/checks.sh"
exe="$QV_WIN_BUILD/unit_tests.exe"
command -v strace >/dev/null || skip "strace is not installed"
strace -f -o /dev/null true 2>/dev/null || skip "this machine does not let a process be traced"
# The runs it lets pass are listed in the build's folder: here, in one of the test's own.
list="$(mktemp -d)"
trap 'rm -rf "$list"' EXIT
# launch DELAY_ENTER FILTER: the launcher's status, each exit of the run held back so long.
launch() {
  QV_WIN_BUILD="$list" strace -f -o /dev/null -e trace=exit_group -e "inject=exit_group:delay_enter=$1" \
    "$root/scripts/wine-exec.sh" "$QV_WIN_ARCH" "$exe" "--gtest_filter=$2" >/dev/null 2>&1
  echo $?
}
passing=BannerLayout.TextLinesAndCentredPicture
while read -r what delay filter expected; do
  expect_eq "$what" "$expected" "$(launch "$delay" "$filter")"
done <<TABLE
a_passed_run_killed_after_its_report 700000 $passing 0
a_run_of_no_test_killed_after_its_report 700000 No.Such 137
TABLE
expect_eq "the runs listed" "1" "$(grep -c -- "--gtest_filter=$passing" "$list/killed-after-report.txt")"
finish
