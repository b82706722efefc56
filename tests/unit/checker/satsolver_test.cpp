// The model checker's satisfiability solver on clause sets with known answers,
// against a brute-force checker on random small clause sets, and on large sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "checker/sat/satsolver.h"

using namespace veltra;

namespace {

// A clause set in DIMACS form: variables 1..n, -v the negative literal.
using CLAUSE = std::vector<int32_t>;
using CNF = std::vector<CLAUSE>;

// Variable v is ground atom 2v + 1: the set leaves the atoms in between
// unmarked, so the numbering of marked atoms is exercised.
ATOMID atomOf(int32_t variable) { return 2 * variable + 1; }

// Who answers while in scope (satState.decideAfterBacktracks): clause learning
// alone (the default), the look-ahead search asking clause learning on its
// turn, or the search alone.
constexpr int64_t DECIDE_ALONE = 0, SEARCH_ASKING = 32, SEARCH_ALONE = -1;
struct ANSWERING {
    const int64_t saved = satState.decideAfterBacktracks;
    explicit ANSWERING(int64_t after) { satState.decideAfterBacktracks = after; }
    ~ANSWERING() { satState.decideAfterBacktracks = saved; }
};

struct PROBLEM {
    std::vector<GROUNDRULE> rules;
    std::vector<GROUNDCONSTRAINT> constraints;
    ATOMFLAGS set;
};

// A clause with a positive literal becomes a rule (positive literals in the
// head, the others in the body), one without becomes a constraint. Body signs
// alternate: the solver reads every body literal as a negative literal.
PROBLEM encode(int32_t n, const CNF& cnf) {
    PROBLEM p;
    p.set.assign(size_t(2 * n + 3), 0);
    for (int32_t v = 1; v <= n; ++v) p.set[atomOf(v)] = 1;
    for (const CLAUSE& clause : cnf) {
        std::vector<ATOMID> head;
        GROUNDCONJUNCTION body;
        uint8_t sign = 0;
        for (int32_t l : clause) {
            if (l > 0) {
                head.push_back(atomOf(l));
            } else {
                body.addLiteral({atomOf(-l), sign});
                sign ^= 1;
            }
        }
        if (!head.empty()) {
            p.rules.emplace_back(&head, body.literals.empty() ? nullptr : &body);
        } else if (!body.literals.empty()) {
            GROUNDCONSTRAINT c;
            c.body = body;
            p.constraints.push_back(std::move(c));
        } else {
            p.rules.emplace_back(&head, nullptr);  // the empty clause
        }
    }
    return p;
}

bool satisfies(const ATOMFLAGS& model, const CNF& cnf) {
    for (const CLAUSE& clause : cnf) {
        bool sat = false;
        for (int32_t l : clause) sat = sat || (l > 0 ? model[atomOf(l)] == 1 : model[atomOf(-l)] == 0);
        if (!sat) return false;
    }
    return true;
}

// Solves; when satisfiable, checks that the model satisfies every clause and
// marks no atom outside the set.
bool solveChecked(int32_t n, const CNF& cnf, ATOMFLAGS* modelOut = nullptr) {
    PROBLEM p = encode(n, cnf);
    ATOMFLAGS model(p.set.size(), 7);
    bool result = satSolve(p.rules, p.constraints, &p.set, &model);
    EXPECT_EQ(model.size(), p.set.size());
    if (result) {
        EXPECT_TRUE(satisfies(model, cnf));
        for (size_t i = 0; i < model.size(); ++i) {
            if (!p.set[i]) {
                EXPECT_EQ(model[i], 0) << "atom " << i << " is outside the set";
            }
        }
    } else {
        EXPECT_EQ(model, ATOMFLAGS(p.set.size(), 7)) << "an unsatisfiable call wrote the model";
    }
    if (modelOut) *modelOut = model;
    return result;
}

bool bruteForce(int32_t n, const CNF& cnf) {
    for (uint32_t bits = 0; bits < (1u << n); ++bits) {
        bool all = true;
        for (const CLAUSE& clause : cnf) {
            bool sat = false;
            for (int32_t l : clause) {
                bool value = (bits >> (std::abs(l) - 1)) & 1;
                sat = sat || (l > 0 ? value : !value);
            }
            if (!sat) {
                all = false;
                break;
            }
        }
        if (all) return true;
    }
    return false;
}

CNF pigeonhole(int32_t pigeons, int32_t holes) {
    auto p = [holes](int32_t i, int32_t j) { return i * holes + j + 1; };
    CNF cnf;
    for (int32_t i = 0; i < pigeons; ++i) {
        CLAUSE some;
        for (int32_t j = 0; j < holes; ++j) some.push_back(p(i, j));
        cnf.push_back(some);
    }
    for (int32_t j = 0; j < holes; ++j)
        for (int32_t i = 0; i < pigeons; ++i)
            for (int32_t k = i + 1; k < pigeons; ++k) cnf.push_back({-p(i, j), -p(k, j)});
    return cnf;
}

CNF randomCnf(std::mt19937& random, int32_t n, int32_t clauses, int32_t minLength, int32_t maxLength) {
    std::uniform_int_distribution<int32_t> variable(1, n), length(minLength, maxLength), sign(0, 1);
    CNF cnf(static_cast<size_t>(clauses));
    for (CLAUSE& clause : cnf) {
        int32_t k = length(random);
        for (int32_t i = 0; i < k; ++i) clause.push_back(sign(random) ? variable(random) : -variable(random));
    }
    return cnf;
}

// A family of random clause sets: its seed, the range of the variable count,
// clauses per variable (times ten), clause lengths and how many sets.
struct CNFSHAPE {
    uint32_t seed;
    int32_t minVariables, maxVariables;
    int32_t clausesPerVariableTimes10;
    int32_t minLength, maxLength;
    int32_t instances;
    int32_t headStep = 0;  // > 0: a first clause of every headStep-th variable, positive
};

// Calls visit(n, cnf, shape, k) on every clause set of the shapes in turn, k
// counting the sets of a shape, until visit returns false.
template <class VISIT>
void forEachShapedCnf(const std::vector<CNFSHAPE>& shapes, VISIT visit) {
    for (const CNFSHAPE& shape : shapes) {
        std::mt19937 random(shape.seed);
        std::uniform_int_distribution<int32_t> size(shape.minVariables, shape.maxVariables);
        for (int32_t k = 0; k < shape.instances; ++k) {
            int32_t n = size(random);
            int32_t m = std::max(1, n * shape.clausesPerVariableTimes10 / 10);
            CNF cnf = randomCnf(random, n, m, shape.minLength, shape.maxLength);
            if (shape.headStep > 0) {
                CLAUSE head;
                for (int32_t v = 1; v <= n; v += shape.headStep) head.push_back(v);
                cnf.insert(cnf.begin(), head);
            }
            if (!visit(n, cnf, shape, k)) return;
        }
    }
}

// A fold of a run's figures into one number that a test pins.
struct FOLD {
    uint64_t value = 1469598103934665603ull;
    void mix(int64_t x) { value = (value ^ uint64_t(x)) * 1099511628211ull; }
};

// Calls check(n, cnf, expected, where) on every clause set of the shapes,
// expected being exhaustive enumeration's verdict and where naming the set,
// until a fatal failure; then checks that both verdicts occur often enough
// for the comparison to mean something.
template <class CHECK>
void checkShapedCnfs(const std::vector<CNFSHAPE>& shapes, CHECK check) {
    int32_t satisfiable = 0, total = 0;
    forEachShapedCnf(shapes, [&](int32_t n, const CNF& cnf, const CNFSHAPE& shape, int32_t k) {
        bool expected = bruteForce(n, cnf);
        check(n, cnf, expected, "seed " + std::to_string(shape.seed) + " instance " + std::to_string(k));
        if (::testing::Test::HasFatalFailure()) return false;
        satisfiable += expected;
        ++total;
        return true;
    });
    if (::testing::Test::HasFatalFailure()) return;
    EXPECT_GT(satisfiable, total / 5);
    EXPECT_LT(satisfiable, total * 4 / 5);
}

struct KNOWNCASE {
    const char* name;
    int32_t variables;
    CNF cnf;
    bool satisfiable;
};

const std::vector<KNOWNCASE> knownCases = {
    {"no clauses", 3, {}, true},
    {"one unit", 2, {{1}}, true},
    {"unit and its complement", 1, {{1}, {-1}}, false},
    {"units satisfy everything at the root", 3, {{1}, {-2}, {1, 3}, {-2, 3}}, true},
    {"unit chain to a conflict", 4, {{1}, {-1, 2}, {-2, 3}, {-3, 4}, {-4, -1}}, false},
    {"all four clauses over two variables", 2, {{1, 2}, {1, -2}, {-1, 2}, {-1, -2}}, false},
    {"three of four clauses over two variables", 2, {{1, 2}, {1, -2}, {-1, 2}}, true},
    {"duplicate literal", 2, {{1, 1}, {-1, 2, 2}}, true},
    {"duplicate negative literal forces false", 1, {{-1, -1}, {1, 1}}, false},
    {"tautology alone", 1, {{1, -1}}, true},
    {"tautologies beside an unsatisfiable core", 3, {{1, -1}, {2, 3, -2}, {3}, {-3}}, false},
    {"tautology and units", 2, {{1, -1, 2}, {-2}, {1}}, true},
    {"only negative occurrences", 3, {{-1, -2}, {-2, -3}, {-1, -2, -3}}, true},
    {"pigeonhole 3 into 3", 9, pigeonhole(3, 3), true},
    {"pigeonhole 4 into 3", 12, pigeonhole(4, 3), false},
    {"pigeonhole 5 into 4", 20, pigeonhole(5, 4), false},
    {"exactly one of three, twice negated",
     3,
     {{1, 2, 3}, {-1, -2}, {-1, -3}, {-2, -3}, {-1}, {-2}},
     true},
    {"xor chain of odd parity with even constraint",
     3,
     {{1, 2}, {-1, -2}, {2, 3}, {-2, -3}, {1, 3}, {-1, -3}},
     false},
};

class SatKnown : public testing::TestWithParam<KNOWNCASE> {};

TEST_P(SatKnown, ResultAndModel) {
    const KNOWNCASE& c = GetParam();
    EXPECT_EQ(solveChecked(c.variables, c.cnf), c.satisfiable);
}

INSTANTIATE_TEST_SUITE_P(Cases, SatKnown, testing::ValuesIn(knownCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p) name += std::isalnum(uint8_t(*p)) ? *p : '_';
    return name;
});

