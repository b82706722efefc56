// The work of the search grows with what changes, not with the whole
// problem: counted on the work counters of the generator (lookahead
// propagations actually run, rules examined by the choice without
// heuristics) for n independent choices "a_i v b_i." and for twice as many.
// Each level decides one choice, so a step that rescanned everything at
// every level would grow fourfold. The same for the first colouring of a
// graph whose size doubles, and the watches kept for lookahead records when
// one disjunctive head grows.
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
    uint64_t lookaheadsRun = 0, lookaheadsPerformed = 0, choiceRulesScanned = 0, choicePoints = 0,
             atomsVisited = 0, watchesKept = 0;
};

enum SHAPE {
    INDEPENDENT_CHOICES, PATH_COLOURING, COUNTED_PATH_COLOURING, LONG_HEAD, WEIGHTED_CHOICES, ONE_COUNT, ONE_SUM,
    LONG_BODY, LONG_CONSTRAINT, LONG_RULES
};

bool stopAtFirst(MODELGENERATOR*, const ATOMSET&, const INTERPRETATION*) { return false; }

// The work of the search for the first answer set of a program of size n,
// counted in a child process that prints it.
WORK firstAnswerSetWork(int n, bool heuristics, SHAPE shape = INDEPENDENT_CHOICES) {
    const CHILDRUN run = runCaptured([n, heuristics, shape] {
        std::string text;
        if (shape == INDEPENDENT_CHOICES) {
            for (int i = 1; i <= n; ++i) text += "a" + std::to_string(i) + " v b" + std::to_string(i) + ".\n";
        } else if (shape == WEIGHTED_CHOICES) {
            // Independent choices with weak constraints on two levels.
            for (int i = 1; i <= n; ++i) {
                const std::string a = "a" + std::to_string(i), b = "b" + std::to_string(i);
                text += a + " v " + b + ".\n:~ " + a + ". [" + std::to_string(i % 3 + 1) + ":1]\n";
                if (i % 7 == 0) text += ":~ " + b + ". [1:2]\n";
            }
        } else if (shape == ONE_COUNT || shape == ONE_SUM) {
            // Independent choices under one count (at most half of them a)
            // or one sum (the a's at most a quarter of n squared).
            for (int i = 1; i <= n; ++i)
                text += "a(" + std::to_string(i) + ") v b(" + std::to_string(i) + ").\n";
            if (shape == ONE_COUNT)
                text += ":- #count{X: a(X)} > " + std::to_string(n / 2) + ".\n";
            else
                text += ":- #sum{X: a(X)} > " + std::to_string(n * n / 4) + ".\n";
        } else if (shape == LONG_RULES) {
            // Choices in n / 5 rules of 20 body atoms each, drawn at
            // random (a fixed sequence): each atom in about four of them.
            for (int i = 0; i < n; ++i) text += "p(" + std::to_string(i) + ") v q(" + std::to_string(i) + ").\n";
            uint64_t x = 12345;
            auto draw = [&x, n]() {
                x = x * 6364136223846793005ULL + 1442695040888963407ULL;
                return int((x >> 33) % uint64_t(n));
            };
            for (int k = 0; k < n / 5; ++k) {
                text += "h(" + std::to_string(k) + ") :- ";
                for (int i = 0; i < 20; ++i) text += (i ? ", p(" : "p(") + std::to_string(draw()) + ")";
                text += ".\n:- h(" + std::to_string(k) + "), q(" + std::to_string(draw()) + ").\n";
            }
        } else if (shape == LONG_BODY || shape == LONG_CONSTRAINT) {
            // Independent choices in one rule body or constraint, every
            // other one negated.
            std::string body;
            for (int i = 1; i <= n; ++i) {
                const std::string k = std::to_string(i);
                text += "a" + k + " v b" + k + ".\n";
                body += std::string(i > 1 ? ", " : "") + (i % 2 ? "a" : "not b") + k;
            }
            text += (shape == LONG_BODY ? "ok :- " : ":- ") + body + ".\n";
        } else if (shape == LONG_HEAD) {
            // One head of n atoms: every lookahead on one of them falsifies
            // all the others. Beside it n / 4 independent choices, whose
            // records are kept.
            for (int i = 1; i <= n; ++i) text += (i > 1 ? " v h" : "h") + std::to_string(i);
            text += ".\n";
            for (int i = 1; i <= n / 4; ++i) text += "a" + std::to_string(i) + " v b" + std::to_string(i) + ".\n";
        } else {
            // A path: node i is adjacent to i + 1; every level leaves a
            // choice for the nodes not coloured yet.
            for (int i = 1; i <= n; ++i) {
                text += "node(" + std::to_string(i) + ").\n";
                if (i < n) text += "edge(" + std::to_string(i) + "," + std::to_string(i + 1) + ").\n";
            }
            text += "col(X,r) v col(X,g) v col(X,b) :- node(X).\n:- edge(X,Y), col(X,C), col(Y,C).\n";
            // One aggregate per node, which the search reads.
            if (shape == COUNTED_PATH_COLOURING) text += ":- node(X), #count{C: col(X,C)} > 1.\n";
        }
        groundProgram(text);
        OPTIONS.useHeuristics = heuristics;
        const uint32_t slots = uint32_t(costLevels.size());
        COSTVECTOR bound(slots), initial(slots);
        bound.unbounded.assign(slots, 1);
        // With costs: the first answer set reported as it is found (as
        // under --wctrace), the default criteria, which compare costs.
        const bool weak = !groundWeakConstraints.empty();
        const std::vector<uint32_t> criteria = {0, 2, 4, 15, 37, 7, 8, 9, 10, 11}, kinds(criteria.size(), 0);
        MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, nullptr, &edbFacts, &trueAtoms,
                         nullptr, &bound, CHECK_MODEL_CHECKING_ON, stopAtFirst, nullptr, aggregatesPresent, &initial,
                         weak, weak,
                         weak, false, slots, uint32_t(aggregateCount), weak ? &criteria : nullptr,
                         weak ? &kinds : nullptr);
        g.computeAnswerSets();
        std::printf("%llu %llu %llu %llu %llu %llu\n", (unsigned long long)g.lookaheadsRun,
                    (unsigned long long)g.lookaheadsPerformed, (unsigned long long)g.choiceRulesScanned,
                    (unsigned long long)g.choicePoints, (unsigned long long)g.possiblyTrueAtomsVisited,
                    (unsigned long long)g.watchesKept);
        std::fflush(stdout);
    });
    EXPECT_EQ(run.status, 0) << run.err;
    WORK work;
    std::istringstream(run.out) >> work.lookaheadsRun >> work.lookaheadsPerformed >> work.choiceRulesScanned >>
        work.choicePoints >> work.atomsVisited >> work.watchesKept;
    return work;
}

