#!/usr/bin/env bash
# Fails on unformatted code (clang-format, over src/, tests/ and bench/*.cc) and on clang-tidy
# findings in src/, using the compile commands of a build folder.
#
# usage: scripts/lint.sh [BUILD_DIR]
#   BUILD_DIR defaults to build-lint; it is configured (compile commands only, nothing is
#   built) when it holds no compile_commands.json yet.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-lint}
jobs=$(nproc)
status=0

mapfile -t formatted < <(
  find src tests -type f \( -name '*.cc' -o -name '*.h' \) | sort
  find bench -maxdepth 1 -type f -name '*.cc' | sort
)
echo "clang-format: ${#formatted[@]} files"
if ! clang-format --dry-run -Werror "${formatted[@]}"; then
  echo "clang-format: the files above need clang-format -i" >&2
  status=1
fi

if [ ! -f "$build/compile_commands.json" ]; then
  flags=(-DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
  # A fresh folder needs nothing but the sources of src/; an existing one keeps its options.
  [ -f "$build/CMakeCache.txt" ] || flags+=(-DRELMERGE_TESTS=OFF)
  cmake -S . -B "$build" "${flags[@]}" >/dev/null
fi

mapfile -t tidied < <(find src -type f -name '*.cc' | sort)
echo "clang-tidy: ${#tidied[@]} files"
# clang-tidy counts the warnings it suppressed in system headers on every file; drop that line.
set +o pipefail
printf '%s\0' "${tidied[@]}" |
  xargs -0 -n 1 -P "$jobs" clang-tidy -p "$build" --quiet --warnings-as-errors='*' 2>&1 |
  { grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' || true; }
tidy_status=${PIPESTATUS[1]}
set -o pipefail
if [ "$tidy_status" -ne 0 ]; then
  echo "clang-tidy: findings above" >&2
  status=1
fi

exit "$status"
