#!/usr/bin/env bash
# An organiser's night, shortened to MINUTES: the checked demo loops in a
# small window with its soundtrack, on an X server and a sound server of its
# own (PulseAudio, or PipeWire with --pipewire), while a crew presses a
# random rehearsal key every few seconds, and every few minutes leaves the
# show alone for a whole loop.
#   scripts/soak.sh MINUTES [--pipewire]
# At each wrap of the loop it prints a row: the demo's resident memory, open
# descriptors and threads, the sound server's sink inputs, the GL objects
# alive and how far the picture led the music just before the wrap. At the
# end (or on Ctrl-C) it ends the demo with Escape, prints the table again
# and judges it. The first row is a warm-up. Of the rows after it, a figure
# grows when its smallest value in the last third is above its largest in
# the first third by more than its slack: 1 MiB of memory, 20 ms of the
# lead's size, nothing for the counts. Exits 1 when a figure grows, the
# demo dies, or its closing report is not clean (a GL error, an allocation
# or GL object made by the frame loop, an object left after the tear-down);
# 130 after Ctrl-C; 0 otherwise, saying so when there were too few rows
# (four at least) to judge.
set -u
usage() { echo "usage: soak.sh MINUTES [--pipewire]" >&2; exit 2; }
[[ $# -ge 1 && $# -le 2 && "$1" =~ ^[1-9][0-9]*$ ]] || usage
minutes=$1 server=pulseaudio
[ $# -eq 1 ] || { [ "$2" = --pipewire ] && server=pipewire; } || usage
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-soak"

"$root/scripts/deps.sh" test || exit 1
# Two soaks (one per server) may start together: one builds at a time.
mkdir -p "$build"
flock "$build/.lock" sh -c 'cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
  cmake --build "$2" -j"$(nproc)" --target demo_checked soundtrack_mp3 >/dev/null' sh "$root" "$build" ||
  { echo "soak.sh: the build failed" >&2; exit 1; }

work=$(mktemp -d /tmp/demo-soak.XXXXXX)
xvfb="" sound="" demo="" stopping=0 status=0
# Everything runs in a session of its own, out of the reach of the
# terminal's Ctrl-C, and is stopped here, by its PID.
stop_all() {
  for pid in $demo $sound $xvfb; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
}
trap 'stopping=130' INT TERM HUP

setsid Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
setsid "$root/tests/sound_server.sh" "$server" "$work/sound" >"$work/sound.ready" 2>"$work/sound.err" &
sound=$!
for _ in $(seq 300); do [ -s "$work/sound.ready" ] && break; sleep 0.05; done
export PULSE_SERVER="unix:$work/sound/pulse/native"
if [ "$(cat "$work/sound.ready")" != ready ]; then
  cat "$work/sound.err" >&2
  stop_all
  exit 1
fi
(cd "$build" && exec setsid nice -n 10 ./tests/demo_checked --loop --rehearse --window 320x180) \
  >"$work/out" 2>"$work/report" &
demo=$!
window=$(timeout 60 xdotool search --sync --name '^OpenGL' | head -n 1)
[ -n "$window" ] || { echo "soak.sh: no window" >&2; cat "$work/report" >&2; stop_all; exit 1; }
press() { xdotool windowfocus "$window" key "$1" 2>/dev/null; }
echo "soak: $minutes min on $server, X server $DISPLAY, demo pid $demo, logs in $work"

# The table: one row per wrap; the figures also go to a file for the verdict.
header=$(printf '%5s %7s %9s %4s %7s %6s %10s %8s' wrap minutes rss_mib fds threads sinks gl_objects lead_ms)
echo "$header"
row() { # the wrap's line from the report
  local wrap gl lead rss fds threads sinks
  gl=$(sed -n 's/.*live gl objects \([0-9]*\).*/\1/p' <<<"$1")
  lead=$(sed -n 's/.*picture minus music \(-\{0,1\}[0-9.]*\) ms.*/\1/p' <<<"$1")
  rss=$(awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$demo/status")
  threads=$(awk '/^Threads:/ { print $2 }' "/proc/$demo/status")
  fds=$(ls "/proc/$demo/fd" | wc -l)
  sinks=$(pactl list short sink-inputs 2>/dev/null | wc -l)
  wrap=${1#wrap } && wrap=${wrap%%:*}
  echo "$wrap $(awk -v s=$((SECONDS - started)) 'BEGIN { printf "%.1f", s / 60 }') $rss $fds $threads $sinks $gl ${lead:--}" \
    >>"$work/figures"
  rows+=("$(printf '%5s %7s %9s %4s %7s %6s %10s %8s' $(tail -n 1 "$work/figures"))")
  echo "${rows[-1]}"
}

# The show starts alone; it is left alone for at least a whole loop (100 s),
# until a wrap has come (its row; the first is the warm-up), then for three
# minutes a key every 2 to 5 seconds, and so on. A show that does not wrap
# in 250 s gets the keys all the same.
rows=() seen=0 started=$SECONDS phase=alone since=$SECONDS rows_then=0 next_key=0
keys=(space Left Right Home)
while [ $stopping -eq 0 ] && [ $((SECONDS - started)) -lt $((minutes * 60)) ]; do
  kill -0 "$demo" 2>/dev/null || { echo "soak.sh: the demo died" >&2; status=1; break; }
  while IFS= read -r line; do row "$line"; done < <(grep '^wrap ' "$work/report" | tail -n +$((seen + 1)))
  seen=${#rows[@]}
  if [ $phase = alone ]; then
    if [ $((SECONDS - since)) -ge 250 ] || { [ $((SECONDS - since)) -ge 100 ] && [ $seen -gt $rows_then ]; }; then
      phase=keys since=$SECONDS
    fi
  elif [ $((SECONDS - since)) -ge 180 ]; then
    phase=alone since=$SECONDS rows_then=$seen
    [ "$(tail -n 1 "$work/out" | sed 's/.*, //')" = paused ] && press space
  elif [ $SECONDS -ge $next_key ]; then
    press "${keys[RANDOM % 4]}"
    next_key=$((SECONDS + 2 + RANDOM % 4))
  fi
  sleep 0.5
done

# Escape, as a crew would end it, so that the demo writes its report.
if kill -0 "$demo" 2>/dev/null; then
  xdotool windowfocus "$window" keydown Escape 2>/dev/null; sleep 1; xdotool keyup Escape 2>/dev/null
  timeout 30 tail --pid="$demo" -f /dev/null || { echo "soak.sh: the demo did not end on Escape" >&2; status=1; }
fi
wait "$demo" 2>/dev/null || { echo "soak.sh: the demo ended with status $?" >&2; status=1; }
demo=""
stop_all

[ $stopping -eq 0 ] || echo "interrupted: the table so far"
echo "== $server, $(awk -v s=$((SECONDS - started)) 'BEGIN { printf "%.1f", s / 60 }') of $minutes min, ${#rows[@]} wraps"
echo "$header"
printf '%s\n' "${rows[@]}"
for line in "gl errors: 0" "frame loop allocations: 0 " "frame loop gl objects: 0" \
            "gl objects left after tear-down: 0" "gl deletes of dead names: 0" "gl deletes without a context: 0"; do
  grep -q "^$line" "$work/report" || { echo "soak.sh: the report is not clean (wanted \"$line\"):" >&2; status=1; }
done
[ $status -eq 0 ] || grep -v '^wrap ' "$work/report" >&2

# The verdict: columns 3 to 8 of the figures, with their slack.
if [ ${#rows[@]} -lt 4 ]; then
  echo "too few wraps to judge growth (four at least, the first a warm-up)"
else
  tail -n +2 "$work/figures" | awk -v names="rss_mib fds threads sinks gl_objects lead_ms" '
    { for (c = 3; c <= 8; c++) v[NR, c] = ($c == "-") ? 0 : ($c < 0 ? -$c : $c) }
    END {
      split(names, name, " "); split("1 0 0 0 0 20", slack, " "); third = int((NR + 2) / 3); grew = 0
      for (c = 3; c <= 8; c++) {
        early = v[1, c]; late = v[NR, c]
        for (r = 1; r <= third; r++) if (v[r, c] > early) early = v[r, c]
        for (r = NR - third + 1; r <= NR; r++) if (v[r, c] < late) late = v[r, c]
        if (late > early + slack[c - 2]) { printf "%s grows: %s at the start, %s at the end\n", name[c - 2], early, late; grew = 1 }
      }
      if (!grew) print "no figure grows"
      exit grew
    }' || status=1
fi
[ $status -ne 0 ] || [ $stopping -eq 0 ] || status=$stopping
if [ $status -eq 0 ]; then rm -rf "$work"; else echo "logs kept in $work"; fi
exit $status