// The atoms the unfounded-set steps visit while d_1, ..., d_n are chosen in
// turn in a ring of n atoms p_i, each founded by its predecessor on the ring
// or by its own c_i (d_i v c_i): every choice takes one source away and runs
// the step on the whole ring, and the last one leaves the ring unfounded.
// incremental false: the step from scratch.
uint64_t unfoundedWork(int n, bool incremental) {
    const CHILDRUN run = runCaptured([n, incremental] {
        std::string text = "p1 :- p" + std::to_string(n) + ".\n";
        for (int i = 1; i <= n; ++i) {
            const std::string k = std::to_string(i);
            if (i > 1) text += "p" + k + " :- p" + std::to_string(i - 1) + ".\n";
            text += "p" + k + " :- c" + k + ".\nd" + k + " v c" + k + ".\n";
        }
        groundProgram(text);
        COSTVECTOR initial(0);
        MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, nullptr, &edbFacts, &trueAtoms,
                         nullptr, nullptr, CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS, nullptr, nullptr, false,
                         &initial, false, false, false, false, 0, 0, nullptr, nullptr);
        g.gusIncremental = incremental;
        INTERPRETATION I;
        bool ok = g.startRun(I);
        I.recording = true;
        for (int i = 1; ok && i <= n; ++i) {
            g.enterLevel(I);
            g.assignChoice(atomIndex("d" + std::to_string(i)), TV_ASSUMED, I);
            ok = g.propagateEvents(I);
        }
        const bool ringFalse =
            I.values[atomIndex("p1")] == TV_FALSE && I.values[atomIndex("p" + std::to_string(n))] == TV_FALSE;
        std::printf("%d %llu\n", int(ok && ringFalse), (unsigned long long)g.gusAtomsVisited);
        std::fflush(stdout);
    });
    EXPECT_EQ(run.status, 0) << run.err;
    int done = 0;
    uint64_t visited = 0;
    std::istringstream(run.out) >> done >> visited;
    EXPECT_EQ(done, 1) << "the choices ended in a conflict or left the ring founded";
    return visited;
}

