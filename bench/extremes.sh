#!/usr/bin/env bash
# Runs relmerge on inputs at the extremes of size and prints, for each run, the wall time,
# the CPU time and the peak resident memory as /usr/bin/time -v reports them. Each shape also
# runs at a quarter of its size: linear work gives a time ratio near 4, quadratic near 16.
#   bench/extremes.sh [RELMERGE_BINARY]
# The binary defaults to build/relmerge (a release build). Scratch files go under $TMPDIR.
# The disk-full run mounts a small tmpfs and needs root; without it that run is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

tool=$(realpath "${1:-build/relmerge}")
[ -x "$tool" ] || { echo "no relmerge binary at $tool" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package: time)" >&2; exit 1; }

scratch=$(mktemp -d)
full_disk=""
cleanup() {
  [ -n "$full_disk" ] && umount "$full_disk" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0

# --- script generators: each writes a script to standard output --------------------------

long_line() {  # one data line of $1 bytes, joined with itself
  printf 'L(a t)\n'
  head -c "$1" /dev/zero | tr '\0' 'x'
  printf '\n\njoin(L, L)\n'
}

many_relations() {  # $1 relations of one row; the last joined with the first
  awk -v n="$1" 'BEGIN {
    for (i = 0; i < n; i++) printf "r%d(a%d t)\nv%d\n\n", i, i, i
    printf "join(r%d, r0)\n", n - 1 }'
}

wide_block() {  # the relation W of $1 attributes and three rows, with its empty line
  awk -v n="$1" 'BEGIN {
    printf "W("
    for (j = 0; j < n; j++) printf "%sc%d t", (j ? ", " : ""), j
    printf ")\n"
    for (r = 0; r < 3; r++) {
      for (j = 0; j < n; j++) printf "%sv%d_%d", (j ? ", " : ""), r, j
      printf "\n"
    }
    printf "\n" }'
}

wide_relation() {  # $1 attributes, three rows; joined with itself ($2 = self) or with X
  wide_block "$1"
  printf 'X(c%d t, x t)\nv1_%d, hit\n\n' "$(($1 - 1))" "$(($1 - 1))"
  if [ "$2" = self ]; then echo 'join(W, W)'; else echo 'join(W, X, W)'; fi
}

long_join_list() {  # a join list of $1 names of one relation
  awk -v n="$1" 'BEGIN {
    printf "R(a t, b t)\n1, x\n2, y\n3, z\n\njoin(R"
    for (i = 1; i < n; i++) printf ", R"
    printf ")\n" }'
}

ragged_join_list() {  # a join list of $1 names of a relation whose rows differ in length
  awk -v n="$1" 'BEGIN {
    printf "R(a t, b t)\n1, x\n2\n3, z, w\n\njoin(R"
    for (i = 1; i < n; i++) printf ", R"
    printf ")\n" }'
}

key_from_second() {  # a join list of $1 names, each step keyed on the second relation's value
  awk -v n="$1" 'BEGIN {
    printf "R(x t)\n1\n\nS(a t)\nk\n\nT(a t)\nk\n\njoin(R, S"
    for (i = 2; i < n; i++) printf ", T"
    printf ")\n" }'
}

wide_and_named_often() {  # $1 attributes, three rows, the relation named $2 times
  wide_block "$1"
  awk -v k="$2" 'BEGIN {
    printf "join(W"
    for (i = 1; i < k; i++) printf ", W"
    printf ")\n" }'
}

one_value_rows() {  # $1 rows of one value, joined with themselves
  printf 'R(a t)\n'
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "k%d\n", i }'
  printf '\njoin(R, R)\n'
}

cartesian() {  # $1 x $1 rows, no common attribute
  awk -v n="$1" 'BEGIN {
    printf "A(a t)\n"; for (i = 0; i < n; i++) printf "a%d\n", i
    printf "\nB(b t)\n"; for (i = 0; i < n; i++) printf "b%d\n", i
    printf "\njoin(A, B)\n" }'
}

# --- one measured run ---------------------------------------------------------------------

