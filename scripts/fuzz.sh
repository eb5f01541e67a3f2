#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/fuzz_*.cpp) with clang in build-fuzz and
# runs each of them in turn.
#   scripts/fuzz.sh [SECONDS [TARGET...]]
# SECONDS (default 60) is shared out evenly among the targets run (every
# target by default; at least 5 s each). Needs clang and libclang-rt-14-dev
# (scripts/deps.sh test installs them).
#
# The targets that read PSG files (their parameters come from the header
# bytes the reader skips) start from one seed corpus: the small files made
# here and the PSG files in ../shared/psg when that folder exists. A target
# whose inputs are something else (the command-line tool's arguments) keeps
# its seeds in fuzz/seeds/TARGET/, which is then used instead. Each target
# keeps what it learns in build-fuzz/corpus/TARGET. A crash or a failed check
# leaves its input in build-fuzz/fuzz-artifacts/ and makes the script exit
# non-zero, after the other targets have run.
set -euo pipefail
seconds=${1:-60}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in "$root"/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
each=$(( seconds / ${#targets[@]} ))
[ "$each" -ge 5 ] || each=5

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTRELVANE_FUZZ=ON -DTRELVANE_TESTS=OFF -DTRELVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j2

seeds=$build/fuzz-seeds
artifacts=$build/fuzz-artifacts
mkdir -p "$seeds" "$artifacts"
seed() { printf "PSG\x1a\0\0\0\0\0\0\0\0\0\0\0\0$2" > "$seeds/seed-$1"; }
seed empty ''
seed frames '\xff\x00\x10\x08\x0f\x07\x3e\xff\xff\x01\x02\xff'
seed waits '\xfe\x02\x0d\x0e\xfe\x00\xff\x0c\x01\xfe\xff'
seed after-last-end '\x00\x01\xff\x02\x03\x04\x05'
seed undefined-end '\x00\x01\xff\xff\xfd\x10\x00\x00\x00'
seed cut-short '\x00\x01\xff\x05'
seed cut-short-wait '\xff\xfe'
seed high-regs '\x0e\x01\x0f\x02\xff\x0d\x08\xff'
seed tones '\x00\x10\x01\x01\x07\x38\x08\x0f\x09\x1f\x0b\x03\x0d\x0e\xff\x06\x05\x07\x00\xff\xff\x0d\x0a\xfe\x01'
shared=$root/../shared/psg
if [ -d "$shared" ]; then
  for f in "$shared"/*.psg; do [ -e "$f" ] && cp "$f" "$seeds/"; done
fi

status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  log=$build/$t.log
  mkdir -p "$corpus"
  own_seeds=$seeds
  [ -d "$root/fuzz/seeds/$t" ] && own_seeds=$root/fuzz/seeds/$t
  set +e
  "$build/fuzz/$t" -max_total_time="$each" -print_final_stats=1 -artifact_prefix="$artifacts/$t-" \
    "$corpus" "$own_seeds" >"$log" 2>&1
  s=$?
  set -e
  [ $s -eq 0 ] || status=$s
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
  edges=$(sed -nE 's/.*Loaded 1 modules +\(([0-9]+) inline 8-bit counters.*/\1/p' "$log" | head -1)
  cov=$(sed -nE "s/.* cov: ([0-9]+) ft: ([0-9]+).*/cov \1 of ${edges:-?} edges, ft \2/p" <<<"$done_line")
  printf '%-14s %3d s: %9s executions, %6s exec/s, %s, corpus %s inputs%s\n' "$t" "$each" \
    "$(awk '/stat::number_of_executed_units/ {print $2}' "$log")" \
    "$(awk '/stat::average_exec_per_sec/ {print $2}' "$log")" "${cov:-cov ?}" \
    "$(ls "$corpus" | wc -l)" "$([ $s -eq 0 ] || echo " -- FAILED, see $log")"
  if [ $s -ne 0 ]; then
    grep -E 'ERROR|fuzz check failed|SUMMARY|Test unit written|runtime error' "$log" | head -20 || true
  fi
done
exit $status