TEST(SatSolver, NoClausesMarksEveryAtomOfTheSet) {
    ATOMFLAGS model;
    EXPECT_TRUE(solveChecked(4, {}, &model));
    for (int32_t v = 1; v <= 4; ++v) EXPECT_EQ(model[atomOf(v)], 1);
}

// The look-ahead search takes pure literals in variable order: 1 occurs only
// negatively and becomes false, which satisfies the clause; 2 then occurs in
// no active clause, and such a variable is taken true.
TEST(SatSolver, PureLiteralsInVariableOrder) {
    ANSWERING search(SEARCH_ALONE);
    ATOMFLAGS model;
    EXPECT_TRUE(solveChecked(2, {{-1, -2}}, &model));
    EXPECT_EQ(model[atomOf(1)], 0);
    EXPECT_EQ(model[atomOf(2)], 1);
    EXPECT_TRUE(solveChecked(3, {{-2, 3}, {-2, -3}}, &model));
    EXPECT_EQ(model, ATOMFLAGS({0, 0, 0, 1, 0, 0, 0, 1, 0}));
}

// Which model the look-ahead search finds: a decision tries true first, a
// tie in weight goes to the variable examined first, and a failed trial
// forces the other value.
TEST(SatSolver, ModelsFollowTheBranchingRules) {
    ANSWERING search(SEARCH_ALONE);
    struct MODELCASE {
        const char* rule;
        int32_t variables;
        CNF cnf;
        std::vector<uint8_t> values;  // of variables 1..n
    };
    const std::vector<MODELCASE> cases = {
        {"tie: the first variable is decided true", 2, {{1, 2}, {-1, -2}}, {1, 0}},
        {"tie after a pure literal", 3, {{-1}, {2, 3}, {-2, -3}}, {0, 1, 0}},
        {"true trial fails: forced false", 3, {{1, 2}, {-1, -2}, {-1, 3}, {-1, -3}}, {0, 1, 1}},
        {"false trial fails: forced true", 3, {{1, 2}, {-1, -2}, {1, 3}, {1, -3}}, {1, 0, 1}},
    };
    for (const MODELCASE& c : cases) {
        ATOMFLAGS model;
        ASSERT_TRUE(solveChecked(c.variables, c.cnf, &model)) << c.rule;
        for (int32_t v = 1; v <= c.variables; ++v)
            EXPECT_EQ(model[atomOf(v)], c.values[v - 1]) << c.rule << ", variable " << v;
    }
}

