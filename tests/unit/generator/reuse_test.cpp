// Reused lookaheads and kept possibly-true literals change nothing: on random
// programs under several heuristic settings, the search with reuse finds
// the same answer sets in the same order and counts the same lookaheads,
// choice points and conflicts as the search that propagates every
// lookahead and visits every atom at every level; and every record it
// reuses equals the propagation it stands for, run alongside.
#include <cstdio>
#include <sstream>

#include "analysis/rewrite.h"
#include "driver/options.h"
#include "tests/unit/support/child.h"
#include "tests/unit/support/ground.h"
#include "tests/unit/support/randomprograms.h"
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

// Disjunctive facts keep atoms open; rules with negation, positive
// recursion (head cycles) and constraints make lookaheads fail, decide
// twin head atoms and restart computations.
std::string randomProgram(RANDOM& r) {
    const uint32_t atoms = 8 + r.below(17);
    auto atom = [&]() { return "a" + std::to_string(r.below(atoms)); };
    std::ostringstream text;
    const uint32_t facts = 2 + r.below(5);
    for (uint32_t k = 0; k < facts; ++k) {
        text << atom() << " v " << atom();
        if (r.below(3) == 0) text << " v " << atom();
        text << ".\n";
    }
    const uint32_t rules = r.below(2 * atoms);
    for (uint32_t k = 0; k < rules; ++k) {
        text << atom();
        if (r.below(3) == 0) text << " v " << atom();
        const uint32_t literals = 1 + r.below(3);
        for (uint32_t i = 0; i < literals; ++i)
            text << (i ? ", " : " :- ") << (r.below(3) == 0 ? "not " : "") << atom();
        text << ".\n";
    }
    const uint32_t constraints = r.below(atoms / 2);
    for (uint32_t k = 0; k < constraints; ++k) {
        const uint32_t literals = 1 + r.below(3);
        for (uint32_t i = 0; i < literals; ++i) text << (i ? ", " : ":- ") << (r.below(4) == 0 ? "not " : "") << atom();
        text << ".\n";
    }
    return text.str();
}

// 3-colourings of a random graph: long runs of levels without conflicts.
std::string randomColouring(RANDOM& r) {
    const uint32_t nodes = 6 + r.below(15);
    std::ostringstream text;
    for (uint32_t i = 0; i < nodes; ++i) text << "node(" << i << ").\n";
    const uint32_t edges = nodes + r.below(nodes);
    for (uint32_t k = 0; k < edges; ++k) {
        const uint32_t a = r.below(nodes), b = r.below(nodes);
        if (a != b) text << "edge(" << a << "," << b << ").\n";
    }
    text << "col(X,r) v col(X,g) v col(X,b) :- node(X).\n:- edge(X,Y), col(X,C), col(Y,C).\n";
    return text.str();
}

// Groups of choices with constraints between near groups and weak
// constraints on up to three levels: the optimisation's bound tightens,
// lookaheads fail on it and their complements raise the cost.
std::string randomOptimisation(RANDOM& r) {
    const uint32_t groups = 4 + r.below(14);
    std::ostringstream text;
    auto atom = [&](uint32_t g) { return "c" + std::to_string(g) + "_" + std::to_string(r.below(2)); };
    auto near = [&](uint32_t g) { return std::min(groups - 1, g + r.below(4)); };
    for (uint32_t g = 0; g < groups; ++g) {
        text << "c" << g << "_0 v c" << g << "_1";
        if (r.below(3) == 0) text << " v c" << g << "_2";
        text << ".\n";
    }
    for (uint32_t k = r.below(groups); k > 0; --k) {
        const uint32_t g = r.below(groups);
        text << ":- " << atom(g) << ", " << atom(near(g)) << ".\n";
    }
    for (uint32_t k = r.below(groups / 2 + 1); k > 0; --k) {
        const uint32_t g = r.below(groups);
        text << "d" << g << " :- " << atom(g) << ", " << (r.below(3) == 0 ? "not " : "") << atom(near(g)) << ".\n";
        text << ":~ d" << g << ". [" << 1 + r.below(4) << ":" << 1 + r.below(2) << "]\n";
    }
    const uint32_t levels = 1 + r.below(3);
    for (uint32_t k = 1 + r.below(2 * groups); k > 0; --k) {
        const uint32_t g = r.below(groups);
        text << ":~ " << atom(g);
        if (r.below(2) == 0) text << ", " << (r.below(3) == 0 ? "not " : "") << atom(near(g));
        text << ". [" << 1 + r.below(6) << ":" << 1 + r.below(levels) << "]\n";
    }
    return text.str();
}

