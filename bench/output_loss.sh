#!/usr/bin/env bash
# Memory of the application playing into a sound server that went away: a
# private PulseAudio daemon is started, killed two seconds into playback,
# and the process's VmRSS and FIFO are sampled for SECONDS (default 60).
#   bench/output_loss.sh [SECONDS] [BUILD] [stall]   BUILD defaults to build
# With "stall" the server is stopped (SIGSTOP) for SECONDS, then goes on.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=$(realpath -m "${2:-$root/build}")
cmake --build "$build" --target output_loss -j2 >/dev/null
dir=$build/pulse-loss
server=$("$root/scripts/pulse.sh" start "$dir")
trap '"$root/scripts/pulse.sh" stop "$dir"' EXIT
PULSE_SERVER=$server XDG_RUNTIME_DIR=$dir/runtime QT_QPA_PLATFORM=offscreen \
  "$build/bench/output_loss" "$dir" "$seconds" ${3:+"$3"}
