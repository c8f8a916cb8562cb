#!/usr/bin/env bash
# Runs a command beside a private PulseAudio daemon with one null sink.
#   with_pulse.sh COMMAND [ARGS...]
# The command sees PULSE_SERVER pointing at the daemon and DEMO_TEST_SINK
# naming the sink; record what it plays with `parec -d "$DEMO_TEST_SINK.monitor"`.
# The daemon lives in a temporary directory of its own (runtime dir, HOME,
# socket), so it never meets a desktop's sound server, and it is stopped by
# its PID when the command ends. Exits with the command's status.
set -u
dir=$(mktemp -d /tmp/demo-pulse.XXXXXX)
mkdir "$dir/runtime"
export HOME="$dir" XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir/runtime"
export PULSE_SERVER="unix:$dir/native" DEMO_TEST_SINK=demo_test_sink
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
    --log-target=file:"$dir/daemon.log" --load="module-null-sink sink_name=$DEMO_TEST_SINK" \
    --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" &
daemon=$! keeper=
trap 'kill $keeper $daemon 2>/dev/null; wait $keeper $daemon 2>/dev/null; rm -rf "$dir"' EXIT

# The daemon needs a moment to load its modules; wait until it answers.
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl info >/dev/null 2>&1 || { echo "with_pulse.sh: pulseaudio does not answer:" >&2; cat "$dir/daemon.log" >&2; exit 1; }

# An idle null sink renders in blocks of about two seconds, so a recording
# started on it sees nothing for that long. A recorder that asks for a short
# latency and stays for the whole run keeps the sink rendering in small
# blocks; once it has data, every later recording starts at once. It records
# at a tiny rate: only its latency matters.
parec -d "$DEMO_TEST_SINK.monitor" --raw --latency-msec=10 --format=u8 --rate=1000 --channels=1 >"$dir/keeper.raw" &
keeper=$!
for _ in $(seq 100); do [ -s "$dir/keeper.raw" ] && break; sleep 0.05; done

"$@"
