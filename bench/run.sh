#!/usr/bin/env bash
# make bench: transfer benchmarks of the release build against raw baselines.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/run.py build/release/quorvalinthexa
