#!/usr/bin/env bash
# Installs what Velmora needs to build and test, from Debian's packages.
# Quiet and quick when everything is already present.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libgif-dev liblz4-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  qt6-base-dev libqt6opengl6-dev libgl-dev libgl1-mesa-dri xvfb xauth
  clang libclang-rt-14-dev
  python3-numpy python3-pil
  desktop-file-utils appstream libxml2-utils man-db dpkg-dev
  openmsx cbios fuse-emulator-utils
  libdsk4-dev cpmtools mtools
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
