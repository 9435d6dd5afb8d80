#!/usr/bin/env bash
# Runs every examples/NAME.txt through relmerge in a fresh working directory and compares the
# output file byte for byte with examples/NAME.expected. Every shipped example writes its
# messages to the output file, so "error.log" must come out empty.
#
# usage: run_examples.sh RELMERGE_BINARY EXAMPLES_DIR
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 RELMERGE_BINARY EXAMPLES_DIR" >&2
  exit 2
fi
binary=$(realpath "$1")
examples=$(realpath "$2")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shopt -s nullglob
scripts=("$examples"/*.txt)
if [ ${#scripts[@]} -eq 0 ]; then
  echo "no examples in $examples" >&2
  exit 1
fi

failures=0
for script in "${scripts[@]}"; do
  name=$(basename "$script" .txt)
  expected="$examples/$name.expected"
  if [ ! -f "$expected" ]; then
    echo "FAIL $name: $expected is missing"
    failures=$((failures + 1))
    continue
  fi
  dir="$work/$name"
  mkdir "$dir"
  status=0
  (cd "$dir" && "$binary" "$script" out.txt) || status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL $name: exit status $status"
    failures=$((failures + 1))
  elif [ ! -f "$dir/out.txt" ]; then
    echo "FAIL $name: no output file"
    failures=$((failures + 1))
  elif ! cmp -s "$expected" "$dir/out.txt"; then
    echo "FAIL $name: output differs from $expected"
    diff <(od -An -c "$expected") <(od -An -c "$dir/out.txt") | head -n 20 || true
    failures=$((failures + 1))
  elif [ -s "$dir/error.log" ] || [ ! -f "$dir/error.log" ]; then
    echo "FAIL $name: error.log is missing or not empty"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures of ${#scripts[@]} examples failed"
  exit 1
fi
echo "all ${#scripts[@]} examples match"
