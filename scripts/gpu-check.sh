#!/usr/bin/env bash
# Measures the demo on this machine's GPU, with or without a display: builds
# Release into build-gpu-check/, then prints the GL renderer, capture's
# per-pass profile at 1920x1080 and 3840x2160, the party video's wall time
# against its 96 s with the encoder's share, the CPU's share of a frame
# (Mesa's no-op driver, bench/cpu_share.sh, where Xvfb is installed) and,
# where a display answers, the demo's benchmark full screen on it. Without a
# display capture renders through EGL, on a GPU's device where the driver
# offers one.
# Usage: gpu-check.sh [--quick]
#   --quick: every row, shorter: the profiles over 3 frames (60 to 62 s),
#   the video at 640x360 and 30 fps over 60 to 70 s, the benchmarks over
#   86 s to the end; a few minutes on a CPU renderer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
case "${1:-}" in
  "") quick=0 ;;
  --quick) quick=1 ;;
  *) echo "usage: gpu-check.sh [--quick]" >&2; exit 2 ;;
esac
if [ "$quick" = 1 ]; then
  profile=(--fps 1 --from 60 --to 63); profiled="3 frames, 60 to 62 s"
  video=(--size 640x360 --fps 30 --from 60 --to 70); filmed="640x360 at 30 fps, 60 to 70 s"; length=10
  from=(--from 86)
else
  profile=(--fps 10); profiled="the whole piece at 10 fps, 960 frames"
  video=(); filmed="1920x1080 at 60 fps, the whole piece"; length=96
  from=()
fi

"$root/scripts/deps.sh" build
command -v ffmpeg >/dev/null || { echo "gpu-check.sh needs ffmpeg: apt-get install ffmpeg" >&2; exit 1; }
build="$root/build-gpu-check"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target demo capture soundtrack_mp3 >/dev/null
cd "$build"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
now() { date +%s.%N; }

echo "== capture --profile, $profiled"
for size in 1920x1080 3840x2160; do
  ./capture --quiet --size "$size" "${profile[@]}" --profile 2>"$scratch/log" || { cat "$scratch/log" >&2; exit 1; }
  echo
done
sed -n 's/^capture: //p' "$scratch/log" | sed 's/^OpenGL /GL renderer: OpenGL /'

# The encoder's share: the same video once through ffmpeg, its CPU time
# taken from its wait, and once through a stand-in that reads every frame
# and discards it.
mkdir "$scratch/encoder" "$scratch/discard"
cat >"$scratch/encoder/ffmpeg" <<EOF
#!/usr/bin/env bash
"$(command -v ffmpeg)" "\$@"; status=\$?
times >"$scratch/cpu"
exit \$status
EOF
printf '#!/bin/sh\nfor last; do :; done\ncat >/dev/null; echo discarded >"$last"\n' >"$scratch/discard/ffmpeg"
chmod +x "$scratch/encoder/ffmpeg" "$scratch/discard/ffmpeg"
echo
echo "== the party video, $filmed ($length s of video)"
for encoder in encoder discard; do
  start="$(now)"
  PATH="$scratch/$encoder:$PATH" ./capture --quiet "${video[@]}" "$scratch/party.mp4" 2>"$scratch/log" ||
    { cat "$scratch/log" >&2; exit 1; }
  declare "wall_$encoder=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')"
done
# times prints the shell's user and system time, then its children's, as
# 0m1.234s each.
cpu="$(awk 'NR == 2 { n = 0; for (i = 1; i <= 2; ++i) { split($i, t, /[ms]/); n += t[1] * 60 + t[2] } printf "%.1f", n }' "$scratch/cpu")"
awk -v w="$wall_encoder" -v d="$wall_discard" -v c="$cpu" -v l="$length" 'BEGIN {
  printf "wall time %.1f s (%.2fx its length); frames read back and discarded instead: %.1f s\n", w, w / l, d
  printf "encoding: %.1f s of the wall time (%.0f %%), ffmpeg used %.1f s of CPU\n", w - d, 100 * (w - d) / w, c }'

echo
if command -v Xvfb >/dev/null; then
  "$root/bench/cpu_share.sh" "$build" "${from[@]}"
else
  echo "CPU per frame (Mesa's no-op driver): skipped, it needs Xvfb (apt-get install xvfb)"
fi

echo
if [ -n "${DISPLAY:-}" ] && ./demo --benchmark --mute "${from[@]}" >"$scratch/table" 2>"$scratch/log"; then
  echo "== demo --benchmark --mute ${from[*]}, full screen on $DISPLAY"
  cat "$scratch/table"
elif [ -z "${DISPLAY:-}" ]; then
  echo "demo --benchmark: skipped, no display (DISPLAY is not set)"
else
  echo "demo --benchmark: skipped: $(head -n 1 "$scratch/log")"
fi
