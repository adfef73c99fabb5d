#!/usr/bin/env bash
# Installs the Debian packages Quillon needs to build, test and run.
# Idempotent: asks apt only for packages that are not installed yet.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev
  libqpdf-dev qpdf zlib1g-dev libssl-dev
  libtiff-dev libtiff-tools
  libgsf-1-dev libxlsxwriter-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb openbox python3-xlrd libreoffice-calc-nogui
  desktop-file-utils appstream lintian
  python3-dev pybind11-dev python3-pytest
  python3-dask python3-distributed python3-pandas
  python3-pypdf python3-fitz
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
