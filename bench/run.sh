#!/usr/bin/env bash
# Whole-process benchmarks of relmerge against a copy lower bound and peers.
# Run from anywhere; see bench/README.md. Quiet unless -v is given.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/run.sh [options]
  --small          sizes scaled down by 100 (quick check); results go to the scratch folder
  --large          add the ~2 GB script workload (relmerge and the copy bound only)
  --runs N         runs per measurement, median reported (default 5, at least 5 for a full run)
  --seed N         generator seed (default 20240601)
  --only NAME      run a single workload (equi, chain4, cross, skew, wide, sparse, large)
  --no-peers       measure relmerge and the copy bound only
  --relmerge PATH  benchmark this binary instead of building one
  --scratch DIR    folder for data and outputs (default ${TMPDIR:-/tmp}/relmerge-bench)
  --results DIR    where results.md, results.dat and results.png go
                   (default: bench/ for a full run, the scratch folder for --small)
  --keep           keep the outputs of every tool in the scratch folder
  -v, --verbose    report progress on stderr
EOF
}

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH=$ROOT/bench
SCALE=1
SMALL=0
LARGE=0
RUNS=5
SEED=20240601
ONLY=
PEERS=1
RELMERGE=
SCRATCH=${TMPDIR:-/tmp}/relmerge-bench
RESULTS=
KEEP=0
VERBOSE=0

while (($#)); do
    case $1 in
    --small) SMALL=1 SCALE=0.01 ;;
    --large) LARGE=1 ;;
    --runs) RUNS=${2:?}; shift ;;
    --seed) SEED=${2:?}; shift ;;
    --only) ONLY=${2:?}; shift ;;
    --no-peers) PEERS=0 ;;
    --relmerge) RELMERGE=$(realpath "${2:?}"); shift ;;
    --scratch) SCRATCH=${2:?}; shift ;;
    --results) RESULTS=${2:?}; shift ;;
    --keep) KEEP=1 ;;
    -v | --verbose) VERBOSE=1 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
    shift
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: --runs needs a positive count" >&2; exit 2; }
if [[ -z $RESULTS ]]; then
    if ((SMALL)); then RESULTS=$SCRATCH; else RESULTS=$BENCH; fi
fi

mkdir -p "$SCRATCH" "$RESULTS"
SCRATCH=$(cd "$SCRATCH" && pwd)
RESULTS=$(cd "$RESULTS" && pwd)
LOG=$SCRATCH/run.log
TIMEF=$SCRATCH/time.txt
: >"$LOG"

say() { if ((VERBOSE)); then echo "$*" >&2; fi; }
die() {
    echo "run.sh: $*" >&2
    echo "run.sh: details in $LOG" >&2
    exit 1
}

# ------------------------------------------------------------------ tools

