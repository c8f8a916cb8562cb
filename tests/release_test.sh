#!/usr/bin/env bash
# The release archive's make-up: its file list, the run paths of the binary
# and of the bundled libraries, what they need from the system, the glibc
# version they ask for, and the launcher from any working directory.
#   release_test.sh ARCHIVE
set -uo pipefail
if [ $# -ne 1 ]; then echo "usage: release_test.sh ARCHIVE" >&2; exit 2; fi
archive="$(readlink -f "$1")"
top=demo-linux-x86_64
failures=0
check() { # check WHAT COMMAND...: runs COMMAND, reports WHAT when it fails
  local what="$1"; shift
  if ! "$@"; then echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
tar -C "$work" -xzf "$archive" || { echo "FAIL: cannot unpack $archive" >&2; exit 1; }
dir="$work/$top"

# --- The file list, exactly: no GL driver, X11, sound client or C runtime.
expected="$top/
$top/README.txt
$top/demo
$top/lib/
$top/lib/libmpg123.so.0
$top/lib/libsfml-system.so.2.5
$top/lib/libsfml-window.so.2.5
$top/run.sh
$top/vandrel.mp3"
check "file list: $(tar -tzf "$archive" | tr '\n' ' ')" \
  test "$(tar -tzf "$archive" | LC_ALL=C sort)" = "$expected"
for f in demo run.sh; do check "$f is executable" test -x "$dir/$f"; done
check "vandrel.mp3 is the soundtrack (an MP3 of some size)" \
  test "$(stat -c %s "$dir/vandrel.mp3")" -gt 500000
check "README.txt names the controls, the GL version and the sound server" \
  grep -q "Escape quits" "$dir/README.txt"
check "README.txt names the GL version" grep -q "OpenGL 3.3" "$dir/README.txt"
check "README.txt names the sound server" grep -q "PulseAudio" "$dir/README.txt"

# --- Run paths: the binary looks in lib/, the libraries beside themselves;
# DT_RUNPATH, not the old DT_RPATH that would override LD_LIBRARY_PATH.
dyn() { objdump -p "$1" | awk -v tag="$2" '$1 == tag { print $2 }'; }
check "demo RUNPATH is \$ORIGIN/lib" test "$(dyn "$dir/demo" RUNPATH)" = '$ORIGIN/lib'
check "demo has no RPATH" test -z "$(dyn "$dir/demo" RPATH)"
for lib in "$dir"/lib/*; do
  check "$(basename "$lib") RUNPATH is \$ORIGIN" test "$(dyn "$lib" RUNPATH)" = '$ORIGIN'
  check "$(basename "$lib") has no RPATH" test -z "$(dyn "$lib" RPATH)"
done

# --- Every library needed is bundled or one a desktop has. GLEW and GLU are
# linked in, and GL comes through libGL.so.1 (libOpenGL.so.0 is not on every
# desktop).
system=" libc.so.6 libm.so.6 libgcc_s.so.1 libstdc++.so.6 libGL.so.1 libX11.so.6
libXrandr.so.2 libudev.so.1 libpulse.so.0 "
system=$(echo $system)
for f in "$dir/demo" "$dir"/lib/*; do
  for needed in $(dyn "$f" NEEDED); do
    case " $system " in *" $needed "*) continue ;; esac
    check "$(basename "$f") needs $needed, which is neither bundled nor the system's" \
      test -f "$dir/lib/$needed"
  done
done
check "demo needs libGL.so.1" grep -qx libGL.so.1 <<< "$(dyn "$dir/demo" NEEDED)"

# The loader takes the bundled copies even where the system has its own.
ldd_out=$(cd / && env -u LD_LIBRARY_PATH ldd "$dir/demo")
check "ldd resolves everything" test -z "$(grep 'not found' <<< "$ldd_out")"
for lib in libsfml-window.so.2.5 libsfml-system.so.2.5 libmpg123.so.0; do
  check "$lib is loaded from lib/" grep -qF "$lib => $dir/lib/$lib" <<< "$ldd_out"
done

# --- glibc: nothing newer than 2.34 (the start-up code of any binary linked
# on Debian 12 asks for 2.34), so Ubuntu 22.04 and Debian 12 run it.
highest=$(for f in "$dir/demo" "$dir"/lib/*; do objdump -T "$f"; done |
  grep -oE 'GLIBC_[0-9.]+' | sort -uV | tail -n 1)
check "highest glibc version is GLIBC_2.34, not $highest" test "$highest" = GLIBC_2.34
highest_cxx=$(for f in "$dir/demo" "$dir"/lib/*; do objdump -T "$f"; done |
  grep -oE 'GLIBCXX_[0-9.]+' | sort -uV | tail -n 1)
check "highest libstdc++ version is GLIBCXX_3.4.29 (GCC 11), not $highest_cxx" \
  test "$highest_cxx" = GLIBCXX_3.4.29

# --- The launcher, started from elsewhere, under another name and from a
# folder with a space, runs the demo in its own folder. A stand-in for the
# demo reports where it ran; its exit status must come back through.
moved="$work/a folder/$top"
mkdir -p "$work/a folder" "$work/elsewhere" "$work/links"
cp -a "$dir" "$moved"
cat > "$moved/demo" <<'EOF'
#!/bin/sh
[ -f vandrel.mp3 ] || exit 9
pwd
exit 3
EOF
ln -s "$moved/run.sh" "$work/links/start-demo"
ln -s "$moved" "$work/links/$top"
while IFS='|' read -r from command; do
  out=$(cd "$from" && eval "$command")
  status=$?
  check "launcher via '$command' from $from: exit $status" test "$status" -eq 3
  check "launcher via '$command' from $from: ran in '$out'" test "$out" = "$moved"
done <<EOF
/|"$moved/run.sh"
$work/elsewhere|"../a folder/$top/run.sh"
$moved|./run.sh
$work/elsewhere|sh "$moved/run.sh"
$work/elsewhere|"$work/links/start-demo"
$work/links|"./$top/run.sh"
EOF

if [ "$failures" -gt 0 ]; then echo "$failures check(s) failed" >&2; exit 1; fi
echo "release archive: all checks passed"
