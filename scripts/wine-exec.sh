#!/usr/bin/env bash
# CTest's emulator: runs a Windows executable under Wine in the build's prefix.
# The first argument is the build's architecture (32 or 64).
#
# Wine's server kills (SIGKILL) a process whose last thread has ended when its Unix side
# has not exited half a second later; on a loaded machine a test program that finished
# and passed can die so, and its exit status is lost. For a GoogleTest run (one given a
# filter) the run's own XML report, complete before the program exits, decides then:
# a killed run passes only when that report counts tests and no failure or error.
export QV_WIN_ARCH="$1"
shift
source "$(dirname "$0")/wine-env.sh"
case " $* " in
  *" --gtest_filter="*) ;;
  *) exec wine "$@" ;;
esac
report="$(mktemp --suffix=.xml)"
trap 'rm -f "$report"' EXIT
wine "$@" "--gtest_output=xml:Z:${report//\//\\}"
status=$?
if [ "$status" = 137 ] &&
  grep -qE '<testsuites tests="[1-9][0-9]*" failures="0" disabled="[0-9]+" errors="0"' "$report"; then
  echo "wine-exec: Wine's server killed the finished run; its report counts no failure" >&2
  echo "$*" >>"$QV_WIN_BUILD/killed-after-report.txt"  # scripts/run-tests.sh lists them
  status=0
fi
exit "$status"
