// The unfounded-set step: atoms of cyclic non-disjunctive components that no
// rule can found any longer become false during propagation, and a true or
// must-be-true one among them is a conflict.
#include <algorithm>
#include <sstream>

#include "analysis/rewrite.h"
#include "core/rule.h"
#include "driver/options.h"
#include "tests/unit/support/randomprograms.h"
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

// A run with the unfounded-set step switched on (flags as the driver's
// default: model checks and the step).
struct GUSRUN {
    std::unique_ptr<MODELGENERATOR> generator;
    INTERPRETATION interpretation;
    bool consistent = false;

    explicit GUSRUN(uint32_t flags = CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS) {
        const uint32_t slots = static_cast<uint32_t>(costLevels.size());
        COSTVECTOR initial(slots);
        generator = std::make_unique<MODELGENERATOR>(
            &groundRules, &groundConstraints, &groundWeakConstraints, query.get(), &edbFacts, &trueAtoms, nullptr,
            nullptr, flags, nullptr, nullptr, aggregatesPresent, &initial, false, false, false, false, slots,
            static_cast<uint32_t>(aggregateCount), nullptr, nullptr);
        consistent = generator->startRun(interpretation);
        interpretation.recording = true;
    }
    int32_t value(const char* atom) const { return interpretation.values[atomIndex(atom)]; }
    bool choose(const char* atom, int32_t value) {
        generator->enterLevel(interpretation);
        generator->assignChoice(atomIndex(atom), value, interpretation);
        return generator->propagateEvents(interpretation);
    }
};

struct ANSWERS {
    std::vector<std::string> models;
} answers;

bool collect(MODELGENERATOR* generator, const ATOMSET&, const INTERPRETATION* model) {
    std::string s;
    for (int32_t a = 0; a < int32_t(model->values.size()); ++a)
        if (isTrueValue(model->values[a]) && !predicateTable.internal[groundAtom(a).predicate]) {
            std::ostringstream t;
            printAtom(t, groundAtom(a));
            s += (s.empty() ? "" : " ") + t.str();
        }
    answers.models.push_back(s);
    ++generator->answerSetsPrinted;
    return true;
}

}  // namespace

TEST(Unfounded, MutualSupportOnlyIsFalsifiedAtTheStart) {
    inFreshProcess([] {
        // p and q only support each other; r has an outside support.
        groundProgram("p :- q. q :- p. r :- s. s :- r. r :- t. t v u.", true);
        GUSRUN run;
        ASSERT_TRUE(run.consistent);
        EXPECT_TRUE(run.generator->gusActive);
        EXPECT_EQ(run.value("p"), TV_FALSE);
        EXPECT_EQ(run.value("q"), TV_FALSE);
        EXPECT_EQ(run.value("r"), TV_UNDEFINED);
        // t false takes the outside support away: r and s become unfounded.
        ASSERT_TRUE(run.choose("t", TV_FALSE));
        EXPECT_EQ(run.value("r"), TV_FALSE);
        EXPECT_EQ(run.value("s"), TV_FALSE);
        EXPECT_TRUE(run.generator->gusComponentQueue.empty());
    });
}

TEST(Unfounded, TrueOrMustBeTrueUnfoundedAtomIsAConflict) {
    struct CASE {
        const char* program;
        const char* atom;
        int32_t value;
    };
    // r true (or must-be-true through the constraint), then its outside
    // support lost: r and s can only support each other.
    const CASE cases[] = {
        {"r :- s. s :- r. r :- t. t v u.", "r", TV_ASSUMED},
        {"r :- s. s :- r. r :- t. t v u. :- not r, v. v v w.", "v", TV_ASSUMED},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.program);
        inFreshProcess([&c] {
            groundProgram(c.program, true);
            GUSRUN run;
            ASSERT_TRUE(run.consistent);
            ASSERT_TRUE(run.choose(c.atom, c.value));
            ASSERT_TRUE(isTrueOrMustBeTrue(run.value("r")));
            EXPECT_FALSE(run.choose("u", TV_ASSUMED));
            EXPECT_TRUE(run.generator->gusComponentQueue.empty());
        });
    }
}

