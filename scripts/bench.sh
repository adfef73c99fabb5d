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
# The Python module against quillon-count, where the build made it.
if [ -e "$dir/python/quillon/__init__.py" ]; then
  echo "== bench_python"
  /usr/bin/python3 "$(dirname "$0")/../bench/python/bench_python.py" "$dir" || status=1
fi
exit $status
