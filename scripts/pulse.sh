#!/usr/bin/env bash
# A private PulseAudio daemon with a 44,100 Hz null sink, for the tests.
#   scripts/pulse.sh start DIR   start it with its runtime folder in DIR;
#                                prints the PULSE_SERVER value
#   scripts/pulse.sh stop DIR    stop it
set -euo pipefail
cmd=$1
dir=$(realpath -m "$2")
case "$cmd" in
  start)
    mkdir -p "$dir/runtime" "$dir/state"
    chmod 700 "$dir/runtime"
    "$0" stop "$dir" >/dev/null 2>&1 || true
    cat > "$dir/default.pa" <<PA
load-module module-null-sink sink_name=trelvane_null rate=44100 channels=2 format=s16le
set-default-sink trelvane_null
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/runtime/native
PA
    mkdir -p "$dir/state/.config/pulse"
    printf 'default-sample-rate = 44100\nalternate-sample-rate = 44100\n' > "$dir/state/.config/pulse/daemon.conf"
    export XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state"
    export HOME="$dir/state"
    pulseaudio --daemonize=yes --system=false --disallow-exit=no --use-pid-file=yes \
      --exit-idle-time=-1 -n -F "$dir/default.pa" \
      --log-target=file:"$dir/pulse.log" 2>>"$dir/pulse.log" || {
        echo "pulseaudio did not start; see $dir/pulse.log" >&2; exit 1; }
    for _ in $(seq 50); do
      PULSE_SERVER="unix:$dir/runtime/native" pactl info >/dev/null 2>&1 && break
      sleep 0.1
    done
    PULSE_SERVER="unix:$dir/runtime/native" pactl info >/dev/null
    echo "unix:$dir/runtime/native"
    ;;
  stop)
    export XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" HOME="$dir/state"
    pid=$(cat "$dir/runtime/pid" 2>/dev/null || true)
    # A daemon that is gone or a zombie (killed, not reaped yet) leaves its
    # pid file behind, and a new daemon refuses to start while that pid lives.
    alive() { [ -e "/proc/$1" ] && ! grep -qs '^State:[[:space:]]*Z' "/proc/$1/status"; }
    if [ -n "$pid" ] && ! alive "$pid"; then
      rm -f "$dir/runtime/pid"
    else
      pulseaudio --kill 2>/dev/null || true
      if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do alive "$pid" || break; sleep 0.1; done
        rm -f "$dir/runtime/pid"
      fi
    fi
    ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