TEST(Unfounded, WhatCanAndCannotFoundAnAtom) {
    struct CASE {
        const char* program;
        const char* choice;  // taken true first; null for none
        const char* p;
        int32_t expected;
    };
    const CASE cases[] = {
        // A rule without body founds its head atom outright.
        {"p v x. p :- q. q :- p.", nullptr, "p", TV_UNDEFINED},
        // ... unless its other head atom, outside the component, is true.
        {"p v x. p :- q. q :- p.", "x", "q", TV_FALSE},
        // ... or must be true.
        {"p v x. p :- q. q :- p. :- not x.", nullptr, "q", TV_FALSE},
        // A disjunctive rule outside the component leaves the sources alone.
        {"p v x. p :- q. q :- p. y v z. :- not y.", nullptr, "q", TV_UNDEFINED},
        // A rule with a false body founds nothing.
        {"p :- y. p :- q. q :- p. y v z.", "z", "q", TV_FALSE},
        // Founded through a chain inside the component.
        {"p :- y. q :- p. p :- q. y v z.", "y", "q", TV_ASSUMED},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.program);
        inFreshProcess([&c] {
            groundProgram(c.program, true);
            GUSRUN run;
            ASSERT_TRUE(run.consistent);
            if (c.choice) {
                ASSERT_TRUE(run.choose(c.choice, TV_ASSUMED));
            }
            EXPECT_EQ(run.value(c.p), c.expected);
        });
    }
}

TEST(Unfounded, QualifyingComponents) {
    inFreshProcess([] {
        // {a} has a self-loop, {b, c} two members; {d, e} has a disjunctive
        // edge inside; f is acyclic.
        groundProgram("a :- a. b :- c. c :- b. d v e. d :- e. e :- d. f :- a.", true);
        GUSRUN run;
        MODELGENERATOR& g = *run.generator;
        EXPECT_TRUE(g.componentQualifiesForGUS(g.gdg->componentOfSlot(atomIndex("a"))));
        EXPECT_TRUE(g.componentQualifiesForGUS(g.gdg->componentOfSlot(atomIndex("b"))));
        EXPECT_FALSE(g.componentQualifiesForGUS(g.gdg->componentOfSlot(atomIndex("d"))));
        EXPECT_FALSE(g.componentQualifiesForGUS(g.gdg->componentOfSlot(atomIndex("f"))));
        // Queued twice, kept once; never queued when it does not qualify.
        const int32_t ca = g.gdg->componentOfSlot(atomIndex("a"));
        g.queueComponentForGUS(ca);
        g.queueComponentForGUS(ca);
        g.queueComponentForGUS(g.gdg->componentOfSlot(atomIndex("d")));
        EXPECT_EQ(g.gusComponentQueue, std::vector<int32_t>{ca});
        EXPECT_TRUE(g.propagateEvents(run.interpretation));
        EXPECT_TRUE(g.gusComponentQueue.empty());
        EXPECT_EQ(g.gusQueued[ca], 0);
    });
}

TEST(Unfounded, AcyclicProgramLeavesTheStepOff) {
    inFreshProcess([] {
        groundProgram("a v b. c :- a.", true);
        GUSRUN run;
        EXPECT_FALSE(run.generator->gusActive);
    });
}

TEST(Unfounded, HeadCycleFreeSearchWithoutModelChecksKeepsOnlyStableModels) {
    // With the step and a head-cycle-free program no candidate is
    // model-checked; the step and the support counts must reject what the
    // checker would. The acyclic part: a choice atom whose supporting rule's
    // body turns false loses its last support.
    struct CASE {
        const char* program;
        std::vector<std::string> models;
    };
    const CASE cases[] = {
        {"a v b. a :- a. d v b.", {"a d", "b"}},
        {"a v x :- not b. b :- not c. c :- not b. p :- p.", {"a c", "b", "x c"}},
        {"r :- s. s :- r. r :- t. t v u. :- not r.", {"r s t"}},
        {"a v x :- not b. b :- c. c v d. p :- p.", {"a d", "b c", "x d"}},
        // a chosen with two supports, then both lost.
        {"a v x :- not b. a :- not e. b :- c. e :- f. c v d. f v g. p :- p.",
         {"a b c g", "a d g", "a e f d", "b e c f", "x e f d"}},
    };
    // The choice with and without heuristics, and under --pospts, where a
    // head atom is chosen true while its rule's negated literal is still open.
    struct SETTING {
        bool heuristics, negativePT;
    };
    const SETTING settings[] = {{false, true}, {false, false}, {true, true}, {true, false}};
    for (const CASE& c : cases) {
        for (const SETTING& setting : settings) {
            SCOPED_TRACE(std::string(c.program) + (setting.heuristics ? " -OH" : " -OH-") +
                         (setting.negativePT ? " --negpts" : " --pospts"));
            inFreshProcess([&c, &setting] {
                groundProgram(c.program, true);
                OPTIONS.useHeuristics = setting.heuristics;
                OPTIONS.negativePT = setting.negativePT;
                const uint32_t slots = static_cast<uint32_t>(costLevels.size());
                COSTVECTOR initial(slots);
                const uint32_t flags = CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS | CHECK_PROGRAM_IS_HCF;
                MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, query.get(), &edbFacts,
                                 &trueAtoms, nullptr, nullptr, flags, collect, nullptr, aggregatesPresent, &initial,
                                 false, false, false, false, slots, static_cast<uint32_t>(aggregateCount), nullptr,
                                 nullptr);
                g.computeAnswerSets();
                std::sort(answers.models.begin(), answers.models.end());
                EXPECT_EQ(answers.models, c.models);
                EXPECT_EQ(g.totalModelChecks, 0u);
            });
        }
    }
}

