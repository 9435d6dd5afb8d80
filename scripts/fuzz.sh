#!/usr/bin/env bash
# Builds the fuzz target with clang++ and runs it for a bounded time over a copy of the seed
# corpus, after replaying every saved regression input. Fails on any finding.
#   scripts/fuzz.sh [SECONDS] [WORK_DIR]
# SECONDS defaults to 60. WORK_DIR keeps the grown corpus and any crash input between runs;
# without it a temporary folder is used and removed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
work=${2:-}
build=build-fuzz

CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRELMERGE_FUZZ=ON -DRELMERGE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target relmerge_fuzz >/dev/null

if [ -z "$work" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/corpus" "$work/findings"
cp tests/fuzz/corpus/* "$work/corpus/"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

fuzzer=("$build/tests/fuzz/relmerge_fuzz" -rss_limit_mb=2048 -timeout=20 -max_len=4096
        -dict=tests/fuzz/relmerge.dict)

regressions=(tests/fuzz/regressions/*)
if [ -e "${regressions[0]}" ]; then
  "${fuzzer[@]}" -runs=1 "${regressions[@]}" 2>"$work/replay.log" || {
    cat "$work/replay.log"
    echo "fuzz: a saved regression input fails again" >&2
    exit 1
  }
fi

if ! "${fuzzer[@]}" -max_total_time="$seconds" -print_final_stats=1 \
     -artifact_prefix="$work/findings/" "$work/corpus" 2>"$work/fuzz.log"; then
  tail -n 60 "$work/fuzz.log"
  echo "fuzz: finding saved under $work/findings (copy it to tests/fuzz/regressions/)" >&2
  trap - EXIT
  exit 1
fi
grep -E '^(Done|stat::)' "$work/fuzz.log" || tail -n 3 "$work/fuzz.log"
