#!/usr/bin/env bash
# Runs every benchmark of a release build folder; each prints its own ratios.
set -euo pipefail
dir=${1:?build folder}; shift
status=0
for b in "$dir"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@" || status=1
done
exit $status