// "p(i) v q(i)." for i below n.
std::string choicePairs(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "p(" + std::to_string(i) + ") v q(" + std::to_string(i) + ").\n";
    return text;
}

// Choices with small aggregates over ranges of them, in constraints and in
// rule bodies: lookaheads read aggregate states that other choices change.
std::string randomAggregates(RANDOM& r) {
    const uint32_t n = 4 + r.below(26);
    std::ostringstream text;
    text << choicePairs(int(n));
    static const char* const functions[] = {"#count", "#count", "#sum", "#sum", "#times", "#min", "#max"};
    static const char* const guards[] = {">", "<", "=", ">=", "<="};
    for (uint32_t k = 1 + r.below(n); k > 0; --k) {
        // Some ranges span every choice: a #count over more than 16
        // elements keeps its changes apart from the neighbourhoods.
        const bool wide = r.below(4) == 0;
        const uint32_t lo = wide ? 0 : r.below(n), hi = wide ? 2 * n : lo + r.below(4);
        const char* f = functions[r.below(7)];
        std::ostringstream aggregate;
        aggregate << f << "{X: " << (r.below(2) ? "p" : "q") << "(X), X >= " << lo << ", X <= " << hi << "} "
                  << guards[r.below(5)] << " " << 1 + r.below(f[1] == 'm' || wide ? n : 4);
        const std::string atom = std::string(r.below(2) ? "p(" : "q(") + std::to_string(r.below(n)) + ")";
        switch (r.below(3)) {
        case 0: text << ":- " << aggregate.str() << ".\n"; break;
        case 1: text << ":- not " << aggregate.str() << ", " << atom << ".\n"; break;
        default: text << "a" << k << " :- " << aggregate.str() << ".\n:- a" << k << ", " << atom << ".\n"; break;
        }
    }
    return text.str();
}

// Choices in rules and constraints of more than 16 atoms (heads among
// them, some body literals negated, now and then an atom twice or a head in
// a cycle): lookaheads read rules that other choices change.
std::string randomLongRules(RANDOM& r) {
    const uint32_t n = 9 + r.below(22);
    std::ostringstream text;
    text << choicePairs(int(n));
    auto atom = [&]() { return std::string(r.below(2) ? "p(" : "q(") + std::to_string(r.below(n)) + ")"; };
    for (uint32_t k = 1 + r.below(3); k > 0; --k) {
        // A rule, or now and then a constraint.
        const uint32_t heads = r.below(4) == 0 ? 2 + r.below(2) : r.below(4) == 0 ? 0 : 1;
        for (uint32_t i = 0; i < heads; ++i)
            text << (i ? " v " : "") << (r.below(3) == 0 ? atom() : "h" + std::to_string(r.below(4)));
        // Distinct body atoms, unless one repeats on purpose.
        std::vector<uint32_t> picks(2 * n);
        for (uint32_t i = 0; i < 2 * n; ++i) picks[i] = i;
        const uint32_t size = 17 + r.below(std::min(2 * n, 30u) - 16);
        for (uint32_t i = 0; i < size; ++i) {
            std::swap(picks[i], picks[i + r.below(2 * n - i)]);
            const uint32_t x = i + 1 == size && r.below(8) == 0 ? picks[0] : picks[i];
            text << (i ? ", " : " :- ") << (r.below(4) == 0 ? "not " : "") << (x < n ? "p(" : "q(") << x % n << ")";
        }
        text << ".\n";
    }
    for (uint32_t h = 0; h < 4; ++h)
        switch (r.below(4)) {
        case 0: text << ":- h" << h << ", " << atom() << ".\n"; break;
        case 1: text << ":- not h" << h << ", " << atom() << ".\n"; break;
        case 2: text << "h" << h << " :- " << atom() << ", " << atom() << ".\n"; break;
        default: break;
        }
    if (r.below(4) == 0) text << "p(1) :- h0, " << atom() << ".\n";  // a cycle through a head
    for (uint32_t k = r.below(5); k > 0; --k) text << ":- " << atom() << ", " << atom() << ".\n";
    return text.str();
}

struct SETTING {
    const char* criteria;  // "--heuristic=" list; "" for none
    const char* combine;   // "--combineheuristic=" list
    int32_t ptCacheSize;
    bool complementPT, canChooseComplementPT;
};

