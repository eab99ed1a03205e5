#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run its demo.
# Safe to run again: only missing packages are installed.
#   install-deps.sh            what the Linux build and its tests need
#   install-deps.sh --windows  that, and the mingw-w64 cross compiler and Wine for the
#                              Windows build of the Qt-free libraries and vq5.exe
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev
  xvfb xauth x11-utils imagemagick xdotool
  clang libclang-rt-14-dev clang-format libcli11-dev
  desktop-file-utils librsvg2-bin
  strace ccache
  dpkg-dev
  libpcap-dev tshark
  libsqlite3-dev libpq-dev postgresql python3
)
# The report screenshot (scripts/report-screenshot.sh) also needs a browser; CI does not.
if [ "${1:-}" = "--screenshots" ]; then
  PACKAGES+=(chromium)
fi
if [ "${1:-}" = "--windows" ]; then
  PACKAGES+=(g++-mingw-w64-x86-64-posix wine64 wine socat)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# tshark brings wireshark-common, which would ask whether to install dumpcap setuid: no.
if printf '%s\n' "${missing[@]}" | grep -qx tshark; then
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
fi
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
