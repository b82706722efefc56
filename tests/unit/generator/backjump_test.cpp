// Backjumping leaves only levels that hold no answer set: on random small
// programs the search reports the same answer sets in the same order with
// and without it (with and without heuristics), and it does skip levels; on
// a program whose conflicts do not rest on the latest choices it saves
// choice points.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "driver/options.h"
#include "tests/unit/support/ground.h"
#include "tests/unit/support/randomprograms.h"
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

// Disjunctive guesses over x0..x13, rules deriving y0..y3 (some through
// positive cycles), constraints over both and, in a third of the programs,
// two pairs (nearly) incompatible with each other: deep enough searches for
// conflicts that skip levels, small enough for many programs.
std::string randomProgram(RANDOM& r) {
    auto x = [&]() { return "x" + std::to_string(r.below(14)); };
    auto any = [&]() { return r.below(3) == 0 ? "y" + std::to_string(r.below(4)) : x(); };
    auto sign = [&]() { return r.below(5) == 0 ? "not " : ""; };
    std::ostringstream text;
    for (int i = 0; i < 14; i += 2) {
        text << "x" << i << " v x" << i + 1;
        if (r.below(4) == 0) text << " v " << x();
        text << ".\n";
    }
    const uint32_t rules = 2 + r.below(5);
    for (uint32_t k = 0; k < rules; ++k) {
        text << "y" << r.below(4);
        if (r.below(4) == 0) text << " v " << any();
        text << " :- " << sign() << any();
        if (r.below(2)) text << ", " << sign() << any();
        text << ".\n";
    }
    const uint32_t constraints = 2 + r.below(5);
    for (uint32_t k = 0; k < constraints; ++k) {
        text << ":- " << sign() << any() << ", " << sign() << any();
        if (r.below(3) == 0) text << ", " << sign() << any();
        text << ".\n";
    }
    if (r.below(3) == 0) {
        const uint32_t i = 2 * r.below(7), j = 2 * r.below(7);
        for (uint32_t a = i; a < i + 2; ++a)
            for (uint32_t b = j; b < j + 2; ++b) {
                text << ":- x" << a << ", x" << b;
                if (r.below(3) == 0) text << ", " << sign() << any();
                text << ".\n";
            }
    }
    return text.str();
}

// Pairs x0 v x1 ... x10 v x11 guessed, p0..p5 derived through positive
// cycles (some rules with a second head atom outside them, so that most
// programs are head-cycle-free), constraints that need p atoms or forbid
// them: conflicts and values of the unfounded-set step at every level.
std::string recursiveProgram(RANDOM& r) {
    auto x = [&]() { return "x" + std::to_string(r.below(12)); };
    auto p = [&]() { return "p" + std::to_string(r.below(6)); };
    std::ostringstream text;
    for (int i = 0; i < 12; i += 2) text << "x" << i << " v x" << i + 1 << ".\n";
    const uint32_t rules = 6 + r.below(7);
    for (uint32_t k = 0; k < rules; ++k) {
        text << p();
        if (r.below(5) == 0) text << " v " << x();
        text << " :- ";
        if (r.below(3) != 0) text << p() << ", ";
        text << (r.below(4) == 0 ? "not " : "") << x();
        if (r.below(3) == 0) text << ", " << (r.below(3) == 0 ? "not " + p() : x());
        text << ".\n";
    }
    const uint32_t constraints = 1 + r.below(3);
    for (uint32_t k = 0; k < constraints; ++k) {
        if (r.below(2))
            text << ":- not " << p();
        else
            text << ":- " << p() << ", " << x();
        if (r.below(2)) text << ", " << x();
        text << ".\n";
    }
    return text.str();
}

std::vector<std::string> reported;  // answer sets in order, atoms by index
bool unfoundedReasons = true;       // the generator's unfoundedReasons in searchAll

bool recordAnswerSet(MODELGENERATOR*, const ATOMSET&, const INTERPRETATION* model) {
    std::string s;
    for (size_t a = 0; a < model->values.size(); ++a)
        if (isTrueValue(model->values[a])) s += std::to_string(a) + " ";
    reported.push_back(s);
    return true;
}

