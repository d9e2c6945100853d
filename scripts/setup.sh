#!/usr/bin/env bash
# Installs the Debian packages the runtime, the game, the tests and the benchmarks need.
# Safe to run again: only missing packages are installed. Works as root or through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  libsdl2-dev libsdl2-mixer-dev libsdl2-image-dev libassimp-dev libgl-dev libgl1-mesa-dri libegl1 libegl-mesa0
  liblzo2-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libgtest-dev libgmock-dev libbenchmark-dev libglm-dev
  xvfb xauth xdotool x11-utils zenity
  clang-14 libclang-rt-14-dev
  imagemagick sox ffmpeg
  libboost-graph-dev libenet-dev
  console-setup-linux python3 python3-xlib python3-lzo
  lintian file
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