// Every body literal is a negative literal of the clause, default negation
// or not: with b and c forced true, a v :- b, not c forces a.
TEST(SatSolver, BodyLiteralsAreNegativeWhateverTheirSign) {
    ATOMFLAGS set(3, 1), model(3, 0);
    std::vector<ATOMID> head{0}, hb{1}, hc{2};
    GROUNDCONJUNCTION body;
    body.addLiteral({1, 0});
    body.addLiteral({2, 1});
    std::vector<GROUNDRULE> rules;
    rules.emplace_back(&head, &body);
    rules.emplace_back(&hb, nullptr);
    rules.emplace_back(&hc, nullptr);
    std::vector<GROUNDCONSTRAINT> constraints;
    ASSERT_TRUE(satSolve(rules, constraints, &set, &model));
    EXPECT_EQ(model, ATOMFLAGS({1, 1, 1}));
    GROUNDCONSTRAINT notA;
    notA.body.addLiteral({0, 1});
    constraints.push_back(notA);
    EXPECT_FALSE(satSolve(rules, constraints, &set, &model));
}

// A clause without literals: a rule with no head atom and no body. The answer
// is unsatisfiable at once, whatever else the set holds.
TEST(SatSolver, EmptyClauseIsUnsatisfiable) {
    struct EMPTYCASE {
        int32_t variables;
        CNF cnf;
    };
    const std::vector<EMPTYCASE> cases = {
        {0, {{}}},
        {2, {{}}},
        {3, {{1, 2}, {}, {-3}}},
        {2, {{1}, {2}, {}}},
        {20, pigeonhole(4, 5)},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        CNF cnf = cases[i].cnf;
        if (i == 4) cnf.push_back({});
        EXPECT_FALSE(solveChecked(cases[i].variables, cnf)) << "case " << i;
    }
    // A rule without a head vector at all reads as the same empty clause.
    ATOMFLAGS set(2, 1);
    std::vector<GROUNDRULE> rules(1);
    EXPECT_FALSE(satSolve(rules, {}, &set, nullptr));
}

// The clause store: variables number the marked atoms in ascending order,
// and the root propagation leaves the clauses it did not satisfy to the search.
TEST(SatSolver, BuildClausesNumbersMarkedAtomsAndPropagatesUnits) {
    ATOMFLAGS set{0, 1, 0, 1, 1, 0};
    std::vector<ATOMID> a1{1}, a3a4{3, 4}, a4{4};
    GROUNDCONJUNCTION b1, b3;
    b1.addLiteral({1, 0});
    b3.addLiteral({3, 1});
    std::vector<GROUNDRULE> rules;
    rules.emplace_back(&a1, nullptr);  // 1.
    rules.emplace_back(&a3a4, &b1);    // 3 v 4 :- 1.
    rules.emplace_back(&a4, &b3);      // 4 :- not 3.
    std::vector<GROUNDCONSTRAINT> constraints;
    std::vector<int32_t> variableOfAtom;
    ASSERT_EQ(satBuildClauses(rules, constraints, &set, variableOfAtom), 1);
    EXPECT_EQ(variableOfAtom, std::vector<int32_t>({0, 1, 0, 2, 3, 0}));
    EXPECT_EQ(satState.variableCount, 3);
    EXPECT_EQ(satState.clauseCount, 3);
    EXPECT_EQ(satState.clausesToSatisfy, 2);  // the unit clause is satisfied at the root
    EXPECT_EQ(satState.clauseLength[1], 2);   // 3 v 4 v -1 lost -1
    // Two-literal counts at build time: the clause 4 v -3 (variables 2, 1).
    EXPECT_EQ(satState.binaryCount[2], 1);
    EXPECT_EQ(satState.binaryCount[satState.negative(1)], 1);
    EXPECT_EQ(satState.binaryCount[1], 0);

    // 1. and 4 :- 1. and :- 4. conflict at the root.
    GROUNDCONSTRAINT not4;
    not4.body.addLiteral({4, 0});
    constraints.push_back(not4);
    rules.erase(rules.begin() + 1);
    rules.emplace_back(&a4, &b1);
    EXPECT_EQ(satBuildClauses(rules, constraints, &set, variableOfAtom), -1);
}

TEST(SatSolver, NoModelSlotAndEmptySet) {
    PROBLEM p = encode(3, {{1, 2}, {-1, 3}});
    EXPECT_TRUE(satSolve(p.rules, p.constraints, &p.set, nullptr));
    ATOMFLAGS empty, model{5};
    EXPECT_TRUE(satSolve({}, {}, &empty, &model));
    EXPECT_TRUE(model.empty());
}

// Calls reuse the solver's arrays: a small call after a large one and a large
// call after a small one start from a clean state.
TEST(SatSolver, CallsAreIndependent) {
    std::mt19937 random(7);
    CNF large = randomCnf(random, 150, 600, 3, 3);
    bool largeResult = solveChecked(150, large);
    EXPECT_FALSE(solveChecked(1, {{1}, {-1}}));
    EXPECT_TRUE(solveChecked(2, {{1, 2}}));
    EXPECT_EQ(solveChecked(150, large), largeResult);
    EXPECT_FALSE(solveChecked(12, pigeonhole(4, 3)));
}