struct OUTCOME {
    std::vector<std::string> answerSets;
    uint32_t choicePoints = 0;
    uint64_t levelsSkipped = 0;
    uint32_t inconsistentLookaheads = 0;
    uint64_t failureDigest = 0;  // the level sets of the failed lookaheads
};

// Every answer set of the ground program, with model checking and (unless
// withoutGUS) the unfounded-set step on; reasons: when lookaheads note
// reasons (the generator's lookaheadReasons).
OUTCOME searchAll(bool backjumping, bool heuristics, uint8_t reasons = MODELGENERATOR::REASONS_BY_FAILURE_SHARE,
                  bool withoutGUS = false) {
    OPTIONS.useHeuristics = heuristics;
    COSTVECTOR bound(0);
    MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, nullptr, &edbFacts, &trueAtoms,
                     nullptr, &bound, CHECK_MODEL_CHECKING_ON | (withoutGUS ? 0u : uint32_t(CHECK_USE_GUS)), recordAnswerSet,
                     nullptr, false, nullptr, false, false, false, false, 0, 0, &heuristicList,
                     &combineHeuristicList);
    g.settings.backjumping = backjumping;
    g.lookaheadReasons = reasons;
    g.unfoundedReasons = unfoundedReasons;
    reported.clear();
    g.computeAnswerSets();
    return OUTCOME{reported, g.choicePoints, g.levelsSkipped, g.inconsistentLookaheads, g.lookaheadFailureDigest};
}

// Runs compare on random programs, each in a child after grounding it (a
// program that grounding finds inconsistent counts 0, and may end the child). compare prints what
// differed and returns a count; the sum of the counts over the programs.
unsigned long long sumOverRandomPrograms(unsigned programs, unsigned long long seedFactor, unsigned long long seedOffset,
                                         const std::function<unsigned long long()>& compare,
                                         std::string (*write)(RANDOM&) = randomProgram) {
    unsigned long long total = 0;
    for (unsigned seed = 1; seed <= programs; ++seed) {
        RANDOM r{seed * seedFactor + seedOffset};
        const std::string text = write(r);
        SCOPED_TRACE(text);
        const CHILDRUN run = runCaptured([&text, &compare] {
            std::printf("%llu\n", groundIfConsistent(text) ? compare() : 0ULL);
            std::fflush(stdout);
        });
        EXPECT_EQ(run.status, 0) << run.err;
        // No output: grounding found the program inconsistent and ended the
        // child. Otherwise nothing differed when the output is the count alone.
        if (run.out.empty()) continue;
        char* rest = nullptr;
        const unsigned long long count = std::strtoull(run.out.c_str(), &rest, 10);
        EXPECT_TRUE(rest != run.out.c_str() && std::string(rest) == "\n") << run.out;
        if (::testing::Test::HasFailure()) return total;
        total += count;
    }
    return total;
}

}  // namespace

TEST(Backjumping, SameAnswerSetsInTheSameOrderOnRandomPrograms) {
    // Prints what differed; counts the levels skipped.
    const unsigned long long skipped = sumOverRandomPrograms(randomProgramCount(400, 150), 1000003ULL, 0, [] {
        uint64_t levels = 0;
        for (bool heuristics : {true, false}) {
            const OUTCOME on = searchAll(true, heuristics), off = searchAll(false, heuristics);
            if (on.answerSets != off.answerSets)
                std::printf("heuristics %d: %zu answer sets with backjumping, %zu without\n", int(heuristics),
                            on.answerSets.size(), off.answerSets.size());
            if (on.choicePoints > off.choicePoints)
                std::printf("heuristics %d: more choice points with backjumping\n", int(heuristics));
            if (off.levelsSkipped != 0) std::printf("levels skipped without backjumping\n");
            levels += on.levelsSkipped;
        }
        return (unsigned long long)levels;
    });
    // The programs do exercise the jumps.
    EXPECT_GT(skipped, 0u);
}

