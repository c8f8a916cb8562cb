#!/usr/bin/env bash
# The built demo with a sound server: it plays the soundtrack audibly and
# still exits 0 after Escape.
#   with_pulse.sh demo_sound.sh DEMO
# Runs in the directory that holds vandrel.mp3, under the X server of the
# test run ($DISPLAY).
set -u
demo=$1

if [ ! -f vandrel.mp3 ]; then echo "no vandrel.mp3 in $(pwd)" >&2; exit 1; fi
if [ -z "${DEMO_TEST_SINK:-}" ]; then echo "run through with_pulse.sh" >&2; exit 1; fi

recording=$(mktemp /tmp/demo-sound.XXXXXX)
parec -d "$DEMO_TEST_SINK.monitor" --raw --format=s16le --rate=44100 --channels=2 \
    --latency-msec=10 > "$recording" &
recorder=$!
demo_pid=
cleanup() {
    if [ -n "$demo_pid" ]; then kill "$demo_pid" 2>/dev/null; wait "$demo_pid" 2>/dev/null; fi
    kill "$recorder" 2>/dev/null
    wait "$recorder" 2>/dev/null
    rm -f "$recording"
}
trap cleanup EXIT

"$demo" &
demo_pid=$!
sleep 6

# The demo polls the key once a frame: hold it long enough to be seen.
xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
status=
for _ in $(seq 100); do
    if ! kill -0 "$demo_pid" 2>/dev/null; then
        wait "$demo_pid"
        status=$?
        demo_pid=
        break
    fi
    sleep 0.1
done
if [ -z "$status" ]; then echo "the demo did not end on Escape" >&2; exit 1; fi
if [ "$status" -ne 0 ]; then echo "the demo exited with $status" >&2; exit 1; fi

kill "$recorder"; wait "$recorder" 2>/dev/null
# Loudest and mean level of what the sink played.
levels=$(ffmpeg -hide_banner -nostats -f s16le -ar 44100 -ac 2 -i "$recording" \
    -af volumedetect -f null - 2>&1 | grep -E 'mean_volume|max_volume')
echo "$levels"
mean=$(echo "$levels" | sed -n 's/.*mean_volume: \(-\?[0-9.]*\) dB.*/\1/p')
if [ -z "$mean" ] || awk -v m="$mean" 'BEGIN { exit !(m < -40) }'; then
    echo "the demo played nothing audible (mean ${mean:-?} dB)" >&2
    exit 1
fi