# measure NAME OUTPUT GENERATOR ARGS...: prints one line of figures and sets $seconds.
measure() {
  local name=$1 output=$2
  shift 2
  local dir="$scratch/$name"
  mkdir -p "$dir"
  "$@" >"$dir/in.txt"
  local input_bytes
  input_bytes=$(stat -c %s "$dir/in.txt")
  local status=0
  (cd "$dir" && /usr/bin/time -v -o time.txt "$tool" in.txt "$output") || status=$?
  local wall cpu rss out_bytes log
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$dir/time.txt")
  cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { printf "%.2f", s }' "$dir/time.txt")
  rss=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$dir/time.txt")
  local path=$output
  [[ $path == /* ]] || path=$dir/$path
  out_bytes=-
  [ -f "$path" ] && out_bytes=$(stat -c %s "$path")
  log=$(cat "$dir/error.log" 2>/dev/null || echo "(no error.log)")
  printf '%-34s in %11s B  out %12s B  wall %8s  cpu %7ss  peak RSS %8s MiB  exit %s\n' \
    "$name" "$input_bytes" "$out_bytes" "$wall" "$cpu" "$rss" "$status"
  seconds=$cpu
  last_log=$log
  last_dir=$dir
  if [ "$status" -ne 0 ]; then failures=$((failures + 1)); fi
}

# Expects error.log of the last run to be empty and its output to have $1 bytes.
expect_clean() {
  if [ -n "$last_log" ]; then
    echo "  FAIL: error.log says: $last_log"; failures=$((failures + 1))
  fi
  if [ -n "${1:-}" ]; then
    local got
    got=$(stat -c %s "$last_dir/out.txt")
    if [ "$got" -ne "$1" ]; then
      echo "  FAIL: output has $got bytes, expected $1"; failures=$((failures + 1))
    fi
  fi
  rm -f "$last_dir/in.txt" "$last_dir/out.txt"
}

# Prints the ratio of the last two CPU times; above 8 for a fourfold size, the growth is
# closer to quadratic than to linear.
ratio() {
  awk -v small="$1" -v big="$2" 'BEGIN {
    r = (small > 0.005) ? big / small : 0
    verdict = (r > 8) ? "GROWS FASTER THAN LINEAR" : "linear"
    if (small <= 0.005) verdict = "too fast to tell"
    printf "  cpu ratio x4 size: %.1f (%s)\n", r, verdict
    exit (r > 8) }' || failures=$((failures + 1))
}

# pair NAME BIGSIZE GENERATOR [ARG]: the run at a quarter of the size, then the full run.
pair() {
  local name=$1 size=$2 generator=$3 extra=${4:-}
  measure "$name-quarter" out.txt "$generator" $((size / 4)) $extra
  expect_clean
  local small=$seconds
  measure "$name" out.txt "$generator" "$size" $extra
  expect_clean
  ratio "$small" "$seconds"
}

echo "relmerge: $tool"
echo

# The script is the line and 20 bytes; the echo adds "\n", the result block the line again
# between "\nresult(a t)\n" and "\n\n".
line=200000000
measure long-line-200MB out.txt long_line $line
expect_clean $((2 * line + 36))

pair relations-1M 1000000 many_relations
pair attributes-100k-self 100000 wide_relation self
pair attributes-100k-other 100000 wide_relation other
pair join-list-10k 10000 long_join_list
pair ragged-join-list-100k 100000 ragged_join_list
pair key-from-second-100k 100000 key_from_second
pair rows-5M 5000000 one_value_rows

# Both dimensions at once. Every step compares every common attribute, so the work grows with
# names x attributes while the script grows with names + attributes: figures only, no verdict.
measure attributes-20k-names-500 out.txt wide_and_named_often 20000 500
expect_clean
small=$seconds
measure attributes-20k-names-2k out.txt wide_and_named_often 20000 2000
expect_clean
awk -v small="$small" -v big="$seconds" \
  'BEGIN { printf "  cpu ratio x4 names, same attributes: %.1f\n", big / small }'

measure cartesian-100x100-devnull /dev/null cartesian 100
expect_clean
measure cartesian-10000x10000-devnull /dev/null cartesian 10000
expect_clean

# A file system that fills part way: the output stops at its size, error.log says so.
full_disk="$scratch/full"
mkdir -p "$full_disk"
if mount -t tmpfs -o size=32m tmpfs "$full_disk" 2>/dev/null; then
  measure cartesian-10000x10000-full-disk "$full_disk/out.txt" cartesian 10000
  expected_log=$(printf '\nA kimen\365 f\341jl nem \355rhat\363: %s' "$full_disk/out.txt")
  if [ "$last_log" != "$expected_log" ]; then
    echo "  FAIL: error.log does not report the full disk: $last_log"
    failures=$((failures + 1))
  fi
else
  full_disk=""
  echo "cartesian-10000x10000-full-disk    skipped: cannot mount a tmpfs here"
fi

echo
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all runs ended with exit 0 and the expected files"
