#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window after a search of a sample
# Documents folder (scans and contracts, scripts/sample_tree.py), under Xvfb.
# Builds nothing; run it after a build.  Usage: scripts/screenshot.sh [build-folder]
#
# So that the picture shows nothing of this machine, the sample lies at
# /home/robin/Documents on an empty /home of a private mount namespace
# (unshare), with HOME=/home/robin; the folder tree is rooted there.
#
# The program has one hook for this (see src/app/main.cpp): with
# QUILLON_SCREENSHOT=<png> and QUILLON_SCREENSHOT_FOLDER=<folder> it skips the
# splash, searches the folder for TIFF and PDF files, saves the window and exits.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exe="$PWD/$build/bin/Quillon"
[ -x "$exe" ] || { echo "no $exe; build first" >&2; exit 1; }
out="$PWD/docs/screenshot.png"
mkdir -p docs

inner='
set -e
mount -t tmpfs quillon-sample /home
mkdir -p /home/robin
python3 "$1/scripts/sample_tree.py" /home/robin/Documents
HOME=/home/robin QUILLON_SCREENSHOT="$3" QUILLON_SCREENSHOT_FOLDER=/home/robin/Documents QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x800x24" "$2"
'
if [ "$(id -u)" -eq 0 ]; then
  unshare --mount --propagation private bash -c "$inner" screenshot "$PWD" "$exe" "$out"
else
  unshare --user --map-root-user --mount bash -c "$inner" screenshot "$PWD" "$exe" "$out"
fi
echo "wrote $out"
