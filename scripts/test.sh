#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test against a private
# PulseAudio daemon with a null sink, which is stopped again afterwards.
#   scripts/test.sh              warnings as errors, all tests
#   scripts/test.sh --sanitize   the same with AddressSanitizer and UBSan
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

build=build
flags=(-DTRELVANE_WERROR=ON -DTRELVANE_BENCH=ON)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags+=(-DTRELVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DTRELVANE_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

server=$(scripts/pulse.sh start "$build/pulse")
trap 'scripts/pulse.sh stop "$build/pulse"; scripts/pulse.sh stop "$build/pulse-lost"' EXIT
export PULSE_SERVER="$server"
export XDG_RUNTIME_DIR="$PWD/$build/pulse/runtime"
ctest --test-dir "$build" --output-on-failure
echo "Pictures and recordings from the tests: $build/test-output"
