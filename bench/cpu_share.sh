#!/usr/bin/env bash
# The CPU's share of a frame: the demo's benchmark under Mesa's no-op driver
# (GALLIUM_NOOP=1), which takes every GL call and renders nothing, so what
# is left is the choreography, the model update and the submission of the
# passes. On a private Xvfb (Mesa's GL whatever the machine's GPU), in a
# window of 640x360 and of 1920x1080. Prints the benchmark's whole-run row
# for each. Not a test.
# Usage: cpu_share.sh [BUILD_DIR] [--from S]   (default: build/, the whole piece)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
from=()
while [ $# -gt 0 ]; do
  case "$1" in
    --from) from=(--from "$2"); shift 2 ;;
    *) build="$1"; shift ;;
  esac
done
command -v Xvfb >/dev/null || { echo "cpu_share.sh needs Xvfb: apt-get install xvfb" >&2; exit 1; }

xvfb_pid=""
cleanup() { [ -z "$xvfb_pid" ] || { kill "$xvfb_pid" && wait "$xvfb_pid"; } 2>/dev/null || true; }
trap cleanup EXIT
displayfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$displayfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
display=":$(cat "$displayfile")"
rm -f "$displayfile"

echo "CPU per frame, Mesa's no-op driver (GALLIUM_NOOP=1), ${from[1]:-0} s to the end:"
echo "  window        frames     mean   median      p95   (ms)"
for size in 640x360 1920x1080; do
  table="$(cd "$build" && DISPLAY="$display" GALLIUM_NOOP=1 ./demo --benchmark --mute --window "$size" "${from[@]}")"
  row="$(grep '^whole run' <<<"$table")" || { echo "no benchmark table for $size:" >&2; echo "$table" >&2; exit 1; }
  read -r _ _ frames mean median p95 <<<"$row"
  # The benchmark samples its first 2^18 frames and counts the rest.
  unsampled="$(sed -n 's/ more frames were not sampled$//p' <<<"$table")"
  printf '  %-10s %9s %8s %8s %8s%s\n' "$size" "$frames" "$mean" "$median" "$p95" \
    "${unsampled:+   (and $unsampled more, not sampled)}"
done