// The values and conflicts of the unfounded-set step rest on the literals
// that keep their set unfounded: on programs with positive cycles the same
// answer sets in the same order with backjumping (with and without those
// reasons) as without it, and the reasons do let levels be skipped.
TEST(Backjumping, UnfoundedSetReasonsKeepAnswerSetsOnRandomPrograms) {
    // Prints what differed; counts the levels skipped with the reasons.
    const unsigned long long skipped = sumOverRandomPrograms(
        randomProgramCount(400, 100), 2654435761ULL, 5,
        [] {
            uint64_t levels = 0;
            for (bool heuristics : {true, false}) {
                unfoundedReasons = true;
                const OUTCOME on = searchAll(true, heuristics), off = searchAll(false, heuristics);
                unfoundedReasons = false;
                const OUTCOME unknown = searchAll(true, heuristics);
                unfoundedReasons = true;
                if (on.answerSets != off.answerSets || unknown.answerSets != off.answerSets)
                    std::printf("heuristics %d: %zu answer sets with backjumping, %zu without its unfounded-set "
                                "reasons, %zu without it\n",
                                int(heuristics), on.answerSets.size(), unknown.answerSets.size(),
                                off.answerSets.size());
                levels += on.levelsSkipped;
            }
            return (unsigned long long)levels;
        },
        recursiveProgram);
    EXPECT_GT(skipped, 0u);
}

// The answer sets and choice points of two searches without heuristics over
// n pairs "a_i v b_i." followed by tail (the rules in this order), in a
// child: first with backjumping and all its reasons, then the search other
// (only for n <= 8: it may grow as 2^n).
struct TWOSEARCHES {
    size_t sets[2] = {1, 1};
    unsigned choices[2] = {0, 0};
};
TWOSEARCHES searchPairsTwice(int n, const std::string& tail, OUTCOME (*other)()) {
    const CHILDRUN run = runCaptured([n, &tail, other] {
        std::string text;
        for (int i = 1; i <= n; ++i) text += "a" + std::to_string(i) + " v b" + std::to_string(i) + ".\n";
        groundProgram(text + tail, true);
        const OUTCOME first = searchAll(true, false);
        const OUTCOME second = n <= 8 ? other() : OUTCOME();
        std::printf("%zu %zu %u %u\n", first.answerSets.size(), second.answerSets.size(), first.choicePoints,
                    second.choicePoints);
        std::fflush(stdout);
    });
    TWOSEARCHES counts;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::sscanf(run.out.c_str(), "%zu %zu %u %u", &counts.sets[0], &counts.sets[1], &counts.choices[0],
                          &counts.choices[1]),
              4)
        << run.out;
    return counts;
}

// n pairs "a_i v b_i." chosen first, then c v d and e v f, each
// combination of which fails: with c, r and s are unfounded (r :- d lost
// its body) and become false, which fails both e and f; d fails them
// directly; in the second program p, which must be true, is unfounded
// whenever c or d is chosen. Those failures rest on the later choices only,
// so with the reasons of the unfounded-set step the first one ends the
// search; without them (unknown: every level up to their own) each of the
// 2^n combinations of the pairs meets them again.
TEST(Backjumping, UnfoundedSetValuesAndConflictsSkipLevels) {
    const char* const programs[] = {
        "c v d.\ne v f.\nr :- s.\ns :- r.\nr :- d.\n:- not r, e.\n:- not r, f.\n:- d, e.\n:- d, f.\n",
        "c v d.\np :- q.\nq :- p.\np :- c, d.\n:- not p.\n",
    };
    for (const char* tail : programs)
        for (int n : {8, 16}) {
            SCOPED_TRACE(tail);
            const TWOSEARCHES counts = searchPairsTwice(n, tail, [] {
                unfoundedReasons = false;
                return searchAll(true, false);
            });
            EXPECT_EQ(counts.sets[0], 0u);
            EXPECT_EQ(counts.sets[1], 0u);
            // One level per pair and one for c: the failures of c and of its
            // complement rest on no choice.
            EXPECT_EQ(counts.choices[0], unsigned(n + 1));
            if (n <= 8) {
                EXPECT_GE(counts.choices[1], 1u << n);
            }
        }
}

