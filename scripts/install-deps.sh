#!/usr/bin/env bash
# Installs every Debian 12 package the project needs. Safe to run again: packages
# already present are left alone and apt is only asked when something is missing.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcli11-dev
  gcc-arm-none-eabi binutils-arm-none-eabi libnewlib-arm-none-eabi
  libmgba-dev
  libpng-dev
  xvfb xauth
  python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
