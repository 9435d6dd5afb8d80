#!/usr/bin/env bash
# Builds relmerge and runs every check: format and lint, a minute of coverage-guided fuzzing,
# the tests under AddressSanitizer and UndefinedBehaviorSanitizer, and the tests in a release
# build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

jobs=$(nproc)

scripts/lint.sh build-lint
scripts/fuzz.sh 60

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DRELMERGE_SANITIZE=ON -DRELMERGE_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DRELMERGE_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
