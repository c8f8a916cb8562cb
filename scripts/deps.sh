#!/usr/bin/env bash
# Installs the Debian 12 packages the demo needs. Usage: deps.sh [build|test]
#   build: compiler, CMake and the libraries the demo links against;
#   test:  the above plus the X server, sound server and tools the tests use.
set -euo pipefail

build_packages=(
  g++ cmake make pkg-config
  libsfml-dev libglew-dev libglu1-mesa-dev libglm-dev libx11-dev
  libmpg123-dev libpulse-dev libmp3lame-dev libpng-dev
  libgl1-mesa-dri
)
test_packages=(
  libgtest-dev xvfb xauth x11-utils xdotool imagemagick
  pulseaudio pulseaudio-utils glslang-tools ffmpeg
)

packages=("${build_packages[@]}")
[ "${1:-build}" = test ] && packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
