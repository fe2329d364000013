#!/usr/bin/env bash
# make check-reproducible: builds the release packages twice from the last commit, each in
# a fresh clone in a folder of its own (so that the build paths differ too), and compares
# the two SHA256SUMS. On a difference it names the artefacts that differ and keeps both
# trees for a look (diffoscope, if installed, tells where).
set -euo pipefail
root="$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)"
work="$(mktemp -d /tmp/qv-reproducible.XXXXXX)"
for n in 1 2; do
  git clone -q "$root" "$work/build-$n"
  echo "== make dist in $work/build-$n"
  (cd "$work/build-$n" && make dist >"$work/dist-$n.log" 2>&1) || { echo "make dist failed: $work/dist-$n.log" >&2; exit 1; }
done
if cmp -s "$work/build-1/dist/SHA256SUMS" "$work/build-2/dist/SHA256SUMS"; then
  echo "reproducible: both builds gave the same SHA256SUMS"
  cat "$work/build-1/dist/SHA256SUMS"
  rm -rf "$work"
else
  echo "not reproducible: these artefacts differ (both trees kept in $work)" >&2
  diff <(cat "$work/build-1/dist/SHA256SUMS") <(cat "$work/build-2/dist/SHA256SUMS") | sed -n 's/^< [0-9a-f]*  /  /p' >&2
  exit 1
fi
