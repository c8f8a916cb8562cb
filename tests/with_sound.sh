#!/usr/bin/env bash
# Runs a command beside a private sound server with one null sink:
#   with_sound.sh pulseaudio|pipewire COMMAND [ARGS...]
# The command sees PULSE_SERVER pointing at the server, DEMO_TEST_SERVER
# naming its kind and DEMO_TEST_SINK naming the sink; record what it plays
# with `parec -d "$DEMO_TEST_SINK.monitor"`. The server (sound_server.sh)
# lives in a temporary directory of its own and is stopped by its PID when
# the command ends. Exits with the command's status.
set -u
kind="$1"
shift
here="$(cd "$(dirname "$0")" && pwd)"
dir=$(mktemp -d /tmp/demo-sound.XXXXXX)
export PULSE_SERVER="unix:$dir/pulse/native" DEMO_TEST_SERVER="$kind" DEMO_TEST_SINK=demo_test_sink
setsid "$here/sound_server.sh" "$kind" "$dir" >"$dir/ready" &
server=$! keeper=
trap 'kill $keeper $server 2>/dev/null; wait $keeper $server 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 300); do [ -s "$dir/ready" ] || ! kill -0 $server 2>/dev/null && break; sleep 0.05; done
[ "$(cat "$dir/ready")" = ready ] || { echo "with_sound.sh: no $kind server to test with" >&2; exit 1; }

# An idle null sink renders in blocks of about two seconds, so a recording
# started on it sees nothing for that long. A recorder that asks for a short
# latency and stays for the whole run keeps the sink rendering in small
# blocks; once it has data, every later recording starts at once. It records
# at a tiny rate: only its latency matters.
parec -d "$DEMO_TEST_SINK.monitor" --raw --latency-msec=10 --format=u8 --rate=1000 --channels=1 >"$dir/keeper.raw" &
keeper=$!
for _ in $(seq 100); do [ -s "$dir/keeper.raw" ] && break; sleep 0.05; done

"$@"
