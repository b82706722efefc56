// The work of the search grows with what changes, not with the whole
// problem: counted on the work counters of the generator (lookahead
// propagations actually run, rules examined by the choice without
// heuristics) for n independent choices "a_i v b_i." and for twice as many.
// Each level decides one choice, so a step that rescanned everything at
// every level would grow fourfold.
#include <cstdio>
#include <sstream>
#include <string>

#include "analysis/rewrite.h"
#include "driver/options.h"
#include "tests/unit/support/search.h"
#include "tests/unit/support/child.h"
#include "tests/unit/support/ground.h"

namespace veltra {

namespace {

struct WORK {
    uint64_t lookaheadsRun = 0, lookaheadsPerformed = 0, choiceRulesScanned = 0, choicePoints = 0;
};

bool stopAtFirst(MODELGENERATOR*, const ATOMSET&, const INTERPRETATION*) { return false; }

// The work of the search for the first answer set of n independent choices,
// counted in a child process that prints it.
WORK firstAnswerSetWork(int n, bool heuristics) {
    const CHILDRUN run = runCaptured([n, heuristics] {
        std::string text;
        for (int i = 1; i <= n; ++i) text += "a" + std::to_string(i) + " v b" + std::to_string(i) + ".\n";
        groundProgram(text);
        OPTIONS.useHeuristics = heuristics;
        COSTVECTOR bound(0);
        MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, nullptr, &edbFacts, &trueAtoms,
                         nullptr, &bound, CHECK_MODEL_CHECKING_ON, stopAtFirst, nullptr, false, nullptr, false, false,
                         false, false, 0, 0, nullptr, nullptr);
        g.computeAnswerSets();
        std::printf("%llu %llu %llu %llu\n", (unsigned long long)g.lookaheadsRun,
                    (unsigned long long)g.lookaheadsPerformed, (unsigned long long)g.choiceRulesScanned,
                    (unsigned long long)g.choicePoints);
        std::fflush(stdout);
    });
    EXPECT_EQ(run.status, 0) << run.err;
    WORK work;
    std::istringstream(run.out) >> work.lookaheadsRun >> work.lookaheadsPerformed >> work.choiceRulesScanned >>
        work.choicePoints;
    return work;
}

}  // namespace

TEST(Growth, LookaheadsRunGrowLinearlyWithIndependentChoices) {
    const WORK small = firstAnswerSetWork(400, true), large = firstAnswerSetWork(800, true);
    // One level per choice.
    EXPECT_EQ(small.choicePoints, 400u);
    EXPECT_EQ(large.choicePoints, 800u);
    // Every level looks ahead on every open literal (the statistics count
    // each of them), but a literal whose neighbourhood did not change
    // reuses its record: the propagations actually run grow linearly.
    EXPECT_GE(large.lookaheadsPerformed, 3 * small.lookaheadsPerformed);
    EXPECT_GT(small.lookaheadsRun, 0u);
    EXPECT_LE(large.lookaheadsRun, 2 * small.lookaheadsRun + 16);
    EXPECT_LT(large.lookaheadsRun * 10, large.lookaheadsPerformed);
}

TEST(Growth, ChoiceWithoutHeuristicsResumesInsteadOfRescanning) {
    const WORK small = firstAnswerSetWork(2000, false), large = firstAnswerSetWork(4000, false);
    EXPECT_EQ(small.choicePoints, 2000u);
    EXPECT_EQ(large.choicePoints, 4000u);
    EXPECT_GT(small.choiceRulesScanned, 0u);
    EXPECT_LE(large.choiceRulesScanned, 2 * small.choiceRulesScanned + 16);
}

}  // namespace veltra
