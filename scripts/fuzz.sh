#!/usr/bin/env bash
# Builds the PSG fuzz target with clang (in build-fuzz) and runs it.
#   scripts/fuzz.sh [SECONDS]        default 60
# Needs clang and libclang-rt-14-dev (scripts/deps.sh test installs them).
# The seed corpus is made in build-fuzz/fuzz-corpus; the PSG files in
# ../shared/psg are added to it when that folder exists. A crash leaves its
# input in build-fuzz/fuzz-artifacts/ and makes the script exit non-zero.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTRELVANE_FUZZ=ON -DTRELVANE_TESTS=OFF -DTRELVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_psg -j2

corpus=$build/fuzz-corpus
artifacts=$build/fuzz-artifacts
mkdir -p "$corpus" "$artifacts"
seed() { printf "PSG\x1a\0\0\0\0\0\0\0\0\0\0\0\0$2" > "$corpus/seed-$1"; }
seed empty ''
seed frames '\xff\x00\x10\x08\x0f\x07\x3e\xff\xff\x01\x02\xff'
seed waits '\xfe\x02\x0d\x0e\xfe\x00\xff\x0c\x01\xfe\xff'
seed after-last-end '\x00\x01\xff\x02\x03\x04\x05'
seed undefined-end '\x00\x01\xff\xff\xfd\x10\x00\x00\x00'
seed cut-short '\x00\x01\xff\x05'
seed cut-short-wait '\xff\xfe'
seed high-regs '\x0e\x01\x0f\x02\xff\x0d\x08\xff'
shared=$root/../shared/psg
if [ -d "$shared" ]; then
  for f in "$shared"/*.psg; do [ -e "$f" ] && cp "$f" "$corpus/"; done
fi

log=$build/fuzz.log
set +e
"$build/fuzz/fuzz_psg" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
status=$?
set -e
grep -E '^(#[0-9]+[[:space:]]+(INITED|DONE)|INFO: seed)' "$log" || true
grep -E 'ERROR|fuzz_psg:|SUMMARY|Test unit written' "$log" || true
echo "executions: $(awk '/stat::number_of_executed_units/ {print $2}' "$log")"
echo "corpus: $(ls "$corpus" | wc -l) inputs; log: $log"
exit $status
