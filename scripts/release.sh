#!/usr/bin/env bash
# Builds the release archive demo-linux-x86_64.tar.gz: the demo, its
# soundtrack, the shared libraries a plain desktop lacks (in lib/, found
# through the binary's run path), a launcher and a README.
#   release.sh [--video] [ARCHIVE]   (default: demo-linux-x86_64.tar.gz at the top)
# --video also renders the party video, demo-linux-x86_64.mp4 beside the
# archive, with the capture program's defaults (it needs a display).
# The build goes to build-release/, or to $DEMO_RELEASE_BUILD when set.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
video=no
if [ "${1:-}" = --video ]; then video=yes; shift; fi
archive="${1:-$root/demo-linux-x86_64.tar.gz}"
build="${DEMO_RELEASE_BUILD:-$root/build-release}"
name=demo-linux-x86_64

# Libraries that belong to the target system: the C and C++ runtimes, the GL
# driver, X11 and the sound client. Everything else the binary needs travels
# with it.
system_libs=(
  linux-vdso.so.1 ld-linux-x86-64.so.2 libc.so.6 libm.so.6 libdl.so.2
  libpthread.so.0 librt.so.1 libgcc_s.so.1 libstdc++.so.6 libGL.so.1
  libX11.so.6 libXrandr.so.2 libudev.so.1 libpulse.so.0
)

"$root/scripts/deps.sh" release
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF \
  -DDEMO_PORTABLE=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target demo soundtrack_mp3

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
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

# Same inputs, same archive: fixed owner, order and time stamps.
stamp="$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)"
mkdir -p "$(dirname "$archive")"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$stamp" -cf - "$name" | gzip -9n > "$archive"

glibc="$(for f in "$dir/demo" "$dir"/lib/*; do objdump -T "$f"; done |
  grep -oE 'GLIBC_[0-9.]+' | sort -uV | tail -n 1)"
echo "release: $archive ($(stat -c %s "$archive") bytes)"
echo "release: bundled ${bundled[*]:-nothing}"
echo "release: needs $glibc"

if [ "$video" = yes ]; then
  cmake --build "$build" -j"$(nproc)" --target capture
  movie="$(cd "$(dirname "$archive")" && pwd)/$name.mp4"
  # The capture reads the soundtrack from its working directory, as the demo does.
  (cd "$build" && ./capture "$movie")
  echo "release: $movie ($(stat -c %s "$movie") bytes)"
fi
