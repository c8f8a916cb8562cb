#!/usr/bin/env bash
# Builds the release archive demo-linux-x86_64.tar.gz: the demo, its
# soundtrack, the shared libraries a plain desktop lacks (in lib/, found
# through the binary's run path), a launcher and a README.
#   release.sh [--video] [ARCHIVE]   (default: demo-linux-x86_64.tar.gz at the top)
# --video also renders the party video, demo-linux-x86_64.mp4 beside the
# archive, with the capture program's defaults (through EGL where there is
# no display).
# The build goes to build-release/, or to $DEMO_RELEASE_BUILD when set.
#
# The archive is built on Debian 12 whatever the host, so that it bundles
# the same libraries and asks no more of the target's C library and C++
# runtime: on any other system, this script runs again inside a Debian 12
# build root that debootstrap makes in the build folder, bookworm/ (root,
# the network and a Debian mirror; kept for the next run). It fails, and
# leaves no archive, where the archive would ask more than the README's floor.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
args=("$@")
video=no
if [ "${1:-}" = --video ]; then video=yes; shift; fi
archive="$(realpath -m "${1:-$root/demo-linux-x86_64.tar.gz}")"
build="$(realpath -m "${DEMO_RELEASE_BUILD:-$root/build-release}")"
name=demo-linux-x86_64
# The most the archive may ask for: glibc 2.34 and GCC 11's libstdc++
# (Ubuntu 22.04, Debian 12, Fedora 35).
floor="GLIBC_2.34 GLIBCXX_3.4.29"

# Libraries that belong to the target system: the C and C++ runtimes, the GL
# driver, X11 and the sound client. Everything else the binary needs travels
# with it.
system_libs=(
  linux-vdso.so.1 ld-linux-x86-64.so.2 libc.so.6 libm.so.6 libdl.so.2
  libpthread.so.0 librt.so.1 libgcc_s.so.1 libstdc++.so.6 libGL.so.1
  libX11.so.6 libXrandr.so.2 libudev.so.1 libpulse.so.0
)

# render_video BUILD: the party video beside the archive, from BUILD's capture.
render_video() {
  cmake --build "$1" -j"$(nproc)" --target capture soundtrack_mp3
  local movie
  movie="$(dirname "$archive")/$name.mp4"
  # The capture reads the soundtrack from its working directory, as the demo does.
  (cd "$1" && ./capture "$movie")
  echo "release: $movie ($(stat -c %s "$movie") bytes)"
}

if [ "$(. /etc/os-release && echo "$ID $VERSION_ID")" != "debian 12" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "release.sh: the Debian 12 build root needs root; asking sudo"
    exec sudo env DEMO_RELEASE_BUILD="$build" "$0" "${args[@]}"
  fi
  # Its mounts live in a mount namespace of their own, so that the kernel
  # drops them too whatever ends the build.
  [ -n "${DEMO_RELEASE_NAMESPACE:-}" ] ||
    DEMO_RELEASE_NAMESPACE=1 exec unshare --mount --propagation private "$0" "${args[@]}"
  "$root/scripts/deps.sh" release
  system="$build/bookworm"
  "$root/scripts/debian-system.sh" bookworm "$system"
  mkdir -p "$system/src" "$system/out"
  rm -f "$system/out/$name.tar.gz"
  trap 'umount -R "$system/dev"; umount "$system/proc" "$system/src"' EXIT
  mount --bind -o ro "$root" "$system/src"
  mount -t proc proc "$system/proc"
  mount --rbind /dev "$system/dev"
  # This script, inside with the source tree at /src and a bare environment;
  # the time stamp is the commit's, which only git out here knows.
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DEMO_RELEASE_BUILD=/build \
    SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)" \
    "$(command -v chroot)" "$system" /src/scripts/release.sh "/out/$name.tar.gz" ||
    { echo "release.sh: the build in the Debian 12 build root $system failed" >&2; exit 1; }
  mkdir -p "$(dirname "$archive")"
  mv "$system/out/$name.tar.gz" "$archive"
  echo "release: $archive, made in the Debian 12 build root $system"
  if [ "$video" = yes ]; then
    # The picture does not depend on where the demo was built: this system renders it.
    cmake -S "$root" -B "$build/host" -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF >/dev/null
    render_video "$build/host"
  fi
  exit 0
fi

"$root/scripts/deps.sh" release
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF \
  -DDEMO_PORTABLE=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target demo soundtrack_mp3

stage="$(mktemp -d)"
trap 'rm -rf "$stage" "$archive.part"' EXIT
dir="$stage/$name"
mkdir -p "$dir/lib"
install -m 755 "$build/demo" "$dir/demo"
strip "$dir/demo"
install -m 644 "$build/vandrel.mp3" "$dir/vandrel.mp3"
install -m 755 "$root/scripts/release/run.sh" "$dir/run.sh"
install -m 644 "$root/scripts/release/README.txt" "$dir/README.txt"

needed() { objdump -p "$1" | awk '$1 == "NEEDED" { print $2 }'; }
is_system() {
  local lib
  for lib in "${system_libs[@]}"; do [ "$lib" = "$1" ] && return 0; done
  return 1
}

# Where the build machine's loader finds each library of the demo's closure.
declare -A found
while read -r soname arrow path _; do
  [ "$arrow" = "=>" ] && found[$soname]="$path"
done < <(ldd "$build/demo")

# Walk the NEEDED entries from the binary down through the bundled libraries;
# a system library's own needs are the system's business.
mapfile -t queue < <(needed "$dir/demo")
bundled=()
while [ ${#queue[@]} -gt 0 ]; do
  soname="${queue[0]}"
  queue=("${queue[@]:1}")
  is_system "$soname" && continue
  [ -e "$dir/lib/$soname" ] && continue
  path="${found[$soname]:-}"
  if [ -z "$path" ] || [ ! -f "$path" ]; then
    echo "release.sh: $soname is needed but not found on this machine" >&2
    exit 1
  fi
  install -m 644 "$path" "$dir/lib/$soname"
  # Bundled libraries find each other beside themselves.
  patchelf --set-rpath '$ORIGIN' "$dir/lib/$soname"
  bundled+=("$soname")
  mapfile -t -O "${#queue[@]}" queue < <(needed "$dir/lib/$soname")
done

# The highest glibc and libstdc++ symbol versions asked for, against the floor.
needs="$(for f in "$dir/demo" "$dir"/lib/*; do objdump -T "$f"; done | grep -oE 'GLIBC(XX)?_[0-9.]+' |
  sort -uV | awk -F_ '{ last[$1] = $0 } END { print last["GLIBC"], last["GLIBCXX"] }')"
for version in $needs; do
  limit="$(tr ' ' '\n' <<< "$floor" | grep "^${version%_*}_")"
  if [ "$(printf '%s\n' "$version" "$limit" | sort -V | tail -n 1)" != "$limit" ]; then
    echo "release.sh: the archive would need $version, more than the $limit the README promises" \
      "(bundled: ${bundled[*]:-nothing}); no archive made" >&2
    exit 1
  fi
done

# Same inputs, same archive: fixed owner, order and time stamps.
stamp="${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}"
mkdir -p "$(dirname "$archive")"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$stamp" -cf - "$name" | gzip -9n > "$archive.part"
mv "$archive.part" "$archive"

echo "release: $archive ($(stat -c %s "$archive") bytes)"
echo "release: bundled ${bundled[*]:-nothing}"
echo "release: needs ${needs/ /, }"

[ "$video" = no ] || render_video "$build"