// Random clause sets against exhaustive enumeration, from fixed seeds. Each
// table row fixes the shape; lengths 1 and 2 make root units, conflicts and
// pure literals common, longer clauses exercise the look-ahead passes.
TEST(SatSolver, AgreesWithBruteForce) {
    const std::vector<CNFSHAPE> shapes = {
        {1, 1, 6, 20, 1, 3, 1500},    // tiny, many units
        {2, 4, 12, 43, 3, 3, 800},    // 3-SAT near the threshold
        {3, 6, 14, 25, 2, 2, 800},    // 2-SAT
        {4, 8, 16, 50, 2, 5, 500},    // mixed lengths
        {5, 10, 16, 90, 4, 6, 300},   // long clauses near their threshold
        {6, 12, 18, 30, 1, 4, 300},   // larger, mixed
    };
    checkShapedCnfs(shapes, [](int32_t n, const CNF& cnf, bool expected, const std::string& where) {
        ASSERT_EQ(solveChecked(n, cnf), expected) << where;
    });
}

// The look-ahead search alone against exhaustive enumeration with no
// look-ahead budget: every branching step then stops its first and second
// pass at once and its third pass at the first candidate or forced value, and
// the next step goes on from there.
TEST(SatSolver, AgreesWithBruteForceWithoutLookaheadBudget) {
    ANSWERING search(SEARCH_ALONE);
    int64_t savedBudget = satState.lookaheadBudget;
    satState.lookaheadBudget = 0;
    std::mt19937 random(11);
    for (int32_t k = 0; k < 1500; ++k) {
        int32_t n = 3 + k % 14;
        CNF cnf = randomCnf(random, n, n * 4 + 1, 1 + k % 3, 3 + k % 3);
        ASSERT_EQ(solveChecked(n, cnf), bruteForce(n, cnf)) << "instance " << k;
    }
    satState.lookaheadBudget = savedBudget;
}

// Beyond brute force: the exact look-ahead (a budget no step reaches) and the
// windowed one (no budget) search differently and must agree on every answer,
// and with clause learning alone.
TEST(SatSolver, ExactAndWindowedLookaheadAgree) {
    int64_t savedBudget = satState.lookaheadBudget;
    std::mt19937 random(23);
    int32_t satisfiable = 0;
    for (int32_t k = 0; k < 150; ++k) {
        int32_t n = 40 + k % 50;
        CNF cnf = randomCnf(random, n, n * 42 / 10, 3, 3);
        bool exact, learnt = solveChecked(n, cnf);
        {
            ANSWERING search(SEARCH_ALONE);
            satState.lookaheadBudget = INT64_MAX;
            exact = solveChecked(n, cnf);
            satState.lookaheadBudget = 0;
            ASSERT_EQ(solveChecked(n, cnf), exact) << "instance " << k;
        }
        ASSERT_EQ(learnt, exact) << "instance " << k;
        satisfiable += exact;
    }
    satState.lookaheadBudget = savedBudget;
    EXPECT_GT(satisfiable, 20);
    EXPECT_LT(satisfiable, 130);
}

// The look-ahead search's whole course, pinned: over seeded random clause
// sets of several shapes (small and large, with the look-ahead budget reached
// or absent) and two pigeonhole sets, the verdict, the model, the backtracks,
// the look-ahead work and the probe counter of every call of the search
// alone, folded into one number. A faster search must leave this number as
// it is; a change of the branching rules changes it on purpose.
TEST(SatSolver, SearchCourseIsPinned) {
    ANSWERING search(SEARCH_ALONE);
    struct ROW {
        uint32_t seed;
        int32_t minVariables, maxVariables;
        int32_t clausesPerVariableTimes10;
        int32_t minLength, maxLength;
        int32_t instances;
        bool budget;  // false: no look-ahead budget at all
    };
    const std::vector<ROW> rows = {
        {41, 10, 30, 43, 3, 3, 200, true},   // 3-SAT near the threshold
        {42, 40, 80, 42, 3, 3, 40, true},    // larger: probes, several passes
        {43, 200, 260, 40, 3, 3, 4, true},   // steps that reach the budget
        {44, 10, 40, 30, 1, 5, 100, false},  // mixed lengths, windowed
        {45, 20, 60, 35, 2, 6, 60, true},    // two-literal and long clauses
    };
    const int64_t savedBudget = satState.lookaheadBudget;
    FOLD fold;
    auto run = [&fold](int32_t n, const CNF& cnf) {
        PROBLEM p = encode(n, cnf);
        ATOMFLAGS model;
        satState.backtracks = satState.searchWork = satState.lookaheadWork = 0;
        satState.probeCounter = 0;
        const bool result = satSolve(p.rules, p.constraints, &p.set, &model);
        fold.mix(result);
        if (result)
            for (int32_t v = 1; v <= n; ++v) fold.mix(model[atomOf(v)]);
        fold.mix(satState.backtracks);
        fold.mix(satState.searchWork + satState.lookaheadWork);
        fold.mix(satState.probeCounter);
    };
    int32_t calls = 0;
    for (const ROW& row : rows) {
        satState.lookaheadBudget = row.budget ? savedBudget : 0;
        std::mt19937 random(row.seed);
        std::uniform_int_distribution<int32_t> size(row.minVariables, row.maxVariables);
        for (int32_t k = 0; k < row.instances; ++k, ++calls) {
            const int32_t n = size(random);
            run(n, randomCnf(random, n, n * row.clausesPerVariableTimes10 / 10, row.minLength, row.maxLength));
        }
    }
    satState.lookaheadBudget = savedBudget;
    run(20, pigeonhole(5, 4));
    run(30, pigeonhole(6, 5));
    EXPECT_EQ(calls, 404);
    EXPECT_EQ(fold.value, 0x589bfb38d97b6524ull);
}

