#!/usr/bin/env bash
# Makes a Debian system in DIR with debootstrap (the minbase variant plus the
# packages named), once: a later call for the same release and packages finds
# it complete and returns at once; any other call makes it again.
#   debian-system.sh CODENAME DIR [PACKAGE...]
# Packages come from the mirror this machine's apt takes Debian itself from,
# or from $DEMO_DEBIAN_MIRROR. Needs root. debootstrap's log goes to DIR.log.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: debian-system.sh CODENAME DIR [PACKAGE...]" >&2; exit 2; }
codename="$1" dir="$(realpath -m "$2")"
shift 2
packages="$*"
wanted="$codename ${packages// /,}"
[ "$(cat "$dir/.complete" 2>/dev/null)" = "$wanted" ] && exit 0

command -v debootstrap > /dev/null || { echo "debian-system.sh: debootstrap is not installed" >&2; exit 1; }
mirror=${DEMO_DEBIAN_MIRROR:-$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
  /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -vE '^[[:space:]]*#' | grep -oE 'https?://[^ ]+' |
  grep -E '/debian/?$' | head -n 1 || true)}
# A mount left inside (a bind of /dev, of a source tree) would be emptied too.
mounted=$(awk -v d="$dir" '$5 == d || index($5, d "/") == 1 { print $5 }' /proc/self/mountinfo)
[ -z "$mounted" ] || { echo "debian-system.sh: still mounted in $dir: $mounted" >&2; exit 1; }
echo "debootstrap $codename from ${mirror:=http://deb.debian.org/debian} into $dir"
rm -rf "$dir"
mkdir -p "$dir"
debootstrap --variant=minbase ${packages:+--include="${packages// /,}"} "$codename" "$dir" "$mirror" \
  > "$dir.log" 2>&1 || { tail -n 20 "$dir.log" >&2; echo "debian-system.sh: debootstrap failed" >&2; exit 1; }
echo "$wanted" > "$dir/.complete"
