#!/bin/sh
# bench/families.sh: every benchmark family at its reference size, Veltra side
# by side with clingo. Each workload is generated in a scratch directory in
# Veltra's syntax and, where clingo has the same encoding, in clingo's ("a ; b"
# for "a v b", a brave query as constraints); both run under a time limit and
# the script prints wall time, peak memory, the ratios Veltra / clingo and what
# each found (answer sets, or the brave verdict). A run that reaches the limit
# prints ">LIMIT"; one that fails prints "!STATUS".
#
# usage: bench/families.sh [VELTRA] [FAMILY...]
#   VELTRA  the binary (default: build/veltra; use a Release build)
#   FAMILY  run only the families whose names start with one of these words
#           (e.g. "queens chain-reach"); all by default
# Environment: CLINGO (default: clingo), LIMIT (seconds per run, default 120),
# SCALE (size factor, 1 by default; 0.5 halves the sizes),
# VELTRA_OPTIONS (extra options of every Veltra run), KEEP=1 keeps the inputs.
set -u

VELTRA=${1:-build/veltra}
[ $# -gt 0 ] && shift
ONLY="$*"
LIMIT=${LIMIT:-120}
SCALE=${SCALE:-1}
VELTRA_OPTIONS=${VELTRA_OPTIONS:-}
EXTRA=
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
if [ ! -x /usr/bin/time ]; then
    echo "/usr/bin/time (Debian package time) is needed for the peak memory" >&2
    exit 1
fi

. "$(dirname "$0")/generators.sh"

DIR=$(mktemp -d "${TMPDIR:-/tmp}/veltra-families.XXXXXX") || exit 1
if [ "${KEEP:-0}" != 1 ]; then
    trap 'rm -rf "$DIR"' EXIT INT TERM
else
    echo "inputs kept in $DIR" >&2
fi

# size N: N times SCALE, rounded, at least 1.
size() { awk -v n="$1" -v s="$SCALE" 'BEGIN { v = int(n * s + 0.5); print (v < 1 ? 1 : v) }'; }

# ---------------------------------------------------------------------------
# Workloads (awk with fixed seeds, so that any POSIX system generates the same
# inputs), written in Veltra's syntax.

# ---------------------------------------------------------------------------
# Measuring.

# Runs "$@" under the time limit, stdout to $DIR/out; prints "seconds kilobytes
# status" (the peak memory is the largest resident set of the process tree).
measure() {
    /usr/bin/time -f "%e %M" -o "$DIR/time" timeout "$LIMIT" "$@" >"$DIR/out" 2>"$DIR/err"
    status=$?
    printf '%s %s\n' "$(tail -n 1 "$DIR/time" | awk '{ print $1, $2 }')" "$status"
}

# The kilobytes as megabytes with one decimal.
mb() { awk -v k="$1" 'BEGIN { if (k ~ /^[0-9]+$/) printf "%.1f", k / 1024; else printf "-" }'; }

ratio() {
    awk -v v="$1" -v c="$2" 'BEGIN {
        if (v ~ /^[0-9.]+$/ && c ~ /^[0-9.]+$/) printf "%.2f", v / (c > 0.01 ? c : 0.01); else printf "-" }'
}

selected() {
    [ -z "$ONLY" ] && return 0
    for word in $ONLY; do
        case $1 in "$word"*) return 0 ;; esac
    done
    return 1
}

printf '%-22s %7s %9s %9s %9s %9s %7s %7s %8s %8s\n' \
    family size veltra_s veltra_MB clingo_s clingo_MB time_x mem_x v_found c_found