// The same pin through satSolveClauses, the model checker's entry, on the
// shapes where the clause state has its edge cases: few variables, so that
// clauses repeat literals (an assignment can make a clause false outside a
// propagation) and hold both signs of a variable; clauses of three to eight
// literals around the four a look-ahead trial reads from their fixed slots;
// and a long first clause beside two-literal ones, as the unfounded-set
// program's head clause. Clauses are placed directly, literal codes as in
// satState, and a model is asked for only now and then.
TEST(SatSolver, SearchCourseIsPinnedOnClauseEdgeCases) {
    ANSWERING search(SEARCH_ALONE);
    const std::vector<CNFSHAPE> rows = {
        {71, 2, 6, 25, 1, 4, 300},       // repeats, tautologies, root units
        {72, 8, 20, 30, 2, 5, 150},      // some repeats, lengths up to five
        {73, 20, 50, 40, 3, 8, 60},      // wider clauses
        {74, 30, 90, 25, 2, 2, 40, 2},   // two-literal clauses under a long first one
    };
    FOLD fold;
    std::vector<uint8_t> model;
    int32_t calls = 0;
    forEachShapedCnf(rows, [&](int32_t n, const CNF& cnf, const CNFSHAPE&, int32_t k) {
        ++calls;
        satState.variableCount = n;
        satState.clauseStart.assign(1, 0);
        satState.clauseLiterals.clear();
        for (const CLAUSE& clause : cnf) {
            for (int32_t l : clause) satState.clauseLiterals.push_back(l > 0 ? l - 1 : n - l - 1);
            satState.clauseStart.push_back(int32_t(satState.clauseLiterals.size()));
        }
        const bool wanted = k % 3 != 0;
        const bool result = satSolveClauses(wanted ? &model : nullptr);
        fold.mix(result);
        if (result && wanted)
            for (uint8_t b : model) fold.mix(b);
        fold.mix(satState.backtracks);
        fold.mix(satState.searchWork + satState.lookaheadWork);
        fold.mix(satState.probeCounter);
        return true;
    });
    EXPECT_EQ(calls, 550);
    EXPECT_EQ(fold.value, 0x2b228e88ad7a40faull);
}

// The look-ahead search on its own, with its model when satisfiable.
bool searchOnly(int32_t n, const CNF& cnf, ATOMFLAGS* model) {
    ANSWERING search(SEARCH_ALONE);
    return solveChecked(n, cnf, model);
}

// Clause learning against exhaustive enumeration and the look-ahead search
// on its own. Answering alone, it gives the same verdict with and without a
// model slot, and its model satisfies every clause (solveChecked); asked by
// the search at its first, second or 32nd backtrack, it leaves the model
// exactly as the search alone finds it. Rows fix seeds and shapes; short
// clauses make root units, repeated literals and tautologies common, longer
// ones conflicts deep in the search.
TEST(SatDecide, AgreesWithBruteForceAndTheSearch) {
    const std::vector<CNFSHAPE> shapes = {
        {101, 1, 6, 20, 1, 2, 800},    // tiny, units and binaries
        {102, 4, 12, 43, 3, 3, 800},   // 3-SAT near the threshold
        {103, 6, 16, 25, 2, 4, 800},   // mixed lengths
        {104, 8, 16, 90, 4, 6, 400},   // long clauses near their threshold
        {105, 2, 5, 60, 1, 5, 600},    // few variables: repeats and tautologies
    };
    checkShapedCnfs(shapes, [&](int32_t n, const CNF& cnf, bool expected, const std::string& where) {
        ATOMFLAGS searchModel;
        ASSERT_EQ(searchOnly(n, cnf, &searchModel), expected) << where;
        ASSERT_EQ(solveChecked(n, cnf), expected) << where;
        PROBLEM p = encode(n, cnf);
        ASSERT_EQ(satSolve(p.rules, p.constraints, &p.set, nullptr), expected) << where;
        for (int64_t after : {int64_t(1), int64_t(2), SEARCH_ASKING}) {
            ANSWERING asking(after);
            ATOMFLAGS model;
            ASSERT_EQ(solveChecked(n, cnf, &model), expected) << where;
            ASSERT_EQ(model, searchModel) << where << " after " << after;
        }
    });
}

// The clauses of encode() placed directly in satState, in the order satSolve
// reads them: rules before constraints; in a clause its positive literals,
// then the negative ones the body holds as positive literals (every other
// one from the first; a body lists those first), then the rest.
void placeClauses(int32_t n, const CNF& cnf) {
    satState.variableCount = n;
    satState.clauseStart.assign(1, 0);
    satState.clauseLiterals.clear();
    for (bool rules : {true, false})
        for (const CLAUSE& clause : cnf) {
            bool isRule = clause.empty();
            for (int32_t l : clause) isRule = isRule || l > 0;
            if (isRule != rules) continue;
            for (int32_t l : clause)
                if (l > 0) satState.clauseLiterals.push_back(l - 1);
            for (int32_t parity : {0, 1}) {
                int32_t k = 0;
                for (int32_t l : clause)
                    if (l < 0 && k++ % 2 == parity) satState.clauseLiterals.push_back(n - l - 1);
            }
            satState.clauseStart.push_back(int32_t(satState.clauseLiterals.size()));
        }
}

// satSolve and satSolveClauses on the same clauses give the same verdict and
// the same model, whoever answers.
TEST(SatSolver, SolveAndSolveClausesAgree) {
    const std::vector<CNFSHAPE> shapes = {
        {111, 1, 6, 25, 1, 3, 600},   // tiny: units, repeats, empty models
        {112, 6, 14, 43, 3, 3, 300},  // 3-SAT near the threshold
        {113, 8, 16, 35, 1, 6, 300},  // mixed lengths
    };
    for (int64_t after : {DECIDE_ALONE, SEARCH_ASKING, SEARCH_ALONE}) {
        ANSWERING answering(after);
        checkShapedCnfs(shapes, [&](int32_t n, const CNF& cnf, bool expected, const std::string& where) {
            ATOMFLAGS model;
            ASSERT_EQ(solveChecked(n, cnf, &model), expected) << where;
            placeClauses(n, cnf);
            std::vector<uint8_t> variableModel(3, 9);
            ASSERT_EQ(satSolveClauses(&variableModel), expected) << where;
            if (!expected) return;
            ASSERT_EQ(variableModel.size(), size_t(n)) << where;
            for (int32_t v = 1; v <= n; ++v)
                ASSERT_EQ(variableModel[size_t(v - 1)], model[atomOf(v)]) << where << " after " << after << " variable " << v;
        });
    }
}

