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

# run_once TOOL OUT_FILE STDOUT_TARGET CMD...: one run of CMD under /usr/bin/time -v,
# removing OUT_FILE first. Adds its wall time (microseconds) to TIMES[$w,TOOL] and keeps the
# largest peak resident set in RSS[$w,TOOL] (KiB). Fails if the run fails.
run_once() {
    local tool=$1 out=$2 target=$3
    shift 3
    local t0 t1 kb
    rm -f "$out"
    # EPOCHREALTIME needs no fork, which would cost more than the copy bound.
    t0=${EPOCHREALTIME/[.,]/}
    if ! /usr/bin/time -v -o "$TIMEF" "$@" >"$target" 2>>"$LOG"; then
        echo "failed: $*" >>"$LOG"
        return 1
    fi
    t1=${EPOCHREALTIME/[.,]/}
    TIMES[$w,$tool]+=" $((t1 - t0))"
    kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$TIMEF")
    if ((kb > ${RSS[$w,$tool]:-0})); then RSS[$w,$tool]=$kb; fi
}

# median LIST: the median of microsecond counts, in seconds with three decimals.
median() {
    printf '%s\n' $1 | sort -n |
        awk '{t[NR] = $1} END {if (!NR) exit; m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f", m / 1e6}'
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

# Why relmerge's output in the workload's folder is wrong, or nothing when it is right.
relmerge_wrong() {
    local out=$dir/out.relmerge.txt rows
    rows=$(result_rows "$out")
    if [[ $rows == -1 ]]; then
        echo "no result block"
    elif [[ $rows != "$EXPECTED_ROWS" ]]; then
        echo "$rows rows, expected $EXPECTED_ROWS"
    elif ! cat "$dir/script.txt" "$dir/expected.txt" | cmp -s - "$out"; then
        echo "row count right, bytes differ"
    elif [[ -s $dir/error.log ]]; then
        echo "error.log not empty"
    fi
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
declare -A TIMES RSS ENGINE CHECK INFO_DESC INFO_BYTES INFO_OUT INFO_ROWS INFO_PEERS
FAILED=0
mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
# Two processors against one, where the machine has two and taskset is there.
HAVE_TASKSET=0
if command -v taskset >/dev/null && (($(nproc) >= 2)); then HAVE_TASKSET=1; fi

# A peer's run; on the first one its row count is checked.
run_peer() { # tool round out target cmd...
    local tool=$1 round=$2 out=$3 target=$4
    shift 4
    if ! run_once "$tool" "$out" "$target" "$@"; then
        CHECK[$w,$tool]="run failed"
    elif ((round == 0)) && [[ $(wc -l <"$out") != "$EXPECTED_ROWS" ]]; then
        CHECK[$w,$tool]="$(wc -l <"$out") rows, expected $EXPECTED_ROWS"
        echo "$tool on $w: ${CHECK[$w,$tool]}" >>"$LOG"
    fi
    ((KEEP)) || rm -f "$out"
}

# DuckDB's run, whose engine time (the query alone, timed inside node) is kept beside the
# whole process's.
run_duckdb() { # threads round
    local engine=$SCRATCH/engine.txt
    rm -f "$engine"
    run_peer "duckdb$1" "$2" "$dir/out.duckdb.txt" /dev/null \
        node "$BENCH/peers/duckdb_run.mjs" "$1" "$dir/duckdb.sql" "$engine"
    if [[ -s $engine ]]; then ENGINE[$w,duckdb$1]+=" $(cat "$engine")"; fi
}

run_relmerge() { # tool round [taskset cpus]
    local tool=$1 round=$2
    local -a cmd=("$RELMERGE" "$dir/script.txt" "$dir/out.relmerge.txt")
    [[ -n ${3:-} ]] && cmd=(taskset -c "$3" "${cmd[@]}")
    if ! run_once "$tool" "$dir/out.relmerge.txt" /dev/null "${cmd[@]}"; then
        CHECK[$w,relmerge]="run failed"
    elif ((round == 0)) && [[ $tool == relmerge ]]; then
        CHECK[$w,relmerge]=$(relmerge_wrong)
    fi
    ((KEEP)) || rm -f "$dir/out.relmerge.txt"
}

for w in "${WORKLOADS[@]}"; do
    dir=$DATA/$w
    # shellcheck disable=SC1091
    source "$dir/meta.sh"
    INFO_DESC[$w]=$DESC INFO_BYTES[$w]=$SCRIPT_BYTES INFO_OUT[$w]=$OUTPUT_BYTES INFO_ROWS[$w]=$EXPECTED_ROWS
    INFO_PEERS[$w]=$PEER_FILES
    duck=$((PEERS && HAVE_DUCKDB && INFO_PEERS[$w]))
    cd "$dir"
    # Interleaved: each round runs the copy, relmerge and DuckDB once, so that every tool runs
    # right after others, as it would on a machine that does more than this. Each tool starts
    # without another's output in the page cache: on the large workload that output is
    # gigabytes the kernel would have to reclaim while the next tool allocates.
    for ((round = 0; round < RUNS; round++)); do
        say "$w: round $((round + 1)) of $RUNS: copy, relmerge$( ((duck)) && echo ", DuckDB")"
        run_once copy "$dir/out.copy.txt" "$dir/out.copy.txt" cat "$dir/script.txt" "$dir/expected.txt" ||
            die "copying $w failed"
        ((KEEP)) || rm -f "$dir/out.copy.txt"
        run_relmerge relmerge "$round"
        if ((duck)); then
            run_duckdb 1 "$round"
            run_duckdb 2 "$round"
        fi
    done
    say "$w: relmerge back to back"
    for ((round = 0; round < RUNS; round++)); do run_relmerge relmerge_b2b "$round"; done
    if ((HAVE_TASKSET)) && [[ $w != large ]]; then
        say "$w: relmerge on one processor and on two, back to back"
        for ((round = 0; round < RUNS; round++)); do run_relmerge relmerge_cpu1 "$round" 0; done
        for ((round = 0; round < RUNS; round++)); do run_relmerge relmerge_cpu2 "$round" 0-1; done
    fi
    [[ -z ${CHECK[$w,relmerge]:-} ]] || { FAILED=1; echo "relmerge on $w: ${CHECK[$w,relmerge]}" >>"$LOG"; }
    cd "$ROOT"

    if ((PEERS && INFO_PEERS[$w])); then
        for ((round = 0; round < RUNS; round++)); do
            if ((HAVE_SQLITE)); then
                say "$w: SQLite, run $((round + 1))"
                run_peer sqlite "$round" "$dir/out.sqlite.txt" /dev/null \
                    sqlite3 -batch -init /dev/null :memory: ".read $dir/sqlite.sql"
            fi
            if ((HAVE_SORTJOIN)) && [[ -n $SJ_LEFT ]]; then
                say "$w: sort+join, run $((round + 1))"
                run_peer sortjoin "$round" "$dir/out.sortjoin.txt" "$dir/out.sortjoin.txt" \
                    bash -c "$SORTJOIN_SH" sortjoin "$SCRATCH" "$SJ_LEFT" "$SJ_LKEY" "$SJ_RIGHT" "$SJ_RKEY" "$SJ_FIELDS"
            fi
        done
    fi
done

# ---------------------------------------------------------------- report

# Medians of every tool's runs, in seconds: T for whole processes, E for DuckDB's engine.
declare -A T E
for key in "${!TIMES[@]}"; do T[$key]=$(median "${TIMES[$key]}"); done
for key in "${!ENGINE[@]}"; do E[$key]=$(median "${ENGINE[$key]}"); done

is_num() { [[ $1 =~ ^[0-9]+(\.[0-9]+)?$ ]]; }
cell_time() { # workload tool [table]
    local -n table=${3:-T}
    local v=${table[$1,$2]:-}
    if [[ -n ${CHECK[$1,${2%_*}]:-} ]]; then
        echo "${v:-–} (wrong: ${CHECK[$1,${2%_*}]})"
    elif [[ -n $v ]]; then
        echo "$v"
    elif ((PEERS && INFO_PEERS[$1])); then
        echo "n/a"
    else
        echo "not run"
    fi
}
cell_rss() { local v=${RSS[$1,$2]:-}; if [[ -n $v ]]; then mib "$v"; else echo "–"; fi; }
# ratio A B OP LIMIT [WRONG]: A / B with a mark against the target A / B OP LIMIT (OP is <= or
# >=); a wrong output meets no target.
ratio() {
    if is_num "$1" && is_num "$2" && [[ $2 != 0.000 ]]; then
        awk -v a="$1" -v b="$2" -v op="$3" -v lim="$4" -v wrong="${5:-}" 'BEGIN {
            r = a / b; met = (op == "<=") ? r <= lim : r >= lim
            printf "%.3f %s", r, (met && wrong == "" ? "✓" : "✗") }'
    else
        echo "n/a"
    fi
}
usable() { # workload tool [table] -> its time, unless it failed or its output was wrong
    local -n table=${3:-T}
    local v=${table[$1,$2]:-}
    if is_num "$v" && [[ -z ${CHECK[$1,$2]:-} ]]; then echo "$v"; fi
}
lesser() { # two times, either may be empty -> the lesser, or empty
    if is_num "$1" && is_num "$2"; then
        awk -v a="$1" -v b="$2" 'BEGIN {print (a <= b) ? a : b}'
    else
        echo "$1$2"
    fi
}
duck_best() { lesser "$(usable "$1" duckdb1)" "$(usable "$1" duckdb2)"; }
duck_best_engine() { lesser "$(usable "$1" duckdb1 E)" "$(usable "$1" duckdb2 E)"; }
duck_rss() { # workload -> the peak memory of DuckDB's faster thread count
    local a b
    a=$(usable "$1" duckdb1) b=$(usable "$1" duckdb2)
    if is_num "$a" && { ! is_num "$b" || awk -v a="$a" -v b="$b" 'BEGIN {exit !(a <= b)}'; }; then
        cell_rss "$1" duckdb1
    elif is_num "$b"; then
        cell_rss "$1" duckdb2
    else
        echo "–"
    fi
}
# The least copy time a target is held to: below it the copy is mostly starting a process.
COPY_FLOOR=0.030
copy_bound() {
    local c
    c=$(usable "$1" copy)
    if is_num "$c"; then awk -v c="$c" -v f=$COPY_FLOOR 'BEGIN {printf "%.3f", (c < f) ? f : c}'; fi
}
# The larger of two times.
spread() {
    if is_num "$1" && is_num "$2"; then
        awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", (a > b ? a : b)}'
    fi
}
# Both relmerge medians, the slower over the faster, against the target of 1.15.
agreement() {
    local a b
    a=$(usable "$1" relmerge) b=$(usable "$1" relmerge_b2b)
    if is_num "$a" && is_num "$b"; then
        ratio "$(spread "$a" "$b")" "$(lesser "$a" "$b")" "<=" 1.15
    else
        echo "n/a"
    fi
}
# Two processors against one: target 1.5 on the workloads named, shown for the others.
PROCESSOR_TARGETS=" equi sparse "
speedup() {
    local one two r
    one=$(usable "$1" relmerge_cpu1) two=$(usable "$1" relmerge_cpu2)
    if ! is_num "$one" || ! is_num "$two"; then echo "n/a"; return; fi
    if [[ $PROCESSOR_TARGETS == *" $1 "* ]]; then
        ratio "$one" "$two" ">=" 1.5
    else
        awk -v a="$one" -v b="$two" 'BEGIN {printf "%.3f", a / b}'
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
    echo "- Generator seed $SEED, scale $SCALE; each time is the median of $RUNS runs (wall clock),"
    echo "  each memory figure the largest peak resident set of those runs (\`/usr/bin/time -v\`), in MiB."
    echo "- Interleaved: $RUNS rounds, each running the copy, relmerge and DuckDB with 1 and 2 threads once, in"
    echo "  that order. Back to back: relmerge $RUNS times in a row. Processors: relmerge $RUNS times in a row under"
    echo "  \`taskset -c 0\` and \`taskset -c 0-1\`. SQLite and sort+join: $RUNS runs each, after the rest."
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
    echo "| Workload | relmerge s | relmerge back to back s | relmerge MiB | copy s | SQLite s | SQLite MiB | sort+join s | sort+join MiB | DuckDB 1 thr s | DuckDB 1 thr engine s | DuckDB 2 thr s | DuckDB 2 thr engine s | DuckDB MiB |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    for w in "${WORKLOADS[@]}"; do
        echo "| $w | $(cell_time "$w" relmerge) | $(cell_time "$w" relmerge_b2b) | $(cell_rss "$w" relmerge_b2b)" \
            "| $(cell_time "$w" copy) | $(cell_time "$w" sqlite) | $(cell_rss "$w" sqlite)" \
            "| $(cell_time "$w" sortjoin) | $(cell_rss "$w" sortjoin)" \
            "| $(cell_time "$w" duckdb1) | $(cell_time "$w" duckdb1 E) | $(cell_time "$w" duckdb2) | $(cell_time "$w" duckdb2 E)" \
            "| $(duck_rss "$w") |"
    done
    echo
    if ((HAVE_TASKSET)); then
        echo "## Processors"
        echo
        echo "| Workload | relmerge on 1 processor s | on 2 processors s | speed-up |"
        echo "|---|---:|---:|---:|"
        for w in "${WORKLOADS[@]}"; do
            [[ $w == large ]] && continue
            echo "| $w | $(cell_time "$w" relmerge_cpu1) | $(cell_time "$w" relmerge_cpu2) | $(speedup "$w") |"
        done
        echo
    fi
    echo "## Targets"
    echo
    echo "Ratios of relmerge's figures (interleaved) to the reference; ✓ where the target is met, ✗ where it is not."
    echo
    echo "| Workload | vs DuckDB's engine, best (≤ 0.2) | vs copy, at least $COPY_FLOOR s (≤ 4) | peak memory vs 2 × script + 16 MiB (≤ 1) | interleaved vs back to back (≤ 1.15) | 2 processors vs 1 (≥ 1.5 on${PROCESSOR_TARGETS% }) | vs sort+join (≤ 0.5) | output check |"
    echo "|---|---:|---:|---:|---:|---:|---:|---|"
    for w in "${WORKLOADS[@]}"; do
        rt=${T[$w,relmerge]:-}
        wrong=${CHECK[$w,relmerge]:-}
        mem_ratio=n/a
        peak=${RSS[$w,relmerge]:-}
        for tool in relmerge_b2b relmerge_cpu1 relmerge_cpu2; do
            if [[ -n ${RSS[$w,$tool]:-} ]] && ((RSS[$w,$tool] > ${peak:-0})); then peak=${RSS[$w,$tool]}; fi
        done
        if [[ -n $peak ]]; then
            limit=$(awk -v b="${INFO_BYTES[$w]}" 'BEGIN {printf "%.3f", 2 * b / 1048576 + 16}')
            mem_ratio=$(ratio "$(mib "$peak")" "$limit" "<=" 1 "$wrong")
        fi
        check="${wrong:-byte-identical, ${INFO_ROWS[$w]} rows}"
        echo "| $w | $(ratio "$rt" "$(duck_best_engine "$w")" "<=" 0.2 "$wrong") | $(ratio "$rt" "$(copy_bound "$w")" "<=" 4 "$wrong")" \
            "| $mem_ratio | $(agreement "$w") | $(speedup "$w") | $(ratio "$rt" "$(usable "$w" sortjoin)" "<=" 0.5 "$wrong") | $check |"
    done
    echo
    echo "copy: \`cat\` of the script and the expected result block into one file, the least any run must do."
    echo "SQLite: \`sqlite3\` in memory imports the CSVs into TEXT columns and writes the join as CSV."
    echo "sort+join: coreutils \`sort\` of both CSVs (at once, C locale) piped into \`join\`; only for a two-relation join on one attribute."
    echo "DuckDB: one \`COPY (SELECT … FROM read_csv(…) JOIN …) TO …\` in an in-memory database, default settings but the thread count;"
    echo "its whole process includes starting Node.js and loading the library, its engine time the query alone, timed inside Node.js."
    echo "Every peer writes the result columns in relmerge's order and is checked for the expected row count;"
    echo "relmerge's output is compared byte for byte with the copy. \"n/a\": the peer is not installed or does not apply;"
    echo "\"not run\": peers are not run on this workload."
} >"$md"

{
    echo "# workload relmerge sqlite duckdb_best duckdb_best_engine (seconds; NaN = not measured)"
    for w in "${WORKLOADS[@]}"; do
        row="$w"
        for v in "$(usable "$w" relmerge)" "$(usable "$w" sqlite)" "$(duck_best "$w")" "$(duck_best_engine "$w")"; do
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