std::vector<uint32_t> numbers(const char* list) {
    std::vector<uint32_t> v;
    std::istringstream in(list);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty()) v.push_back(uint32_t(std::stoul(item)));
    return v;
}

struct OUTCOME {
    std::vector<std::vector<int32_t>> answerSets;  // true atoms, in the order found
    std::vector<uint64_t> counters;
    uint64_t lookaheadsRun = 0, atomsVisited = 0;
};

std::vector<std::vector<int32_t>>* found = nullptr;

bool collect(MODELGENERATOR*, const ATOMSET&, const INTERPRETATION* I) {
    std::vector<int32_t> m;
    for (int32_t a = 0; a < int32_t(I->values.size()); ++a)
        if (isTrueValue(I->values[a])) m.push_back(a);
    found->push_back(m);
    return found->size() < 200;
}

// verify: the generator's verifyReuse.
OUTCOME search(const SETTING& s, bool reuse, uint32_t checkFlags, int verify = 0) {
    OPTIONS.ptCacheSize = s.ptCacheSize;
    OPTIONS.complementPT = s.complementPT;
    OPTIONS.canChooseComplementPT = s.canChooseComplementPT;
    const std::vector<uint32_t> criteria = numbers(s.criteria), combine = numbers(s.combine);
    OUTCOME out;
    found = &out.answerSets;
    // With weak constraints every better answer set is reported as found.
    const uint32_t slots = uint32_t(costLevels.size());
    COSTVECTOR bound(slots), initial(slots);
    bound.unbounded.assign(slots, 1);
    for (const GROUNDWEAKCONSTRAINT& w : violatedWeakConstraints)
        initial.values[size_t(costSlot(integerValue(w.level)))] += uint64_t(integerValue(w.weight));
    const bool weak = !groundWeakConstraints.empty() || !violatedWeakConstraints.empty();
    MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, nullptr, &edbFacts, &trueAtoms,
                     nullptr, &bound, checkFlags, collect, nullptr, aggregatesPresent, &initial, weak, weak, weak, false,
                     slots, uint32_t(aggregateCount), &criteria, &combine);
    g.reuseLookaheads = reuse;
    g.verifyReuse = verify;
    g.computeAnswerSets();
    found = nullptr;
    if (g.bestModel)
        for (uint64_t v : g.bestModel->cost.values) out.counters.push_back(v);
    out.counters.insert(out.counters.end(), {g.lookaheadsPerformed, g.inconsistentLookaheads, g.pruningLookaheads,   g.choicePoints,
                    g.internalChoicePoints, g.inconsistentChoices,  g.answerSetCandidates, g.maxLevel,
                    g.totalModelChecks});
    out.lookaheadsRun = g.lookaheadsRun;
    out.atomsVisited = g.possiblyTrueAtomsVisited;
    return out;
}

// Searches the program with and without reuse under every setting, in a
// fresh process; returns the propagations run with and without reuse, or
// fails the case on the first difference.
bool sameWithAndWithout(const std::string& text, const std::vector<SETTING>& settings, uint64_t& with,
                        uint64_t& without) {
    const CHILDRUN child = runCaptured([&text, &settings] {
        uint64_t ran = 0, ranWithout = 0;
        if (groundIfConsistent(text))
            for (const SETTING& s : settings)
                for (uint32_t flags :
                     {uint32_t(CHECK_MODEL_CHECKING_ON), uint32_t(CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS)}) {
                    const OUTCOME a = search(s, true, flags), b = search(s, false, flags);
                    // Every reused record against its propagation, every
                    // unit redone at every computation.
                    const OUTCOME c = search(s, true, flags, 2);
                    if (a.answerSets != b.answerSets || a.counters != b.counters || a.lookaheadsRun > b.lookaheadsRun ||
                        c.answerSets != b.answerSets || c.counters != b.counters) {
                        std::printf("differs: criteria %s flags %u\n", s.criteria, flags);
                        endChild(0);
                    }
                    ran += a.lookaheadsRun;
                    ranWithout += b.lookaheadsRun;
                }
        std::printf("%llu %llu\n", (unsigned long long)ran, (unsigned long long)ranWithout);
    });
    EXPECT_EQ(child.status, 0) << text << child.err;
    EXPECT_EQ(child.out.find("differs"), std::string::npos) << text << child.out;
    with = without = 0;
    std::istringstream(child.out) >> with >> without;
    return child.status == 0 && child.out.find("differs") == std::string::npos;
}

}  // namespace

