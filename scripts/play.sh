#!/usr/bin/env bash
# Builds the demo (installing what it needs first) and plays it full screen;
# options pass through to the demo (scripts/play.sh --window 1280x720).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" build
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)"
# The demo reads its soundtrack from the working directory.
cd "$root/build"
exec ./demo "$@"
