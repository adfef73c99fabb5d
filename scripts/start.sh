#!/usr/bin/env bash
# Starts the desktop program from a build folder; extra arguments go to it.
set -euo pipefail
dir=${1:?build folder}; shift
if [ -x "$dir/bin/Quillon" ]; then
  exec "$dir/bin/Quillon" "$@"
fi
# Until the desktop program is built, the headless counter is what runs.
echo "Quillon's window is not built yet; running the headless counter instead." >&2
exec "$dir/bin/quillon-count" "${@:-.}"
