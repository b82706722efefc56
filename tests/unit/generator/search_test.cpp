// The search: levels and branching, candidates, model checks, the filter and
// hook contract, partial checks and the optimisation of weak constraints.
#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/rewrite.h"
#include "core/rule.h"
#include "driver/options.h"
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

// What the hooks saw, in this child process.
struct RECORD {
    std::vector<std::string> models;  // printed true atoms of each reported model
    std::vector<bool> modelWasBest;   // the model passed was the generator's bestModel
    uint32_t filterCalls = 0;
    uint32_t stopAfter = 0;          // the hook returns false at this many models; 0 never
    std::set<std::string> rejected;  // models the filter rejects
} record;

// The true atoms of a model, those known after grounding included, sorted
// and joined by blanks.
std::string trueAtomsOf(const ATOMSET& known, const INTERPRETATION& model) {
    std::vector<std::string> atoms;
    auto add = [&atoms](const ATOM& atom) {
        if (predicateTable.internal[atom.predicate]) return;
        std::ostringstream s;
        printAtom(s, atom);
        atoms.push_back(s.str());
    };
    known.forEach(add);
    for (int32_t a = 0; a < int32_t(model.values.size()); ++a)
        if (isTrueValue(model.values[a])) add(groundAtom(a));
    std::sort(atoms.begin(), atoms.end());
    std::string joined;
    for (const std::string& a : atoms) joined += (joined.empty() ? "" : " ") + a;
    return joined;
}

bool recordingHook(MODELGENERATOR* generator, const ATOMSET& known, const INTERPRETATION* model) {
    record.models.push_back(trueAtomsOf(known, *model));
    record.modelWasBest.push_back(model == generator->bestModel.get());
    ++generator->answerSetsPrinted;
    return record.stopAfter == 0 || record.models.size() < record.stopAfter;
}

bool recordingFilter(MODELGENERATOR*, const ATOMSET& known, const INTERPRETATION* model) {
    ++record.filterCalls;
    return record.rejected.count(trueAtomsOf(known, *model)) == 0;
}

struct SEARCHOPTIONS {
    uint32_t flags = CHECK_MODEL_CHECKING_ON;
    MODELHOOK filter = nullptr;
    bool wcTrace = false;
};

// A generator over the ground program as the driver builds it.
std::unique_ptr<MODELGENERATOR> makeGenerator(const SEARCHOPTIONS& options = SEARCHOPTIONS()) {
    const uint32_t slots = static_cast<uint32_t>(costLevels.size());
    COSTVECTOR initial(slots), bound(slots);
    bound.unbounded.assign(slots, 1);
    for (const GROUNDWEAKCONSTRAINT& w : violatedWeakConstraints)
        initial.values[costSlot(integerValue(w.level))] += uint64_t(integerValue(w.weight));
    const bool weak = !groundWeakConstraints.empty() || !violatedWeakConstraints.empty();
    return std::make_unique<MODELGENERATOR>(
        &groundRules, &groundConstraints, &groundWeakConstraints, query.get(), &edbFacts, &trueAtoms, nullptr, &bound,
        options.flags, recordingHook, options.filter, aggregatesPresent, &initial, weak, !weakConstraints.empty(),
        options.wcTrace, false, slots, static_cast<uint32_t>(aggregateCount), nullptr, nullptr);
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Every rule and constraint counter, for comparing before and after a run.
std::vector<uint32_t> allCounters() {
    std::vector<uint32_t> c;
    for (const GROUNDRULE& r : groundRules) c.insert(c.end(), r.counters, r.counters + 7);
    for (const GROUNDCONSTRAINT& k : groundConstraints) c.insert(c.end(), k.counters, k.counters + 3);
    return c;
}

}  // namespace

TEST(Search, AnswerSetsOfNormalAndDisjunctivePrograms) {
    struct CASE {
        const char* program;
        std::vector<std::string> answerSets;
    };
    const std::vector<CASE> cases = {
        {"a :- not b. b :- not a.", {"a", "b"}},
        {"a :- not a, b. b v c.", {"c"}},
        {"a :- not a, not c. c v d.", {"c"}},
        {"a v b. a :- b. b :- a.", {"a b"}},
        {"a v b :- c. c :- a. c :- b. d :- not c.", {"d"}},
        {"a v b. a :- a. d v b.", {"a d", "b"}},
        {"p :- q. q :- p. p v r.", {"p q", "r"}},
        {"a v b v c. :- a. :- not c.", {"c"}},
        {"x :- not y. y :- not x. z :- x. z :- y. w :- z, not x.", {"x z", "w y z"}},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.program);
        inFreshProcess([&c] {
            groundProgram(c.program);
            auto g = makeGenerator();
            g->computeAnswerSets();
            EXPECT_EQ(sorted(record.models), sorted(c.answerSets));
            EXPECT_EQ(g->answerSetsComputed, c.answerSets.size());
        });
    }
}

