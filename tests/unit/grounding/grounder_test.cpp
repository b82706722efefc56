// Whole programs through the grounder: the atoms it decides, the ground
// rules, constraints and weak constraints it keeps, the trace, and the
// messages and statuses with which it stops.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/support/ground.h"

using namespace veltra;

namespace {

struct GROUNDCASE {
    const char* name;
    const char* program;
    const char* expected;  // the dump (groundtext.h)
};

void expectGround(const GROUNDCASE& c, const GROUNDSETTINGS& settings) {
    CHILDRUN run = groundText(c.program, settings);
    EXPECT_EQ(run.status, 0) << c.name << "\n" << run.err;
    EXPECT_EQ(run.out, c.expected) << c.name;
    EXPECT_EQ(run.err, "") << c.name;
}

// Every ordering and semi-naive setting must give the same ground program.
void expectGroundEverywhere(const GROUNDCASE& c, int32_t maxInt = -1) {
    GROUNDSETTINGS settings;
    settings.maxInt = maxInt;
    for (int32_t ordering : {0, 1, 2}) {
        settings.bodyReordering = ordering;
        SCOPED_TRACE("-OGo" + std::to_string(ordering));
        expectGround(c, settings);
    }
    settings.semiNaive = false;
    SCOPED_TRACE("-OGs-");
    expectGround(c, settings);
}

TEST(GroundProgram, DeductiveDatabasePrograms) {
    const GROUNDCASE cases[] = {
        {"a fact derived from a fact", "q(1).\np(X) :- q(X).\n", "true: p(1)\nundefined:\n"},
        {"transitive closure",
         "e(1,2). e(2,3). e(3,1). e(4,5).\n"
         "t(X,Y) :- e(X,Y).\nt(X,Z) :- t(X,Y), e(Y,Z).\n",
         "true: t(1,1) t(1,2) t(1,3) t(2,1) t(2,2) t(2,3) t(3,1) t(3,2) t(3,3) t(4,5)\nundefined:\n"},
        {"non-linear recursion", "e(1,2). e(2,3). e(3,4).\nt(X,Y) :- e(X,Y).\nt(X,Y) :- t(X,Z), t(Z,Y).\n",
         "true: t(1,2) t(1,3) t(1,4) t(2,3) t(2,4) t(3,4)\nundefined:\n"},
        {"stratified negation",
         "e(1,2). e(2,3).\nn(X) :- e(X,Y).\nn(Y) :- e(X,Y).\nr(X,Y) :- e(X,Y).\nr(X,Z) :- r(X,Y), e(Y,Z).\n"
         "u(X,Y) :- n(X), n(Y), not r(X,Y).\n",
         "true: n(1) n(2) n(3) r(1,2) r(1,3) r(2,3) u(1,1) u(2,1) u(2,2) u(3,1) u(3,2) u(3,3)\nundefined:\n"},
        {"mutual recursion", "s(0).\neven(X) :- s(X).\nodd(Y) :- even(X), n(X,Y).\neven(Y) :- odd(X), n(X,Y).\n"
         "n(0,1). n(1,2). n(2,3).\n",
         "true: even(0) even(2) odd(1) odd(3)\nundefined:\n"},
        {"a body predicate without facts or rules", "p(1).\nr(X) :- s(X), p(X).\n", "true:\nundefined:\n"},
        {"a ground rule", "p(2).\nr(2) :- p(2).\nu(X) :- p(X), not r(X).\n", "true: r(2)\nundefined:\n"},
    };
    for (const GROUNDCASE& c : cases) expectGroundEverywhere(c);
}

TEST(GroundProgram, BuiltinsWithinMaxint) {
    const GROUNDCASE cases[] = {
        {"#int", "n(X) :- #int(X).\n", "true: n(0) n(1) n(2) n(3) n(4)\nundefined:\n"},
        {"#succ", "p(1). p(4).\ns(Y) :- p(X), #succ(X,Y).\n", "true: s(2)\nundefined:\n"},
        {"+ and *", "p(1). p(2). p(3).\nsum(Z) :- p(X), p(Y), +(X,Y,Z).\nprod(Z) :- p(X), p(Y), *(X,Y,Z).\n",
         "true: sum(2) sum(3) sum(4) prod(1) prod(2) prod(3) prod(4)\nundefined:\n"},
        {"counting up to #maxint", "c(0).\nc(Y) :- c(X), +(X,1,Y).\n", "true: c(0) c(1) c(2) c(3) c(4)\nundefined:\n"},
        {"comparisons, constants before integers",
         "c(beta). c(alpha). c(1).\nlt(X,Y) :- c(X), c(Y), X < Y.\nne(X) :- c(X), X != 1.\n",
         "true: lt(beta,1) lt(alpha,beta) lt(alpha,1) ne(beta) ne(alpha)\nundefined:\n"},
    };
    for (const GROUNDCASE& c : cases) expectGroundEverywhere(c, 4);
}

TEST(GroundProgram, DisjunctionAndSimplification) {
    const GROUNDCASE cases[] = {
        {"an undefined body stays",
         "a v b :- c.\nc v d.\n",
         "true:\nundefined: a b c d\na v b :- c.\nc v d.\n"},
        {"a head that collapses into a fact", "q(1,1). q(1,2).\np(X) v p(Y) :- q(X,Y).\n",
         "true: p(1)\nundefined:\n"},
        {"negated atoms of decided predicates are dropped",
         "p(1). p(2).\nr(2) :- p(2).\nv(X) v w(X) :- p(X).\nx(X) :- p(X), not v(X), not r(X).\n",
         "true: r(2)\nundefined: v(1) v(2) w(1) w(2) x(1)\nv(1) v w(1).\nv(2) v w(2).\nx(1) :- not v(1).\n"},
        {"a head made true later removes the rule",
         "x v y.\nz :- x.\nx :- w.\nw :- v.\nv.\n",
         "true: x z w\nundefined:\n"},
        {"constraints over the only disjunctive rule",
         "p(1). p(2). p(3).\na(X) v b(X) :- p(X).\n:- a(X), b(X).\n:- a(X), b(Y), X < Y.\n",
         "true:\nundefined: a(1) a(2) a(3) b(1) b(2) b(3)\na(1) v b(1).\na(2) v b(2).\na(3) v b(3).\n"
         ":- a(1), b(2).\n:- a(1), b(3).\n:- a(2), b(3).\n"},
    };
    for (const GROUNDCASE& c : cases) expectGroundEverywhere(c);
}

TEST(GroundProgram, WeakConstraints) {
    expectGroundEverywhere({"weights, levels and violated instances",
                            "p(1,2). p(2,0). p(3,1).\nc(X) v d(X) :- p(X,W).\n:~ p(X,W). [W:1]\n"
                            ":~ c(X), p(X,W). [1:2]\n:~ d(1). [3:999999999]\n",
                            "true:\nundefined: c(1) c(2) c(3) d(1) d(2) d(3)\n"
                            "c(1) v d(1).\nc(2) v d(2).\nc(3) v d(3).\n"
                            ":~ c(1). [1:2]\n:~ c(2). [1:2]\n:~ c(3). [1:2]\n:~ d(1). [3:999999999]\n"
                            "violated: :~ . [1:1]\nviolated: :~ . [2:1]\nmaxlevel: 999999999\n"});
    // A weight of 0 stores nothing but its level counts.
    expectGroundEverywhere({"weight 0", "p(0).\n:~ p(W). [W:4]\n", "true:\nundefined:\nmaxlevel: 4\n"});
}

TEST(GroundProgram, OneInstancePerRelevantBinding) {
    // r is decided, so Y distinguishes no rule or constraint instance and its
    // other values are not enumerated; every binding of a weak constraint
    // counts, so it is stored once per match of r.
    expectGroundEverywhere({"relevant variables",
                            "s(1). s(2).\nq(X) v z(X) :- s(X).\nr(1,5). r(1,6). r(2,7).\n"
                            ":- q(X), r(X,Y).\n:~ q(X), r(X,Y). [1:1]\nh(X) v g(X) :- q(X), r(X,Y).\n",
                            "true:\nundefined: q(1) q(2) z(1) z(2) h(1) h(2) g(1) g(2)\n"
                            "h(1) v g(1) :- q(1).\nh(2) v g(2) :- q(2).\nq(1) v z(1).\nq(2) v z(2).\n"
                            ":- q(1).\n:- q(2).\n"
                            ":~ q(1). [1:1]\n:~ q(1). [1:1]\n:~ q(2). [1:1]\nmaxlevel: 1\n"});
}

struct FAILURECASE {
    const char* name;
    const char* program;
    int status;
    const char* out;  // the grounding's own output, before the dump; null: not compared
    const char* err;
};

TEST(GroundProgram, StopsWithMessageAndStatus) {
    const FAILURECASE cases[] = {
        {"weight not an integer", "p(1,a).\n:~ p(X,W). [W:1]\n", 1, "",
         "Weight must be a non-negative integer in :~ p(_0,_1). [_1:1]\n"},
        {"level 0", "p(1,0).\n:~ p(X,Y). [1:Y]\n", 1, "", "Level must be a positive integer in :~ p(_0,_1). [1:_1]\n"},
        {"weight beyond the stored range", "p(2147484).\n:~ p(W). [W:1]\n", 1, "",
         "Weight must be at most 2147483 in :~ p(_0). [_0:1]\n"},
        {"a constraint always violated", "p(1). p(2).\nr(X) :- s(X).\n:- p(X), not r(X).\n:~ p(X). [1:1]\n", 100,
         "true:\nundefined:\n", ""},
        {"an aggregate over the rule's own component",
         "q(1). q(2).\np(X) :- q(X), #count{Y : p(Y)} < 2.\n", 101, "true:\nundefined:\n",
         "Error on rule p(_0) :- q(_0), 0 <= #count{_1 : p(_1)} <= 1. : the predicates appearing in the aggregate "
         "atom cannot be recursive with the head of the rule.\n"},
        {"an assignment over undefined atoms", "q(1).\np(1) v p(2) :- q(1).\ns(N) :- N = #sum{X : p(X)}.\n", 101,
         nullptr,
         "Aggregate function cannot be applied on disjunctive or unstratified predicates, if it is used in an "
         "assignment with an unbounded variable.\nError occurs in \ns(_0) :- _0 <= #sum{_1 : p(_1)} <= _0.\n"},
    };
    for (const FAILURECASE& c : cases) {
        CHILDRUN run = groundText(c.program);
        EXPECT_EQ(run.status, c.status) << c.name;
        if (c.out) {
            EXPECT_EQ(run.out, c.out) << c.name;
        }
        EXPECT_EQ(run.err, c.err) << c.name;
    }
}

TEST(GroundProgram, AlwaysViolatedConstraintUnderInstantiate) {
    GROUNDSETTINGS settings;
    settings.instantiate = true;
    CHILDRUN run = groundText("a v b.\np(1). p(2).\nr(X) :- s(X).\n:- p(X), not r(X).\n", settings);
    EXPECT_EQ(run.status, 100);
    EXPECT_EQ(run.out,
              "% The following constraint will always be violated\n"
              "% :- p(_0), not r(_0).\n"
              "% so this program does not have any answer set.\n"
              ":- not a_Constant_Never_Occurring_In_Regular_Programs.\n"
              "true:\nundefined: a b\n");
}

TEST(GroundProgram, UnorderedComparisonBeforeItsBinder) {
    const char* program = "p(1). p(2).\nq(X) :- X > 1, p(X).\n";
    GROUNDSETTINGS settings;
    settings.bodyReordering = 0;
    CHILDRUN run = groundText(program, settings);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "Simple built-in predicate used on unbound parameters.\n"
              "Could not compensate due to -OGo0 - giving up.\n");
    for (int32_t ordering : {1, 2}) {
        settings.bodyReordering = ordering;
        EXPECT_EQ(groundText(program, settings).out, "true: q(2)\nundefined:\n") << ordering;
    }
    // An arithmetic built-in may wait for its binder under -OGo0.
    settings.bodyReordering = 0;
    settings.maxInt = 5;
    EXPECT_EQ(groundText("p(1). p(2).\nq(Y) :- +(X,1,Y), p(X).\n", settings).out, "true: q(2) q(3)\nundefined:\n");
}