# run FAMILY SIZE MODE GENERATOR ARGS...
#   MODE: first (the first answer set), all (every answer set, printed by
#   both), ground (the ground program: -instantiate against clingo
#   --mode=gringo), optimum (the best answer set under weak constraints;
#   found: its cost at the lowest level), brave:QUERY
#   (brave reasoning: Veltra's query "QUERY?", clingo the same program with
#   ":- not ATOM." per query atom and one answer set), veltra-only (first
#   answer set, no clingo encoding).
run() {
    family=$1 label_size=$2 mode=$3
    shift 3
    selected "$family" || return 0
    "$@" >"$DIR/in.dl"
    # clingo writes weak constraints' weight and level as [W@L].
    sed -e 's/ v / ; /g' -e 's/\[\([0-9]*\):\([0-9]*\)\]$/[\1@\2]/' "$DIR/in.dl" >"$DIR/in.lp"
    clingo_args="--mode=clingo -q -n 1"
    case $mode in
        first | veltra-only | optimum) veltra_args="-silent -n=1" ;;
        # Every answer set is printed by both: the models' text is part of
        # the work asked for.
        all) veltra_args="-silent -n=0" clingo_args="--mode=clingo -n 0" ;;
        ground) veltra_args="-silent -instantiate" clingo_args="--mode=gringo" ;;
        brave:*)
            query=${mode#brave:}
            printf '%s?\n' "$query" >"$DIR/query.dl"
            veltra_args="-silent -brave $DIR/query.dl"
            printf '%s\n' "$query" | tr ',' '\n' | sed 's/^ *\(.*[^ ]\) *$/:- not \1./' >>"$DIR/in.lp"
            ;;
    esac
    # shellcheck disable=SC2086
    set -- $(measure "$VELTRA" $veltra_args $VELTRA_OPTIONS $EXTRA "$DIR/in.dl")
    v_time=$1 v_mem=$2
    case $mode in
        brave:*) v_found=$(grep -q 'is bravely true' "$DIR/out" && echo true || echo false) ;;
        ground) v_found=- ;;
        optimum) v_found=$(sed -n 's/^Cost.*<\[\([0-9]*\):.*/\1/p' "$DIR/out") ;;
        *) v_found=$(grep -c '^{' "$DIR/out") ;;
    esac
    case $3 in
        0) ;;
        124 | 137) v_time=">$LIMIT" v_mem=- v_found=- ;;
        *) echo "$family: veltra ended with status $3:" >&2; head -n 5 "$DIR/err" >&2
           v_time="!$3" v_found=- ;;
    esac
    c_time=- c_mem=- c_found=-
    if [ -n "$CLINGO" ] && [ "$mode" != veltra-only ]; then
        # shellcheck disable=SC2086
        set -- $(measure "$CLINGO" $clingo_args "$DIR/in.lp")
        c_time=$1 c_mem=$2
        # clingo's exit status: 10 satisfiable, 20 unsatisfiable, +20
        # search space exhausted; 0 after grounding only.
        case $3 in
            0 | 10 | 20 | 30) ;;
            124 | 137) c_time=">$LIMIT" c_mem=- ;;
            *) echo "$family: clingo ended with status $3:" >&2; head -n 5 "$DIR/err" >&2; c_time="!$3" ;;
        esac
        case $mode in
            brave:*) c_found=$(grep -q '^SATISFIABLE' "$DIR/out" && echo true || echo false) ;;
            ground) ;;
            optimum) c_found=$(awk '/^Optimization/ { print $NF }' "$DIR/out") ;;
            *) c_found=$(awk '/^Models/ { sub(/\+$/, "", $3); print $3 }' "$DIR/out") ;;
        esac
        case $c_time in [!0-9]*) c_found=- ;; esac
    fi
    printf '%-22s %7s %9s %9s %9s %9s %7s %7s %8s %8s\n' "$family" "$label_size" \
        "$v_time" "$(mb "$v_mem")" "$c_time" "$(mb "$c_mem")" \
        "$(ratio "$v_time" "$c_time")" "$(ratio "$v_mem" "$c_mem")" "$v_found" "${c_found:--}"
}

n=$(size 200000); run chain-reach "$n" first gen_chain_reach "$n"
n=$(size 100000); run choices "$n" first gen_choices "$n"
EXTRA=-OH-; run choices-OH- "$n" first gen_choices "$n"; EXTRA=
n=$(size 100000); run weighted-choices "$n" optimum gen_weighted_choices "$n"
n=$(size 10000); run colouring "$n" first gen_colouring "$n"
n=$(size 200); run hamiltonian "$n" first gen_hamiltonian "$n"
n=$(size 50); run queens "$n" first gen_queens "$n"
n=$(size 10); run queens-all "$n" all gen_queens "$n"
n=$(size 30); run strategic-all "$n" all gen_strategic "$n"
n=$(size 200); run strategic-brave "$n" "brave:strat(c1), strat(c2), strat(c3)" gen_strategic "$n"
n=$(size 30); run qbf-sat "$((2 * n))" first gen_qbf "$n" "$n" $(size 170) 1
n=$(size 30); run qbf-unsat "$((2 * n))" first gen_qbf "$n" "$n" $(size 150) 7
n=$(size 4000); run objects "$n" veltra-only gen_objects "$n"
n=$(size 1000); run tc-chain "$n" ground gen_tc_chain "$n"
run tc-random "$(size 1000)" ground gen_tc_random "$(size 1000)" "$(size 1500)"
run tc-random-dense "$(size 150)" ground gen_tc_random "$(size 150)" "$(size 1500)"
run same-generation 6 ground gen_same_generation 6 3
n=$(size 100000); run stratified-neg "$n" ground gen_stratified "$n"
