#!/usr/bin/env bash
# Proves the README's test command on a Debian release, as a newcomer meets
# it: makes a fresh system of that release with debootstrap, clones this
# repository's committed HEAD into it and runs `scripts/test.sh` there as CI
# does (CI=1). Prints the outcome and the time; exits with the command's
# status.
#   check-on-debian.sh [--dir DIR] CODENAME     (bookworm or 12, trixie or 13)
# DIR (default: build-debian/ at the top) keeps, per release, the system
# debootstrap made, CODENAME-base/ (minbase and git, made once), and the
# run's own copy of it, CODENAME/, made anew each run: the packages the
# test command installs, the clone and every build in it are new. The copy
# stays for a look until the next run; its output goes to CODENAME.log too.
# Needs root and a Debian mirror (the one apt uses here, or
# $DEMO_DEBIAN_MIRROR); 2.5 GB for Debian 12, 4 GB for 13.
#
# The test command runs in a mount and a PID namespace of their own, on
# /proc, /sys and /dev mounted into the system, whose root is a mount point
# of its own so that `unshare --mount` works inside. At the end, even on a
# failure or Ctrl-C, the processes left inside are stopped by their PIDs and
# everything mounted is unmounted.
set -euo pipefail

if [ -n "${DEMO_CHECK_SYSTEM:-}" ]; then
  # Inside the namespaces, as their first process: mount, run, clean up.
  # Anywhere else this would mount into the host and signal its processes,
  # so the variable alone is not enough: this must be PID 1 of a new PID
  # namespace (whose parent is outside it, so it sees none).
  if [ "$$" -ne 1 ] || [ "$PPID" -ne 0 ]; then
    echo "check-on-debian: DEMO_CHECK_SYSTEM is set, but this is not the first process of the namespaces" \
      "the script makes for itself; refusing (unset it and run: check-on-debian.sh CODENAME)" >&2
    exit 2
  fi
  system="$DEMO_CHECK_SYSTEM"
  cleanup() {
    set +e
    trap '' INT TERM
    # This shell is PID 1 here; every other PID in the namespace is ours.
    local pid name left
    for signal in TERM KILL; do
      left=""
      for pid in $(ls "$system/proc" 2>/dev/null | grep -E '^[0-9]+$'); do
        [ "$pid" != 1 ] || continue
        name="$(cat "$system/proc/$pid/comm" 2>/dev/null)"
        kill -s "$signal" "$pid" 2>/dev/null && left="$left $pid ($name)"
      done
      [ -z "$left" ] && break
      echo "check-on-debian: stopping what was left running:$left (SIG$signal)"
      sleep 2
    done
    umount -R "$system" || { echo "check-on-debian: $system is busy; detached instead" >&2; umount -R -l "$system"; }
  }
  trap cleanup EXIT
  trap 'exit 130' INT TERM
  mount --bind "$system" "$system"
  mount -t proc proc "$system/proc"
  mount -t sysfs sysfs "$system/sys"
  mount --rbind /dev "$system/dev"
  mount --make-rslave "$system/dev"
  # As a newcomer's root shell; the status is the test command's.
  status=0
  chroot "$system" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI=1 /bin/sh -c 'cd /root/demo && exec scripts/test.sh' ||
    status=$?
  exit "$status"
fi

repo="$(cd "$(dirname "$0")/.." && pwd)"
usage="usage: check-on-debian.sh [--dir DIR] CODENAME   (bookworm or 12, trixie or 13)"
dir="$repo/build-debian"
if [ "${1:-}" = --dir ]; then
  [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
  dir="$2"; shift 2
fi
[ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
case "$1" in
  12|bookworm) codename=bookworm version=12 ;;
  13|trixie) codename=trixie version=13 ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
if [ "$(id -u)" -ne 0 ]; then
  echo "check-on-debian: debootstrap, chroot and the mounts need root; asking sudo"
  exec sudo "$0" --dir "$dir" "$codename"
fi
for tool in debootstrap git unshare; do
  command -v "$tool" > /dev/null || { echo "check-on-debian: $tool is not installed" >&2; exit 1; }
done
dir="$(realpath -m "$dir")"
base="$dir/$codename-base" system="$dir/$codename" log="$dir/$codename.log"
commit="$(git -C "$repo" rev-parse HEAD)"
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
  echo "check-on-debian: uncommitted changes are not checked, only the commit $commit"
started=$(date +%s)

"$repo/scripts/debian-system.sh" "$codename" "$base" git
# A mount left inside the previous run's system would be emptied with it.
mounted=$(awk -v d="$system" '$5 == d || index($5, d "/") == 1 { print $5 }' /proc/self/mountinfo)
[ -z "$mounted" ] || { echo "check-on-debian: still mounted in $system: $mounted" >&2; exit 1; }
rm -rf "$system"
cp -a "$base" "$system"
cp /etc/resolv.conf "$system/etc/resolv.conf"
git clone -q --no-local "$repo" "$system/root/demo"
git -C "$system/root/demo" checkout -q --detach "$commit"
echo "check-on-debian: Debian $version ($codename) ready after $(($(date +%s) - started)) s;" \
  "scripts/test.sh of $(git -C "$repo" log -1 --format='%h %s' "$commit")"

# Ctrl-C reaches every process of the run; tee stays to record their last words.
set +e
DEMO_CHECK_SYSTEM="$system" unshare --mount --propagation private --pid --fork "$0" 2>&1 | tee -i "$log"
status=${PIPESTATUS[0]}
set -e
took=$(($(date +%s) - started))
outcome="passed"
[ "$status" -eq 0 ] || outcome="FAILED (status $status)"
echo "check-on-debian: Debian $version ($codename): scripts/test.sh $outcome in $((took / 60)) min $((took % 60)) s;" \
  "output in $log"
exit "$status"
