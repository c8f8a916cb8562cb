#!/usr/bin/env bash
# The release archive on a minimal Debian 12 system: debootstrap's minbase plus
# Mesa's GL driver and Xvfb, and nothing of the build's development packages,
# not even the PulseAudio client library (the demo loads it when it is there).
# The archive is unpacked there and started through its launcher from another
# directory, under an Xvfb inside the chroot: it must show a picture, end with
# status 0 on Escape and print nothing, silently.
#   release_chroot_test.sh ARCHIVE WORKDIR
# WORKDIR holds the system (about 500 MB; kept, so a second run skips
# debootstrap). Needs root, the network and a Debian mirror: the one apt uses
# here, or $DEMO_DEBIAN_MIRROR. Exits 77 (skipped) without root.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: release_chroot_test.sh ARCHIVE WORKDIR" >&2; exit 2; }
if [ "$(id -u)" -ne 0 ]; then
  if sudo -n true 2>/dev/null; then exec sudo -n "$0" "$@"; fi
  echo "release_chroot_test.sh: needs root for debootstrap and chroot; skipped" >&2
  exit 77
fi
# Every mount of this test lives in a private mount namespace, so that the
# kernel drops them with the test's last process whatever ends it.
[ -n "${DEMO_CHROOT_NAMESPACE:-}" ] || DEMO_CHROOT_NAMESPACE=1 exec unshare --mount --propagation private "$0" "$@"

archive="$(readlink -f "$1")"
work="$(mkdir -p "$2" && cd "$2" && pwd)"
root="$work/root" started=$(date +%s)
fail() { echo "release_chroot_test.sh: $*" >&2; exit 1; }
[ -f "$archive" ] || fail "no archive $archive"

"$(dirname "$0")/../scripts/debian-system.sh" bookworm "$root" libgl1 libglx-mesa0 libgl1-mesa-dri xvfb ||
  fail "no minimal system"
echo "minimal system ready after $(($(date +%s) - started)) s"

# Guard against a system that would pass without the archive's own libraries,
# or that has the sound library the demo must start without.
for lib in libsfml-window.so.2.5 libsfml-system.so.2.5 libGLEW.so.2.2 libGLU.so.1 libpulse.so.0; do
  [ ! -e "$root/usr/lib/x86_64-linux-gnu/$lib" ] || fail "the minimal system has $lib"
done
devs=$(chroot "$root" dpkg-query -W -f='${Package}\n' | grep -E -- '-dev$' || true)
[ -z "$devs" ] || fail "the minimal system has development packages: $devs"

rm -rf "$root/opt/release"
mkdir -p "$root/opt/release" "$root/tmp/elsewhere"
tar -C "$root/opt/release" -xzf "$archive"
xvfb="" demo=""
trap 'set +e; kill $demo $xvfb 2>/dev/null; wait $demo $xvfb 2>/dev/null; umount "$root/proc"' EXIT
mount -t proc proc "$root/proc"
# In the chroot with a bare environment: nothing of this machine's session
# leaks in. Not a shell function, so that $! is the program itself (env and
# chroot exec into it) and the clean-up stops it, not a subshell.
inside=(env -i PATH=/usr/bin:/bin HOME=/root "$(command -v chroot)" "$root")

# The loader inside finds the bundled libraries, and nothing is missing.
ldd_out=$("${inside[@]}" ldd /opt/release/demo-linux-x86_64/demo)
! grep 'not found' <<< "$ldd_out" || fail "unresolved libraries"
for lib in libsfml-window.so.2.5 libsfml-system.so.2.5 libmpg123.so.0; do
  grep -q "$lib => /opt/release/demo-linux-x86_64/lib/$lib" <<< "$ldd_out" || fail "$lib is not the archive's: $ldd_out"
done

# Xvfb picks a free display itself; its abstract socket is reachable from
# outside the chroot, where xdotool runs. It is bare, as on a headless
# machine: it resets whenever its last client leaves and refuses connections
# meanwhile, so the demo must keep its first connection (the display probe)
# until its window exists, and nothing here connects before the demo has.
: > "$work/display"
"${inside[@]}" Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3> "$work/display" > "$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
DISPLAY=":$(cat "$work/display")" && export DISPLAY
"${inside[@]}" /bin/sh -c "export DISPLAY=$DISPLAY; cd /tmp/elsewhere && exec /opt/release/demo-linux-x86_64/run.sh" \
  > "$work/stdout" 2> "$work/stderr" &
demo=$!
sleep 1

# A full-screen window appears, and the demo is still running a few seconds
# into the piece, showing a picture.
timeout 60 xdotool search --sync --onlyvisible --name '^OpenGL$' > /dev/null 2>&1 ||
  fail "no window appeared within a minute; stderr: $(cat "$work/stderr")"
sleep 4
kill -0 "$demo" 2>/dev/null || fail "the demo ended early; stderr: $(cat "$work/stderr")"
colours=$(ffmpeg -v error -f x11grab -video_size 640x480 -i "$DISPLAY" -frames:v 1 -f rawvideo -pix_fmt rgb24 - |
  od -An -v -tx1 -w3 | sort -u | wc -l)
[ "$colours" -gt 16 ] || fail "the screen shows $colours colours, no picture"

# The demo polls the key once a frame: hold it long enough to be seen.
xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
timeout 30 tail --pid="$demo" -f /dev/null || fail "the demo did not end on Escape"
status=0 && wait "$demo" || status=$?
demo=""
[ "$status" -eq 0 ] || fail "the demo exited with $status; stderr: $(cat "$work/stderr")"
printed=$(cat "$work/stdout" "$work/stderr")
[ -z "$printed" ] || fail "the demo printed: $printed"
echo "the archive runs on the minimal system ($colours colours on screen); $(($(date +%s) - started)) s in all"
