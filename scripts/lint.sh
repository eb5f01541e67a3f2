#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the program's sources in src, with the
# compile commands of a build in build-lint. Fails on any finding.
#   scripts/lint.sh [FILE...]   default: every .cpp under src
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build-lint -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DTRELVANE_TESTS=OFF >/dev/null
# The moc files the sources' headers lead to.
cmake --build build-lint -j"$(nproc)" --target trelvane_core_autogen trelvane_app_autogen >/dev/null 2>&1 || true
if [ $# -gt 0 ]; then files=("$@"); else mapfile -t files < <(git ls-files -- 'src/*.cpp'); fi
log=build-lint/lint.log
: >"$log"
printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p build-lint --quiet >>"$log" 2>/dev/null || true
findings=$(grep -cE '(warning|error): ' "$log" || true)
if [ "$findings" != 0 ]; then
  grep -E '(warning|error): ' "$log" | sort -u
  echo "lint: $findings findings in ${#files[@]} files"
  exit 1
fi
echo "lint: ${#files[@]} files, no findings"
