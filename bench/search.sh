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

DIR=$(mktemp -d "${TMPDIR:-/tmp}/veltra-search.XXXXXX") || exit 1
if [ "${KEEP:-0}" != 1 ]; then
    trap 'rm -rf "$DIR"' EXIT INT TERM
else
    echo "inputs kept in $DIR" >&2
fi

# ---------------------------------------------------------------------------
# Workloads (awk with fixed seeds, so that any POSIX system generates the same
# inputs). Each writes Veltra's syntax; clingo's copy replaces " v " by " ; ".

# 3-colouring of a random graph of n nodes and m edges.
gen_colouring() {
    awk -v n="$1" -v m="$2" -v seed="$3" 'BEGIN {
        srand(seed)
        for (i = 1; i <= n; i++) printf "node(%d).\n", i
        for (k = 0; k < m; k++) {
            a = 1 + int(rand() * n); b = 1 + int(rand() * n)
            if (a != b && !((a, b) in seen) && !((b, a) in seen)) { seen[a, b] = 1; printf "edge(%d,%d).\n", a, b }
        }
        print "col(X,red) v col(X,green) v col(X,blue) :- node(X)."
        print ":- edge(X,Y), col(X,C), col(Y,C)."
    }'
}

# Hamiltonian cycle through node 1 of a random directed graph of n nodes, each
# with d random successors besides its successor on a hidden cycle (so that
# one exists).
gen_hamiltonian() {
    awk -v n="$1" -v d="$2" -v seed="$3" 'BEGIN {
        srand(seed)
        for (i = 1; i <= n; i++) {
            printf "node(%d).\n", i
            arc[i, i % n + 1] = 1
            for (k = 0; k < d; k++) { j = 1 + int(rand() * n); if (j != i) arc[i, j] = 1 }
        }
        for (key in arc) { split(key, p, SUBSEP); printf "arc(%d,%d).\n", p[1], p[2] }
        print "start(1)."
        print "in(X,Y) v out(X,Y) :- arc(X,Y)."
        print ":- in(X,Y), in(X,Z), Y != Z."
        print ":- in(X,Y), in(Z,Y), X != Z."
        print "reached(X) :- start(X)."
        print "reached(Y) :- reached(X), in(X,Y)."
        print ":- node(X), not reached(X)."
        print "entered(Y) :- in(X,Y)."
        print ":- start(X), not entered(X)."
    }'
}

# n queens: one queen per row by a disjunction, no two in a column or on a
# diagonal (the diagonals are numbered in the facts, so no arithmetic).
gen_queens() {
    awk -v n="$1" 'BEGIN {
        for (r = 1; r <= n; r++) {
            printf "row(%d).\n", r
            for (c = 1; c <= n; c++) printf "up(%d,%d,%d). down(%d,%d,%d).\n", r, c, r + c, r, c, r - c + n
        }
        for (r = 1; r <= n; r++) {
            printf "q(%d,1)", r
            for (c = 2; c <= n; c++) printf " v q(%d,%d)", r, c
            print "."
        }
        print ":- q(R1,C), q(R2,C), R1 < R2."
        print ":- q(R1,C1), q(R2,C2), up(R1,C1,D), up(R2,C2,D), R1 < R2."
        print ":- q(R1,C1), q(R2,C2), down(R1,C1,D), down(R2,C2,D), R1 < R2."
    }'
}

# Strategic companies: c companies, p products each made by up to four
# companies, every company controlled by up to four others with probability
# 1/2. Control makes strat(W) depend on strat(X) for W in a disjunction with
# X: head cycles, so every candidate needs a minimality check.
gen_strategic() {
    awk -v c="$1" -v p="$2" -v seed="$3" 'BEGIN {
        srand(seed)
        for (i = 1; i <= c; i++) printf "company(c%d).\n", i
        for (i = 1; i <= p; i++) {
            printf "produced_by(p%d", i
            for (k = 0; k < 4; k++) printf ",c%d", 1 + int(rand() * c)
            print ")."
        }
        for (i = 1; i <= c; i++) if (rand() < 0.5) {
            printf "controlled_by(c%d", i
            for (k = 0; k < 4; k++) printf ",c%d", 1 + int(rand() * c)
            print ")."
        }
        print "strat(X) v strat(Y) v strat(Z) v strat(W) :- produced_by(P,X,Y,Z,W)."
        print "strat(W) :- controlled_by(W,X,Y,Z,V), strat(X), strat(Y), strat(Z), strat(V)."
    }'
}

# Propagation cost: a chain p1 <- p2 <- ... of n rules behind one choice, and
# n independent choices a_i v b_i. One answer set of the first takes a single
# choice and n propagations; the second n levels.
gen_chain() {
    awk -v n="$1" 'BEGIN {
        print "p1 v q1."
        for (i = 1; i < n; i++) printf "p%d :- p%d.\n", i + 1, i
    }'
}
gen_choices() {
    awk -v n="$1" 'BEGIN { for (i = 1; i <= n; i++) printf "a%d v b%d.\n", i, i }'
}

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