TEST(LookaheadReuse, SameAnswerSetsOrderAndCountsAsWithout) {
    const std::vector<SETTING> settings = {
        {"0,2,4,15,37,7,8,9,10,11", "0,0,0,0,0,0,0,0,0,0", 5, true, true},  // the defaults
        {"0,2,4,15,37,7,8,9,10,11", "", 1, false, false},
        {"1009,21,6,16", "6,2,5,3", 3, true, true},
        {"29,1000,13,31", "7,8,1,4", 8, true, false},
        {"", "", 5, true, true},                         // every entry ties: the later one wins
        {"1,2,9", "0,0,0", 5, true, true},               // pairwise criteria: nothing is kept
        {"0,2,4,15,37,7,8,9,10,11", "", 5, true, true},  // no combination kinds: kind 0
        {"7,8,0,1007", "7,5,0,4", 5, true, true},        // costs first, kinds that add
        {"7,8,0", "1,0,0", 5, true, true},               // a kind that multiplies costs: nothing is kept
        {"1008,7,15", "", 5, false, false},
    };
    const unsigned programs = randomProgramCount(300, 100);
    uint64_t run = 0, runWithout = 0;
    for (unsigned seed = 1; seed <= programs; ++seed) {
        RANDOM r{seed * 2654435761ULL};
        const std::string text = seed % 6 == 0   ? randomColouring(r)
                                 : seed % 6 == 1 ? randomOptimisation(r)
                                 : seed % 6 == 2 ? randomAggregates(r)
                                 : seed % 6 == 3 ? randomLongRules(r)
                                                 : randomProgram(r);
        uint64_t with = 0, without = 0;
        ASSERT_TRUE(sameWithAndWithout(text, settings, with, without));
        run += with;
        runWithout += without;
    }
    // The programs are big enough for records to be reused.
    EXPECT_LT(run, runWithout) << run << " " << runWithout;
}

TEST(LookaheadReuse, ComplementRaisingTheCostWithinAComputation) {
    // A lookahead fails on the bound and its complement violates weak
    // constraints: the literals ranked after it rank from the higher cost,
    // those before from the lower one, as without reuse.
    const std::string text =
        "c0_0 v c0_1 v c0_2.\n"
        "c1_0 v c1_1 v c1_2.\n"
        "c2_0 v c2_1.\n"
        "c3_0 v c3_1.\n"
        "c4_0 v c4_1.\n"
        "c5_0 v c5_1.\n"
        "c6_0 v c6_1.\n"
        "c7_0 v c7_1 v c7_2.\n"
        "c8_0 v c8_1 v c8_2.\n"
        "c9_0 v c9_1.\n"
        "c10_0 v c10_1.\n"
        "c11_0 v c11_1.\n"
        "c12_0 v c12_1.\n"
        "c13_0 v c13_1 v c13_2.\n"
        "c14_0 v c14_1 v c14_2.\n"
        "c15_0 v c15_1 v c15_2.\n"
        ":- c9_0, c12_0.\n"
        ":- c13_0, c14_0.\n"
        ":- c0_1, c1_1.\n"
        ":- c13_0, c15_0.\n"
        ":- c9_1, c10_0.\n"
        ":- c5_0, c5_1.\n"
        "d13 :- c13_0, c15_1.\n"
        ":~ d13. [1:2]\n"
        "d2 :- c2_1, not c5_1.\n"
        ":~ d2. [2:1]\n"
        "d12 :- c12_0, c13_1.\n"
        ":~ d12. [4:1]\n"
        "d6 :- c6_0, c8_0.\n"
        ":~ d6. [4:1]\n"
        "d8 :- c8_1, c10_0.\n"
        ":~ d8. [1:1]\n"
        "d7 :- c7_1, not c10_1.\n"
        ":~ d7. [1:1]\n"
        "d13 :- c13_1, c15_0.\n"
        ":~ d13. [1:2]\n"
        "d5 :- c5_0, c7_1.\n"
        ":~ d5. [4:1]\n"
        ":~ c5_0. [4:1]\n"
        ":~ c14_0. [6:2]\n"
        ":~ c5_1. [2:1]\n"
        ":~ c12_1, c12_0. [3:1]\n"
        ":~ c3_1. [4:2]\n"
        ":~ c6_1. [3:2]\n"
        ":~ c5_0, not c5_0. [6:2]\n"
        ":~ c5_0. [5:2]\n"
        ":~ c13_0, c13_1. [1:2]\n"
        ":~ c11_0, not c12_1. [2:1]\n"
        ":~ c0_0, c2_0. [2:1]\n"
        ":~ c5_1, c6_1. [2:1]\n"
        ":~ c15_1, not c15_1. [4:1]\n"
        ":~ c3_0. [2:2]\n"
        ":~ c1_1, not c3_1. [4:2]\n"
        ":~ c11_1. [5:1]\n"
        ":~ c2_1, not c3_0. [5:2]\n"
        ":~ c1_1, not c3_0. [6:1]\n"
        ":~ c2_1, c4_0. [2:1]\n"
        ":~ c7_1, not c9_0. [2:2]\n"
        ":~ c5_0. [4:1]\n"
        ":~ c11_0, not c14_0. [6:2]\n"
        ":~ c6_0, not c8_0. [4:2]\n"
        ":~ c11_1. [3:2]\n"
        ":~ c15_1. [6:1]\n"
        ":~ c6_0. [6:1]\n"
        ":~ c10_1, c12_1. [1:1]\n"
        ":~ c9_1, c11_1. [6:1]\n"
        ":~ c6_1. [1:2]\n"
        ":~ c8_1. [4:2]\n"
        ":~ c6_1, not c7_1. [3:1]\n"
        ":~ c4_1, not c6_1. [4:2]\n";
    uint64_t with = 0, without = 0;
    EXPECT_TRUE(sameWithAndWithout(text, {{"1008,7,15", "", 5, false, false}}, with, without));
    EXPECT_LT(with, without);
}

