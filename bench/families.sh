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

# Reachability along a chain of n edges: n semi-naive rounds of one new atom.
gen_chain_reach() {
    awk -v n="$1" 'BEGIN {
        for (i = 0; i < n; i++) printf "e(%d,%d).\n", i, i + 1
        print "r(0)."
        print "r(Y) :- r(X), e(X,Y)."
    }'
}

# n independent choices a_i v b_i: n search levels.
gen_choices() {
    awk -v n="$1" 'BEGIN { for (i = 1; i <= n; i++) printf "a%d v b%d.\n", i, i }'
}

# 3-colouring of a random graph of n nodes and about 2n edges.
gen_colouring() {
    awk -v n="$1" -v m="$(($1 * 2))" -v seed=3 'BEGIN {
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
# with two random successors besides its successor on a hidden cycle.
gen_hamiltonian() {
    awk -v n="$1" -v d=2 -v seed=5 'BEGIN {
        srand(seed)
        for (i = 1; i <= n; i++) {
            printf "node(%d).\n", i
            arc[i, i % n + 1] = 1
            for (k = 0; k < d; k++) { j = 1 + int(rand() * n); if (j != i) arc[i, j] = 1 }
        }
        for (i = 1; i <= n; i++) for (j = 1; j <= n; j++) if ((i, j) in arc) printf "arc(%d,%d).\n", i, j
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
# diagonal (the diagonals are numbered in the facts).
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

# Strategic companies: c companies, 3c products each made by up to four
# companies, half of the companies controlled by up to four others: head
# cycles, so every candidate needs a minimality check.
gen_strategic() {
    awk -v c="$1" -v p="$(($1 * 3))" -v seed=13 'BEGIN {
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

# 2QBF "exists X forall Y: D", D a random DNF of m terms, each with one
# literal of X and three of Y, by saturation: an answer set exists exactly when
# the formula holds (the minimality check refutes every other candidate).
gen_qbf() {
    awk -v nx="$1" -v ny="$2" -v m="$3" -v seed="$4" 'BEGIN {
        srand(seed)
        for (i = 1; i <= nx; i++) printf "x(%d) v nx(%d).\n", i, i
        for (j = 1; j <= ny; j++) printf "y(%d) v ny(%d).\ny(%d) :- w.\nny(%d) :- w.\n", j, j, j, j
        for (k = 0; k < m; k++) {
            line = "w :- "
            for (l = 0; l < 4; l++) {
                if (l < 1) { v = 1 + int(rand() * nx); a = "x" } else { v = 1 + int(rand() * ny); a = "y" }
                if (rand() < 0.5) a = "n" a
                line = line (l ? ", " : "") a "(" v ")"
            }
            print line "."
        }
        print ":- not w."
    }'
}

# A chain of k objects, each below the one before: every object adds a fact
# and inherits a rule; the last one overrides an atom of the first.
gen_objects() {
    awk -v k="$1" 'BEGIN {
        print "o1 { t. p(1). flag :- t. q(X) :- p(X), not r(X). }"
        for (i = 2; i < k; i++) printf "o%d : o%d { p(%d). }\n", i, i - 1, i
        printf "o%d : o%d { p(%d). -flag. r(1). }\n", k, k - 1, k
    }'
}

# The grounding families: transitive closure over a chain and over random
# graphs, same generation over a tree, a fact base with stratified negation.
gen_tc_chain() {
    awk -v n="$1" 'BEGIN {
        for (i = 1; i < n; i++) printf "edge(%d,%d).\n", i, i + 1
        print "reach(X,Y) :- edge(X,Y)."
        print "reach(X,Z) :- reach(X,Y), edge(Y,Z)."
    }'
}
gen_tc_random() {
    awk -v n="$1" -v m="$2" 'BEGIN {
        srand(7)
        for (k = 0; k < m; k++) {
            a = 1 + int(rand() * n); b = 1 + int(rand() * n)
            if (!((a, b) in seen)) { seen[a, b] = 1; printf "edge(%d,%d).\n", a, b }
        }
        print "reach(X,Y) :- edge(X,Y)."
        print "reach(X,Z) :- edge(X,Y), reach(Y,Z)."
    }'
}
gen_same_generation() {
    awk -v depth="$1" -v fan="$2" 'BEGIN {
        next_id = 1; count[0] = 1; first[0] = 1
        for (d = 1; d <= depth; d++) {
            first[d] = next_id + 1; count[d] = count[d - 1] * fan
            for (k = 0; k < count[d]; k++) {
                child = first[d] + k; parent = first[d - 1] + int(k / fan)
                printf "par(%d,%d).\n", child, parent
            }
            next_id = first[d] + count[d] - 1
        }
        for (i = 1; i <= next_id; i++) printf "person(%d).\n", i
        print "sg(X,X) :- person(X)."
        print "sg(X,Y) :- par(X,XP), sg(XP,YP), par(Y,YP)."
    }'
}
gen_stratified() {
    awk -v n="$1" 'BEGIN {
        srand(11)
        for (i = 1; i <= n; i++) {
            printf "customer(%d).\n", i
            printf "order(%d,%d,%d).\n", i, i % 97, int(rand() * 1000)
            if (i % 3 == 0) printf "order(%d,%d,%d).\n", i, (i * 7) % 97, int(rand() * 1000)
            if (i % 17 == 0) printf "blacklisted(%d).\n", i
            if (i % 5 == 0) printf "region(%d,%d).\n", i, i % 13
        }
        for (p = 0; p < 97; p++) if (p % 4 != 0) printf "stocked(%d).\n", p
        print "ordered(C,P) :- order(C,P,Q)."
        print "missing(C,P) :- ordered(C,P), not stocked(P)."
        print "affected(C) :- missing(C,P)."
        print "good(C) :- customer(C), not affected(C), not blacklisted(C)."
        print "local(C,R) :- good(C), region(C,R)."
        print "remote(C) :- good(C), not hasRegion(C)."
        print "hasRegion(C) :- region(C,R)."
        print "big(C,Q) :- order(C,P,Q), Q > 900, not blacklisted(C)."
    }'
}

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
#   MODE: first (the first answer set), all (every answer set), ground (the
#   ground program: -instantiate against clingo --mode=gringo), brave:QUERY
#   (brave reasoning: Veltra's query "QUERY?", clingo the same program with
#   ":- not ATOM." per query atom and one answer set), veltra-only (first
#   answer set, no clingo encoding).
run() {
    family=$1 label_size=$2 mode=$3
    shift 3
    selected "$family" || return 0
    "$@" >"$DIR/in.dl"
    sed 's/ v / ; /g' "$DIR/in.dl" >"$DIR/in.lp"
    clingo_args="--mode=clingo -q -n 1"
    case $mode in
        first | veltra-only) veltra_args="-silent -n=1" ;;
        all) veltra_args="-silent -n=0" clingo_args="--mode=clingo -q -n 0" ;;
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