// Clause learning's whole course when it answers alone, the default, pinned
// like the search's: over seeded random clause sets shaped as above and as
// unfounded-set programs (a long first clause over the atoms to check beside
// short implications), through satSolveClauses, the verdict, the model and
// the conflicts, decisions and propagations of every call, folded into one
// number. The model checker hands the model to the model generator as an
// unfounded set, which steers its backjumps and statistics: a faster decider
// must leave this number as it is.
TEST(SatDecide, CourseIsPinned) {
    const std::vector<CNFSHAPE> rows = {
        {121, 2, 8, 25, 1, 4, 300},       // repeats, tautologies, root units
        {122, 20, 60, 42, 3, 3, 100},     // 3-SAT near the threshold
        {123, 40, 100, 30, 2, 5, 60, 3},  // mixed lengths, under a head clause
        {124, 60, 120, 40, 2, 4, 40, 3},  // larger, under a head clause
    };
    FOLD fold;
    std::vector<uint8_t> model;
    int32_t calls = 0;
    forEachShapedCnf(rows, [&](int32_t n, const CNF& cnf, const CNFSHAPE&, int32_t) {
        ++calls;
        placeClauses(n, cnf);
        const bool result = satSolveClauses(&model);
        fold.mix(result);
        if (result)
            for (uint8_t b : model) fold.mix(b);
        fold.mix(satDecider.conflicts);
        fold.mix(satDecider.decisions);
        fold.mix(satDecider.propagations);
        return true;
    });
    EXPECT_EQ(calls, 500);
    EXPECT_EQ(fold.value, 0x66e26569e54c6065ull);
}

// Clause learning answering first (the default) agrees with the search on
// random 3-SAT near the threshold, where it backjumps and restarts, within
// its first grant of work; it refutes the smaller pigeonhole sets within
// that grant, and the search takes over the larger ones. Asked at the first
// backtrack, it leaves the search's model as it is.
TEST(SatDecide, AgreesWithTheSearchOnLargerSets) {
    const int64_t saved = satState.decideAfterBacktracks;
    std::mt19937 random(29);
    int32_t satisfiable = 0, learnt = 0;
    for (int32_t k = 0; k < 120; ++k) {
        int32_t n = 40 + k % 50;
        CNF cnf = randomCnf(random, n, n * 43 / 10, 3, 3);
        ATOMFLAGS searchModel, model;
        bool expected = searchOnly(n, cnf, &searchModel);
        PROBLEM p = encode(n, cnf);
        satState.decideAfterBacktracks = 0;
        ASSERT_EQ(satSolve(p.rules, p.constraints, &p.set, nullptr), expected) << "instance " << k;
        ASSERT_EQ(satState.proved || satState.refuted, true) << "instance " << k;
        learnt += satDecider.conflicts > 0;
        satState.decideAfterBacktracks = 1;
        ASSERT_EQ(solveChecked(n, cnf, &model), expected) << "instance " << k;
        ASSERT_EQ(model, searchModel) << "instance " << k;
        satisfiable += expected;
    }
    EXPECT_GT(satisfiable, 20);
    EXPECT_LT(satisfiable, 100);
    EXPECT_GT(learnt, 60);
    satState.decideAfterBacktracks = 0;
    for (int32_t holes = 2; holes <= 6; ++holes) {
        CNF cnf = pigeonhole(holes + 1, holes);
        PROBLEM p = encode((holes + 1) * holes, cnf);
        EXPECT_FALSE(satSolve(p.rules, p.constraints, &p.set, nullptr)) << holes << " holes";
        if (holes <= 4) {
            EXPECT_TRUE(satState.refuted) << holes << " holes: within the first grant";
        } else {
            EXPECT_GT(satState.backtracks, 0) << holes << " holes: the search took over";
        }
    }
    satState.decideAfterBacktracks = saved;
}

// Keys name variables across calls, as the model checker's atoms do. Places
// cnf with its variables renumbered: variable v of cnf becomes the position
// of key keys[v - 1] in order (the keys given ascending); the clauses go in
// the order given. Returns the keys of the placed variables, in numbering
// order.
std::vector<int32_t> placeKeyedClauses(int32_t n, const CNF& cnf, const std::vector<int32_t>& keys) {
    std::vector<int32_t> order(keys);
    std::sort(order.begin(), order.end());
    CNF renumbered;
    for (const CLAUSE& clause : cnf) {
        CLAUSE c;
        for (int32_t l : clause) {
            const int32_t at = int32_t(std::lower_bound(order.begin(), order.end(), keys[size_t(std::abs(l) - 1)]) -
                                       order.begin()) + 1;
            c.push_back(l > 0 ? at : -at);
        }
        renumbered.push_back(c);
    }
    placeClauses(n, renumbered);
    return order;
}

// Whether a model of the placed variables (keys in numbering order) read
// back through the keys satisfies cnf over keys.
bool keyedModelSatisfies(const CNF& cnf, const std::vector<int32_t>& keys, const std::vector<int32_t>& order,
                         const std::vector<uint8_t>& model) {
    for (const CLAUSE& clause : cnf) {
        bool sat = false;
        for (int32_t l : clause) {
            const size_t at = size_t(std::lower_bound(order.begin(), order.end(), keys[size_t(std::abs(l) - 1)]) -
                                     order.begin());
            sat = sat || (l > 0) == (model[at] == 1);
        }
        if (!sat) return false;
    }
    return true;
}

