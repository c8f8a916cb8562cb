#!/usr/bin/env bash
# A private sound server with one null sink, the default, for the tests and
# the soak:
#   sound_server.sh pulseaudio|pipewire DIR
# It speaks PulseAudio's protocol on DIR/pulse/native: PulseAudio itself, or
# PipeWire through pipewire-pulse, with wireplumber and a session bus of its
# own. Its runtime files, HOME and logs stay in DIR, so it never meets a
# desktop's server. Prints "ready" once a client can play to the sink, then
# runs until TERM, INT or HUP, when it stops what it started, by PID. Run it
# in a process group of its own (setsid) to freeze or end it as a whole.
set -u
[ $# -eq 2 ] || { echo "usage: sound_server.sh pulseaudio|pipewire DIR" >&2; exit 2; }
kind="$1" dir="$2"
mkdir -p "$dir/pulse" "$dir/home"
export HOME="$dir/home" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir/home" XDG_STATE_HOME="$dir/home"
export PULSE_RUNTIME_PATH="$dir/pulse" PULSE_SERVER="unix:$dir/pulse/native"
unset DBUS_SESSION_BUS_ADDRESS PIPEWIRE_REMOTE
sink=demo_test_sink
pids=()
stop() {
  trap '' TERM INT HUP
  # The last started goes first: the protocol server before the graph.
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  wait 2>/dev/null
  exit 0
}
trap stop TERM INT HUP

case "$kind" in
  pulseaudio)
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
      --log-target=file:"$dir/server.log" --load="module-null-sink sink_name=$sink" \
      --load="module-native-protocol-unix socket=$dir/pulse/native auth-anonymous=1" &
    pids+=($!)
    ;;
  pipewire)
    dbus-daemon --session --nofork --address="unix:path=$dir/bus" >"$dir/bus.log" 2>&1 &
    pids+=($!)
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
    for _ in $(seq 100); do [ -S "$dir/bus" ] && break; sleep 0.02; done
    pipewire >"$dir/pipewire.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -S "$dir/pipewire-0" ] && break; sleep 0.02; done
    wireplumber >"$dir/wireplumber.log" 2>&1 &
    pids+=($!)
    pipewire-pulse >"$dir/server.log" 2>&1 &
    pids+=($!)
    ;;
  *) echo "sound_server.sh: no server called $kind" >&2; exit 2 ;;
esac

# Loading its modules takes the server a moment; PipeWire's sink is loaded
# through its protocol and made the default once the session manager runs.
for _ in $(seq 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
if [ "$kind" = pipewire ]; then
  pactl load-module module-null-sink sink_name=$sink >/dev/null 2>&1
  for _ in $(seq 200); do
    pactl set-default-sink $sink 2>/dev/null && [ "$(pactl get-default-sink 2>/dev/null)" = $sink ] && break
    sleep 0.05
  done
fi
if [ "$(pactl get-default-sink 2>/dev/null)" != $sink ]; then
  echo "sound_server.sh: $kind does not answer, or has no $sink:" >&2
  tail -n 20 "$dir"/*.log >&2
  stop
fi
echo ready
wait
