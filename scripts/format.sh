#!/usr/bin/env bash
# Formats the C++ of src, tests, bench and fuzz in the house style
# (.clang-format).
#   scripts/format.sh           rewrite the files that differ
#   scripts/format.sh --check   change nothing; fail and name the files that differ
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || scripts/deps.sh test
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
                                     'fuzz/*.cpp' 'fuzz/*.h')
if [ "${1:-}" = "--check" ]; then
  bad=0
  for f in "${files[@]}"; do
    clang-format --style=file "$f" | cmp -s - "$f" || { echo "not formatted: $f"; bad=1; }
  done
  [ "$bad" = 0 ] && echo "format: ${#files[@]} files in the house style"
  exit "$bad"
fi
clang-format --style=file -i "${files[@]}"