TEST(LookaheadReuse, AggregateAtomOfALargeCountAssigned) {
    // Lookaheads that make a5 or a2 true or false read the counts of
    // seventeen elements in the aggregate atoms' handlers: their records
    // are not kept apart from the counts' changes.
    const std::string text = choicePairs(17) +
        "a5 :- #count{X: p(X), X >= 0, X <= 34} >= 4.\n"
        ":- a5, p(8).\n"
        "a4 :- #max{X: p(X), X >= 9, X <= 9} >= 8.\n"
        ":- a4, p(3).\n"
        ":- #sum{X: p(X), X >= 12, X <= 13} > 1.\n"
        "a2 :- #count{X: p(X), X >= 0, X <= 34} < 12.\n"
        ":- a2, p(2).\n"
        ":- #count{X: q(X), X >= 0, X <= 2} < 2.\n";
    uint64_t with = 0, without = 0;
    EXPECT_TRUE(sameWithAndWithout(text, {{"29,1000,13,31", "7,8,1,4", 8, true, false}}, with, without));
}

TEST(LookaheadReuse, LargeSumNearItsGuard) {
    // The #sum over seventeen elements is false: a lookahead that leaves its
    // greatest value near 14 forces the elements of the largest values, so
    // records of it stand only while the sum is far from its guard.
    const std::string text = choicePairs(17) +
        "a2 :- #min{X: p(X), X >= 2, X <= 2} >= 15.\n"
        ":- a2, p(2).\n"
        ":- #sum{X: p(X), X >= 0, X <= 34} < 14.\n";
    uint64_t with = 0, without = 0;
    EXPECT_TRUE(sameWithAndWithout(text, {{"1009,21,6,16", "6,2,5,3", 3, true, true}}, with, without));
}

}  // namespace veltra

namespace veltra {

TEST(LookaheadReuse, LongRuleOrConstraintNearItsTests) {
    // The weak constraints lead the search to take the a's one by one: the
    // rule's undefined body falls to one literal while its three head atoms
    // stay open, and a record of taking the last a must not stand once a
    // lookahead from there would leave no body literal undefined. The same
    // for a constraint of all a's but the last, whose open literals fall to
    // one.
    std::string choices, body;
    for (int i = 1; i <= 20; ++i) {
        const std::string k = std::to_string(i);
        choices += "a" + k + " v b" + k + ".\n:~ b" + k + ". [1:1]\n";
        body += (i > 1 ? ", a" : "a") + k;
    }
    const std::vector<SETTING> defaults = {{"0,2,4,15,37,7,8,9,10,11", "0,0,0,0,0,0,0,0,0,0", 5, true, true}};
    for (const std::string& text : {choices + "h1 v h2 v h3 :- " + body + ".\n",
                                    choices + ":- " + body.substr(0, body.rfind(", ")) + ".\n"}) {
        uint64_t with = 0, without = 0;
        EXPECT_TRUE(sameWithAndWithout(text, defaults, with, without));
        EXPECT_LT(with, without);
    }
}

}  // namespace veltra
