#!/usr/bin/env bash
# The release archive's make-up: its file list, the run paths of the binary
# and of the bundled libraries, what they need from the system, the glibc
# version they ask for, and the launcher from any working directory.
#   release_test.sh ARCHIVE
set -uo pipefail
[ $# -eq 1 ] || { echo "usage: release_test.sh ARCHIVE" >&2; exit 2; }
top=demo-linux-x86_64 failures=0
check() { # check WHAT COMMAND...: runs COMMAND, reports WHAT when it fails
  "${@:2}" || { echo "FAIL: $1" >&2; failures=$((failures + 1)); }
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
tar -C "$work" -xzf "$1" || { echo "FAIL: cannot unpack $1" >&2; exit 1; }
dir="$work/$top"

# Exactly these files: no GL driver, X11, sound client or C runtime.
list=$(tar -tzf "$1" | LC_ALL=C sort | tr '\n' ' ')
check "file list: $list" test "$list" = "$top/ $top/README.txt $top/demo $top/lib/ $top/lib/libmpg123.so.0 \
$top/lib/libsfml-system.so.2.5 $top/lib/libsfml-window.so.2.5 $top/run.sh $top/vandrel.mp3 "
check "demo and run.sh are executable" test -x "$dir/demo" -a -x "$dir/run.sh"
check "vandrel.mp3 is the soundtrack (an MP3 of some size)" test "$(stat -c %s "$dir/vandrel.mp3")" -gt 500000
for words in "Escape quits" "OpenGL 3.3" PulseAudio; do check "README.txt names $words" grep -q "$words" "$dir/README.txt"; done

# The binary looks in lib/, the libraries beside themselves; DT_RUNPATH, not
# the old DT_RPATH that would override LD_LIBRARY_PATH. Every library needed
# is bundled or one a desktop has (GLEW and GLU are linked in, GL comes
# through libGL.so.1: libOpenGL.so.0 is not on every desktop).
dyn() { objdump -p "$1" | awk -v tag="$2" '$1 == tag { print $2 }'; }
system=" libc.so.6 libm.so.6 libgcc_s.so.1 libstdc++.so.6 libGL.so.1 libX11.so.6 libXrandr.so.2 libudev.so.1 libpulse.so.0 "
for f in "$dir/demo" "$dir"/lib/*; do
  want='$ORIGIN'; [ "$f" = "$dir/demo" ] && want='$ORIGIN/lib'
  check "${f##*/}: RUNPATH $want, no RPATH" test "$(dyn "$f" RUNPATH)/$(dyn "$f" RPATH)" = "$want/"
  for needed in $(dyn "$f" NEEDED); do
    [[ "$system" == *" $needed "* ]] || check "${f##*/} needs $needed, neither bundled nor the system's" test -f "$dir/lib/$needed"
  done
done

# Nothing newer than glibc 2.34 (which the start-up code of any binary linked
# on Debian 12 asks for) and GCC 11's libstdc++, so Ubuntu 22.04 runs it.
highest=$(for f in "$dir/demo" "$dir"/lib/*; do objdump -T "$f"; done | grep -oE 'GLIBC(XX)?_[0-9.]+' | sort -uV |
  awk -F_ '{ last[$1] = $0 } END { print last["GLIBC"], last["GLIBCXX"] }')
check "highest versions asked for: $highest" test "$highest" = "GLIBC_2.34 GLIBCXX_3.4.29"

# The launcher, started from elsewhere, under another name and from a folder
# with a space, runs the demo in its own folder: a stand-in for the demo
# reports where it ran, and its exit status must come back through.
moved="$work/a folder/$top"
mkdir -p "$work/a folder" "$work/elsewhere" "$work/links" && cp -a "$dir" "$moved"
printf '#!/bin/sh\n[ -f vandrel.mp3 ] || exit 9\npwd\nexit 3\n' > "$moved/demo"
ln -s "$moved/run.sh" "$work/links/start-demo" && ln -s "$moved" "$work/links/$top"
while IFS='|' read -r from command; do
  out=$(cd "$from" && eval "$command")
  check "launcher via '$command' from $from: exit $?, ran in '$out'" test "$?/$out" = "3/$moved"
done <<EOF
$work/elsewhere|"../a folder/$top/run.sh"
$work/elsewhere|sh "$moved/run.sh"
$work/elsewhere|"$work/links/start-demo"
$work/links|"./$top/run.sh"
EOF

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "release archive: all checks passed"