// A failed lookahead's reasons, noted only when it is run again after
// failing, are those noted throughout: the same level sets, jumps, choice
// points and answer sets, with and without the unfounded-set step (with it
// reasons are always noted).
TEST(Backjumping, FailedLookaheadsJumpAsWithReasonsNotedThroughout) {
    // Prints what differed; counts the failed lookaheads.
    const unsigned long long failures = sumOverRandomPrograms(randomProgramCount(200, 80), 7919ULL, 17, [] {
        uint64_t failed = 0;
        for (bool withoutGUS : {true, false}) {
            const OUTCOME lazy = searchAll(true, true, MODELGENERATOR::REASONS_ON_FAILURE, withoutGUS);
            const OUTCOME eager = searchAll(true, true, MODELGENERATOR::REASONS_ALWAYS, withoutGUS);
            if (lazy.answerSets != eager.answerSets || lazy.choicePoints != eager.choicePoints ||
                lazy.levelsSkipped != eager.levelsSkipped ||
                lazy.inconsistentLookaheads != eager.inconsistentLookaheads ||
                lazy.failureDigest != eager.failureDigest)
                std::printf("without GUS %d: %zu answer sets, %u choice points, %llu levels skipped lazily; "
                            "%zu, %u, %llu otherwise\n",
                            int(withoutGUS), lazy.answerSets.size(), lazy.choicePoints,
                            (unsigned long long)lazy.levelsSkipped, eager.answerSets.size(), eager.choicePoints,
                            (unsigned long long)eager.levelsSkipped);
            failed += lazy.inconsistentLookaheads;
        }
        return (unsigned long long)failed;
    });
    // The programs do fail lookaheads.
    EXPECT_GT(failures, 0u);
}

// n independent pairs "a_i v b_i." before a constraint pair that fails on
// its own whatever the a_i are: without backjumping each of the 2^n
// combinations meets the conflict again, with it the first failure ends the
// search, so its choice points grow linearly with n. Counted without
// heuristics, whose lookahead would find the conflict before any choice.
TEST(Backjumping, IrrelevantLevelsAreSkipped) {
    for (int n : {8, 16}) {
        const TWOSEARCHES counts = searchPairsTwice(
            n, "c v d.\ne v f.\n:- c, e.\n:- c, f.\n:- d, e.\n:- d, f.\n", [] { return searchAll(false, false); });
        EXPECT_EQ(counts.sets[0], 0u);
        EXPECT_EQ(counts.sets[1], 0u);
        // One level per pair and one for c: the failure of c and of its
        // complement rests on no choice.
        EXPECT_EQ(counts.choices[0], unsigned(n + 1));
        // Chronologically every combination of the pairs is tried.
        if (n <= 8) {
            EXPECT_EQ(counts.choices[1], 1u << n);
        }
    }
}

// 2QBF "exists x forall y" by saturation: the model checker rejects the
// candidates, and a rejection rests only on the x literals that keep its
// unfounded set unfounded, so levels of other x are skipped: the same answer
// sets with fewer choice points.
TEST(Backjumping, ModelCheckRejectionsSkipLevels) {
    const CHILDRUN run = runCaptured([] {
        RANDOM r{1};
        std::ostringstream text;
        const int n = 12;
        for (int i = 1; i <= n; ++i)
            text << "x" << i << " v nx" << i << ".\ny" << i << " v ny" << i << ".\ny" << i << " :- w.\nny" << i
                 << " :- w.\n";
        for (int k = 0; k < 70; ++k) {
            text << "w :- " << (r.below(2) ? "x" : "nx") << 1 + r.below(n);
            for (int l = 0; l < 3; ++l) text << ", " << (r.below(2) ? "y" : "ny") << 1 + r.below(n);
            text << ".\n";
        }
        text << ":- not w.\n";
        groundProgram(text.str(), true);
        for (bool heuristics : {true, false}) {
            const OUTCOME on = searchAll(true, heuristics), off = searchAll(false, heuristics);
            std::printf("%d %zu %u %u\n", int(on.answerSets == off.answerSets), on.answerSets.size(),
                        on.choicePoints, off.choicePoints);
        }
        std::fflush(stdout);
    });
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    for (int k = 0; k < 2; ++k) {
        int same = 0;
        size_t answerSets = 0;
        unsigned on = 0, off = 0;
        ASSERT_TRUE(lines >> same >> answerSets >> on >> off) << run.out;
        EXPECT_EQ(same, 1) << run.out;
        EXPECT_LT(on, off) << run.out;
    }
}

}  // namespace veltra
