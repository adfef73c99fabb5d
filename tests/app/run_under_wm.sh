#!/bin/sh
# run_under_wm.sh WxH COMMAND...: runs COMMAND on an Xvfb screen of WxH with
# openbox managing its windows. Exits 77 (skipped) when either is missing.
size=$1
shift
for tool in xvfb-run openbox; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (scripts/bootstrap.sh installs it)" >&2
    exit 77
  fi
done
exec xvfb-run -a -s "-screen 0 ${size}x24" sh -c '
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  sleep 1
  QT_QPA_PLATFORM=xcb "$@"
  rc=$?
  kill $wm 2>/dev/null
  exit $rc
' run_under_wm "$@"
