# bench/generators.sh: the workload generators of the benchmark scripts, sourced
# by families.sh, grounding.sh and search.sh. Each writes one program in Veltra's
# syntax on standard output; optional arguments default to the sizes and seeds
# of families.sh.

# Reachability along a chain of n edges: n semi-naive rounds of one new atom.
gen_chain_reach() {
    awk -v n="$1" 'BEGIN {
        for (i = 0; i < n; i++) printf "e(%d,%d).\n", i, i + 1
        print "r(0)."
        print "r(Y) :- r(X), e(X,Y)."
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

# n independent choices a_i v b_i: n search levels.
gen_choices() {
    awk -v n="$1" 'BEGIN { for (i = 1; i <= n; i++) printf "a%d v b%d.\n", i, i }'
}

# n independent choices with weak constraints: a_i costs 1 to 3 at level 1,
# or 1 at level 2 where i is a multiple of 7. The optimum, all b_i, costs
# nothing, so the first answer set the search finds ends it; a cost above the
# least possible would make the specified search prove it by refuting an
# exponential tree.
gen_weighted_choices() {
    awk -v n="$1" 'BEGIN {
        for (i = 1; i <= n; i++) {
            if (i % 7 == 0) printf "a%d v b%d.\n:~ a%d. [1:2]\n", i, i, i
            else printf "a%d v b%d.\n:~ a%d. [%d:1]\n", i, i, i, i % 3 + 1
        }
    }'
}

# 3-colouring of a random graph of n nodes and about 2n edges.
gen_colouring() {
    awk -v n="$1" -v m="${2:-$(($1 * 2))}" -v seed="${3:-3}" 'BEGIN {
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
    awk -v n="$1" -v d="${2:-2}" -v seed="${3:-5}" 'BEGIN {
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
    awk -v c="$1" -v p="${2:-$(($1 * 3))}" -v seed="${3:-13}" 'BEGIN {
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
