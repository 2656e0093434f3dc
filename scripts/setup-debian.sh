#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Pelko need, when missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest zlib1g-dev python3   # native build and tests
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64          # Windows build
  libz-mingw-w64-dev                                                           # checksum reference in the Windows tests and benchmark
  wixl msitools                                                                # the installer package (pelko.msi)
  wine wine64 xvfb xauth x11-apps imagemagick xdotool xclip                    # running under Wine
  iproute2 util-linux procps                                                   # sandboxes and LAN hosts
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
