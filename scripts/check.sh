#!/usr/bin/env bash
# Builds relmerge and runs every check: format and lint, a minute of coverage-guided fuzzing,
# the tests under AddressSanitizer and UndefinedBehaviorSanitizer, the tests that start threads
# under ThreadSanitizer, and the tests in a release build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

jobs=$(nproc)
started=$SECONDS
# Says how long the step before took, so that a slow step shows itself.
took() { echo "== $1: $((SECONDS - started)) s"; started=$SECONDS; }

scripts/lint.sh build-lint
took lint
scripts/fuzz.sh 60
took fuzzing

# Assertions stay on; -O1 runs the tests several times faster than -O0 and hides no report.
# Line tables are all a report's stack needs, and take less time to build than full debug
# information (377 s of processor time against 441 s for this build).
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" \
  -DRELMERGE_SANITIZE=ON -DRELMERGE_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
took "AddressSanitizer and UndefinedBehaviorSanitizer"

# The tests that start threads, on inputs that take every path that workers share: the read of
# a file in two halves, the pieces of a script, the index of 4M rows and more built by several,
# the ordered writer, and the tool itself on pipes, FIFOs and outputs that fail. A race ends the
# process that finds it; its report is kept in build-tsan/reports and shown.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DRELMERGE_TSAN=ON -DRELMERGE_WERROR=ON >/dev/null
cmake --build build-tsan -j"$jobs"
threaded='^(WorkerPool|PrepareJoin|OrderedOutput|ReadAll|WriteOutput|HostileOutput|SpecialFiles)\.'
threaded+='|^ResultWriter\.AnyNumberOfWorkersWritesTheSameBytes$|^RowIndex\.WorkersChainTheSameRows$'
reports=$PWD/build-tsan/reports
rm -rf "$reports" && mkdir -p "$reports"
tsan_status=0
TSAN_OPTIONS="halt_on_error=1:log_path=$reports/report" \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -R "$threaded" || tsan_status=$?
if compgen -G "$reports/report.*" >/dev/null; then
  cat "$reports"/report.*
  tsan_status=1
fi
[ "$tsan_status" -eq 0 ]
took ThreadSanitizer

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DRELMERGE_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
took release
