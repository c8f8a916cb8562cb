#!/usr/bin/env bash
# Installs the Debian packages the demo needs, on Debian 12 (bookworm) or 13
# (trixie). Usage: deps.sh [build|release|test]
#   build:   compiler, CMake and the libraries the demo links against;
#   release: the above plus the tool that sets the bundled libraries' run
#            path, and, on any release but Debian 12, debootstrap for the
#            Debian 12 build root the archive is made in;
#   test:    all of the above plus the X server, sound server and tools the
#            tests use, and debootstrap for the release's minimal-system check.
set -euo pipefail

build_packages=(
  g++ cmake make pkg-config
  libsfml-dev libglew-dev libglu1-mesa-dev libglm-dev libx11-dev
  libmpg123-dev libpulse-dev libmp3lame-dev libpng-dev
  libgl1-mesa-dri libegl-dev libegl-mesa0
)
test_packages=(
  libgtest-dev libxfixes-dev xvfb xauth xdotool python3
  pulseaudio pulseaudio-utils ffmpeg debootstrap
  pipewire pipewire-pulse wireplumber dbus-daemon weston xwayland
)
release_packages=(patchelf)
[ "$(. /etc/os-release && echo "$ID $VERSION_ID")" = "debian 12" ] || release_packages+=(debootstrap)

packages=("${build_packages[@]}")
case "${1:-build}" in
  build) ;;
  release) packages+=("${release_packages[@]}") ;;
  test) packages+=("${release_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: deps.sh [build|release|test]" >&2; exit 2 ;;
esac

missing=()
for p in $(printf '%s\n' "${packages[@]}" | awk '!seen[$0]++'); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