// The state clause learning carries between calls with keys never changes a
// verdict: over seeded random clause sets whose variables draw their keys
// from a small pool (so that a key meets other clauses each call, and its
// carried activity and phase mislead as often as they help), in sequences
// now and then cut by satForgetKeys, whoever answers, against exhaustive
// enumeration; a model satisfies every clause. The carried state does steer:
// the course differs from a fresh start on many sets.
TEST(SatDecide, CarriedStateNeverChangesAVerdict) {
    const std::vector<CNFSHAPE> shapes = {
        {131, 2, 8, 25, 1, 4, 600},    // repeats, tautologies, root units
        {132, 8, 14, 43, 3, 3, 600},   // 3-SAT near the threshold
        {133, 8, 16, 30, 2, 5, 400, 3},  // under a head clause
    };
    std::mt19937 random(77);
    std::vector<int32_t> pool(24);
    std::vector<uint8_t> model, freshModel;
    int32_t steered = 0, calls = 0;
    satForgetKeys();
    for (int64_t after : {DECIDE_ALONE, SEARCH_ASKING, DECIDE_ALONE}) {
        ANSWERING answering(after);
        checkShapedCnfs(shapes, [&](int32_t n, const CNF& cnf, bool expected, const std::string& where) {
            if (random() % 50 == 0) satForgetKeys();
            for (size_t i = 0; i < pool.size(); ++i) pool[i] = int32_t(i);
            std::shuffle(pool.begin(), pool.end(), random);
            const std::vector<int32_t> keys(pool.begin(), pool.begin() + n);
            placeClauses(n, cnf);
            ASSERT_EQ(satSolveClauses(&freshModel), expected) << where;
            const int64_t freshConflicts = satDecider.conflicts, freshDecisions = satDecider.decisions;
            const std::vector<int32_t> order = placeKeyedClauses(n, cnf, keys);
            ++calls;
            ASSERT_EQ(satSolveClauses(&model, order.data()), expected) << where << " after " << after;
            if (expected) {
                ASSERT_TRUE(keyedModelSatisfies(cnf, keys, order, model)) << where;
            }
            steered += satDecider.conflicts != freshConflicts || satDecider.decisions != freshDecisions;
        });
    }
    satForgetKeys();
    EXPECT_EQ(calls, 4800);
    EXPECT_GT(steered, calls / 10);
}

// A call with keys hands its model to the next: the same clauses again, with
// the variables numbered otherwise and the clauses reversed, are answered
// without a conflict and with the same model (decisions follow the carried
// values, and no clause is false under a model). Once forgotten, the
// carried state leaves a call with keys as a fresh start: the same course
// and model as without keys.
TEST(SatDecide, CarriedModelAnswersTheSameClausesWithoutAConflict) {
    std::mt19937 random(41);
    int32_t satisfiable = 0;
    for (int32_t k = 0; k < 40; ++k) {
        const int32_t n = 60;
        const CNF cnf = randomCnf(random, n, 240, 3, 3);
        std::vector<int32_t> keys(static_cast<size_t>(n));
        for (int32_t v = 0; v < n; ++v) keys[size_t(v)] = 3 * v + 1;

        satForgetKeys();
        placeClauses(n, cnf);
        std::vector<uint8_t> freshModel, model, again;
        const bool expected = satSolveClauses(&freshModel);
        const int64_t fresh[3] = {satDecider.conflicts, satDecider.decisions, satDecider.propagations};
        const std::vector<int32_t> order = placeKeyedClauses(n, cnf, keys);
        ASSERT_EQ(satSolveClauses(&model, order.data()), expected) << "instance " << k;
        EXPECT_EQ(satDecider.conflicts, fresh[0]) << "instance " << k;
        EXPECT_EQ(satDecider.decisions, fresh[1]) << "instance " << k;
        EXPECT_EQ(satDecider.propagations, fresh[2]) << "instance " << k;
        if (!expected) continue;
        ++satisfiable;
        EXPECT_EQ(model, freshModel) << "instance " << k;
        ASSERT_TRUE(keyedModelSatisfies(cnf, keys, order, model)) << "instance " << k;

        // Renumbered: keys in descending order, clauses reversed.
        std::vector<int32_t> renamed(keys.size());
        for (int32_t v = 0; v < n; ++v) renamed[size_t(v)] = 1000 - keys[size_t(v)];
        CNF reversed(cnf.rbegin(), cnf.rend());
        const std::vector<int32_t> order2 = placeKeyedClauses(n, reversed, renamed);
        // The keys must name the same variables: map the new ones back.
        std::vector<int32_t> sameKeys(order2.size());
        for (size_t i = 0; i < order2.size(); ++i) sameKeys[i] = 1000 - order2[i];
        ASSERT_TRUE(satSolveClauses(&again, sameKeys.data())) << "instance " << k;
        EXPECT_EQ(satDecider.conflicts, 0) << "instance " << k;
        for (size_t i = 0; i < again.size(); ++i) {
            const size_t at = size_t(std::find(order.begin(), order.end(), sameKeys[i]) - order.begin());
            ASSERT_EQ(again[i], model[at]) << "instance " << k << " key " << sameKeys[i];
        }
    }
    satForgetKeys();
    EXPECT_GT(satisfiable, 10);
}

// Two copies of one random circuit of and- and xor-gates over the same
// inputs whose outputs must differ: the look-ahead search alone backtracks
// hundreds of times; asked at the 32nd backtrack, clause learning refutes the
// set within its first grants.
TEST(SatDecide, RefutesCircuitEquivalenceEarly) {
    const int32_t inputs = 18, gates = 400;
    std::mt19937 random(5);
    std::vector<std::array<int32_t, 3>> gate;
    for (int32_t g = 0; g < gates; ++g) {
        std::uniform_int_distribution<int32_t> pick(0, inputs + g - 1);
        int32_t left = pick(random), right = pick(random);
        gate.push_back({left, right, int32_t(random() % 2)});
    }
    CNF cnf;
    int32_t output[2] = {0, 0};
    for (int32_t copy = 0; copy < 2; ++copy) {
        std::vector<int32_t> variable(size_t(inputs + gates));
        for (int32_t i = 0; i < inputs; ++i) variable[size_t(i)] = i + 1;
        for (int32_t g = 0; g < gates; ++g) {
            int32_t z = inputs + copy * gates + g + 1;
            int32_t a = variable[size_t(gate[size_t(g)][0])], b = variable[size_t(gate[size_t(g)][1])];
            variable[size_t(inputs + g)] = z;
            if (gate[size_t(g)][2]) {
                cnf.insert(cnf.end(), {{-z, a}, {-z, b}, {z, -a, -b}});
            } else {
                cnf.insert(cnf.end(), {{-z, a, b}, {-z, -a, -b}, {z, -a, b}, {z, a, -b}});
            }
        }
        output[copy] = variable[size_t(inputs + gates - 1)];
    }
    cnf.push_back({output[0], output[1]});
    cnf.push_back({-output[0], -output[1]});
    const int32_t n = inputs + 2 * gates;

    EXPECT_FALSE(searchOnly(n, cnf, nullptr));
    const int64_t alone = satState.backtracks;
    ANSWERING asking(SEARCH_ASKING);
    EXPECT_FALSE(solveChecked(n, cnf));
    EXPECT_TRUE(satState.refuted);
    EXPECT_GT(alone, 4 * satState.backtracks);
    EXPECT_LE(satState.backtracks, 4 * satState.decideAfterBacktracks);
}