APT_UPDATED=0
apt_install() {
    [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null || return 1
    if ((!APT_UPDATED)); then
        apt-get update -qq >>"$LOG" 2>&1 || true
        APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >>"$LOG" 2>&1
}

need() { # command package
    command -v "$1" >/dev/null || apt_install "$2" || true
    command -v "$1" >/dev/null
}

[[ -x /usr/bin/time ]] || apt_install time || true
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (Debian package time)"
need g++ g++ || die "g++ is missing"
need cmake cmake || die "cmake is missing"

HAVE_SQLITE=0 HAVE_SORTJOIN=0 HAVE_DUCKDB=0 HAVE_GNUPLOT=0
if ((PEERS)); then
    if need sqlite3 sqlite3; then HAVE_SQLITE=1; fi
    if command -v sort >/dev/null && command -v join >/dev/null; then HAVE_SORTJOIN=1; fi
    if need node nodejs && need npm npm; then
        if [[ ! -d $BENCH/peers/node_modules/@duckdb/node-api ]]; then
            say "installing DuckDB's Node.js package"
            npm install --prefix "$BENCH/peers" --no-audit --no-fund --silent >>"$LOG" 2>&1 || true
        fi
        echo "COPY (SELECT version()) TO '$SCRATCH/duckdb-version.txt' (FORMAT csv, HEADER false);" >"$SCRATCH/probe.sql"
        if node "$BENCH/peers/duckdb_run.mjs" 1 "$SCRATCH/probe.sql" >>"$LOG" 2>&1; then HAVE_DUCKDB=1; fi
    fi
fi
if need gnuplot gnuplot-nox; then HAVE_GNUPLOT=1; fi

# ------------------------------------------------------------------ build

if [[ -z $RELMERGE ]]; then
    say "building relmerge (Release)"
    cmake -S "$ROOT" -B "$ROOT/build-bench" -DCMAKE_BUILD_TYPE=Release -DRELMERGE_TESTS=OFF >>"$LOG" 2>&1 ||
        die "cmake configure failed"
    cmake --build "$ROOT/build-bench" -j2 --target relmerge >>"$LOG" 2>&1 || die "building relmerge failed"
    RELMERGE=$ROOT/build-bench/relmerge
fi
[[ -x $RELMERGE ]] || die "no relmerge binary at $RELMERGE"

say "building the generator"
g++ -O2 -std=c++17 -o "$SCRATCH/gen_script" "$BENCH/gen_script.cc" >>"$LOG" 2>&1 || die "building the generator failed"

DATA=$SCRATCH/data
rm -rf "$DATA"
gen_args=(--out "$DATA" --seed "$SEED" --scale "$SCALE")
((LARGE)) && gen_args+=(--large)
[[ -n $ONLY ]] && gen_args+=(--only "$ONLY")
say "generating workloads (scale $SCALE, seed $SEED)"
"$SCRATCH/gen_script" "${gen_args[@]}" 2>>"$LOG" || die "generating the workloads failed"
mapfile -t WORKLOADS <"$DATA/workloads.txt"
((${#WORKLOADS[@]})) || die "no workload matches '$ONLY'"

# ------------------------------------------------------------ measurement

# measure OUT_FILE STDOUT_TARGET CMD...: runs CMD $RUNS times under
# /usr/bin/time -v, removing OUT_FILE before each run. Sets M_TIME (median wall
# seconds) and M_RSS (largest peak resident set, KiB). Fails if any run fails.
measure() {
    local out=$1 target=$2
    shift 2
    local -a times=()
    local i t0 t1 kb rss=0
    for ((i = 0; i < RUNS; i++)); do
        rm -f "$out"
        # EPOCHREALTIME needs no fork, which would cost more than the copy bound.
        t0=${EPOCHREALTIME/[.,]/}
        if ! /usr/bin/time -v -o "$TIMEF" "$@" >"$target" 2>>"$LOG"; then
            echo "failed: $*" >>"$LOG"
            return 1
        fi
        t1=${EPOCHREALTIME/[.,]/}
        times+=($((t1 - t0)))
        kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$TIMEF")
        if ((kb > rss)); then rss=$kb; fi
    done
    M_TIME=$(printf '%s\n' "${times[@]}" | sort -n |
        awk '{t[NR] = $1} END {m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f", m / 1e6}')
    M_RSS=$rss
}

# Rows between the "result(" heading and the final empty line of relmerge's output.
result_rows() {
    local file=$1 heading total
    [[ $(tail -c 2 "$file" 2>/dev/null | od -An -c | tr -d ' ') == '\n\n' ]] || { echo -1; return; }
    heading=$(LC_ALL=C grep -n '^result(' "$file" | tail -n 1 | cut -d: -f1)
    [[ -n $heading ]] || { echo -1; return; }
    total=$(wc -l <"$file")
    echo $((total - heading - 1))
}

# The sort+join pipeline, with both sorts running at once; FIFOs rather than
# process substitution so that the shell waits for the sorts and their peak
# memory is counted.
# shellcheck disable=SC2016 # expanded by the inner shell
SORTJOIN_SH='
export LC_ALL=C
dir=$(mktemp -d "$1/sj.XXXXXX")
mkfifo "$dir/l" "$dir/r"
sort -t, -k"$3","$3" "$2" >"$dir/l" &
sort -t, -k"$5","$5" "$4" >"$dir/r" &
join -t, -1 "$3" -2 "$5" -o "$6" "$dir/l" "$dir/r"
wait
rm -rf "$dir"
'

LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A T RSS CHECK INFO_DESC INFO_BYTES INFO_OUT INFO_ROWS INFO_PEERS
FAILED=0
mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }

run_peer() { # tool workload out expected_rows cmd...
    local tool=$1 w=$2 out=$3 rows=$4 target=$5
    shift 5
    if measure "$out" "$target" "$@"; then
        local got
        got=$(wc -l <"$out")
        T[$w,$tool]=$M_TIME RSS[$w,$tool]=$M_RSS
        if [[ $got != "$rows" ]]; then
            CHECK[$w,$tool]="$got rows, expected $rows"
            echo "$tool on $w: $got rows, expected $rows" >>"$LOG"
        fi
    else
        T[$w,$tool]=error
    fi
    ((KEEP)) || rm -f "$out"
}

for w in "${WORKLOADS[@]}"; do
    dir=$DATA/$w
    # shellcheck disable=SC1091
    source "$dir/meta.sh"
    INFO_DESC[$w]=$DESC INFO_BYTES[$w]=$SCRIPT_BYTES INFO_OUT[$w]=$OUTPUT_BYTES INFO_ROWS[$w]=$EXPECTED_ROWS
    INFO_PEERS[$w]=$PEER_FILES

    say "$w: copy lower bound"
    measure "$dir/out.copy.txt" "$dir/out.copy.txt" cat "$dir/script.txt" "$dir/expected.txt" ||
        die "copying $w failed"
    T[$w,copy]=$M_TIME RSS[$w,copy]=$M_RSS
    # Each tool starts without another's output in the page cache: on the large workload that
    # output is gigabytes the kernel would have to reclaim while the next tool allocates.
    ((KEEP)) || rm -f "$dir/out.copy.txt"

    say "$w: relmerge"
    cd "$dir"
    if measure "$dir/out.relmerge.txt" /dev/null "$RELMERGE" "$dir/script.txt" "$dir/out.relmerge.txt"; then
        T[$w,relmerge]=$M_TIME RSS[$w,relmerge]=$M_RSS
        rows=$(result_rows "$dir/out.relmerge.txt")
        if [[ $rows == -1 ]]; then
            CHECK[$w,relmerge]="no result block"
        elif [[ $rows != "$EXPECTED_ROWS" ]]; then
            CHECK[$w,relmerge]="$rows rows, expected $EXPECTED_ROWS"
        elif ! cat "$dir/script.txt" "$dir/expected.txt" | cmp -s - "$dir/out.relmerge.txt"; then
            CHECK[$w,relmerge]="row count right, bytes differ"
        elif [[ -s $dir/error.log ]]; then
            CHECK[$w,relmerge]="error.log not empty"
        fi
    else
        T[$w,relmerge]=error CHECK[$w,relmerge]="run failed"
    fi
    [[ -z ${CHECK[$w,relmerge]:-} ]] || { FAILED=1; echo "relmerge on $w: ${CHECK[$w,relmerge]}" >>"$LOG"; }
    cd "$ROOT"
    ((KEEP)) || rm -f "$dir/out.relmerge.txt" "$dir/out.copy.txt"

    if ((PEERS && INFO_PEERS[$w])); then
        if ((HAVE_SQLITE)); then
            say "$w: SQLite"
            run_peer sqlite "$w" "$dir/out.sqlite.txt" "$EXPECTED_ROWS" /dev/null \
                sqlite3 -batch -init /dev/null :memory: ".read $dir/sqlite.sql"
        fi
        if ((HAVE_SORTJOIN)) && [[ -n $SJ_LEFT ]]; then
            say "$w: sort+join"
            run_peer sortjoin "$w" "$dir/out.sortjoin.txt" "$EXPECTED_ROWS" "$dir/out.sortjoin.txt" \
                bash -c "$SORTJOIN_SH" sortjoin "$SCRATCH" "$SJ_LEFT" "$SJ_LKEY" "$SJ_RIGHT" "$SJ_RKEY" "$SJ_FIELDS"
        fi
        if ((HAVE_DUCKDB)); then
            for threads in 1 2; do
                say "$w: DuckDB, $threads thread(s)"
                run_peer "duckdb$threads" "$w" "$dir/out.duckdb.txt" "$EXPECTED_ROWS" /dev/null \
                    node "$BENCH/peers/duckdb_run.mjs" "$threads" "$dir/duckdb.sql"
            done
        fi
    fi
done

# ---------------------------------------------------------------- report

is_num() { [[ $1 =~ ^[0-9]+(\.[0-9]+)?$ ]]; }
cell_time() { # workload tool
    local v=${T[$1,$2]:-}
    if [[ -z $v ]]; then
        if ((PEERS && INFO_PEERS[$1])); then echo "n/a"; else echo "not run"; fi
    elif [[ -n ${CHECK[$1,$2]:-} ]]; then
        echo "$v (wrong: ${CHECK[$1,$2]})"
    else
        echo "$v"
    fi
}
cell_rss() { local v=${RSS[$1,$2]:-}; if [[ -n $v ]]; then mib "$v"; else echo "–"; fi; }
# ratio A B LIMIT [WRONG]: A / B with a mark against the target A / B <= LIMIT;
# a wrong output meets no target.
ratio() {
    if is_num "$1" && is_num "$2" && [[ $2 != 0.000 ]]; then
        awk -v a="$1" -v b="$2" -v lim="$3" -v wrong="${4:-}" \
            'BEGIN {r = a / b; printf "%.3f %s", r, (r <= lim && wrong == "" ? "✓" : "✗")}'
    else
        echo "n/a"
    fi
}
usable() { # workload tool -> its time, unless it failed or its output was wrong
    local v=${T[$1,$2]:-}
    if is_num "$v" && [[ -z ${CHECK[$1,$2]:-} ]]; then echo "$v"; fi
}
duck_best() { # workload -> tool key with the lower time, or empty
    local a b
    a=$(usable "$1" duckdb1) b=$(usable "$1" duckdb2)
    if is_num "$a" && is_num "$b"; then
        awk -v a="$a" -v b="$b" 'BEGIN {print (a <= b) ? "duckdb1" : "duckdb2"}'
    elif is_num "$a"; then echo duckdb1
    elif is_num "$b"; then echo duckdb2
    fi
}

cpu=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
mem=$(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
versions="$(g++ --version | head -n 1); $(cmake --version | head -n 1)"
((HAVE_SQLITE)) && versions+="; SQLite $(sqlite3 --version | cut -d' ' -f1)"
((HAVE_SORTJOIN)) && versions+="; $(sort --version | head -n 1)"
((HAVE_DUCKDB)) && versions+="; DuckDB $(cat "$SCRATCH/duckdb-version.txt") via @duckdb/node-api on Node.js $(node --version)"

md=$SCRATCH/results.md.new
dat=$SCRATCH/results.dat.new
{
    echo "# Whole-process benchmarks"
    echo
    echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "- Machine: $(nproc) cores, ${cpu:-unknown CPU}, $mem memory, $(uname -sr)"
    echo "- Tools: $versions"
    echo "- Load average (1, 5, 15 min) before the measurements: $LOAD_START; after: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "- Generator seed $SEED, scale $SCALE; each time is the median of $RUNS whole-process runs (wall clock),"
    echo "  each memory figure the largest peak resident set of those runs (\`/usr/bin/time -v\`), in MiB."
    echo
    echo "## Workloads"
    echo
    echo "| Workload | Description | Script MiB | Result rows | Output MiB |"
    echo "|---|---|---:|---:|---:|"
    for w in "${WORKLOADS[@]}"; do
        echo "| $w | ${INFO_DESC[$w]} | $(mib $((INFO_BYTES[$w] / 1024))) | ${INFO_ROWS[$w]} | $(mib $((INFO_OUT[$w] / 1024))) |"
    done
    echo
    echo "## Times (s) and peak memory (MiB)"
    echo
    echo "| Workload | relmerge s | relmerge MiB | copy s | SQLite s | SQLite MiB | sort+join s | sort+join MiB | DuckDB 1 thr s | DuckDB 2 thr s | DuckDB MiB |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    for w in "${WORKLOADS[@]}"; do
        sj=$(cell_time "$w" sortjoin)
        best=$(duck_best "$w")
        echo "| $w | $(cell_time "$w" relmerge) | $(cell_rss "$w" relmerge) | $(cell_time "$w" copy)" \
            "| $(cell_time "$w" sqlite) | $(cell_rss "$w" sqlite) | $sj | $(cell_rss "$w" sortjoin)" \
            "| $(cell_time "$w" duckdb1) | $(cell_time "$w" duckdb2) | $( [[ -n $best ]] && cell_rss "$w" "$best" || echo –) |"
    done
    echo
    echo "## Targets"
    echo
    echo "Ratios of relmerge's figures to the reference; ✓ where the target is met, ✗ where it is not."
    echo
    echo "| Workload | vs DuckDB best (≤ 0.2) | vs sort+join (≤ 0.5) | vs copy (≤ 10) | peak memory vs 2 × script + 16 MiB (≤ 1) | output check |"
    echo "|---|---:|---:|---:|---:|---|"
    for w in "${WORKLOADS[@]}"; do
        best=$(duck_best "$w")
        rt=${T[$w,relmerge]:-}
        mem_ratio=n/a
        if [[ -n ${RSS[$w,relmerge]:-} ]]; then
            limit=$(awk -v b="${INFO_BYTES[$w]}" 'BEGIN {printf "%.3f", 2 * b / 1048576 + 16}')
            mem_ratio=$(ratio "$(mib "${RSS[$w,relmerge]}")" "$limit" 1 "${CHECK[$w,relmerge]:-}")
        fi
        check="${CHECK[$w,relmerge]:-byte-identical, ${INFO_ROWS[$w]} rows}"
        wrong=${CHECK[$w,relmerge]:-}
        echo "| $w | $(ratio "$rt" "$(usable "$w" "${best:-none}")" 0.2 "$wrong") | $(ratio "$rt" "$(usable "$w" sortjoin)" 0.5 "$wrong")" \
            "| $(ratio "$rt" "$(usable "$w" copy)" 10 "$wrong") | $mem_ratio | $check |"
    done
    echo
    echo "copy: \`cat\` of the script and the expected result block into one file, the least any run must do."
    echo "SQLite: \`sqlite3\` in memory imports the CSVs into TEXT columns and writes the join as CSV."
    echo "sort+join: coreutils \`sort\` of both CSVs (at once, C locale) piped into \`join\`; only for a two-relation join on one attribute."
    echo "DuckDB: one \`COPY (SELECT … FROM read_csv(…) JOIN …) TO …\` in an in-memory database, default settings but the thread count."
    echo "Every peer writes the result columns in relmerge's order and is checked for the expected row count;"
    echo "relmerge's output is compared byte for byte with the copy. \"n/a\": the peer is not installed or does not apply;"
    echo "\"not run\": peers are not run on this workload."
} >"$md"

{
    echo "# workload relmerge sqlite duckdb_best (seconds; NaN = not measured)"
    for w in "${WORKLOADS[@]}"; do
        best=$(duck_best "$w")
        row="$w"
        for v in "$(usable "$w" relmerge)" "$(usable "$w" sqlite)" "$(usable "$w" "${best:-none}")"; do
            if is_num "$v"; then row+=" $v"; else row+=" NaN"; fi
        done
        echo "$row"
    done
} >"$dat"

mv "$md" "$RESULTS/results.md"
mv "$dat" "$RESULTS/results.dat"
if ((HAVE_GNUPLOT)); then
    gnuplot -e "datafile='$RESULTS/results.dat'; outfile='$RESULTS/results.png'" "$BENCH/plot.gp" >>"$LOG" 2>&1 ||
        echo "run.sh: drawing the chart failed, see $LOG" >&2
fi
say "results in $RESULTS/results.md"
if ((FAILED)); then
    echo "run.sh: relmerge gave a wrong output, see $RESULTS/results.md" >&2
    exit 1
fi