// The set elements the aggregate scans pass while one choice, c, forces the
// elements of an aggregate: all n true, or, where c also makes one element
// true (the rule made), the other n - 1 false. Each forced element's event
// looks at the aggregate atom again, and a scan from the start would pass
// the n elements again every time.
uint64_t aggregateForcingWork(int n, const std::string& aggregate, const std::string& made = "") {
    const CHILDRUN run = runCaptured([n, aggregate, made] {
        std::string text;
        for (int i = 1; i <= n; ++i) text += "e(" + std::to_string(i) + ").\n";
        text += "s(X) v t(X) :- e(X).\nc v d.\n:- c, " + aggregate + ".\n" + made;
        groundProgram(text);
        COSTVECTOR initial(0);
        MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, nullptr, &edbFacts, &trueAtoms,
                         nullptr, nullptr, CHECK_MODEL_CHECKING_ON, nullptr, nullptr, false, &initial, false, false,
                         false, false, 0, 0, nullptr, nullptr);
        INTERPRETATION I;
        bool ok = g.startRun(I);
        I.recording = true;
        g.enterLevel(I);
        g.assignChoice(atomIndex("c"), TV_ASSUMED, I);
        ok = ok && g.propagateEvents(I);
        int forced = 0;
        for (int i = 1; i <= n; ++i) {
            const int32_t v = I.values[atomIndex("s(" + std::to_string(i) + ")")];
            forced += made.empty() ? v >= TV_MUSTBETRUE : v == TV_FALSE;
        }
        std::printf("%d %llu\n", ok ? forced : -1, (unsigned long long)g.aggregateElementsScanned);
        std::fflush(stdout);
    });
    EXPECT_EQ(run.status, 0) << run.err;
    int forced = 0;
    uint64_t scanned = 0;
    std::istringstream(run.out) >> forced >> scanned;
    EXPECT_EQ(forced, made.empty() ? n : n - 1) << aggregate;
    return scanned;
}

}  // namespace

TEST(Growth, AggregateScansPassEachDecidedElementOnce) {
    for (const char* shape : {"#count{X : s(X)} < ", "#sum{X : s(X)} < "}) {
        auto work = [shape](int n) {
            // The bound is reached only with every element true.
            const int bound = std::string(shape).find("#sum") == 0 ? n * (n + 1) / 2 : n;
            return aggregateForcingWork(n, shape + std::to_string(bound));
        };
        const uint64_t small = work(500), large = work(1000);
        EXPECT_GT(small, 0u) << shape;
        EXPECT_LE(large, 2 * small + 16) << shape;
    }
}

// The greatest element true but 1, or the least at n, leaves every other
// element false: the range between the guards is made false once.
TEST(Growth, ExtremeScansMakeTheRangeFalseOnce) {
    for (const char* shape : {"#max", "#min"}) {
        auto work = [shape](int n) {
            const bool max = std::string(shape) == "#max";
            const std::string end = max ? "1" : std::to_string(n);
            return aggregateForcingWork(n, std::string(shape) + "{X : s(X)} " + (max ? "> 1" : "< " + end),
                                        "s(" + end + ") :- c.\n");
        };
        const uint64_t small = work(500), large = work(1000);
        EXPECT_GT(small, 0u) << shape;
        EXPECT_LE(large, 2 * small + 16) << shape;
    }
}

TEST(Growth, UnfoundedSetStepVisitsWhatLostItsSource) {
    const uint64_t small = unfoundedWork(200, true), large = unfoundedWork(400, true);
    EXPECT_GT(small, 0u);
    EXPECT_LE(large, 2 * small + 16);
    // The step from scratch visits the whole ring each time.
    EXPECT_GE(unfoundedWork(400, false), 3 * unfoundedWork(200, false));
}

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

TEST(Growth, PossiblyTrueLiteralsAreNotRescannedAtEveryLevel) {
    // Independent choices: one level each; a level changes one rule, so
    // one unit of the possibly-true computation is redone, not all of them.
    const WORK small = firstAnswerSetWork(2000, true), large = firstAnswerSetWork(4000, true);
    EXPECT_EQ(large.choicePoints, 4000u);
    EXPECT_GE(large.lookaheadsPerformed, 3 * small.lookaheadsPerformed);
    EXPECT_GT(small.atomsVisited, 0u);
    EXPECT_LE(large.atomsVisited, 2 * small.atomsVisited + 16);
    // A colouring: each level redoes the units near the node coloured, and
    // the lookaheads whose propagation reached it.
    const WORK smallGraph = firstAnswerSetWork(500, true, PATH_COLOURING),
               largeGraph = firstAnswerSetWork(1000, true, PATH_COLOURING);
    EXPECT_EQ(largeGraph.choicePoints, 2 * smallGraph.choicePoints);
    EXPECT_LE(largeGraph.atomsVisited, 3 * smallGraph.atomsVisited);
    EXPECT_LE(largeGraph.lookaheadsRun, 3 * smallGraph.lookaheadsRun);
    EXPECT_LT(largeGraph.lookaheadsRun * 4, largeGraph.lookaheadsPerformed);
}