TEST(GroundProgram, StatisticsTrace) {
    GROUNDSETTINGS settings;
    settings.statsGrounding = true;
    CHILDRUN run = groundText("e(1,2). e(2,3).\nt(X,Y) :- e(X,Y).\nt(X,Y) :- t(X,Z), t(Z,Y).\n:- t(3,X).\n", settings);
    EXPECT_EQ(run.status, 0);
    // Timings vary: compare the trace with every timing line replaced.
    std::string trace;
    size_t from = 0;
    while (from < run.err.size()) {
        size_t end = run.err.find('\n', from);
        std::string line = run.err.substr(from, end - from);
        if (line.find("   inst. time ") != std::string::npos) line = "<time>";
        trace += line + "\n";
        from = end + 1;
    }
    const std::string separator = "               ------------------------------\n\n";
    EXPECT_EQ(trace,
              "               t(_0,_1) :- e(_0,_1).\n<time>\n" + separator +
                  "               t(_0,_1) :- t(_0,_2), t(_2,_1).\n"
                  "               Ordered Body:\n               t(_2,_1), t(_0,_2)\n<time>\n" +
                  separator +
                  "               t(_0,_1) :- t(_0,_2), t(_2,_1).\n"
                  "               Ordered Body:\n               t(_0,_2), t(_2,_1)\n"
                  "               Ordered Body:\n               t(_2,_1), t(_0,_2)\n<time>\n" +
                  separator + "               :- t(3,_0).\n<time>\n" + separator);
}

}  // namespace
