#!/bin/sh
# bench/search.sh: answer-set search speed, Veltra against clingo. Generates
# each workload in a scratch directory twice (Veltra writes a disjunction
# "a v b", clingo "a ; b"), solves it for the first answer set and, where the
# number stays small, for all of them, and prints the wall times, the ratio
# Veltra / clingo and the number of answer sets each found. Every run has a
# time limit; a run that reaches it prints ">LIMIT".
#
# usage: bench/search.sh [VELTRA] [SCALE]
#   VELTRA  the binary (default: build/veltra; use a Release build)
#   SCALE   size factor of the propagation workloads, 1 by default
# Environment: CLINGO (default: clingo), LIMIT (seconds per run, default 60),
# VELTRA_OPTIONS (extra options of every Veltra run, e.g. "-OH-"),
# KEEP=1 keeps the scratch directory.
set -u

VELTRA=${1:-build/veltra}
SCALE=${2:-1}
LIMIT=${LIMIT:-60}
VELTRA_OPTIONS=${VELTRA_OPTIONS:-}
if [ ! -x "$VELTRA" ]; then
    echo "no executable $VELTRA (build with: cmake -S . -B /tmp/relb -DCMAKE_BUILD_TYPE=Release &&" \
         "cmake --build /tmp/relb -j8 --target veltra)" >&2
    exit 1
fi
CLINGO=${CLINGO:-clingo}
if ! command -v "$CLINGO" >/dev/null 2>&1; then
    CLINGO=
    echo "clingo not installed: Veltra figures only" >&2
fi

. "$(dirname "$0")/generators.sh"

DIR=$(mktemp -d "${TMPDIR:-/tmp}/veltra-search.XXXXXX") || exit 1
if [ "${KEEP:-0}" != 1 ]; then
    trap 'rm -rf "$DIR"' EXIT INT TERM
else
    echo "inputs kept in $DIR" >&2
fi

# ---------------------------------------------------------------------------
# Workloads (awk with fixed seeds, so that any POSIX system generates the same
# inputs). Each writes Veltra's syntax; clingo's copy replaces " v " by " ; ".

# ---------------------------------------------------------------------------
# Measuring.

# Runs "$@" under the time limit with stdout to $DIR/out; prints "seconds status".
measure() {
    start=$(date +%s.%N)
    timeout "$LIMIT" "$@" >"$DIR/out" 2>"$DIR/err"
    status=$?
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" -v st="$status" 'BEGIN { printf "%.2f %d\n", e - s, st }'
}

printf '%-22s %-4s %9s %9s %8s %9s %9s\n' workload n veltra_s clingo_s time_x v_models c_models
# run NAME MODELS GENERATOR ARGS...: MODELS is 1 (first answer set) or 0 (all).
run() {
    name=$1 models=$2
    shift 2
    "$@" >"$DIR/$name.dl"
    sed 's/ v / ; /g' "$DIR/$name.dl" >"$DIR/$name.lp"
    # shellcheck disable=SC2046,SC2086
    set -- $(measure "$VELTRA" -silent $VELTRA_OPTIONS "-n=$models" "$DIR/$name.dl")
    v_time=$1
    v_count=$(grep -c '^{' "$DIR/out")
    case $2 in
        0) ;;
        124) v_time=">$LIMIT" v_count=- ;;
        *) echo "$name: veltra ended with status $2:" >&2; head -n 5 "$DIR/err" >&2; v_time="!$2" v_count=- ;;
    esac
    c_time=- c_count=- ratio=-
    if [ -n "$CLINGO" ]; then
        # shellcheck disable=SC2046
        set -- $(measure "$CLINGO" --mode=clingo -q -n "$models" "$DIR/$name.lp")
        c_time=$1
        c_count=$(awk '/^Models/ { sub(/\+$/, "", $3); print $3 }' "$DIR/out")
        # clingo's exit status says SATISFIABLE (10), UNSATISFIABLE (20) or
        # exhausted (+20).
        case $2 in
            10 | 20 | 30) ;;
            124) c_time=">$LIMIT" c_count=- ;;
            *) echo "$name: clingo ended with status $2:" >&2; head -n 5 "$DIR/err" >&2; c_time="!$2" ;;
        esac
        ratio=$(awk -v v="$v_time" -v c="$c_time" 'BEGIN {
            if (v ~ /^[0-9.]+$/ && c ~ /^[0-9.]+$/) printf (c > 0 ? "%.1f" : "-"), v / (c > 0 ? c : 1); else printf "-" }')
    fi
    label=$name
    [ "$models" = 0 ] && label="$name/all"
    printf '%-22s %-4s %9s %9s %8s %9s %9s\n' "$label" "$size" "$v_time" "$c_time" "$ratio" "$v_count" "$c_count"
}

for size in 50 100 200 400 800; do
    run colouring 1 gen_colouring "$size" $((2 * size)) 3
done
for size in 30 60 120 240; do
    run hamiltonian 1 gen_hamiltonian "$size" 2 5
done
for size in 8 9 10 11 12; do
    run queens 1 gen_queens "$size"
done
for size in 8 9 10 11 12; do
    run queens 0 gen_queens "$size"
done
for size in 50 100 200 400; do
    run strategic 1 gen_strategic "$size" $((3 * size)) 13
done
for size in 10 20 30; do
    run strategic 0 gen_strategic "$size" $((3 * size)) 13
done
for k in 2 4 8; do
    size=$((k * 100 * SCALE))k
    run chain 1 gen_chain $((k * 100000 * SCALE))
done
for k in 5 10 20; do
    size=$((k * SCALE))k
    run choices 1 gen_choices $((k * 1000 * SCALE))
done