TEST(Search, EverythingDecidedBeforeTheFirstChoice) {
    inFreshProcess([] {
        // The initial propagation decides every atom: level 1 has nothing to
        // choose and its candidate is the answer set.
        groundProgram("a :- b. b :- c. c :- not d. e v f :- d.");
        auto g = makeGenerator();
        g->computeAnswerSets();
        EXPECT_EQ(record.models, std::vector<std::string>{"a b c"});
        EXPECT_EQ(g->maxLevel, 1u);
        EXPECT_EQ(g->choicePoints, 0u);
        EXPECT_EQ(g->answerSetCandidates, 1u);
        EXPECT_EQ(g->totalModelChecks, 0u);
    });
}

TEST(Search, FailedBranchCountsAnInconsistentChoiceAndTheComplementGoesOn) {
    inFreshProcess([] {
        // Taking a true (the first choice without heuristics) needs c and
        // forbids it; the complement, a false, leads on to both answer sets.
        // (A lookahead would refute a true before any choice.)
        groundProgram("a v b. :- a, not c. :- a, c. c v e :- b.", true);
        OPTIONS.useHeuristics = false;
        auto g = makeGenerator();
        g->computeAnswerSets();
        EXPECT_EQ(sorted(record.models), sorted({"b c", "b e"}));
        EXPECT_EQ(g->inconsistentChoices, 1u);
        EXPECT_EQ(g->answerSetsComputed, 2u);
    });
}

TEST(Search, HookThatStopsLeavesCountersAsIndexed) {
    inFreshProcess([] {
        groundProgram("a v b v c. d v e :- a. f :- not d, b.");
        auto g = makeGenerator();
        std::vector<uint32_t> before;
        {
            // Indexing of one run as the baseline: the counters a run leaves.
            g->computeAnswerSets();
            before = allCounters();
        }
        const size_t all = record.models.size();
        ASSERT_EQ(all, 4u);
        record.models.clear();
        record.stopAfter = 1;
        g->computeAnswerSets();
        EXPECT_EQ(record.models.size(), 1u);
        EXPECT_EQ(g->searchState, 1);
        EXPECT_EQ(allCounters(), before);
        EXPECT_EQ(g->level, 0);
    });
}

TEST(Search, HookSeesTheWorkingInterpretationWithoutWeakConstraints) {
    inFreshProcess([] {
        groundProgram("a v b.");
        auto g = makeGenerator();
        g->computeAnswerSets();
        ASSERT_EQ(record.modelWasBest.size(), 2u);
        EXPECT_FALSE(record.modelWasBest[0]);
        EXPECT_FALSE(record.modelWasBest[1]);
        ASSERT_TRUE(g->bestModel);  // a copy of the last answer set all the same
        EXPECT_TRUE(g->optimumKnown);
        EXPECT_FALSE(g->bestCost);
    });
}

TEST(Search, ModelCheckRejectsWhatTheCheckerRefutes) {
    struct CASE {
        uint32_t flags;
        std::vector<std::string> answerSets;
    };
    // a is taken true first, then d false makes b true: {a, b} is a model
    // but not minimal; only the model check rejects it.
    const std::vector<CASE> cases = {
        {CHECK_MODEL_CHECKING_ON, {"a d", "b"}},
        {CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS | CHECK_PROGRAM_IS_HCF, {"a d", "b"}},
        {0, {"a b", "a d", "b"}},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.flags);
        inFreshProcess([&c] {
            groundProgram("a v b. a :- a. d v b.", true);
            OPTIONS.useHeuristics = false;  // the choice order above
            SEARCHOPTIONS options;
            options.flags = c.flags;
            auto g = makeGenerator(options);
            g->computeAnswerSets();
            EXPECT_EQ(sorted(record.models), c.answerSets);
            if (!(c.flags & CHECK_MODEL_CHECKING_ON)) {
                EXPECT_EQ(g->totalModelChecks, 0u);
                EXPECT_EQ(g->backtrackingPartialChecks, 0u);
            } else if (c.flags & CHECK_USE_GUS) {
                // The unfounded-set step rejects {a, b}; no check is needed.
                EXPECT_EQ(g->totalModelChecks, 0u);
            } else {
                EXPECT_GE(g->totalModelChecks, 1u);
            }
        });
    }
}

