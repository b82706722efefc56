// Reused lookaheads and kept possibly-true literals change nothing: on random
// programs under several heuristic settings, the search with reuse finds
// the same answer sets in the same order and counts the same lookaheads,
// choice points and conflicts as the search that propagates every
// lookahead and visits every atom at every level.
#include <cstdio>
#include <sstream>

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

OUTCOME search(const SETTING& s, bool reuse, uint32_t checkFlags) {
    OPTIONS.ptCacheSize = s.ptCacheSize;
    OPTIONS.complementPT = s.complementPT;
    OPTIONS.canChooseComplementPT = s.canChooseComplementPT;
    const std::vector<uint32_t> criteria = numbers(s.criteria), combine = numbers(s.combine);
    OUTCOME out;
    found = &out.answerSets;
    COSTVECTOR bound(0);
    MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, nullptr, &edbFacts, &trueAtoms,
                     nullptr, &bound, checkFlags, collect, nullptr, false, nullptr, false, false, false, false, 0, 0,
                     &criteria, &combine);
    g.reuseLookaheads = reuse;
    g.computeAnswerSets();
    found = nullptr;
    out.counters = {g.lookaheadsPerformed, g.inconsistentLookaheads, g.pruningLookaheads,   g.choicePoints,
                    g.internalChoicePoints, g.inconsistentChoices,  g.answerSetCandidates, g.maxLevel,
                    g.totalModelChecks};
    out.lookaheadsRun = g.lookaheadsRun;
    out.atomsVisited = g.possiblyTrueAtomsVisited;
    return out;
}

}  // namespace

TEST(LookaheadReuse, SameAnswerSetsOrderAndCountsAsWithout) {
    const SETTING settings[] = {
        {"0,2,4,15,37,7,8,9,10,11", "0,0,0,0,0,0,0,0,0,0", 5, true, true},  // the defaults
        {"0,2,4,15,37,7,8,9,10,11", "", 1, false, false},
        {"1009,21,6,16", "6,2,5,3", 3, true, true},
        {"29,1000,13,31", "7,8,1,4", 8, true, false},
        {"", "", 5, true, true},                       // every entry ties: the later one wins
        {"1,2,9", "0,0,0", 5, true, true},             // pairwise criteria: nothing is kept
        {"0,2,4,15,37,7,8,9,10,11", "", 5, true, true}, // no combination kinds: kind 0
    };
    const unsigned programs = randomProgramCount(300, 100);
    uint64_t run = 0, runWithout = 0;
    for (unsigned seed = 1; seed <= programs; ++seed) {
        RANDOM r{seed * 2654435761ULL};
        const std::string text = seed % 3 == 0 ? randomColouring(r) : randomProgram(r);
        // Each program in a fresh process; the child reports the
        // propagations run with and without reuse.
        const CHILDRUN child = runCaptured([&text, &settings] {
            uint64_t with = 0, without = 0;
            if (groundIfConsistent(text))
                for (const SETTING& s : settings)
                    for (uint32_t flags : {uint32_t(CHECK_MODEL_CHECKING_ON),
                                           uint32_t(CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS)}) {
                        const OUTCOME a = search(s, true, flags), b = search(s, false, flags);
                        if (a.answerSets != b.answerSets || a.counters != b.counters ||
                            a.lookaheadsRun > b.lookaheadsRun) {
                            std::printf("differs: criteria %s flags %u\n", s.criteria, flags);
                            endChild(0);
                        }
                        with += a.lookaheadsRun;
                        without += b.lookaheadsRun;
                    }
            std::printf("%llu %llu\n", (unsigned long long)with, (unsigned long long)without);
        });
        ASSERT_EQ(child.status, 0) << text << child.err;
        ASSERT_EQ(child.out.find("differs"), std::string::npos) << text << child.out;
        uint64_t with = 0, without = 0;
        std::istringstream(child.out) >> with >> without;
        run += with;
        runWithout += without;
    }
    // The programs are big enough for records to be reused.
    EXPECT_LT(run, runWithout) << run << " " << runWithout;
}

}  // namespace veltra