TEST(Growth, LookaheadsAreReusedBesideAggregates) {
    // The path colouring with one #count per node: a record reads the
    // aggregates of the nodes its propagation coloured, and is dropped
    // only when one of their atoms changes.
    const WORK small = firstAnswerSetWork(500, true, COUNTED_PATH_COLOURING),
               large = firstAnswerSetWork(1000, true, COUNTED_PATH_COLOURING);
    EXPECT_EQ(large.choicePoints, 2 * small.choicePoints);
    EXPECT_GT(small.lookaheadsRun, 0u);
    EXPECT_LE(large.lookaheadsRun, 3 * small.lookaheadsRun);
    EXPECT_LT(large.lookaheadsRun * 4, large.lookaheadsPerformed);
    EXPECT_LE(large.atomsVisited, 3 * small.atomsVisited);
}

TEST(Growth, LookaheadsUnderOneLargeItemAreReused) {
    // Every choice changes the aggregate, rule or constraint that every
    // lookahead changes; the records stand while its value or counters stay
    // far from its tests. With weighted choices the records carry the cost a
    // lookahead added; ranked by key, the entries of units that did not
    // change stay in the heap.
    const std::pair<SHAPE, const char*> shapes[] = {{WEIGHTED_CHOICES, "weighted choices"},
                                                    {ONE_COUNT, "count"},
                                                    {ONE_SUM, "sum"},
                                                    {LONG_BODY, "rule"},
                                                    {LONG_CONSTRAINT, "constraint"}};
    for (const auto& [shape, name] : shapes) {
        SCOPED_TRACE(name);
        const WORK small = firstAnswerSetWork(1000, true, shape), large = firstAnswerSetWork(2000, true, shape);
        EXPECT_EQ(small.choicePoints, 1000u);
        EXPECT_EQ(large.choicePoints, 2000u);
        EXPECT_GE(large.lookaheadsPerformed, 3 * small.lookaheadsPerformed);
        EXPECT_GT(small.lookaheadsRun, 0u);
        EXPECT_LE(large.lookaheadsRun, 2 * small.lookaheadsRun + 16);
        EXPECT_GT(small.atomsVisited, 0u);
        EXPECT_LE(large.atomsVisited, 2 * small.atomsVisited + 16);
    }
}

TEST(Growth, LookaheadsBesideManyLongRulesAreReused) {
    // A lookahead reads several of the rules at once: its record falls with
    // a change of any of them, and is reused until then.
    const WORK small = firstAnswerSetWork(1000, true, LONG_RULES), large = firstAnswerSetWork(2000, true, LONG_RULES);
    EXPECT_GT(small.lookaheadsRun, 0u);
    EXPECT_LT(large.lookaheadsRun * 4, large.lookaheadsPerformed);
    EXPECT_LE(large.lookaheadsRun, 3 * small.lookaheadsRun);
}

TEST(Growth, LookaheadRecordsKeepNoQuadraticTableOfWatches) {
    // A lookahead on a head atom reads all n of them; keeping every such
    // record would add n watches for each of n atoms.
    const WORK small = firstAnswerSetWork(2000, true, LONG_HEAD), large = firstAnswerSetWork(4000, true, LONG_HEAD);
    EXPECT_EQ(small.choicePoints, 1u + 500u);
    EXPECT_EQ(large.choicePoints, 1u + 1000u);
    EXPECT_GT(small.watchesKept, 0u);
    EXPECT_LE(large.watchesKept, 2 * small.watchesKept + 16);
}

TEST(Growth, ChoiceWithoutHeuristicsResumesInsteadOfRescanning) {
    const WORK small = firstAnswerSetWork(2000, false), large = firstAnswerSetWork(4000, false);
    EXPECT_EQ(small.choicePoints, 2000u);
    EXPECT_EQ(large.choicePoints, 4000u);
    EXPECT_GT(small.choiceRulesScanned, 0u);
    EXPECT_LE(large.choiceRulesScanned, 2 * small.choiceRulesScanned + 16);
}

}  // namespace veltra