// Pairs a <-> b that exclude each other, under a clause demanding one of all
// the atoms: the look-ahead search alone refutes them with one backtrack,
// forcing one pair per branching step after a look-ahead pass; asked once
// the search's look-ahead work has grown, clause learning refutes the set
// with one conflict per pair.
TEST(SatDecide, RefutesExcludedPairsAfterLittleLookahead) {
    const int32_t pairs = 5000, n = 2 * pairs;
    CNF cnf(1);
    for (int32_t v = 1; v <= n; ++v) cnf[0].push_back(v);
    for (int32_t a = 1; a < n; a += 2) cnf.insert(cnf.end(), {{-a, -(a + 1)}, {a + 1, -a}, {a, -(a + 1)}});

    EXPECT_FALSE(searchOnly(n, cnf, nullptr));
    EXPECT_LE(satState.backtracks, 1);
    const int64_t alone = satState.searchWork;
    ANSWERING asking(SEARCH_ASKING);
    EXPECT_FALSE(solveChecked(n, cnf));
    EXPECT_TRUE(satState.refuted);
    EXPECT_LE(satDecider.conflicts, pairs + 1);
    EXPECT_GT(alone, 8 * satState.searchWork);
}

// The work of clause learning grows linearly on an implication cycle with a
// clause over three of its atoms (satisfiable), and on a chain whose start
// and middle both imply its end, which excludes both while a clause demands
// one of them (unsatisfiable): twice the variables, about twice the
// literals propagated.
TEST(SatDecide, PropagationWorkGrowsLinearly) {
    const int64_t saved = satState.decideAfterBacktracks;
    satState.decideAfterBacktracks = 0;
    auto work = [](int32_t n, bool chain) {
        CNF cnf;
        if (chain) {
            for (int32_t i = 1; i < n; ++i) cnf.push_back({-i, i + 1});
            cnf.push_back({1, n / 2});
            cnf.push_back({-1, -n});
            cnf.push_back({-(n / 2), -n});
        } else {
            cnf.push_back({1, n / 2, n});
            for (int32_t i = 1; i <= n; ++i) cnf.push_back({-i, i % n + 1});
        }
        PROBLEM p = encode(n, cnf);
        EXPECT_EQ(satSolve(p.rules, p.constraints, &p.set, nullptr), !chain);
        EXPECT_TRUE(satState.proved || satState.refuted);
        return satDecider.propagations;
    };
    for (bool chain : {false, true}) {
        int64_t small = work(20000, chain), large = work(40000, chain);
        EXPECT_GE(small, 20000) << chain;
        EXPECT_LE(large, 2 * small + 8) << chain;
    }
    satState.decideAfterBacktracks = saved;
}

// Unfounded-set shaped clause sets: a clause over the atoms to check, and
// clauses h -> b1 v ... (body atom in the set, or head atom missing).
CNF implicationCycle(int32_t n, bool closeWithConstraint) {
    CNF cnf;
    cnf.push_back({1, n / 2, n});
    for (int32_t i = 1; i <= n; ++i) cnf.push_back({-i, i % n + 1});
    if (closeWithConstraint) cnf.push_back({-(n / 3)});
    return cnf;
}

TEST(SatSolverLarge, ImplicationCycleIsSatisfiable) {
    ATOMFLAGS model;
    const int32_t n = 300000;
    ASSERT_TRUE(solveChecked(n, implicationCycle(n, false), &model));
    for (int32_t v = 1; v <= n; ++v) ASSERT_EQ(model[atomOf(v)], 1);
}

TEST(SatSolverLarge, ImplicationCycleWithAnExcludedAtomIsUnsatisfiable) {
    EXPECT_FALSE(solveChecked(300000, implicationCycle(300000, true)));
}

// An unfounded-set shaped program that needs many decisions: a clause over the
// atoms to check, for every atom x two clauses x -> y v z and x -> a v b v c
// over random atoms, and every tenth atom excluded.
TEST(SatSolverLarge, UnfoundedSetShapeWithManyDecisions) {
    std::mt19937 random(5);
    const int32_t n = 30000;
    std::uniform_int_distribution<int32_t> atom(1, n);
    CNF cnf(1);
    for (int32_t i = 1; i <= 500; ++i) cnf[0].push_back(i);
    for (int32_t x = 1; x <= n; ++x) {
        cnf.push_back({-x, atom(random), atom(random)});
        cnf.push_back({-x, atom(random), atom(random), atom(random)});
        if (x % 10 == 0) cnf.push_back({-x});
    }
    EXPECT_TRUE(solveChecked(n, cnf));
}

// Many independent small parts: every part needs its own decision.
TEST(SatSolverLarge, ManyIndependentParts) {
    CNF cnf;
    const int32_t parts = 2000;
    for (int32_t i = 0; i < parts; ++i) {
        int32_t a = 3 * i + 1, b = a + 1, c = a + 2;
        cnf.push_back({a, b, c});
        cnf.push_back({-a, -b});
        cnf.push_back({-b, -c});
        cnf.push_back({-a, -c});
        cnf.push_back({a, -b, c});
    }
    EXPECT_TRUE(solveChecked(3 * parts, cnf));
    cnf.push_back({-1});
    cnf.push_back({-3});
    EXPECT_FALSE(solveChecked(3 * parts, cnf));
}

TEST(SatSolverLarge, RandomThreeSatNearThreshold) {
    std::mt19937 random(2026);
    int32_t satisfiable = 0;
    for (int32_t k = 0; k < 4; ++k) {
        CNF cnf = randomCnf(random, 120, 511, 3, 3);
        satisfiable += solveChecked(120, cnf);
    }
    SUCCEED() << satisfiable << " of 4 satisfiable";
}

}  // namespace
