#!/usr/bin/env bash
# Builds and runs the tests: every test but the 96-s full run in a normal
# build, then the tests that exercise memory (GL objects, music, capture)
# and the full run in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the release archive's checks. Installs
# what the tests need first, and runs them against a virtual X server (Xvfb
# with Mesa's software OpenGL), which it starts and stops itself. A step that
# fails does not stop the next: the end names every step that failed, and
# the status is then 1.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
"$root/scripts/deps.sh" test

xvfb_pid=""
# It has ended when the script has: nothing of the run outlives it.
cleanup() { [ -z "$xvfb_pid" ] || { kill "$xvfb_pid" && wait "$xvfb_pid"; } 2>/dev/null || true; }
trap cleanup EXIT

# A 4:3 screen, so that the demo's 16:9 picture shows letterbox bars. A bare
# Xvfb resets whenever its last client leaves and refuses connections
# meanwhile; tests that start and stop by the dozen would now and then find
# it resetting, so it keeps its state, like a desktop's server. (The release
# check runs the demo on a bare one.)
displayfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>"$displayfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$displayfile")"
rm -f "$displayfile"
echo "Xvfb on $DISPLAY (pid $xvfb_pid)"

# Leaks inside the X and GL client libraries are theirs, not ours.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# run_suite NAME BUILD_DIR "CTEST LABEL ARGS" "TARGETS" CMAKE_ARGS...: builds
# and runs a suite; a failure adds NAME to the failed steps.
failed=()
run_suite() {
  local name="$1" dir="$2" labels="$3" targets="$4"; shift 4
  cmake -S "$root" -B "$dir" "$@" >/dev/null &&
    cmake --build "$dir" -j"$jobs" --target $targets &&
    (cd "$dir" && ctest --output-on-failure -j"$jobs" $labels) || failed+=("$name")
}

echo "== normal build: every test but the full run"
run_suite "normal build" "$root/build-test" "-LE fullrun|release" all -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_RELEASE_TESTS=ON
echo "== sanitizer build (ASan + UBSan): GL objects, music, capture, the full run"
# Mesa unloads its driver when the display closes, before LeakSanitizer looks,
# and the driver's own leftovers then show as leaks of an unknown module that
# no suppression can name. Loading it up front keeps it mapped to the end.
dri="/usr/lib/$(gcc -print-multiarch)/dri/swrast_dri.so"
[ -f "$dri" ] && export LD_PRELOAD="$dri" ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0"
run_suite "sanitizer build" "$root/build-asan" "-L memory|fullrun" "gl_tests capture_tests music_tests full_run" -DCMAKE_BUILD_TYPE=Debug -DDEMO_SANITIZE=ON

echo "== release archive, and its run on a minimal Debian 12 system"
# The minimal system gets a bare environment of its own; the sanitizer
# settings above must not reach the release build either.
unset LD_PRELOAD ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
(cd "$root/build-test" && ctest --output-on-failure -L release) || failed+=("release archive")

if [ ${#failed[@]} -gt 0 ]; then
  echo "== FAILED: $(printf '%s, ' "${failed[@]}" | sed 's/, $//')" >&2
  exit 1
fi
echo "== all three steps passed"