TEST(Search, FilterSeesOnlyCheckedCandidatesAndRejectsWithoutCounting) {
    inFreshProcess([] {
        groundProgram("a v b. a :- a. d v b.", true);
        record.rejected = {"a d"};
        SEARCHOPTIONS options;
        options.filter = recordingFilter;
        auto g = makeGenerator(options);
        g->computeAnswerSets();
        // {a, b} fails the model check and never reaches the filter; {a, d}
        // is rejected by it.
        EXPECT_EQ(record.filterCalls, 2u);
        EXPECT_EQ(record.models, std::vector<std::string>{"b"});
        EXPECT_EQ(g->answerSetsComputed, 1u);
    });
}

TEST(Search, RejectedSubtreeRunsTheBacktrackingCheck) {
    inFreshProcess([] {
        // A head cycle: candidates are rejected by the model check, and the
        // levels above them run the backtracking partial check.
        groundProgram("a v b :- c. c :- a. c :- b. c v d. e v f.");
        auto g = makeGenerator();
        g->computeAnswerSets();
        EXPECT_EQ(sorted(record.models), sorted({"d e", "d f", "a c e", "b c e", "a c f", "b c f"}));
        EXPECT_EQ(g->answerSetsComputed, 6u);
    });
}

TEST(Search, ForwardCheckRunsOneThirdOfTheWay) {
    struct CASE {
        uint32_t passed, candidate;
        int32_t level;
        bool runs;
    };
    const std::vector<CASE> cases = {
        {0, 9, 3, false},   // no passed check yet
        {3, 11, 5, true},   // 3 + 8 / 3 = 5
        {3, 11, 4, false},  // only at that level
        {3, 11, 6, false},
        {3, 5, 3, false},   // 3 + 2 / 3 = 3: not above 3
        {7, 2, 7, false},   // candidate below the passed level
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(std::to_string(c.passed) + " " + std::to_string(c.candidate) + " " + std::to_string(c.level));
        inFreshProcess([&c] {
            groundProgram("a v b. a :- b. b :- a.");
            GENERATORRUN run;
            ASSERT_TRUE(run.consistent);
            MODELGENERATOR& g = run.gen();
            g.level = c.level;
            g.forwardCheckFails(run.interpretation, c.passed, c.candidate);
            EXPECT_EQ(g.forwardPartialChecks, c.runs ? 1u : 0u);
        });
    }
}

TEST(Search, OptimisationReportsOnlyOptimalModels) {
    inFreshProcess([] {
        // Level 2 forces e; b and c (with e) cost 1 at level 1. Neither equals
        // the unavoidable cost 0, so the first pass reports nothing and the
        // second, run as the driver does, reports both.
        groundProgram("a v b v c. d v e. :~ a. [2:1] :~ b. [1:1] :~ d. [1:2] :~ c, e. [1:1]");
        auto g = makeGenerator();
        const COSTVECTOR initial = *g->initialCost;
        g->computeAnswerSets();
        EXPECT_TRUE(record.models.empty());
        EXPECT_EQ(g->answerSetsComputed, 0u);
        ASSERT_FALSE(g->optimumKnown);
        ASSERT_TRUE(g->bestModel);
        ASSERT_TRUE(g->bestCost);
        EXPECT_EQ(g->bestCost->values, (std::vector<uint64_t>{1000, 0}));
        g->optimumKnown = true;
        *g->initialCost = initial;
        g->computeAnswerSets();
        EXPECT_EQ(sorted(record.models), sorted({"b e", "c e"}));
        EXPECT_EQ(record.modelWasBest, (std::vector<bool>{true, true}));
        EXPECT_EQ(g->answerSetsComputed, 2u);
    });
}

TEST(Search, OptimumProvedByTheUnavoidableCost) {
    inFreshProcess([] {
        // Every answer set costs what the initial propagation fixes (c is
        // forced true): the first one proves the optimum, all are reported.
        groundProgram("a v b. c :- not d. :~ c. [2:1] :~ a, b. [1:1]");
        auto g = makeGenerator();
        g->computeAnswerSets();
        EXPECT_TRUE(g->optimumKnown);
        EXPECT_EQ(sorted(record.models), sorted({"a c", "b c"}));
        EXPECT_EQ(g->initialCost->values, std::vector<uint64_t>{2000});
    });
}

TEST(Search, WcTraceReportsEveryImprovement) {
    inFreshProcess([] {
        groundProgram("a v b v c. :~ a. [3:1] :~ b. [2:1] :~ c. [1:1]");
        SEARCHOPTIONS options;
        options.wcTrace = true;
        auto g = makeGenerator(options);
        g->computeAnswerSets();
        // Strictly decreasing costs, the last one optimal.
        ASSERT_FALSE(record.models.empty());
        EXPECT_EQ(record.models.back(), "c");
        EXPECT_EQ(g->answerSetsComputed, 0u);
        EXPECT_EQ(g->bestCost->values, std::vector<uint64_t>{1000});
    });
}

}  // namespace veltra
