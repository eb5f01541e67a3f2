#!/usr/bin/env bash
# Builds the benchmarks and the command-line tool in build-bench (Release)
# and runs every bench/bench_*.cpp, then times the whole `trelvane-cli find`
# process, start to exit, on a song of about 100,000 writes.
#   scripts/bench.sh [REPETITIONS]      default 5
# Installs hyperfine with apt-get when it is missing (as root); without it
# the process is timed by a loop of 20 runs and the median printed.
set -euo pipefail
reps=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELVANE_TESTS=OFF \
  -DTRELVANE_BENCH=ON >/dev/null
benches=$(cd "$root/bench" && ls bench_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target trelvane-cli $benches

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "commit: $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$root" diff --quiet 2>/dev/null || echo ' (with local changes)')"
for b in $benches; do
  echo "== $b"
  "$build/bench/$b" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true
done

echo "== trelvane-cli find, whole process"
song=$build/bench-find.psg
python3 "$root/bench/bench_cli.py" "$song"
find_cmd=("$build/trelvane-cli" find "$song")
"${find_cmd[@]}"
if ! command -v hyperfine >/dev/null && [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -qq && apt-get install -y -qq hyperfine; } >/dev/null 2>&1 || true
fi
if command -v hyperfine >/dev/null; then
  hyperfine -N --warmup 3 --runs 20 --export-json "$build/find-times.json" "${find_cmd[*]}"
  python3 -c 'import json, statistics, sys
t = json.load(open(sys.argv[1]))["results"][0]["times"]
print(f"median of {len(t)} runs: {statistics.median(t) * 1000:.1f} ms")' "$build/find-times.json"
else
  times=()
  for _ in $(seq 20); do
    start=$(date +%s%N)
    "${find_cmd[@]}" >/dev/null
    times+=($(( ($(date +%s%N) - start) / 1000 )))
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n '10p;11p' | awk '{s += $1} END {printf "%.1f", s / 2 / 1000}')
  echo "median of 20 runs: $median ms"
fi
