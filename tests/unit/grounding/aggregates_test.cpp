// Aggregate literals while grounding: decided on true atoms, kept with their
// ground sets over undefined atoms, assignments, and the bounds of each kind.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/support/ground.h"

using namespace veltra;

namespace {

struct AGGREGATECASE {
    const char* name;
    const char* program;
    const char* expected;  // the dump (groundtext.h)
};

TEST(GroundAggregates, DecidedKeptAndAssigned) {
    const AGGREGATECASE cases[] = {
        {"decided over facts",
         "p(1). p(2). p(3).\na :- #count{X : p(X)} >= 3.\nb :- #count{X : p(X)} > 3.\n"
         "c :- not #count{X : p(X)} > 3.\n",
         "true: a c\nundefined:\n"},
        {"assignments of every kind",
         "p(1). p(2). p(3).\ns(N) :- N = #sum{X : p(X)}.\nm(N) :- N = #max{X : p(X)}.\n"
         "n(N) :- N = #min{X : p(X)}.\nt(N) :- N = #times{X : p(X)}.\nc(N) :- N = #count{X : p(X)}.\n",
         "true: s(6) m(3) n(1) t(6) c(3)\nundefined:\n"},
        {"an assignment checked against a bound guard",
         "p(2). p(5). k(7). k(8).\nok(K) :- k(K), K = #sum{X : p(X)}.\n", "true: ok(7)\nundefined:\n"},
        {"a guard bound by the body", "p(1). p(2). g(1). g(2). g(3).\nat(G) :- g(G), #count{X : p(X)} >= G.\n",
         "true: at(1) at(2)\nundefined:\n"},
        {"a product with a true 0", "w(0). w(3).\nt(N) :- N = #times{X : w(X)}.\n", "true: t(0)\nundefined:\n"},
        {"#max without elements fails either way",
         "q(1).\nz(X) :- q(X), f(X).\nm :- #max{X : z(X)} > 0.\nn :- not #max{X : z(X)} > 0.\n",
         "true:\nundefined:\n"},
        {"kept over undefined atoms",
         "q(1).\np(1) v p(2) v p(3) :- q(1).\nok :- 2 <= #count{X : p(X)}.\n"
         "r(X) :- q(X), not #max{Y : p(Y)} > 2.\nall :- #count{X : p(X)} <= 3.\n",
         "true: all\nundefined: p(1) p(2) p(3) ok r(1)\n"
         "ok :- 2 <= #count{<1,p(1)>,<2,p(2)>,<3,p(3)>} <= 2147483647.\n"
         "p(1) v p(2) v p(3).\n"
         "r(1) :- not 3 <= #max{<1,p(1)>,<2,p(2)>,<3,p(3)>} <= 2147483647.\n"},
        {"true elements folded into the bounds",
         "q(1).\np(1). p(2) v p(3) :- q(1).\nok :- #sum{X : p(X)} >= 3.\nmore :- #sum{X : p(X)} > 6.\n",
         "true: p(1)\nundefined: p(2) p(3) ok\n"
         "ok :- 3 <= #sum{<2,p(2)>,<3,p(3)>} <= 2147483647.\np(2) v p(3).\n"},
    };
    for (const AGGREGATECASE& c : cases)
        for (int32_t ordering : {0, 1, 2}) {
            GROUNDSETTINGS settings;
            settings.bodyReordering = ordering;
            CHILDRUN run = groundText(c.program, settings);
            EXPECT_EQ(run.status, 0) << c.name << " -OGo" << ordering << "\n" << run.err;
            EXPECT_EQ(run.out, c.expected) << c.name << " -OGo" << ordering;
        }
}

TEST(GroundAggregates, AuxiliaryConjunction) {
    CHILDRUN run = groundText("p(1,a). p(2,b). p(3,a). s(a).\nn(C) :- C = #count{X : p(X,Y), s(Y)}.\n");
    EXPECT_EQ(run.status, 0) << run.err;
    // The auxiliary atoms of the conjunction are true as well.
    EXPECT_EQ(run.out.rfind("true: n(2) aux#", 0), 0u) << run.out;
}

TEST(GroundAggregates, TwoAssignments) {
    CHILDRUN run = groundText("p(1). p(2).\nr(X,Y) :- X = #count{Z : p(Z)}, Y = #sum{Z : p(Z)}.\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "true: r(2,3)\nundefined:\n");
}

}  // namespace

namespace {

TEST(GroundAggregates, CyclicAssignments) {
    CHILDRUN run = groundText("p(1,1). p(2,1).\nr(X,Y) :- X = #count{Z : p(Z,Y)}, Y = #count{Z : p(Z,X)}.\n");
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(run.err.rfind("Cyclic assignment dependency for _0 in _0 <= #count{_2 : ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("\nError occurs in \nr(_0,_1) :- _0 <= #count{"), std::string::npos) << run.err;
}

}  // namespace

namespace {

TEST(GroundAggregates, AssignedValueBeyondTheIntegerRange) {
    GROUNDSETTINGS settings;
    settings.maxInt = 999999999;
    CHILDRUN run = groundText("p(999999999). p(999999998). p(999999997).\ns(N) :- N = #sum{X : p(X)}.\n", settings);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Aggregate value 2999999994 does not fit a 32-bit integer in _0 <= #sum{_1 : p(_1)} <= _0\n");
    // As a bound it is compared in 64 bits: above every written upper guard,
    // never wrapped below a lower one; a missing upper guard bounds nothing.
    run = groundText("p(999999999). p(999999998). p(999999997).\ns :- #sum{X : p(X)} > 5.\n"
                     "t :- #sum{X : p(X)} > 999999999.\nu :- not #sum{X : p(X)} <= 999999999.\n",
                     settings);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "true: s t u\nundefined:\n");
}

}  // namespace