namespace {

// A small program over a0..a7 with many positive cycles: choices by
// disjunction or by negation, rules with one or (disjunctive) two head
// atoms, and constraints.
std::string randomCyclicProgram(RANDOM& r, bool disjunctive) {
    const uint32_t atoms = 5 + r.below(4);
    auto atom = [&] { return "a" + std::to_string(r.below(atoms)); };
    std::string text;
    for (uint32_t k = 0, n = 2 + r.below(4); k < n; ++k) {
        const std::string x = atom(), y = atom();
        if (x == y) continue;
        text += r.below(3) ? x + " v " + y + ".\n" : x + " :- not " + y + ".\n";
    }
    for (uint32_t k = 0, n = 5 + r.below(10); k < n; ++k) {
        std::string head = atom();
        if (disjunctive && r.below(4) == 0) {
            const std::string other = atom();
            if (other != head) head += " v " + other;
        }
        text += head;
        const char* separator = " :- ";
        for (uint32_t i = 0, m = 1 + r.below(3); i < m; ++i) {
            text += separator + std::string(r.below(4) ? "" : "not ") + atom();
            separator = ", ";
        }
        text += ".\n";
    }
    for (uint32_t k = 0, n = r.below(3); k < n; ++k)
        text += ":- " + std::string(r.below(2) ? "not " : "") + atom() + ", " + (r.below(2) ? "not " : "") + atom() +
                ".\n";
    return text;
}

// Every answer set in the order found, then the search's counters.
std::string searchTrace(bool incremental, bool heuristics) {
    answers.models.clear();
    OPTIONS.useHeuristics = heuristics;
    const uint32_t slots = static_cast<uint32_t>(costLevels.size());
    COSTVECTOR initial(slots);
    MODELGENERATOR g(&groundRules, &groundConstraints, &groundWeakConstraints, query.get(), &edbFacts, &trueAtoms,
                     nullptr, nullptr, CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS, collect, nullptr, aggregatesPresent,
                     &initial, false, false, false, false, slots, static_cast<uint32_t>(aggregateCount), nullptr,
                     nullptr);
    g.gusIncremental = incremental;
    g.gusCrossCheck = incremental;
    g.computeAnswerSets();
    std::ostringstream trace;
    for (const std::string& m : answers.models) trace << "{" << m << "}\n";
    trace << "choice points " << g.choicePoints << ", inconsistent " << g.inconsistentChoices << ", lookaheads "
          << g.lookaheadsPerformed << " (" << g.inconsistentLookaheads << " inconsistent), candidates "
          << g.answerSetCandidates << ", model checks " << g.totalModelChecks << "\n";
    return trace.str();
}

}  // namespace

// The incremental step falsifies, at every step, exactly the atoms that the
// step from scratch over the whole component does (the generator's own check
// ends the process on a difference), so the answer sets, their order and
// the search's counters are those of the search from scratch.
TEST(Unfounded, IncrementalStepAgreesWithTheStepFromScratch) {
    const uint64_t programs = randomProgramCount(400, 80);
    for (uint64_t seed = 1; seed <= programs; ++seed) {
        RANDOM r{seed};
        const std::string text = randomCyclicProgram(r, seed % 2 == 0);
        SCOPED_TRACE(text);
        inFreshProcess([&text] {
            if (!groundIfConsistent(text, true)) return;
            for (const bool heuristics : {true, false}) {
                SCOPED_TRACE(heuristics ? "-OH" : "-OH-");
                const std::string incremental = searchTrace(true, heuristics);
                EXPECT_EQ(incremental, searchTrace(false, heuristics));
            }
        });
    }
}

}  // namespace veltra
