#!/usr/bin/env bash
# The release archive on a minimal Debian 12 system: debootstrap's minbase plus
# Mesa's GL driver, Xvfb and the PulseAudio client library, and nothing of the
# build's development packages. The archive is unpacked there and started
# through its launcher from another directory, under an Xvfb inside the
# chroot: it must show a picture, end with status 0 on Escape and print
# nothing. No sound server runs there, so the demo plays silently.
#   release_chroot_test.sh ARCHIVE WORKDIR
# WORKDIR holds the system (about 500 MB; kept, so a second run skips
# debootstrap). Needs root, the network and a Debian mirror: the one apt uses
# here, or $DEMO_DEBIAN_MIRROR. Exits 77 (skipped) without root.
set -euo pipefail
if [ $# -ne 2 ]; then echo "usage: release_chroot_test.sh ARCHIVE WORKDIR" >&2; exit 2; fi

if [ "$(id -u)" -ne 0 ]; then
  if sudo -n true 2>/dev/null; then exec sudo -n "$0" "$@"; fi
  echo "release_chroot_test.sh: needs root for debootstrap and chroot; skipped" >&2
  exit 77
fi
# Every mount of this test lives in a private mount namespace, so that the
# kernel drops them with the test's last process whatever ends it.
if [ -z "${DEMO_CHROOT_NAMESPACE:-}" ]; then
  DEMO_CHROOT_NAMESPACE=1 exec unshare --mount --propagation private "$0" "$@"
fi

archive="$(readlink -f "$1")"
work="$(mkdir -p "$2" && cd "$2" && pwd)"
root="$work/root"
started=$(date +%s)
fail() { echo "release_chroot_test.sh: $*" >&2; exit 1; }
[ -f "$archive" ] || fail "no archive $archive"

# The mirror this machine's apt takes Debian itself from.
mirror() {
  if [ -n "${DEMO_DEBIAN_MIRROR:-}" ]; then echo "$DEMO_DEBIAN_MIRROR"; return; fi
  local url
  url=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
            /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -vE '^[[:space:]]*#' | grep -oE 'https?://[^ ]+' |
        grep -E '/debian/?$' | head -n 1 || true)
  echo "${url:-http://deb.debian.org/debian}"
}

if [ ! -f "$root/.complete" ]; then
  rm -rf "$root"
  echo "debootstrap from $(mirror)"
  debootstrap --variant=minbase \
    --include=libgl1,libglx-mesa0,libgl1-mesa-dri,xvfb,libpulse0 \
    bookworm "$root" "$(mirror)" > "$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log" >&2; fail "debootstrap failed"; }
  touch "$root/.complete"
fi
echo "minimal system ready after $(($(date +%s) - started)) s"

# Guard against a system that would pass without the archive's own libraries.
for lib in libsfml-window.so.2.5 libsfml-system.so.2.5 libGLEW.so.2.2 libGLU.so.1; do
  [ -e "$root/usr/lib/x86_64-linux-gnu/$lib" ] && fail "the minimal system has $lib"
done
devs=$(chroot "$root" dpkg-query -W -f='${Package}\n' | grep -E -- '-dev$' || true)
[ -z "$devs" ] || fail "the minimal system has development packages: $devs"

rm -rf "$root/opt/release"
mkdir -p "$root/opt/release" "$root/tmp/elsewhere"
tar -C "$root/opt/release" -xzf "$archive"
launcher=/opt/release/demo-linux-x86_64/run.sh

xvfb="" demo=""
cleanup() {
  if [ -n "$demo" ]; then kill "$demo" 2>/dev/null; wait "$demo" 2>/dev/null || true; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; fi
  umount "$root/proc" 2>/dev/null || true
}
trap cleanup EXIT
mount -t proc proc "$root/proc"

# A bare environment: nothing of this machine's session leaks in.
chroot_cmd="$(command -v chroot)"
in_chroot() { env -i PATH=/usr/bin:/bin HOME=/root "$chroot_cmd" "$root" "$@"; }

# The loader inside finds the bundled libraries, and nothing is missing.
ldd_out=$(in_chroot ldd /opt/release/demo-linux-x86_64/demo)
missing=$(grep 'not found' <<< "$ldd_out" || true)
[ -z "$missing" ] || fail "unresolved libraries: $missing"
for lib in libsfml-window.so.2.5 libsfml-system.so.2.5 libmpg123.so.0; do
  grep -q "$lib => /opt/release/demo-linux-x86_64/lib/$lib" <<< "$ldd_out" ||
    fail "$lib is not taken from the archive: $ldd_out"
done

# Xvfb picks a free display itself; its abstract socket is reachable from
# outside the chroot, where xdotool runs.
: > "$work/display"
# Started without the shell function, so that $! is Xvfb itself (env and
# chroot exec into it) and the clean-up stops the server, not a subshell.
env -i PATH=/usr/bin:/bin HOME=/root "$chroot_cmd" "$root" \
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp \
  3> "$work/display" > "$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
display=":$(cat "$work/display")"

env -i PATH=/usr/bin:/bin HOME=/root DISPLAY="$display" \
  "$chroot_cmd" "$root" /bin/sh -c "cd /tmp/elsewhere && exec $launcher" \
  > "$work/stdout" 2> "$work/stderr" &
demo=$!

# A full-screen window appears, and the demo is still running a few seconds
# into the piece.
window=""
for _ in $(seq 600); do
  kill -0 "$demo" 2>/dev/null || fail "the demo ended before its window showed; stderr: $(cat "$work/stderr")"
  window=$(DISPLAY="$display" xdotool search --onlyvisible --name '^OpenGL$' 2>/dev/null || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no window appeared within a minute"
sleep 4
kill -0 "$demo" 2>/dev/null || fail "the demo ended early; stderr: $(cat "$work/stderr")"
colours=$(DISPLAY="$display" import -window root png:- | identify -format '%k' -)
[ "$colours" -gt 16 ] || fail "the screen shows $colours colours, no picture"

# The demo polls the key once a frame: hold it long enough to be seen.
DISPLAY="$display" xdotool keydown Escape; sleep 0.5; DISPLAY="$display" xdotool keyup Escape
status=""
for _ in $(seq 300); do
  if ! kill -0 "$demo" 2>/dev/null; then
    status=0; wait "$demo" || status=$?
    demo=""
    break
  fi
  sleep 0.1
done
[ -n "$status" ] || fail "the demo did not end on Escape"
[ "$status" -eq 0 ] || fail "the demo exited with $status; stderr: $(cat "$work/stderr")"
[ ! -s "$work/stdout" ] || fail "the demo printed: $(cat "$work/stdout")"
[ ! -s "$work/stderr" ] || fail "the demo printed on stderr: $(cat "$work/stderr")"
echo "the archive runs on the minimal system ($colours colours on screen); $(($(date +%s) - started)) s in all"
